// STORE SET: the shell's settings as SET commands in a script that brings them back.
#include "SqlShell.h"

#include "ShellWords.h"

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace shellwords;

namespace {

std::string OnOff(bool b) { return b ? "ON" : "OFF"; }

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string Character(char c) { return c ? Quoted(std::string(1, c)) : std::string("OFF"); }

} // namespace

std::string TSqlShell::SettingsScript() const {
  const TShellSettings& s = Settings;
  std::ostringstream o;
  o << "set appinfo " << OnOff(s.AppInfo) << "\n"
    << "set appinfo " << Quoted(s.AppInfoText) << "\n"
    << "set arraysize " << s.ArraySize << "\n"
    << "set autocommit "
    << (s.AutoCommit > 1 ? std::to_string(s.AutoCommit) : OnOff(s.AutoCommit == 1)) << "\n"
    << "set autoprint " << OnOff(s.AutoPrint) << "\n"
    << "set autotrace "
    << (s.AutoTrace == 'O'   ? "ON EXPLAIN"
        : s.AutoTrace == 'T' ? "TRACEONLY EXPLAIN"
                             : "OFF")
    << "\n"
    << "set blockterminator " << Character(s.BlockTerminator) << "\n"
    << "set cmdsep " << Character(s.CmdSep) << "\n"
    << "set colinvisible " << OnOff(s.ColInvisible) << "\n"
    << "set colsep " << Quoted(s.ColSep) << "\n"
    << "set concat " << Character(s.Concat) << "\n"
    << "set copycommit " << s.CopyCommit << "\n"
    << "set define " << (s.DefineOn ? Character(s.DefineChar) : std::string("OFF")) << "\n"
    << "set describe DEPTH " << (s.DescribeDepth ? std::to_string(s.DescribeDepth) : "ALL")
    << " LINENUM OFF INDENT " << OnOff(s.DescribeIndent) << "\n"
    << "set echo " << OnOff(s.Echo) << "\n"
    << "set editfile " << Quoted(s.EditFile) << "\n"
    << "set embedded " << OnOff(s.Embedded) << "\n"
    << "set escape " << Character(s.Escape) << "\n"
    << "set exitcommit " << OnOff(s.ExitCommit) << "\n"
    << "set FEEDBACK "
    << (s.FeedbackOnly ? std::string("ONLY")
        : s.Feedback   ? std::to_string(s.Feedback)
                       : std::string("OFF"))
    << "\n"
    << "set flagger " << s.Flagger << "\n"
    << "set heading " << OnOff(s.Heading) << "\n"
    << "set headsep " << Character(s.HeadSep) << "\n"
    << "set linesize " << s.LineSize << "\n"
    << "set long " << s.Long << "\n"
    << "set longchunksize " << s.LongChunkSize << "\n"
    << "set markup HTML " << OnOff(s.Html) << " HEAD " << Quoted(s.HtmlHead) << " BODY "
    << Quoted(s.HtmlBody) << " TABLE " << Quoted(s.HtmlTable) << " SPOOL " << OnOff(s.HtmlSpool)
    << " ENTMAP " << OnOff(s.HtmlEntmap) << " PREFORMAT " << OnOff(s.HtmlPreformat) << "\n"
    << "set newpage " << (s.NewPage < 0 ? std::string("NONE") : std::to_string(s.NewPage)) << "\n"
    << "set null " << Quoted(s.NullText) << "\n"
    << "set numformat " << Quoted(s.NumFormat) << "\n"
    << "set numwidth " << s.NumWidth << "\n"
    << "set pagesize " << s.PageSize << "\n"
    << "set pause " << Quoted(s.PauseText) << "\n"
    << "set PAUSE " << OnOff(s.Pause) << "\n"
    << "set recsep "
    << (s.RecSep == 'W'   ? "WRAP"
        : s.RecSep == 'E' ? "EACH"
                          : "OFF")
    << "\n"
    << "set recsepchar " << Quoted(std::string(1, s.RecSepChar)) << "\n";
  if (!s.ServerOutput)
    o << "set serveroutput OFF\n";
  else
    o << "set serveroutput ON SIZE "
      << (s.ServerOutputSize ? std::to_string(s.ServerOutputSize) : std::string("UNLIMITED"))
      << " FORMAT "
      << (s.ServerOutputFormat == 'R'   ? "WRAPPED"
          : s.ServerOutputFormat == 'T' ? "TRUNCATED"
                                        : "WORD_WRAPPED")
      << "\n";
  o << "set showmode " << OnOff(s.ShowMode) << "\n"
    << "set sqlblanklines " << OnOff(s.SqlBlankLines) << "\n"
    << "set sqlcase "
    << (s.SqlCase == 'U'   ? "UPPER"
        : s.SqlCase == 'L' ? "LOWER"
                           : "MIXED")
    << "\n"
    << "set sqlcontinue " << Quoted(s.SqlContinue) << "\n"
    << "set sqlnumber " << OnOff(s.SqlNumber) << "\n"
    << "set sqlprefix " << Character(s.SqlPrefix) << "\n"
    << "set sqlprompt " << Quoted(s.SqlPrompt) << "\n"
    << "set sqlterminator " << Character(s.SqlTerminator) << "\n"
    << "set suffix " << Quoted(s.Suffix) << "\n"
    << "set termout " << OnOff(s.TermOut) << "\n"
    << "set time " << OnOff(s.Time) << "\n"
    << "set timing " << OnOff(s.Timing) << "\n"
    << "set underline " << Character(s.Underline) << "\n"
    << "set verify " << OnOff(s.Verify) << "\n"
    << "set wrap " << OnOff(s.Wrap) << "\n";
  return o.str();
}

void TSqlShell::StoreCommand(const std::string& args) {
  const std::vector<std::string> w = SplitWords(args);
  if (w.empty() || Upper(w[0]) != "SET" || w.size() < 2 || w.size() > 3) {
    FOut << "SP2-0157: unable to STORE, use STORE SET file [CREATE|REPLACE|APPEND]\n";
    return;
  }
  const std::string mode = w.size() > 2 ? Upper(w[2]) : "CREATE";
  const bool replace = Abbrev(mode, "REPLACE", 3), append = Abbrev(mode, "APPEND", 3);
  if (!replace && !append && !Abbrev(mode, "CREATE", 3)) {
    FOut << "SP2-0157: unable to STORE, use STORE SET file [CREATE|REPLACE|APPEND]\n";
    return;
  }
  WriteScript(w[1], replace, append, SettingsScript(), "STORE SET");
}
