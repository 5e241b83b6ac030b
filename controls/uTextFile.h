// Text files we read (SQL files, CSV files) come from Windows as often as from here: a UTF-8
// byte-order mark or valid UTF-8 is UTF-8, anything else is CP932 (Windows' Shift-JIS).
#pragma once
#include <QByteArray>
#include <QString>

QString DecodeFileText(const QByteArray& bytes);
// Reads and decodes a whole file; false when it cannot be opened.
bool ReadTextFile(const QString& fileName, QString& text);
