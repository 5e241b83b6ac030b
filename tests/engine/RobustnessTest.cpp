// Hostile and odd input at the engine's doors: names that carry SQL, SQLite's own functions,
// NUL bytes, deep nesting and bad arguments at the call interface.
#include "EngineFixture.h"
#include "OciIntr.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <pthread.h>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Runs `work` on a thread with a 1 MB stack, as small as a client's worker thread may have.
std::string OnSmallStack(std::function<std::string()>& work) {
  struct Job {
    std::function<std::string()>* work;
    std::string result;
  } job{&work, {}};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 1 << 20);
  pthread_t th;
  if (pthread_create(
          &th, &attr,
          [](void* p) -> void* {
            auto* j = static_cast<Job*>(p);
            j->result = (*j->work)();
            return nullptr;
          },
          &job) != 0)
    return "<no thread>";
  pthread_join(th, nullptr);
  pthread_attr_destroy(&attr);
  return job.result;
}

std::string Code(const std::string& error) { return error.substr(0, 9); }

using Robustness = Engine;

// Logon and cursor areas driven through the call interface itself, for what the access layer
// never sends (lengths, NUL bytes, bad sizes).
struct RawLogon {
  unsigned char lda[64] = {}, hda[256] = {}, cda[64] = {};
  bool Logon(const char* user) {
    return OciIntr::olog(lda, hda, user, -1, nullptr, -1, nullptr, -1, 0) == 0 &&
           OciIntr::oopen(cda, lda, nullptr, -1, -1, nullptr, -1) == 0;
  }
  int Parse(const std::string& sql) {
    return OciIntr::oparse(cda, sql.data(), static_cast<int>(sql.size()), 0, 2);
  }
  ~RawLogon() {
    OciIntr::oclose(cda);
    OciIntr::ologof(lda);
  }
};

TEST_F(Robustness, NamesCarryingSqlStayNames) {
  fs::path cwd = fs::current_path();
  fs::current_path(DataHome);
  const std::string name = "V');END;END;VACUUM INTO'q';";
  const std::string attach = "A');END;ATTACH'x.db'AS x;";
  EXPECT_EQ(Exec("CREATE TRIGGER \"" + name +
                 "\" BEFORE INSERT ON DEPT FOR EACH ROW BEGIN "
                 "IF :NEW.DEPTNO = 50 THEN RAISE_APPLICATION_ERROR(-20001, 'no'); END IF; END;"),
            "");
  EXPECT_EQ(Exec("CREATE TRIGGER \"" + attach + "\" BEFORE UPDATE ON DEPT BEGIN NULL; END;"), "");
  // The triggers exist under their names and run, an error naming the trigger it came from.
  std::string err = Exec("INSERT INTO DEPT VALUES (50, 'A', 'B')");
  EXPECT_EQ(Code(err), "ORA-20001");
  EXPECT_NE(err.find("DEMO." + name), std::string::npos) << err;
  EXPECT_EQ(Exec("UPDATE DEPT SET LOC = LOC WHERE DEPTNO = 10"), "");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM USER_TRIGGERS WHERE TRIGGER_NAME LIKE '%END;%'"), "2\n");
  EXPECT_EQ(Exec("DROP TRIGGER \"" + name + "\""), "");
  EXPECT_EQ(Exec("DROP TRIGGER \"" + attach + "\""), "");
  EXPECT_EQ(Exec("INSERT INTO DEPT VALUES (50, 'A', 'B')"), "");
  fs::current_path(cwd);
  EXPECT_FALSE(fs::exists(fs::path(DataHome) / "q"));
  EXPECT_FALSE(fs::exists(fs::path(DataHome) / "x.db"));
  EXPECT_FALSE(fs::exists(fs::path(DbFolder()) / "q"));
  EXPECT_FALSE(fs::exists(fs::path(DbFolder()) / "x.db"));

  // Quotes in every other kind of name and text the engine writes into its own statements.
  EXPECT_EQ(Exec("CREATE TABLE \"T'1\" (\"C'1\" NUMBER CONSTRAINT \"K'1\" PRIMARY KEY)"), "");
  EXPECT_EQ(Exec("CREATE VIEW \"V'1\" AS SELECT \"C'1\" FROM \"T'1\" WHERE 'it''s' IS NOT NULL"),
            "");
  EXPECT_EQ(Exec("CREATE SEQUENCE \"S'1\""), "");
  EXPECT_EQ(Exec("INSERT INTO \"T'1\" VALUES (\"S'1\".NEXTVAL)"), "");
  EXPECT_EQ(Exec("CREATE PROCEDURE \"P'1\" IS BEGIN NULL; END;"), "");
  EXPECT_EQ(Exec("ALTER TABLE \"T'1\" ADD (\"D'1\" VARCHAR2(5) DEFAULT 'x''y')"), "");
  EXPECT_EQ(Exec("RENAME \"V'1\" TO \"W'1\""), "");
  EXPECT_EQ(Rows("SELECT \"C'1\" FROM \"W'1\""), "1\n");
  EXPECT_EQ(Rows("SELECT \"D'1\" FROM \"T'1\""), "x'y\n");
  EXPECT_EQ(Rows("SELECT OBJECT_NAME FROM USER_OBJECTS WHERE OBJECT_NAME LIKE '%''1' ORDER BY 1"),
            "K'1\nP'1\nS'1\nT'1\nW'1\n");
  EXPECT_EQ(Exec("DROP SEQUENCE \"S'1\""), "");
  EXPECT_EQ(Exec("DROP TABLE \"T'1\""), "");
}

