#include "QueryFixture.h"
#include "uFixedOut.h"
#include "uSrchStr.h"

#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

using ResultToolsTest = QueryTest;

QStringList FileLines(const QString& name) {
  QFile f(name);
  if (!f.open(QIODevice::ReadOnly))
    return {"<unreadable>"};
  QStringList lines = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"));
  if (!lines.isEmpty() && lines.last().isEmpty())
    lines.removeLast();
  return lines;
}

TEST_F(ResultToolsTest, SearchStepsDownTheCurrentColumnOnly) {
  TfMain& q = Query();
  RunText(q, "SELECT ENAME, JOB FROM EMP ORDER BY EMPNO;");
  TStringGridEx& g = *q.sgSqlResult;
  g.FocusCell(2, 1); // SMITH, CLERK
  q.sbFind->click();
  ASSERT_TRUE(q.FSearchOpen);
  TfSearchString* dlg = TfSearchString::Shared.data();
  ASSERT_NE(dlg, nullptr);
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_EQ(dlg->windowTitle(), "列検索");
  dlg->edSrchStr->setText(" CLERK ");
  QStringList found;
  for (int i = 0; i < 3; ++i) {
    dlg->Button1->click();
    found << g.Cells(1, g.Row());
  }
  EXPECT_EQ(found, (QStringList{"ADAMS", "JAMES", "MILLER"}));
  EXPECT_EQ(Capture->Count(), 0);
  // Below the last match there is none; matches above the current row do not count.
  dlg->Button1->click();
  EXPECT_EQ(Capture->Texts, QStringList{"対象データはありません。"});
  EXPECT_EQ(g.Row(), 14);
  EXPECT_EQ(g.Col(), 2);

  // Enter in the edit searches; its message comes after the edit's key handler, in a real box.
  g.FocusCell(2, 1);
  {
    TRealBoxes boxes(Capture);
    dlg->edSrchStr->setText("PRESIDENT");
    QTest::keyClick(dlg->edSrchStr, Qt::Key_Return);
    EXPECT_EQ(g.Cells(1, g.Row()), "KING");
    QTest::keyClick(dlg->edSrchStr, Qt::Key_Return);
    boxes.Settle();
    EXPECT_EQ(boxes.Texts, QStringList{"対象データはありません。"});
  }
  Reactivate();
  // Cancel closes it; the next search command makes a new dialog that starts empty.
  dlg->Button2->click();
  EXPECT_FALSE(q.FSearchOpen);
  EXPECT_FALSE(dlg->isVisible());
  q.sbFind->click();
  EXPECT_NE(TfSearchString::Shared.data(), dlg);
  EXPECT_EQ(TfSearchString::Shared->edSrchStr->text(), "");
}

TEST_F(ResultToolsTest, FixedWidthOutputLines) {
  ASSERT_TRUE(OtherLogonRuns(
      {"CREATE TABLE FIX (N NUMBER(5,2), V VARCHAR2(10), D DATE, S NUMBER, R RAW(4), C CHAR(3))",
       "INSERT INTO FIX VALUES (3.5, 'ab', '1981-02-20', 1234567.25, NULL, 'x')",
       "INSERT INTO FIX VALUES (NULL, NULL, NULL, NULL, NULL, NULL)",
       "INSERT INTO FIX VALUES (-0.005, '山田', '2000-01-02 03:04:05', -0.25, NULL, 'yz')"}));
  TfMain& q = Query();
  Form->YYYYMMDDHH24MISS1->trigger();
  QTemporaryDir dir;
  const QString file = dir.filePath("out.txt");
  ASSERT_EQ(WriteFixedOutput(Form->OraMainSes, "SELECT * FROM FIX", file),
            TFixedOutResult::Written);
  // A blank before each value; NUMBER(5,2) right in 7, VARCHAR2(10) left in 10 columns (kanji
  // count two), dates unpadded or blanks as wide as one, a NUMBER without precision exact and
  // right in 40, the RAW column left out.
  const QString date = QStringLiteral("1981/02/20 00:00:00");
  EXPECT_EQ(
      FileLines(file),
      (QStringList{"    3.50 ab         " + date + " " + QString(30, ' ') + "1234567.25 x  ",
                   " " + QString(7, ' ') + " " + QString(10, ' ') + " " + QString(19, ' ') + " " +
                       QString(40, ' ') + "    ",
                   "   -0.01 山田       2000/01/02 03:04:05 " + QString(35, ' ') + "-0.25 yz ",
                   "処理件数 3"}));

  EXPECT_EQ(WriteFixedOutput(Form->OraMainSes, "DELETE FROM FIX", file), TFixedOutResult::NotQuery);
  EXPECT_EQ(WriteFixedOutput(Form->OraMainSes, "SELEC * FROM FIX", file),
            TFixedOutResult::NotQuery);
  EXPECT_EQ(OtherLogonSees("SELECT COUNT(*) FROM FIX"), "3");

  // Through the window: the text before the first ";" runs, the output shows modally and its
  // file goes when it closes.
  ASSERT_TRUE(OtherLogonRuns({"CREATE TABLE BIG (ID NUMBER)",
                              "INSERT INTO BIG SELECT ROWNUM FROM EMP A, EMP B, EMP C, EMP D "
                              "WHERE ROWNUM <= 2500"}));
  q.mmSqlStatement->SetText("SELECT ID FROM BIG;\r\nthis is not run");
  QString shown, outFile;
  QTimer::singleShot(0, [&] {
    auto* out = qobject_cast<TfFixedOut*>(QApplication::activeModalWidget());
    ASSERT_NE(out, nullptr);
    shown = out->mmFixed->Text();
    outFile = out->FFileName;
    EXPECT_TRUE(QFile::exists(outFile));
    EXPECT_TRUE(QFileInfo(outFile).fileName().startsWith("TZN"));
    out->close();
  });
  q.sbFIXEDOUT->click();
  EXPECT_TRUE(shown.endsWith("処理件数 2500\r\n")) << shown.right(40).toStdString();
  EXPECT_EQ(shown.count(u'\n'), 2501);
  EXPECT_FALSE(outFile.isEmpty());
  EXPECT_FALSE(QFile::exists(outFile));

  q.mmSqlStatement->SetText("DELETE FROM BIG;");
  q.sbFIXEDOUT->click();
  EXPECT_EQ(Capture->Texts, QStringList{"SQL文が不正です"});
  EXPECT_EQ(OtherLogonSees("SELECT COUNT(*) FROM BIG"), "2500");
}

