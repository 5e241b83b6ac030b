// REGEXP_LIKE, REGEXP_SUBSTR, REGEXP_INSTR, REGEXP_REPLACE and REGEXP_COUNT. Patterns run on
// characters, not bytes, so that '.' is one kanji; positions count characters as Oracle does.
#include "RegexpFunctions.h"

#include "FunctionUtil.h"
#include "OraError.h"

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <locale>
#include <memory>
#include <regex>
#include <sqlite3.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif
#include <string>
#include <string_view>
#include <vector>

namespace ora {

namespace {

std::wstring wide(const unsigned char* s, int n) {
  std::wstring out;
  out.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n;) {
    unsigned char c = s[i];
    int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    wchar_t w = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (int k = 1; k < len && i + k < n; ++k) w = (w << 6) | (s[i + k] & 0x3F);
    out += w;
    i += len;
  }
  return out;
}

std::string narrow(const std::wstring& w) {
  std::string out;
  for (wchar_t c : w) {
    auto u = static_cast<uint32_t>(c);
    if (u < 0x80) out += static_cast<char>(u);
    else if (u < 0x800) { out += static_cast<char>(0xC0 | (u >> 6)); out += static_cast<char>(0x80 | (u & 0x3F)); }
    else if (u < 0x10000) {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (u >> 18));
      out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

// As Oracle's implicit conversion to character gives it: .5 for a number, hex digits for a RAW.
std::wstring textArg(sqlite3_value* v) {
  int type = sqlite3_value_type(v);
  if (type == SQLITE_TEXT) return wide(sqlite3_value_text(v), sqlite3_value_bytes(v));
  std::string t = fn::textOf(v);
  return wide(reinterpret_cast<const unsigned char*>(t.data()), static_cast<int>(t.size()));
}

// A number argument: truncated, ORA-01722 for text that is no number; absent, the default.
int64_t intArg(sqlite3_value** argv, int argc, int i, int64_t dflt) {
  if (i >= argc || sqlite3_value_type(argv[i]) == SQLITE_NULL) return dflt;
  return fn::intOf(argv[i]);
}

// A NULL position, occurrence, return option or subexpression makes the result NULL.
bool nullNumber(sqlite3_value** argv, int argc, std::initializer_list<int> numbers) {
  for (int i : numbers)
    if (i < argc && sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  return false;
}

// Oracle's error for a pattern the library refuses.
int patternError(const std::regex_error& e, const std::wstring& src) {
  switch (e.code()) {
  case std::regex_constants::error_paren:
    // the library also says so of a quantifier with nothing before it
    return src.find_first_of(L"()") != std::wstring::npos ? 12725 : 12726;
  case std::regex_constants::error_backref: return 12727;
  case std::regex_constants::error_range: return 12728;
  case std::regex_constants::error_ctype: return 12729;
  case std::regex_constants::error_collate:
    // the library reports a bad class name under this code too
    return std::string_view(e.what()).find("class") != std::string_view::npos ? 12729 : 12731;
  case std::regex_constants::error_brace:
  case std::regex_constants::error_badbrace: return 12732;
  default: return 12726;
  }
}

// Character classes ([[:alpha:]], \w with 'i') know letters beyond ASCII, kanji among them.
const std::locale& textLocale() {
  static const std::locale loc = [] {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
      try {
        return std::locale(name);
      } catch (const std::runtime_error&) {
      }
    }
    return std::locale::classic();
  }();
  return loc;
}

// Characters that share a base letter, for the equivalence class [=e=].
const wchar_t* const kEquivalents[] = {
    L"AÀÁÂÃÄÅĀĂĄǍǞǠǺȀȂȦ", L"CÇĆĈĊČ", L"DĎ", L"EÈÉÊËĒĔĖĘĚȄȆȨ", L"GĜĞĠĢǦǴ", L"HĤȞ", L"IÌÍÎÏĨĪĬĮİǏȈȊ",
    L"JĴ", L"KĶǨ", L"LĹĻĽ", L"NÑŃŅŇǸ", L"OÒÓÔÕÖŌŎŐƠǑǪǬȌȎȪȬȮȰ", L"RŔŖŘȐȒ", L"SŚŜŞŠȘ", L"TŢŤȚ",
    L"UÙÚÛÜŨŪŬŮŰŲƯǓǕǗǙǛȔȖ", L"WŴ", L"YÝŶŸȲ", L"ZŹŻŽ", L"aàáâãäåāăąǎǟǡǻȁȃȧ", L"cçćĉċč", L"dď",
    L"eèéêëēĕėęěȅȇȩ", L"gĝğġģǧǵ", L"hĥȟ", L"iìíîïĩīĭįǐȉȋ", L"jĵǰ", L"kķǩ", L"lĺļľ", L"nñńņňǹ",
    L"oòóôõöōŏőơǒǫǭȍȏȫȭȯȱ", L"rŕŗřȑȓ", L"sśŝşšș", L"tţťț", L"uùúûüũūŭůűųưǔǖǘǚǜȕȗ", L"wŵ", L"yýÿŷȳ",
    L"zźżž"};

std::wstring equivalents(wchar_t c) {
  for (const wchar_t* group : kEquivalents)
    if (std::wstring_view(group).find(c) != std::wstring_view::npos) return group;
  return std::wstring(1, c);
}

// One character as a member of a bracket expression of the library's grammar.
void bracketChar(std::wstring& out, wchar_t c) {
  if (c == L'\\' || c == L']' || c == L'[' || c == L'^' || c == L'-') out += L'\\';
  out += c;
}

// Oracle's POSIX pattern in the library's ECMAScript grammar. Inside a bracket expression a
// backslash is itself and a leading ']' a member; [:class:], [=e=] and [.c.] are checked here so
// that each fault has its own error. \A, \Z and \z anchor at the text's ends; escapes Oracle does not
// know stand for the character (\n is 'n'); '.' matches anything but the newline, or everything
// with 'n'.
std::wstring toEcmaScript(const std::wstring& src, bool dotAll) {
  static const std::wstring_view classes[] = {L"alpha", L"alnum", L"digit", L"lower", L"upper", L"space",
                                              L"blank", L"punct", L"print", L"graph", L"cntrl", L"xdigit"};
  std::wstring out;
  out.reserve(src.size() + 8);
  size_t n = src.size();
  for (size_t i = 0; i < n; ++i) {
    wchar_t c = src[i];
    if (c == L'\\') {
      if (i + 1 == n) throw OraError(12726);
      wchar_t e = src[++i];
      if (e >= L'1' && e <= L'9' && i + 1 < n && src[i + 1] >= L'0' && src[i + 1] <= L'9') {
        // a back reference is one digit: the digits after it are text, not a longer number
        out += L"(?:\\";
        out += e;
        out += L')';
      } else if ((e >= L'1' && e <= L'9') || e == L'd' || e == L'D' || e == L'w' || e == L'W' || e == L's' || e == L'S') {
        out += L'\\';
        out += e;
      } else if (e == L'A') {
        out += L'^';
      } else if (e == L'Z') {
        out += L"(?=\\n?(?![\\s\\S]))";
      } else if (e == L'z') {
        out += L"(?![\\s\\S])";
      } else if (std::wstring_view(L"^$\\.*+?()[]{}|/").find(e) != std::wstring_view::npos) {
        out += L'\\';
        out += e;
      } else {
        out += e;
      }
      continue;
    }
    if (c == L'.') {
      out += dotAll ? L"[\\s\\S]" : L"[^\\n]";
      continue;
    }
    if (c == L'{') {
      // an interval's bounds: the library's parser overflows on numbers of many digits, and a
      // large count makes as many copies of what it repeats
      for (size_t k = i + 1, digits = 0; k < n && src[k] != L'}'; ++k) {
        bool digit = src[k] >= L'0' && src[k] <= L'9';
        digits = digit ? digits + 1 : 0;
        if (!digit && src[k] != L',') break;
        if (digits > 4) throw OraError(12732);
      }
    }
    if (c != L'[') {
      out += c;
      continue;
    }
    out += L'[';
    size_t k = i + 1;
    if (k < n && src[k] == L'^') out += src[k++];
    bool first = true;
    bool closed = false;
    // a member: a character, or the character of [.c.]
    auto member = [&](size_t& at, wchar_t& ch) {
      if (src[at] == L'[' && at + 1 < n && src[at + 1] == L'.') {
        size_t end = src.find(L".]", at + 2);
        if (end == std::wstring::npos) throw OraError(12726);
        if (end != at + 3) throw OraError(12731);
        ch = src[at + 2];
        at = end + 2;
        return;
      }
      ch = src[at++];
    };
    while (k < n) {
      wchar_t m = src[k];
      if (m == L']' && !first) {
        closed = true;
        break;
      }
      first = false;
      if (m == L'[' && k + 1 < n && (src[k + 1] == L':' || src[k + 1] == L'=')) {
        wchar_t kind = src[k + 1];
        size_t end = src.find(std::wstring{kind, L']'}, k + 2);
        // "[[:alpha]]" names no class; "[[:alpha:]" ends no bracket
        if (end == std::wstring::npos) throw OraError(src.find(L']', k) == std::wstring::npos ? 12726 : kind == L':' ? 12729 : 12731);
        std::wstring name = src.substr(k + 2, end - k - 2);
        if (kind == L':') {
          if (std::find(std::begin(classes), std::end(classes), name) == std::end(classes)) throw OraError(12729);
          out += L"[:" + name + L":]";
        } else {
          if (name.size() != 1) throw OraError(12731);
          for (wchar_t e : equivalents(name[0])) bracketChar(out, e);
        }
        k = end + 2;
        continue;
      }
      wchar_t lo;
      member(k, lo);
      if (k + 1 < n && src[k] == L'-' && src[k + 1] != L']') {
        ++k;
        wchar_t hi;
        member(k, hi);
        if (hi < lo) throw OraError(12728);
        bracketChar(out, lo);
        out += L'-';
        bracketChar(out, hi);
      } else {
        bracketChar(out, lo);
      }
    }
    if (!closed) throw OraError(12726);
    out += L']';
    i = k;
  }
  return out;
}

// Oracle's longest pattern, in bytes.
constexpr int kMaxPatternBytes = 512;

// Whether the pattern (in ECMAScript form) has a group with a quantifier inside that is itself
// quantified, and no back-reference (which only the backtracking matcher can follow).
bool nestedQuantifier(const std::wstring& p) {
  std::vector<bool> inner; // per open group: whether a quantifier is in it
  bool nested = false, klass = false;
  for (size_t i = 0; i < p.size(); ++i) {
    wchar_t c = p[i];
    if (c == L'\\') {
      if (i + 1 < p.size() && !klass && p[i + 1] >= L'1' && p[i + 1] <= L'9') return false;
      ++i;
      continue;
    }
    if (klass) {
      klass = c != L']';
      continue;
    }
    if (c == L'[') klass = true;
    else if (c == L'(') inner.push_back(false);
    else if (c == L'*' || c == L'+' || c == L'{') {
      if (!inner.empty()) inner.back() = true;
    } else if (c == L')' && !inner.empty()) {
      bool had = inner.back();
      inner.pop_back();
      wchar_t q = i + 1 < p.size() ? p[i + 1] : 0;
      if (had && (q == L'*' || q == L'+' || q == L'{')) nested = true;
      if (had && !inner.empty()) inner.back() = true;
    }
  }
  return nested;
}

// The compiled pattern, kept with the statement while the pattern argument stays the same.
struct Pattern {
  std::wregex re;
  std::wstring flags;
};

const std::wregex& pattern(sqlite3_context* ctx, sqlite3_value** argv, int argc, int matchArg) {
  std::wstring flags = matchArg < argc && sqlite3_value_type(argv[matchArg]) != SQLITE_NULL ? textArg(argv[matchArg]) : L"";
  // a constant pattern is compiled once for the statement, again only when the options change
  if (auto* p = static_cast<Pattern*>(sqlite3_get_auxdata(ctx, 1)); p && p->flags == flags) return p->re;
  if (sqlite3_value_bytes(argv[1]) > kMaxPatternBytes) throw OraError(12733);
  const std::wstring written = textArg(argv[1]);
  std::wstring src = written;
  auto opts = std::regex::ECMAScript;
  bool extended = false, anyChar = false;
  for (wchar_t f : flags) {
    if (f == L'i') opts |= std::regex::icase;
    else if (f == L'c') opts &= ~std::regex::icase;
    else if (f == L'm') opts |= std::regex::multiline;
    else if (f == L'x') extended = true;
    else if (f == L'n') anyChar = true;
    else throw OraError(1760); // illegal argument for function
  }
  if (extended) std::erase_if(src, [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; });
  src = toEcmaScript(src, anyChar);
  // A quantified group that holds a quantifier of its own, as (.*)*, makes the backtracking
  // matcher take time exponential in the text: without back-references such a pattern runs on
  // the library's matcher that takes polynomial time.
  if (nestedQuantifier(src)) opts |= std::regex_constants::__polynomial;
  auto compile = [&] {
    auto p = std::make_unique<Pattern>();
    p->flags = flags;
    p->re.imbue(textLocale());
    try {
      p->re.assign(src, opts);
    } catch (const std::regex_error& e) {
      throw OraError(patternError(e, written));
    }
    return p;
  };
  // SQLite keeps it with a constant pattern and drops it after this row otherwise
  sqlite3_set_auxdata(ctx, 1, compile().release(), [](void* x) { delete static_cast<Pattern*>(x); });
  if (auto* kept = static_cast<Pattern*>(sqlite3_get_auxdata(ctx, 1))) return kept->re;
  // where SQLite keeps nothing for a call (it freed the pattern at once)
  thread_local std::unique_ptr<Pattern> last;
  last = compile();
  return last->re;
}

bool anyNull(sqlite3_value** argv, int n) {
  for (int i = 0; i < n; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  return false;
}

// Finds the n-th match at or after the 1-based character position.
bool nth(const std::wstring& s, const std::wregex& re, int64_t from, int64_t n, std::wsmatch& m) {
  if (from < 1) throw OraError(1428, std::to_string(from));
  if (n < 1) throw OraError(1428, std::to_string(n));
  if (static_cast<size_t>(from - 1) > s.size()) return false;
  auto it = s.begin() + (from - 1);
  for (int64_t k = 0; k < n; ++k) {
    if (!std::regex_search(it, s.end(), m, re, k ? std::regex_constants::match_prev_avail : std::regex_constants::match_default))
      return false;
    if (k + 1 < n) it = m[0].second == m[0].first ? (m[0].second == s.end() ? s.end() : m[0].second + 1) : m[0].second;
  }
  return true;
}

// A pattern too complex to run is an error of the pattern, as one that does not compile.
// The library's matcher recurses for every character a match takes in, so a long text would
// overflow an ordinary stack: it runs on a thread with a stack of its own, reserved, not committed.
constexpr int kOwnStackFrom = 2000;                  // bytes of text
constexpr size_t kOwnStack = size_t{256} << 20;      // 256 MB
// Text longer than Oracle's longest character value can only be a LONG, which the functions refuse.
constexpr int kMaxSourceBytes = 32767;

template <class Body>
#ifdef _WIN32
DWORD WINAPI runBody(LPVOID p) {
#else
void* runBody(void* p) {
#endif
  (*static_cast<Body*>(p))();
  return 0;
}

template <class Work>
void onOwnStack(Work&& work) {
  std::exception_ptr failure;
  auto body = [&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
  };
  using Body = decltype(body);
#ifdef _WIN32
  HANDLE h = CreateThread(nullptr, kOwnStack, runBody<Body>, &body, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (!h) throw std::bad_alloc();
  WaitForSingleObject(h, INFINITE);
  CloseHandle(h);
#else
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, kOwnStack);
  pthread_t t;
  int rc = pthread_create(&t, &attr, runBody<Body>, &body);
  pthread_attr_destroy(&attr);
  if (rc != 0) throw std::bad_alloc();
  pthread_join(t, nullptr);
#endif
  if (failure) std::rethrow_exception(failure);
}

template <void (*F)(sqlite3_context*, int, sqlite3_value**)>
void matching(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  int bytes = sqlite3_value_type(argv[0]) == SQLITE_TEXT ? sqlite3_value_bytes(argv[0]) : 0;
  if (bytes > kMaxSourceBytes) throw OraError(932, "expected CHAR got LONG");
  try {
    // the caller waits meanwhile, so the statement's values are the helper's alone
    if (bytes > kOwnStackFrom) onOwnStack([&] { F(ctx, argc, argv); });
    else F(ctx, argc, argv);
  } catch (const std::regex_error&) {
    throw OraError(12726);
  }
}

template <void (*F)(sqlite3_context*, int, sqlite3_value**)>
void guard(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  fn::guarded<matching<F>>(ctx, argc, argv);
}

void regexpLike(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argv, 2)) { sqlite3_result_null(ctx); return; }
  std::wstring s = textArg(argv[0]);
  sqlite3_result_int(ctx, std::regex_search(s, pattern(ctx, argv, argc, 2)) ? 1 : 0);
}

void regexpSubstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argv, 2) || nullNumber(argv, argc, {2, 3, 5})) { sqlite3_result_null(ctx); return; }
  std::wstring s = textArg(argv[0]);
  std::wsmatch m;
  int64_t group = intArg(argv, argc, 5, 0);
  if (group < 0) throw OraError(1428, std::to_string(group));
  const std::wregex& re = pattern(ctx, argv, argc, 4);
  if (!nth(s, re, intArg(argv, argc, 2, 1), intArg(argv, argc, 3, 1), m) || group < 0 ||
      static_cast<size_t>(group) >= m.size() || m[static_cast<size_t>(group)].length() == 0) {
    sqlite3_result_null(ctx); // Oracle's empty string is NULL
    return;
  }
  std::string out = narrow(m[static_cast<size_t>(group)].str());
  sqlite3_result_text(ctx, out.c_str(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

void regexpInstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argv, 2) || nullNumber(argv, argc, {2, 3, 4, 6})) { sqlite3_result_null(ctx); return; }
  std::wstring s = textArg(argv[0]);
  std::wsmatch m;
  int64_t after = intArg(argv, argc, 4, 0), group = intArg(argv, argc, 6, 0);
  if (after < 0) throw OraError(1428, std::to_string(after));
  if (group < 0) throw OraError(1428, std::to_string(group));
  const std::wregex& re = pattern(ctx, argv, argc, 5);
  if (!nth(s, re, intArg(argv, argc, 2, 1), intArg(argv, argc, 3, 1), m) || group < 0 ||
      static_cast<size_t>(group) >= m.size()) {
    sqlite3_result_int(ctx, 0);
    return;
  }
  auto& g = m[static_cast<size_t>(group)];
  auto at = (after ? g.second : g.first) - s.begin();
  sqlite3_result_int64(ctx, static_cast<int64_t>(at) + 1);
}

