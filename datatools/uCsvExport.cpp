#include "uCsvExport.h"

#include "OciCompo.h"
#include "SqlQuote.h"
#include "StringGridEx.h"
#include "uFileDlg.h"
#include "uMain.h"
#include "uMsg.h"

#include <QCoreApplication>
#include <QSaveFile>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint16_t NoDataFound = 1403;
const char* const FullDateFormat = "YYYY/MM/DD HH:NN:SS";

// Appends a value in double quotes, inner double quotes doubled.
void AppendQuoted(std::string& line, const std::string& value) {
  line += '"';
  if (value.find('"') == std::string::npos) {
    line += value;
  } else {
    for (char c : value) {
      line += c;
      if (c == '"')
        line += '"';
    }
  }
  line += '"';
}

// The number's exact decimal text as the library delivered it.
void AppendNumber(std::string& line, const TCustomOraField* field, int row) {
  if (field->IsNull(row))
    return;
  const char* p = reinterpret_cast<const char*>(field->Buffer()) +
                  static_cast<size_t>(row) * static_cast<size_t>(field->Width());
  size_t n = strnlen(p, static_cast<size_t>(field->Width()));
  while (n > 0 && p[n - 1] == ' ')
    --n;
  while (n > 0 && *p == ' ')
    ++p, --n;
  line.append(p, n);
}

bool Unexported(TFieldKind kind) { return kind == fkRaw || kind == fkLong || kind == fkLongRaw; }

} // namespace

bool TCsvExport::ExportTable(TFileDialog& dlg) {
  QString table;
  if (!DataTool::SelectedTable(FEnv.Host, table))
    return false;
  dlg.FileName = table.toUpper() + QStringLiteral(".CSV");
  if (!dlg.Execute(FEnv.Window))
    return false;
  return ExportTableTo(table, dlg.FileName);
}

