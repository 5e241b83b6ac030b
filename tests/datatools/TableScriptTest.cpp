#include "CsvFixture.h"
#include "SqlQuote.h"
#include "uFolderTree.h"
#include "uSCRDIALOG.h"
#include "uTableScript.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QProcess>
#include <QPushButton>

namespace {

QByteArray Blanks(int n) { return QByteArray(n, ' '); }

// EMP's script: the head, one line per column, the end; LF inside, CR LF after.
const QByteArray EmpScript =
    " CREATE TABLE EMP\n (\n" + Blanks(16) + "EMPNO   NUMBER,\n" + Blanks(16) +
    "ENAME VARCHAR2 (    10 ),\n" + Blanks(18) + "JOB VARCHAR2 (     9 ),\n" + Blanks(18) +
    "MGR   NUMBER,\n" + Blanks(13) + "HIREDATE" + Blanks(5) + "DATE,\n" + Blanks(18) +
    "SAL   NUMBER,\n" + Blanks(17) + "COMM   NUMBER,\n" + Blanks(15) + "DEPTNO   NUMBER\n);\n\r\n";

class ScriptTest : public CsvTest {
protected:
  void TearDown() override {
    TfSCRDLG::TestDriver = nullptr;
    CsvTest::TearDown();
  }

  // The next options dialog gets the folder and the DROP option, then OK (or Cancel).
  void Answer(const QString& folder, bool withDrop, bool ok = true) {
    TfSCRDLG::TestDriver = [=, this](TfSCRDLG& dlg) {
      Offered << dlg.fldSCR->SelectedFolder();
      DropOffered << dlg.chkDROP->isChecked();
      // The tree reads the folders in the background; the offered one ends up selected, in view.
      auto* model = qobject_cast<QFileSystemModel*>(dlg.fldSCR->model());
      const auto inView = [&] {
        const QRect r = dlg.fldSCR->visualRect(dlg.fldSCR->currentIndex());
        return !r.isEmpty() && dlg.fldSCR->viewport()->rect().contains(r.center());
      };
      for (int i = 0; i < 200 && !inView(); ++i)
        QTest::qWait(10);
      Shown << (inView() ? model->filePath(dlg.fldSCR->currentIndex()) : QString());
      dlg.fldSCR->SetSelectedFolder(folder);
      dlg.chkDROP->setChecked(withDrop);
      (ok ? dlg.Button1 : dlg.Button2)->click();
    };
  }
  void Script(const QString& table) {
    Select({"TABLES", table});
    Form->N13->trigger();
  }

  // Runs the file in the SQL shell as user/password; returns what the shell printed.
  static QString RunShell(const QString& logon, const QString& file) {
    QProcess shell;
    shell.start(QCoreApplication::applicationDirPath() + "/tessel-sql", {logon, "@" + file});
    shell.write("exit\n");
    shell.closeWriteChannel();
    if (!shell.waitForFinished(60000))
      return "<no end>";
    return QString::fromUtf8(shell.readAll());
  }

  // The columns of a table as USER_TAB_COLUMNS of its owner has them.
  static QStringList Columns(const std::string& user, const std::string& table) {
    TOraSession ses;
    TOraCursor cur;
    cur.SetSession(&ses);
    if (!Logon(ses, user, user))
      return {"<no logon>"};
    QStringList rows;
    if (!Run(cur, "SELECT COLUMN_ID, COLUMN_NAME, DATA_TYPE, DATA_LENGTH FROM USER_TAB_COLUMNS "
                  "WHERE TABLE_NAME = " +
                      OraText(table) + " ORDER BY COLUMN_ID"))
      return {"<failed: " + QString::fromStdString(cur.ErrorText()) + ">"};
    while (cur.Fetch()) {
      QStringList values;
      for (int i = 0; i < cur.FieldCount(); ++i)
        values << QString::fromStdString(cur.Fields(i)->GetAsString(0));
      rows << values.join('|');
    }
    cur.Close();
    ses.Disconnect();
    return rows;
  }

