// The dummy data tool (the tree's "ダミーデータ作成"): a chosen number of generated rows for the
// selected table, one INSERT per row, with progress and failing rows in the log window. Per
// column the dialog's condition chooses the value of row n:
//   empty or "順列値"  n, zero-padded to the column's display size (only its last digits when
//                      longer);
//   "増分値"           increment × n, padded and cut the same way;
//   "固定値"           the fixed value as typed (empty when it is blank).
// Text columns get the value as a quoted literal, number columns as it stands, date columns
// SYSDATE whatever their condition. A run that reaches its end commits the rows added.
#pragma once
#include "uDataTool.h"

#include <QString>
#include <string>
#include <vector>

class TfCrtDummy;
class TfLOG;

class TDummyData {
public:
  // lookup: the cursor that reads the column names for the dialog.
  TDummyData(TDataToolEnv& env, TOraCursor& lookup, TfCrtDummy& dlg, TfLOG& log)
      : FEnv(env), FLookup(lookup), FDlg(dlg), FLog(log) {}

  // The command: the selected table, the dialog, the generation.
  bool Run();
  // The table's column names into row 0 of the dialog's grid. False, with the message shown,
  // when the table cannot be read.
  bool LoadFields(const QString& table);
  // count rows from the rules in the dialog's grid. True when every row was tried; a failure
  // that ends the run early is logged and shown, and the rows added before it are committed.
  bool Generate(const QString& table, int count);

  // Rows of the last run that went in and that failed.
  int Added() const { return FAdded; }
  int NotAdded() const { return FNotAdded; }

private:
  struct TRule {
    char Letter;      // 'S' quoted text, 'N' as it stands, 'D' SYSDATE
    int Condition;    // 0 sequence, 1 increment, 2 fixed
    std::string Text; // the fixed value, quoted when the letter asks for it
    long long Increment = 0;
    int Size = 0;
    std::string Column;
    QString Error; // why the rule cannot make values
  };
  std::vector<TRule> Rules(const TOraCursor& cur) const;
  // The statement of row n; false with error set when a value cannot be made.
  bool Statement(const std::string& name, const std::vector<TRule>& rules, int n, std::string& sql,
                 QString& error) const;

  TDataToolEnv& FEnv;
  TOraCursor& FLookup;
  TfCrtDummy& FDlg;
  TfLOG& FLog;
  int FAdded = 0;
  int FNotAdded = 0;
};
