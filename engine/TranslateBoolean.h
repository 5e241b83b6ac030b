// What the translator knows of BOOLEAN expressions, apart from its class.
#pragma once
#include "Booleans.h"
#include "TranslateImpl.h"

namespace ora::tx {

// Whether tokens [b, e) give a BOOLEAN: a condition at their own top level (a comparison, AND,
// OR, NOT, IS, LIKE, BETWEEN, IN, EXISTS), TRUE or FALSE, or a call that gives a truth.
bool booleanTokens(const std::vector<Token>& t, size_t b, size_t e);
// Whether tokens [b, e) are one call of a condition written as a function: REGEXP_LIKE,
// JSON_EXISTS, XMLEXISTS, LNNVL.
bool conditionCall(const std::vector<Token>& t, size_t b, size_t e);
// BOOL_AND, BOOL_OR and EVERY as the aggregates of 1 and 0 that give them: MIN or MAX; empty
// for any other name.
const char* truthAggregate(const std::string& name);

} // namespace ora::tx
