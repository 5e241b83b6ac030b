// The everyday habits of a classic Oracle command-line tool, through the real tessel-sql program:
// broken script ends, SPOOL, COLUMN, substitution variables, FEEDBACK, TIMING, SERVEROUTPUT,
// HOST, SHOW ERRORS and the display of numbers.
#include "NumberText.h"
#include "ShellRun.h"

#include <fstream>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

size_t Count(const std::string& s, const std::string& what) {
  size_t n = 0;
  for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1))
    ++n;
  return n;
}

class Habits : public TFreshDatabase {
protected:
  using TRun = TShellRun;
  // Runs tessel-sql DEMO/DEMO in the data folder with `input` on its standard input.
  TRun Run(const std::string& input, const std::string& args = "DEMO/DEMO") {
    return RunShell(DataHome, input, args, true);
  }
};

TEST_F(Habits, AScriptEndingInsideAQuoteOrAStatementFailsLoudly) {
  // A quote never closed ends its entry at the line ending in ";", as the classic shell does:
  // that statement fails as unterminated and the lines after it run.
  TRun r = Run("select 'fine' from dual;\n"
               "select 'open from dual;\n"
               "select 2 * 21 from dual;\n"
               "exit 3\n");
  EXPECT_EQ(r.Code, 3) << r.Err;
  EXPECT_NE(r.Out.find("fine"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("ORA-01756: quoted string not properly terminated"), std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("42"), std::string::npos) << r.Out;
  // A quoted name left open likewise
  r = Run("select \"open from dual;\n"
          "select 6 * 7 from dual;\n"
          "exit 4\n");
  EXPECT_EQ(r.Code, 4) << r.Err;
  EXPECT_NE(r.Out.find("ORA-01740: missing double quote in identifier"), std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("42"), std::string::npos) << r.Out;
  // With no line ending in ";" the quote swallows the rest, and the end of input says so.
  r = Run("select 'fine' from dual;\n"
          "select 'open from dual\n"
          "exit 0\n");
  EXPECT_NE(r.Code, 0);
  EXPECT_NE(r.Err.find("the input ends inside a quoted string; nothing from line 2 on was run"),
            std::string::npos)
      << r.Err;
  EXPECT_EQ(r.Out.find("open"), std::string::npos) << r.Out;

  // In a script file: the run stops there, the lines after the @ do not run.
  fs::path dir = fs::path(DataHome) / "scripts";
  WriteFile(dir / "noend.sql", "insert into dept values (81, 'A', 'B');\n"
                               "select * from dept\n"
                               "exit\n");
  WriteFile(dir / "noslash.sql", "create or replace procedure halfway is\nbegin\n  null;\nend;\n");
  WriteFile(dir / "comment.sql", "/* a note that never ends\nexit\n");
  WriteFile(dir / "good.sql", "select 'stored only' from dual\n\nprompt good end\n");
  r = Run("@" + (dir / "noend").string() + "\nselect 'after' from dual;\nexit 0\n");
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Err.find((dir / "noend.sql").string() +
                       " ends inside a statement that has no \";\" or \"/\" after it; nothing "
                       "from line 2 on was run"),
            std::string::npos)
      << r.Err;
  EXPECT_EQ(r.Out.find("after"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("1 row created."), std::string::npos);
  r = Run("@" + (dir / "noslash").string() + "\n");
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Err.find("ends inside a PL/SQL unit that has no \"/\" line after it"),
            std::string::npos)
      << r.Err;
  EXPECT_EQ(r.Out.find("Procedure created."), std::string::npos);
  r = Run("@" + (dir / "comment").string() + "\n");
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Err.find("ends inside a comment"), std::string::npos) << r.Err;
  // A statement ended by a blank line is kept, not run, and is no error.
  r = Run("@" + (dir / "good").string() + "\nexit\n");
  EXPECT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_NE(r.Out.find("good end"), std::string::npos);
  EXPECT_EQ(r.Out.find("stored only\n"), std::string::npos);
}

