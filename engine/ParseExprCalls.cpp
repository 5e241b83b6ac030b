// Function calls: their arguments, how many each built-in takes, and what may follow the
// parentheses (KEEP, WITHIN GROUP, an OVER window with its frame).
#include "SqlParser.h"
#include "SqlText.h"
#include "OraFunctions.h"

#include <set>
#include <string>

namespace ora::sql {

namespace {

bool aggregate(const std::string& f) { return f != "LISTAGG" && aggregateFunction(f); }

// Aggregates of a pair of values: COVAR_*, CORR and REGR_*.
size_t aggregateArgs(const std::string& f) {
  if (f == "STATS_T_TEST_ONE" || f == "STATS_T_TEST_PAIRED") return 3; // the values and the result wanted
  return f.starts_with("COVAR_") || f == "CORR" || f.starts_with("REGR_") ? 2 : 1;
}

// How many arguments Oracle's built-in single-row functions take. A function of one fixed count
// called with another fails with ORA-00909; one that takes a range fails with ORA-00938 below it
// and ORA-00939 above it.
struct Arity {
  const char* name;
  size_t min, max;
};
constexpr size_t kMany = 255;
constexpr Arity kArities[] = {
    {"NVL", 2, 2}, {"NVL2", 3, 3}, {"NULLIF", 2, 2}, {"LNNVL", 1, 1}, {"NANVL", 2, 2},
    {"UPPER", 1, 1}, {"LOWER", 1, 1}, {"INITCAP", 1, 1}, {"REVERSE", 1, 1}, {"LENGTH", 1, 1}, {"LENGTHB", 1, 1},
    {"CONCAT", 2, 2}, {"CHR", 1, 1}, {"ASCII", 1, 1}, {"SOUNDEX", 1, 1}, {"VSIZE", 1, 1},
    {"MOD", 2, 2}, {"REMAINDER", 2, 2}, {"ABS", 1, 1}, {"SIGN", 1, 1}, {"CEIL", 1, 2},
    {"FLOOR", 1, 2}, {"POWER", 2, 2}, {"SQRT", 1, 1}, {"EXP", 1, 1}, {"LN", 1, 1}, {"LOG", 2, 2},
    {"SIN", 1, 1}, {"COS", 1, 1}, {"TAN", 1, 1}, {"ASIN", 1, 1}, {"ACOS", 1, 1}, {"ATAN", 1, 1},
    {"SINH", 1, 1}, {"COSH", 1, 1}, {"TANH", 1, 1}, {"ATAN2", 2, 2}, {"BITAND", 2, 2},
    {"ADD_MONTHS", 2, 2}, {"MONTHS_BETWEEN", 2, 2}, {"LAST_DAY", 1, 1}, {"NEXT_DAY", 2, 2},
    {"HEXTORAW", 1, 1}, {"RAWTOHEX", 1, 1}, {"ROWIDTOCHAR", 1, 1}, {"ROWIDTONCHAR", 1, 1}, {"CHARTOROWID", 1, 1}, {"REFTOHEX", 1, 1},
    {"SUBSTR", 2, 3}, {"SUBSTRB", 2, 3}, {"INSTR", 2, 4}, {"INSTRB", 2, 4}, {"LPAD", 2, 3},
    {"SUBSTRC", 2, 3}, {"SUBSTR4", 2, 3}, {"INSTRC", 2, 4}, {"INSTR4", 2, 4}, {"LENGTHC", 1, 1},
    {"LENGTH4", 1, 1},
    {"RPAD", 2, 3}, {"LTRIM", 1, 2}, {"RTRIM", 1, 2}, {"REPLACE", 2, 3}, {"ROUND", 1, 2},
    {"TRUNC", 1, 2}, {"TO_CHAR", 1, 3}, {"TO_DATE", 1, 3}, {"TO_NUMBER", 1, 3}, {"TO_BINARY_DOUBLE", 1, 3}, {"TO_BINARY_FLOAT", 1, 3},
    {"DECODE", 3, kMany}, {"GREATEST", 1, kMany}, {"LEAST", 1, kMany}, {"COALESCE", 2, kMany},
    {"DUMP", 1, 4}, {"STANDARD_HASH", 1, 2}, {"ORA_HASH", 1, 3}, {"COMPOSE", 1, 1}, {"COLLATION", 1, 1}, {"NLS_COLLATION_ID", 1, 1}, {"NLS_COLLATION_NAME", 1, 2}, {"RAWTONHEX", 1, 1}, {"DECOMPOSE", 1, 2}, {"REGEXP_SUBSTR", 2, 6}, {"REGEXP_INSTR", 2, 7}, {"REGEXP_REPLACE", 2, 6},
    {"REGEXP_COUNT", 2, 4}, {"REGEXP_LIKE", 2, 3},
};

// ORA-00909, 00938 or 00939 when a built-in function is given the wrong number of arguments;
// 0 when the count is right or the function is not one of these.
int arityError(const std::string& f, size_t args) {
  for (const Arity& a : kArities) {
    if (f != a.name) continue;
    if (args >= a.min && args <= a.max) return 0;
    if (a.min == a.max) return 909;
    return args < a.min ? 938 : 939;
  }
  // the analytic functions answer ORA-00909 for any wrong count
  static constexpr Arity analytic[] = {{"LAG", 1, 3}, {"LEAD", 1, 3}, {"NTILE", 1, 1}, {"NTH_VALUE", 2, 2},
                                       {"FIRST_VALUE", 1, 1}, {"LAST_VALUE", 1, 1}};
  for (const Arity& a : analytic)
    if (f == a.name) return args >= a.min && args <= a.max ? 0 : 909;
  return 0;
}

} // namespace

Node* Parser::call(Node* fname) {
  DepthGuard g(exprDepth_, kMaxExprDepth, cur().pos);
  Node* n = fname;
  n->kind = N::Call;
  size_t defaults = 0; // DEFAULT ... ON CONVERSION ERROR
  // a package or schema qualifier is kept as text; the kids are the arguments
  for (Node* q = n->kid(0); q; q = q->kid(0)) n->alias = q->text + (n->alias.empty() ? "" : "." + n->alias);
  n->kids.clear();
  ++i_; // (
  if (acceptOp(")")) {
    if (aggregate(n->text)) failAt(909, n->pos);
  } else if (isOp("*") && (n->text == "COUNT" || n->text == "APPROX_COUNT")) {
    ++i_;
    expectOp(")", 907);
    n->flags |= kCallStar;
  } else if (isOp("*") && isOp(")", 1)) {
    fail(936);
  } else {
    if (acceptWord("DISTINCT") || acceptWord("UNIQUE")) n->flags |= kDistinct;
    else acceptWord("ALL");
    do {
      if (n->text == "LNNVL" && n->alias.empty()) {
        // one simple condition: no AND, OR or BETWEEN
        const size_t start = i_;
        n->kids.push_back(binary(3));
        if (n->kids.back()->kind == N::Between)
          for (size_t k = start, depth = 0; k < i_; ++k) {
            if (t_[k].kind == Tok::Op && t_[k].text == "(") ++depth;
            if (t_[k].kind == Tok::Op && t_[k].text == ")") --depth;
            if (depth == 0 && t_[k].kind == Tok::Ident && t_[k].text == "BETWEEN") failAt(907, t_[k].pos);
          }
        continue;
      }
      if (n->text == "TIME_BUCKET" && n->kids.size() == 3 && (isWord("START") || isWord("END")) && isOp(")", 1)) {
        // TIME_BUCKET(datetime, stride, origin, START | END): which edge of the bucket
        Node* edge = make(N::Str);
        edge->text = t_[i_++].text;
        n->kids.push_back(edge);
        continue;
      }
      // a parameter named, name => value, in a call of the schema's function
      if (nameAt() && isOp("=", 1) && isOp(">", 2) && peek(1).end == peek(2).pos &&
          (!n->alias.empty() || !functionAllowed(n->text.c_str(), false)))
        i_ += 3;
      n->kids.push_back(value(expr()));
      if (n->kids.size() == 1 && (n->text == "TO_NUMBER" || n->text == "TO_DATE" || n->text == "TO_BINARY_DOUBLE" ||
                                   n->text == "TO_BINARY_FLOAT" || n->text == "TO_TIMESTAMP" ||
                                   n->text == "TO_TIMESTAMP_TZ" || n->text == "TO_DSINTERVAL" ||
                                   n->text == "TO_YMINTERVAL")) {
        conversionDefault(n);
        defaults = n->kids.size() - 1; // the default is no argument of the count
      }
      // CHR(n USING NCHAR_CS): the national character set's character n
      if (n->kids.size() == 1 && n->text == "CHR" && n->alias.empty() && acceptWord("USING"))
        expectWord("NCHAR_CS", 905);
      // TRANSLATE(text USING CHAR_CS | NCHAR_CS): the text in the database or the national character set
      if (n->kids.size() == 1 && n->text == "TRANSLATE" && n->alias.empty() && acceptWord("USING")) {
        if (acceptWord("CHAR_CS")) n->text = "TO_CHAR";
        else {
          expectWord("NCHAR_CS", 905);
          n->text = "TO_NCHAR";
        }
      }
      // APPROX_MEDIAN(x DETERMINISTIC), APPROX_PERCENTILE(p DETERMINISTIC)
      if (n->kids.size() == 1 && (n->text == "APPROX_MEDIAN" || n->text == "APPROX_PERCENTILE")) acceptWord("DETERMINISTIC");
      // FIRST_VALUE(x IGNORE NULLS), LAG(x RESPECT NULLS, 1)
      if ((isWord("IGNORE") || isWord("RESPECT")) && isWord("NULLS", 1)) i_ += 2;
      if (n->text == "LISTAGG" && isWord("ON") && isWord("OVERFLOW", 1)) {
        // ON OVERFLOW ERROR | TRUNCATE ['indicator'] [WITH | WITHOUT COUNT]
        i_ += 2;
        if (!acceptWord("ERROR")) {
          expectWord("TRUNCATE", 905);
          if (cur().kind == Tok::Str) ++i_;
          if (acceptWord("WITH") || acceptWord("WITHOUT")) expectWord("COUNT", 905);
        }
      }
    } while (acceptOp(","));
    if (aggregate(n->text) && n->kids.size() > aggregateArgs(n->text)) failAt(909, n->pos);
    if (n->text == "COLLECT" && n->alias.empty() && isWord("ORDER")) {
      // COLLECT(x ORDER BY ...): the order is the last kid
      n->kids.push_back(orderBy());
      n->flags |= kWithin;
    }
    expectOp(")", 907);
    // only some group functions take DISTINCT: the statistical, percentile and window ones do not
    static const std::set<std::string> noDistinct = {"MEDIAN", "STDDEV_POP", "STDDEV_SAMP", "VAR_POP", "VAR_SAMP",
        "COVAR_POP", "COVAR_SAMP", "CORR", "REGR_SLOPE", "REGR_INTERCEPT", "REGR_COUNT", "REGR_R2", "REGR_AVGX",
        "REGR_AVGY", "REGR_SXX", "REGR_SYY", "REGR_SXY", "PERCENTILE_CONT", "PERCENTILE_DISC",
        "APPROX_COUNT_DISTINCT", "STATS_MODE", "STATS_T_TEST_ONE", "STATS_T_TEST_PAIRED", "RATIO_TO_REPORT", "FIRST_VALUE", "LAST_VALUE", "NTH_VALUE", "LAG", "LEAD", "NTILE"};
    if ((n->flags & kDistinct) && n->alias.empty() && noDistinct.count(n->text)) failAt(30482, n->pos);
  }
  if (n->alias.empty())
    if (int code = arityError(n->text, n->kids.size() - defaults)) failAt(code, n->pos);
  if (n->text == "NTH_VALUE" && isWord("FROM") && (isWord("FIRST", 1) || isWord("LAST", 1))) i_ += 2;
  if ((isWord("IGNORE") || isWord("RESPECT")) && isWord("NULLS", 1) && isWord("OVER", 2)) i_ += 2;
  if (isWord("KEEP") && isOp("(", 1)) {
    // KEEP (DENSE_RANK FIRST|LAST ORDER BY ...): the aggregate of the rows ranked first or last
    i_ += 2;
    expectWord("DENSE_RANK", 905);
    if (!acceptWord("FIRST")) expectWord("LAST", 905);
    if (!isWord("ORDER")) fail(30491);
    n->kids.push_back(orderBy());
    expectOp(")", 907);
  }
  if (isWord("WITHIN") && isWord("GROUP", 1)) {
    i_ += 2;
    expectOp("(", 906);
    if (!isWord("ORDER")) fail(30491); // missing ORDER BY clause
    n->kids.push_back(orderBy());
    expectOp(")", 907);
    n->flags |= kWithin;
  }
  if (isWord("OVER") && isOp("(", 1)) {
    Node* over = make(N::Over);
    i_ += 2;
    Node* part = nullptr;
    if (acceptWord("PARTITION")) {
      expectWord("BY", 924);
      part = tree_.make(N::List, cur().pos);
      do {
        part->kids.push_back(expr());
      } while (acceptOp(","));
    }
    over->kids.push_back(part);
    over->kids.push_back(isWord("ORDER") ? orderBy() : nullptr);
    // the ranking and offset functions take no window frame: their window ends at the sort keys
    static const std::set<std::string> frameless = {"ROW_NUMBER", "RANK", "DENSE_RANK", "CUME_DIST", "PERCENT_RANK",
                                                    "NTILE", "LAG", "LEAD"};
    const bool framed = isWord("ROWS") || isWord("RANGE") || isWord("GROUPS");
    if (framed && n->alias.empty() && frameless.count(n->text)) fail(907);
    if (over->kids.back() && framed) {
      // the window frame: ROWS|RANGE [BETWEEN] bound [AND bound]; the start may not lie after
      // the end, and a RANGE offset needs a single sort key (ORA-30486)
      const uint32_t framePos = cur().pos;
      const bool range = isWord("RANGE");
      ++i_;
      enum Bound { UnboundedPreceding, Preceding, Current, Following, UnboundedFollowing };
      bool offset = false;
      auto bound = [&] {
        if (acceptWord("UNBOUNDED")) {
          if (acceptWord("PRECEDING")) return UnboundedPreceding;
          expectWord("FOLLOWING", 905);
          return UnboundedFollowing;
        }
        if (acceptWord("CURRENT")) {
          expectWord("ROW", 905);
          return Current;
        }
        over->kids.push_back(expr());
        offset = true;
        if (acceptWord("PRECEDING")) return Preceding;
        expectWord("FOLLOWING", 905);
        return Following;
      };
      bool between = acceptWord("BETWEEN");
      Bound start = bound(), end = Current;
      if (between) {
        expectWord("AND", 905);
        end = bound();
      }
      bool valid = start != UnboundedFollowing && end != UnboundedPreceding &&
                   (between || start != Following) && !(start >= Current && end < start) &&
                   !(range && offset && over->kids[1]->kids.size() > 1);
      if (!valid) failAt(30486, framePos);
      // EXCLUDE CURRENT ROW | GROUP | TIES | NO OTHERS takes rows out of the frame
      if (acceptWord("EXCLUDE")) {
        if (acceptWord("CURRENT")) expectWord("ROW", 905);
        else if (acceptWord("NO")) expectWord("OTHERS", 905);
        else if (!acceptWord("GROUP") && !acceptWord("TIES")) fail(905);
      }
    }
    expectOp(")", 907);
    n->flags |= kOver;
    n->kids.push_back(finish(over)); // the window is the last kid of an analytic call
  } else if (n->alias.empty() && !(n->flags & kWithin)) {
    // the window functions need their OVER; RANK (1500) and the like are aggregates only WITHIN GROUP
    static const std::set<std::string> windowOnly = {"ROW_NUMBER", "NTILE", "LAG", "LEAD", "FIRST_VALUE",
        "LAST_VALUE", "NTH_VALUE", "RATIO_TO_REPORT"};
    static const std::set<std::string> hypothetical = {"RANK", "DENSE_RANK", "CUME_DIST", "PERCENT_RANK"};
    if (windowOnly.count(n->text) || (hypothetical.count(n->text) && n->kids.empty())) failAt(30484, n->pos);
    if (hypothetical.count(n->text)) fail(2000);
  }
  return finish(n);
}

} // namespace ora::sql
