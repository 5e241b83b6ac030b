#include "uCsvImport.h"

#include "OciCompo.h"
#include "SGrid.h"
#include "SqlQuote.h"
#include "uCommaText.h"
#include "uFileDlg.h"
#include "uLOG.h"
#include "uMsg.h"

#include <QCoreApplication>
#include <QProgressBar>
#include <algorithm>
#include <string_view>
#include <vector>

namespace {

const char* const StatusRunning = "CSV入力中";
const char* const StatusStopped = "CSV入力を中止しました";

// Letters of the column type list: text-like values are quoted, numbers written as they stand,
// RAW / LONG / LONG RAW columns (empty in exported files) get NULL when their cell is empty.
constexpr char TypeText = 'S';
constexpr char TypeNumber = 'N';
constexpr char TypeOther = 'L';

char TypeLetter(TFieldKind kind) {
  switch (kind) {
  case fkString:
  case fkDate:
  case fkChar:
    return TypeText;
  case fkNumber:
    return TypeNumber;
  default:
    return TypeOther;
  }
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool BlankOnly(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return IsBlank(c); });
}

// A decimal literal with blanks around it: [+-] digits [. digits] [E [+-] digits].
bool IsNumberLiteral(std::string_view s) {
  size_t i = 0, n = s.size();
  while (i < n && IsBlank(s[i]))
    ++i;
  while (n > i && IsBlank(s[n - 1]))
    --n;
  if (i < n && (s[i] == '+' || s[i] == '-'))
    ++i;
  size_t digits = 0;
  while (i < n && s[i] >= '0' && s[i] <= '9')
    ++i, ++digits;
  if (i < n && s[i] == '.') {
    ++i;
    while (i < n && s[i] >= '0' && s[i] <= '9')
      ++i, ++digits;
  }
  if (digits == 0)
    return false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-'))
      ++i;
    size_t exp = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9')
      ++i, ++exp;
    if (exp == 0)
      return false;
  }
  return i == n;
}

// A text literal, quotes doubled. The cursor turns every CR of a statement into a blank, so a CR
// in the value is joined in as CHR(13).
void AppendText(std::string& sql, std::string_view value) {
  sql += '\'';
  for (char c : value) {
    if (c == '\r') {
      sql += "' || CHR(13) || '";
      continue;
    }
    sql += c;
    if (c == '\'')
      sql += '\'';
  }
  sql += '\'';
}

// Error texts end their first line with a CR; the log takes plain lines.
QString LogText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(u'\r', u'\n');
  return s;
}

} // namespace

TImportMode TCsvImport::ModeOf(const QString& itemName) {
  if (itemName == QLatin1String("N6"))
    return TImportMode::DeleteThenAdd;
  if (itemName == QLatin1String("N7"))
    return TImportMode::AddIgnoringErrors;
  return TImportMode::AddStoppingAtError;
}

bool TCsvImport::ImportTable(TImportMode mode, TFileDialog& dlg) {
  QString table;
  if (!DataTool::SelectedTable(FEnv.Host, table))
    return false;
  dlg.FileName = table.toUpper() + QStringLiteral(".CSV");
  if (!dlg.Execute(FEnv.Window))
    return false;
  return ImportTableFrom(mode, table, dlg.FileName);
}

void TCsvImport::BuildStatement(int row, const std::string& name, const std::string& types,
                                std::string& sql) const {
  sql = " INSERT INTO ";
  sql += name;
  sql += " VALUES ( ";
  const int cols = FGrid.ColCount();
  for (int c = 0; c < cols; ++c) {
    if (c > 0)
      sql += ',';
    const std::string_view cell = FGrid.CellUtf8(c, row);
    const char type = c < static_cast<int>(types.size()) ? types[static_cast<size_t>(c)] : 0;
    if (type == TypeText)
      AppendText(sql, cell);
    else if (BlankOnly(cell))
      sql += "NULL";
    else if (type == TypeNumber && IsNumberLiteral(cell))
      sql += cell; // as it stands
    else
      AppendText(sql, cell); // the database converts it or says why it cannot
  }
  sql += ')';
}

