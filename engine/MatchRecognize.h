// Row pattern matching: FROM source MATCH_RECOGNIZE (...). The clause is read here, its DEFINE
// and MEASURES expressions are translated once to SQLite expressions over parameters, and the
// rows are matched in memory by a table-valued module (MatchRows.cpp).
#pragma once
#include "OraValues.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace ora {

class Catalog;

namespace mr {

// A value as SQLite keeps it.
struct Value {
  enum : unsigned char { Null, Int, Real, Text, Blob } type = Null;
  int64_t i = 0;
  double d = 0;
  std::string s;
};
using Row = std::vector<Value>;

// What a parameter of a translated expression stands for.
struct Ref {
  enum Kind { Column, Aggregate, Classifier, MatchNumber } kind = Column;
  enum Nav { None, Prev, Next, First, Last };
  int var = -1;      // -1: every row of the match; else an index into Spec::sets
  bool self = false; // inside an aggregate's argument: the row aggregated
  int column = -1;   // Column: the source column
  Nav nav = None;    // FIRST/LAST among the variable's rows, PREV/NEXT from the row found
  int64_t offset = 0;
  Nav outer = None; // PREV/NEXT around FIRST/LAST
  int64_t outerOffset = 0;
  bool final = false;
  std::string function; // Aggregate: COUNT, SUM, AVG, MIN, MAX
  int arg = -1;         // Aggregate: Spec::exprs index of its argument; -1 for COUNT(*), COUNT(v.*)
};

struct Expr {
  std::string sql;          // SELECT <expression>, with ?1.. for the references
  std::vector<int> params;  // parameter k+1 -> index into refs
  std::vector<Ref> refs;
};

// PATTERN as a tree; a variable is an index into Spec::vars.
struct Pattern {
  enum Kind { Var, Seq, Alt, Start, End } kind = Seq;
  int var = -1;
  int64_t min = 1, max = 1; // max -1: no bound
  bool reluctant = false, excluded = false;
  std::vector<Pattern> kids;
};

struct Spec {
  std::vector<std::string> columns; // of the source, in order
  std::vector<ColType> types;
  std::vector<int> partition;         // source columns
  struct Key {
    int column;
    bool desc = false, nullsFirst = false;
  };
  std::vector<Key> order;
  std::vector<std::string> vars;                // of the pattern
  std::vector<std::vector<int>> sets;           // per variable then per subset: the variables it holds
  std::vector<std::string> setNames;            // vars then subsets
  std::vector<int> define;                      // per variable: Spec::exprs index, -1 always true
  std::vector<std::pair<std::string, int>> measures; // name, Spec::exprs index
  std::vector<Expr> exprs;
  Pattern pattern;
  bool allRows = false, omitEmpty = false, unmatched = false;
  enum Skip { PastLast, NextRow, ToFirst, ToLast } skip = PastLast;
  int skipTo = -1; // Spec::sets index
  std::vector<std::pair<std::string, int>> output; // name, source column (>= 0) or -1 - measure
  std::vector<std::string> decls;                  // each output column's declared type, if any
};

// Runs the pattern over the source rows (already read): the output rows.
std::vector<Row> matchRows(sqlite3* db, const Spec& spec, std::vector<Row> rows);

} // namespace mr

// A statement whose text has MATCH_RECOGNIZE (...) clauses: the same with each clause's text as
// one quoted literal, MATCH_RECOGNIZE ('...'), which the parser and translator read as a whole.
bool quoteMatchClauses(const std::string& text, std::string& out);
// The FROM item that stands for `source MATCH_RECOGNIZE (clause)`: a call of the module of its
// columns; `types` gets the Oracle types of the output columns.
std::string matchRecognizeSource(const std::string& source, const std::string& clause, Catalog& cat,
                                 std::map<std::string, ColType>& types);

} // namespace ora