bool TCsvExport::ExportTableTo(const QString& table, const QString& fileName) {
  FRows = 0;
  TMainHost& host = FEnv.Host;
  TOraSession& ses = host.Session();
  TOraCursor& cur = FEnv.Cursor;
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly)) {
    Msg::Error(QStringLiteral("ファイルの作成に失敗しました"));
    return false;
  }
  host.SetStatusText(QStringLiteral("CSV出力中"));
  DataTool::ConnectOnDemand(FEnv);
  DataTool::TWaitCursor wait;
  FEnv.CursorError = false;
  host.SetStatusText(QStringLiteral("CSV出力中"));

  const auto fail = [&](const QString& text) {
    file.cancelWriting();
    cur.Close();
    wait.Restore();
    host.SetStatusText(QString());
    Msg::Error(text);
    return false;
  };
  const auto oraFail = [&] {
    return fail(QString::fromUtf8(DataTool::ErrorPrefix) + QString::fromStdString(cur.ErrorText()));
  };

  const std::string name = OraName(table.toStdString());
  cur.Open();
  cur.SQL().clear();
  cur.SQL() = {" SELECT * FROM " + name};
  cur.Parse();
  if (FEnv.CursorError)
    return oraFail();

  std::vector<std::string> names;
  std::vector<TFieldKind> kinds;
  try {
    if (!cur.DescribeFields())
      return oraFail();
    for (int i = 0; i < cur.FieldCount(); ++i) {
      names.push_back(cur.Fields(i)->Name());
      kinds.push_back(cur.Fields(i)->FieldKind());
    }
    // RAW and LONG columns stay empty in the file; leaving them out of the query lets the rows
    // come 1000 at a time.
    std::string list;
    bool skipped = false;
    for (size_t i = 0; i < names.size(); ++i) {
      if (Unexported(kinds[i])) {
        skipped = true;
        continue;
      }
      list += (list.empty() ? "" : ", ") + OraName(names[i]);
    }
    if (skipped) {
      cur.SQL() = {" SELECT " + (list.empty() ? std::string("NULL") : list) + " FROM " + name};
      if (!cur.Parse() || !cur.DescribeFields())
        return oraFail();
    }
  } catch (const std::exception& e) {
    return fail(QString::fromUtf8(e.what()));
  }

  // Which fetched field each column reads (-1: written empty).
  std::vector<int> source(names.size(), -1);
  for (size_t i = 0, f = 0; i < names.size(); ++i)
    if (!Unexported(kinds[i]))
      source[i] = static_cast<int>(f++);

  const std::string dateFormat =
      ses.DateFormatString.empty() ? std::string(FullDateFormat) : ses.DateFormatString;
  QByteArray bytes;
  std::string line;
  // Appends the line in the file's code page; false (with the message shown) when it cannot.
  const auto put = [&](int lineNo) {
    line += "\r\n";
    if (Code == TFileCode::System) {
#ifndef Q_OS_WIN
      bytes.append(line.data(), static_cast<qsizetype>(line.size()));
      return true;
#endif
    }
    const QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    qsizetype bad = 0;
    if (EncodeFileText(text, Code, bytes, &bad))
      return true;
    size_t col = 0;
    bool quoted = false;
    for (qsizetype i = 0; i < bad; ++i)
      if (text[i] == u'"')
        quoted = !quoted;
      else if (text[i] == u',' && !quoted)
        ++col;
    const QString column = col < names.size() ? QString::fromStdString(names[col]) : QString();
    fail(UnencodableMessage(text, bad, QStringLiteral("%1行目 列 %2").arg(lineNo).arg(column)));
    return false;
  };
  const auto flush = [&] {
    if (file.write(bytes) != bytes.size()) {
      fail(QStringLiteral("ファイルの書き込みに失敗しました: %1 (%2)")
               .arg(fileName, file.errorString()));
      return false;
    }
    bytes.clear();
    return true;
  };

  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0)
      line += ',';
    AppendQuoted(line, names[i]);
  }
  if (!put(1))
    return false;

  if (!cur.Exec())
    return oraFail();
  int rowCounter = 1;
  host.SetStatusText(QString());
  uint32_t previous = 0;
  std::string value;
  DataTool::TPacer pacer;
  try {
    for (;;) {
      const bool more = cur.FetchRows();
      // Only the end of the data ends the loop quietly.
      if (!more && cur.ReturnCode() != NoDataFound)
        return oraFail();
      const uint32_t now = cur.RowsProcessed();
      const int n = static_cast<int>(now - previous);
      previous = now;
      if (n <= 0)
        break;
      for (int k = 0; k < n; ++k) {
        line.clear();
        for (size_t i = 0; i < names.size(); ++i) {
          if (i > 0)
            line += ',';
          if (source[i] < 0)
            continue;
          const TCustomOraField* f = cur.Fields(source[i]);
          switch (kinds[i]) {
          case fkNumber:
            AppendNumber(line, f, k);
            break;
          case fkDate:
            value =
                f->IsNull(k) ? std::string() : FormatOraDateTime(dateFormat, f->GetAsDateTime(k));
            AppendQuoted(line, value);
            break;
          default:
            AppendQuoted(line, f->GetAsString(k));
            break;
          }
        }
        if (!put(rowCounter + 1))
          return false;
        ++rowCounter;
        if (bytes.size() >= (1 << 18) && !flush())
          return false;
        if (rowCounter % 500 == 0 && pacer.Due())
          host.SetStatusText(QString::number(rowCounter) + QStringLiteral("件取得しました"));
        if (rowCounter % 100 == 0)
          DataTool::LetPaintThrough();
      }
      if (!more)
        break;
    }
  } catch (const std::exception& e) {
    return fail(QString::fromUtf8(e.what()));
  }
  if (!flush())
    return false;
  if (!file.commit()) {
    cur.Close();
    wait.Restore();
    host.SetStatusText(QString());
    Msg::Error(QStringLiteral("ファイルの書き込みに失敗しました: %1 (%2)")
                   .arg(fileName, file.errorString()));
    return false;
  }
  wait.Restore();
  cur.Close();
  ses.Commit();
  FRows = rowCounter - 1;
  host.SetStatusText(QString::number(FRows) + QStringLiteral("件出力しました"));
  return true;
}

bool TCsvExport::SaveGrid(TFileDialog& dlg) {
  TfMain* query = FEnv.Host.ActiveQueryWindow();
  if (!query)
    return false;
  if (!dlg.Execute(FEnv.Window))
    return false;
  try {
    return query->sgSqlResult->SaveAsCommaText(dlg.FileName, Code);
  } catch (const std::exception& e) {
    Msg::Error(QString::fromUtf8(e.what()));
    return false;
  }
}
