// The terminal shell over the real engine: statement splitting, output layout, scripts,
// DESCRIBE, settings, connections and the program itself.
#include "../access/TestSupport.h"
#include "DisplayWidth.h"
#include "OciIntr.h"
#include "SqlShell.h"
#include "SqlSplitter.h"

#include <cstdio>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <regex>
#include <sqlite3.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// One line of DESCRIBE's table at the default line size.
std::string DescLine(const std::string& name, const std::string& null, const std::string& type) {
  std::string line = " ";
  line += PadDisplay(name, 41);
  line += ' ';
  line += PadDisplay(null, 8);
  line += ' ';
  line += type;
  line += '\n';
  return line;
}

std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);)
    v.push_back(l);
  return v;
}

size_t Count(const std::string& s, const std::string& what) {
  size_t n = 0;
  for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1))
    ++n;
  return n;
}

void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

class Shell : public TFreshDatabase {
protected:
  // Runs a script through a shell on its own session; `connect` false starts without a logon.
  std::string RunShell(const std::string& script, bool connect = true, int* exitCode = nullptr) {
    TOraSession ses;
    ses.DateFormatString = "YYYY/MM/DD";
    if (connect) {
      EXPECT_TRUE(Logon(ses, "DEMO", "DEMO"));
    }
    std::istringstream in(script);
    std::ostringstream out;
    TSqlShell shell(ses, in, out, false);
    int rc = shell.Run();
    if (exitCode)
      *exitCode = rc;
    if (ses.Connected())
      ses.Disconnect();
    return out.str();
  }

  std::string Query(const std::string& sql) {
    TOraSession check;
    EXPECT_TRUE(Logon(check, "DEMO", "DEMO"));
    TOraCursor c;
    c.SetSession(&check);
    return Scalar(c, sql);
  }

  static std::string Program() {
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    exe[n > 0 ? n : 0] = 0;
    return (std::filesystem::path(exe).parent_path() / "tessel-sql").string();
  }

  // Runs the real program with `input` on its standard input; returns its output.
  static std::string RunProgram(const std::string& args, const std::string& input, int& exitCode) {
    std::string inFile =
        std::filesystem::temp_directory_path() / ("tessel-sql-in-" + std::to_string(getpid()));
    WriteFile(inFile, input);
    std::string cmd = "'" + Program() + "' " + args + " < '" + inFile + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    while (size_t k = fread(buf, 1, sizeof buf, p))
      out.append(buf, k);
    int status = pclose(p);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::filesystem::remove(inFile);
    return out;
  }
};

