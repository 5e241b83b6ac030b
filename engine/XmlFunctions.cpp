// The runtime of the XML generation functions. Their results are XML text marked with a subtype,
// so that a value made by one of them goes into another as markup, and any other value as text
// with its special characters escaped.
#include "XmlFunctions.h"

#include "Charset.h"
#include "FunctionUtil.h"
#include "ListAgg.h"
#include "ObjectTypes.h"
#include "OraError.h"
#include "SqlText.h"

#include <algorithm>
#include <new>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace ora {

namespace {

constexpr unsigned kXmlSubtype = 'X';

OraError xmlError(int code, const char* text) {
  OraError e(code);
  e.text = text;
  return e;
}

bool isNull(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

std::string textOf(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

std::string escaped(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
    case '&': out += "&amp;"; break;
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    case '"': out += "&quot;"; break;
    case '\'': out += "&apos;"; break;
    default: out += c;
    }
  }
  return out;
}

// An object as XML: an element for each attribute that is not NULL, named after it, as
// XMLFOREST writes a column (the stored form itself is no text for a document).
void objectXml(sqlite3* db, std::string_view stored, std::string& out, int depth) {
  ObjValue v;
  std::shared_ptr<const ObjType> type;
  if (depth > 50 || !decodeObject(stored, v) || !(type = objectType(db, v.type))) {
    out += escaped(objectDisplay(db, stored));
    return;
  }
  for (size_t k = 0; k < v.attrs.size() && k < type->attrs.size(); ++k) {
    const ObjAttrVal& a = v.attrs[k];
    if (!a.k) continue;
    const std::string& name = type->attrs[k].name;
    out += "<" + name + ">";
    if (a.k == 'O') {
      objectXml(db, a.s, out, depth + 1);
    } else if (a.k == 'D') {
      DateTime d;
      if (parseStoredDate(reinterpret_cast<const unsigned char*>(a.s.data()), static_cast<int>(a.s.size()), d))
        out += formatDateText(d, "YYYY-MM-DD", 0);
      else
        out += escaped(a.s);
    } else {
      out += escaped(a.s);
    }
    out += "</" + name + ">";
  }
}

// A value as element content: markup as it is, an object as its attributes, anything else as
// escaped text.
std::string content(sqlite3_context* ctx, sqlite3_value* v) {
  if (sqlite3_value_subtype(v) == kXmlSubtype) return textOf(v);
  std::string t = textOf(v);
  if (isObjectText(t)) {
    std::string out;
    objectXml(sqlite3_context_db_handle(ctx), t, out, 0);
    return out;
  }
  return escaped(t);
}

void resultXml(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  sqlite3_result_subtype(ctx, kXmlSubtype);
}


void mark(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(ctx);
  fn::guardedCall(ctx, [&] { resultXml(ctx, textOf(argv[0])); });
}

// ora_xmlelement(name, attribute count, name1, value1, ..., content...)
void element(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    std::string name = textOf(argv[0]);
    int attrs = argc > 1 ? sqlite3_value_int(argv[1]) : 0;
    std::string out = "<" + name;
    int k = 2;
    for (int a = 0; a < attrs && k + 1 < argc; ++a, k += 2)
      if (!isNull(argv[k + 1])) out += " " + textOf(argv[k]) + "=\"" + escaped(textOf(argv[k + 1])) + "\"";
    out += ">";
    for (; k < argc; ++k)
      if (!isNull(argv[k])) out += content(ctx, argv[k]);
    resultXml(ctx, out + "</" + name + ">");
  });
}

// ora_xmlname(value): the name EVALNAME gives, which must be an XML name: anything else would
// write markup of its own
void xmlName(sqlite3_context* ctx, int, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    std::string n = isNull(argv[0]) ? std::string() : textOf(argv[0]);
    auto start = [](unsigned char c) { return c >= 0x80 || c == '_' || c == ':' || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); };
    bool ok = !n.empty() && start(static_cast<unsigned char>(n[0]));
    for (unsigned char c : n)
      ok = ok && (start(c) || (c >= '0' && c <= '9') || c == '.' || c == '-');
    if (!ok) throw xmlError(19202, "ORA-19202: Error occurred in XML processing\nLPX-00231: invalid character in name");
    sqlite3_result_text64(ctx, n.data(), n.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  });
}

// ora_xmlcolattval(name1, value1, ...): a column element for each value that is not NULL, the
// name in its name attribute
void colAttVal(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    std::string out;
    bool any = false;
    for (int k = 0; k + 1 < argc; k += 2) {
      if (isNull(argv[k + 1])) continue;
      out += "<column name=\"" + escaped(textOf(argv[k])) + "\">" + content(ctx, argv[k + 1]) + "</column>";
      any = true;
    }
    if (any) resultXml(ctx, out);
    else sqlite3_result_null(ctx);
  });
}

