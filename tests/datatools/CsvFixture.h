// The main window logged on as DEMO with the schema tree shown; file dialogs answered by the
// test, files in a folder of the test's own.
#pragma once
#include "MainFormFixture.h"
#include "SGrid.h"
#include "uCsvExport.h"
#include "uCsvImport.h"
#include "uFileDlg.h"
#include "uLOG.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

class CsvTest : public MainFormTest {
protected:
  void SetUp() override {
    MainFormTest::SetUp();
    ASSERT_TRUE(Dir.isValid());
  }
  void TearDown() override {
    Log.reset();
    MainFormTest::TearDown();
  }

  // Logged on with the tree shown and a log window of the test's own; statements run first
  // (committed on a logon of their own), so tables they make are in the tree.
  TfMainForm& Ready(const std::vector<std::string>& statements = {}) {
    if (!statements.empty()) {
      EXPECT_TRUE(OtherLogonRuns(statements));
    }
    TfMainForm& f = WithTree();
    Log = std::make_unique<TfLOG>();
    f.SetLogWindow(Log.get());
    return f;
  }
  void Select(const QStringList& path) {
    QTreeWidgetItem* node = Node(path);
    ASSERT_NE(node, nullptr) << path.join('/').toStdString();
    Form->tvTable->setCurrentItem(node);
  }

  QString Path(const QString& name) { return Dir.filePath(name); }
  static QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
  }
  static void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }

  // Exports the table through the tree's CSV出力 into the file.
  void Export(const QString& table, const QString& path) {
    Select({"TABLES", table});
    Files.Answers.push_back(path);
    Form->OutCSV->trigger();
  }
  // Imports the file through CSV入力 > item ("N6", "N7", "N8").
  void Import(const QString& table, QAction* item, const QString& path) {
    Select({"TABLES", table});
    Files.Answers.push_back(path);
    item->trigger();
  }

  // The committed rows of a query on a logon of its own, "|" between the values, dates with
  // their time of day.
  static QStringList Rows(const std::string& sql) {
    TOraSession ses;
    TOraCursor cur;
    cur.SetSession(&ses);
    QStringList rows;
    if (!Logon(ses, "DEMO", "DEMO"))
      return {"<no logon>"};
    ses.DateFormatString = "YYYY/MM/DD HH:NN:SS";
    if (!Run(cur, sql))
      return {"<failed: " + QString::fromStdString(cur.ErrorText()) + ">"};
    while (cur.Fetch()) {
      QStringList values;
      for (int i = 0; i < cur.FieldCount(); ++i) {
        TCustomOraField* field = cur.Fields(i);
        if (field->FieldKind() == fkLong) {
          // A LONG value is read in pieces; the first one is enough here.
          const bool read = cur.FetchLong(field, 0);
          values << (!read || field->IsNull(0)
                         ? QStringLiteral("<null>")
                         : QString::fromUtf8(
                               reinterpret_cast<const char*>(field->Buffer()),
                               static_cast<qsizetype>(
                                   static_cast<TOraCustomLongField*>(field)->LongLength())));
          continue;
        }
        values << (field->IsNull(0) ? QStringLiteral("<null>")
                                    : QString::fromStdString(field->GetAsString(0)));
      }
      rows << values.join('|');
    }
    cur.Close();
    ses.Disconnect();
    return rows;
  }

  QStringList LogLines() const { return Log->Lines(); }
  QStringList Counters() const {
    return {Log->lblKENSU->text(), Log->lblSUCCESS->text(), Log->lblERROR->text()};
  }

  QTemporaryDir Dir;
  FileDlg::TFileDlgCapture Files;
  std::unique_ptr<TfLOG> Log;
};
