#include "SharingShape.h"

#include "ObjectTypes.h"
#include "OraError.h"
#include "SqlLexer.h"
#include "TranslateImpl.h"

namespace ora {

namespace {

bool digitAt(std::string_view s, size_t i) { return i < s.size() && s[i] >= '0' && s[i] <= '9'; }

// The literals of `text` when it is the shape's text with other literal values: the same bytes
// between them, and each literal one of the kind before that starts the same way (what comes
// before and after a literal reads its first byte, so it must not change how they end).
bool sameShape(const TextShape& sh, std::string_view s, std::vector<Literal>& literals) {
  std::string_view old(sh.text);
  literals.reserve(sh.slots.size());
  size_t o = 0, n = 0;
  for (const TextShape::Slot& sl : sh.slots) {
    size_t len = sl.pos - o;
    if (s.size() - n < len || s.compare(n, len, old.substr(o, len)) != 0) return false;
    n += len;
    size_t i = n;
    if (sl.text) {
      if (s.compare(n, sl.opening.size(), sl.opening) != 0) return false;
      std::string v;
      try {
        if (!sql::readLiteral(s, i, v)) return false;
      } catch (const OraError&) {
        return false;
      }
      if (isObjectText(v) != sl.object) return false;
      literals.push_back({sl.token, true, std::move(v)});
    } else {
      if (sl.opening == "." ? !(n < s.size() && s[n] == '.' && digitAt(s, n + 1)) : !digitAt(s, n)) return false;
      i = sql::numberEnd(s, n);
      if (i == n) return false;
      std::string v(s.substr(n, i - n));
      // a number a double cannot hold is part of the key
      if (tx::significantDigits(v) > 15) return false;
      i += sql::numberSuffix(s, i);
      literals.push_back({sl.token, false, std::move(v)});
    }
    n = i;
    o = sl.end;
  }
  return s.substr(n) == old.substr(o);
}

} // namespace

std::string sharingKey(const std::string& text, std::vector<Literal>& literals, TextShape& shape) {
  literals.clear();
  if (!shape.key.empty()) {
    if (sameShape(shape, text, literals)) return shape.key;
    literals.clear();
  }
  std::vector<std::pair<uint32_t, uint32_t>> spans;
  std::string key = sharingKey(text, literals, &spans);
  shape.key.clear();
  shape.slots.clear();
  if (key.empty() || spans.size() != literals.size()) return key;
  for (size_t k = 0; k < literals.size(); ++k) {
    const Literal& l = literals[k];
    TextShape::Slot sl;
    sl.pos = spans[k].first;
    sl.end = spans[k].second;
    sl.token = l.token;
    sl.text = l.text;
    if (l.text) {
      sl.object = isObjectText(l.value);
      size_t quote = text.find('\'', sl.pos);
      if (quote == std::string::npos || quote >= sl.end) return key;
      sl.opening = text.substr(sl.pos, quote + 1 - sl.pos);
    } else {
      if (tx::significantDigits(l.value) > 15) return key;
      sl.opening = text[sl.pos] == '.' ? "." : "";
    }
    shape.slots.push_back(std::move(sl));
  }
  shape.text = text;
  shape.key = key;
  return key;
}

} // namespace ora
