#include "Database.h"

#include "Dictionary.h"
#include "OraError.h"
#include "OraFunctions.h"
#include "Session.h"
#include "SqlTranslate.h"

#include <cstdlib>
#include <filesystem>
#include <sodium.h>
#include <sqlite3.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace ora {

namespace {

const char* kSystemFile = "system.db";

bool exec(sqlite3* db, const std::string& sql) {
  return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string hashPassword(const std::string& password) {
  char out[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    return {};
  return out;
}

bool initSodium() {
  static const bool ok = sodium_init() >= 0;
  return ok;
}

sqlite3* createSchemaFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, S_IRUSR | S_IWUSR);
  if (fd < 0) return nullptr;
  ::close(fd);
  sqlite3* db = openSchema(path);
  if (!db) return nullptr;
  exec(db, "PRAGMA journal_mode=WAL");
  ensureSchemaTables(db);
  return db;
}

const char* kDemoScript[] = {
    "CREATE TABLE DEPT (DEPTNO NUMBER(2) CONSTRAINT PK_DEPT PRIMARY KEY, DNAME VARCHAR2(14),"
    " LOC VARCHAR2(13))",
    "CREATE TABLE EMP (EMPNO NUMBER(4) CONSTRAINT PK_EMP PRIMARY KEY, ENAME VARCHAR2(10),"
    " JOB VARCHAR2(9), MGR NUMBER(4), HIREDATE DATE, SAL NUMBER(7,2), COMM NUMBER(7,2),"
    " DEPTNO NUMBER(2) CONSTRAINT FK_DEPTNO REFERENCES DEPT)",
    "INSERT INTO DEPT VALUES (10, 'ACCOUNTING', 'NEW YORK')",
    "INSERT INTO DEPT VALUES (20, 'RESEARCH', 'DALLAS')",
    "INSERT INTO DEPT VALUES (30, 'SALES', 'CHICAGO')",
    "INSERT INTO DEPT VALUES (40, 'OPERATIONS', 'BOSTON')",
    "INSERT INTO EMP VALUES (7369, 'SMITH', 'CLERK', 7902, '1980-12-17', 800, NULL, 20)",
    "INSERT INTO EMP VALUES (7499, 'ALLEN', 'SALESMAN', 7698, '1981-02-20', 1600, 300, 30)",
    "INSERT INTO EMP VALUES (7521, 'WARD', 'SALESMAN', 7698, '1981-02-22', 1250, 500, 30)",
    "INSERT INTO EMP VALUES (7566, 'JONES', 'MANAGER', 7839, '1981-04-02', 2975, NULL, 20)",
    "INSERT INTO EMP VALUES (7654, 'MARTIN', 'SALESMAN', 7698, '1981-09-28', 1250, 1400, 30)",
    "INSERT INTO EMP VALUES (7698, 'BLAKE', 'MANAGER', 7839, '1981-05-01', 2850, NULL, 30)",
    "INSERT INTO EMP VALUES (7782, 'CLARK', 'MANAGER', 7839, '1981-06-09', 2450, NULL, 10)",
    "INSERT INTO EMP VALUES (7788, 'SCOTT', 'ANALYST', 7566, '1987-04-19', 3000, NULL, 20)",
    "INSERT INTO EMP VALUES (7839, 'KING', 'PRESIDENT', NULL, '1981-11-17', 5000, NULL, 10)",
    "INSERT INTO EMP VALUES (7844, 'TURNER', 'SALESMAN', 7698, '1981-09-08', 1500, 0, 30)",
    "INSERT INTO EMP VALUES (7876, 'ADAMS', 'CLERK', 7788, '1987-05-23', 1100, NULL, 20)",
    "INSERT INTO EMP VALUES (7900, 'JAMES', 'CLERK', 7698, '1981-12-03', 950, NULL, 30)",
    "INSERT INTO EMP VALUES (7902, 'FORD', 'ANALYST', 7566, '1981-12-03', 3000, NULL, 20)",
    "INSERT INTO EMP VALUES (7934, 'MILLER', 'CLERK', 7782, '1982-01-23', 1300, NULL, 10)",
    "CREATE TABLE SAL_AUDIT (EMPNO NUMBER(4), OLD_SAL NUMBER(7,2), NEW_SAL NUMBER(7,2),"
    " CHANGED DATE DEFAULT SYSDATE)",
    "CREATE VIEW EMP_DEPT_V AS SELECT E.EMPNO, E.ENAME, D.DNAME FROM EMP E, DEPT D"
    " WHERE E.DEPTNO = D.DEPTNO",
    "CREATE SEQUENCE EMP_SEQ START WITH 8000 INCREMENT BY 1",
    "CREATE TRIGGER EMP_SAL_AUDIT\nAFTER UPDATE OF SAL ON EMP\nFOR EACH ROW\n"
    "BEGIN\n  INSERT INTO SAL_AUDIT (EMPNO, OLD_SAL, NEW_SAL, CHANGED)\n"
    "  VALUES (:OLD.EMPNO, :OLD.SAL, :NEW.SAL, SYSDATE);\nEND;",
    "CREATE PACKAGE EMP_PKG AS\n  PROCEDURE HIRE(P_ENAME IN VARCHAR2, P_DEPTNO IN NUMBER);\n"
    "  FUNCTION HEADCOUNT(P_DEPTNO IN NUMBER) RETURN NUMBER;\nEND EMP_PKG;",
    "CREATE PACKAGE BODY EMP_PKG AS\n"
    "  PROCEDURE HIRE(P_ENAME IN VARCHAR2, P_DEPTNO IN NUMBER) IS\n  BEGIN\n"
    "    INSERT INTO EMP (EMPNO, ENAME, HIREDATE, DEPTNO)\n"
    "    VALUES (EMP_SEQ.NEXTVAL, P_ENAME, SYSDATE, P_DEPTNO);\n  END HIRE;\n\n"
    "  FUNCTION HEADCOUNT(P_DEPTNO IN NUMBER) RETURN NUMBER IS\n    N NUMBER;\n  BEGIN\n"
    "    SELECT COUNT(*) INTO N FROM EMP WHERE DEPTNO = P_DEPTNO;\n    RETURN N;\n  END HEADCOUNT;\n"
    "END EMP_PKG;",
    "CREATE PROCEDURE RAISE_SAL(P_EMPNO IN NUMBER, P_PCT IN NUMBER) IS\nBEGIN\n"
    "  UPDATE EMP SET SAL = SAL * (1 + P_PCT / 100) WHERE EMPNO = P_EMPNO;\nEND RAISE_SAL;",
    "CREATE FUNCTION ANNUAL_SAL(P_EMPNO IN NUMBER) RETURN NUMBER IS\n  S NUMBER;\nBEGIN\n"
    "  SELECT SAL * 12 + NVL(COMM, 0) INTO S FROM EMP WHERE EMPNO = P_EMPNO;\n  RETURN S;\n"
    "END ANNUAL_SAL;",
    "CREATE TABLE EMP_NOTE (EMPNO NUMBER(4) CONSTRAINT PK_EMP_NOTE PRIMARY KEY"
    " CONSTRAINT FK_EMP_NOTE REFERENCES EMP, NOTE LONG)",
    "INSERT INTO EMP_NOTE VALUES (7839, '社長。創業メンバーの一人。')",
    "INSERT INTO EMP_NOTE VALUES (7788, 'Analyst; transferred from the Dallas office in 1987.')",
    "CREATE TABLE EMP_BADGE (EMPNO NUMBER(4) CONSTRAINT PK_EMP_BADGE PRIMARY KEY, BADGE RAW(8))",
    "INSERT INTO EMP_BADGE VALUES (7369, '0A1B2C3D4E5F6071')",
    "INSERT INTO EMP_BADGE VALUES (7499, 'FF00FF00')",
};

} // namespace