TEST_F(Robustness, OnlyOraclesFunctionsAreCallable) {
  for (const char* call :
       {"sqlite_version()", "\"sqlite_version\"()", "zeroblob(10)", "printf('%d', 1)",
        "json_extract('[1]', '$[0]')", "json_valid('1')", "fts3_tokenizer('simple')",
        "load_extension('x')", "typeof(1)", "randomblob(4)", "ora_conv(1, 2, 0, 0, 0, 0, 'x')",
        "ora_rowid(1, 1)", "hex('a')"})
    EXPECT_EQ(Code(Exec(std::string("SELECT ") + call + " FROM DUAL")), "ORA-00904") << call;
  // Nor through the doors of stored definitions.
  EXPECT_EQ(Code(Exec("CREATE TABLE T (A VARCHAR2(40) DEFAULT sqlite_version())")), "ORA-00904");
  EXPECT_EQ(Code(Exec("CREATE TABLE T (A NUMBER CHECK (length(hex(A)) > 0))")), "ORA-00904");
  EXPECT_EQ(Code(Exec("CREATE VIEW V AS SELECT printf('x') X FROM DUAL")), "ORA-00904");
  // CHAR is a reserved word, and a table is no function
  EXPECT_EQ(Code(Exec("SELECT char(65) FROM DUAL")), "ORA-00936");
  EXPECT_EQ(Code(Exec("SELECT * FROM json_each('[1]')")), "ORA-00933");
  ASSERT_EQ(Exec("CREATE TABLE T (A NUMBER)"), "");
  ASSERT_EQ(Exec("CREATE TRIGGER T_BI BEFORE INSERT ON T FOR EACH ROW BEGIN "
                 "INSERT INTO T VALUES (zeroblob(1)); END;"),
            "");
  EXPECT_EQ(Code(Exec("INSERT INTO T VALUES (1)")), "ORA-04098");
  // Oracle's own, in any spelling, still are.
  EXPECT_EQ(Rows("SELECT nvl(NULL, 1), Coalesce(NULL, 2), NULLIF(3, 4), \"UPPER\"('a'), "
                 "CAST(5 AS NUMBER) FROM DUAL"),
            "1|2|3|A|5\n");
}

