#include "uDummyData.h"

#include "CtrlGrid.h"
#include "OciCompo.h"
#include "SqlQuote.h"
#include "uCrtDummy.h"
#include "uLOG.h"
#include "uMsg.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <algorithm>
#include <charconv>
#include <climits>

namespace {

enum { condSequence = 0, condIncrement = 1, condFixed = 2 };

// Error texts end their first line with a CR; the log takes plain lines.
QString LogText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(u'\r', u'\n');
  return s;
}

QString OraError(const TOraCursor& cur) {
  return QString::fromUtf8(DataTool::ErrorPrefix) + LogText(cur.ErrorText());
}

char Letter(TFieldKind kind) {
  switch (kind) {
  case fkNumber:
    return 'N';
  case fkDate:
    return 'D';
  default:
    // Text, and RAW / LONG / LONG RAW, which take the digits as text (hex digits for RAW).
    return 'S';
  }
}

// v in decimal, zero-padded on the left to size characters, or only its last size characters.
void AppendPadded(std::string& sql, long long v, int size) {
  char buf[24];
  const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
  const int len = static_cast<int>(end - buf);
  if (size <= 0) {
    sql.append(buf, static_cast<size_t>(len));
  } else if (len >= size) {
    sql.append(end - size, static_cast<size_t>(size));
  } else {
    sql.append(static_cast<size_t>(size - len), '0');
    sql.append(buf, static_cast<size_t>(len));
  }
}

bool BlankOnly(const QString& s) {
  return std::all_of(s.begin(), s.end(), [](QChar c) { return c == u' '; });
}

} // namespace

bool TDummyData::Run() {
  QString table;
  if (!DataTool::SelectedTable(FEnv.Host, table))
    return false;
  if (!FEnv.Host.Session().Connected() && FEnv.Logon)
    FEnv.Logon();
  if (!LoadFields(table))
    return false;
  FDlg.lblTableName->setText(table + QStringLiteral("のデータを作成します"));
  if (!FDlg.Execute())
    return false;
  const int count = FDlg.edtKEISU->text().trimmed().toInt();
  Msg::Show(FDlg.edtKEISU->text() + QStringLiteral(" 件のデータを作成します"));
  return Generate(table, count);
}

bool TDummyData::LoadFields(const QString& table) {
  TOraCursor& cur = FLookup;
  const auto fail = [&](const QString& text) {
    cur.Close();
    Msg::Error(text);
    FEnv.Host.SetStatusText(QStringLiteral("テーブル検索中にエラーが発生しました"));
    return false;
  };
  cur.Open();
  cur.SQL().clear();
  cur.SQL() = {" Select * from " + OraName(table.toStdString())};
  try {
    if (!cur.Parse() || !cur.DescribeFields())
      return fail(OraError(cur));
  } catch (const std::exception& e) {
    return fail(QString::fromUtf8(DataTool::ErrorPrefix) + QString::fromUtf8(e.what()));
  }
  TCtrlGrid& grid = *FDlg.cgrFields;
  grid.SetColCount(cur.FieldCount() + 1);
  for (int i = 0; i < cur.FieldCount(); ++i) {
    grid.SetCells(i + 1, TfCrtDummy::rowField, QString::fromStdString(cur.Fields(i)->Name()));
    DataTool::LetPaintThrough();
  }
  cur.Close();
  return true;
}

std::vector<TDummyData::TRule> TDummyData::Rules(const TOraCursor& cur) const {
  const TCtrlGrid& grid = *FDlg.cgrFields;
  std::vector<TRule> rules;
  for (int i = 0; i < cur.FieldCount(); ++i) {
    const TCustomOraField* field = cur.Fields(i);
    const int col = i + 1;
    const bool inGrid = col < grid.ColCount();
    TRule rule;
    rule.Letter = Letter(field->FieldKind());
    rule.Column = field->Name();
    const auto* f = dynamic_cast<const TOraField*>(field);
    rule.Size = f ? f->DisplaySize() : 0;
    const QString condition = inGrid ? grid.Cells(col, TfCrtDummy::rowCondition) : QString();
    if (condition == QStringLiteral("増分値")) {
      rule.Condition = condIncrement;
      const QString text = grid.Cells(col, TfCrtDummy::rowIncrement);
      bool digits = !text.isEmpty();
      for (QChar c : text)
        digits = digits && c >= u'0' && c <= u'9';
      bool ok = false;
      rule.Increment = digits ? text.toLongLong(&ok) : 0;
      if (!digits)
        rule.Error = QStringLiteral("列 %1 の増分値「%2」は数値ではありません")
                         .arg(QString::fromStdString(rule.Column), text);
      else if (!ok || rule.Increment > INT_MAX)
        rule.Error = QStringLiteral("列 %1 の増分値 %2 は大きすぎます（%3 まで）")
                         .arg(QString::fromStdString(rule.Column), text)
                         .arg(INT_MAX);
    } else if (condition == QStringLiteral("固定値")) {
      rule.Condition = condFixed;
      const QString text = grid.Cells(col, TfCrtDummy::rowFixed);
      const std::string value = BlankOnly(text) ? std::string() : text.toStdString();
      rule.Text = rule.Letter == 'S' ? OraText(value) : value;
    } else {
      rule.Condition = condSequence;
    }
    rules.push_back(std::move(rule));
  }
  return rules;
}

