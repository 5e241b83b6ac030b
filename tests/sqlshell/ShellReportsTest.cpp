// Report files through the real tessel-sql program: STORE SET scripts, HTML spool files, the
// time in the prompt and quoted script arguments.
#include "ShellRun.h"

#include <fstream>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class Reports : public TFreshDatabase {
protected:
  using TRun = TShellRun;
  // Runs tessel-sql `args` in the data folder with `input` on its standard input.
  TRun Run(const std::string& input, const std::string& args = "DEMO/DEMO") {
    return RunShell(DataHome, input, args, false);
  }
};

TEST_F(Reports, StoreSetWritesAScriptThatBringsTheSettingsBack) {
  TRun r =
      Run("set linesize 100 pagesize 30 colsep '|' null '(none)' feedback 3\n"
          "set numformat 999.99 define ^ heading off time on recsep each\n"
          "store set saved\n"
          "store set saved\n"
          "store set saved.sql replace\n"
          "store set saved append\n"
          "store saved\n"
          "set linesize 80 pagesize 14 colsep ' ' null '' feedback 6 numformat ''\n"
          "set define & heading on time off recsep wrapped\n"
          "@saved\n"
          "show linesize pagesize colsep null feedback numformat define heading time recsep\n");
  EXPECT_EQ(r.Code, 0);
  const fs::path file = fs::path(DataHome) / "saved.sql";
  ASSERT_TRUE(fs::exists(file)) << r.Out;
  const std::string text = ReadAll(file);
  EXPECT_NE(text.find("set linesize 100\n"), std::string::npos) << text;
  EXPECT_NE(text.find("set colsep \"|\"\n"), std::string::npos) << text;
  // APPEND adds a second copy after the first
  EXPECT_NE(text.find("set linesize 100\n", text.find("set linesize 100\n") + 1), std::string::npos)
      << text;
  EXPECT_NE(r.Out.find("Created file saved.sql\n"
                       "SP2-0540: File \"saved.sql\" already exists. Use \"STORE SET "
                       "filename[.ext] REPLACE\".\n"
                       "Wrote file saved.sql\n"
                       "Appended file to saved.sql\n"
                       "SP2-0157: unable to STORE"),
            std::string::npos)
      << r.Out;
  // running it back gives every setting its stored value, without a complaint
  EXPECT_EQ(r.Out.find("SP2-0158"), std::string::npos) << r.Out;
  EXPECT_EQ(r.Out.find("SP2-0265"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("linesize 100\npagesize 30\ncolsep \"|\"\nnull \"(none)\"\n"
                       "FEEDBACK ON for 3 or more rows\nnumformat \"999.99\"\n"
                       "define \"^\" (hex 5e)\nheading OFF\ntime ON\nrecsep EACH\n"),
            std::string::npos)
      << r.Out;
}

TEST_F(Reports, HtmlSpoolFilesAreWholePages) {
  TRun r = Run("set markup html on spool on body \"bgcolor='white'\"\n"
               "spool report.html\n"
               "select dname from dept where deptno = 10;\n"
               "spool off\n"
               "set markup html off spool off\n"
               "spool plain.txt\n"
               "select dname from dept where deptno = 20;\n"
               "spool off\n");
  EXPECT_EQ(r.Code, 0);
  const std::string html = ReadAll(fs::path(DataHome) / "report.html");
  EXPECT_EQ(html.rfind("<html>\n<head>\n", 0), 0u) << html;
  EXPECT_NE(html.find("<title>SQL*Plus Report</title>\n</head>\n<body bgcolor='white'>\n"),
            std::string::npos)
      << html;
  EXPECT_NE(html.find("<tr>\n<td>\nACCOUNTING\n</td>\n</tr>\n</table>\n"), std::string::npos)
      << html;
  EXPECT_EQ(html.substr(html.size() - 16), "</body>\n</html>\n") << html;
  // the page's head and end go to the file, not the screen
  EXPECT_EQ(r.Out.find("<html>"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("<th scope=\"col\">\nDNAME\n</th>"), std::string::npos) << r.Out;
  const std::string plain = ReadAll(fs::path(DataHome) / "plain.txt");
  EXPECT_EQ(plain, "\nDNAME\n--------------\nRESEARCH\n\n") << plain;
}

TEST_F(Reports, SetTimePutsTheTimeBeforeThePrompt) {
  WriteFile(fs::path(DataHome) / "timed.sql", "set echo on\nprompt hello\nset time off\n"
                                              "prompt plain\n");
  TRun r = Run("set time on\nshow time\n@timed\nshow time\n");
  EXPECT_EQ(r.Code, 0);
  EXPECT_TRUE(std::regex_search(r.Out, std::regex("time ON\n[0-2][0-9]:[0-5][0-9]:[0-5][0-9] "
                                                  "SQL> prompt hello\nhello\n")))
      << r.Out;
  EXPECT_NE(r.Out.find("\nSQL> prompt plain\nplain\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("time OFF\n"), std::string::npos) << r.Out;
}

TEST_F(Reports, QuotedScriptArgumentsKeepTheirBlanks) {
  WriteFile(fs::path(DataHome) / "args.sql", "prompt [&1] [&2] [&3]\n");
  TRun r = Run("set verify off\n@args \"two words\" 'and three more' last\n");
  EXPECT_NE(r.Out.find("[two words] [and three more] [last]\n"), std::string::npos) << r.Out;
  // from the command line, where the calling shell took the quotes off
  r = Run("", "-s DEMO/DEMO @args.sql 'two words' \"and three more\" last");
  EXPECT_NE(r.Out.find("[two words] [and three more] [last]\n"), std::string::npos) << r.Out;
}

TEST_F(Reports, MarkupOnTheCommandLineMakesTheOutputAPage) {
  TRun r = Run("select dname from dept where deptno = 10;\nexit\n",
               "-s -m \"HTML ON TABLE 'class=x' BODY 'id=r'\" DEMO/DEMO");
  EXPECT_EQ(r.Code, 0);
  EXPECT_EQ(r.Out.rfind("<html>\n<head>\n", 0), 0u) << r.Out;
  EXPECT_NE(r.Out.find("</head>\n<body id=r>\n<p>\n<table class=x>\n<tr>\n<th scope=\"col\">\n"
                       "DNAME\n</th>\n</tr>\n<tr>\n<td>\nACCOUNTING\n</td>\n</tr>\n</table>\n"
                       "<p>\n</body>\n</html>\n"),
            std::string::npos)
      << r.Out;
  // -m without its options is a misuse, not a user name
  EXPECT_EQ(Run("", "-m").Code, 2);
  r = Run("", "-s -m \"HTML BOGUS\" DEMO/DEMO");
  EXPECT_NE(r.Code, 0);
  EXPECT_NE(r.Out.find("SP2-0158: unknown SET MARKUP option \"BOGUS\""), std::string::npos)
      << r.Out;
}

} // namespace

namespace {

class Suffix : public Reports {};

TEST_F(Suffix, SaveGetAndStartUseSetSuffix) {
  TRun r = Run("set suffix txt\n"
               "select 'kept' from dual;\n"
               "save kept\n"
               "get kept\n"
               "@kept\n"
               "store set settings\n");
  EXPECT_EQ(r.Code, 0);
  EXPECT_TRUE(fs::exists(fs::path(DataHome) / "kept.txt")) << r.Out;
  EXPECT_FALSE(fs::exists(fs::path(DataHome) / "kept.sql")) << r.Out;
  EXPECT_NE(r.Out.find("Created file kept.txt\n  1* select 'kept' from dual\n\n'KEP\n----\nkept\n"),
            std::string::npos)
      << r.Out;
  EXPECT_TRUE(fs::exists(fs::path(DataHome) / "settings.txt")) << r.Out;
}

} // namespace

namespace {

class GuideReport : public Reports {};

// The User's Guide's HTML department report: HEAD, BODY and TABLE texts continued over lines,
// a column whose HTML links are kept as they are (ENTMAP OFF) while the rest is escaped.
TEST_F(GuideReport, DepartmentReportAsASpooledPage) {
  TRun r = Run("SET MARKUP HTML ON SPOOL ON PREFORMAT OFF ENTMAP ON -\n"
               "HEAD \"<TITLE>Department Report</TITLE> -\n"
               "<STYLE type='text/css'> -\n"
               "<!-- BODY {background: #FFFFC6} --> -\n"
               "</STYLE>\" -\n"
               "BODY \"TEXT='#FF00Ff'\" -\n"
               "TABLE \"WIDTH='90%' BORDER='5'\"\n"
               "COLUMN DNAME HEADING 'DEPARTMENT' ENTMAP OFF\n"
               "COLUMN LOC HEADING 'CITY'\n"
               "SPOOL report.html\n"
               "SELECT '<A HREF=\"http://oracle.com/'||DNAME||'.html\">'||DNAME||'</A>' DNAME,\n"
               "'<'||LOC||'>' LOC FROM DEPT WHERE DEPTNO < 20;\n"
               "SPOOL OFF\n");
  EXPECT_EQ(r.Code, 0);
  const std::string html = ReadAll(fs::path(DataHome) / "report.html");
  EXPECT_NE(html.find("<TITLE>Department Report</TITLE> <STYLE type='text/css'> <!-- BODY "
                      "{background: #FFFFC6} --> </STYLE>\n</head>\n<body TEXT='#FF00Ff'>\n<p>\n"
                      "<table WIDTH='90%' BORDER='5'>\n<tr>\n<th scope=\"col\">\nDEPARTMENT\n"
                      "</th>\n<th scope=\"col\">\nCITY\n</th>\n</tr>\n<tr>\n<td>\n"
                      "<A HREF=\"http://oracle.com/ACCOUNTING.html\">ACCOUNTING</A>\n</td>\n"
                      "<td>\n&lt;NEW YORK&gt;\n</td>\n</tr>\n</table>\n<p>\n</body>\n</html>\n"),
            std::string::npos)
      << html;
}

} // namespace

namespace {

class ExitCommit : public Reports {};

// SET EXITCOMMIT OFF: leaving with EXIT, or at the end of the input, rolls back what is not
// committed; EXIT COMMIT still commits. ON (the default) commits.
TEST_F(ExitCommit, OffRollsBackOnLeaving) {
  Run("set exitcommit off\ninsert into dept values (91, 'A', 'B');\nexit\n");
  Run("set exitcommit off\ninsert into dept values (92, 'A', 'B');\n");
  Run("set exitcommit off\ninsert into dept values (93, 'A', 'B');\nexit commit\n");
  Run("insert into dept values (94, 'A', 'B');\nexit\n");
  // WHENEVER ... EXIT without COMMIT or ROLLBACK leaves as EXIT does
  EXPECT_EQ(Run("set exitcommit off\nwhenever sqlerror exit 3\n"
                "insert into dept values (95, 'A', 'B');\nselect nosuch from dual;\n")
                .Code,
            3);
  Run("set exitcommit off\nwhenever sqlerror exit 3 commit\n"
      "insert into dept values (96, 'A', 'B');\nselect nosuch from dual;\n");
  Run("set exitcommit off\nwhenever oserror exit 4\ninsert into dept values (97, 'A', 'B');\n"
      "@no_such_script\n");
  TRun r = Run("select deptno from dept where deptno > 90 order by 1;\nshow exitcommit\n"
               "set exitcommit off\nshow exitcommit\n");
  EXPECT_NE(r.Out.find("\n    DEPTNO\n----------\n        93\n        94\n        96\n\n"
                       "exitcommit ON\nexitcommit OFF\n"),
            std::string::npos)
      << r.Out;
}

} // namespace