bool TCsvImport::ImportTableFrom(TImportMode mode, const QString& table, const QString& fileName) {
  FProcessed = FFailed = FInserted = 0;
  TMainHost& host = FEnv.Host;
  TOraSession& ses = host.Session();
  TOraCursor& cur = FEnv.Cursor;
  const bool stopAtError = mode != TImportMode::AddIgnoringErrors;

  DataTool::TWaitCursor wait;
  host.SetStatusText(QString::fromUtf8(StatusRunning));
  FGrid.ClearRows();
  if (!FGrid.LoadFromCSV(fileName)) {
    wait.Restore();
    host.SetStatusText(QString());
    Msg::Error(QStringLiteral("CSVファイルを読み込めません。\n") + FGrid.LoadError());
    return false;
  }
  wait.Restore();
  host.SetStatusText(QString::fromUtf8(StatusRunning));
  DataTool::ConnectOnDemand(FEnv);
  DataTool::TWaitCursor busy;
  host.SetStatusText(QString::fromUtf8(StatusRunning));

  FLog.Clear();
  FLog.SetRunning(true);
  // However the run ends, the log repaints again and its OK button is available.
  struct TLogRun {
    TfLOG& Log;
    ~TLogRun() {
      Log.EndUpdate();
      Log.SetRunning(false);
    }
  } logRun{FLog};
  FLog.SetCounts(0, 0, 0, false);
  FLog.show();
  FLog.raise();

  // A stop before the rows: logged, shown, nothing of this run kept.
  bool changed = false;
  const auto stop = [&](const QString& text, const QString& logLine) {
    FLog.EndUpdate();
    FLog.Add(logLine.isEmpty() ? text : logLine);
    FLog.SetRunning(false);
    busy.Restore();
    if (changed)
      ses.Rollback();
    cur.Close();
    host.SetStatusText(QString::fromUtf8(StatusStopped));
    Msg::Error(text);
    return false;
  };
  const auto oraStop = [&](const std::string& sql) {
    const QString error = QString::fromUtf8(DataTool::ErrorPrefix) + LogText(cur.ErrorText());
    return stop(error + QStringLiteral("\nSQL = ") + QString::fromStdString(sql),
                error + u'\n' + QString::fromStdString(sql));
  };

  cur.Open();
  cur.SQL().clear();
  const std::string name = OraName(table.toStdString());

  // The column types first: they decide the values, and whether emptying loses data.
  FEnv.CursorError = false;
  const std::string select = " SELECT * FROM " + name;
  cur.SQL() = {select};
  std::string types;
  QStringList unexported;
  try {
    cur.Parse();
    if (FEnv.CursorError || !cur.DescribeFields())
      return oraStop(select);
    for (int i = 0; i < cur.FieldCount(); ++i) {
      const TCustomOraField* f = cur.Fields(i);
      types += TypeLetter(f->FieldKind());
      if (types.back() == TypeOther)
        unexported << QString::fromStdString(f->Name());
    }
  } catch (const std::exception& e) {
    return stop(QString::fromUtf8(e.what()), QString());
  }
  if (FGrid.ColCount() > static_cast<int>(types.size()))
    return stop(QStringLiteral("CSVファイルの項目数（%1）がテーブル %2 の列数（%3）より多いため、"
                               "入力できません。")
                    .arg(FGrid.ColCount())
                    .arg(table)
                    .arg(types.size()),
                QString());
  if (mode == TImportMode::DeleteThenAdd && !unexported.isEmpty()) {
    busy.Restore();
    const bool go = Msg::YesNo(
        QStringLiteral("テーブル %1 の列 %2 は CSV ファイルに値を持たないため、削除後追加すると"
                       "これらの列の内容は失われます（NULL になります）。\n続けますか？")
            .arg(table, unexported.join(QStringLiteral(", "))));
    if (!go) {
      FLog.Add(QStringLiteral("中止しました"));
      FLog.SetRunning(false);
      cur.Close();
      host.SetStatusText(QString());
      return false;
    }
    busy.Set();
  }

  if (mode == TImportMode::DeleteThenAdd) {
    FEnv.CursorError = false;
    const std::string del = " DELETE FROM " + name;
    cur.SQL() = {del};
    changed = true;
    if (!cur.Parse() || !cur.Exec() || FEnv.CursorError)
      return oraStop(del);
  }
  changed = true;

  const int rows = FGrid.RowCount();
  FLog.pbrStatus->setMaximum(std::max(1, rows));
  FLog.SetCounts(0, 0, 0, true);
  FLog.BeginUpdate();
  const std::vector<int>& overlong = FGrid.OverlongRows();
  size_t nextOverlong = 0;
  std::string sql;
  DataTool::TPacer pacer;
  for (int r = 0; r < rows; ++r) {
    QString error; // empty when the row went in
    if (nextOverlong < overlong.size() && overlong[nextOverlong] == r) {
      ++nextOverlong;
      sql.clear();
      error = QStringLiteral("ヘッダーより項目の多い行です（%1行目のデータ）").arg(r + 1);
    } else {
      BuildStatement(r, name, types, sql);
      FEnv.CursorError = false;
      cur.SQL().assign(1, sql);
      if (cur.Parse())
        cur.Exec();
      if (FEnv.CursorError)
        error = LogText(cur.ErrorText());
    }
    if (!error.isEmpty()) {
      if (stopAtError) {
        const QString text = QString::fromUtf8(DataTool::ErrorPrefix) + error;
        // The counters stay at the row before; nothing of this run is kept.
        FLog.SetCounts(r, r, 0, true);
        FProcessed = r + 1;
        FFailed = 1;
        return stop(text + QStringLiteral("\nSQL = ") + QString::fromStdString(sql),
                    text + u'\n' + QString::fromStdString(sql));
      }
      FLog.Add(QStringLiteral(" ORACLE ERROR = ") + error);
      FLog.Add(CommaText(FGrid.Rows(r)));
      ++FFailed;
    }
    FProcessed = r + 1;
    if (r % 100 == 0) {
      if (pacer.Due()) {
        host.SetStatusText(QStringLiteral("件数＝%1 処理中 ").arg(r, 3, 10, QChar(u'0')));
        FLog.SetCounts(FProcessed, FProcessed - FFailed, FFailed, true);
        FLog.EndUpdate();
        DataTool::LetPaintThrough();
        FLog.BeginUpdate();
      } else {
        DataTool::LetPaintThrough();
      }
    }
  }
  FInserted = FProcessed - FFailed;
  FLog.SetCounts(FProcessed, FInserted, FFailed, true);
  FLog.EndUpdate();
  const QString done = QString::number(FInserted) + QStringLiteral("件入力しました");
  FLog.Add(done);
  FLog.SetRunning(false);
  busy.Restore();
  cur.Close();
  ses.Commit();
  host.SetStatusText(done);
  return true;
}
