// Transactions under storage failures, crashes and concurrency: a full disk, kill -9 in the
// middle of DDL, a program that never logs off, damaged files, read consistency and lock waits.
#include "EngineFixture.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sqlite3.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Code(const std::string& error) { return error.substr(0, 9); }

// A VFS around the default one whose writes fail with "disk full" on demand. It is this
// process's default, so the engine's connections go through it.
struct FaultVfs {
  static inline std::atomic<bool> Full{false};
  static inline sqlite3_vfs* Base = nullptr;
  static inline sqlite3_vfs Vfs{};
  static inline sqlite3_io_methods Io{};

  struct File {
    sqlite3_file base;
    sqlite3_file* real;
  };
  static sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

  static int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* out) {
    auto* file = reinterpret_cast<File*>(f);
    file->real = reinterpret_cast<sqlite3_file*>(file + 1);
    file->base.pMethods = nullptr;
    int rc = Base->xOpen(Base, name, file->real, flags, out);
    if (file->real->pMethods)
      file->base.pMethods = &Io;
    return rc;
  }

  static bool Install() {
    Base = sqlite3_vfs_find(nullptr);
    Vfs = *Base;
    Vfs.zName = "fault";
    Vfs.szOsFile = static_cast<int>(sizeof(File)) + Base->szOsFile;
    Vfs.xOpen = Open;
    Io.iVersion = 3;
    Io.xClose = [](sqlite3_file* f) {
      int rc = Real(f)->pMethods->xClose(Real(f));
      f->pMethods = nullptr;
      return rc;
    };
    Io.xRead = [](sqlite3_file* f, void* p, int n, sqlite3_int64 o) {
      return Real(f)->pMethods->xRead(Real(f), p, n, o);
    };
    Io.xWrite = [](sqlite3_file* f, const void* p, int n, sqlite3_int64 o) {
      return Full ? SQLITE_FULL : Real(f)->pMethods->xWrite(Real(f), p, n, o);
    };
    Io.xTruncate = [](sqlite3_file* f, sqlite3_int64 s) {
      return Real(f)->pMethods->xTruncate(Real(f), s);
    };
    Io.xSync = [](sqlite3_file* f, int fl) { return Real(f)->pMethods->xSync(Real(f), fl); };
    Io.xFileSize = [](sqlite3_file* f, sqlite3_int64* s) {
      return Real(f)->pMethods->xFileSize(Real(f), s);
    };
    Io.xLock = [](sqlite3_file* f, int l) { return Real(f)->pMethods->xLock(Real(f), l); };
    Io.xUnlock = [](sqlite3_file* f, int l) { return Real(f)->pMethods->xUnlock(Real(f), l); };
    Io.xCheckReservedLock = [](sqlite3_file* f, int* r) {
      return Real(f)->pMethods->xCheckReservedLock(Real(f), r);
    };
    Io.xFileControl = [](sqlite3_file* f, int op, void* a) {
      return Real(f)->pMethods->xFileControl(Real(f), op, a);
    };
    Io.xSectorSize = [](sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); };
    Io.xDeviceCharacteristics = [](sqlite3_file* f) {
      return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
    };
    Io.xShmMap = [](sqlite3_file* f, int pg, int sz, int ext, void volatile** p) {
      return Real(f)->pMethods->xShmMap(Real(f), pg, sz, ext, p);
    };
    Io.xShmLock = [](sqlite3_file* f, int off, int n, int fl) {
      return Real(f)->pMethods->xShmLock(Real(f), off, n, fl);
    };
    Io.xShmBarrier = [](sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); };
    Io.xShmUnmap = [](sqlite3_file* f, int del) {
      return Real(f)->pMethods->xShmUnmap(Real(f), del);
    };
    Io.xFetch = [](sqlite3_file* f, sqlite3_int64 o, int n, void** p) {
      return Real(f)->pMethods->xFetch(Real(f), o, n, p);
    };
    Io.xUnfetch = [](sqlite3_file* f, sqlite3_int64 o, void* p) {
      return Real(f)->pMethods->xUnfetch(Real(f), o, p);
    };
    return sqlite3_vfs_register(&Vfs, 1) == SQLITE_OK;
  }
};
const bool kFaultVfs = FaultVfs::Install();

