// XMLTABLE as a table-valued function: one SQLite module per column list, named after it, whose
// rows are the nodes the row path finds in the document and whose columns are read from each.
#include "XmlRead.h"

#include "FunctionUtil.h"
#include "Number.h"
#include "SqlText.h"
#include "XmlDoc.h"

#include <cstring>
#include <memory>
#include <sqlite3.h>

namespace ora {

namespace {

constexpr unsigned kXmlSubtype = 'X';

struct Table {
  sqlite3_vtab base{};
  std::shared_ptr<const XmlTableSpec> spec;
};

struct Cursor {
  sqlite3_vtab_cursor base{};
  const XmlTableSpec* spec = nullptr;
  xml::Doc doc;
  xml::Context cx;
  std::vector<const xml::Node*> rows;
  std::vector<xml::Path> paths; // the columns' paths, compiled once
  size_t at = 0;
};

int connect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char**) {
  auto spec = *static_cast<std::shared_ptr<const XmlTableSpec>*>(aux);
  std::string ddl = "CREATE TABLE x(";
  for (const auto& c : spec->columns) ddl += quoteIdent(c.name) + ", ";
  ddl += "\"XML$DOC\" HIDDEN, \"XML$PATH\" HIDDEN, \"XML$VAR\" HIDDEN)";
  int rc = sqlite3_declare_vtab(db, ddl.c_str());
  if (rc != SQLITE_OK) return rc;
  auto* t = new (std::nothrow) Table;
  if (!t) return SQLITE_NOMEM;
  t->spec = std::move(spec);
  *out = &t->base;
  return SQLITE_OK;
}

// The document, the row path and the variable's name must be given.
int bestIndex(sqlite3_vtab* v, sqlite3_index_info* info) {
  return argumentPlan(info, static_cast<int>(reinterpret_cast<Table*>(v)->spec->columns.size()), 3);
}

int open(sqlite3_vtab* v, sqlite3_vtab_cursor** out) {
  auto* c = new (std::nothrow) Cursor;
  if (!c) return SQLITE_NOMEM;
  c->spec = reinterpret_cast<Table*>(v)->spec.get();
  *out = &c->base;
  return SQLITE_OK;
}

void setError(sqlite3_vtab_cursor* cur, const std::string& text) {
  sqlite3_free(cur->pVtab->zErrMsg);
  cur->pVtab->zErrMsg = sqlite3_mprintf("%s", text.c_str());
}

std::string_view rawText(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p ? std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

// A number, string or boolean the row query gives is one row: its value, as a text node.
void rowValue(Cursor* c, const xml::Value& v) {
  xml::Node* n = c->doc.make(xml::Node::Text);
  n->value = xml::valueText(v);
  c->rows.push_back(n);
}

int filter(sqlite3_vtab_cursor* cur, int, const char*, int argc, sqlite3_value** argv) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  c->rows.clear();
  c->paths.clear();
  c->cx = xml::Context{};
  c->doc = xml::Doc{};
  c->at = 0;
  if (argc < 3) return SQLITE_OK;
  try {
    xml::Path rowPath;
    try {
      // a query it cannot read is an error whatever the document, never no rows
      rowPath = xml::compile(rawText(argv[1]), true);
    } catch (const OraError& e) {
      if (e.code == 19237) throw;
      throw xml::error(19114);
    }
    for (const auto& col : c->spec->columns) {
      if (col.kind == XmlTableColumn::Ordinality) {
        c->paths.emplace_back();
        continue;
      }
      try {
        c->paths.push_back(xml::compile(col.path, true));
      } catch (const OraError& e) {
        if (e.code == 19237) throw;
        throw xml::error(19114);
      }
    }
    if (!c->spec->namespaces.empty()) xml::declareNamespaces(c->spec->namespaces, c->cx);
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
      // no context item: a path finds nothing, a value stands on its own
      xml::Value v = xml::evaluate(rowPath, c->doc.make(xml::Node::Document), c->cx);
      if (v.kind != xml::Value::Nodes) rowValue(c, v);
      else c->rows = std::move(v.nodes);
      return SQLITE_OK;
    }
    xml::parse(rawText(argv[0]), c->doc, false);
    // PASSING x AS "v": the document is $v as well as the context item
    if (sqlite3_value_type(argv[2]) != SQLITE_NULL) c->cx.vars[std::string(rawText(argv[2]))] = c->doc.root;
    xml::Value v = xml::evaluate(rowPath, c->doc.root, c->cx);
    if (v.kind != xml::Value::Nodes) rowValue(c, v);
    else c->rows = std::move(v.nodes);
  } catch (const OraError& e) {
    setError(cur, e.text);
    return SQLITE_ERROR;
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  }
  return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor* cur) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  return c->at >= c->rows.size();
}

