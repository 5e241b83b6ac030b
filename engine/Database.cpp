#include "Database.h"
#include "BinaryFloats.h"
#include "Booleans.h"
#include "Collections.h"
#include "LateralRows.h"
#include "ModelClause.h"
#include "ObjectTypes.h"
#include "XmlFunctions.h"
#include "XmlRead.h"

#include "ByteFunctions.h"
#include "CType.h"
#include "Charset.h"
#include "Dictionary.h"
#include "OraError.h"
#include "JsonFunctions.h"
#include "DdlPartition.h"
#include "ListAgg.h"
#include "OraFunctions.h"
#include "RegexpFunctions.h"
#include "OraValues.h"
#include "Session.h"
#include "SqlText.h"
#include "SqlTranslate.h"

#include <algorithm>
#include <cstdio>
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

// Set when the library loads, before SQLite starts: SQLite's memory statistics take a lock and
// bookkeeping on each of the few hundred allocations a prepare makes, and no one reads them.
// Refused (harmlessly) when the host started SQLite first.
[[maybe_unused]] const int kMemoryConfigured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);

bool exec(sqlite3* db, const std::string& sql) { return execOne(db, sql) == SQLITE_OK; }

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

sqlite3* createSchemaFile(const std::string& path, const std::string& user) {
  int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, S_IRUSR | S_IWUSR);
  if (fd < 0) return nullptr;
  ::close(fd);
  sqlite3* db = openSchema(path, user);
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
    // No foreign key to EMP: emptying EMP and loading it again (a CSV import) must stay possible.
    "CREATE TABLE EMP_NOTE (EMPNO NUMBER(4) CONSTRAINT PK_EMP_NOTE PRIMARY KEY, NOTE LONG)",
    "INSERT INTO EMP_NOTE VALUES (7839, '社長。創業メンバーの一人。')",
    "INSERT INTO EMP_NOTE VALUES (7788, 'Analyst; transferred from the Dallas office in 1987.')",
    "CREATE TABLE EMP_BADGE (EMPNO NUMBER(4) CONSTRAINT PK_EMP_BADGE PRIMARY KEY, BADGE RAW(8))",
    "INSERT INTO EMP_BADGE VALUES (7369, '0A1B2C3D4E5F6071')",
    "INSERT INTO EMP_BADGE VALUES (7499, 'FF00FF00')",
    // The rest of the classic demo: salary grades for non-equijoins, and an empty BONUS table.
    "CREATE TABLE BONUS (ENAME VARCHAR2(10), JOB VARCHAR2(9), SAL NUMBER, COMM NUMBER)",
    "CREATE TABLE SALGRADE (GRADE NUMBER, LOSAL NUMBER, HISAL NUMBER)",
    "INSERT INTO SALGRADE VALUES (1, 700, 1200)",
    "INSERT INTO SALGRADE VALUES (2, 1201, 1400)",
    "INSERT INTO SALGRADE VALUES (3, 1401, 2000)",
    "INSERT INTO SALGRADE VALUES (4, 2001, 3000)",
    "INSERT INTO SALGRADE VALUES (5, 3001, 9999)",
};

} // namespace

std::string normalizeName(const std::string& s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
  std::string r = s;
  for (auto& c : r) c = static_cast<char>(ora::upperC(static_cast<unsigned char>(c)));
  return r;
}

std::string defaultDatabaseFolder() {
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) return std::string(x) + "/tessel3/default";
  if (const char* h = std::getenv("HOME"); h && *h) return std::string(h) + "/.local/share/tessel3/default";
  return std::string("tessel3/default");
}

namespace {
bool plainChar(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#';
}
std::string escaped(unsigned char c) {
  char b[4];
  std::snprintf(b, sizeof b, "%%%02X", c);
  return b;
}
} // namespace

std::string userFileStem(const std::string& user) {
  std::string out;
  for (unsigned char c : user) out += plainChar(c) ? std::string(1, static_cast<char>(c)) : escaped(c);
  // Stems a file system could take for the user list (system.db) or for a device, in any case.
  static const char* const reserved[] = {"SYSTEM", "CON", "PRN", "AUX", "NUL"};
  bool clash = std::any_of(std::begin(reserved), std::end(reserved), [&](const char* r) { return out == r; }) ||
               (out.size() == 4 && (out.compare(0, 3, "COM") == 0 || out.compare(0, 3, "LPT") == 0) &&
                ora::digitC(static_cast<unsigned char>(out[3])));
  if (clash || out.empty()) out = escaped(out.empty() ? '%' : static_cast<unsigned char>(out[0])) + out.substr(out.empty() ? 0 : 1);
  return out;
}

