// The one way names and values go into SQL text the program builds.
#pragma once
#include <string>
#include <string_view>

// A name that Oracle reads as itself without quotes: an upper-case identifier of at most 30
// characters that is not a reserved word.
bool IsPlainOraName(std::string_view name);
// The name as written into SQL: unchanged when plain, otherwise in double quotes (inner double
// quotes doubled), so "lower_t" and "O'T" reach their own objects.
std::string OraName(std::string_view name);
// A text literal: the value in single quotes, inner single quotes doubled.
std::string OraText(std::string_view value);
// The value with its single quotes doubled, for a statement text that has the quotes around it.
std::string OraEscape(std::string_view value);

#ifdef QT_CORE_LIB
#include <QString>
inline QString OraName(const QString& name) {
  return QString::fromStdString(OraName(name.toStdString()));
}
inline QString OraText(const QString& value) {
  return QString::fromStdString(OraText(value.toStdString()));
}
inline QString OraEscape(const QString& value) {
  return QString::fromStdString(OraEscape(value.toStdString()));
}
#endif