TEST_F(Habits, SpoolCopiesTheOutputToAFile) {
  TRun r = Run("spool run\n"
               "select 'first' from dual;\n"
               "spool\n"
               "spool off\n"
               "select 'unspooled' from dual;\n"
               "spool run append\n"
               "prompt appended\n"
               "spool off\n"
               "spool run create\n"
               "spool log.txt\n"
               "prompt own extension\n"
               "spool log.txt replace\n"
               "prompt replaced\n"
               "spool off\n"
               "spool off\n"
               "spool " +
               DataHome + "/no/such/dir/x\n");
  fs::path lst = fs::path(DataHome) / "run.lst";
  ASSERT_TRUE(fs::exists(lst)) << r.Out;
  std::string text = ReadAll(lst);
  EXPECT_NE(text.find("'FIRS\n-----\nfirst\n"), std::string::npos) << text;
  EXPECT_NE(text.find("currently spooling to run.lst\n"), std::string::npos) << text;
  EXPECT_NE(text.find("appended\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("unspooled"), std::string::npos) << text;
  EXPECT_NE(r.Out.find("unspooled"), std::string::npos); // the screen gets everything
  EXPECT_NE(r.Out.find("SP2-0771: File \"run.lst\" already exists"), std::string::npos) << r.Out;
  EXPECT_EQ(ReadAll(fs::path(DataHome) / "log.txt"), "replaced\n");
  EXPECT_NE(r.Out.find("not spooling currently"), std::string::npos);
  EXPECT_NE(r.Out.find("SP2-0606: Cannot create SPOOL file"), std::string::npos) << r.Out;
}

TEST_F(Habits, ColumnFormatsHeadingsAndNumberModels) {
  TRun r = Run("column txt format a6\n"
               "column amount format 999,990.99 heading 'Annual|Amount'\n"
               "column price format $9,999\n"
               "column n format 99\n"
               "select 'abcdefghij' txt, 1234.5 amount, 1234.5 price, 5 n from dual;\n"
               "select 'x' txt, 0.5 amount, -3 price, 123 n from dual;\n"
               "select 'y' txt, -12.345 amount, 12345 price, to_number(null) n from dual;\n"
               "column amount\n"
               "column amount format 9.9.9\n"
               "column amount format a\n"
               "column amount colour red\n"
               "column nosuch\n"
               "column price clear\n"
               "select 1234.5 price from dual;\n"
               "clear columns\n"
               "select 'abcdefghij' txt, 0.5 amount from dual;\n"
               "select length('a' || 'b') from dual;\n");
  // A6 wraps the text in six columns; the heading splits at '|'; a model takes its own length
  // and one place for the sign, rounds half away from zero, and shows '#' when the integer
  // part does not fit.
  EXPECT_NE(r.Out.find("TXT         Annual   PRICE   N\n"
                       "            Amount\n"
                       "------ ----------- ------- ---\n"
                       "abcdef    1,234.50  $1,235   5\n"
                       "ghij\n"),
            std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("\nx             0.50     -$3 ###\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("\ny           -12.35 #######\n"), std::string::npos) << r.Out;
  // The default WRAPPED is not listed.
  EXPECT_NE(r.Out.find("COLUMN   amount ON\nHEADING  'Annual|Amount' headsep '|'\n"
                       "FORMAT   999,990.99\n"),
            std::string::npos)
      << r.Out;
  // the query's own heading keeps its "||"
  EXPECT_NE(r.Out.find("LENGTH('A'||'B')\n----------------\n               2\n"), std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("SP2-0246: Illegal FORMAT string \"9.9.9\""), std::string::npos);
  EXPECT_NE(r.Out.find("SP2-0246: Illegal FORMAT string \"a\""), std::string::npos);
  EXPECT_NE(r.Out.find("SP2-0158: unknown COLUMN option \"colour\""), std::string::npos);
  EXPECT_NE(r.Out.find("SP2-0046: COLUMN 'nosuch' not defined"), std::string::npos);
  EXPECT_EQ(r.Out.find("\nwrap\n"), std::string::npos) << r.Out;
  // CLEAR on one column, then CLEAR COLUMNS: back to NUMWIDTH and the described width.
  EXPECT_NE(r.Out.find("     PRICE\n----------\n    1234.5\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("columns cleared\n"), std::string::npos);
  EXPECT_NE(r.Out.find("TXT            AMOUNT\n---------- ----------\nabcdefghij         .5\n"),
            std::string::npos)
      << r.Out;
}

TEST_F(Habits, SubstitutionVariablesAskDefineAndVerify) {
  TRun r = Run("select ename from emp where empno = &eno;\n"
               "7839\n"
               "select '&&who' w, '&who..' again from dual;\n"
               "SCOTT\n"
               "define dept = 10\n"
               "define note = 'two words'\n"
               "define\n"
               "select count(*) n from emp where deptno = &dept;\n"
               "prompt &note\n"
               "undefine dept\n"
               "define dept\n"
               "set verify off\n"
               "select '&x' x from dual;\n"
               "hello\n"
               "set define off\n"
               "select 'AT&T' t from dual;\n"
               "set define ^\n"
               "show define\n"
               "select '^who&T' t from dual;\n"
               "set define on\n"
               "set verify on\n"
               "select '[&missing]' m from dual;\n");
  EXPECT_EQ(r.Code, 0) << r.Err;
  const std::string& o = r.Out;
  EXPECT_NE(o.find("Enter value for eno: old   1: select ename from emp where empno = &eno\n"
                   "new   1: select ename from emp where empno = 7839\n"),
            std::string::npos)
      << o;
  EXPECT_NE(o.find("\nKING\n"), std::string::npos);
  // && defines the variable: asked once, used twice; "." ends a name.
  EXPECT_EQ(Count(o, "Enter value for who: "), 1u) << o;
  EXPECT_NE(o.find("SCOTT SCOTT.\n"), std::string::npos) << o;
  EXPECT_NE(o.find("DEFINE WHO             = \"SCOTT\" (CHAR)\n"
                   "DEFINE DEPT            = \"10\" (CHAR)\n"
                   "DEFINE NOTE            = \"two words\" (CHAR)\n"),
            std::string::npos)
      << o;
  EXPECT_NE(o.find("\n         3\n"), std::string::npos) << o;
  EXPECT_NE(o.find("\ntwo words\n"), std::string::npos) << o;
  EXPECT_NE(o.find("SP2-0135: symbol dept is UNDEFINED"), std::string::npos);
  // VERIFY OFF: asked, but no old/new lines.
  EXPECT_NE(o.find("Enter value for x: \nX\n"), std::string::npos) << o;
  EXPECT_EQ(o.find("old   1: select '&x'"), std::string::npos);
  EXPECT_NE(o.find("\nAT&T\n"), std::string::npos);
  EXPECT_NE(o.find("define \"^\" (hex 5e)"), std::string::npos) << o;
  EXPECT_NE(o.find("\nSCOTT&T\n"), std::string::npos) << o;
  // No value at the end of the input: an empty one.
  EXPECT_NE(o.find("new   1: select '[]' m from dual\n"), std::string::npos) << o;
  EXPECT_NE(o.find("\n[]\n"), std::string::npos) << o;
}

TEST_F(Habits, FeedbackCountsFromSixRowsAndTimingShowsElapsed) {
  TRun r = Run("select empno from emp where deptno = 20;\n"
               "select empno from emp where deptno = 30;\n"
               "select empno from emp where 1 = 0;\n"
               "show feedback\n"
               "set feedback 2\n"
               "select deptno from dept where deptno < 30;\n"
               "set feedback on\n"
               "select 'one' from dual;\n"
               "set feedback off\n"
               "select empno from emp;\n"
               "select empno from emp where 1 = 0;\n"
               "set feedback 6\n"
               "set timing on\n"
               "select 'timed' from dual;\n"
               "insert into dept values (90, 'T', 'T');\n"
               "show timing\n"
               "set timing off\n"
               "select 'untimed' from dual;\n");
  const std::string& o = r.Out;
  EXPECT_EQ(Count(o, "5 rows selected."), 0u) << o; // deptno 20 has five
  EXPECT_EQ(Count(o, "6 rows selected."), 1u) << o; // deptno 30 has six
  EXPECT_EQ(Count(o, "no rows selected"), 1u) << o;
  EXPECT_NE(o.find("FEEDBACK ON for 6 or more rows"), std::string::npos);
  EXPECT_NE(o.find("2 rows selected."), std::string::npos);
  EXPECT_NE(o.find("1 row selected."), std::string::npos);
  EXPECT_EQ(o.find("14 rows selected."), std::string::npos);
  std::regex elapsed("Elapsed: [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{2}\n");
  auto n = std::distance(std::sregex_iterator(o.begin(), o.end(), elapsed), std::sregex_iterator());
  EXPECT_EQ(n, 2) << o;
  EXPECT_NE(o.find("timed\n\nElapsed: "), std::string::npos) << o;
  EXPECT_NE(o.find("1 row created.\n\nElapsed: "), std::string::npos) << o;
  EXPECT_NE(o.find("timing ON"), std::string::npos);
}

TEST_F(Habits, ServerOutputIsAcceptedAndHostCommandsAreRefused) {
  fs::path made = fs::path(DataHome) / "made";
  TRun r = Run("set serveroutput on size 1000000\n"
               "show serveroutput\n"
               "set serveroutput on size unlimited format wrapped\n"
               "show serveroutput\n"
               "set serveroutput off\n"
               "show serveroutput\n"
               "set serveroutput on size 10\n"
               "show serveroutput\n"
               "host touch " +
               made.string() + "1\nho touch " + made.string() + "2\n!touch " + made.string() +
               "3\n$touch " + made.string() + "4\n");
  EXPECT_EQ(r.Code, 0);
  EXPECT_NE(r.Out.find("serveroutput ON SIZE 1000000 FORMAT WORD_WRAPPED\n"), std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("serveroutput ON SIZE UNLIMITED"), std::string::npos);
  // A bad size changes nothing: it stays off.
  EXPECT_NE(r.Out.find("SP2-0547: SIZE option 10 out of range (2000 through 1000000)\n"
                       "serveroutput OFF\n"),
            std::string::npos)
      << r.Out;
  EXPECT_EQ(Count(r.Out, "SP2-0738: Restricted command"), 4u) << r.Out;
  for (int i = 1; i <= 4; ++i)
    EXPECT_FALSE(fs::exists(made.string() + std::to_string(i))) << i;
}

TEST_F(Habits, ShowErrorsListsWhatTheEngineKnowsOfAUnit) {
  TRun r = Run("show errors\n"
               "create or replace procedure touch_dept is\nbegin\n  null;\nend;\n/\n"
               "show errors\n"
               "create or replace trigger dept_ok before insert on dept for each row\n"
               "begin\n  update emp set sal = sal where 1 = 0;\nend;\n/\n"
               "show errors\n"
               "create or replace trigger dept_bad before insert on dept for each row\n"
               "begin\n  :new.loc := upper(:new.loc)\nend;\n/\n"
               "show errors\n"
               "show errors procedure touch_dept\n"
               "show errors view emp_dept_v\n"
               "show errors function nosuch\n"
               "show errors nonsense\n");
  const std::string& o = r.Out;
  EXPECT_EQ(o.find("No errors.\n"), o.find("Connected.\n") + 11) << o;
  // A procedure whose source parses is valid: the engine runs it.
  std::string listing = "Errors for PROCEDURE TOUCH_DEPT:";
  EXPECT_EQ(Count(o, listing), 0u) << o;
  EXPECT_NE(o.find("Procedure created.\n\nNo errors.\n"), std::string::npos) << o;
  EXPECT_NE(o.find("Trigger created.\n\nNo errors.\n"), std::string::npos) << o;
  // A trigger whose body does not compile is stored invalid, and says so when it is created.
  EXPECT_NE(o.find("Warning: Trigger created with compilation errors.\n\nErrors for TRIGGER "
                   "DEPT_BAD:\n\nLINE/COL ERROR\n"),
            std::string::npos)
      << o;
  // its error, at the line and column of its body
  EXPECT_NE(o.find("3/1      PLS-00103: Encountered the symbol \"END\""), std::string::npos) << o;
  EXPECT_EQ(Count(o, "No errors."), 6u) << o;
  EXPECT_NE(o.find("SP2-0565"), std::string::npos);
}

// SQL*Plus User's Guide, SHOW RECYCLEBIN: the dropped tables, last dropped first; nothing when
// the bin is empty. FLASHBACK TABLE and PURGE give their own feedback.
TEST_F(Habits, ShowRecyclebinListsTheDroppedTables) {
  TRun r = Run("show recyclebin\n"
               "create table t1 (n number);\n"
               "create table t2 (n number);\n"
               "drop table t1;\n"
               "drop table t2;\n"
               "show recyclebin\n"
               "flashback table t1 to before drop;\n"
               "purge recyclebin;\n"
               "show recyc\n");
  const std::string& o = r.Out;
  const std::string head =
      "ORIGINAL NAME    RECYCLEBIN NAME                OBJECT TYPE  DROP TIME\n"
      "---------------- ------------------------------ ------------ -------------------\n";
  EXPECT_EQ(Count(o, head), 1u) << o;
  size_t at = o.find(head);
  ASSERT_NE(at, std::string::npos) << o;
  std::string listing = o.substr(at + head.size());
  EXPECT_EQ(listing.rfind("T2               BIN$", 0), 0u) << o;
  EXPECT_NE(listing.find("\nT1               BIN$"), std::string::npos) << o;
  EXPECT_NE(o.find("Flashback complete."), std::string::npos) << o;
  EXPECT_NE(o.find("Recyclebin purged."), std::string::npos) << o;
}

TEST_F(Habits, NumbersShowInNumwidthAsOracleWritesThem) {
  TRun r = Run("select 0.3 a, 0.13 b, -0.5 c, 1/3 d, 2/3 e, 1e40 f, -1/3 g from dual;\n"
               "select 12345678901 a, 1234567890 b, -1234567890 c, 123456.123456 d,\n"
               "  0.0000001234 e, 0.00001234567 f, 0 g from dual;\n"
               "set numwidth 6\n"
               "select 1/3 a, 123456 b, 1234567 c, sal from emp where empno = 7839;\n"
               "show numwidth\n");
  const std::string& o = r.Out;
  EXPECT_NE(o.find("        .3        .13        -.5 .333333333 .666666667 1.0000E+40 "
                   "-.33333333\n"),
            std::string::npos)
      << o;
  EXPECT_NE(
      o.find("1.2346E+10 1234567890 -1.235E+09 123456.123 1.2340E-07 .000012346          0\n"),
      std::string::npos)
      << o;
  EXPECT_NE(o.find("     A      B      C    SAL\n------ ------ ------ ------\n"
                   ".33333 123456  1E+06   5000\n"),
            std::string::npos)
      << o;
  EXPECT_NE(o.find("numwidth 6"), std::string::npos);
}

TEST(NumberText, RoundsAndFormatsInDecimal) {
  EXPECT_EQ(NumberInWidth("0.3", 10), ".3");
  EXPECT_EQ(NumberInWidth("99999.99999999", 10), "100000");
  EXPECT_EQ(NumberInWidth("-9.99999999999E+99", 10), "-1.00E+100");
  EXPECT_EQ(NumberInWidth("1E-130", 10), "1.000E-130");
  EXPECT_EQ(NumberInWidth("123", 2), "##");
  // BINARY_FLOAT and BINARY_DOUBLE: always scientific, three exponent digits, one decimal at least
  EXPECT_EQ(BinaryInWidth("1.5", 10), "1.5E+000");
  EXPECT_EQ(BinaryInWidth("2", 10), "2.0E+000");
  EXPECT_EQ(BinaryInWidth("1234567.25", 10), "1.235E+006");
  EXPECT_EQ(BinaryInWidth("-0.000123", 10), "-1.23E-004");
  EXPECT_EQ(BinaryInWidth("1E+300", 10), "1.0E+300");
  EXPECT_EQ(FormatNumber("0", "999"), "   0");
  EXPECT_EQ(FormatNumber("0.5", "9.99"), "  .50");
  EXPECT_EQ(FormatNumber("0.005", "0.99"), " 0.01");
  EXPECT_EQ(FormatNumber("-0.004", "0.99"), " 0.00");
  EXPECT_EQ(FormatNumber("999.995", "999.99"), "#######");
  EXPECT_EQ(FormatNumber("-5", "999MI"), "  5-");
  EXPECT_EQ(FormatNumber("5", "S999"), "  +5");
  EXPECT_EQ(FormatNumber("0", "B999"), "    ");
  EXPECT_EQ(FormatNumber("1234567.891", "9,999,999.9"), " 1,234,567.9");
  EXPECT_EQ(NumberModelWidth("$99,999.99"), 11);
  EXPECT_FALSE(IsNumberModel(",999"));
  EXPECT_FALSE(IsNumberModel("99X"));
}

} // namespace

TEST_F(Habits, ScriptArgumentsAndSilentStart) {
  // Words after the script's name are &1, &2, ...; from the command line and from "@".
  WriteFile(fs::path(DataHome) / "byjob.sql",
            "set verify off\nselect ename from emp where deptno = &1 and job = '&2' order by 1;\n");
  TRun r = Run("", "-s DEMO/DEMO @byjob.sql 20 CLERK");
  EXPECT_EQ(r.Code, 0);
  EXPECT_EQ(r.Out, "\nENAME\n----------\nADAMS\nSMITH\n\n") << r.Out; // -s: no "Connected."
  r = Run("@byjob 30 'MANAGER'\n@byjob.sql 10 PRESIDENT;\n");
  EXPECT_NE(r.Out.find("Connected.\n\nENAME\n----------\nBLAKE\n\n\nENAME\n----------\nKING\n"),
            std::string::npos)
      << r.Out;
}

namespace {

class ExitCodes : public Habits {};

TEST_F(ExitCodes, ExitTakesWordsNumbersAndBindVariables) {
  EXPECT_EQ(Run("exit warning\n").Code, 2);
  EXPECT_EQ(Run("exit failure\n").Code, 1);
  EXPECT_EQ(Run("variable r number\nexec :r := 2 + 3\nexit :r\n").Code, 5);
  EXPECT_EQ(Run("define rc = 4\nexit &rc\n").Code, 4);
  // The error number, as far as an exit status holds it (904 % 256).
  TRun r = Run("whenever sqlerror exit sql.sqlcode rollback\n"
               "insert into dept values (50, 'X', 'Y');\n"
               "select nosuch from dual;\n"
               "prompt not reached\n");
  EXPECT_EQ(r.Code, 904 % 256);
  EXPECT_EQ(r.Out.find("not reached"), std::string::npos) << r.Out;
  r = Run("whenever sqlerror exit 2\nwhenever sqlerror continue\nselect nosuch from dual;\n"
          "select count(*) from dept where deptno = 50;\nexit 3\n");
  EXPECT_EQ(r.Code, 3);
  EXPECT_NE(r.Out.find("         0\n"), std::string::npos) << r.Out; // the insert was rolled back
}

} // namespace

namespace {

class Titles : public Habits {};

TEST_F(Titles, HugePlacesAndSkipsStayBounded) {
  TRun r = Run("ttitle col 99999999999 'far' tab -99999999999 'back' skip 99999999999\n"
               "select 'row' from dual;\n"
               "ttitle col -5 'near'\n"
               "select 'row' from dual;\nexit\n");
  EXPECT_EQ(r.Code, 0) << r.Err;
  EXPECT_LT(std::count(r.Out.begin(), r.Out.end(), '\n'), 1100) << "skips are capped";
  EXPECT_NE(r.Out.find("\nback"), std::string::npos) << "TAB back past the start is column 1";
  EXPECT_NE(r.Out.find("\nnear\n"), std::string::npos) << r.Out;
}

} // namespace

namespace {

class Reconnect : public Habits {};

TEST_F(Reconnect, AFailedConnectWarnsThatTheOldSessionIsGone) {
  TRun r = Run("conn demo/wrong\nshow user\nconn demo/wrong\nexit\n");
  EXPECT_NE(r.Out.find("ORA-01017: invalid username/password; logon denied\n\n\n"
                       "Warning: You are no longer connected to ORACLE.\nUSER is \"\"\n"),
            std::string::npos)
      << r.Out;
  // Only the connection that was there is lost, and only once.
  EXPECT_EQ(r.Out.find("Warning:", r.Out.find("Warning:") + 1), std::string::npos) << r.Out;
}

} // namespace

namespace {

class Timers : public Habits {};

TEST_F(Timers, TimingStartShowAndStopReportTheirTimer) {
  TRun r = Run("timing\ntiming stop\ntiming start load\ntiming start inner\ntiming\n"
               "timing show\ntiming stop\ntiming stop\ntiming stop\nexit\n");
  EXPECT_NE(r.Out.find("no timing elements in use\nSP2-0325: no timing elements to stop\n"
                       "2 timing elements in use\ntiming for: inner\nElapsed: 00:00:"),
            std::string::npos)
      << r.Out;
  // STOP ends the innermost timer, so the outer one comes next, then none.
  size_t inner = r.Out.find("timing for: inner", r.Out.find("timing for: inner") + 1);
  size_t outer = r.Out.find("timing for: load");
  EXPECT_NE(inner, std::string::npos) << r.Out;
  EXPECT_GT(outer, inner) << r.Out;
  EXPECT_NE(r.Out.find("SP2-0325: no timing elements to stop", outer), std::string::npos);
}

// CLEAR TIMING stops every timer, the latest first, and leaves none.
TEST_F(Timers, ClearTimingDeletesEveryTimer) {
  TRun r = Run("clear timing\ntiming start first\ntiming start second\nclear timing\ntiming\n"
               "exit\n");
  std::regex want("Connected\\.\\ntiming for: second\\nElapsed: 00:00:\\d\\d\\.\\d\\d\\n"
                  "timing for: first\\nElapsed: 00:00:\\d\\d\\.\\d\\d\\n"
                  "no timing elements in use\\n");
  EXPECT_TRUE(std::regex_search(r.Out, want)) << r.Out;
}

} // namespace

TEST_F(Habits, ForcedViewOverAMissingTableIsCreatedWithErrors) {
  TRun r = Run("create force view later_v as select * from later_t;\n"
               "show errors\n"
               "select * from later_v;\n"
               "create force view fine_v as select dname from dept where deptno = 10;\n"
               "select * from fine_v;\n"
               "create view strict_v as select * from later_t;\n");
  const std::string& o = r.Out;
  EXPECT_NE(o.find("\nWarning: View created with compilation errors.\n\n"), std::string::npos) << o;
  EXPECT_NE(o.find("Errors for VIEW LATER_V:"), std::string::npos) << o;
  EXPECT_NE(o.find("ORA-04063: view \"DEMO.LATER_V\" has errors"), std::string::npos) << o;
  // a FORCE view whose query compiles is an ordinary view
  EXPECT_NE(o.find("View created.\n\n\nDNAME\n--------------\nACCOUNTING\n"), std::string::npos)
      << o;
  EXPECT_EQ(Count(o, "Warning: View created"), 1u) << o;
  // without FORCE the missing table fails the statement
  EXPECT_NE(o.find("ORA-00942"), std::string::npos) << o;
}

// The DDL the dictionary's own DBMS_METADATA writes names editions; a script of it runs as is.
TEST_F(Habits, EditionableObjectsAreCreatedAsAnyOther) {
  TRun r = Run("create or replace editionable procedure ed_p is begin null; end;\n/\n"
               "create or replace noneditionable function ed_f return number is\nbegin\n  return "
               "7;\nend;\n/\n"
               "create editioning view ed_v as select empno from emp;\n"
               "select ed_f from dual;\n");
  const std::string& o = r.Out;
  EXPECT_NE(o.find("Procedure created."), std::string::npos) << o;
  EXPECT_NE(o.find("Function created."), std::string::npos) << o;
  EXPECT_NE(o.find("View created."), std::string::npos) << o;
  EXPECT_NE(o.find("      ED_F\n----------\n         7\n"), std::string::npos) << o;
  EXPECT_EQ(o.find("ORA-"), std::string::npos) << o;
}

TEST_F(Habits, CompilingAForcedViewWarnsUntilItsTableIsThere) {
  TRun r = Run("create force view later_v as select a from later_t;\n"
               "alter view later_v compile;\n"
               "create table later_t (a number);\n"
               "insert into later_t values (7);\n"
               "alter view later_v compile;\n"
               "select * from later_v;\n");
  const std::string& o = r.Out;
  EXPECT_NE(o.find("\nWarning: View altered with compilation errors.\n\n"), std::string::npos) << o;
  EXPECT_EQ(Count(o, "Warning: View altered"), 1u) << o;
  EXPECT_NE(o.find("\nView altered.\n\n"), std::string::npos) << o;
  EXPECT_NE(o.find("         A\n----------\n         7\n"), std::string::npos) << o;
}

// SHOW ALL lists the settings by name in alphabetical order, each as SHOW of it alone shows it.
TEST_F(Habits, ShowAllListsTheSettingsInAlphabeticalOrder) {
  TRun all = Run("SET LINESIZE 99 SERVEROUTPUT ON FORMAT WRAPPED\nSET DESCRIBE DEPTH 3\n"
                 "SHOW ALL\nEXIT\n");
  std::vector<std::string> names;
  std::istringstream in(all.Out);
  for (std::string line; std::getline(in, line);) {
    if (line == "Connected." || line.empty())
      continue;
    std::string name = line.substr(0, line.find_first_of(" :"));
    for (auto& ch : name)
      ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    // the SPOOL line says "not spooling currently"
    names.push_back(name == "not" ? "spool" : name);
  }
  ASSERT_GT(names.size(), 40u);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << all.Out;
  EXPECT_NE(all.Out.find("\nlinesize 99\n"), std::string::npos);
  EXPECT_NE(all.Out.find("\nserveroutput ON SIZE UNLIMITED FORMAT WRAPPED\n"), std::string::npos);
  EXPECT_NE(all.Out.find("\ndescribe DEPTH 3 LINENUM OFF INDENT ON\n"), std::string::npos);
}
