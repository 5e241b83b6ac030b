// The built-in list types without their owner, and the approximate aggregates answered exactly:
// APPROX_SUM and APPROX_COUNT as SUM and COUNT, APPROX_MEDIAN and APPROX_PERCENTILE as MEDIAN and
// PERCENTILE_DISC, or, DETERMINISTIC, as the interpolating MEDIAN and PERCENTILE_CONT.
#include "TranslateImpl.h"

namespace ora::tx {

void Translator::approxAggregates() {
  // the literals are found by their place among the tokens: a statement that loses tokens keeps
  // its literals in its text
  auto erase = [this](size_t at, size_t n) {
    t_.erase(t_.begin() + static_cast<std::ptrdiff_t>(at), t_.begin() + static_cast<std::ptrdiff_t>(at + n));
    share_ = false;
    tr_.unshared = true;
  };
  // SYS.ODCINUMBERLIST and the other built-in list types are named without their owner
  for (size_t i = 0; i + 2 < t_.size(); ++i)
    if (t_[i].kind == Token::Ident && t_[i].text == "SYS" && is(t_[i + 1], ".") && t_[i + 2].kind == Token::Ident &&
        (t_[i + 2].text == "ODCIVARCHAR2LIST" || t_[i + 2].text == "ODCINUMBERLIST" || t_[i + 2].text == "ODCIDATELIST") &&
        !(i > 0 && is(t_[i - 1], ".")))
      erase(i, 2);
  for (size_t i = 0; i + 1 < t_.size(); ++i) {
    Token& k = t_[i];
    if (k.kind != Token::Ident || !k.text.starts_with("APPROX_") || !is(t_[i + 1], "(") ||
        (i > 0 && is(t_[i - 1], ".")))
      continue;
    if (k.text == "APPROX_SUM" || k.text == "APPROX_COUNT") {
      k.text = k.text == "APPROX_SUM" ? "SUM" : "COUNT";
      continue;
    }
    if (k.text != "APPROX_MEDIAN" && k.text != "APPROX_PERCENTILE") continue;
    // DETERMINISTIC follows the first argument; it goes from the tokens
    bool deterministic = false;
    const int d = t_[i + 1].depth;
    for (size_t m = i + 2; m < t_.size() && !(t_[m].depth == d && is(t_[m], ")")); ++m)
      if (t_[m].depth == d + 1 && t_[m].kind == Token::Ident && t_[m].text == "DETERMINISTIC" &&
          (is(t_[m + 1], ")") || is(t_[m + 1], ","))) {
        erase(m, 1);
        deterministic = true;
        break;
      }
    if (k.text == "APPROX_MEDIAN") {
      if (!deterministic) discreteMedian_.insert(i);
      k.text = "MEDIAN";
    } else {
      k.text = deterministic ? "PERCENTILE_CONT" : "PERCENTILE_DISC";
    }
  }
}

} // namespace ora::tx