namespace {
// The stem of a user's files: the mapped name, or, in a database made before names were mapped,
// the plain name that was its file name then (never the user list itself).
std::string userStem(const std::string& folder, const std::string& user) {
  std::string stem = userFileStem(user);
  if (stem == user || user.empty()) return stem;
  for (unsigned char c : user)
    if (!ora::alnumC(c) && c != '_' && c != '$' && c != '#') return stem;
  std::error_code ec;
  if (fs::exists(folder + "/" + stem + ".db", ec) || ec) return stem;
  fs::path legacy = folder + "/" + user + ".db";
  if (!fs::is_regular_file(legacy, ec) || fs::equivalent(legacy, folder + "/" + kSystemFile, ec) || ec) return stem;
  return user;
}

void removeUserFiles(const std::string& folder, const std::string& stem) {
  std::error_code ec;
  for (const char* ext : {".db", ".seq", ".atx"})
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(folder + "/" + stem + ext + suffix, ec);
}

// An Oracle error number for a failure of the user list.
int listError(sqlite3* db, int rc) { return fromSqlite(rc, db ? sqlite3_errmsg(db) : "", "LOGON").code; }
} // namespace

std::string schemaPath(const std::string& folder, const std::string& user) {
  return folder + "/" + userStem(folder, user) + ".db";
}

std::string userFilePath(const std::string& folder, const std::string& user, const std::string& ext) {
  return folder + "/" + userStem(folder, user) + ext;
}

sqlite3* openSchema(const std::string& path, const std::string& user, int* rcOut) {
  sqlite3* db = nullptr;
  if (int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr); rc != SQLITE_OK) {
    if (rcOut) *rcOut = rc;
    sqlite3_close(db);
    return nullptr;
  }
  // A double-quoted name must never silently become a string.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  sqlite3_extended_result_codes(db, 1);
  installAuthorizer(db);
  sqlite3_busy_timeout(db, 2000);
  exec(db, "PRAGMA foreign_keys=ON");
  // A COMMIT returns when it is on disk.
  exec(db, "PRAGMA synchronous=FULL");
  Charset cs = databaseCharset(fs::path(path).parent_path().string());
  registerFunctions(db, cs);
  registerOraFunctions(db, user);
  registerNumberFunctions(db);
  registerBinaryFloats(db);
  registerNumberCompare(db);
  registerIntervalAggregates(db);
  registerStatAggregates(db);
  registerNewerAggregates(db);
  registerRegexpFunctions(db);
  registerListAgg(db);
  registerBooleanFunctions(db);
  registerJsonFunctions(db);
  registerRankAggregates(db);
  registerByteFunctions(db, cs);
  registerRownumCounter(db);
  registerObjectFunctions(db, nullptr);
  registerPartitionFunctions(db);
  registerLateralRows(db);
  registerModelRows(db);
  registerCollectionFunctions(db);
  registerXmlFunctions(db);
  registerXmlReadFunctions(db);
  return db;
}


namespace {
// Opens the user list for writing; nullptr with an Oracle error number in `err`.
sqlite3* openList(const std::string& folder, int& err) {
  int rc = SQLITE_OK;
  sqlite3* sys = openSchema(folder + "/" + kSystemFile, "SYSTEM", &rc);
  if (!sys) err = rc == SQLITE_CANTOPEN ? 12154 : listError(nullptr, rc);
  return sys;
}
} // namespace

