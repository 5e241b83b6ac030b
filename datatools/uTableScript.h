// The table script (the tree's "テーブルスクリプト作成"): a SQL script that re-creates the
// selected table's columns, optionally after a DROP TABLE, written to TABLE.SQL in a folder the
// user picks. Names, types and character or byte sizes only: no NOT NULL, no precision or scale,
// no keys. Lines inside a statement end with LF, each statement with an extra CR LF.
//
// The file is written beside the target and takes its place only when complete, in the code
// page chosen for the files the program writes.
#pragma once
#include "uDataTool.h"
#include "uTextFile.h"

#include <QString>
#include <string>

class TCustomOraField;

class TTableScript {
public:
  explicit TTableScript(TDataToolEnv& env) : FEnv(env) {}

  // The code page of the script file.
  TFileCode Code = TFileCode::System;

  // The command: the selected table, folder and DROP option from the options dialog.
  bool Run();
  // The same once table, folder and option are known. True when the script was written.
  bool WriteScript(const QString& table, const QString& folder, bool withDrop);

  // The script's full name: folder, table name, ".SQL".
  static QString ScriptFileName(const QString& folder, const QString& table);
  // A column's line (without its LF): name right-aligned in 20 columns, the type word in 8,
  // then the size for character and RAW columns, then a comma.
  static std::string ColumnLine(const TCustomOraField& field);

private:
  TDataToolEnv& FEnv;
};