// ora_xmlforest(name1, value1, ...): an element for each value that is not NULL
void forest(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    std::string out;
    bool any = false;
    for (int k = 0; k + 1 < argc; k += 2) {
      if (isNull(argv[k + 1])) continue;
      std::string name = textOf(argv[k]);
      out += "<" + name + ">" + content(ctx, argv[k + 1]) + "</" + name + ">";
      any = true;
    }
    if (any) resultXml(ctx, out);
    else sqlite3_result_null(ctx);
  });
}

void concat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    std::string out;
    bool any = false;
    for (int k = 0; k < argc; ++k)
      if (!isNull(argv[k])) {
        out += content(ctx, argv[k]);
        any = true;
      }
    if (any) resultXml(ctx, out);
    else sqlite3_result_null(ctx);
  });
}

// ora_xmlmarkup(kind, value[, name]): a comment, CDATA section or processing instruction
void markup(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    int kind = sqlite3_value_int(argv[0]);
    bool null = argc < 2 || isNull(argv[1]);
    std::string v = null ? std::string() : textOf(argv[1]);
    // text that would end the markup early is refused, never written as markup of its own
    if (kind == 0) { // comment
      if (null) return sqlite3_result_null(ctx);
      if (v.find("--") != std::string::npos || (!v.empty() && v.back() == '-'))
        throw xmlError(19202, "ORA-19202: Error occurred in XML processing\nLPX-00212: comment must not contain \"--\"");
      resultXml(ctx, "<!--" + v + "-->");
    } else if (kind == 1) { // CDATA
      if (null) return sqlite3_result_null(ctx);
      if (v.find("]]>") != std::string::npos)
        throw xmlError(19202, "ORA-19202: Error occurred in XML processing\nthe CDATA section must not contain \"]]>\"");
      resultXml(ctx, "<![CDATA[" + v + "]]>");
    } else { // processing instruction
      std::string name = argc > 2 ? textOf(argv[2]) : std::string();
      std::string low = name;
      for (auto& c : low) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
      if (low == "xml") throw xmlError(19039, "ORA-19039: Keyword XML reserved");
      if (v.find("?>") != std::string::npos)
        throw xmlError(19202, "ORA-19202: Error occurred in XML processing\nthe instruction must not contain \"?>\"");
      size_t lead = v.find_first_not_of(" \t\r\n");
      v = lead == std::string::npos ? std::string() : v.substr(lead);
      resultXml(ctx, "<?" + name + (v.empty() ? "" : " " + v) + "?>");
    }
  });
}

// ora_xmlroot(value, version or NULL, standalone: -1 not given, 0 no, 1 yes)
void root(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    std::string head = "<?xml";
    // VERSION NO VALUE: the version is 1.0, which the declaration cannot do without
    head += " version=\"" + (argc > 1 && !isNull(argv[1]) ? escaped(textOf(argv[1])) : std::string("1.0")) + "\"";
    int standalone = argc > 2 ? sqlite3_value_int(argv[2]) : -1;
    if (standalone >= 0) head += std::string(" standalone=\"") + (standalone ? "yes" : "no") + "\"";
    std::string body = content(ctx, argv[0]);
    if (body.compare(0, 5, "<?xml") == 0) body = body.substr(std::min(body.size(), body.find("?>") + 2));
    size_t lead = body.find_first_not_of(" \t\r\n");
    resultXml(ctx, head + "?>\n" + (lead == std::string::npos ? std::string() : body.substr(lead)));
  });
}

// The markup read back as nodes, to be written out again with indentation.
struct Node {
  enum Kind { Element, Text, Other } kind = Text;
  std::string text; // Element: the start tag's inside; Text and Other: as written
  std::string name;
  std::vector<Node> kids;
};

bool parseNodes(const std::string& s, size_t& k, std::vector<Node>& out, const std::string& closing, int depth) {
  if (depth > 200) return false;
  while (k < s.size()) {
    if (s[k] != '<') {
      size_t e = s.find('<', k);
      if (e == std::string::npos) e = s.size();
      Node t;
      t.text = s.substr(k, e - k);
      out.push_back(std::move(t));
      k = e;
      continue;
    }
    auto other = [&](const char* open, const char* close) {
      if (s.compare(k, std::char_traits<char>::length(open), open) != 0) return false;
      size_t e = s.find(close, k);
      if (e == std::string::npos) return false;
      Node o;
      o.kind = Node::Other;
      o.text = s.substr(k, e + std::char_traits<char>::length(close) - k);
      out.push_back(std::move(o));
      k = e + std::char_traits<char>::length(close);
      return true;
    };
    if (other("<!--", "-->") || other("<![CDATA[", "]]>") || other("<?", "?>")) continue;
    if (s.compare(k, 2, "</") == 0) {
      size_t e = s.find('>', k);
      if (e == std::string::npos) return false;
      std::string name = s.substr(k + 2, e - k - 2);
      k = e + 1;
      return name == closing;
    }
    size_t e = k + 1;
    for (char q = 0; e < s.size() && (q || s[e] != '>'); ++e)
      if (s[e] == '"' || s[e] == '\'') q = q == s[e] ? 0 : q ? q : s[e];
    if (e >= s.size()) return false;
    Node el;
    el.kind = Node::Element;
    bool empty = s[e - 1] == '/';
    el.text = s.substr(k + 1, e - k - (empty ? 2 : 1));
    el.name = el.text.substr(0, el.text.find_first_of(" \t\r\n"));
    k = e + 1;
    if (!empty && !parseNodes(s, k, el.kids, el.name, depth + 1)) return false;
    out.push_back(std::move(el));
  }
  return closing.empty();
}