TEST_F(Robustness, NulBytesAreStrayCharacters) {
  RawLogon raw;
  ASSERT_TRUE(raw.Logon("DEMO/DEMO"));
  std::string sql = "UPDATE EMP SET SAL = 0 WHERE DEPTNO = 10 ";
  sql += '\0';
  sql += " AND EMPNO = 7839";
  EXPECT_EQ(raw.Parse(sql), 911);
  std::string inText = "SELECT 'a";
  inText += '\0';
  inText += "b' FROM DUAL";
  EXPECT_EQ(raw.Parse(inText), 911);
  std::string inName = "SELECT 1 FROM \"DU";
  inName += '\0';
  inName += "AL\"";
  EXPECT_EQ(raw.Parse(inName), 911);
  EXPECT_EQ(OciIntr::oexec(raw.cda), 1003);
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM EMP WHERE SAL = 0"), "0");
}

std::string Nested(const char* open, const std::string& inner, const char* close, int n) {
  std::string s;
  for (int i = 0; i < n; ++i)
    s += open;
  s += inner;
  for (int i = 0; i < n; ++i)
    s += close;
  return s;
}

TEST_F(Robustness, DeepNestingWorksOrFailsCleanly) {
  std::vector<std::string> parts(32, "'a'");
  std::string chain;
  for (auto& p : parts)
    chain += (chain.empty() ? "" : " || ") + p;
  EXPECT_EQ(Rows("SELECT " + chain + " FROM DUAL"), std::string(32, 'a') + "\n");
  std::string longChain = chain;
  for (int i = 0; i < 300; ++i)
    longChain += " || 'b'";
  EXPECT_EQ(Rows("SELECT LENGTH(" + longChain + ") FROM DUAL"), "332\n");
  EXPECT_EQ(Rows("SELECT " + Nested("NVL(", "1", ", 2)", 25) + " FROM DUAL"), "1\n");
  EXPECT_EQ(Rows("SELECT " + Nested("(", "7", ")", 50) + " FROM DUAL"), "7\n");
  EXPECT_EQ(Rows(Nested("SELECT X FROM (", "SELECT 1 X FROM DUAL", ")", 8)), "1\n");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM EMP WHERE DEPTNO IN " +
                 Nested("(SELECT DEPTNO FROM DEPT WHERE DEPTNO IN ", "(10)", ")", 5)),
            "3\n");

  // As deep as Oracle goes: 255 nested subqueries, in FROM, in IN and as single values.
  EXPECT_EQ(Rows(Nested("SELECT X FROM (", "SELECT 1 X FROM DUAL", ")", 255)), "1\n");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM EMP WHERE DEPTNO IN " +
                 Nested("(SELECT DEPTNO FROM DEPT WHERE DEPTNO IN ", "(10)", ")", 254)),
            "3\n");
  EXPECT_EQ(Rows("SELECT " + Nested("(SELECT ", "7", " FROM DUAL)", 255) + " FROM DUAL"), "7\n");
  EXPECT_EQ(Code(Exec(Nested("SELECT X FROM (", "SELECT 1 X FROM DUAL", ")", 256))), "ORA-00935");

  // Beyond what can be run: a clean error, never a crash, also for the deepest texts.
  for (int n : {40, 300, 301, 20000}) {
    for (const char* kind : {"paren", "call", "subquery"}) {
      if (n < 100 && kind != std::string("call"))
        continue;
      std::string sql =
          kind == std::string("paren")  ? "SELECT " + Nested("(", "1", ")", n) + " FROM DUAL"
          : kind == std::string("call") ? "SELECT " + Nested("NVL(", "1", ", 2)", n) + " FROM DUAL"
                                        : Nested("SELECT X FROM (", "SELECT 1 X FROM DUAL", ")", n);
      std::string err = Exec(sql);
      EXPECT_EQ(Code(err), "ORA-00935") << kind << " " << n << ": " << err;
    }
  }
  EXPECT_EQ(Code(Exec("SELECT 1 FROM DUAL WHERE " + Nested("NOT ", "1 = 1", "", 5000))),
            "ORA-00935");
  // Signs upon signs, nested calls (TO_CHAR, CONCAT, NVL, DECODE) and nested products are typed
  // once each level: the work must not double at each one.
  EXPECT_EQ(Rows("SELECT " + Nested("TO_CHAR(", "1", ")", 20) + ", " +
                 Nested("(", "2", " * 1)", 20) + ", " + Nested("CONCAT(", "'a'", ", 'b')", 20) +
                 " FROM DUAL"),
            "1|2|a" + std::string(20, 'b') + "\n");
  EXPECT_EQ(Rows("SELECT " + Nested("NVL(", "'x'", ", 'y')", 24) + " FROM DUAL"), "x\n");
  EXPECT_EQ(Rows("SELECT " + Nested("DECODE('a', 'a', ", "'x'", ", 'y')", 16) + " FROM DUAL"),
            "x\n");
  EXPECT_EQ(Rows("SELECT 1 " + std::string(60, '+') + " 2, BINARY_DOUBLE_INFINITY > - " +
                 Nested("+ ", "1", "", 60) + " FROM DUAL"),
            "3|TRUE\n");
  EXPECT_EQ(Scalar(Cur, "SELECT 1 FROM DUAL"), "1");

  // A list of IN or = ANY holds at most 1000 expressions; the error points at the one too many.
  std::string list = "7369";
  for (int i = 1; i < 1000; ++i)
    list += "," + std::to_string(i);
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM EMP WHERE EMPNO IN (" + list + ")"), "1\n");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM EMP WHERE EMPNO = ANY (" + list + ")"), "1\n");
  for (const char* op : {" NOT IN (", " = ANY (", " <> ALL ("}) {
    std::string sql = std::string("SELECT COUNT(*) FROM EMP WHERE EMPNO") + op + list + ", 7499)";
    std::string err = Exec(sql);
    EXPECT_EQ(err, "ORA-01795: maximum number of expressions in a list is 1000") << op;
    EXPECT_EQ(Cur.ErrorOffset(), sql.rfind("7499")) << op;
  }
}

