// The CSV export: every row of a table to a table CSV file (the tree's "CSV出力"), and a query
// window's result grid to a grid CSV file (File > ファイルに保存 > テキストファイル(CSV)).
//
// Table file: a header line naming every column in double quotes, then one line per row; text,
// CHAR and DATE values in double quotes (inner ones doubled, line breaks kept inside), numbers
// as their exact decimal text, RAW / LONG / LONG RAW as an empty field, so every line has as
// many fields as the header. CR LF after every line. Dates in the session's format, or
// "YYYY/MM/DD HH:NN:SS" when none is chosen, so no time of day is lost.
//
// Both files are written beside the target and put in its place only when complete: a failed
// export never destroys the file that was there.
#pragma once
#include "uDataTool.h"
#include "uTextFile.h"

#include <QString>

class TFileDialog;

class TCsvExport {
public:
  explicit TCsvExport(TDataToolEnv& env) : FEnv(env) {}

  // The code page of the files written.
  TFileCode Code = TFileCode::System;

  // The table command: the selected table, the file chosen in dlg (offered as TABLE.CSV).
  bool ExportTable(TFileDialog& dlg);
  // The same once table and file are known. True when the file was written whole.
  bool ExportTableTo(const QString& table, const QString& fileName);
  // The grid command: the active query window's result grid to the file chosen in dlg, which
  // offers what its last use left.
  bool SaveGrid(TFileDialog& dlg);

  // Data lines the last table export wrote.
  int Rows() const { return FRows; }

private:
  TDataToolEnv& FEnv;
  int FRows = 0;
};
