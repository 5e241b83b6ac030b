// Text files we read (SQL files, CSV files) come from Windows as often as from here: a UTF-8
// byte-order mark or valid UTF-8 is UTF-8, anything else is CP932 (Windows' Shift-JIS).
// Files we write are in the platform's code page (UTF-8 here) unless CP932 is asked for.
#pragma once
#include <QByteArray>
#include <QString>
#include <QStringView>

QString DecodeFileText(const QByteArray& bytes);
// Reads and decodes a whole file; false when it cannot be opened.
bool ReadTextFile(const QString& fileName, QString& text);

// The code page of a file we write: the platform's, or CP932 for spreadsheet programs that
// expect Windows' Shift-JIS.
enum class TFileCode { System, Cp932 };

// Appends the text in the file's code page to out. False when a character has no place in that
// code page; badPos then gets its index in text and nothing is appended.
bool EncodeFileText(QStringView text, TFileCode code, QByteArray& out, qsizetype* badPos = nullptr);
// Whether the bytes are UTF-8 throughout (a sequence cut at the end is not).
bool IsValidUtf8(const char* data, size_t size);
// The message for a character that the chosen code page cannot hold; place says where it stands
// in the file (line and column).
QString UnencodableMessage(QStringView text, qsizetype pos, const QString& place);
