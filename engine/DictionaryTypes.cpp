// The dictionary's rows for the schema's types: USER_TYPES and USER_TYPE_ATTRS.
#include "DictionaryImpl.h"
#include "ObjectTypes.h"

#include <sqlite3.h>

namespace ora::dict {

namespace {

std::vector<std::string> typeNames(sqlite3* db) {
  std::vector<std::string> out;
  eachRow(db, "SELECT NAME FROM \"TESSEL$SOURCE\" WHERE TYPE = 'TYPE' ORDER BY NAME",
          [&](sqlite3_stmt* st) { out.push_back(col(st, 0)); });
  return out;
}

size_t methodCount(sqlite3* db, std::shared_ptr<const ObjType> ty) {
  size_t n = 0;
  for (int depth = 0; ty && depth < 32; ++depth) {
    for (const auto& m : ty->methods)
      if (!m.constructor || depth == 0) ++n;
    ty = ty->super.empty() ? nullptr : objectType(db, ty->super);
  }
  return n;
}

} // namespace

void fillTypes(const Source& src, Inserter& ins) {
  for (const std::string& name : typeNames(src.db)) {
    auto ty = objectType(src.db, name);
    ins.text(name).null();
    if (!ty) {
      // a collection type: a nested table or a varray
      ins.text("COLLECTION").num(0).num(0).text("NO").text("NO").text("YES").text("YES").null().null().null().null().null().row();
      continue;
    }
    ins.text("OBJECT").num(static_cast<int64_t>(ty->attrs.size())).num(static_cast<int64_t>(methodCount(src.db, ty)));
    ins.text("NO").text("NO").text(ty->final ? "YES" : "NO").text(ty->instantiable ? "YES" : "NO");
    if (ty->super.empty()) {
      ins.null().null().null().null();
    } else {
      ins.text(src.owner).text(ty->super).num(ty->ownAttrs).num(static_cast<int64_t>(ty->methods.size()));
    }
    ins.null().row();
  }
}

void fillTypeAttrs(const Source& src, Inserter& ins) {
  for (const std::string& name : typeNames(src.db)) {
    auto ty = objectType(src.db, name);
    if (!ty) continue;
    size_t inherited = ty->attrs.size() - static_cast<size_t>(ty->ownAttrs);
    for (size_t k = 0; k < ty->attrs.size(); ++k) {
      const ObjAttr& a = ty->attrs[k];
      const ColType& t = a.type;
      ins.text(name).text(a.name).null();
      if (!t.object.empty()) {
        ins.text(src.owner).text(t.object).null().null().null().null();
      } else {
        std::string word = a.typeText.substr(0, a.typeText.find('('));
        while (!word.empty() && word.back() == ' ') word.pop_back();
        for (auto& c : word) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        bool text = t.code == kVarchar2 || t.code == kChar;
        ins.null().text(word);
        if (text) ins.num(t.size);
        else ins.null();
        if (t.code == kNumber && t.hasScale && t.precision > 0) ins.num(t.precision).num(t.scale);
        else ins.null().null();
        if (text) ins.text("CHAR_CS");
        else ins.null();
      }
      ins.num(static_cast<int64_t>(k + 1)).text(k < inherited ? "YES" : "NO");
      if (t.object.empty() && (t.code == kVarchar2 || t.code == kChar)) ins.text(t.chars > 0 ? "C" : "B");
      else ins.null();
      ins.row();
    }
  }
}

} // namespace ora::dict