TEST(ShellText, SplitterEndsStatementsAsAClassicShellDoes) {
  TSqlSplitter s;
  auto feed = [&](const std::string& line) { return s.Feed(line); };

  // ";" at the end of a line ends SQL; a trailing comment after it does not matter.
  auto e = feed("select 1 from dual;");
  EXPECT_EQ(e.Kind, TSplitEvent::Statement);
  EXPECT_EQ(e.Text, "select 1 from dual");
  EXPECT_EQ(feed("select 'a;b' -- x;y").Kind, TSplitEvent::None);
  EXPECT_EQ(s.LineCount(), 1);
  EXPECT_EQ(feed("  , \"c;d\" /* ; */ from dual ; -- done").Kind, TSplitEvent::Statement);
  // A ";" inside a quote or a comment spanning lines never ends the statement.
  EXPECT_EQ(feed("insert into t values ('one;").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("two;").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("')").Kind, TSplitEvent::None);
  e = feed("/");
  EXPECT_EQ(e.Kind, TSplitEvent::Statement);
  EXPECT_EQ(e.Text, "insert into t values ('one;\ntwo;\n')");
  EXPECT_EQ(feed("select q'[it's;]' /* a").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("; */ from dual;").Kind, TSplitEvent::Statement);
  // A q-quote delimiter of several bytes closes only where that whole character is followed
  // by a quote; its last byte alone (0xAF in "ï", also ending "¯") does not.
  EXPECT_EQ(feed("select nq'ï Ÿ1234;¯' ;").Kind, TSplitEvent::None);
  e = feed("ï' from dual;");
  EXPECT_EQ(e.Kind, TSplitEvent::Statement);
  EXPECT_EQ(e.Text, "select nq'ï Ÿ1234;¯' ;\nï' from dual");
  // ";" in the middle of a line is left to the engine, as classic shells do.
  e = feed("select 1 from dual; select 2 from dual");
  EXPECT_EQ(e.Kind, TSplitEvent::None);
  EXPECT_EQ(feed("").Kind, TSplitEvent::Stored);

  // "/" alone with nothing entered runs the buffer again; a blank line ends plain SQL unrun.
  EXPECT_EQ(feed("/").Kind, TSplitEvent::RunBuffer);
  EXPECT_EQ(feed("update emp").Kind, TSplitEvent::None);
  e = feed("   ");
  EXPECT_EQ(e.Kind, TSplitEvent::Stored);
  EXPECT_EQ(e.Text, "update emp");
  EXPECT_TRUE(s.Empty());
  EXPECT_EQ(feed("select *").Kind, TSplitEvent::None);
  EXPECT_EQ(feed(".").Kind, TSplitEvent::Stored);
  s.BlankLinesInSql = true;
  EXPECT_EQ(feed("select *").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("from emp;").Kind, TSplitEvent::Statement);
  s.BlankLinesInSql = false;

  // PL/SQL units end only with "/", blank lines and ";" included, even when the kind of unit
  // shows only on the second line.
  EXPECT_EQ(feed("CREATE OR REPLACE").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("  PROCEDURE p IS").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("BEGIN").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("  NULL;").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("END;").Kind, TSplitEvent::None);
  EXPECT_EQ(s.LineCount(), 6);
  e = feed(" / ");
  EXPECT_EQ(e.Kind, TSplitEvent::Statement);
  EXPECT_TRUE(e.PlSql);
  EXPECT_EQ(e.Text, "CREATE OR REPLACE\n  PROCEDURE p IS\nBEGIN\n  NULL;\n\nEND;");
  for (const char* unit :
       {"declare x number;", "begin null;", "create package k as x number;",
        "create or replace package body k as", "create trigger t before insert on x",
        "create function f return number is", "create type o as object (a number);",
        "create editionable procedure q is"}) {
    EXPECT_TRUE(TSqlSplitter::IsPlSql(unit)) << unit;
    EXPECT_EQ(feed(unit).Kind, TSplitEvent::None) << unit;
    EXPECT_EQ(feed("/").Kind, TSplitEvent::Statement) << unit;
  }
  EXPECT_FALSE(TSqlSplitter::IsPlSql("create table begin_x (a number)"));
  // A query after PL/SQL declarations in its WITH clause is taken whole, up to the "/".
  EXPECT_TRUE(TSqlSplitter::IsPlSql("with function f return number is"));
  EXPECT_TRUE(TSqlSplitter::IsPlSql("WITH\n  PROCEDURE p IS"));
  EXPECT_FALSE(TSqlSplitter::IsPlSql("with q as (select 1 x from dual) select * from q"));
  EXPECT_FALSE(TSqlSplitter::IsPlSql(
      "with function_names as (select 1 x from dual) select * from function_names"));
  EXPECT_EQ(feed("WITH").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("  FUNCTION f RETURN NUMBER IS BEGIN RETURN 1; END;").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("SELECT f FROM dual;").Kind, TSplitEvent::None);
  e = feed("/");
  EXPECT_EQ(e.Kind, TSplitEvent::Statement);
  EXPECT_TRUE(e.PlSql);
  EXPECT_EQ(e.Text,
            "WITH\n  FUNCTION f RETURN NUMBER IS BEGIN RETURN 1; END;\nSELECT f FROM dual;");
  EXPECT_FALSE(TSqlSplitter::IsPlSql("create or replace view v as select 1 x from dual"));

  // Shell commands only where a statement would start; SET TRANSACTION stays SQL.
  e = feed("  desc emp;");
  EXPECT_EQ(e.Kind, TSplitEvent::Command);
  EXPECT_EQ(e.Text, "desc emp;");
  EXPECT_EQ(feed("@@sub/next").Kind, TSplitEvent::Command);
  EXPECT_EQ(feed("set linesize -").Kind, TSplitEvent::None);
  e = feed("100");
  EXPECT_EQ(e.Kind, TSplitEvent::Command);
  EXPECT_EQ(e.Text, "set linesize 100");
  EXPECT_EQ(feed("set transaction read only;").Kind, TSplitEvent::Statement);
  EXPECT_EQ(feed("select ename").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("desc").Kind, TSplitEvent::None); // a column alias here, not a command
  EXPECT_EQ(feed("from emp;").Kind, TSplitEvent::Statement);
  // Comments before a statement are dropped, so a command may follow them.
  EXPECT_EQ(feed("/* heading").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("   comment */").Kind, TSplitEvent::None);
  EXPECT_TRUE(s.Empty());
  EXPECT_EQ(feed("-- note; more").Kind, TSplitEvent::None);
  EXPECT_EQ(feed("REM note;").Kind, TSplitEvent::Command);
  EXPECT_EQ(feed("exit").Kind, TSplitEvent::Command);
  // Commands of other tools are single lines too, so they never swallow the next statement.
  EXPECT_EQ(feed("spool out.log").Kind, TSplitEvent::Command);
  EXPECT_EQ(feed("column ename format a20").Kind, TSplitEvent::Command);
  EXPECT_EQ(feed("!ls").Kind, TSplitEvent::Command);
  // A word that starts no SQL statement is an unknown command, one line long.
  EXPECT_EQ(feed("copy_of_emp").Kind, TSplitEvent::Command);
  EXPECT_EQ(feed("(select 1 from dual);").Kind, TSplitEvent::Statement);
}

TEST(ShellText, LogonArgumentDisplayWidthAndScriptDecoding) {
  TLogonArgs a = ParseLogonArg("demo/secret@/data/db");
  EXPECT_EQ(a.user, "demo");
  EXPECT_EQ(a.password, "secret");
  EXPECT_TRUE(a.hasPassword);
  EXPECT_EQ(a.host, "/data/db");
  a = ParseLogonArg("scott");
  EXPECT_EQ(a.user, "scott");
  EXPECT_FALSE(a.hasPassword);
  EXPECT_EQ(DisplayWidth("abc"), 3);
  EXPECT_EQ(DisplayWidth("東京"), 4);
  EXPECT_EQ(DisplayWidth("ｱｲｳ"), 3); // half-width katakana
  EXPECT_EQ(PadDisplay("東", 4), "東  ");
  EXPECT_EQ(PadDisplay("7", 3, true), "  7");
  EXPECT_EQ(DecodeScriptText("\xEF\xBB\xBFselect 1;"), "select 1;");
  EXPECT_EQ(DecodeScriptText("'東京'"), "'東京'");
  // Shift-JIS bytes of 東京 and the CP932-only 0x8160 (wave dash as U+FF5E).
  EXPECT_EQ(DecodeScriptText("'\x93\x8C\x8B\x9E\x81\x60'"), "'東京～'");
}

