// Oracle's character functions (SUBSTR, INSTR, TRIM, LPAD, ...) and LIKE, by characters of UTF-8.
#include "DisplayWidth.h"
#include "FunctionUtil.h"
#include "OraError.h"
#include "OraValues.h"
#include "SqlTranslate.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace ora::fn {

// ---- characters ----

void fnSubstr(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  auto starts = charStarts(s);
  int64_t count = static_cast<int64_t>(starts.size()) - 1;
  int64_t pos = startPosition(intOf(argv[1]), count);
  if (!pos) { sqlite3_result_null(ctx); return; }
  int64_t len = count - pos + 1;
  if (argc == 3) {
    double l = std::trunc(doubleOf(argv[2]));
    if (l < 1) { sqlite3_result_null(ctx); return; }
    if (l < static_cast<double>(len)) len = static_cast<int64_t>(l);
  }
  size_t b = starts[pos - 1], e = starts[pos - 1 + len];
  resultText(ctx, s.substr(b, e - b));
}

void fnInstr(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]), sub = textOf(argv[1]);
  int64_t pos = argc > 2 ? intOf(argv[2]) : 1;
  int64_t occ = argc > 3 ? intOf(argv[3]) : 1;
  if (occ < 1) throw OraError(1428, std::to_string(occ));
  if (pos == 0) { sqlite3_result_int64(ctx, 0); return; }
  auto starts = charStarts(s);
  int64_t count = static_cast<int64_t>(starts.size()) - 1;
  auto matchAt = [&](int64_t k) { return s.compare(starts[k], sub.size(), sub) == 0; };
  int64_t found = 0;
  if (pos > 0) {
    for (int64_t k = pos - 1; k < count; ++k)
      if (starts[k] + sub.size() <= s.size() && matchAt(k) && ++found == occ) {
        sqlite3_result_int64(ctx, k + 1);
        return;
      }
  } else {
    // Backward: matches that start at or before the position.
    for (int64_t k = count + pos; k >= 0; --k)
      if (k < count && starts[k] + sub.size() <= s.size() && matchAt(k) && ++found == occ) {
        sqlite3_result_int64(ctx, k + 1);
        return;
      }
  }
  sqlite3_result_int64(ctx, 0);
}

void fnLength(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  sqlite3_result_int64(ctx, static_cast<int64_t>(charStarts(textOf(argv[0])).size()) - 1);
}

void fnUpper(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  resultText(ctx, mapChars(textOf(argv[0]), upperChar));
}

void fnLower(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  resultText(ctx, mapChars(textOf(argv[0]), lowerChar));
}

void fnInitcap(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]), out;
  bool inWord = false;
  for (size_t i = 0; i < s.size();) {
    uint32_t c = nextChar(s, i);
    appendChar(out, inWord ? lowerChar(c) : upperChar(c));
    inWord = isWordChar(c);
  }
  resultText(ctx, out);
}

// REVERSE(s): the characters in the opposite order (whole characters: a multibyte one is never
// split into bytes that make no text)
void fnReverse(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]), out;
  auto starts = charStarts(s);
  out.reserve(s.size());
  for (size_t k = starts.size() - 1; k > 0; --k) out.append(s, starts[k - 1], starts[k] - starts[k - 1]);
  resultText(ctx, out);
}

std::string trimChars(const std::string& s, const std::vector<uint32_t>& set, bool left, bool right) {
  auto in = [&](uint32_t c) { return std::find(set.begin(), set.end(), c) != set.end(); };
  auto starts = charStarts(s);
  size_t n = starts.size() - 1, b = 0, e = n;
  if (left)
    while (b < e) {
      size_t i = starts[b];
      if (!in(nextChar(s, i))) break;
      ++b;
    }
  if (right)
    while (e > b) {
      size_t i = starts[e - 1];
      if (!in(nextChar(s, i))) break;
      --e;
    }
  return s.substr(starts[b], starts[e] - starts[b]);
}

void fnTrim(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  resultText(ctx, trimChars(textOf(argv[0]), {' '}, true, true));
}

void fnLtrim(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  auto set = argc > 1 ? decode(textOf(argv[1])) : std::vector<uint32_t>{' '};
  resultText(ctx, trimChars(textOf(argv[0]), set, true, false));
}

void fnRtrim(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  auto set = argc > 1 ? decode(textOf(argv[1])) : std::vector<uint32_t>{' '};
  resultText(ctx, trimChars(textOf(argv[0]), set, false, true));
}

// ora_trim(mode, ch, s): TRIM(LEADING|TRAILING|BOTH ch FROM s).
void fnOraTrim(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[1]) || isNull(argv[2])) { sqlite3_result_null(ctx); return; }
  auto set = decode(textOf(argv[1]));
  if (set.size() != 1) throw OraError(30001);
  std::string mode = mapChars(textOf(argv[0]), upperChar);
  bool left = mode == "LEADING" || mode == "BOTH", right = mode == "TRAILING" || mode == "BOTH";
  if (!left && !right) throw OraError(905);
  resultText(ctx, trimChars(textOf(argv[2]), set, left, right));
}

// Appends characters of `s` (repeated when `cycle`) up to `width` display columns; a wide
// character that would cross the limit becomes a space.
int appendColumns(std::string& out, const std::string& s, int width, bool cycle) {
  int w = 0;
  if (s.empty()) return 0;
  size_t i = 0;
  while (w < width) {
    if (i >= s.size()) {
      if (!cycle) break;
      i = 0;
    }
    size_t b = i;
    uint32_t c = nextChar(s, i);
    int cw = IsWideCodePoint(c) ? 2 : 1;
    if (w + cw > width) { out += ' '; ++w; break; }
    out.append(s, b, i - b);
    w += cw;
  }
  return w;
}