bool TDummyData::Statement(const std::string& name, const std::vector<TRule>& rules, int n,
                           std::string& sql, QString& error) const {
  sql = " INSERT INTO ";
  sql += name;
  sql += " VALUES ( ";
  for (size_t i = 0; i < rules.size(); ++i) {
    const TRule& rule = rules[i];
    if (i > 0)
      sql += ',';
    if (rule.Letter == 'D') {
      sql += "SYSDATE";
      continue;
    }
    if (rule.Condition == condFixed) {
      sql += rule.Text;
      continue;
    }
    long long v = n;
    if (rule.Condition == condIncrement) {
      if (!rule.Error.isEmpty()) {
        error = rule.Error;
        return false;
      }
      v = rule.Increment * n;
      if (v > INT_MAX) {
        // The value is computed as a 32-bit integer; a wrapped one would be a wrong value.
        error = QStringLiteral("列 %1 の増分値 %2 × %3 件目が %4 を超えます")
                    .arg(QString::fromStdString(rule.Column))
                    .arg(rule.Increment)
                    .arg(n)
                    .arg(INT_MAX);
        return false;
      }
    }
    if (rule.Letter == 'S')
      sql += '\'';
    AppendPadded(sql, v, rule.Size);
    if (rule.Letter == 'S')
      sql += '\'';
  }
  sql += ')';
  return true;
}

bool TDummyData::Generate(const QString& table, int count) {
  FAdded = FNotAdded = 0;
  TMainHost& host = FEnv.Host;
  TOraCursor& cur = FEnv.Cursor;

  host.SetStatusText(QStringLiteral("データ作成中"));
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

  DataTool::ConnectOnDemand(FEnv);
  DataTool::TWaitCursor wait;
  cur.Open();
  cur.SQL().clear();
  FLog.BeginUpdate();

  const std::string name = OraName(table.toStdString());
  QString failure; // what ended the run early
  std::vector<TRule> rules;
  FEnv.CursorError = false;
  cur.SQL() = {" SELECT * FROM " + name};
  try {
    if (!cur.Parse() || !cur.DescribeFields() || FEnv.CursorError || cur.FieldCount() == 0)
      failure = OraError(cur);
    else
      rules = Rules(cur);
  } catch (const std::exception& e) {
    failure = QString::fromUtf8(DataTool::ErrorPrefix) + QString::fromUtf8(e.what());
  }

  FLog.pbrStatus->setMaximum(std::max(1, count));
  FLog.SetCounts(0, 0, 0, true);
  std::string sql;
  QString error;
  DataTool::TPacer pacer;
  for (int n = 1; failure.isEmpty() && n <= count; ++n) {
    if (!Statement(name, rules, n, sql, error)) {
      failure = QString::fromUtf8(DataTool::ErrorPrefix) + error;
      break;
    }
    FEnv.CursorError = false;
    cur.SQL().assign(1, sql);
    if (cur.Parse())
      cur.Exec();
    if (FEnv.CursorError) {
      FLog.Add(OraError(cur));
      FLog.Add(QStringLiteral("SQL = ") + QString::fromStdString(sql));
      ++FNotAdded;
    } else {
      ++FAdded;
    }
    if (n % 100 == 0) {
      if (pacer.Due()) {
        host.SetStatusText(QStringLiteral("件数＝%1 処理中 ").arg(n, 3, 10, QChar(u'0')));
        FLog.SetCounts(n, FAdded, FNotAdded, true);
        FLog.EndUpdate();
        DataTool::LetPaintThrough();
        FLog.BeginUpdate();
      } else {
        DataTool::LetPaintThrough();
      }
    }
  }

  FLog.EndUpdate();
  if (!failure.isEmpty())
    FLog.Add(failure);
  FLog.SetCounts(FAdded + FNotAdded, FAdded, FNotAdded, true);
  FLog.Add(QStringLiteral("作成データ"));
  FLog.Add(QString::asprintf("   追加データ   = %5d", FAdded));
  FLog.Add(QString::asprintf("   未追加データ = %5d", FNotAdded));
  FLog.SetRunning(false);
  wait.Restore();
  cur.Close();
  host.Session().Commit();
  host.SetStatusText(QString::number(FAdded) + QStringLiteral("件入力しました"));
  if (!failure.isEmpty())
    Msg::Error(failure);
  return failure.isEmpty();
}
