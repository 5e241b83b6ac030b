// The MODEL clause of a query: its rows become cells addressed by dimension values, which rules
// compute in memory. The query below the clause runs as an inline view whose rows the aggregate
// ora_model gathers, evaluates and packs; a table-valued function (LateralRows.h) reads them back.
#pragma once
#include "SqlTranslate.h"

#include <memory>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace ora {

// When `text` has a query with a MODEL clause: the same statement with an inline view of the
// query below the clause in its place, marked for the translator (modelClauseColumn).
bool modelClause(const std::string& text, Catalog& cat, std::string& out);
void registerModelRows(sqlite3* db);
// A view made from the rewritten statement keeps the query as it was written.
void modelWrittenText(const std::string& text, const std::string& modelled, Translation& t);

// The first column of the marked inline view: its value is the clause for ora_model.
inline constexpr const char* modelClauseColumn = "MODEL$";

namespace model {

struct Expr;
using ExprPtr = std::shared_ptr<Expr>;

enum class Mode { Update, Upsert, UpsertAll };

// What one position of a cell reference selects.
struct DimPick {
  enum Kind { Value, Any, Cond, ForIn, ForRange, ForQuery } kind = Value;
  bool symbolic = false; // dim = v, dim IS ANY, a condition: never creates a cell under UPSERT
  ExprPtr value;         // Value; Cond (a condition on the candidate's value); ForRange: from
  ExprPtr to, step;      // ForRange
  bool decrement = false;
  std::vector<ExprPtr> list; // ForIn
  std::string query;         // ForQuery: its Oracle text
};

struct CellRef {
  int model = -1; // a reference model's, by its index; -1 the main model's
  int measure = -1;
  std::vector<DimPick> dims;
};

// A value a rule's expression takes from the model, bound in its place.
struct Ref {
  enum Kind { Cell, Present, PresentNN, Previous, Agg, Cv, CvPartition, Iteration, DimValue, MeasureValue } kind = Cell;
  CellRef cell;
  std::string fn;  // Agg
  ExprPtr arg;     // Agg: the argument over each cell's measures; null for a bare measure or *
  int index = -1;  // Agg: bare measure (-1 for *); Cv, DimValue: dimension; MeasureValue: measure
};

struct Expr {
  std::string text; // Oracle text, each reference a bind in order
  bool condition = false;
  std::vector<Ref> refs;
  sqlite3_stmt* st = nullptr; // prepared when first evaluated
  Expr() = default;
  Expr(const Expr&) = delete;
  Expr& operator=(const Expr&) = delete;
  ~Expr();
};

struct OrderItem {
  ExprPtr e;
  bool desc = false;
};

struct Rule {
  Mode mode = Mode::Upsert;
  CellRef lhs;
  std::vector<OrderItem> order;
  ExprPtr rhs;
};

// REFERENCE name ON (query) DIMENSION BY (...) MEASURES (...): cells the rules read only.
struct RefModel {
  std::string name, query;
  std::vector<std::string> dims, measures, dimItems, measureItems;
};

struct Clause {
  std::vector<RefModel> references;
  std::vector<std::string> parts, dims, measures;
  // the items' expressions as written (for the inline view)
  std::vector<std::string> partItems, dimItems, measureItems;
  std::string types; // per column (partitions, dimensions, measures): 'D' a DATE, 'N' a NUMBER
  bool ignoreNav = false, singleReference = false, updatedOnly = false, automatic = false;
  long iterate = -1; // -1: no ITERATE
  ExprPtr until;
  std::vector<Rule> rules;
};

// Reads the clause at the start of `text` (MODEL ... its rules), brackets as written; `end` is
// where it ends.
std::unique_ptr<Clause> parseModel(const std::string& text, size_t& end, const std::string& types);
// Each expression's text as SQLite runs it, through the translator (checks names and functions).
std::string exprSql(const Expr& e, Catalog& cat);

} // namespace model

} // namespace ora