int maxText() { return ValueQueries::depth > 0 ? 32767 : kMaxText; }

void pad(Ctx* ctx, int argc, Val** argv, bool left) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  std::string fill = argc > 2 ? textOf(argv[2]) : std::string(" ");
  double nd = std::trunc(doubleOf(argv[1]));
  if (nd < 1) { sqlite3_result_null(ctx); return; }
  int width = static_cast<int>(std::min<double>(nd, maxText()));
  std::string body;
  int w = appendColumns(body, s, width, false);
  std::string padding;
  appendColumns(padding, fill, width - w, true);
  resultText(ctx, left ? padding + body : body + padding);
}

void fnLpad(Ctx* ctx, int argc, Val** argv) { pad(ctx, argc, argv, true); }
void fnRpad(Ctx* ctx, int argc, Val** argv) { pad(ctx, argc, argv, false); }

void fnReplace(Ctx* ctx, int argc, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  if (isNull(argv[1])) { resultText(ctx, s); return; }
  std::string from = textOf(argv[1]);
  std::string to = argc > 2 ? textOf(argv[2]) : std::string();
  std::string out;
  size_t at = 0;
  for (size_t hit; (hit = s.find(from, at)) != std::string::npos; at = hit + from.size()) {
    out.append(s, at, hit - at);
    out += to;
  }
  out.append(s, at, std::string::npos);
  resultText(ctx, out);
}

// NULL counts as the empty string.
void fnConcat(Ctx* ctx, int argc, Val** argv) {
  std::string out;
  for (int i = 0; i < argc; ++i) out += textOf(argv[i]);
  resultText(ctx, out);
}

// CHR(n): n is the character's UTF-8 bytes read as a big-endian number.
void fnChr(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  int64_t n = intOf(argv[0]);
  if (n < 0 || n > 0xFFFFFFFFLL) throw OraError(1428, std::to_string(n));
  std::string out;
  for (int shift = 24; shift > 0; shift -= 8)
    if (n >> shift) out += static_cast<char>((n >> shift) & 0xFF);
  out += static_cast<char>(n & 0xFF);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

void fnAscii(Ctx* ctx, int, Val** argv) {
  if (isNull(argv[0])) { sqlite3_result_null(ctx); return; }
  std::string s = textOf(argv[0]);
  size_t i = 0;
  nextChar(s, i);
  int64_t v = 0;
  for (size_t k = 0; k < i; ++k) v = v * 256 + static_cast<unsigned char>(s[k]);
  sqlite3_result_int64(ctx, v);
}

// ---- LIKE ----

// A compiled pattern: characters, with kAny for '%' and kOne for '_'.
constexpr uint32_t kAny = 0xFFFFFFFF, kOne = 0xFFFFFFFE;

struct LikePattern {
  std::string source;
  int64_t escape = -1;
  std::vector<uint32_t> items;
};

LikePattern compileLike(const std::string& pattern, int64_t escape) {
  LikePattern p;
  p.source = pattern;
  p.escape = escape;
  for (size_t i = 0; i < pattern.size();) {
    uint32_t c = nextChar(pattern, i);
    if (escape >= 0 && c == static_cast<uint32_t>(escape)) {
      if (i >= pattern.size()) throw OraError(1424);
      uint32_t x = nextChar(pattern, i);
      if (x != '%' && x != '_' && x != static_cast<uint32_t>(escape)) throw OraError(1424);
      p.items.push_back(x);
    } else {
      p.items.push_back(c == '%' ? kAny : c == '_' ? kOne : c);
    }
  }
  return p;
}

bool likeMatch(const std::vector<uint32_t>& p, const std::vector<uint32_t>& s) {
  size_t pi = 0, si = 0, starP = std::string::npos, starS = 0;
  while (si < s.size()) {
    if (pi < p.size() && p[pi] == kAny) {
      starP = pi++;
      starS = si;
    } else if (pi < p.size() && (p[pi] == kOne || p[pi] == s[si])) {
      ++pi;
      ++si;
    } else if (starP != std::string::npos) {
      pi = starP + 1;
      si = ++starS;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == kAny) ++pi;
  return pi == p.size();
}

// like(pattern, text[, escape]): case-sensitive and by characters, as Oracle's LIKE.
void fnLike(Ctx* ctx, int argc, Val** argv) {
  if (anyNull(argc, argv)) { sqlite3_result_null(ctx); return; }
  int64_t escape = -1;
  if (argc > 2) {
    auto e = decode(textOf(argv[2]));
    if (e.size() != 1) throw OraError(1425);
    escape = e[0];
  }
  std::string pattern = textOf(argv[0]);
  auto* cached = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 0));
  if (!cached || cached->escape != escape || cached->source != pattern) {
    cached = new LikePattern(compileLike(pattern, escape));
    sqlite3_set_auxdata(ctx, 0, cached, [](void* p) { delete static_cast<LikePattern*>(p); });
    cached = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 0));
    if (!cached) { sqlite3_result_error_nomem(ctx); return; }
  }
  sqlite3_result_int(ctx, likeMatch(cached->items, decode(textOf(argv[1]))));
}

} // namespace ora::fn