// The deepest text the translator takes, on a thread with a small stack: no overflow.
TEST_F(Robustness, DeepestAcceptedNestingFitsASmallStack) {
  std::function<std::string()> work = [&] {
    std::string all;
    for (const std::string& sql :
         {Nested("SELECT X FROM (", "SELECT 1 X FROM DUAL", ")", 299),
          "SELECT " + Nested("(SELECT ", "1", " FROM DUAL)", 299) + " FROM DUAL",
          "SELECT " + Nested("NVL(", "1", ", 2)", 299) + " FROM DUAL",
          "SELECT " + Nested("(", "1", " || 'a')", 299) + " FROM DUAL",
          "SELECT 1 FROM DUAL WHERE " +
              Nested("EXISTS (SELECT 1 FROM DUAL WHERE ", "1 = 1", ")", 299),
          Nested("SELECT X FROM (", "SELECT (" + Nested("(", "1", ")", 148) + ") X FROM DUAL", ")",
                 150)})
      all += Exec(sql).substr(0, 9) + " ";
    return all;
  };
  EXPECT_EQ(OnSmallStack(work), "ORA-00935 ORA-00935 ORA-00935 ORA-00935 ORA-00935 ORA-00935 ");
}

TEST_F(Robustness, UserNamesNeverLeaveTheFolder) {
  TOraSession sys;
  ASSERT_TRUE(Logon(sys, "SYSTEM", "MANAGER"));
  TOraCursor sc;
  sc.SetSession(&sys);
  auto run = [&](const std::string& sql) {
    bool ok = Run(sc, sql);
    std::string err = ok ? "" : sc.ErrorText();
    sc.Close();
    return err.substr(0, 9);
  };
  for (const char* name :
       {"../../escaped", "..", "a/b", "con", "CON", "COM1", "x\\y", "abc", "ABC"})
    EXPECT_EQ(run(std::string("CREATE USER \"") + name + "\" IDENTIFIED BY PW"), "") << name;
  EXPECT_FALSE(fs::exists(fs::path(DataHome) / "escaped.db"));
  EXPECT_FALSE(fs::exists(fs::path(DbFolder()).parent_path().parent_path() / "escaped.db"));
  // Every file stays in the folder, and no two differ only in case.
  std::set<std::string> folded;
  int files = 0;
  for (auto& e : fs::recursive_directory_iterator(DataHome)) {
    if (!e.is_regular_file())
      continue;
    EXPECT_EQ(e.path().parent_path(), fs::path(DbFolder())) << e.path();
    std::string n = e.path().filename().string();
    for (auto& c : n)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    folded.insert(n);
    ++files;
  }
  EXPECT_EQ(folded.size(), static_cast<size_t>(files));

  // A user named like the user list gets a schema of its own; the list stays the list.
  EXPECT_EQ(run("CREATE USER \"system\" IDENTIFIED BY PW"), "");
  TOraSession lower;
  ASSERT_TRUE(Logon(lower, "\"system\"", "PW"));
  TOraCursor lc;
  lc.SetSession(&lower);
  EXPECT_EQ(Scalar(lc, "SELECT COUNT(*) FROM USER_TABLES"), "0");
  EXPECT_FALSE(Run(lc, "SELECT * FROM USERS"));
  lc.Close();
  lower.Disconnect();
  EXPECT_EQ(run("DROP USER \"system\""), "");
  for (const char* name : {"../../escaped", "abc"})
    EXPECT_EQ(run(std::string("DROP USER \"") + name + "\""), "") << name;
  sys.Disconnect();
  TOraSession again;
  EXPECT_TRUE(Logon(again, "SYSTEM", "MANAGER"));
  again.Disconnect();

  // A database made before names were mapped keeps its files as they were named then.
  Cur.Close();
  Ses.Disconnect();
  fs::path folder = DbFolder();
  for (auto& e : fs::directory_iterator(folder)) {
    std::string n = e.path().filename().string();
    if (n.rfind("%53YSTEM.", 0) == 0)
      fs::rename(e.path(), folder / ("SYSTEM." + n.substr(9)));
  }
  ASSERT_TRUE(fs::exists(folder / "SYSTEM.db"));
  ASSERT_TRUE(Logon(sys, "SYSTEM", "MANAGER"));
  EXPECT_EQ(run("CREATE TABLE OLD_STYLE (A NUMBER)"), "");
  sys.Disconnect();
  ASSERT_TRUE(Logon(sys, "SYSTEM", "MANAGER"));
  EXPECT_EQ(Scalar(sc, "SELECT COUNT(*) FROM USER_TABLES WHERE TABLE_NAME = 'OLD_STYLE'"), "1");
  EXPECT_FALSE(fs::exists(folder / "%53YSTEM.db"));
}