  QStringList Offered;
  QStringList Shown; // the folder the tree showed selected
  QList<bool> DropOffered;
};

TEST_F(ScriptTest, EmpAndDeptScripts) {
  TfMainForm& f = Ready();
  Answer(Dir.path(), false);
  Script("EMP");
  // The dialog opens on the temporary-files folder, without the DROP option.
  EXPECT_EQ(Offered, QStringList{QDir::tempPath()});
  EXPECT_EQ(Shown, QStringList{QDir::tempPath()});
  EXPECT_EQ(DropOffered, QList<bool>{false});
  EXPECT_EQ(Capture->Texts,
            (QStringList{QDir::toNativeSeparators(Dir.path()) + "にスクリプトを作成します",
                         "スクリプトが作成されました。"}));
  EXPECT_EQ(f.StatusText(), "スクリプトが作成されました。");
  EXPECT_EQ(Bytes(Path("EMP.SQL")), EmpScript);

  // With DROP, replacing what the file held.
  WriteFile(Path("DEPT.SQL"), "old text that is longer than the new script will be, much longer");
  Answer(Dir.path(), true);
  Script("DEPT");
  EXPECT_EQ(DropOffered, (QList<bool>{false, false})); // each dialog starts anew
  EXPECT_EQ(Bytes(Path("DEPT.SQL")), " DROP TABLE DEPT ;\n\r\n CREATE TABLE DEPT\n (\n" +
                                         Blanks(15) + "DEPTNO   NUMBER,\n" + Blanks(16) +
                                         "DNAME VARCHAR2 (    14 ),\n" + Blanks(18) +
                                         "LOC VARCHAR2 (    13 )\n);\n\r\n");
  EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files).size(), 2); // no temporary file left
  EXPECT_FALSE(f.OraCurExt.Opened());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // Cancel writes nothing.
  Capture->Clear();
  Answer(Dir.path(), false, false);
  Script("SAL_AUDIT");
  EXPECT_EQ(Capture->Count(), 0);
  EXPECT_FALSE(QFile::exists(Path("SAL_AUDIT.SQL")));
}

TEST_F(ScriptTest, ColumnLinesByTypeAndWidth) {
  TfMainForm& f = Ready({"CREATE TABLE \"Mixed o'k\" (ABCDEFGHIJKLMNOPQRSTUVWXY CHAR(3), "
                         "\"名前\" VARCHAR2(20), R RAW(8), L LONG)"});
  Answer(Dir.path(), true);
  Script("Mixed o'k");
  EXPECT_EQ(f.StatusText(), "スクリプトが作成されました。");
  // A 25-character name pushes the type five places right; a quoted name keeps its quotes,
  // wide characters count two columns; RAW and LONG keep their place.
  EXPECT_EQ(QString::fromUtf8(Bytes(Path("Mixed o'k.SQL"))),
            " DROP TABLE \"Mixed o'k\" ;\n\r\n CREATE TABLE \"Mixed o'k\"\n (\n"
            " ABCDEFGHIJKLMNOPQRSTUVWXY     CHAR (     3 ),\n" +
                QString(15, ' ') + "\"名前\" VARCHAR2 (    20 ),\n" + QString(20, ' ') +
                "R      RAW (     8 ),\n" + QString(20, ' ') + "L     LONG\n);\n\r\n");

  // A name holding a path separator stays in the folder chosen.
  EXPECT_EQ(TTableScript::ScriptFileName(Dir.path(), "A/../B"), Dir.filePath("A_.._B.SQL"));
}