std::string normalizeName(const std::string& s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
  std::string r = s;
  for (auto& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

std::string defaultDatabaseFolder() {
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) return std::string(x) + "/tessel3/default";
  if (const char* h = std::getenv("HOME"); h && *h) return std::string(h) + "/.local/share/tessel3/default";
  return std::string("tessel3/default");
}

std::string schemaPath(const std::string& folder, const std::string& user) {
  return folder + "/" + user + ".db";
}

sqlite3* openSchema(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  // A double-quoted name must never silently become a string.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  sqlite3_busy_timeout(db, 2000);
  exec(db, "PRAGMA foreign_keys=ON");
  exec(db, "PRAGMA synchronous=NORMAL");
  registerFunctions(db);
  // The schema file is named after its user: <USER>.db.
  registerOraFunctions(db, fs::path(path).stem().string());
  return db;
}

void runDdl(sqlite3* db, const std::vector<std::string>& stmts, const std::string& verb) {
  int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) throw fromSqlite(rc, sqlite3_errmsg(db), verb);
  for (auto& s : stmts) {
    rc = sqlite3_exec(db, s.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      OraError e = fromSqlite(rc, sqlite3_errmsg(db), verb);
      exec(db, "ROLLBACK");
      throw e;
    }
  }
  rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    OraError e = fromSqlite(rc, sqlite3_errmsg(db), verb);
    exec(db, "ROLLBACK");
    throw e;
  }
}

namespace {
// Writes a user's password hash with `sql` (?1 name, ?2 hash) into the folder's user list.
// Returns 0 or an Oracle error number; `rowid` and `changed` tell what the statement did.
int writeUser(const std::string& folder, const char* sql, const std::string& user,
              const std::string& password, int64_t& rowid, int& changed) {
  if (!initSodium()) return 3113;
  std::string hash = hashPassword(normalizeName(password));
  if (hash.empty()) return 3113;
  sqlite3* sys = openSchema(folder + "/" + kSystemFile);
  if (!sys) return 12154;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(sys, sql, -1, &st, nullptr);
  sqlite3_bind_text(st, 1, user.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 2, hash.c_str(), -1, SQLITE_TRANSIENT);
  int rc = sqlite3_step(st);
  sqlite3_finalize(st);
  rowid = sqlite3_last_insert_rowid(sys);
  changed = sqlite3_changes(sys);
  sqlite3_close(sys);
  return rc == SQLITE_DONE ? 0 : -1;
}
} // namespace