class Durability : public Engine {
protected:
  void TearDown() override {
    FaultVfs::Full = false;
    Engine::TearDown();
  }
  // A second logon of the same user, to see what is committed.
  std::string Committed(const std::string& sql) {
    TOraSession other;
    EXPECT_TRUE(Logon(other, "DEMO", "DEMO"));
    TOraCursor c;
    c.SetSession(&other);
    std::string v = Scalar(c, sql);
    other.Disconnect();
    return v;
  }
  // Runs `body` in a child process on its own logon, which is killed after `ms` milliseconds
  // once it is logged on.
  void KillDuring(const std::string& user, int ms, const std::function<void()>& body) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      TOraSession s;
      if (!Logon(s, user, user == "SYSTEM" ? "MANAGER" : user))
        _exit(3);
      Cur.SetSession(&s);
      char c = 'r';
      if (write(ready[1], &c, 1) != 1)
        _exit(4);
      body();
      _exit(0);
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
  }
};

TEST_F(Durability, DiskFullInsideATransactionIsNoticed) {
  ASSERT_TRUE(kFaultVfs);
  ASSERT_EQ(Exec("CREATE TABLE BIG (ID NUMBER, PAD VARCHAR2(4000))"), "");
  for (int i = 1; i <= 50; ++i)
    ASSERT_EQ(Exec("INSERT INTO BIG VALUES (" + std::to_string(i) + ", 'early')"), "");
  // A statement that writes far more than the page cache holds: its writes reach the disk.
  FaultVfs::Full = true;
  std::string err = Exec("INSERT INTO BIG SELECT 1, RPAD('x', 4000, 'y') FROM EMP A, EMP B, EMP C");
  FaultVfs::Full = false;
  EXPECT_EQ(Code(err), "ORA-01653") << err;
  // SQLite may have taken the whole transaction with the statement; the session knows which,
  // and then tells the next statement.
  std::string early = Scalar(Cur, "SELECT COUNT(*) FROM BIG");
  bool lost = early.find("ORA-02091") != std::string::npos;
  if (!lost) {
    EXPECT_EQ(early, "50");
  }
  EXPECT_EQ(err.find("rolled back") != std::string::npos, lost) << err;
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM BIG"), lost ? "0" : "50");
  EXPECT_EQ(Exec("INSERT INTO BIG VALUES (1000, 'later')"), "");
  // Later work is one transaction again: the user's rollback undoes all of it.
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM BIG"), "0");
  ASSERT_TRUE(Ses.Rollback());
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM BIG"), "0");
  EXPECT_EQ(Scalar(Cur, "SELECT COUNT(*) FROM BIG"), "0");

  // A commit that cannot be written fails as a full disk and never passes for done.
  ASSERT_EQ(Exec("INSERT INTO BIG VALUES (1, 'a')"), "");
  FaultVfs::Full = true;
  EXPECT_FALSE(Ses.Commit());
  EXPECT_EQ(Ses.ReturnCode(), 1653);
  FaultVfs::Full = false;
  bool second = Ses.Commit();
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM BIG"), second ? "1" : "0");
  if (!second) {
    EXPECT_EQ(Ses.ReturnCode(), 2091);
  }
}

TEST_F(Durability, SequenceDdlIsAllOrNothingAcrossKill9) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 16; ++trial) {
    KillDuring("DEMO", static_cast<int>(rng() % 25), [this] {
      for (;;) {
        for (int k = 0; k < 4; ++k)
          Exec("CREATE SEQUENCE KS" + std::to_string(k));
        for (int k = 0; k < 4; ++k)
          Exec("DROP SEQUENCE KS" + std::to_string(k));
      }
    });
    Cur.Close();
    ASSERT_TRUE(Ses.Disconnect());
    ASSERT_TRUE(Logon(Ses, "DEMO", "DEMO")); // a new logon settles what the kill left
    // Both halves agree: the sequence file and the object list name the same sequences.
    EXPECT_EQ(
        Rows("SELECT SEQUENCE_NAME FROM USER_SEQUENCES WHERE SEQUENCE_NAME LIKE 'KS%' ORDER BY 1"),
        Rows("SELECT OBJECT_NAME FROM USER_OBJECTS WHERE OBJECT_TYPE = 'SEQUENCE' AND "
             "OBJECT_NAME LIKE 'KS%' ORDER BY 1"))
        << "trial " << trial;
    for (int k = 0; k < 4; ++k) {
      std::string name = "KS" + std::to_string(k);
      if (Exec("DROP SEQUENCE " + name).empty())
        continue;
      EXPECT_EQ(Exec("CREATE SEQUENCE " + name), "") << "trial " << trial;
      EXPECT_EQ(Exec("DROP SEQUENCE " + name), "") << "trial " << trial;
    }
  }
}

