#include "uTableScript.h"

#include "DisplayWidth.h"
#include "OciCompo.h"
#include "SqlQuote.h"
#include "uFolderTree.h"
#include "uMsg.h"
#include "uSCRDIALOG.h"

#include <QCheckBox>
#include <QDir>
#include <QSaveFile>
#include <cstdio>

namespace {

const char* const StatusWriting = "スクリプト作成中";
const char* const Done = "スクリプトが作成されました。";

// " %20s %8s" with the widths counted in display columns, as Shift-JIS bytes count them.
std::string NameAndType(const std::string& name, const char* type) {
  return ' ' + PadDisplay(name, 20, true) + ' ' + PadDisplay(type, 8, true);
}

std::string Sized(std::string line, int size) {
  char buf[32];
  std::snprintf(buf, sizeof buf, " ( %5d ),", size);
  return line + buf;
}

// The error text of the cursor in one line per line of the message.
QString ErrorLines(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(u'\r', u'\n');
  return s;
}

} // namespace

QString TTableScript::ScriptFileName(const QString& folder, const QString& table) {
  // A quoted name may hold a path separator; the file stays in the folder chosen.
  QString file = table;
  file.replace(u'/', u'_');
  file.replace(u'\\', u'_');
  return QDir(folder).filePath(file + QStringLiteral(".SQL"));
}

std::string TTableScript::ColumnLine(const TCustomOraField& field) {
  const std::string name = OraName(field.Name());
  const auto* f = dynamic_cast<const TOraField*>(&field);
  const int displaySize = f ? f->DisplaySize() : 0;
  switch (field.FieldKind()) {
  case fkString:
    return Sized(NameAndType(name, "VARCHAR2"), displaySize);
  case fkChar:
    return Sized(NameAndType(name, "CHAR"), displaySize);
  case fkDate:
    return NameAndType(name, "DATE") + ',';
  case fkNumber:
    return NameAndType(name, "NUMBER") + ',';
  case fkRaw:
    // The declared byte size: the describe's internal size, one less than the buffer width.
    return Sized(NameAndType(name, "RAW"), std::max(0, field.Width() - 1));
  case fkLong:
    return NameAndType(name, "LONG") + ',';
  case fkLongRaw:
    return NameAndType(name, "LONG RAW") + ',';
  }
  return NameAndType(name, "VARCHAR2") + ',';
}

bool TTableScript::Run() {
  QString table;
  if (!DataTool::SelectedTable(FEnv.Host, table))
    return false;
  QString folder;
  bool withDrop = false;
  {
    TfSCRDLG dlg(FEnv.Window);
    if (!dlg.Execute())
      return false;
    folder = dlg.fldSCR->SelectedFolder();
    withDrop = dlg.chkDROP->isChecked();
  }
  Msg::Show(QDir::toNativeSeparators(folder) + QStringLiteral("にスクリプトを作成します"));
  return WriteScript(table, folder, withDrop);
}

bool TTableScript::WriteScript(const QString& table, const QString& folder, bool withDrop) {
  TMainHost& host = FEnv.Host;
  TOraCursor& cur = FEnv.Cursor;
  host.SetStatusText(QString::fromUtf8(StatusWriting));
  const QString fileName = ScriptFileName(folder, table);
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly)) {
    host.SetStatusText(QString());
    Msg::Error(QStringLiteral("ファイルの生成に失敗しました"));
    return false;
  }
  DataTool::ConnectOnDemand(FEnv);
  DataTool::TWaitCursor wait;
  const auto fail = [&](const QString& text) {
    file.cancelWriting();
    cur.Close();
    wait.Restore();
    host.SetStatusText(QString());
    Msg::Error(text);
    return false;
  };

  cur.Open();
  cur.SQL().clear();
  const std::string name = OraName(table.toStdString());
  std::string script;
  if (withDrop)
    script += " DROP TABLE " + name + " ;\n\r\n";
  script += " CREATE TABLE " + name + "\n (\n";

  FEnv.CursorError = false;
  cur.SQL() = {" SELECT * FROM " + name};
  std::string columns;
  try {
    // A table that cannot be described would give a statement without columns.
    if (!cur.Parse() || !cur.DescribeFields() || FEnv.CursorError || cur.FieldCount() == 0)
      return fail(QString::fromUtf8(DataTool::ErrorPrefix) + ErrorLines(cur.ErrorText()));
    for (int i = 0; i < cur.FieldCount(); ++i)
      columns += ColumnLine(*cur.Fields(i)) + '\n';
  } catch (const std::exception& e) {
    return fail(QString::fromUtf8(DataTool::ErrorPrefix) + QString::fromUtf8(e.what()));
  }
  // The last line's comma and LF.
  columns.resize(columns.size() >= 2 ? columns.size() - 2 : 0);
  script += columns + "\n);\n\r\n";

  const QString text = QString::fromStdString(script);
  QByteArray bytes;
  qsizetype bad = 0;
  if (!EncodeFileText(text, Code, bytes, &bad)) {
    const qsizetype line = text.left(bad).count(u'\n') + 1;
    return fail(UnencodableMessage(text, bad, QStringLiteral("%1行目").arg(line)));
  }
  if (file.write(bytes) != bytes.size() || !file.commit())
    return fail(QStringLiteral("ファイルの書き込みに失敗しました: %1 (%2)")
                    .arg(QDir::toNativeSeparators(fileName), file.errorString()));
  wait.Restore();
  cur.Close();
  host.Session().Commit();
  host.SetStatusText(QString::fromUtf8(Done));
  Msg::Show(QString::fromUtf8(Done));
  return true;
}
