// Invisible columns (CREATE TABLE / ALTER TABLE ... [IN]VISIBLE): read by name only; "*" and an
// INSERT without a column list leave them out.
#include "InvisibleColumns.h"
#include "OraError.h"
#include "TableRebuild.h"
#include "TranslateImpl.h"

#include <algorithm>

namespace ora::tx {

namespace {
// Where a definition's leading quoted name ends; npos when it has none.
size_t afterName(const std::string& def) {
  if (def.empty() || def[0] != '"') return std::string::npos;
  size_t q = def.find('"', 1);
  return q == std::string::npos ? q : q + 1;
}
} // namespace

bool invisibleDef(const std::string& def) {
  size_t at = afterName(def);
  if (at == std::string::npos) return false;
  at = def.find_first_not_of(' ', at);
  return at != std::string::npos && def.compare(at, std::char_traits<char>::length(kInvisibleMark), kInvisibleMark) == 0;
}

std::string markInvisible(const std::string& def, bool invisible) {
  if (invisibleDef(def) == invisible) return def;
  size_t at = afterName(def);
  if (at == std::string::npos) return def;
  if (invisible) return def.substr(0, at) + " " + kInvisibleMark + def.substr(at);
  size_t mark = def.find(kInvisibleMark, at);
  return def.substr(0, at) + def.substr(mark + std::char_traits<char>::length(kInvisibleMark));
}

std::set<std::string> invisibleColumns(const std::string& createSql) {
  std::set<std::string> out;
  if (createSql.find(kInvisibleMark) == std::string::npos) return out;
  for (auto& p : rb::tablePieces(createSql))
    if (!p.column.empty() && invisibleDef(p.text)) out.insert(p.column);
  return out;
}

void checkSomeVisible(const std::vector<rb::DefPiece>& pieces) {
  if (std::none_of(pieces.begin(), pieces.end(), [](const rb::DefPiece& p) { return !p.column.empty() && !invisibleDef(p.text); }))
    throw OraError(54039);
}

void changeVisibility(std::vector<rb::DefPiece>& pieces, const std::vector<std::pair<std::string, bool>>& changes) {
  for (auto& [column, invisible] : changes) {
    auto it = std::find_if(pieces.begin(), pieces.end(), [&col = column](const rb::DefPiece& p) { return p.column == col; });
    if (it == pieces.end()) throw OraError(904, "\"" + column + "\"");
    bool was = invisibleDef(it->text);
    it->text = markInvisible(it->text, invisible);
    if (!was || invisible) continue;
    // visible again: after every other column, before the table constraints
    rb::DefPiece moved = *it;
    pieces.erase(it);
    size_t lastColumn = 0;
    for (size_t k = 0; k < pieces.size(); ++k)
      if (!pieces[k].column.empty()) lastColumn = k + 1;
    pieces.insert(pieces.begin() + static_cast<long>(lastColumn), moved);
  }
  checkSomeVisible(pieces);
}

void checkInvisibleAllowed(sqlite3* db, const std::string& table, const std::vector<rb::DefPiece>& pieces) {
  if (std::none_of(pieces.begin(), pieces.end(), [](const rb::DefPiece& p) { return !p.column.empty() && invisibleDef(p.text); }))
    return;
  if (rb::scalar(db, "SELECT COUNT(*) FROM \"TESSEL$TEMPORARY\" WHERE TABLE_NAME = " + quoteString(table)) > 0)
    throw OraError(54042);
}

bool Translator::visibilityAt(size_t j) {
  if (j >= size() || t_[j].kind != Token::Ident || !(is(t_[j], "VISIBLE") || is(t_[j], "INVISIBLE"))) return false;
  skip_[j] = 1;
  return true;
}

bool Translator::visibleStar(size_t i, size_t ie) {
  if (ctx_.empty() || (ie != i + 1 && ie != i + 3)) return false;
  std::string qualifier = ie == i + 3 ? t_[i].text : std::string();
  // a bare "*" over a subquery or TABLE(...) as well keeps SQLite's own expansion
  if (qualifier.empty() && ctx_.back().opaque) return false;
  std::string list;
  bool hidden = false;
  for (const TableRef& r : ctx_.back().tables) {
    const std::string& exposed = r.alias.empty() ? r.name : r.alias;
    if (!qualifier.empty() && exposed != qualifier) continue;
    std::string q = quoteIdent(exposed);
    bool own = r.dictionary.empty() && r.name != "DUAL" && cat_.tableExists(r.name);
    const std::vector<ColumnInfo> none;
    const auto& cols = own ? cat_.columns(r.name) : none;
    if (std::none_of(cols.begin(), cols.end(), [](const ColumnInfo& c) { return c.invisible; })) {
      list += (list.empty() ? "" : ", ") + q + ".*";
      continue;
    }
    hidden = true;
    for (auto& c : cols)
      if (!c.invisible) list += (list.empty() ? "" : ", ") + q + "." + quoteIdent(c.name) + " AS " + quoteIdent(c.name);
  }
  if (!hidden) return false;
  if (ie == i + 3) skip_[i] = skip_[i + 1] = 1;
  replace_[ie - 1] = list;
  return true;
}

} // namespace ora::tx