TEST_F(Durability, UserDdlIsAllOrNothingAcrossKill9) {
  std::mt19937 rng(11);
  TOraSession sys;
  TOraCursor sc;
  for (int trial = 0; trial < 10; ++trial) {
    KillDuring("SYSTEM", 20 + static_cast<int>(rng() % 200), [this] {
      for (;;) {
        for (int k = 0; k < 2; ++k)
          Exec("CREATE USER KU" + std::to_string(k) + " IDENTIFIED BY PW");
        for (int k = 0; k < 2; ++k)
          Exec("DROP USER KU" + std::to_string(k));
      }
    });
    ASSERT_TRUE(Logon(sys, "SYSTEM", "MANAGER"));
    sc.SetSession(&sys);
    for (int k = 0; k < 2; ++k) {
      std::string name = "KU" + std::to_string(k);
      // A user is there whole (it logs on) or not at all; it can be dropped and made again.
      TOraSession u;
      bool whole = Logon(u, name, "PW");
      if (!whole) {
        EXPECT_EQ(u.ReturnCode(), 1017) << "trial " << trial;
      }
      u.Disconnect();
      sc.SQL() = {"DROP USER " + name};
      bool dropped = sc.Open() && sc.ParseQuiet() && sc.Exec();
      EXPECT_EQ(dropped, whole) << "trial " << trial << " " << sc.ErrorText();
      EXPECT_TRUE(Run(sc, "CREATE USER " + name + " IDENTIFIED BY PW")) << sc.ErrorText();
      EXPECT_TRUE(Run(sc, "DROP USER " + name)) << sc.ErrorText();
      sc.Close();
    }
    sys.Disconnect();
  }
}