void writeNodes(const std::vector<Node>& nodes, int level, int size, std::string& out) {
  for (const Node& n : nodes) {
    if (n.kind == Node::Text && n.text.find_first_not_of(" \t\r\n") == std::string::npos) continue;
    if (!out.empty()) out += '\n';
    out.append(static_cast<size_t>(level * size), ' ');
    if (n.kind != Node::Element) {
      out += n.text;
      continue;
    }
    bool simple = std::all_of(n.kids.begin(), n.kids.end(), [](const Node& c) { return c.kind == Node::Text; });
    if (n.kids.empty()) {
      out += "<" + n.text + "/>";
    } else if (simple) {
      out += "<" + n.text + ">";
      for (const Node& c : n.kids) out += c.text;
      out += "</" + n.name + ">";
    } else {
      out += "<" + n.text + ">";
      writeNodes(n.kids, level + 1, size, out);
      out += '\n';
      out.append(static_cast<size_t>(level * size), ' ');
      out += "</" + n.name + ">";
    }
  }
}

// ora_xmlserialize(value, document, indent size or -1, longest result or 0)
void serialize(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guardedCall(ctx, [&] {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    std::string s = content(ctx, argv[0]);
    int indent = argc > 2 ? sqlite3_value_int(argv[2]) : -1;
    std::vector<Node> nodes;
    size_t k = 0;
    bool parsed = parseNodes(s, k, nodes, {}, 0);
    if (argc > 1 && sqlite3_value_int(argv[1])) {
      // DOCUMENT: one root element
      int elements = 0;
      for (const Node& n : nodes)
        if (n.kind == Node::Element) ++elements;
        else if (n.kind == Node::Text && n.text.find_first_not_of(" \t\r\n") != std::string::npos) elements = 2;
      if (!parsed || elements != 1) throw xmlError(19202, "ORA-19202: Error occurred in XML processing\nLPX-00245: extra data after end of document");
    }
    if (indent >= 0 && parsed) {
      std::string out;
      writeNodes(nodes, 0, indent, out);
      s = std::move(out);
    }
    int64_t most = argc > 3 ? sqlite3_value_int64(argv[3]) : 0;
    if (most > 0 && static_cast<int64_t>(s.size()) > most) throw xmlError(19011, "ORA-19011: Character string buffer too small");
    sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  });
}

// ora_xmlagg(value, key1, how1, ...): the values joined in the keys' order
struct Agg {
  struct Row {
    std::string text;
    std::vector<sqlite3_value*> keys;
  };
  std::vector<Row> rows;
  std::vector<int> order;
  ~Agg() {
    for (auto& r : rows)
      for (auto* k : r.keys) sqlite3_value_free(k);
  }
};

void aggStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  auto** slot = static_cast<Agg**>(sqlite3_aggregate_context(ctx, sizeof(Agg*)));
  if (!slot) return sqlite3_result_error_nomem(ctx);
  fn::guardedCall(ctx, [&] {
    if (!*slot) {
      *slot = new Agg;
      for (int k = 2; k < argc; k += 2) (*slot)->order.push_back(sqlite3_value_int(argv[k]));
    }
    if (isNull(argv[0])) return;
    Agg::Row r;
    r.text = content(ctx, argv[0]);
    for (int k = 1; k + 1 < argc; k += 2) {
      sqlite3_value* dup = sqlite3_value_dup(argv[k]);
      if (!dup) throw std::bad_alloc();
      r.keys.push_back(dup);
    }
    (*slot)->rows.push_back(std::move(r));
  });
}