TEST_F(ScriptTest, ScriptRecreatesTheTableForAnotherUser) {
  TfMainForm& f = Ready({"CREATE TABLE 社員 (番号 NUMBER(4), 氏名 VARCHAR2(20), 略称 CHAR(4))"});
  {
    TOraSession system;
    TOraCursor cur;
    cur.SetSession(&system);
    ASSERT_TRUE(Logon(system, "SYSTEM", "MANAGER"));
    ASSERT_TRUE(Run(cur, "CREATE USER COPY1 IDENTIFIED BY COPY1"));
    cur.Close();
    system.Disconnect();
  }
  const std::vector<std::string> tables = {"EMP", "DEPT", "EMP_NOTE", "EMP_BADGE", "社員"};
  for (const std::string& table : tables) {
    Answer(Dir.path(), false);
    Script(QString::fromStdString(table));
  }
  // Written in Windows' code page, read back by detection.
  f.ShiftJISCP9321->trigger();
  Answer(Dir.path(), false);
  Script("社員");
  const QByteArray bytes = Bytes(Path("社員.SQL"));
  EXPECT_FALSE(IsValidUtf8(bytes.constData(), static_cast<size_t>(bytes.size())));
  EXPECT_TRUE(bytes.contains(QByteArray("\x8e\xd0\x88\xf5"))); // 社員 in CP932

  for (const std::string& table : tables) {
    const QString out = RunShell("COPY1/COPY1", Path(QString::fromStdString(table) + ".SQL"));
    EXPECT_TRUE(out.contains("Table created.")) << out.toStdString();
    const QStringList theirs = Columns("DEMO", table);
    ASSERT_FALSE(theirs.isEmpty()) << table;
    EXPECT_EQ(Columns("COPY1", table), theirs) << table;
  }
  // A table exported as CSV fits the table its script re-creates, LONG column included.
  Export("EMP_NOTE", Path("EMP_NOTE.CSV"));
  ASSERT_EQ(f.StatusText(), "2件出力しました");
  Answer(Dir.path(), true);
  Script("EMP_NOTE");
  const QString out = RunShell("DEMO/DEMO", Path("EMP_NOTE.SQL"));
  EXPECT_TRUE(out.contains("Table created.")) << out.toStdString();
  Import("EMP_NOTE", f.N7, Path("EMP_NOTE.CSV"));
  EXPECT_EQ(f.StatusText(), "2件入力しました");
  EXPECT_EQ(Rows("SELECT EMPNO, NOTE FROM EMP_NOTE ORDER BY EMPNO"),
            (QStringList{"7788|<null>", "7839|<null>"}));
}

TEST_F(ScriptTest, FailuresAreReportedAndLeaveTheOldFile) {
  TfMainForm& f = Ready({"CREATE TABLE GONE (A NUMBER)"});
  ASSERT_TRUE(OtherLogonRuns({"DROP TABLE GONE"}));
  WriteFile(Path("GONE.SQL"), "kept");
  Answer(Dir.path(), true);
  Script("GONE");
  ASSERT_EQ(Capture->Count(), 2);
  EXPECT_TRUE(Capture->Last().startsWith("エラーが発生しました。 ORA_ERR:ORA-00942"))
      << Capture->Last().toStdString();
  EXPECT_EQ(Capture->Kinds[1], Msg::TMsgKind::Error);
  EXPECT_EQ(Bytes(Path("GONE.SQL")), "kept");
  EXPECT_NE(f.StatusText(), "スクリプトが作成されました。");
  EXPECT_FALSE(f.OraCurExt.Opened());

  Capture->Clear();
  Answer(Path("no such folder"), false);
  Script("EMP");
  EXPECT_EQ(Capture->Last(), "ファイルの生成に失敗しました");
  EXPECT_FALSE(QDir(Path("no such folder")).exists());

  // Only tables; real boxes this time.
  TRealBoxes boxes(Capture);
  Select({"VIEWS", "EMP_DEPT_V"});
  f.N13->trigger();
  boxes.Settle();
  EXPECT_EQ(boxes.Texts, QStringList{"テーブルを選択してください"});
  Answer(Dir.path(), false);
  Script("DEPT");
  boxes.Settle();
  EXPECT_EQ(boxes.Texts.mid(1),
            (QStringList{QDir::toNativeSeparators(Dir.path()) + "にスクリプトを作成します",
                         "スクリプトが作成されました。"}));
  EXPECT_TRUE(QFile::exists(Path("DEPT.SQL")));
}

} // namespace