int createUser(const std::string& folder, const std::string& user, const std::string& password) {
  if (!initSodium()) return 3113;
  std::string hash = hashPassword(normalizeName(password));
  if (hash.empty()) return 3113;
  int err = 0;
  sqlite3* sys = openList(folder, err);
  if (!sys) return err;
  // The user list is the commit point: the row commits only once the schema file is complete,
  // so a crash leaves either a whole user or stray files that no row names.
  auto fail = [&](int code, bool undo) {
    if (undo) exec(sys, "ROLLBACK");
    sqlite3_close(sys);
    removeUserFiles(folder, userFileStem(user));
    return code;
  };
  if (int rc = execOne(sys, "BEGIN IMMEDIATE"); rc != SQLITE_OK) {
    err = listError(sys, rc);
    sqlite3_close(sys);
    return err;
  }
  sqlite3_stmt* st = nullptr;
  // user lists of earlier versions have no CREATED column
  int rc = sqlite3_prepare_v2(sys, "INSERT INTO USERS (NAME, HASH, CREATED) VALUES (?1, ?2, ?3)", -1, &st, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(st);
    st = nullptr;
    rc = sqlite3_prepare_v2(sys, "INSERT INTO USERS (NAME, HASH) VALUES (?1, ?2)", -1, &st, nullptr);
  }
  if (rc == SQLITE_OK) {
    std::string created = storedDate(nowLocal());
    sqlite3_bind_text(st, 1, user.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, hash.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_bind_parameter_count(st) == 3) sqlite3_bind_text(st, 3, created.c_str(), -1, SQLITE_TRANSIENT);
    rc = sqlite3_step(st);
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) {
    err = (rc & 0xff) == SQLITE_CONSTRAINT ? 1920 : listError(sys, rc);
    exec(sys, "ROLLBACK");
    sqlite3_close(sys);
    return err;
  }
  int64_t uid = sqlite3_last_insert_rowid(sys);
  // No row names these files, so they are what an unfinished create or drop left behind.
  removeUserFiles(folder, userFileStem(user));
  sqlite3* db = createSchemaFile(folder + "/" + userFileStem(user) + ".db", user);
  if (!db) return fail(3113, true);
  // The user's number, for UID.
  bool made = exec(db, "PRAGMA user_version = " + std::to_string(uid));
  sqlite3_close(db);
  if (!made) return fail(3113, true);
  if (int c = execOne(sys, "COMMIT"); c != SQLITE_OK) return fail(listError(sys, c), true);
  sqlite3_close(sys);
  return 0;
}

int setPassword(const std::string& folder, const std::string& user, const std::string& password) {
  if (!initSodium()) return 3113;
  std::string hash = hashPassword(normalizeName(password));
  if (hash.empty()) return 3113;
  int err = 0;
  sqlite3* sys = openList(folder, err);
  if (!sys) return err;
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(sys, "UPDATE USERS SET HASH = ?2 WHERE NAME = ?1", -1, &st, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_text(st, 1, user.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, hash.c_str(), -1, SQLITE_TRANSIENT);
    rc = sqlite3_step(st);
  }
  sqlite3_finalize(st);
  int changed = sqlite3_changes(sys);
  if (rc != SQLITE_DONE) err = listError(sys, rc);
  sqlite3_close(sys);
  if (err) return err;
  return changed ? 0 : 1918;
}