TEST_F(Shell, RunsStatementsAndLaysOutRows) {
  std::string out = RunShell("select empno, ename,\n"
                             "       hiredate from emp where deptno = 10 order by empno;\n"
                             "insert into dept values (50, 'A;B', '東京');\n"
                             "select dname, loc from dept where deptno = 50;\n"
                             "select * from nosuch;\n"
                             "attribute x\n"
                             "-- a comment line\n"
                             "update emp set sal = sal where deptno = 20;\n"
                             "delete from emp where 1 = 0;\n"
                             "select * from emp where 1 = 0;\n"
                             "create table t1 (a number);\n"
                             "create index t1_a on t1 (a);\n"
                             "truncate table t1;\n"
                             "drop index t1_a;\n"
                             "drop table t1;\n"
                             "commit;\n"
                             "exit\n"
                             "select * from emp;\n");
  auto l = Lines(out);
  ASSERT_GE(l.size(), 8u);
  // Every NUMBER column takes NUMWIDTH (10) whatever its precision; VARCHAR2(10) takes 10, DATE
  // the width of its text; dates show in the session's date format, RR-MM-DD, as SQL*Plus shows
  // them with Japanese settings. Three rows are fewer than FEEDBACK's 6: no count, only the
  // blank line; the message of the next statement has a blank line of its own before it.
  EXPECT_EQ(l[0], "");
  EXPECT_EQ(l[1], "     EMPNO ENAME      HIREDATE");
  EXPECT_EQ(l[2], "---------- ---------- --------");
  EXPECT_EQ(l[3], "      7782 CLARK      81-06-09");
  EXPECT_EQ(l[5], "      7934 MILLER     82-01-23");
  EXPECT_EQ(l[6], "");
  EXPECT_EQ(l[7], "");
  EXPECT_EQ(l[8], "1 row created.");
  EXPECT_NE(out.find("\n1 row created.\n"), std::string::npos) << out;
  // The ";" inside the literal did not end the statement; the wide text lines up by columns.
  EXPECT_NE(out.find(PadDisplay("DNAME", 14) + " LOC\n" + std::string(14, '-') + " " +
                     std::string(13, '-') + "\n" + PadDisplay("A;B", 14) + " 東京\n\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("ORA-00942"), std::string::npos);
  EXPECT_EQ(out.find("Processing Ora function"), std::string::npos);
  EXPECT_NE(out.find("SP2-0734: unknown command beginning \"attribute ...\" - rest of line "
                     "ignored.\n"),
            std::string::npos);
  EXPECT_EQ(Count(out, "selected."), 0u) << out;
  EXPECT_NE(out.find("5 rows updated."), std::string::npos);
  EXPECT_NE(out.find("0 rows deleted."), std::string::npos);
  EXPECT_NE(out.find("\nno rows selected\n"), std::string::npos);
  for (const char* msg : {"Table created.", "Index created.", "Table truncated.", "Index dropped.",
                          "Table dropped.", "Commit complete."})
    EXPECT_NE(out.find(std::string("\n") + msg + "\n"), std::string::npos) << msg << "\n" << out;
  EXPECT_EQ(out.find("14 rows selected."), std::string::npos); // after EXIT nothing runs
  EXPECT_EQ(Query("SELECT LOC FROM DEPT WHERE DEPTNO = 50"), "東京");
}

TEST_F(Shell, SessionDateFormatShapesTheDatesShown) {
  std::string out = RunShell("alter session set nls_date_format = 'DD-MON-RR';\n"
                             "select ename, hiredate from emp where hiredate = '17-NOV-81';\n"
                             "alter session set nls_date_format = 'YYYY-MM-DD HH24:MI:SS';\n"
                             "select hiredate from emp where empno = 7839;\n"
                             "alter session set nls_date_format = 'nonsense';\n"
                             "exit\n");
  EXPECT_EQ(Count(out, "Session altered.\n"), 2u) << out;
  EXPECT_NE(out.find("ENAME      HIREDATE\n---------- ---------\nKING       17-NOV-81\n"),
            std::string::npos)
      << out;
  // a longer format widens the column to its text
  EXPECT_NE(out.find("HIREDATE\n-------------------\n1981-11-17 00:00:00\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("ORA-01821"), std::string::npos) << out;
  // the setting belongs to that session only
  EXPECT_EQ(Query("SELECT TO_CHAR(HIREDATE) FROM EMP WHERE EMPNO = 7839"), "81-11-17");
}

TEST_F(Shell, ScriptsRunNestedWithAtAndDoubleAt) {
  namespace fs = std::filesystem;
  fs::path dir = fs::path(DataHome) / "scripts";
  // A script in the DDL tool's own layout: LF inside statements, CR LF after each, a blank line.
  WriteFile(dir / "PARTS.SQL", " DROP TABLE PARTS ;\n\r\n"
                               " CREATE TABLE PARTS\n (\n                   ID   NUMBER,\n"
                               "                 NAME VARCHAR2 (    20 )\n);\n\r\n");
  WriteFile(dir / "main.sql", "-- builds and fills PARTS\n"
                              "@@PARTS\n"
                              "@@sub/fill.sql\n"
                              "create or replace procedure touch_parts is\n"
                              "begin\n"
                              "  update parts set name = name;\n"
                              "\n"
                              "end;\n"
                              "/\n"
                              "select id, name from parts order by id;\n"
                              "desc parts\n"
                              "@@sub/missing\n"
                              "set echo on\n"
                              "select count(*) n\n"
                              "  from parts;\n"
                              "set echo off\n");
  // Shift-JIS text in a nested script, found relative to its caller.
  WriteFile(dir / "sub" / "fill.sql", "insert into parts values (1, '\x93\x8C\x8B\x9E');\n"
                                      "/* two rows */\n"
                                      "insert into parts values (2,\n"
                                      "  'bolt');\n");
  WriteFile(dir / "self.sql", "select 'again' from dual;\n@@self\n");

  std::string out = RunShell("create table parts (x number);\n"
                             "@" +
                             (dir / "main").string() +
                             "\n"
                             "start " +
                             (dir / "nosuch.sql").string() +
                             "\n"
                             "@" +
                             (dir / "self.sql").string() +
                             "\n"
                             "select count(*) from parts;\n");
  EXPECT_NE(out.find("Table dropped.\n\n\nTable created.\n\n\n1 row created.\n\n\n1 row created."),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("1 row created.\n\n\nProcedure created.\n"), std::string::npos) << out;
  EXPECT_NE(
      out.find(
          "\n        ID NAME\n---------- --------------------\n         1 東京\n         2 bolt\n"),
      std::string::npos)
      << out;
  EXPECT_NE(out.find(DescLine("NAME", "", "VARCHAR2(20)")), std::string::npos) << out;
  EXPECT_NE(
      out.find("SP2-0310: unable to open file \"" + (dir / "sub" / "missing.sql").string() + "\""),
      std::string::npos)
      << out;
  EXPECT_NE(out.find("SP2-0310: unable to open file \"" + (dir / "nosuch.sql").string() + "\""),
            std::string::npos);
  // ECHO shows script lines with the prompts, and only while it is on.
  EXPECT_NE(out.find("SQL> select count(*) n\n  2    from parts;\n"), std::string::npos) << out;
  EXPECT_NE(out.find("SQL> set echo off\n"), std::string::npos);
  EXPECT_EQ(out.find("SQL> select id"), std::string::npos);
  // A script that calls itself stops at the nesting limit instead of running forever.
  EXPECT_EQ(Count(out, "\nagain\n"), 20u) << out;
  EXPECT_NE(out.find("SP2-0309"), std::string::npos);
  EXPECT_EQ(Query("SELECT NAME FROM PARTS WHERE ID = 1"), "東京");
}

TEST_F(Shell, DescribeShowsTypesAndNullability) {
  std::string out =
      RunShell("create table alltypes (id number(4) not null, price number(7,2), qty number,\n"
               "  name varchar2(10) not null, code char(3), born date, tag raw(8), notes long);\n"
               "create table rawlong (a long raw);\n"
               "create view named as select name, id from alltypes;\n"
               "desc named\n"
               "describe alltypes\n"
               "desc rawlong;\n"
               "desc nosuch\n"
               "desc emp where 1=1 union select * from dept\n"
               "desc\n");
  // Columns of 41, 8 and 28 fill the default line of 80.
  EXPECT_NE(out.find(DescLine("Name", "Null?", "Type") +
                     DescLine(std::string(41, '-'), std::string(8, '-'), std::string(28, '-')) +
                     DescLine("ID", "NOT NULL", "NUMBER(4)") +
                     DescLine("PRICE", "", "NUMBER(7,2)") + DescLine("QTY", "", "NUMBER") +
                     DescLine("NAME", "NOT NULL", "VARCHAR2(10)") +
                     DescLine("CODE", "", "CHAR(3)") + DescLine("BORN", "", "DATE") +
                     DescLine("TAG", "", "RAW(8)") + DescLine("NOTES", "", "LONG") + "\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(DescLine("ID", "NOT NULL", "NUMBER(4)").size(), 62u);
  EXPECT_NE(out.find(DescLine("A", "", "LONG RAW")), std::string::npos);
  EXPECT_NE(out.find("View created.\n\n" + DescLine("Name", "Null?", "Type") +
                     DescLine(std::string(41, '-'), std::string(8, '-'), std::string(28, '-')) +
                     DescLine("NAME", "NOT NULL", "VARCHAR2(10)") +
                     DescLine("ID", "NOT NULL", "NUMBER(4)")),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("ORA-04043: object nosuch does not exist"), std::string::npos);
  // Anything but a name is refused before it reaches the engine.
  EXPECT_NE(out.find("ORA-04043: object emp where 1=1 union select * from dept does not exist"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Usage: DESCRIBE [schema.]object[@db_link]\n"), std::string::npos);
}

TEST_F(Shell, LineSizeAndPageSizeShapeTheOutput) {
  std::string out = RunShell("set pagesize 6\n"
                             "select empno from emp order by empno;\n"
                             "set pagesize 0\n"
                             "select deptno from dept order by deptno;\n"
                             "set pagesize 100 linesize 30\n"
                             "show linesize\n"
                             "select deptno, dname, loc from dept where deptno = 10;\n"
                             "select 'abcdefghijklmnopqrstuvwxyz0123456789' long_text from dual;\n"
                             "set linesize 0\n"
                             "set linesize wide\n"
                             "set colour red\n"
                             "show lines\n"
                             "set heading off\n"
                             "set feedback off\n"
                             "select dname from dept where deptno = 20;\n"
                             "insert into dept values (60, 'X', 'Y');\n"
                             "show feedback\n");
  // Pages of 6 lines: a blank line, the two heading lines and three rows.
  EXPECT_EQ(Count(out, "     EMPNO\n----------\n"), 5u) << out;
  EXPECT_NE(
      out.find("\n     EMPNO\n----------\n      7369\n      7499\n      7521\n\n     EMPNO\n"),
      std::string::npos)
      << out;
  EXPECT_NE(out.find("14 rows selected."), std::string::npos);
  // PAGESIZE 0: rows only.
  EXPECT_NE(out.find("\n        10\n        20\n        30\n        40\n\n"), std::string::npos)
      << out;
  EXPECT_EQ(Count(out, "DEPTNO\n"), 0u);
  // LINESIZE 30: the record wraps to a second line, headings as well; no line is longer.
  EXPECT_NE(out.find("linesize 30\n"), std::string::npos);
  EXPECT_NE(
      out.find("\n    DEPTNO DNAME\n---------- --------------\nLOC\n-------------\n        10 "
               "ACCOUNTING\nNEW YORK\n"),
      std::string::npos)
      << out;
  // A value wider than the line wraps inside its column.
  EXPECT_NE(
      out.find(
          "LONG_TEXT\n------------------------------\nabcdefghijklmnopqrstuvwxyz0123\n456789\n"),
      std::string::npos)
      << out;
  size_t from = out.find("linesize 30\n"), to = out.find("SP2-0267");
  ASSERT_LT(from, to);
  for (auto& line : Lines(out.substr(from, to - from)))
    EXPECT_LE(DisplayWidth(line), 30) << line;
  // Bad values and unknown options are refused with a message and change nothing.
  EXPECT_NE(out.find("SP2-0267: linesize option 0 out of range (1 through 32767)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("SP2-0268: linesize option not a valid number"), std::string::npos);
  EXPECT_NE(out.find("SP2-0158: unknown SET option \"colour\""), std::string::npos);
  EXPECT_EQ(Count(out, "linesize 30\n"), 2u);
  // HEADING OFF and FEEDBACK OFF.
  EXPECT_NE(out.find("\nRESEARCH\n"), std::string::npos);
  EXPECT_EQ(Count(out, "\nDNAME"), 0u);
  EXPECT_EQ(out.find("1 row created."), std::string::npos);
  EXPECT_NE(out.find("feedback OFF"), std::string::npos);
  EXPECT_EQ(Query("SELECT DNAME FROM DEPT WHERE DEPTNO = 60"), "X");
}

TEST_F(Shell, ConnectDisconnectAndExit) {
  int rc = -1;
  std::string out = RunShell("select * from dept;\n"
                             "desc dept\n"
                             "show user\n"
                             "connect demo/wrong\n"
                             "select * from dept;\n"
                             "connect\n"
                             "demo\n"
                             "demo\n"
                             "show user\n"
                             "insert into dept values (70, 'KEEP', 'ME');\n"
                             "connect demo\n"
                             "demo\n"
                             "insert into dept values (71, 'DROP', 'ME');\n"
                             "disconnect\n"
                             "select count(*) from dept;\n"
                             "conn demo/demo\n"
                             "insert into dept values (72, 'UNDO', 'ME');\n"
                             "exit 7 rollback\n",
                             false, &rc);
  EXPECT_EQ(rc, 7);
  EXPECT_EQ(Count(out, "SP2-0640"), 4u) << out;
  EXPECT_NE(out.find("USER is \"\""), std::string::npos);
  EXPECT_NE(out.find("ORA-01017"), std::string::npos);
  EXPECT_EQ(Count(out, "Connected."), 3u);
  EXPECT_NE(out.find("USER is \"DEMO\""), std::string::npos);
  EXPECT_NE(out.find("Disconnected."), std::string::npos);
  // CONNECT and DISCONNECT end the old session with a commit; EXIT ROLLBACK undoes the rest.
  EXPECT_EQ(Query("SELECT COUNT(*) FROM DEPT WHERE DEPTNO IN (70, 71)"), "2");
  EXPECT_EQ(Query("SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 72"), "0");

  // The end of input commits; WHENEVER SQLERROR EXIT ends the run with the error's number.
  out = RunShell("insert into dept values (73, 'END', 'ME');\n"
                 "exit nonsense\n"
                 "whenever sqlerror exit sql.sqlcode\n"
                 "select * from nosuch;\n"
                 "select 'not reached' from dual;\n",
                 true, &rc);
  EXPECT_EQ(rc, 942);
  EXPECT_NE(out.find("SP2-0584"), std::string::npos);
  EXPECT_EQ(out.find("not reached"), std::string::npos);
  EXPECT_EQ(Query("SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 73"), "1");
  out = RunShell("whenever sqlerror exit\nselect * from nosuch;\n", true, &rc);
  EXPECT_EQ(rc, 1); // a failed script never reports success
  // WHENEVER OSERROR: a script that cannot be opened ends the run, undoing the change first.
  out = RunShell("insert into dept values (74, 'OS', 'ERR');\n"
                 "whenever oserror exit 7 rollback\n"
                 "@" +
                     DataHome +
                     "/no/such/script\n"
                     "select 'not reached' from dual;\n",
                 true, &rc);
  EXPECT_EQ(rc, 7);
  EXPECT_NE(out.find("SP2-0310: unable to open file"), std::string::npos) << out;
  EXPECT_EQ(out.find("not reached"), std::string::npos);
  EXPECT_EQ(Query("SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 74"), "0");
  out = RunShell("whenever oserror exit 7\nwhenever oserror continue\n@" + DataHome +
                     "/no/such/script\nselect 'reached' from dual;\n",
                 true, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(out.find("reached"), std::string::npos);
  out = RunShell("begin\n  null;\nend;\n/\nlist\n/\nexit 3\n", true, &rc);
  EXPECT_EQ(rc, 3);
  // The block went to the engine whole, once, and once more for the "/".
  EXPECT_NE(out.find("  1  begin\n  2    null;\n  3* end;\n"), std::string::npos) << out;
  std::regex answer("^(ORA-|PL/SQL)", std::regex::multiline);
  EXPECT_EQ(
      std::distance(std::sregex_iterator(out.begin(), out.end(), answer), std::sregex_iterator()),
      2)
      << out;
}

TEST(ShellText, HistoryKeepsNoLineHoldingAPassword) {
  THistoryFilter f;
  EXPECT_TRUE(f.Keep("select * from emp;"));
  EXPECT_FALSE(f.Keep("connect scott/tiger@db"));
  EXPECT_FALSE(f.Keep("  CONN system/manager"));
  EXPECT_TRUE(f.Keep("connect scott"));
  EXPECT_FALSE(f.Keep("alter user demo identified by secret;"));
  EXPECT_FALSE(f.Keep("CREATE USER app IDENTIFIED BY \"p w\""));
  EXPECT_TRUE(f.Keep("show user"));
  // The password on a line of its own after IDENTIFIED BY, or after IDENTIFIED.
  EXPECT_FALSE(f.Keep("create user x identified by"));
  EXPECT_FALSE(f.Keep("  hunter2;"));
  EXPECT_TRUE(f.Keep("select 1 from dual;"));
  EXPECT_FALSE(f.Keep("alter user x identified"));
  EXPECT_FALSE(f.Keep("by pw2;"));
  EXPECT_TRUE(f.Keep("select 2 from dual;"));
}

TEST_F(Shell, LongTextIsShownWholeAndCtrlCStopsOnlyTheQuery) {
  std::string value;
  for (int i = 0; i < 40000; ++i)
    value += "あい"; // 240,000 bytes of three-byte characters
  {
    TOraSession ses;
    ASSERT_TRUE(Logon(ses, "DEMO", "DEMO"));
    TOraCursor c;
    c.SetSession(&ses);
    ASSERT_TRUE(Run(c, "CREATE TABLE BIGNOTE (ID NUMBER, NOTE LONG)"));
    ASSERT_TRUE(Run(c, "INSERT INTO BIGNOTE VALUES (1, '" + value + "')"));
    ASSERT_TRUE(ses.Commit());
    c.Close();
    ses.Disconnect();
  }
  std::string out =
      RunShell("SET LONG 2000000000\nSET LINESIZE 32767\nSELECT NOTE FROM BIGNOTE;\n");
  EXPECT_EQ(Count(out, "あ"), 40000u);
  EXPECT_EQ(Count(out, "い"), 40000u);

  // Ctrl-C while rows come: the query stops with ORA-01013, the shell goes on.
  TOraSession ses;
  ASSERT_TRUE(Logon(ses, "DEMO", "DEMO"));
  std::istringstream in(
      "SELECT A.ENAME FROM EMP A, EMP B, EMP C;\nSELECT 'still here' FROM DUAL;\n");
  std::ostringstream o;
  TSqlShell shell(ses, in, o, false);
  int polls = 0;
  shell.Interrupted = [&] { return ++polls > 1; };
  shell.Run();
  ses.Disconnect();
  std::string text = o.str();
  EXPECT_NE(text.find("ORA-01013"), std::string::npos);
  EXPECT_EQ(text.find("2744 rows selected"), std::string::npos);
  EXPECT_NE(text.find("still here"), std::string::npos);
}

// Ctrl-C at the prompt of the real program, on a terminal: the line goes, the program stays.
TEST_F(Shell, CtrlCAtThePromptCancelsTheLine) {
  int fd = -1;
  pid_t pid = forkpty(&fd, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("HOME", DataHome.c_str(), 1);
    setenv("TERM", "xterm", 1); // a terminal as a person has it; CI sets none
    std::string prog = Program();
    execl(prog.c_str(), "tessel-sql", "DEMO/DEMO", static_cast<char*>(nullptr));
    _exit(127);
  }
  auto readUntil = [&](const std::string& what) {
    std::string got;
    for (int i = 0; i < 400 && got.find(what) == std::string::npos; ++i) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 50) > 0) {
        char buf[4096];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
          break;
        got.append(buf, static_cast<size_t>(n));
      }
    }
    return got;
  };
  EXPECT_NE(readUntil("SQL> ").find("SQL> "), std::string::npos);
  ASSERT_EQ(write(fd, "SELECT 'gone'\n", 14), 14);
  readUntil("2  ");
  ASSERT_EQ(write(fd, "\x03", 1), 1);
  EXPECT_NE(readUntil("SQL> ").find("SQL> "), std::string::npos);
  // The answer, not the echo of the typed line, holds "alive".
  std::string q = "SELECT 'ali' || 've' FROM DUAL;\n";
  ASSERT_EQ(write(fd, q.data(), q.size()), static_cast<ssize_t>(q.size()));
  std::string out = readUntil("alive");
  EXPECT_NE(out.find("alive"), std::string::npos) << out;
  EXPECT_EQ(out.find("gone"), std::string::npos) << out;
  std::string secret = "connect demo/DEMO\n";
  ASSERT_EQ(write(fd, secret.data(), secret.size()), static_cast<ssize_t>(secret.size()));
  readUntil("Connected.");
  ASSERT_EQ(write(fd, "exit\n", 5), 5);
  readUntil("\x04");
  int status = 0;
  waitpid(pid, &status, 0);
  close(fd);
  EXPECT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
  // Nothing typed there with a password went into the history file either.
  std::ifstream hist(DataHome + "/.tessel-sql_history");
  std::stringstream h;
  h << hist.rdbuf();
  EXPECT_NE(h.str().find("'ali'"), std::string::npos) << h.str();
  EXPECT_EQ(h.str().find("demo/DEMO"), std::string::npos) << h.str();
}

TEST_F(Shell, ProgramCreatesADatabaseAndLogsOnToIt) {
  namespace fs = std::filesystem;
  int rc = -1;
  std::string out = RunProgram("DEMO/DEMO", "SELECT * FROM EMP;\nexit\n", rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(out.find("Connected."), std::string::npos) << out;
  EXPECT_NE(out.find("14 rows selected."), std::string::npos) << out;
  EXPECT_NE(out.find("SMITH"), std::string::npos);
  out = RunProgram("DEMO/WRONG", "", rc);
  EXPECT_NE(rc, 0);
  EXPECT_NE(out.find("ORA-01017"), std::string::npos) << out;

  EXPECT_TRUE(OciIntr::CreateDatabaseAvailable());
  std::string db = (fs::path(DataHome) / "new db").string();
  out = RunProgram("--create-database '" + db + "'", "Secret1\nSecret2\n", rc);
  EXPECT_NE(rc, 0);
  EXPECT_NE(out.find("differ"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(db));
  out = RunProgram("--create-database '" + db + "'", "Secret1\nSecret1\n", rc);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_TRUE(fs::is_directory(db));
  // An existing database, or any non-empty folder, is refused before a password is asked.
  out = RunProgram("--create-database '" + db + "'", "x\nx\n", rc);
  EXPECT_NE(rc, 0);
  EXPECT_NE(out.find("not an empty folder"), std::string::npos) << out;
  EXPECT_EQ(out.find("password"), std::string::npos) << out;

  WriteFile(fs::path(DataHome) / "first.sql", "show user\ncreate table notes (id number);\n");
  out = RunProgram(
      "'SYSTEM/secret1@" + db + "' @" + (fs::path(DataHome) / "first").string(),
      "insert into notes values (1);\nselect * from notes;\nselect * from emp;\nexit\n", rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(out.find("USER is \"SYSTEM\""), std::string::npos) << out;
  EXPECT_NE(out.find("Table created."), std::string::npos);
  EXPECT_NE(out.find("\n        ID\n----------\n         1\n\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("row selected"), std::string::npos) << out;
  EXPECT_NE(out.find("ORA-00942"), std::string::npos); // no demo tables in a new database
  // Users made there by SYSTEM log on with CONNECT.
  out = RunProgram("'SYSTEM/secret1@" + db + "'",
                   "create user app identified by apppw;\nconnect app/apppw@" + db +
                       "\nshow user\n"
                       "create table mine (a number);\n",
                   rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(out.find("User created.\n\nConnected.\nUSER is \"APP\"\n\nTable created."),
            std::string::npos)
      << out;
  out = RunProgram("'DEMO/DEMO@" + db + "'", "", rc);
  EXPECT_NE(out.find("ORA-01017"), std::string::npos) << out;

  // A launcher's password comes in the environment; one given on the command line wins.
  out = RunProgram("DEMO", "show user\nexit\n", rc); // no password anywhere: asked, EOF
  EXPECT_EQ(out.find("Connected."), std::string::npos) << out;
  setenv("TESSEL_PASSWORD", "DEMO", 1);
  out = RunProgram("DEMO", "show user\nexit\n", rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(out.find("Connected.\nUSER is \"DEMO\""), std::string::npos) << out;
  setenv("TESSEL_PASSWORD", "nope", 1);
  out = RunProgram("DEMO/DEMO", "show user\nexit\n", rc);
  EXPECT_NE(out.find("USER is \"DEMO\""), std::string::npos) << out;
  unsetenv("TESSEL_PASSWORD");

  // A call library without the entry point still loads; only database creation is missing.
  OciIntr::SetLibraryFileName("libsqlite3.so.0");
  EXPECT_FALSE(OciIntr::CreateDatabaseAvailable());
  OciIntr::SetLibraryFileName("libociw32.so");
  EXPECT_TRUE(OciIntr::CreateDatabaseAvailable());
}

} // namespace

namespace {

TEST_F(Shell, DictionaryViewsDescribeAndTheAdministratorsOnesStayHis) {
  std::string out = RunShell("desc user_constraints\n"
                             "desc all_tables\n"
                             "desc dict\n"
                             "select username from dba_users;\n"
                             "select constraint_type, search_condition from user_constraints\n"
                             "  where table_name = 'EMP' order by constraint_name;\n");
  EXPECT_NE(out.find(DescLine("OWNER", "NOT NULL", "VARCHAR2(30)") +
                     DescLine("CONSTRAINT_NAME", "NOT NULL", "VARCHAR2(30)") +
                     DescLine("CONSTRAINT_TYPE", "", "VARCHAR2(1)") +
                     DescLine("TABLE_NAME", "NOT NULL", "VARCHAR2(30)") +
                     DescLine("SEARCH_CONDITION", "", "LONG")),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(DescLine("OWNER", "NOT NULL", "VARCHAR2(30)") +
                     DescLine("TABLE_NAME", "NOT NULL", "VARCHAR2(30)") +
                     DescLine("TABLESPACE_NAME", "", "VARCHAR2(30)")),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(DescLine("TABLE_NAME", "", "VARCHAR2(30)") +
                     DescLine("COMMENTS", "", "VARCHAR2(4000)")),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("ORA-00942"), std::string::npos) << out;
  EXPECT_NE(out.find("R\n"), std::string::npos) << out;

  // SYSTEM reads every schema through the DBA_ views, DEMO's included.
  int rc = -1;
  out = RunProgram("SYSTEM/MANAGER",
                   "select owner, table_name from dba_tables where table_name = 'EMP';\n"
                   "select count(*) from dba_users;\n"
                   "select count(*) from dba_constraints where owner = 'DEMO';\n"
                   "select owner from all_tables where table_name = 'EMP';\n",
                   rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(out.find("DEMO                           EMP"), std::string::npos) << out;
  EXPECT_NE(out.find("         2\n"), std::string::npos) << out;
  EXPECT_NE(out.find("         5\n"), std::string::npos) << out;
  // no engine statement reaches another schema, so ALL_TABLES shows SYSTEM's own only
  EXPECT_NE(out.find("no rows selected"), std::string::npos) << out;
}

TEST_F(Shell, KanjiFillAColumnByShiftJisBytesAndShowWhole) {
  std::string out = RunShell("create table names (name varchar2(10), code char(6));\n"
                             "insert into names values ('山田太郎一', 'ｱｲ');\n"
                             "insert into names values ('山田太郎一郎', null);\n"
                             "select name, code, lengthb(name) b from names;\n");
  EXPECT_NE(out.find("ORA-12899: value too large for column \"DEMO\".\"NAMES\".\"NAME\" "
                     "(actual: 12, maximum: 10)"),
            std::string::npos)
      << out;
  // five kanji come back whole and fill the column's ten places; CHAR keeps its own six
  EXPECT_NE(out.find("NAME       CODE            B\n---------- ------ ----------\n"
                     "山田太郎一 ｱｲ             10\n"),
            std::string::npos)
      << out;
}

TEST_F(Shell, DatabaseCharacterSetIsChosenAtCreationAndKept) {
  namespace fs = std::filesystem;
  int rc = -1;
  const std::string check = "select value from nls_database_parameters"
                            " where parameter = 'NLS_CHARACTERSET';\n"
                            "create table t (n varchar2(10));\n"
                            "insert into t values ('山田太郎');\n"
                            "select lengthb('山田'), vsize('ｱ') from dual;\n"
                            // text sorts by the set's bytes: U+30FC is 0x815B in Shift-JIS
                            "insert into t values ('ー');\n"
                            "insert into t values ('あ');\n"
                            "select listagg(n, ',') within group (order by n) l,"
                            " min(n) || max(n) m from t;\n";
  std::string utf8 = (fs::path(DataHome) / "utf8").string();
  std::string out =
      RunProgram("--create-database '" + utf8 + "' --charset al32utf8", "pw\npw\n", rc);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("character set AL32UTF8"), std::string::npos) << out;
  out = RunProgram("'SYSTEM/pw@" + utf8 + "'", check, rc);
  EXPECT_NE(out.find("AL32UTF8"), std::string::npos) << out;
  EXPECT_NE(out.find("(actual: 12, maximum: 10)"), std::string::npos) << out;
  EXPECT_NE(out.find("             6          3\n"), std::string::npos) << out;
  EXPECT_NE(out.find("あ,ー"), std::string::npos) << out;
  EXPECT_NE(out.find("あー\n"), std::string::npos) << out;

  std::string sjis = (fs::path(DataHome) / "sjis").string();
  out = RunProgram("--create-database '" + sjis + "'", "pw\npw\n", rc);
  EXPECT_EQ(rc, 0) << out;
  out = RunProgram("'SYSTEM/pw@" + sjis + "'", check, rc);
  EXPECT_NE(out.find("JA16SJIS"), std::string::npos) << out;
  EXPECT_NE(out.find("1 row created."), std::string::npos) << out;
  EXPECT_NE(out.find("             4          1\n"), std::string::npos) << out;
  EXPECT_NE(out.find("ー,あ,山田太郎"), std::string::npos) << out;
  EXPECT_NE(out.find("ー山田太郎\n"), std::string::npos) << out;

  std::string bad = (fs::path(DataHome) / "bad").string();
  out = RunProgram("--create-database '" + bad + "' --charset UTF8", "pw\npw\n", rc);
  EXPECT_NE(rc, 0);
  EXPECT_NE(out.find("unknown character set"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(bad));
  EXPECT_EQ(OciIntr::tessel_create_database_cs(bad.c_str(), "pw", "WE8ISO8859P1"), 12705);
  EXPECT_FALSE(fs::exists(bad));

  // A database made before the set was recorded keeps counting UTF-8 bytes.
  std::string old = (fs::path(DataHome) / "old").string();
  ASSERT_EQ(OciIntr::tessel_create_database_cs(old.c_str(), "pw", "JA16SJIS"), 0);
  sqlite3* sys = nullptr;
  ASSERT_EQ(sqlite3_open((old + "/system.db").c_str(), &sys), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(sys, "DROP TABLE DATABASE_PROPERTIES", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(sys);
  out = RunProgram("'SYSTEM/pw@" + old + "'", check, rc);
  EXPECT_NE(out.find("AL32UTF8"), std::string::npos) << out;
  EXPECT_NE(out.find("(actual: 12, maximum: 10)"), std::string::npos) << out;
}

} // namespace

namespace {

TEST_F(Shell, ErrorsShowTheLineAndMarkTheOffendingToken) {
  std::string out = RunShell("SELECT ENAME , FROM EMP;\n"
                             "select ename\n"
                             "  from emp wher sal > 1;\n"
                             "select '日本' x from nosuch;\n"
                             "select ename from emp\n"
                             "  order by\n"
                             ";\n");
  EXPECT_NE(out.find("SELECT ENAME , FROM EMP\n               *\nERROR at line 1:\n"
                     "ORA-00936: missing expression\n"),
            std::string::npos)
      << out;
  // the marker stands under the token on its own line of a longer statement
  EXPECT_NE(out.find("  from emp wher sal > 1\n                *\nERROR at line 2:\nORA-00933"),
            std::string::npos)
      << out;
  // full-width text before the token counts two columns per character
  EXPECT_NE(out.find("select '日本' x from nosuch\n" + std::string(21, ' ') +
                     "*\nERROR at line 1:\nORA-00942"),
            std::string::npos)
      << out;
  // a statement cut short is marked after its last word, on that word's line
  EXPECT_NE(out.find("  order by\n" + std::string(10, ' ') + "*\nERROR at line 2:\nORA-"),
            std::string::npos)
      << out;
}

} // namespace