void aggFinal(sqlite3_context* ctx) {
  auto** slot = static_cast<Agg**>(sqlite3_aggregate_context(ctx, 0));
  Agg* a = slot ? *slot : nullptr;
  if (!a || a->rows.empty()) {
    sqlite3_result_null(ctx);
  } else {
    fn::guardedCall(ctx, [&] {
      const Charset cs = connectionCharset(sqlite3_context_db_handle(ctx));
      std::stable_sort(a->rows.begin(), a->rows.end(), [&](const Agg::Row& x, const Agg::Row& y) {
        for (size_t k = 0; k < x.keys.size() && k < y.keys.size() && k < a->order.size(); ++k)
          if (int c = compareValues(x.keys[k], y.keys[k], a->order[k], cs)) return c < 0;
        return false;
      });
      std::string out;
      for (auto& r : a->rows) out += r.text;
      resultXml(ctx, out);
    });
  }
  delete a;
  if (slot) *slot = nullptr;
}

constexpr const char kProlog[] = "<?xml version=\"1.0\"?>\n";

// ora_sys_xmlgen(value, name): a document of one element holding the value
void sysXmlGen(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(ctx);
  fn::guardedCall(ctx, [&] {
    const std::string name = textOf(argv[1]);
    resultXml(ctx, kProlog + ("<" + name + ">") + content(ctx, argv[0]) + "</" + name + ">\n");
  });
}

// ora_sys_xmlagg(document, name): the documents as the elements of one, each on a line of its own
void sysAggStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto** slot = static_cast<std::vector<std::string>**>(sqlite3_aggregate_context(ctx, sizeof(void*) * 2));
  if (!slot) return sqlite3_result_error_nomem(ctx);
  fn::guardedCall(ctx, [&] {
    if (!slot[0]) {
      slot[0] = new std::vector<std::string>;
      slot[1] = new std::vector<std::string>{textOf(argv[1])};
    }
    if (isNull(argv[0])) return;
    std::string t = content(ctx, argv[0]);
    // each document's prolog and the white space around it go
    if (t.rfind("<?xml", 0) == 0) {
      size_t end = t.find("?>");
      t.erase(0, end == std::string::npos ? 0 : end + 2);
    }
    size_t b = t.find_first_not_of(" \t\r\n"), e = t.find_last_not_of(" \t\r\n");
    slot[0]->push_back(b == std::string::npos ? std::string() : t.substr(b, e - b + 1));
  });
}

void sysAggFinal(sqlite3_context* ctx) {
  auto** slot = static_cast<std::vector<std::string>**>(sqlite3_aggregate_context(ctx, 0));
  std::vector<std::string>* items = slot ? slot[0] : nullptr;
  if (!items || items->empty()) {
    sqlite3_result_null(ctx);
  } else {
    fn::guardedCall(ctx, [&] {
      const std::string& name = (*slot[1])[0];
      std::string out = kProlog + ("<" + name + ">\n");
      for (const auto& i : *items) out += "  " + i + "\n";
      resultXml(ctx, out + "</" + name + ">\n");
    });
  }
  if (slot) {
    delete slot[0];
    delete slot[1];
    slot[0] = slot[1] = nullptr;
  }
}

} // namespace

void registerXmlFunctions(sqlite3* db) {
#ifdef SQLITE_RESULT_SUBTYPE
  const int flags = SQLITE_UTF8 | SQLITE_SUBTYPE | SQLITE_RESULT_SUBTYPE;
#else
  const int flags = SQLITE_UTF8;
#endif
  sqlite3_create_function(db, "ora_xmlmark", 1, flags, nullptr, mark, nullptr, nullptr);
  sqlite3_create_function(db, "ora_xmlelement", -1, flags, nullptr, element, nullptr, nullptr);
  sqlite3_create_function(db, "ora_xmlforest", -1, flags, nullptr, forest, nullptr, nullptr);
  sqlite3_create_function(db, "ora_xmlcolattval", -1, flags, nullptr, colAttVal, nullptr, nullptr);
  sqlite3_create_function(db, "ora_xmlname", 1, flags, nullptr, xmlName, nullptr, nullptr);
  sqlite3_create_function(db, "ora_xmlconcat", -1, flags, nullptr, concat, nullptr, nullptr);
  sqlite3_create_function(db, "ora_xmlmarkup", -1, flags, nullptr, markup, nullptr, nullptr);
  sqlite3_create_function(db, "ora_xmlroot", -1, flags, nullptr, root, nullptr, nullptr);
  sqlite3_create_function(db, "ora_xmlserialize", -1, flags, nullptr, serialize, nullptr, nullptr);
  sqlite3_create_function(db, "ora_xmlagg", -1, flags, nullptr, nullptr, aggStep, aggFinal);
  sqlite3_create_function(db, "ora_sys_xmlgen", 2, flags, nullptr, sysXmlGen, nullptr, nullptr);
  sqlite3_create_function(db, "ora_sys_xmlagg", 2, flags, nullptr, nullptr, sysAggStep, sysAggFinal);
}

} // namespace ora
