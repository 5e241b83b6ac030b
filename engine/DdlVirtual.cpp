// Virtual columns: name [type] [GENERATED ALWAYS] AS (expression) [VIRTUAL], computed whenever
// the row is read. SQLite's generated columns keep them; the expression's text is kept with it.
#include "DdlImpl.h"
#include "Dictionary.h"
#include "OraError.h"

namespace ora::tx {

bool Translator::virtualAt(size_t j) const {
  size_t m = j;
  if (is(at(m), "GENERATED")) {
    if (!is(at(m + 1), "ALWAYS")) return false;
    m += 2;
  }
  return is(at(m), "AS") && is(at(m + 1), "(");
}

// The type of a virtual column's expression [b, e), read against the table's other columns;
// none (code 0) when it cannot be told.
ColType Translator::expressionType(size_t b, size_t e) {
  Context c;
  if (tableColumns_)
    for (const auto& [name, type] : *tableColumns_) c.collColumns.emplace_back(std::string(), name, type);
  else if (!defaultsOf_.empty())
    c.tables.push_back(TableRef{defaultsOf_, {}, {}, 0});
  ctx_.push_back(c);
  ColType x;
  try {
    x = exprType(b, e);
  } catch (const OraError&) {
    x = ColType{};
  }
  ctx_.pop_back();
  if (x.code != kVarchar2 && x.code != kChar && x.code != kNumber && x.code != kDate) return ColType{};
  if (x.code == kChar) x.code = kVarchar2;
  return x;
}

std::string Translator::virtualColumn(size_t b, size_t j, size_t e, const std::string& name, ColType& type,
                                      ColType declared) {
  (void)b;
  size_t open = (is(at(j), "GENERATED") ? j + 2 : j) + 1, close = matching(open);
  if (close >= e) throw OraError(907).at(static_cast<int>(at(e).pos));
  if (close == open + 1) throw OraError(936).at(static_cast<int>(at(close).pos));
  for (size_t m = open + 1; m < close; ++m) {
    // a value of its own row only: no subquery, no sequence, no aggregate
    if (is(t_[m], "SELECT")) throw OraError(22818).at(static_cast<int>(t_[m].pos));
    if (is(t_[m], "NEXTVAL") || is(t_[m], "CURRVAL") || is(t_[m], "ROWNUM"))
      throw OraError(54002).at(static_cast<int>(t_[m].pos));
  }
  if (declared.code) {
    type = declared;
  } else if (ColType x = expressionType(open + 1, close); x.code) {
    type = x;
  } else {
    // without a type the expression's own: text when it joins or quotes text, else a number
    type = ColType{};
    type.code = kNumber;
    for (size_t m = open + 1; m < close; ++m)
      if (t_[m].kind == Token::Str || is(t_[m], "||") || is(t_[m], "UPPER") || is(t_[m], "LOWER") ||
          is(t_[m], "SUBSTR") || is(t_[m], "INITCAP") || is(t_[m], "TRIM") || is(t_[m], "CONCAT") ||
          is(t_[m], "TO_CHAR")) {
        type.code = kVarchar2;
        type.size = 4000;
      }
  }
  size_t after = close + 1;
  if (is(at(after), "VIRTUAL")) ++after;
  std::string def = quoteIdent(name) + " " + declTypeText(type, charset()) + " GENERATED ALWAYS AS (" +
                    storedDefault(source(open + 1, close), emit(open + 1, close)) + ") VIRTUAL";
  if (after < e) def += " " + emit(after, e);
  return def;
}

} // namespace ora::tx
