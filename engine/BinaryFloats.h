// BINARY_FLOAT and BINARY_DOUBLE values. SQLite keeps them as REAL (infinities too); NaN, which
// SQLite turns into NULL, is the text 'Nan' and so sorts above every number, as Oracle orders it.
// A BINARY_FLOAT is held as the double nearest its shortest decimal, so it compares equal to that
// decimal as a NUMBER.
#pragma once
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_value;
struct sqlite3_context;

namespace ora {

// The value as a double: a number, 'Nan', 'Inf' or '-Inf' (any case); false for NULL. Other text
// is read as a number (ORA-01722 when it is none).
// Whether name is a math function that binary arguments compute in IEEE arithmetic.
bool fpMathFunction(const std::string& name);
bool fpOf(sqlite3_value* v, double& out);
// The SQL result for a value of type kind (kBinaryFloat, kBinaryDouble).
void resultFp(sqlite3_context* ctx, int kind, double x);
// The float nearest x, as the double of its shortest decimal.
double asBinaryFloat(double x);
// TO_CHAR of the value without a model: "3.33333333333333E-001", "Inf", "Nan".
std::string fpText(int kind, double x);
// Oracle's internal bytes: big-endian IEEE, the sign bit set for positives, all bits inverted for negatives.
std::vector<int> fpBytes(int kind, double x);

void registerBinaryFloats(sqlite3* db);

} // namespace ora
