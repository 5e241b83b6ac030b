// Oracle's single-row SQL functions (NVL, TO_CHAR, SUBSTR, ADD_MONTHS, ...) as SQLite functions,
// plus the helpers translated statements call (ora_concat, ora_date_add, ora_user, ...).
#pragma once
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace ora {

// Registers every function on a schema connection; `user` is the schema's user name.
void registerOraFunctions(sqlite3* db, const std::string& user);
// The exact NUMBER arithmetic the translated statements call: ora_add, ora_sub, ora_mul, ora_div,
// and the aggregates ora_sum and ora_avg.
void registerNumberFunctions(sqlite3* db);
// ora_ncmp: NUMBER values compared exactly (NumberCompare.cpp).
void registerNumberCompare(sqlite3* db);
// SUM and AVG of INTERVAL values: ora_iv_sum, ora_iv_avg (IntervalFunctions.cpp).
void registerIntervalAggregates(sqlite3* db);
// VARIANCE, STDDEV, the other statistical aggregates and ora_percentile (MEDIAN, PERCENTILE_*),
// all usable as window functions.
void registerStatAggregates(sqlite3* db);
// STATS_T_TEST_ONE and STATS_T_TEST_PAIRED (StatTests.cpp).
void registerStatTests(sqlite3* db);
// BIT_AND_AGG, BIT_OR_AGG, BIT_XOR_AGG, CHECKSUM, KURTOSIS_* and SKEWNESS_* (NewerAggregates.cpp).
void registerNewerAggregates(sqlite3* db);
const std::vector<std::string>& newerAggregateNames();
// The upper-case names of the statistical and inverse distribution aggregates.
const std::vector<std::string>& statAggregateNames();
// Whether an upper-case name is one of Oracle's aggregate functions (COUNT, SUM, ..., MEDIAN).
bool aggregateFunction(std::string_view upperName);

// Result type of one of our functions by its upper-case name: kNumber, kDate, kVarchar2;
// 0 when it follows an argument (NVL, NVL2, DECODE, GREATEST, LEAST, ROUND, TRUNC); -1 when the
// name is not one of ours.
int functionResultType(std::string_view upperName);

// ora_rownum_next and ora_rownum_pass: ROWNUM worked out row by row in a WHERE clause.
void registerRownumCounter(sqlite3* db);

// The upper-case names registerOraFunctions registers.
std::vector<std::string> oraFunctionNames();

} // namespace ora