TEST_F(ResultToolsTest, ClipboardWideEditorAndPrint) {
  TfMain& q = Query();
  RunText(q, "SELECT DEPTNO, DNAME FROM DEPT WHERE DEPTNO <= 20 ORDER BY 1;");
  q.spbClipCopy->click();
  EXPECT_EQ(QApplication::clipboard()->text(), "10\tACCOUNTING\t\n20\tRESEARCH\t\n");
  EXPECT_EQ(q.StatusText(), "クリップボードにコピーしました");

  // Printing to a PDF file, as where no printer is installed.
  QTemporaryDir dir;
  const QString pdf = dir.filePath("grid.pdf");
  TfMain::PrintDialog1 = [&](QPrinter& printer, QWidget*) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    return true;
  };
  RunText(q, "SELECT * FROM EMP, DEPT;"); // 56 rows: more than one page
  q.SpeedButton2->click();
  QFile printed(pdf);
  ASSERT_TRUE(printed.open(QIODevice::ReadOnly));
  EXPECT_TRUE(printed.read(4) == "%PDF");
  EXPECT_GT(printed.size(), 2000);
  TfMain::PrintDialog1 = [](QPrinter&, QWidget*) { return false; };
  q.SpeedButton2->click(); // cancelled: nothing happens
  EXPECT_EQ(Capture->Count(), 0);

  // Ctrl+Q inside the query window opens the wide editor, not a new query window.
  q.mmSqlStatement->SetText("SELECT 1 FROM DUAL");
  q.mmSqlStatement->setFocus();
  QTest::keyClick(q.mmSqlStatement, Qt::Key_Q, Qt::ControlModifier);
  QApplication::processEvents();
  EXPECT_EQ(Form->QueryWindows().size(), 1);
  auto wides = q.findChildren<TfFixedOut*>();
  ASSERT_EQ(wides.size(), 1);
  TfFixedOut* wide = wides.first();
  EXPECT_EQ(wide->windowTitle(), "SQLエディタ");
  EXPECT_EQ(wide->FEditorMode, 1);
  EXPECT_EQ(wide->mmFixed->Text(), "SELECT 1 FROM DUAL");
  EXPECT_FALSE(wide->isModal());
  wide->mmFixed->SetText("SELECT 2\r\nFROM DUAL");
  q.mmSqlStatement->SetText("typed meanwhile");
  wide->close();
  QApplication::processEvents();
  EXPECT_EQ(q.mmSqlStatement->Text(), "SELECT 2\r\nFROM DUAL");
  EXPECT_TRUE(q.findChildren<TfFixedOut*>().isEmpty());

  // Elsewhere Ctrl+Q is the main window's new query command.
  Reactivate();
  Form->tvTable->setFocus();
  QTest::keyClick(Form->tvTable, Qt::Key_Q, Qt::ControlModifier);
  QApplication::processEvents();
  EXPECT_EQ(Form->QueryWindows().size(), 2);

  // A wide editor whose opener closes goes with it, writing nothing back.
  q.spbWide->click();
  ASSERT_EQ(q.findChildren<TfFixedOut*>().size(), 1);
  QPointer<TfFixedOut> orphan = q.findChildren<TfFixedOut*>().first();
  TfMain* other = Form->QueryWindows().last();
  other->mmSqlStatement->SetText("kept");
  Form->MDIArea->subWindowList().first()->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(orphan.isNull());
  EXPECT_EQ(other->mmSqlStatement->Text(), "kept");
  EXPECT_EQ(Capture->Count(), 0);
}

} // namespace