TEST_F(Robustness, BadArgumentsAtTheCallInterfaceAreErrors) {
  RawLogon raw;
  ASSERT_TRUE(raw.Logon("DEMO/DEMO"));
  ASSERT_EQ(raw.Parse("SELECT ENAME FROM EMP"), 0);
  char name[8] = "unused";
  int len = -5;
  int dbsize = 0, dsize = 0;
  short type = 0, prec = 0, scale = 0, nullok = 0;
  EXPECT_NE(OciIntr::odescr(raw.cda, 1, &dbsize, &type, name, &len, &dsize, &prec, &scale, &nullok),
            0);
  EXPECT_STREQ(name, "unused");
  len = 3;
  EXPECT_EQ(OciIntr::odescr(raw.cda, 1, &dbsize, &type, name, &len, &dsize, &prec, &scale, &nullok),
            0);
  EXPECT_EQ(len, 3);
  EXPECT_EQ(std::string(name, 3), "ENA");

  // A name longer than the buffer is cut between characters: "ほ" is 3 bytes, the buffer 5.
  ASSERT_EQ(raw.Parse("SELECT 'ほん' FROM DUAL"), 0);
  len = 5;
  EXPECT_EQ(OciIntr::odescr(raw.cda, 1, &dbsize, &type, name, &len, &dsize, &prec, &scale, &nullok),
            0);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(std::string(name, 4), "'ほ");

  // A host string that cannot even be examined is a failed logon, not an exception.
  unsigned char lda[64] = {}, hda[256] = {};
  std::string longPart = "/tmp/" + std::string(300, 'x') + "/db";
  EXPECT_EQ(OciIntr::olog(lda, hda, "DEMO", -1, "DEMO", -1, longPart.c_str(), -1, 0), 12154);
  fs::path loop = fs::path(DataHome) / "loop";
  fs::create_symlink(loop, loop);
  EXPECT_EQ(OciIntr::olog(lda, hda, "DEMO", -1, "DEMO", -1, (loop / "x").c_str(), -1, 0), 12154);
  if (geteuid() != 0) { // permissions do not stop root
    fs::path locked = fs::path(DataHome) / "locked";
    fs::create_directories(locked / "inner");
    fs::permissions(locked, fs::perms::none);
    EXPECT_EQ(OciIntr::olog(lda, hda, "DEMO", -1, "DEMO", -1, (locked / "inner").c_str(), -1, 0),
              12154);
    fs::permissions(locked, fs::perms::owner_all);
  }
}

} // namespace

