// The XML reading functions as SQLite functions; their XML results carry the same subtype as the
// generation functions' (XmlFunctions.cpp), so one goes into the other as markup.
//   XMLTYPE(text)                          the text, once it is a well-formed document
//   ora_xml_extract(x, path[, ns])         EXTRACT and x.extract(): the nodes as markup, or NULL
//   EXTRACTVALUE(x, path[, ns])            the text of one node
//   EXISTSNODE(x, path[, ns])              1 when the path finds a node, else 0
//   ora_xml_query(kind, path, context, name1, value1, ...)
//                                          XMLQUERY (kind 0) and XMLEXISTS (kind 1)
//   ora_xml_text(x)                        XMLCAST's value: the text of at most one item
//   ora_xml_number(x)                      x.getNumberVal()
#include "XmlRead.h"

#include "FunctionUtil.h"
#include "Number.h"
#include "XmlDoc.h"

#include <sqlite3.h>

namespace ora {

namespace {

using fn::Ctx;
using fn::Val;

constexpr unsigned kXmlSubtype = 'X';

bool isNull(Val* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

std::string_view rawText(Val* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p ? std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

void resultXml(Ctx* ctx, const std::string& s) {
  sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  sqlite3_result_subtype(ctx, kXmlSubtype);
}

void resultPlain(Ctx* ctx, const std::string& s) {
  if (s.empty()) return sqlite3_result_null(ctx);
  sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// The value read as XML content: a document or a fragment.
void readXml(Val* v, xml::Doc& doc) { xml::parse(rawText(v), doc, false); }

xml::Path pathOf(Val* v) {
  if (isNull(v)) throw xml::error(31013);
  return xml::compile(rawText(v));
}

xml::Context namespaces(int argc, Val** argv, int at) {
  xml::Context cx;
  if (argc > at && !isNull(argv[at])) xml::declareNamespaces(rawText(argv[at]), cx);
  return cx;
}

// The nodes a path finds from the top of the value.
std::vector<const xml::Node*> select(Val* x, Val* path, const xml::Context& cx, xml::Doc& doc) {
  readXml(x, doc);
  xml::Value v = xml::evaluate(pathOf(path), doc.root, cx);
  if (v.kind != xml::Value::Nodes) throw xml::error(31013, "the path does not select nodes");
  return v.nodes;
}

std::string markup(const std::vector<const xml::Node*>& nodes) {
  std::string out;
  for (const xml::Node* n : nodes) out += xml::serialize(n);
  return out;
}

void fnXmlType(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(ctx);
  xml::Doc doc;
  // an XML value stays what it is; text must be a document
  xml::parse(rawText(argv[0]), doc, sqlite3_value_subtype(argv[0]) != kXmlSubtype);
  resultXml(ctx, std::string(rawText(argv[0])));
}

// ora_xmlparse(text, document, wellformed): DOCUMENT must have one element at the top, CONTENT
// any nodes; WELLFORMED takes the text unchecked
void fnXmlParse(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(ctx);
  if (!sqlite3_value_int(argv[2])) {
    xml::Doc doc;
    xml::parse(rawText(argv[0]), doc, sqlite3_value_int(argv[1]) != 0);
  }
  resultXml(ctx, std::string(rawText(argv[0])));
}

void fnExtract(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(ctx);
  xml::Doc doc;
  auto nodes = select(argv[0], argv[1], namespaces(argc, argv, 2), doc);
  if (nodes.empty()) return sqlite3_result_null(ctx);
  resultXml(ctx, markup(nodes));
}

void fnExtractValue(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(ctx);
  xml::Doc doc;
  auto nodes = select(argv[0], argv[1], namespaces(argc, argv, 2), doc);
  if (nodes.empty()) return sqlite3_result_null(ctx);
  if (nodes.size() > 1) throw xml::error(19025);
  const xml::Node* n = nodes[0];
  if (n->kind == xml::Node::Element) {
    // an element of text only: an element inside it is more than one value
    for (const xml::Node* c : n->kids)
      if (c->kind == xml::Node::Element) throw xml::error(19025);
  }
  std::string text = xml::stringValue(n);
  if (text.size() > 4000) throw OraError(1706);
  resultPlain(ctx, text);
}

void fnExistsNode(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(ctx);
  xml::Doc doc;
  auto nodes = select(argv[0], argv[1], namespaces(argc, argv, 2), doc);
  sqlite3_result_int(ctx, nodes.empty() ? 0 : 1);
}

// The XQuery text compiled; a prolog's declarations are not read.
xml::Path queryPath(Val* v) {
  if (isNull(v)) throw xml::error(19114);
  std::string_view q = rawText(v);
  try {
    return xml::compile(q, true);
  } catch (const OraError& e) {
    if (e.code == 19237) throw;
    if (q.find("declare ") != std::string_view::npos) throw xml::error(19110, "a query prolog is not supported");
    throw xml::error(19114);
  }
}

void fnQuery(Ctx* ctx, int argc, Val** argv) {
  const bool exists = sqlite3_value_int(argv[0]) == 1;
  xml::Path path = queryPath(argv[1]);
  std::vector<xml::Doc> docs(static_cast<size_t>(argc));
  xml::Context cx;
  const xml::Node* context = nullptr;
  if (!isNull(argv[2])) {
    readXml(argv[2], docs[2]);
    context = docs[2].root;
  }
  for (int k = 3; k + 1 < argc; k += 2) {
    std::string name(rawText(argv[k]));
    const xml::Node* bound = nullptr;
    if (!isNull(argv[k + 1])) {
      readXml(argv[k + 1], docs[static_cast<size_t>(k + 1)]);
      bound = docs[static_cast<size_t>(k + 1)].root;
    }
    cx.vars[name] = bound;
  }
  if (!context) {
    // no context item: a relative path finds nothing, and $variables still work
    xml::Doc empty;
    xml::parse("", empty, false);
    docs[0] = std::move(empty);
    context = docs[0].root;
  }
  xml::Value v = xml::evaluate(path, context, cx);
  if (exists) {
    sqlite3_result_int(ctx, v.kind != xml::Value::Nodes || !v.nodes.empty() ? 1 : 0);
    return;
  }
  if (v.kind != xml::Value::Nodes) return resultXml(ctx, xml::escape(xml::valueText(v), false));
  if (v.nodes.empty()) return sqlite3_result_null(ctx);
  resultXml(ctx, xml::serializeItems(v.nodes));
}

void fnText(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(ctx);
  xml::Doc doc;
  readXml(argv[0], doc);
  size_t items = 0;
  for (const xml::Node* n : doc.root->kids)
    if (n->kind != xml::Node::Comment && n->kind != xml::Node::Pi) ++items;
  if (items > 1) throw xml::error(19279);
  resultPlain(ctx, xml::stringValue(doc.root));
}

void fnNumber(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(ctx);
  xml::Doc doc;
  readXml(argv[0], doc);
  std::string t = xml::stringValue(doc.root);
  size_t b = t.find_first_not_of(" \t\r\n"), e = t.find_last_not_of(" \t\r\n");
  if (b == std::string::npos) return sqlite3_result_null(ctx);
  Num n;
  if (!parseNum(std::string_view(t).substr(b, e - b + 1), n)) throw OraError(1722);
  resultNumExact(ctx, n);
}

template <void (*F)(Ctx*, int, Val**)>
void guard(Ctx* ctx, int argc, Val** argv) {
  fn::guardedCall(ctx, [&] { F(ctx, argc, argv); });
}

} // namespace

const std::vector<std::string>& xmlReadFunctionNames() {
  static const std::vector<std::string> names = {"XMLTYPE", "EXTRACTVALUE", "EXISTSNODE"};
  return names;
}

void registerXmlReadFunctions(sqlite3* db) {
#ifdef SQLITE_RESULT_SUBTYPE
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_SUBTYPE | SQLITE_RESULT_SUBTYPE;
#else
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
#endif
  sqlite3_create_function(db, "XMLTYPE", 1, flags, nullptr, guard<fnXmlType>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_xmlparse", 3, flags, nullptr, guard<fnXmlParse>, nullptr, nullptr);
  for (int n = 2; n <= 3; ++n) {
    sqlite3_create_function(db, "ora_xml_extract", n, flags, nullptr, guard<fnExtract>, nullptr, nullptr);
    sqlite3_create_function(db, "EXTRACTVALUE", n, flags, nullptr, guard<fnExtractValue>, nullptr, nullptr);
    sqlite3_create_function(db, "EXISTSNODE", n, flags, nullptr, guard<fnExistsNode>, nullptr, nullptr);
  }
  sqlite3_create_function(db, "ora_xml_query", -1, flags, nullptr, guard<fnQuery>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_xml_text", 1, flags, nullptr, guard<fnText>, nullptr, nullptr);
  sqlite3_create_function(db, "ora_xml_number", 1, flags, nullptr, guard<fnNumber>, nullptr, nullptr);
  registerXmlTable(db);
}

} // namespace ora
