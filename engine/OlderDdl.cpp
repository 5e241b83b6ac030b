#include "OlderDdl.h"

#include "SqlLexer.h"
#include "SqlTranslate.h"

namespace ora {

bool snapshotNames(const std::string& text, std::string& plain, int& at, int& grown) {
  if (!startsWithWord(text, "CREATE") && !startsWithWord(text, "ALTER") && !startsWithWord(text, "DROP")) return false;
  std::vector<sql::Token> t;
  try {
    t = sql::lex(text);
  } catch (const OraError&) {
    return false; // not a snapshot statement's text: its own reader reports it
  }
  if (t.size() < 2 || t[1].kind != sql::Tok::Ident || t[1].text != "SNAPSHOT") return false;
  static const std::string name = "MATERIALIZED VIEW";
  at = static_cast<int>(t[1].pos);
  grown = static_cast<int>(name.size()) - static_cast<int>(t[1].end - t[1].pos);
  plain = text.substr(0, t[1].pos) + name + text.substr(t[1].end);
  return true;
}

void administrationOnly(const std::string& text, const std::string& user) {
  bool alter = startsWithWord(text, "ALTER");
  if (!alter && !startsWithWord(text, "CREATE") && !startsWithWord(text, "DROP")) return;
  std::vector<sql::Token> t;
  try {
    t = sql::lex(text);
  } catch (const OraError&) {
    return;
  }
  if (t.size() < 2 || t[1].kind != sql::Tok::Ident) return;
  // the database's storage and instance: a DBA's statements, with nothing here to act on
  auto word = [&](size_t k, const char* w) { return k < t.size() && t[k].kind == sql::Tok::Ident && t[k].text == w; };
  size_t k = 1 + (word(1, "PUBLIC") || word(1, "UNDO") || word(1, "TEMPORARY") || word(1, "BIGFILE") || word(1, "SMALLFILE") ? 1 : 0);
  std::string what = t[k].text;
  if (word(k, "ROLLBACK") && word(k + 1, "SEGMENT")) what = "ROLLBACK SEGMENT";
  else if (word(k, "TABLESPACE") && !word(1, "PUBLIC")) what = "TABLESPACE";
  else if (word(1, "DATABASE") && !word(2, "LINK")) what = "DATABASE";
  else if (t[1].text != "PROFILE" && !(alter && t[1].text == "SYSTEM")) return;
  if (user != "SYSTEM") throw OraError(1031);
  throw OraError(1031, t[0].text + " " + what + " is not supported by this engine");
}

} // namespace ora
