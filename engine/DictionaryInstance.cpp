// The database, its one instance and the logon's session, as V$DATABASE, V$INSTANCE and V$SESSION
// show them: an embedded database is open read-write, unarchived, its own primary.
#include "DictionaryImpl.h"
#include "FunctionUtil.h"
#include "RowScn.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace ora::dict {

namespace {
std::string hostName() {
  char buf[256] = {};
  gethostname(buf, sizeof buf - 1);
  return buf;
}
} // namespace

void fillInstanceViews(const std::string& view, sqlite3* db, const std::string& user, const std::string& dbName,
                       Inserter& ins) {
  if (view == "V$DATABASE") {
    ins.num(0).text(dbName).text("NOARCHIVELOG").text("READ WRITE").text("PRIMARY").text("Linux x86 64-bit");
    ins.num(currentScnOf(db)).row();
    return;
  }
  if (view == "V$INSTANCE") {
    ins.num(1).text(dbName).text(hostName()).text("OPEN").text("ACTIVE").text("PRIMARY_INSTANCE").row();
    return;
  }
  const Nls& n = sessionNls(db);
  const char* os = std::getenv("USER");
  ins.num(n.sessionId).num(1).text(user).text("ACTIVE").text(user).textOrNull(os ? os : "").text(hostName());
  ins.text(program_invocation_short_name).text("USER").textOrNull(n.module).textOrNull(n.action);
  ins.textOrNull(n.clientInfo).textOrNull(n.clientIdentifier).row();
}

} // namespace ora::dict
