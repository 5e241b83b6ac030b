// CLOB, NCLOB and BLOB in expressions: the types of the LOB functions and of text functions of a
// LOB, DBMS_LOB's functions in a query, and the places Oracle does not take a LOB.
#include "TranslateImpl.h"

#include "CType.h"

#include <set>

namespace ora::tx {

bool Translator::lobPackageCall(size_t i) const {
  if (i + 3 >= size() || t_[i].kind != Token::Ident || t_[i].text != "DBMS_LOB" || !is(at(i + 1), ".") ||
      at(i + 2).kind != Token::Ident || !is(at(i + 3), "("))
    return false;
  static const std::set<std::string> callable = {"GETLENGTH", "SUBSTR", "INSTR", "COMPARE"};
  if (!callable.count(at(i + 2).text)) throw OraError(904, "\"DBMS_LOB\".\"" + at(i + 2).text + "\"").at(static_cast<int>(at(i + 2).pos));
  return true;
}

// DBMS_LOB's functions are the engine's own: ora_lob_getlength and the like.
std::string Translator::lobFunctionName(size_t i) const {
  std::string name = at(i + 2).text;
  for (auto& c : name) c = static_cast<char>(lowerC(static_cast<unsigned char>(c)));
  return "ora_lob_" + name;
}

bool Translator::lobType(size_t b, size_t e, ColType& t) {
  if (e < b + 3 || t_[b].kind != Token::Ident) return false;
  if (lobPackageCall(b)) {
    if (matching(b + 3) + 1 != e) return false;
    const std::string& f = at(b + 2).text;
    t = ColType{};
    if (f != "SUBSTR") {
      t.code = kNumber;
      return true;
    }
    // the piece is VARCHAR2 of a CLOB, RAW of a BLOB
    size_t a = b + 4, m = a;
    while (m < e - 1 && !(t_[m].depth == t_[b + 3].depth + 1 && is(t_[m], ","))) ++m;
    bool blob = m > a && exprType(a, m).lob == kBlob;
    t.code = blob ? kRaw : kVarchar2;
    t.size = blob ? 2000 : 4000;
    return true;
  }
  if (!is(at(b + 1), "(") || matching(b + 1) + 1 != e) return false;
  const std::string& f = t_[b].text;
  auto lob = [&t](int code, int kind) {
    t = ColType{};
    t.code = code;
    t.lob = kind;
    return true;
  };
  if (f == "EMPTY_CLOB" || f == "TO_CLOB") return lob(kLong, kClob);
  if (f == "TO_NCLOB") return lob(kLong, kNclob);
  if (f == "EMPTY_BLOB" || f == "TO_BLOB") return lob(kLongRaw, kBlob);
  return false;
}


bool Translator::lobTextResult(const std::string& f, const std::vector<std::pair<size_t, size_t>>& args, ColType& t) {
  static const std::set<std::string> lobText = {"REPLACE", "REGEXP_REPLACE", "TRANSLATE", "LPAD", "RPAD", "CONCAT"};
  // each look at an argument types it once more: nested calls look only a few levels down
  if (args.empty() || !lobText.count(f) || lobProbes_ >= 4) return false;
  struct Probe {
    int& n;
    explicit Probe(int& c) : n(++c) {}
    ~Probe() { --n; }
  } probe(lobProbes_);
  ColType x = exprType(args[0].first, args[0].second);
  if (x.lob != kClob && x.lob != kNclob && f == "CONCAT" && args.size() > 1) x = exprType(args[1].first, args[1].second);
  if (x.lob != kClob && x.lob != kNclob) return false;
  t = x;
  return true;
}

std::string Translator::lobTypeError(const ColType& t) {
  return std::string("expected - got ") + (t.lob == kBlob ? "BLOB" : t.lob == kNclob ? "NCLOB" : "CLOB");
}

void Translator::rejectLob(size_t b, size_t e) {
  if (e <= b || e > size() || skip_[b] || !replace_[b].empty() || rowAt(b, e)) return;
  if (e == b + 1 && t_[b].kind != Token::Ident && t_[b].kind != Token::QIdent) return;
  ColType x = exprType(b, e);
  if (x.lob) throw OraError(932, lobTypeError(x)).at(static_cast<int>(t_[b].pos));
}

void Translator::rejectLobOrder(size_t b, size_t e, int depth) {
  for (size_t i = b; i + 1 < e; ++i) {
    if (!(t_[i].depth == depth && is(t_[i], "ORDER") && is(t_[i + 1], "BY"))) continue;
    size_t item = i + 2;
    for (size_t m = item; m <= e; ++m) {
      bool last = m == e || (t_[m].depth == depth && (is(t_[m], "OFFSET") || is(t_[m], "FETCH")) && keywordAt(t_, m));
      if (!last && !(t_[m].depth == depth && is(t_[m], ","))) continue;
      size_t ie = m;
      if (ie > item + 1 && t_[ie - 2].depth == depth && is(t_[ie - 2], "NULLS")) ie -= 2;
      if (ie > item + 1 && t_[ie - 1].depth == depth && (is(t_[ie - 1], "ASC") || is(t_[ie - 1], "DESC"))) --ie;
      rejectLob(item, ie);
      item = m + 1;
      if (last) break;
    }
    return;
  }
}

bool Translator::sortingSetOp(int depth) const {
  for (size_t k = 0; k < size(); ++k) {
    if (t_[k].depth != depth && t_[k].depth + 1 != depth) continue;
    if (is(t_[k], "INTERSECT") || is(t_[k], "MINUS") || is(t_[k], "EXCEPT")) return true;
    if (is(t_[k], "UNION") && !is(at(k + 1), "ALL")) return true;
  }
  return false;
}

} // namespace ora::tx
