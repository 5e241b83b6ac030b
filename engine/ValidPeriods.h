// Valid-time periods (PERIOD FOR): a pair of datetime columns that bound when a row holds. A
// period is kept as its check constraint (start before end), marked in the stored table text, so
// that every copy, rename and rebuild of the table keeps it.
#pragma once
#include <map>
#include <string>
#include <vector>

struct sqlite3;

namespace ora {

class Catalog;
struct Translation;

struct ValidPeriod {
  std::string name, start, end, constraint;
};

// What the stored text of a period's check carries after its written text.
std::string periodMark(const std::string& period);
// The condition that a row's period holds at `at`, of the row's columns named after `ref`.
std::string periodHoldsAt(const std::string& ref, const ValidPeriod& p, const std::string& at);
// The periods a table declares.
std::vector<ValidPeriod> validPeriods(sqlite3* db, const std::string& table);

// CREATE TABLE ... PERIOD FOR, ALTER TABLE ... ADD PERIOD FOR and DROP (PERIOD FOR name): the
// statement written with the columns and the check constraint they stand for; `marks` pairs the
// written text of each check with its period's name. False when the text has no such clause.
struct PeriodRewrite {
  std::string text;
  std::map<std::string, std::string> marks;
  std::string then; // a statement to run after it
  std::vector<std::pair<size_t, size_t>> replaced; // [from, to) of the text as written
  std::vector<size_t> lengths;                     // and the length of what replaced each
};
bool periodDefinitions(const std::string& text, Catalog& cat, PeriodRewrite& out);

} // namespace ora
