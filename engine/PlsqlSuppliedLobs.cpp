// DBMS_LOB's procedures in a block. A LOB variable holds its value (a CLOB its text, a BLOB
// its bytes as hexadecimal digits); the procedures change the variable passed IN OUT.
#include "FunctionUtil.h"
#include "PlsqlRun.h"
#include "PlsqlSuppliedMore.h"

#include <algorithm>
#include <map>
#include <set>

namespace ora::pl {

namespace {

// Which variables CREATETEMPORARY made and OPEN opened, while their block runs.
thread_local std::set<const Var*> temporaryLobs, openLobs;

// A LOB variable filled from a row selected FOR UPDATE: what DBMS_LOB writes to it goes to
// that row as well, while the variable still holds what the row does.
struct RowLob {
  const Run* run = nullptr;
  std::string table, column, rowid;
  bool blob = false, locked = true;
  Val seen;
};
thread_local std::map<const Var*, RowLob> rowLobs;

bool sameVal(const Val& a, const Val& b) { return a.k == b.k && a.s == b.s; }

[[noreturn]] void outOfRange(int argument) {
  OraError e(21560);
  e.text = "ORA-21560: argument " + std::to_string(argument) + " is null, invalid, or out of range";
  throw e;
}

// A LOB's characters (a CLOB's code points, a BLOB's bytes).
struct Lob {
  bool blob = false;
  std::u32string units;
};

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

Lob lobOf(const Val& v, bool blob) {
  Lob l;
  l.blob = blob;
  if (v.k == Val::Null) return l;
  std::string s = v.s;
  if (v.k != Val::Str) throw OraError(6502);
  if (blob) {
    if (s.size() % 2) s.insert(0, "0");
    for (size_t k = 0; k < s.size(); k += 2) {
      int hi = hexValue(s[k]), lo = hexValue(s[k + 1]);
      if (hi < 0 || lo < 0) throw OraError(6502);
      l.units += static_cast<char32_t>(hi * 16 + lo);
    }
  } else {
    for (uint32_t c : fn::decode(s)) l.units += static_cast<char32_t>(c);
  }
  return l;
}

Val valueOf(const Lob& l) {
  if (l.units.empty()) return Val{};
  std::string out;
  if (l.blob) {
    static const char* digits = "0123456789ABCDEF";
    for (char32_t c : l.units) {
      out += digits[(c >> 4) & 15];
      out += digits[c & 15];
    }
  } else {
    for (char32_t c : l.units) fn::appendChar(out, static_cast<uint32_t>(c));
  }
  return Val{Val::Str, out, false};
}

const Range& required(const Run& r, const Stmt& s, const char* name, size_t position) {
  const Range* a = argument(s, name, position);
  if (!a) wrongArguments(r, s);
  return *a;
}

// A variable passed for an IN OUT or OUT parameter.
Var& outVar(Run& r, const Stmt& s, const Range& a) {
  Var* v = r.targetVar(a);
  if (!v) {
    OraError e(6550);
    e.text = "ORA-06550: " + where(r.u.src, r.u.toks[a.b].pos) +
             ":\nPLS-00363: expression '" + r.u.src.substr(r.u.toks[a.b].pos, r.u.toks[a.e - 1].end - r.u.toks[a.b].pos) +
             "' cannot be used as an assignment target";
    (void)s;
    throw e;
  }
  return *v;
}

bool isBlob(const Var& v) { return v.type.bytes; }

// A whole number argument; `fallback` when it is not given, -1 when it is NULL.
int64_t whole(Run& r, const Range* a, int64_t fallback) {
  if (!a) return fallback;
  Val v = r.eval(*a);
  if (v.k == Val::Null) return -1;
  if (v.k != Val::Num) v = r.evalText("TO_NUMBER(" + literal(v) + ")");
  double d = std::strtod(v.s.c_str(), nullptr);
  if (d > 9.2e18) return INT64_MAX;
  return static_cast<int64_t>(d);
}

// The pad a gap is filled with: spaces in a CLOB, zero bytes in a BLOB.
char32_t filler(const Lob& l) { return l.blob ? 0 : U' '; }

// Puts `piece` at offset (from 1) of `dest`, filling any gap before it.
void overwrite(Lob& dest, const std::u32string& piece, int64_t offset) {
  size_t at = static_cast<size_t>(offset - 1);
  if (dest.units.size() < at) dest.units.append(at - dest.units.size(), filler(dest));
  if (dest.units.size() < at + piece.size()) dest.units.resize(at + piece.size(), filler(dest));
  dest.units.replace(at, piece.size(), piece);
}

void lobProcedure(Run& r, const Stmt& s, const std::string& proc) {
  auto store = [&](const Range& a, const Lob& l) {
    Var* v = r.targetVar(a);
    auto row = v ? rowLobs.find(v) : rowLobs.end();
    bool bound = row != rowLobs.end() && row->second.run == &r && sameVal(row->second.seen, v->v);
    if (bound && !row->second.locked) throw OraError(22920);
    r.assign(a, valueOf(l));
    if (!bound) {
      if (row != rowLobs.end()) rowLobs.erase(row);
      return;
    }
    RowLob& rl = row->second;
    std::string value = v->v.k == Val::Null ? std::string(rl.blob ? "EMPTY_BLOB()" : "EMPTY_CLOB()")
                        : rl.blob              ? "HEXTORAW(" + literal(v->v) + ")"
                                               : "TO_CLOB(" + literal(v->v) + ")";
    r.execute("UPDATE " + rl.table + " SET " + rl.column + " = " + value + " WHERE ROWID = " + literal(Val{Val::Str, rl.rowid, false}));
    rl.seen = v->v;
  };
  if (proc == "CREATETEMPORARY") {
    const Range& a = required(r, s, "LOB_LOC", 0);
    if (!argument(s, "CACHE", 1) || s.conds.size() > 3) wrongArguments(r, s);
    Var& v = outVar(r, s, a);
    r.assign(a, Val{});
    temporaryLobs.insert(&v);
    rowLobs.erase(&v);
  } else if (proc == "FREETEMPORARY") {
    const Range& a = required(r, s, "LOB_LOC", 0);
    if (s.conds.size() > 1) wrongArguments(r, s);
    Var& v = outVar(r, s, a);
    temporaryLobs.erase(&v);
    openLobs.erase(&v);
    rowLobs.erase(&v);
    r.assign(a, Val{});
  } else if (proc == "OPEN" || proc == "CLOSE") {
    const Range& a = required(r, s, "LOB_LOC", 0);
    if (s.conds.size() > (proc == "OPEN" ? 2u : 1u)) wrongArguments(r, s);
    Var& v = outVar(r, s, a);
    if (proc == "OPEN") {
      int64_t mode = whole(r, argument(s, "OPEN_MODE", 1), 1);
      if (mode != 0 && mode != 1) outOfRange(2);
      if (!openLobs.insert(&v).second) throw OraError(22293);
    } else if (!openLobs.erase(&v)) {
      throw OraError(22289);
    }
  } else if (proc == "APPEND") {
    const Range& d = required(r, s, "DEST_LOB", 0);
    const Range& src = required(r, s, "SRC_LOB", 1);
    if (s.conds.size() > 2) wrongArguments(r, s);
    Var& v = outVar(r, s, d);
    Lob l = lobOf(v.v, isBlob(v));
    l.units += lobOf(r.eval(src), isBlob(v)).units;
    store(d, l);
  } else if (proc == "WRITEAPPEND" || proc == "WRITE") {
    bool append = proc == "WRITEAPPEND";
    const Range& d = required(r, s, "LOB_LOC", 0);
    int64_t amount = whole(r, &required(r, s, "AMOUNT", 1), 0);
    int64_t offset = append ? 0 : whole(r, &required(r, s, "OFFSET", 2), 1);
    const Range& b = required(r, s, "BUFFER", append ? 2 : 3);
    if (s.conds.size() > (append ? 3u : 4u)) wrongArguments(r, s);
    Var& v = outVar(r, s, d);
    Lob l = lobOf(v.v, isBlob(v));
    std::u32string buffer = lobOf(r.eval(b), isBlob(v)).units;
    if (amount < 1 || amount > static_cast<int64_t>(buffer.size())) outOfRange(2);
    if (!append && offset < 1) outOfRange(3);
    buffer.resize(static_cast<size_t>(amount));
    if (append) l.units += buffer;
    else overwrite(l, buffer, offset);
    store(d, l);
  } else if (proc == "READ") {
    const Range& amountArg = required(r, s, "AMOUNT", 1);
    int64_t amount = whole(r, &amountArg, 0), offset = whole(r, &required(r, s, "OFFSET", 2), 1);
    const Range& buffer = required(r, s, "BUFFER", 3);
    if (s.conds.size() > 4) wrongArguments(r, s);
    Var& target = outVar(r, s, buffer);
    Lob l = lobOf(r.eval(required(r, s, "LOB_LOC", 0)), isBlob(target));
    if (amount < 1 || amount > 32767) outOfRange(2);
    if (offset < 1) outOfRange(3);
    if (offset > static_cast<int64_t>(l.units.size())) throw OraError(1403);
    Lob piece;
    piece.blob = l.blob;
    piece.units = l.units.substr(static_cast<size_t>(offset - 1), static_cast<size_t>(amount));
    r.assign(amountArg, Val{Val::Num, std::to_string(piece.units.size()), false});
    r.assign(buffer, valueOf(piece));
  } else if (proc == "COPY") {
    const Range& d = required(r, s, "DEST_LOB", 0);
    const Range& src = required(r, s, "SRC_LOB", 1);
    int64_t amount = whole(r, &required(r, s, "AMOUNT", 2), 0);
    int64_t destOffset = whole(r, argument(s, "DEST_OFFSET", 3), 1), srcOffset = whole(r, argument(s, "SRC_OFFSET", 4), 1);
    if (s.conds.size() > 5) wrongArguments(r, s);
    Var& v = outVar(r, s, d);
    Lob l = lobOf(v.v, isBlob(v));
    std::u32string from = lobOf(r.eval(src), isBlob(v)).units;
    if (amount < 1) outOfRange(3);
    if (destOffset < 1) outOfRange(4);
    if (srcOffset < 1) outOfRange(5);
    if (srcOffset > static_cast<int64_t>(from.size())) return; // nothing there to copy
    overwrite(l, from.substr(static_cast<size_t>(srcOffset - 1), static_cast<size_t>(amount)), destOffset);
    store(d, l);
  } else if (proc == "ERASE") {
    const Range& d = required(r, s, "LOB_LOC", 0);
    const Range& amountArg = required(r, s, "AMOUNT", 1);
    int64_t amount = whole(r, &amountArg, 0), offset = whole(r, argument(s, "OFFSET", 2), 1);
    if (s.conds.size() > 3) wrongArguments(r, s);
    Var& v = outVar(r, s, d);
    Lob l = lobOf(v.v, isBlob(v));
    if (amount < 1) outOfRange(2);
    if (offset < 1) outOfRange(3);
    const int64_t length = static_cast<int64_t>(l.units.size());
    int64_t erased = offset > length ? 0 : std::min(amount, length - offset + 1);
    for (int64_t k = 0; k < erased; ++k) l.units[static_cast<size_t>(offset - 1 + k)] = filler(l);
    store(d, l);
    r.assign(amountArg, Val{Val::Num, std::to_string(erased), false});
  } else if (proc == "TRIM") {
    const Range& d = required(r, s, "LOB_LOC", 0);
    int64_t newlen = whole(r, &required(r, s, "NEWLEN", 1), 0);
    if (s.conds.size() > 2) wrongArguments(r, s);
    Var& v = outVar(r, s, d);
    Lob l = lobOf(v.v, isBlob(v));
    if (newlen < 0) outOfRange(2);
    if (newlen > static_cast<int64_t>(l.units.size())) throw OraError(22926);
    l.units.resize(static_cast<size_t>(newlen));
    store(d, l);
  } else if (proc == "CONVERTTOCLOB" || proc == "CONVERTTOBLOB") {
    // (dest, src, amount, dest_offset, src_offset, csid, lang_context, warning)
    bool toClob = proc == "CONVERTTOCLOB";
    if (s.conds.size() != 8) wrongArguments(r, s);
    const Range& d = s.conds[0];
    Var& v = outVar(r, s, d);
    Lob dest = lobOf(v.v, !toClob);
    Val src = r.eval(s.conds[1]);
    int64_t amount = whole(r, &s.conds[2], 0), destOffset = whole(r, &s.conds[3], 1), srcOffset = whole(r, &s.conds[4], 1);
    if (amount < 1) outOfRange(3);
    if (destOffset < 1) outOfRange(4);
    if (srcOffset < 1) outOfRange(5);
    // the source's units from its offset on: bytes taken as the database's text, or the reverse
    Lob from = lobOf(src, toClob);
    std::u32string part = srcOffset > static_cast<int64_t>(from.units.size())
                              ? std::u32string()
                              : from.units.substr(static_cast<size_t>(srcOffset - 1), static_cast<size_t>(std::min<int64_t>(amount, INT32_MAX)));
    Lob moved;
    moved.blob = from.blob;
    moved.units = part;
    Val asText = valueOf(moved);
    Lob converted;
    if (toClob) {
      // the bytes' text
      std::string bytes;
      for (char32_t c : part) bytes += static_cast<char>(c);
      converted = lobOf(bytes.empty() ? Val{} : Val{Val::Str, bytes, false}, false);
    } else {
      std::string text = asText.k == Val::Null ? std::string() : asText.s;
      converted.blob = true;
      for (unsigned char c : text) converted.units += static_cast<char32_t>(c);
    }
    overwrite(dest, converted.units, destOffset);
    store(d, dest);
    r.assign(s.conds[3], Val{Val::Num, std::to_string(destOffset + static_cast<int64_t>(converted.units.size())), false});
    r.assign(s.conds[4], Val{Val::Num, std::to_string(srcOffset + static_cast<int64_t>(part.size())), false});
    r.assign(s.conds[7], Val{Val::Num, "0", false});
  } else {
    OraError e(6550);
    e.text = "ORA-06550: " + where(r.u.src, r.u.toks[s.at].pos) + ":\nPLS-00302: component '" + proc + "' must be declared";
    throw e;
  }
}

thread_local int blockDepth = 0;

void forget() {
  temporaryLobs.clear();
  openLobs.clear();
  rowLobs.clear();
}

} // namespace

LobState::LobState() {
  if (blockDepth++ == 0) forget();
}

LobState::~LobState() {
  if (--blockDepth == 0) forget();
}

void rememberLobRows(Run& r, const Stmt& s) {
  const auto& t = r.u.toks;
  auto op = [&](size_t k, const char* x) { return t[k].kind == T::Op && t[k].text == x; };
  auto word = [&](size_t k, const char* x) { return k < s.expr.e && t[k].kind == T::Word && t[k].text == x; };
  size_t into = 0, from = 0, forAt = 0;
  int depth = 0;
  for (size_t k = s.expr.b; k < s.expr.e; ++k) {
    if (op(k, "(")) ++depth;
    else if (op(k, ")")) --depth;
    else if (depth == 0 && word(k, "INTO") && !into) into = k;
    else if (depth == 0 && word(k, "FROM") && !from) from = k;
    else if (depth == 0 && word(k, "FOR") && word(k + 1, "UPDATE")) forAt = k;
  }
  // without FOR UPDATE the row is not locked: the variable's value may not be written
  const bool locked = forAt != 0;
  if (!forAt) forAt = s.expr.e;
  if (!word(s.expr.b, "SELECT") || !into || !from || from > forAt) return;
  // one table, its columns named plainly in the select list
  size_t after = from + 2;
  if (after < forAt && t[after].kind == T::Word && !word(after, "WHERE")) ++after;
  if (t[from + 1].kind != T::Word || !(after == forAt || word(after, "WHERE"))) return;
  std::vector<std::string> items;
  for (size_t k = s.expr.b + 1; k < into; k += 2) {
    if (t[k].kind != T::Word || !(k + 1 == into || op(k + 1, ","))) return;
    items.push_back(t[k].text);
  }
  if (items.size() != s.conds.size()) return;
  std::vector<std::pair<Var*, size_t>> lobs;
  for (size_t n = 0; n < items.size(); ++n) {
    Var* v = r.targetVar(s.conds[n]);
    if (v && v->type.kind == TypeSpec::Text && v->type.size == kLobSize) lobs.emplace_back(v, n);
  }
  if (lobs.empty()) return;
  if (!locked) {
    for (auto& [v, n] : lobs) rowLobs[v] = RowLob{&r, {}, items[n], {}, v->type.bytes, false, v->v};
    return;
  }
  Rows rows = r.query("SELECT ROWID " + r.subst(Range{from, forAt}, &r.columns(&s, s.expr)), 2);
  if (rows.rows.size() != 1 || rows.rows[0].empty()) return;
  for (auto& [v, n] : lobs)
    rowLobs[v] = RowLob{&r, r.u.text(Range{from + 1, from + 2}), items[n], rows.rows[0][0].s, v->type.bytes, true, v->v};
}

bool lobCall(Run& r, const Stmt& s) {
  if (s.name.rfind("DBMS_LOB.", 0) != 0) return false;
  lobProcedure(r, s, s.name.substr(9));
  return true;
}

bool lobValue(Run& r, size_t k, size_t end, std::string& sql, size_t& used) {
  const auto& t = r.u.toks;
  if (k + 2 >= end || t[k].text != "DBMS_LOB" || t[k + 2].kind != T::Word) return false;
  const std::string& f = t[k + 2].text;
  static const std::pair<const char*, const char*> constants[] = {
      {"LOB_READONLY", "0"},  {"LOB_READWRITE", "1"}, {"CALL", "12"},          {"SESSION", "10"},
      {"DEFAULT_CSID", "0"},  {"DEFAULT_LANG_CTX", "0"}, {"NO_WARNING", "0"}, {"WARN_INCONVERTIBLE_CHAR", "1"},
      {"LOBMAXSIZE", "18446744073709551615"}};
  for (auto& c : constants)
    if (f == c.first) {
      sql = c.second;
      used = 3;
      return true;
    }
  if (f != "ISOPEN" && f != "ISTEMPORARY") return false;
  // ISOPEN(lob), ISTEMPORARY(lob): 1 or 0
  if (k + 5 >= end || t[k + 3].kind != T::Op || t[k + 3].text != "(") return false;
  size_t close = k + 4;
  for (int depth = 1; close < end; ++close) {
    if (t[close].kind == T::Op && t[close].text == "(") ++depth;
    else if (t[close].kind == T::Op && t[close].text == ")" && --depth == 0) break;
  }
  if (close >= end) return false;
  Var* v = r.targetVar(Range{k + 4, close});
  bool on = v && (f == "ISOPEN" ? openLobs.count(v) : temporaryLobs.count(v));
  sql = on ? "1" : "0";
  used = close + 1 - k;
  return true;
}

} // namespace ora::pl
