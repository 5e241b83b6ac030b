// The comma-text rule: how a list of strings becomes one CSV line and back. The grid CSV files,
// the CSV import's reader and its log all follow it.
#pragma once
#include "uTextFile.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

class QStringDecoder;

// One item as written: in double quotes, inner ones doubled, when it holds a character of code
// 32 or less, a double quote or a comma; otherwise as it stands.
QString CommaItem(const QString& item);
// The items joined by commas; a list of one empty item is two double quotes.
QString CommaText(const QStringList& items);

// Reads a CSV file record by record without holding it whole. The file's code page is found
// first: a UTF-8 byte-order mark (never part of the first value) or valid UTF-8 throughout is
// UTF-8, anything else CP932. A quoted value may run across line ends; lines end with CR LF or
// LF. Values come out as UTF-8.
class TCsvReader {
public:
  TCsvReader();
  ~TCsvReader();
  TCsvReader(const TCsvReader&) = delete;
  TCsvReader& operator=(const TCsvReader&) = delete;

  // False when the file cannot be opened or read; ErrorText says why.
  bool Open(const QString& fileName);
  bool IsUtf8() const { return FUtf8; }
  QString ErrorText() const { return FError; }
  // Line of the file on which the last record began, from 1.
  int LineNo() const { return FRecordLine; }

  // The header: the number of its items by the reading side of the comma-text rule (leading
  // blanks skipped, items ended by a comma or a blank). False at the end of the file or on an
  // error; an empty file has no header and no rows.
  bool ReadHeader(int& count);
  // The next data line: a quoted field runs to its closing quote (a doubled quote is one) and
  // the one character after it is skipped; any other field runs to the next comma. fields[0 ..
  // count - 1] get the values; an empty line has none. False at the end of the file, or on an
  // error (ErrorText set: an unclosed quote, bytes that are not text).
  bool ReadLine(std::vector<std::string>& fields, int& count);

private:
  enum class TParse { Done, NeedMore, Error };
  bool Fill(size_t atLeast);
  TParse ParseHeader(int& count, size_t& end);
  TParse ParseLine(std::vector<std::string>& fields, int& count, size_t& end);
  // Line-end length at i (LF or CR LF), 0 when none; -1 when more bytes are needed to tell.
  int LineEndAt(size_t i) const;
  bool Convert(std::string& field);
  void CountLines(size_t from, size_t to);

  QFile FFile;
  QString FError;
  std::string FBuf;
  size_t FPos = 0;
  bool FEof = false;
  bool FUtf8 = true;
  int FLine = 1;       // line at FPos
  int FRecordLine = 0; // line where the last record began
  std::unique_ptr<QStringDecoder> FDecoder;
};