bool userExists(const std::string& folder, const std::string& user) {
  sqlite3* sys = nullptr;
  bool found = false;
  std::string path = folder + "/" + kSystemFile;
  if (sqlite3_open_v2(path.c_str(), &sys, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(sys, 2000);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(sys, "SELECT 1 FROM USERS WHERE NAME = ?1", -1, &st, nullptr) == SQLITE_OK) {
      sqlite3_bind_text(st, 1, user.c_str(), -1, SQLITE_TRANSIENT);
      found = sqlite3_step(st) == SQLITE_ROW;
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(sys);
  return found;
}

int dropUser(const std::string& folder, const std::string& user) {
  std::string stem = userStem(folder, user); // while the row still names the files
  int err = 0;
  sqlite3* sys = openList(folder, err);
  if (!sys) return err;
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(sys, "DELETE FROM USERS WHERE NAME = ?1", -1, &st, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_text(st, 1, user.c_str(), -1, SQLITE_TRANSIENT);
    rc = sqlite3_step(st);
  }
  sqlite3_finalize(st);
  int changed = sqlite3_changes(sys);
  if (rc != SQLITE_DONE) err = listError(sys, rc);
  sqlite3_close(sys);
  if (err) return err;
  if (!changed) return 1918;
  // Files left by a crash from here on are named by no row; the next CREATE USER clears them.
  removeUserFiles(folder, stem);
  return 0;
}

void repairUsers(const std::string& folder) {
  // A user whose schema file is gone was left by an earlier version's create that did not finish.
  auto missing = [&](const std::string& user) {
    std::error_code ec;
    return !fs::exists(schemaPath(folder, user), ec) && !ec;
  };
  sqlite3* sys = nullptr;
  std::string path = folder + "/" + kSystemFile;
  if (sqlite3_open_v2(path.c_str(), &sys, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(sys);
    return;
  }
  std::vector<std::string> torn;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(sys, "SELECT NAME FROM USERS", -1, &st, nullptr) == SQLITE_OK)
    while (sqlite3_step(st) == SQLITE_ROW)
      if (auto p = sqlite3_column_text(st, 0)) {
        std::string name = reinterpret_cast<const char*>(p);
        if (missing(name)) torn.push_back(name);
      }
  sqlite3_finalize(st);
  // Only when there is something to do, and never waiting: a busy list is repaired next time.
  if (!torn.empty() && execOne(sys, "BEGIN IMMEDIATE") == SQLITE_OK) {
    for (auto& name : torn) {
      if (!missing(name)) continue;
      if (sqlite3_prepare_v2(sys, "DELETE FROM USERS WHERE NAME = ?1", -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(st);
      }
      sqlite3_finalize(st);
    }
    if (execOne(sys, "COMMIT") != SQLITE_OK) exec(sys, "ROLLBACK");
  }
  sqlite3_close(sys);
}

int createDatabase(const std::string& folder, const std::string& systemPassword, bool withDemo, Charset cs) {
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
  sqlite3* sys = openSchema(sysPath, "SYSTEM");
  if (!sys) return 12154;
  exec(sys, "PRAGMA journal_mode=WAL");
  bool ok = exec(sys, "CREATE TABLE USERS (NAME TEXT PRIMARY KEY, HASH TEXT NOT NULL, CREATED TEXT)") &&
            recordCharset(sys, cs);
  sqlite3_close(sys);
  if (!ok) return 3113;
  if (int rc = createUser(folder, "SYSTEM", systemPassword)) return rc;
  if (!withDemo) return 0;
  if (int rc = createUser(folder, "DEMO", "DEMO")) return rc;
  try {
    auto demo = Session::open(folder, "DEMO");
    for (const char* s : kDemoScript) demo->execOracle(s);
    demo->commit();
  } catch (const OraError& e) {
    return e.code;
  }
  return 0;
}

namespace {
// Whether a regular file is there; a path that cannot even be examined counts as none.
bool isFile(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}
} // namespace

int resolveDatabase(const std::string& host, std::string& folder) {
  if (!host.empty()) {
    folder = host;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return isFile(folder + "/" + kSystemFile) ? 0 : 12154;
  }
  folder = defaultDatabaseFolder();
  if (isFile(folder + "/" + kSystemFile)) return 0;
  // Built aside and renamed into place, so no one ever sees a half-made database.
  std::error_code ec;
  fs::path parent = fs::path(folder).parent_path();
  fs::create_directories(parent, ec);
  std::string tmp = folder + ".new-" + std::to_string(::getpid());
  fs::remove_all(tmp, ec);
  if (int rc = createDatabase(tmp, "MANAGER", true, Charset::JA16SJIS)) {
    fs::remove_all(tmp, ec);
    return rc;
  }
  fs::rename(tmp, folder, ec);
  if (ec) fs::remove_all(tmp, ec); // another process made it first
  return isFile(folder + "/" + kSystemFile) ? 0 : 12154;
}

std::string secretHash(const std::string& password) {
  if (!initSodium()) return {};
  return hashPassword(password);
}

bool secretMatches(const std::string& hash, const std::string& password) {
  return initSodium() && crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

int verifyUser(const std::string& folder, const std::string& user, const std::string& password) {
  if (!initSodium()) return 3113;
  sqlite3* sys = nullptr;
  std::string path = folder + "/" + kSystemFile;
  if (int rc = sqlite3_open_v2(path.c_str(), &sys, SQLITE_OPEN_READONLY, nullptr); rc != SQLITE_OK) {
    sqlite3_close(sys);
    return rc == SQLITE_CANTOPEN ? 12154 : listError(nullptr, rc);
  }
  sqlite3_busy_timeout(sys, 2000);
  sqlite3_extended_result_codes(sys, 1);
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(sys, "SELECT HASH FROM USERS WHERE NAME = ?1", -1, &st, nullptr);
  int result = 1017;
  if (rc == SQLITE_OK) {
    sqlite3_bind_text(st, 1, user.c_str(), -1, SQLITE_TRANSIENT);
    rc = sqlite3_step(st);
  }
  if (rc == SQLITE_ROW) {
    const unsigned char* h = sqlite3_column_text(st, 0);
    std::string hash = h ? reinterpret_cast<const char*>(h) : "";
    std::string pw = normalizeName(password);
    if (crypto_pwhash_str_verify(hash.c_str(), pw.data(), pw.size()) == 0) result = 0;
  } else if (rc != SQLITE_DONE) {
    // a damaged or unreadable user list is a storage failure, not a wrong password
    result = listError(sys, rc);
  }
  sqlite3_finalize(st);
  sqlite3_close(sys);
  return result;
}

} // namespace ora
