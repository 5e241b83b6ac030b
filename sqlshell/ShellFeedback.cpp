// The messages after statements that are not queries: "Table created.", "3 rows updated." ...
#include "SqlShell.h"

#include "CType.h"
#include "OciCompo.h"
#include "ShellWords.h"
#include "SqlSplitter.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

using namespace shellwords;

uint32_t FetchBatches(TOraCursor& c, const std::function<void(int)>& row,
                      const std::function<void(bool last)>& batchDone,
                      const std::function<bool()>& stopped);

namespace {

std::string RowsText(uint32_t n, const char* verb) {
  return (n == 1 ? std::string("1 row ") : std::to_string(n) + " rows ") + verb + ".";
}

} // namespace

std::string FeedbackText(const std::string& text, bool plsql, uint32_t rows) {
  std::vector<std::string> w = SplitWords(TSqlSplitter::LeadingWords(text, 8));
  if (w.empty())
    return "Statement processed.";
  const std::string& v = w[0];
  if (v == "INSERT")
    return RowsText(rows, "created");
  if (v == "UPDATE")
    return RowsText(rows, "updated");
  if (v == "DELETE")
    return RowsText(rows, "deleted");
  if (v == "MERGE")
    return RowsText(rows, "merged");
  if (plsql && (v == "DECLARE" || v == "BEGIN"))
    return "PL/SQL procedure successfully completed.";
  if (v == "CREATE" || v == "DROP" || v == "ALTER") {
    size_t i = 1;
    static const char* const skip[] = {
        "OR",     "REPLACE", "UNIQUE",  "BITMAP",      "GLOBAL",         "PRIVATE",    "TEMPORARY",
        "PUBLIC", "FORCE",   "NOFORCE", "EDITIONABLE", "NONEDITIONABLE", "EDITIONING", "NO"};
    while (i < w.size() && std::find(std::begin(skip), std::end(skip), w[i]) != std::end(skip))
      ++i;
    std::string obj = i < w.size() ? w[i] : std::string("OBJECT");
    std::string next = i + 1 < w.size() ? w[i + 1] : std::string();
    if ((obj == "PACKAGE" || obj == "TYPE") &&
        (next == "BODY" ||
         (v == "ALTER" && w.size() > i + 3 && w[i + 2] == "COMPILE" &&
          (w[i + 3] == "BODY" || (w[i + 3] == "DEBUG" && w.size() > i + 4 && w[i + 4] == "BODY")))))
      obj += " BODY";
    else if (obj == "MATERIALIZED" && next == "VIEW")
      obj = i + 2 < w.size() && w[i + 2] == "LOG" ? "MATERIALIZED VIEW LOG" : "MATERIALIZED VIEW";
    else if (obj == "DATABASE" && next == "LINK")
      obj = "DATABASE LINK";
    std::string name = obj.substr(0, 1) + [&] {
      std::string rest = obj.substr(1);
      for (auto& c : rest)
        c = static_cast<char>(ora::lowerC(static_cast<unsigned char>(c)));
      return rest;
    }();
    return name + (v == "CREATE" ? " created." : v == "DROP" ? " dropped." : " altered.");
  }
  if (v == "TRUNCATE")
    return "Table truncated.";
  if (v == "RENAME")
    return "Table renamed.";
  if (v == "GRANT")
    return "Grant succeeded.";
  if (v == "REVOKE")
    return "Revoke succeeded.";
  if (v == "COMMENT")
    return "Comment created.";
  if (v == "COMMIT")
    return "Commit complete.";
  if (v == "ROLLBACK")
    return "Rollback complete.";
  if (v == "SAVEPOINT")
    return "Savepoint created.";
  if (v == "LOCK")
    return "Table(s) Locked.";
  if (v == "ANALYZE")
    return w.size() > 1 && w[1] == "INDEX"     ? "Index analyzed."
           : w.size() > 1 && w[1] == "CLUSTER" ? "Cluster analyzed."
                                               : "Table analyzed.";
  if (v == "SET" && w.size() > 1 && w[1] == "TRANSACTION")
    return "Transaction set.";
  if (v == "SET" && w.size() > 1 && w[1] == "ROLE")
    return "Role set.";
  if (v == "SET" && w.size() > 1 && (w[1] == "CONSTRAINT" || w[1] == "CONSTRAINTS"))
    return "Constraint set.";
  if (v == "EXPLAIN")
    return "Explained.";
  if (v == "CALL")
    return "Call completed.";
  if (v == "FLASHBACK")
    return "Flashback complete.";
  if (v == "PURGE")
    return w.size() > 1 &&
                   (w[1] == "RECYCLEBIN" || w[1] == "DBA_RECYCLEBIN" || w[1] == "USER_RECYCLEBIN")
               ? "Recyclebin purged."
           : w.size() > 1 && w[1] == "TABLESPACE" ? "Tablespace purged."
           : w.size() > 1 && w[1] == "INDEX"      ? "Index purged."
                                                  : "Table purged.";
  if (v == "AUDIT")
    return "Audit succeeded.";
  if (v == "NOAUDIT")
    return "Noaudit succeeded.";
  return "Statement processed.";
}

bool TSqlShell::CountQuery(TOraCursor& c, std::string& error) {
  bool hasLong = false;
  for (int i = 0; i < c.FieldCount(); ++i)
    hasLong =
        hasLong || c.Fields(i)->FieldKind() == fkLong || c.Fields(i)->FieldKind() == fkLongRaw;
  bool cancelled = false;
  auto stopped = [&] { return cancelled = cancelled || (Interrupted && Interrupted()); };
  uint32_t total = 0;
  if (hasLong) // a LONG column holds one row at a time
    while (!stopped() && c.Fetch())
      ++total;
  else
    total = FetchBatches(
        c, [](int) {}, [](bool) {}, stopped);
  if (cancelled) {
    error = "ORA-01013: user requested cancel of current operation";
    FOut << "\n";
    return false;
  }
  if (c.ReturnCode() != 0 && c.ReturnCode() != 1403) {
    error = c.ErrorText();
    return false;
  }
  QueryFeedback(total);
  return true;
}

void TSqlShell::ShowAutotracePlan(const std::string& text) {
  // the plan of the statement as it ran, with its bind values in place
  std::string err;
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetSQL({"EXPLAIN PLAN FOR " + text});
  c.OnError = [&](TOraCursor&, const std::string& msg) { err = msg; };
  const bool explained = c.Open() && c.Parse() && c.Exec();
  c.OnError = nullptr;
  if (FSession.Connected() && c.Opened())
    c.Close();
  if (!explained)
    return;
  const auto rows = QueryRows(FSession, "SELECT PLAN_TABLE_OUTPUT FROM TABLE(DBMS_XPLAN.DISPLAY)");
  if (rows.empty())
    return;
  FOut << "\nExecution Plan\n" << std::string(58, '-') << "\n";
  for (const auto& row : rows)
    FOut << row[0] << "\n";
  FOut << "\n";
}

void TSqlShell::QueryFeedback(uint32_t total) {
  if (total == 0) {
    if (Settings.Feedback > 0)
      FOut << "\nno rows selected\n\n";
  } else if (Settings.FeedbackOnly ||
             (Settings.Feedback > 0 && total >= static_cast<uint32_t>(Settings.Feedback))) {
    FOut << "\n" << total << (total == 1 ? " row selected.\n\n" : " rows selected.\n\n");
  } else {
    FOut << "\n";
  }
}
