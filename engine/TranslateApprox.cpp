// The approximate aggregates answered exactly: APPROX_SUM and APPROX_COUNT as SUM and COUNT,
// APPROX_MEDIAN and APPROX_PERCENTILE as MEDIAN and PERCENTILE_DISC, or, DETERMINISTIC, as the
// interpolating MEDIAN and PERCENTILE_CONT.
#include "TranslateImpl.h"

namespace ora::tx {

void Translator::approxAggregates() {
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
        t_.erase(t_.begin() + static_cast<std::ptrdiff_t>(m));
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
