// NUMBER values as a classic Oracle command-line tool shows them: in a column of NUMWIDTH
// characters, or through a COLUMN ... FORMAT model such as 999,990.99.
#pragma once
#include <string>

// The engine's text of a NUMBER ("-12.5", ".333", "1E+40") in at most `width` characters:
// exact when it fits, else rounded, else in scientific notation; '#'s when nothing fits.
std::string NumberInWidth(const std::string& value, int width);
// A BINARY_FLOAT or BINARY_DOUBLE value in `width` columns: 1.5E+000, at least one decimal.
std::string BinaryInWidth(const std::string& value, int width);

// What the currency elements L, C and U show: the session's NLS_CURRENCY, ISO currency and
// NLS_DUAL_CURRENCY; and what D and G show: its decimal character and group separator. Set
// before formatting with a model that holds them.
struct TSessionSymbols {
  std::string Local = "$", Iso = "USD", Dual = "$";
  char Decimal = '.', Group = ',';
};
void SetSessionSymbols(const TSessionSymbols& symbols);
bool UsesSessionSymbols(const std::string& model);

// Whether `model` is a number format model this shell knows (9 0 , . $ L C U B S MI PR D G V
// EEEE, RN, X).
bool IsNumberModel(const std::string& model);
// Characters a value formatted with `model` takes, its sign included.
int NumberModelWidth(const std::string& model);
// The value formatted with `model`, right-aligned in NumberModelWidth characters; '#'s when the
// value has more integer digits than the model.
std::string FormatNumber(const std::string& value, const std::string& model);
