// The CSV import (the tree's "CSV入力"): a CSV file is read into the hidden grid, then one
// INSERT per row is built from the cells and the table's column types and run, with the log
// window showing counts and failed rows. The first line is a header; only its item count is
// used, and file columns meet table columns by position.
//
// Modes: N6 "削除後追加" empties the table first (DELETE, inside the import's transaction) and
// stops at the first failing row; N7 "追加（エラー無視）" logs failing rows and goes on; N8
// "追加（エラー有り）" stops at the first failing row. A stop rolls everything back, the
// emptying included; a run that reaches its end commits.
#pragma once
#include "uDataTool.h"

#include <QString>
#include <string>

class TFileDialog;
class TSmartGrid;
class TfLOG;

enum class TImportMode { DeleteThenAdd, AddIgnoringErrors, AddStoppingAtError };

class TCsvImport {
public:
  TCsvImport(TDataToolEnv& env, TSmartGrid& grid, TfLOG& log) : FEnv(env), FGrid(grid), FLog(log) {}

  // The mode of the menu item "N6", "N7" or "N8".
  static TImportMode ModeOf(const QString& itemName);

  // The command: the selected table, the file chosen in dlg (offered as TABLE.CSV).
  bool ImportTable(TImportMode mode, TFileDialog& dlg);
  // The same once table and file are known. True when the run reached its end and committed.
  bool ImportTableFrom(TImportMode mode, const QString& table, const QString& fileName);

  // Counts of the last run: rows tried, rows that failed, rows kept (none after a stop).
  int Processed() const { return FProcessed; }
  int Failed() const { return FFailed; }
  int Inserted() const { return FInserted; }

private:
  // The INSERT text of grid row r; types holds one letter per table column.
  void BuildStatement(int row, const std::string& name, const std::string& types,
                      std::string& sql) const;

  TDataToolEnv& FEnv;
  TSmartGrid& FGrid;
  TfLOG& FLog;
  int FProcessed = 0;
  int FFailed = 0;
  int FInserted = 0;
};