namespace {

// A pattern whose every split of the rows is tried (two ways to read each row, no way to end the
// match) stops with an error within its bound; long matches are read on a 1 MB stack, and a
// group repeated past what fits there stops cleanly too.
TEST_F(Robustness, BacktrackingPatternsStopCleanly) {
  ASSERT_EQ(
      Exec(
          "CREATE TABLE PM AS SELECT LEVEL ID, MOD(LEVEL, 3) V FROM DUAL CONNECT BY LEVEL <= 5000"),
      "");
  const std::string head = "SELECT COUNT(*) FROM PM MATCH_RECOGNIZE (ORDER BY ID MEASURES COUNT(*) "
                           "N ALL ROWS PER MATCH ";
  std::function<std::string()> work = [&] {
    std::string all;
    for (const char* pattern :
         {"PATTERN ((A | B)+ C) DEFINE C AS V > 5)",
          "PATTERN ((A | B | A B)* C) DEFINE B AS V >= 0, C AS V < 0)",
          "PATTERN (A+ C) DEFINE C AS V = 0)", "PATTERN (A C) DEFINE A AS V = 2, C AS V = 0)",
          "PATTERN (A+? C) DEFINE C AS V = 0 AND ID = 4998)",
          "PATTERN ((A C)+) DEFINE C AS V >= 0)"}) {
      std::string rows = Rows(head + pattern);
      all +=
          (rows == "<failed>" ? Code(Exec(head + pattern)) : rows.substr(0, rows.size() - 1)) + " ";
    }
    return all;
  };
  EXPECT_EQ(OnSmallStack(work), "ORA-62518 ORA-62518 4998 3332 4998 ORA-62518 ");

  // A quantified group holding a quantifier: backtracking would try every way to split the text
  EXPECT_EQ(Rows("SELECT REGEXP_INSTR(RPAD('a', 40, 'a') || '!', '(a*)*b'), "
                 "REGEXP_REPLACE(RPAD('a', 40, 'a') || ' b', '^(a+)+ (b)$', '\\2') FROM DUAL"),
            "0|b\n");
}

} // namespace