TEST_F(Durability, TornObjectsLeftByEarlierVersionsAreRepaired) {
  Cur.Close();
  ASSERT_TRUE(Ses.Disconnect());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((DbFolder() + "/DEMO.db").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(
                db, "INSERT INTO \"TESSEL$OBJECTS\" (NAME, TYPE) VALUES ('HALF_MADE', 'SEQUENCE')",
                nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ASSERT_EQ(sqlite3_open((DbFolder() + "/DEMO.seq").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "INSERT INTO SEQUENCES (NAME, MINV, MAXV, INCR, CYCLE, CACHE, NEXTV)"
                         " VALUES ('HALF_DROPPED', 1, 100, 1, 0, 20, 5)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ASSERT_EQ(sqlite3_open((DbFolder() + "/system.db").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "INSERT INTO USERS (NAME, HASH) VALUES ('GHOST', 'x')", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);

  ASSERT_TRUE(Logon(Ses, "DEMO", "DEMO"));
  EXPECT_EQ(Exec("CREATE SEQUENCE HALF_MADE"), "");
  EXPECT_EQ(Exec("CREATE SEQUENCE HALF_DROPPED"), "");
  EXPECT_EQ(Scalar(Cur, "SELECT HALF_DROPPED.NEXTVAL FROM DUAL"), "1");
  EXPECT_EQ(Rows("SELECT SEQUENCE_NAME FROM USER_SEQUENCES ORDER BY 1"),
            "EMP_SEQ\nHALF_DROPPED\nHALF_MADE\n");
  TOraSession sys;
  ASSERT_TRUE(Logon(sys, "SYSTEM", "MANAGER"));
  TOraCursor sc;
  sc.SetSession(&sys);
  EXPECT_TRUE(Run(sc, "CREATE USER GHOST IDENTIFIED BY BOO")) << sc.ErrorText();
  TOraSession ghost;
  EXPECT_TRUE(Logon(ghost, "GHOST", "BOO"));
}

TEST_F(Durability, QueriesSeeTheDataAsOfTheirStart) {
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (50, 'OWN', 'BEFORE')"), "");
  TOraCursor reader;
  reader.SetSession(&Ses);
  reader.SetNumberOfRows(2);
  ASSERT_TRUE(Run(reader, "SELECT DEPTNO FROM DEPT"));
  int delivered = 0, next = 60;
  uint32_t prev = 0;
  for (;;) {
    bool more = reader.FetchRowsQuiet();
    uint32_t now = reader.RowsProcessed();
    // every fetched row makes a new one, through another cursor of the same logon
    for (uint32_t r = prev; r < now; ++r, ++delivered)
      ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (" + std::to_string(next++) + ", 'NEW', 'X')"), "");
    if (!more || now == prev || delivered > 100)
      break;
    prev = now;
  }
  EXPECT_EQ(delivered, 5); // the four demo rows and the one inserted before the query
  reader.Close();

  // The same for the dictionary, which a query refills, and for DDL and rollback.
  TOraCursor tables;
  tables.SetSession(&Ses);
  tables.SetNumberOfRows(1);
  ASSERT_TRUE(Run(tables, "SELECT TABLE_NAME FROM USER_TABLES"));
  ASSERT_TRUE(tables.Fetch());
  ASSERT_EQ(Exec("CREATE TABLE AAA_NEW (A NUMBER)"), "");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM USER_TABLES"), "8\n");
  ASSERT_TRUE(Ses.Rollback());
  int rest = 0;
  while (tables.Fetch())
    ++rest;
  EXPECT_EQ(rest, 6);
  EXPECT_EQ(tables.ReturnCode(), 1403);
}

TEST_F(Durability, EndingWithoutLogoffRollsBack) {
  for (bool commit : {false, true}) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      TOraSession s;
      TOraCursor c;
      c.SetSession(&s);
      if (!Logon(s, "DEMO", "DEMO") || !Run(c, std::string("INSERT INTO DEPT VALUES (") +
                                                   (commit ? "78" : "77") + ", 'GONE', 'X')"))
        std::exit(3);
      if (commit && !s.Commit())
        std::exit(4);
      std::exit(0); // static destructors run; no logoff
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 77"), "0");
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 78"), "1");
}

TEST_F(Durability, DdlThatParsedCommitsBeforeItFails) {
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (50, 'A', 'B')"), "");
  EXPECT_EQ(Code(Exec("CREATE TABLE DEPT (A NUMBER)")), "ORA-00955");
  ASSERT_TRUE(Ses.Rollback());
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 50"), "1");
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (51, 'A', 'B')"), "");
  EXPECT_EQ(Code(Exec("DROP TABLE NO_SUCH_TABLE")), "ORA-00942");
  ASSERT_TRUE(Ses.Rollback());
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 51"), "1");
  // A statement that does not parse ends nothing.
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (52, 'A', 'B')"), "");
  EXPECT_NE(Exec("CREATE TABLE (A NUMBER)"), "");
  ASSERT_TRUE(Ses.Rollback());
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 52"), "0");
  // Parsed while the name was taken, run after it was freed: it runs.
  TOraCursor ddl;
  ddl.SetSession(&Ses);
  ddl.SQL() = {"CREATE TABLE T1 (A NUMBER)"};
  ASSERT_EQ(Exec("CREATE TABLE T1 (B NUMBER)"), "");
  ASSERT_TRUE(ddl.Open() && ddl.Parse());
  ASSERT_EQ(Exec("DROP TABLE T1"), "");
  EXPECT_TRUE(ddl.Exec());
  EXPECT_EQ(Rows("SELECT COLUMN_NAME FROM COLS WHERE TABLE_NAME = 'T1'"), "A\n");
}

TEST_F(Durability, ALockWaitHoldsUpOnlyItsOwnLogon) {
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (50, 'A', 'B')"), ""); // holds the write lock
  TOraSession waiter, bystander;
  ASSERT_TRUE(Logon(waiter, "DEMO", "DEMO"));
  ASSERT_TRUE(Logon(bystander, "SYSTEM", "MANAGER"));
  std::atomic<bool> started{false}, done{false};
  int code = 0;
  std::thread t([&] {
    TOraCursor c;
    c.SetSession(&waiter);
    c.SQL() = {"INSERT INTO DEPT VALUES (60, 'B', 'C')"};
    bool ok = c.Open() && c.ParseQuiet();
    started = true;
    ok = ok && c.Exec(); // waits for the lock, then gives up
    code = c.ReturnCode();
    done = true;
  });
  while (!started)
    std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  TOraCursor c;
  c.SetSession(&bystander);
  EXPECT_EQ(Scalar(c, "SELECT COUNT(*) FROM USER_TABLES"), "0");
  EXPECT_FALSE(done) << "the other logon's query waited for the lock wait";
  t.join();
  EXPECT_EQ(code, 54);
}

// LOCK TABLE holds the tables against other logons' changes until the transaction ends, even
// when the locking transaction has changed nothing itself.
TEST_F(Durability, LockTableHoldsOffOtherWritersUntilCommit) {
  ASSERT_EQ(Exec("LOCK TABLE DEPT IN EXCLUSIVE MODE NOWAIT"), "");
  TOraSession other;
  ASSERT_TRUE(Logon(other, "DEMO", "DEMO"));
  TOraCursor c;
  c.SetSession(&other);
  c.SQL() = {"UPDATE DEPT SET LOC = 'X' WHERE DEPTNO = 10"};
  ASSERT_TRUE(c.Open() && c.ParseQuiet());
  EXPECT_FALSE(c.Exec());
  EXPECT_EQ(c.ReturnCode(), 54);
  EXPECT_EQ(Scalar(c, "SELECT COUNT(*) FROM DEPT"), "4"); // readers never wait
  ASSERT_TRUE(Ses.Commit());
  c.SQL() = {"UPDATE DEPT SET LOC = 'X' WHERE DEPTNO = 10"};
  ASSERT_TRUE(c.Open() && c.ParseQuiet());
  EXPECT_TRUE(c.Exec());
  EXPECT_EQ(c.RowsProcessed(), 1u);
}

TEST_F(Durability, DamagedFilesGiveStorageErrors) {
  Cur.Close();
  ASSERT_TRUE(Ses.Disconnect());
  auto overwrite = [](const std::string& path, long at, const std::string& bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(at);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  };
  // A damaged page inside a table: reading it is a corrupt block, not a missing table.
  std::string demo = DbFolder() + "/DEMO.db";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(demo.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_schema WHERE name = 'EMP'", -1, &st,
                               nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  long page = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  sqlite3_close(db);
  overwrite(demo, (page - 1) * 4096, std::string(64, '\x7f'));
  ASSERT_TRUE(Logon(Ses, "DEMO", "DEMO"));
  EXPECT_EQ(Code(Exec("SELECT * FROM EMP")), "ORA-01578");
  EXPECT_EQ(Exec("SELECT * FROM DEPT"), "");
  Cur.Close();
  Ses.Disconnect();

  // A schema file that is not a database at all fails the logon as such.
  overwrite(demo, 0, std::string(100, 'g'));
  EXPECT_FALSE(Logon(Ses, "DEMO", "DEMO"));
  EXPECT_EQ(Ses.ReturnCode(), 1578);
  // A user list of garbage is not a wrong password.
  overwrite(DbFolder() + "/system.db", 0, std::string(100, 'g'));
  TOraSession sys;
  EXPECT_FALSE(Logon(sys, "SYSTEM", "MANAGER"));
  EXPECT_EQ(sys.ReturnCode(), 1578);
}

} // namespace

TEST_F(Durability, EveryParseSeesTheSchemaAsItIsNow) {
  auto width = [&](int f) {
    auto* field = dynamic_cast<TOraField*>(Cur.Fields(f));
    return field ? field->DisplaySize() : -1;
  };
  ASSERT_EQ(Exec("CREATE VIEW V AS SELECT ENAME X FROM EMP"), "");
  // what this logon learns of the schema: T is no table, EMP has 8 columns, V's column is text
  EXPECT_EQ(Code(Exec("SELECT * FROM T")), "ORA-00942");
  EXPECT_EQ(Code(Exec("INSERT INTO T VALUES (1, 'abc')")), "ORA-00942");
  EXPECT_EQ(Code(Exec("INSERT INTO EMP VALUES (1, 'A', 'B', NULL, NULL, 1, 1, 10, 5)")),
            "ORA-00913");
  ASSERT_EQ(Exec("SELECT * FROM EMP"), "");
  EXPECT_EQ(Cur.FieldCount(), 8);
  ASSERT_EQ(Exec("SELECT X FROM V"), "");
  EXPECT_EQ(width(0), 10);
  // another logon of the same user changes it, in this process ...
  TOraSession other;
  ASSERT_TRUE(Logon(other, "DEMO", "DEMO"));
  TOraCursor oc;
  oc.SetSession(&other);
  ASSERT_TRUE(Run(oc, "CREATE TABLE T (A NUMBER, B VARCHAR2(5))")) << oc.ErrorText();
  ASSERT_TRUE(Run(oc, "ALTER TABLE EMP ADD (BONUS NUMBER(7,2))")) << oc.ErrorText();
  oc.Close();
  other.Disconnect();
  ASSERT_EQ(Exec("SELECT * FROM T"), "");
  EXPECT_EQ(Cur.FieldCount(), 2);
  EXPECT_EQ(Code(Exec("INSERT INTO T VALUES (1)")), "ORA-00947");
  EXPECT_EQ(Exec("INSERT INTO T VALUES (1, 'abc')"), "");
  EXPECT_EQ(Exec("INSERT INTO EMP VALUES (1, 'A', 'B', NULL, NULL, 1, 1, 10, 5)"), "");
  ASSERT_EQ(Exec("SELECT * FROM EMP E"), "");
  EXPECT_EQ(Cur.FieldCount(), 9);
  ASSERT_TRUE(Ses.Commit());
  // ... and in another process
  auto elsewhere = [&](const std::vector<std::string>& sqls) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      TOraSession s;
      TOraCursor c;
      c.SetSession(&s);
      if (!Logon(s, "DEMO", "DEMO"))
        _exit(3);
      for (const auto& sql : sqls)
        if (!Run(c, sql))
          _exit(4);
      c.Close();
      _exit(s.Disconnect() ? 0 : 5);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  };
  elsewhere({"DROP TABLE T", "CREATE OR REPLACE VIEW V AS SELECT DNAME X, LOC Y FROM DEPT"});
  EXPECT_EQ(Code(Exec("SELECT * FROM T")), "ORA-00942");
  EXPECT_EQ(Code(Exec("INSERT INTO T VALUES (1, 'abc')")), "ORA-00942");
  ASSERT_EQ(Exec("SELECT * FROM V"), "");
  ASSERT_EQ(Cur.FieldCount(), 2);
  EXPECT_EQ(width(0), 14);
  elsewhere({"CREATE TABLE T (A DATE)", "ALTER TABLE EMP DROP COLUMN BONUS"});
  ASSERT_EQ(Exec("SELECT * FROM T"), "");
  EXPECT_EQ(Cur.FieldCount(), 1);
  EXPECT_EQ(Code(Exec("INSERT INTO T VALUES ('abc')")), "ORA-01858");
  ASSERT_EQ(Exec("SELECT * FROM EMP"), "");
  EXPECT_EQ(Cur.FieldCount(), 8);
  EXPECT_EQ(Code(Exec("INSERT INTO EMP VALUES (2, 'A', 'B', NULL, NULL, 1, 1, 10, 5)")),
            "ORA-00913");
  // this logon's own DDL, also inside an open transaction of its own
  ASSERT_EQ(Exec("INSERT INTO DEPT VALUES (50, 'A', 'B')"), "");
  ASSERT_EQ(Exec("DROP TABLE T"), "");
  EXPECT_EQ(Code(Exec("SELECT * FROM T")), "ORA-00942");
  ASSERT_EQ(Exec("CREATE TABLE T (A NUMBER, B NUMBER, C NUMBER)"), "");
  EXPECT_EQ(Code(Exec("INSERT INTO T VALUES (1, 2)")), "ORA-00947");
  EXPECT_EQ(Exec("INSERT INTO T VALUES (1, 2, 3)"), "");
}
