// EXPLAIN PLAN [SET STATEMENT_ID = '...'] [INTO table] FOR statement: the statement is checked
// as if it ran, and the steps SQLite would take are written into PLAN_TABLE in Oracle's names.
#pragma once
#include "SqlTranslate.h"

#include <string>
#include <vector>

namespace ora {

// One step of a plan, as PLAN_TABLE holds it.
struct PlanStep {
  int id = 0, parent = -1, depth = 0, position = 0;
  std::string operation, options, objectName, objectType;
};

// When `text` is EXPLAIN PLAN: the insert of its plan rows (and PLAN_TABLE made first when the
// schema has none) in `out`.
bool explainPlan(const std::string& text, Catalog& cat, Translation& out);

// Makes the schema's PLAN_TABLE when a query or DML names it and the schema has none yet.
void planTableFor(const std::string& text, Catalog& cat);

// When `text` reads TABLE(DBMS_XPLAN.DISPLAY...): the text with the plan's lines in its place.
bool xplanDisplay(const std::string& text, Catalog& cat, std::string& rewritten);

// The steps of one translated statement: `verb` is SELECT, INSERT, UPDATE, DELETE or MERGE,
// `sqls` the SQLite statements it runs, `aggregate` whether its select list aggregates the rows
// without a GROUP BY.
std::vector<PlanStep> planSteps(sqlite3* db, const std::string& verb, const std::string& target,
                                const std::vector<std::string>& sqls, bool aggregate);

} // namespace ora