int createUser(const std::string& folder, const std::string& user, const std::string& password) {
  int64_t uid = 0;
  int changed = 0;
  int rc = writeUser(folder, "INSERT INTO USERS (NAME, HASH) VALUES (?1, ?2)", user, password, uid, changed);
  if (rc) return rc < 0 ? 1920 : rc;
  std::string path = schemaPath(folder, user);
  sqlite3* db = createSchemaFile(path);
  if (!db) return 3113;
  // The user's number, for UID.
  exec(db, "PRAGMA user_version = " + std::to_string(uid));
  sqlite3_close(db);
  return 0;
}

int setPassword(const std::string& folder, const std::string& user, const std::string& password) {
  int64_t rowid = 0;
  int changed = 0;
  int rc = writeUser(folder, "UPDATE USERS SET HASH = ?2 WHERE NAME = ?1", user, password, rowid, changed);
  if (rc) return rc < 0 ? 3113 : rc;
  return changed ? 0 : 1918;
}

bool userExists(const std::string& folder, const std::string& user) {
  return fs::is_regular_file(schemaPath(folder, user));
}

int dropUser(const std::string& folder, const std::string& user) {
  sqlite3* sys = openSchema(folder + "/" + kSystemFile);
  if (!sys) return 12154;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(sys, "DELETE FROM USERS WHERE NAME = ?1", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, user.c_str(), -1, SQLITE_TRANSIENT);
  int rc = sqlite3_step(st);
  sqlite3_finalize(st);
  int changed = sqlite3_changes(sys);
  sqlite3_close(sys);
  if (rc != SQLITE_DONE) return 3113;
  if (!changed) return 1918;
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    fs::remove(schemaPath(folder, user) + suffix, ec);
    fs::remove(sequencePath(folder, user) + suffix, ec);
  }
  return 0;
}

int createDatabase(const std::string& folder, const std::string& systemPassword, bool withDemo) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return 12154;
  ::chmod(folder.c_str(), S_IRWXU);
  std::string sysPath = folder + "/" + kSystemFile;
  {
    int fd = ::open(sysPath.c_str(), O_CREAT | O_EXCL | O_WRONLY, S_IRUSR | S_IWUSR);
    if (fd < 0) return 955;
    ::close(fd);
  }
  sqlite3* sys = openSchema(sysPath);
  if (!sys) return 12154;
  exec(sys, "PRAGMA journal_mode=WAL");
  bool ok = exec(sys, "CREATE TABLE USERS (NAME TEXT PRIMARY KEY, HASH TEXT NOT NULL)");
  sqlite3_close(sys);
  if (!ok) return 3113;
  if (int rc = createUser(folder, "SYSTEM", systemPassword)) return rc;
  if (!withDemo) return 0;
  if (int rc = createUser(folder, "DEMO", "DEMO")) return rc;
  auto demo = Session::open(folder, "DEMO");
  if (!demo) return 3113;
  try {
    for (const char* s : kDemoScript) demo->execOracle(s);
    demo->commit();
  } catch (const OraError& e) {
    return e.code;
  }
  return 0;
}

int resolveDatabase(const std::string& host, std::string& folder) {
  if (!host.empty()) {
    folder = host;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return fs::is_regular_file(folder + "/" + kSystemFile) ? 0 : 12154;
  }
  folder = defaultDatabaseFolder();
  if (fs::is_regular_file(folder + "/" + kSystemFile)) return 0;
  // Built aside and renamed into place, so no one ever sees a half-made database.
  std::error_code ec;
  fs::path parent = fs::path(folder).parent_path();
  fs::create_directories(parent, ec);
  std::string tmp = folder + ".new-" + std::to_string(::getpid());
  fs::remove_all(tmp, ec);
  if (int rc = createDatabase(tmp, "MANAGER", true)) {
    fs::remove_all(tmp, ec);
    return rc;
  }
  fs::rename(tmp, folder, ec);
  if (ec) fs::remove_all(tmp, ec); // another process made it first
  return fs::is_regular_file(folder + "/" + kSystemFile) ? 0 : 12154;
}

int verifyUser(const std::string& folder, const std::string& user, const std::string& password) {
  if (!initSodium()) return 3113;
  sqlite3* sys = nullptr;
  std::string path = folder + "/" + kSystemFile;
  if (sqlite3_open_v2(path.c_str(), &sys, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(sys);
    return 12154;
  }
  sqlite3_busy_timeout(sys, 2000);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(sys, "SELECT HASH FROM USERS WHERE NAME = ?1", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, user.c_str(), -1, SQLITE_TRANSIENT);
  int result = 1017;
  if (st && sqlite3_step(st) == SQLITE_ROW) {
    std::string hash = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    std::string pw = normalizeName(password);
    if (crypto_pwhash_str_verify(hash.c_str(), pw.data(), pw.size()) == 0) result = 0;
  }
  sqlite3_finalize(st);
  sqlite3_close(sys);
  return result;
}

} // namespace ora
