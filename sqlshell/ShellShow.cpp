// SHOW PARAMETERS, SHOW SGA, SHOW CON_NAME / CON_ID / EDITION and ARCHIVE LOG LIST: what the
// classic shell reads from the instance's views, as far as this database has them.
#include "SqlShell.h"

#include "OciCompo.h"
#include "ShellWords.h"
#include "SqlQuote.h"

#include <string>
#include <vector>

using namespace shellwords;

namespace {

std::string Padded(const std::string& s, size_t width) {
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

} // namespace

bool TSqlShell::HasRole(const std::string& role) {
  return !QueryRows(FSession, "SELECT 1 FROM SESSION_ROLES WHERE ROLE = " + OraText(role)).empty();
}

void TSqlShell::ShowParameters(const std::string& name) {
  if (!RequireConnection())
    return;
  // The instance's parameters are for DBAs: others cannot read V$PARAMETER.
  if (!HasRole("DBA")) {
    FOut << "ORA-00942: table or view does not exist\n";
    return;
  }
  // The session's values of those this database keeps: its NLS settings and its name.
  const std::string sql =
      "SELECT NAME, TYPE, VALUE FROM (SELECT LOWER(PARAMETER) NAME, 'string' TYPE, VALUE FROM "
      "NLS_SESSION_PARAMETERS UNION ALL SELECT 'db_name', 'string', NAME FROM V$DATABASE UNION "
      "ALL SELECT 'compatible', 'string', '7.3.0' FROM DUAL) WHERE UPPER(NAME) LIKE UPPER(" +
      OraText("%" + name + "%") + ") ORDER BY NAME";
  const auto rows = QueryRows(FSession, sql);
  if (rows.empty())
    return;
  FOut << "\n"
       << Padded("NAME", 36) << " " << Padded("TYPE", 11) << " VALUE\n"
       << std::string(36, '-') << " " << std::string(11, '-') << " " << std::string(30, '-')
       << "\n";
  for (const auto& r : rows) {
    // names and values longer than their columns go on in the lines below
    const std::vector<std::string> names = Chunks(r[0], 36), values = Chunks(r[2], 30);
    for (size_t k = 0; k < std::max(names.size(), values.size()); ++k) {
      std::string line = Padded(k < names.size() ? names[k] : std::string(), 36) + " " +
                         Padded(k == 0 ? r[1] : std::string(), 11) + " " +
                         (k < values.size() ? values[k] : std::string());
      line.erase(line.find_last_not_of(' ') + 1);
      FOut << line << "\n";
    }
  }
}

void TSqlShell::ShowSga() {
  if (!RequireConnection())
    return;
  // An embedded database has no shared memory area to report.
  FOut << "ORA-00942: table or view does not exist\n";
}

void TSqlShell::ShowContextValue(const std::string& heading, const std::string& attribute) {
  if (!RequireConnection())
    return;
  const auto rows =
      QueryRows(FSession, "SELECT SYS_CONTEXT('USERENV', " + OraText(attribute) + ") FROM DUAL");
  FOut << "\n"
       << heading << "\n"
       << std::string(30, '-') << "\n"
       << (rows.empty() ? std::string() : rows[0][0]) << "\n";
}

void TSqlShell::ArchiveLogList() {
  if (!RequireConnection())
    return;
  // only a SYSDBA or SYSOPER connection may, and a logon here is never one
  FOut << "ORA-01031: insufficient privileges\n";
}