void regexpCount(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argv, 2) || nullNumber(argv, argc, {2})) { sqlite3_result_null(ctx); return; }
  std::wstring s = textArg(argv[0]);
  int64_t from = intArg(argv, argc, 2, 1);
  if (from < 1) throw OraError(1428, std::to_string(from));
  const std::wregex& re = pattern(ctx, argv, argc, 3);
  int64_t n = 0;
  if (static_cast<size_t>(from - 1) <= s.size())
    for (auto it = std::wsregex_iterator(s.begin() + (from - 1), s.end(), re); it != std::wsregex_iterator(); ++it)
      if (it->length(0) > 0) ++n;
  sqlite3_result_int64(ctx, n);
}

void regexpReplace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) { sqlite3_result_null(ctx); return; }
  if (nullNumber(argv, argc, {3, 4})) { sqlite3_result_null(ctx); return; }
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) { sqlite3_result_value(ctx, argv[0]); return; }
  std::wstring s = textArg(argv[0]);
  std::wstring with = argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL ? textArg(argv[2]) : L"";
  // Oracle writes back references as \1; the library as $1
  std::wstring fmt;
  for (size_t i = 0; i < with.size(); ++i) {
    if (with[i] == L'\\' && i + 1 < with.size() && with[i + 1] >= L'0' && with[i + 1] <= L'9') {
      fmt += L'$';
      fmt += with[++i];
    } else if (with[i] == L'\\' && i + 1 < with.size()) {
      fmt += with[++i];
    } else if (with[i] == L'$') {
      fmt += L"$$";
    } else {
      fmt += with[i];
    }
  }
  int64_t from = intArg(argv, argc, 3, 1), occurrence = intArg(argv, argc, 4, 0);
  if (from < 1) throw OraError(1428, std::to_string(from));
  if (occurrence < 0) throw OraError(1428, std::to_string(occurrence));
  const std::wregex& re = pattern(ctx, argv, argc, 5);
  std::wstring out;
  size_t start = std::min(s.size(), static_cast<size_t>(from - 1));
  out.append(s, 0, start);
  auto it = s.cbegin() + static_cast<long>(start);
  int64_t k = 0;
  for (auto m = std::wsregex_iterator(it, s.cend(), re); m != std::wsregex_iterator(); ++m) {
    ++k;
    if (occurrence && k != occurrence) continue;
    auto first = (*m)[0].first, second = (*m)[0].second;
    out.append(it, first);
    out += m->format(fmt);
    it = second;
    if (occurrence) break;
  }
  out.append(it, s.cend());
  std::string r = narrow(out);
  if (r.empty()) sqlite3_result_null(ctx);
  else sqlite3_result_text(ctx, r.c_str(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

} // namespace

const char* const kRegexpFunctions[] = {"REGEXP_LIKE", "REGEXP_SUBSTR", "REGEXP_INSTR", "REGEXP_REPLACE",
                                        "REGEXP_COUNT", nullptr};

void onRegexStack(const std::function<void()>& work) { onOwnStack(work); }

void registerRegexpFunctions(sqlite3* db) {
  int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  for (int n = 2; n <= 3; ++n) sqlite3_create_function(db, "REGEXP_LIKE", n, flags, nullptr, guard<regexpLike>, nullptr, nullptr);
  for (int n = 2; n <= 6; ++n) sqlite3_create_function(db, "REGEXP_SUBSTR", n, flags, nullptr, guard<regexpSubstr>, nullptr, nullptr);
  for (int n = 2; n <= 7; ++n) sqlite3_create_function(db, "REGEXP_INSTR", n, flags, nullptr, guard<regexpInstr>, nullptr, nullptr);
  for (int n = 2; n <= 6; ++n) sqlite3_create_function(db, "REGEXP_REPLACE", n, flags, nullptr, guard<regexpReplace>, nullptr, nullptr);
  for (int n = 2; n <= 4; ++n) sqlite3_create_function(db, "REGEXP_COUNT", n, flags, nullptr, guard<regexpCount>, nullptr, nullptr);
}

} // namespace ora