void valueResult(sqlite3_context* ctx, const std::string& text, const XmlTableColumn& col) {
  if (col.type == kNumber) {
    size_t b = text.find_first_not_of(" \t\r\n"), e = text.find_last_not_of(" \t\r\n");
    if (b == std::string::npos) return sqlite3_result_null(ctx);
    Num n;
    if (!parseNum(std::string_view(text).substr(b, e - b + 1), n)) throw OraError(1722);
    resultNumExact(ctx, n);
  } else if (col.type == kDate) {
    if (text.empty()) return sqlite3_result_null(ctx);
    std::string s = text;
    if (s.size() > 10 && s[10] == 'T') s[10] = ' ';
    if (s.size() > 19) s.resize(19);
    DateTime d;
    if (int err = parseDate(s, d)) throw OraError(err);
    fn::resultDate(ctx, d);
  } else {
    if (static_cast<int64_t>(text.size()) > col.size) throw OraError(1406); // the value does not fit its column
    if (text.empty()) sqlite3_result_null(ctx);
    else sqlite3_result_text64(ctx, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  }
}

int column(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int i) {
  auto* c = reinterpret_cast<Cursor*>(cur);
  const auto& cols = c->spec->columns;
  if (i < 0 || static_cast<size_t>(i) >= cols.size() || c->at >= c->rows.size()) {
    sqlite3_result_null(ctx);
    return SQLITE_OK;
  }
  const XmlTableColumn& col = cols[static_cast<size_t>(i)];
  try {
    if (col.kind == XmlTableColumn::Ordinality) {
      sqlite3_result_int64(ctx, static_cast<int64_t>(c->at) + 1);
      return SQLITE_OK;
    }
    xml::Value v = xml::evaluate(c->paths[static_cast<size_t>(i)], c->rows[c->at], c->cx);
    if (col.kind == XmlTableColumn::Xml) {
      std::string out;
      if (v.kind == xml::Value::Nodes)
        out = xml::serializeItems(v.nodes);
      else
        out = xml::escape(xml::valueText(v), false);
      if (out.empty()) {
        sqlite3_result_null(ctx);
      } else {
        sqlite3_result_text64(ctx, out.data(), out.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        sqlite3_result_subtype(ctx, kXmlSubtype);
      }
      return SQLITE_OK;
    }
    if (v.kind == xml::Value::Nodes && v.nodes.size() > 1) throw xml::error(19279);
    if (v.kind == xml::Value::Nodes && v.nodes.empty()) {
      if (col.hasDefault) valueResult(ctx, col.dflt, col);
      else sqlite3_result_null(ctx);
      return SQLITE_OK;
    }
    valueResult(ctx, xml::valueText(v), col);
  } catch (const OraError& e) {
    sqlite3_result_error(ctx, e.text.c_str(), -1);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  }
  return SQLITE_OK;
}

const sqlite3_module kModule = rowsModule<Table, Cursor>(connect, bestIndex, open, filter, eof, column);

} // namespace

void registerXmlTable(sqlite3*) {}

std::string xmlTableModule(sqlite3* db, const XmlTableSpec& spec) {
  // the name stands for the column list, so equal lists share one module
  std::string key = spec.namespaces;
  for (const auto& c : spec.columns)
    key += "|" + c.name + "/" + std::to_string(c.kind) + "/" + std::to_string(c.type) + "/" + std::to_string(c.size) + "/" +
           c.path + (c.hasDefault ? "/D" + c.dflt : std::string());
  uint64_t h = 1469598103934665603ull;
  for (unsigned char ch : key) h = (h ^ ch) * 1099511628211ull;
  char name[40];
  std::snprintf(name, sizeof name, "ora_xml_table_%016llx", static_cast<unsigned long long>(h));
  // registered once per connection: replacing a module would pull it from under the statements
  // that read it
  sqlite3_stmt* probe = nullptr;
  std::string sql = std::string("SELECT 1 FROM ") + name + "(NULL, NULL, NULL)";
  bool known = sqlite3_prepare_v2(db, sql.c_str(), -1, &probe, nullptr) == SQLITE_OK;
  sqlite3_finalize(probe);
  if (known) return name;
  auto* aux = new std::shared_ptr<const XmlTableSpec>(std::make_shared<const XmlTableSpec>(spec));
  sqlite3_create_module_v2(db, name, &kModule, aux,
                           [](void* p) { delete static_cast<std::shared_ptr<const XmlTableSpec>*>(p); });
  return name;
}

} // namespace ora
