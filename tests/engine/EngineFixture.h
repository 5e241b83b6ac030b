// A fresh demo database with one DEMO logon and a cursor, and helpers that run SQL on it.
#pragma once
#include "../access/TestSupport.h"

class Engine : public TFreshDatabase {
protected:
  void SetUp() override {
    TFreshDatabase::SetUp();
    ASSERT_TRUE(Logon(Ses, "DEMO", "DEMO"));
    Cur.SetSession(&Ses);
    Cur.SetNumberOfRows(100);
  }
  void TearDown() override {
    Cur.Close();
    Ses.Disconnect();
    TFreshDatabase::TearDown();
  }
  // Runs a statement; "" on success, else the Oracle message of the failure.
  std::string Exec(const std::string& sql) {
    std::string err;
    Cur.OnError = [&](TOraCursor&, const std::string& m) { err = m.substr(0, m.find('\r')); };
    Cur.Close();
    bool ok = Run(Cur, sql);
    Cur.OnError = nullptr;
    return ok ? std::string() : err;
  }
  // Every row of a query as "a|b|c" lines.
  std::string Rows(const std::string& sql) {
    std::string out;
    if (!Exec(sql).empty())
      return "<failed>";
    uint32_t prev = 0;
    for (;;) {
      bool more = Cur.FetchRowsQuiet();
      for (uint32_t r = 0; r < Cur.RowsProcessed() - prev; ++r) {
        for (int f = 0; f < Cur.FieldCount(); ++f) {
          if (f)
            out += '|';
          if (Cur.Fields(f)->FieldKind() < 6)
            out += Cur.Fields(f)->GetAsString(static_cast<int>(r)); // LONG: FetchLong
        }
        out += "\n";
      }
      if (!more || Cur.RowsProcessed() == prev)
        break;
      prev = Cur.RowsProcessed();
    }
    return out;
  }
  // A LONG column of the first row of a query.
  std::string LongText(const std::string& sql, int field) {
    Cur.SetNumberOfRows(1);
    std::string v = "<failed>";
    if (Exec(sql).empty() && Cur.Fetch() && Cur.FetchLong(Cur.Fields(field), 0))
      v = reinterpret_cast<const char*>(Cur.Fields(field)->Buffer());
    Cur.SetNumberOfRows(100);
    return v;
  }
  std::string DbFolder() const { return DataHome + "/tessel3/default"; }

  TOraSession Ses;
  TOraCursor Cur;
};

// The engine with a second logon as SYSTEM beside the user's own, for the administrator's
// statements (users, roles, grants).
class EngineWithSystem : public Engine {
protected:
  void SetUp() override {
    Engine::SetUp();
    ASSERT_TRUE(Logon(Sys, "SYSTEM", "MANAGER"));
    SysCur.SetSession(&Sys);
    SysCur.SetNumberOfRows(100);
  }
  void TearDown() override {
    SysCur.Close();
    Sys.Disconnect();
    Engine::TearDown();
  }
  // Runs a statement as SYSTEM; "" on success, else the message's first line.
  std::string AsSystem(const std::string& sql) {
    std::string err;
    SysCur.OnError = [&](TOraCursor&, const std::string& m) { err = m.substr(0, m.find('\r')); };
    SysCur.Close();
    bool ok = Run(SysCur, sql);
    SysCur.OnError = nullptr;
    SysCur.Close();
    return ok ? std::string() : err;
  }
  TOraSession Sys;
  TOraCursor SysCur;
};
