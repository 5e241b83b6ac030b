// User-defined subtypes: SUBTYPE name IS base [RANGE lo..hi] [NOT NULL]. A subtype is its base
// type under another name, so the parser puts the base type wherever the name is used.
#include "PlsqlParser.h"

#include <cstdlib>
#include <utility>

namespace ora::pl::parse {

namespace {

// A signed whole number of a RANGE.
long long rangeBound(Parser& p) {
  bool neg = p.at("-");
  if (neg || p.at("+")) ++p.i;
  if (p.t[p.i].kind != T::Num) p.fail(p.i);
  long long n = std::strtoll(p.t[p.i++].text.c_str(), nullptr, 10);
  return neg ? -n : n;
}

} // namespace

void Parser::subtypeDecl() {
  expect("SUBTYPE");
  std::string n = name();
  expect("IS");
  size_t base = i;
  bool was = std::exchange(unsized, true); // an unconstrained base takes its size where it is used
  TypeSpec ts = type();
  unsized = was;
  if (at("RANGE")) {
    // only PLS_INTEGER and its subtypes take a range
    if (ts.range == TypeSpec::AnyInt || ts.range == TypeSpec::Simple) {
      OraError e(6550);
      e.text = "ORA-06550: " + where(u.src, t[base].pos) +
               ":\nPLS-00572: improper constraint form used";
      throw e;
    }
    ++i;
    ts.lo = rangeBound(*this);
    expect("..");
    ts.hi = rangeBound(*this);
    ts.ranged = true;
  }
  if (at("NOT")) {
    ++i;
    expect("NULL");
    ts.notNull = true;
  }
  expect(";");
  subtypes[n] = ts;
}

TypeSpec Parser::subtypeUse(const std::string& name) {
  TypeSpec ts = subtypes[name];
  if (!at("(")) return ts;
  size_t open = i++;
  if (t[i].kind != T::Num) fail(i);
  int first = std::atoi(t[i++].text.c_str());
  if (ts.kind == TypeSpec::Text) {
    ts.size = first;
    if (at("BYTE") || at("CHAR")) ++i;
  } else if (ts.kind == TypeSpec::Number && ts.range == TypeSpec::AnyInt && !ts.binary) {
    ts.precision = ts.size = first;
    if (at(",")) {
      ++i;
      bool neg = at("-");
      if (neg) ++i;
      if (t[i].kind != T::Num) fail(i);
      ts.scale = std::atoi(t[i++].text.c_str()) * (neg ? -1 : 1);
      ts.hasScale = true;
    }
  } else {
    OraError e(6550);
    e.text = "ORA-06550: " + where(u.src, t[open].pos) + ":\nPLS-00572: improper constraint form used";
    throw e;
  }
  expect(")");
  return ts;
}

} // namespace ora::pl::parse
