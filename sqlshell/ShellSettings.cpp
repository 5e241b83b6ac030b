// SET and SHOW: the shell's settings.
#include "SqlShell.h"

#include "CType.h"
#include "NumberText.h"
#include "OciCompo.h"
#include "ShellWords.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace shellwords;

namespace {

// The words of a SET command; a quoted text is one word, its quotes kept.
std::vector<std::string> SetWords(const std::string& s) {
  std::vector<std::string> out;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == ' ' || s[i] == '\t') {
      ++i;
      continue;
    }
    size_t b = i;
    if (s[i] == '\'' || s[i] == '"') {
      const char q = s[i];
      for (++i; i < s.size(); ++i)
        if (s[i] == q && !(i + 1 < s.size() && s[i + 1] == q))
          break;
        else if (s[i] == q)
          ++i;
      i = std::min(i + 1, s.size());
    } else {
      while (i < s.size() && s[i] != ' ' && s[i] != '\t')
        ++i;
    }
    out.push_back(s.substr(b, i - b));
  }
  return out;
}

std::string Lower(std::string s) {
  for (auto& c : s)
    c = static_cast<char>(ora::lowerC(static_cast<unsigned char>(c)));
  return s;
}

// `name "c" (hex nn)`, or `name OFF`.
std::string CharSetting(const char* name, char c) {
  if (!c)
    return std::string(name) + " OFF";
  char hex[8];
  std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned char>(c));
  return std::string(name) + " \"" + c + "\" (hex " + hex + ")";
}

// The SET options with the shortest abbreviation of each.
constexpr std::pair<const char*, size_t> SetOptions[] = {
    {"COLSEP", 4},      {"SQLPROMPT", 4},     {"NULL", 4},          {"LINESIZE", 3},
    {"PAGESIZE", 5},    {"FEEDBACK", 4},      {"ECHO", 4},          {"HEADING", 3},
    {"NUMWIDTH", 3},    {"LONG", 4},          {"SQLBLANKLINES", 5}, {"VERIFY", 3},
    {"DEFINE", 3},      {"TIMING", 3},        {"SERVEROUTPUT", 9},  {"RECSEP", 6},
    {"NUMFORMAT", 4},   {"UNDERLINE", 3},     {"WRAP", 3},          {"TERMOUT", 4},
    {"AUTOCOMMIT", 4},  {"TRIMSPOOL", 5},     {"TRIMOUT", 5},       {"TAB", 3},
    {"NEWPAGE", 4},     {"ARRAYSIZE", 5},     {"FLUSH", 3},         {"PAUSE", 5},
    {"SHOWMODE", 4},    {"EMBEDDED", 3},      {"SCAN", 4},          {"LONGCHUNKSIZE", 5},
    {"ESCAPE", 3},      {"CONCAT", 3},        {"HEADSEP", 5},       {"SUFFIX", 3},
    {"AUTOTRACE", 5},   {"SQLTERMINATOR", 6}, {"TIME", 4},          {"SQLNUMBER", 4},
    {"EXITCOMMIT", 5},  {"SPACE", 3},         {"DESCRIBE", 4},      {"APPINFO", 3},
    {"AUTOPRINT", 5},   {"COPYCOMMIT", 5},    {"EDITFILE", 4},      {"LOBOFFSET", 4},
    {"RECSEPCHAR", 10}, {"MARKUP", 4},        {"COLINVISIBLE", 6},  {"CMDSEP", 4},
};

} // namespace

void TSqlShell::SetCommand(const std::string& args) {
  std::vector<std::string> w = SetWords(args);
  if (w.empty()) {
    FOut << "SP2-0265: SET needs an option and a value.\n";
    return;
  }
  for (size_t i = 0; i < w.size(); i += 2) {
    std::string opt = Upper(w[i]);
    // The option's full name, for the messages.
    std::string full;
    for (const auto& [name, shortest] : SetOptions)
      if (Abbrev(opt, name, shortest))
        full = Lower(name);
    bool known = !full.empty();
    if (!known) {
      const int used = SetOtherOption(w, i);
      if (used < 0)
        FOut << "SP2-0158: unknown SET option \"" << w[i] << "\"\n";
      if (used <= 0)
        return;
      i += static_cast<size_t>(used) - 2;
      continue;
    }
    if (i + 1 >= w.size()) {
      FOut << "SP2-0265: " << full << " must be set ON or OFF\n";
      return;
    }
    std::string val = Upper(w[i + 1]);
    long long num = 0;
    bool isNum = ParseInt(val, num);
    auto onOff = [&](bool& target) {
      if (val == "ON" || val == "OFF") {
        target = val == "ON";
        return true;
      }
      FOut << "SP2-0265: " << full << " must be set ON or OFF\n";
      return false;
    };
    auto range = [&](int& target, long long lo, long long hi) {
      if (isNum && num >= lo && num <= hi) {
        target = static_cast<int>(num);
        return true;
      }
      if (!isNum) {
        FOut << "SP2-0268: " << full << " option not a valid number\n";
        return false;
      }
      FOut << "SP2-0267: " << full << " option " << w[i + 1] << " out of range (" << lo
           << " through " << hi << ")\n";
      return false;
    };
    bool ok;
    // A one-character setting: a character, or ON for `standard` and OFF for none.
    auto character = [&](char& target, char standard) {
      std::string v = w[i + 1];
      if (v.size() == 3 && (v[0] == '\'' || v[0] == '"') && v[2] == v[0])
        v = v.substr(1, 1);
      if (val == "ON" || val == "OFF") {
        target = val == "ON" ? standard : '\0';
        return true;
      }
      if (v.size() == 1 && !ora::alnumC(static_cast<unsigned char>(v[0])) && v[0] != ' ') {
        target = v[0];
        return true;
      }
      FOut << "SP2-0268: " << full << " option not a valid character or ON/OFF: " << w[i + 1]
           << "\n";
      return false;
    };
    // A text value; quotes around it are not part of it.
    std::string text = w[i + 1];
    if (text.size() >= 2 && (text[0] == '\'' || text[0] == '"') && text.back() == text[0])
      text = text.substr(1, text.size() - 2);
    if (Abbrev(opt, "MARKUP", 4)) {
      // the rest of the line is MARKUP's own
      SetMarkup(std::vector<std::string>(w.begin() + static_cast<std::ptrdiff_t>(i) + 1, w.end()));
      return;
    }
    if (Abbrev(opt, "COLSEP", 4)) {
      Settings.ColSep = text.empty() ? std::string(" ") : text;
      ok = true;
    } else if (Abbrev(opt, "SQLPROMPT", 4)) {
      Settings.SqlPrompt = text;
      ok = true;
    } else if (opt == "NULL") {
      Settings.NullText = text;
      ok = true;
    } else if (Abbrev(opt, "LINESIZE", 3))
      ok = range(Settings.LineSize, 1, 32767);
    else if (Abbrev(opt, "LONGCHUNKSIZE", 5))
      ok = range(Settings.LongChunkSize, 1, 2000000000);
    else if (Abbrev(opt, "ESCAPE", 3))
      ok = character(Settings.Escape, '\\');
    else if (Abbrev(opt, "CONCAT", 3))
      ok = character(Settings.Concat, '.');
    else if (Abbrev(opt, "CMDSEP", 4))
      ok = character(Settings.CmdSep, ';');
    else if (Abbrev(opt, "HEADSEP", 5))
      ok = character(Settings.HeadSep, '|');
    else if (Abbrev(opt, "SUFFIX", 3)) {
      std::string v = w[i + 1];
      if (v.size() >= 2 && (v[0] == '\'' || v[0] == '"') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
      Settings.Suffix = v;
      ok = true;
    } else if (Abbrev(opt, "AUTOTRACE", 5)) {
      // {OFF | ON | TRACE[ONLY]} [EXP[LAIN]] [STAT[ISTICS]]: the rest of the line is this option's
      if (val == "OFF") {
        Settings.AutoTrace = 0;
        return;
      }
      const bool on = val == "ON", trace = Abbrev(val, "TRACEONLY", 5);
      bool explain = false, statistics = false, valid = on || trace;
      for (size_t k = i + 2; k < w.size() && valid; ++k) {
        const std::string word = Upper(w[k]);
        if (Abbrev(word, "EXPLAIN", 3))
          explain = true;
        else if (Abbrev(word, "STATISTICS", 4))
          statistics = true;
        else
          valid = false;
      }
      if (!valid) {
        FOut << "SP2-0265: autotrace must be set ON, OFF or TRACEONLY\n";
        return;
      }
      if (!explain && !statistics)
        explain = statistics = true;
      // Session statistics are not kept, as for a user without the role that reads them; the
      // plan part still goes on.
      if (statistics)
        FOut << "SP2-0618: Cannot find the Session Identifier.  Check PLUSTRACE role is enabled\n"
                "SP2-0611: Error enabling STATISTICS report\n";
      if (explain)
        Settings.AutoTrace = trace ? 'T' : 'O';
      return;
    } else if (Abbrev(opt, "SQLTERMINATOR", 6)) {
      ok = character(Settings.SqlTerminator, ';');
    } else if (Abbrev(opt, "SQLNUMBER", 4) || Abbrev(opt, "EXITCOMMIT", 5) ||
               Abbrev(opt, "SPACE", 3) || Abbrev(opt, "APPINFO", 3) ||
               Abbrev(opt, "COPYCOMMIT", 5) || Abbrev(opt, "EDITFILE", 4) ||
               Abbrev(opt, "LOBOFFSET", 4)) {
      ok = true; // accepted
    } else if (Abbrev(opt, "DESCRIBE", 4)) {
      // [DEPTH {n|ALL}] [LINENUM {ON|OFF}] [INDENT {ON|OFF}]
      int depth = Settings.DescribeDepth;
      bool indent = Settings.DescribeIndent;
      size_t k = i + 1;
      for (; k + 1 < w.size(); k += 2) {
        std::string word = Upper(w[k]), v = Upper(w[k + 1]);
        long long n = 0;
        if (Abbrev(word, "DEPTH", 3) && v == "ALL")
          depth = 0;
        else if (Abbrev(word, "DEPTH", 3) && ParseInt(v, n) && n >= 1 && n <= 50)
          depth = static_cast<int>(n);
        else if (Abbrev(word, "DEPTH", 3)) {
          FOut << "SP2-0267: depth option " << w[k + 1] << " out of range (1 through 50)\n";
          return;
        } else if (Abbrev(word, "INDENT", 3) && (v == "ON" || v == "OFF"))
          indent = v == "ON";
        else if (Abbrev(word, "LINENUM", 4) && (v == "ON" || v == "OFF"))
          continue; // accepted; the lines are not numbered
        else
          break;
      }
      if (k != w.size() || k == i + 1) {
        FOut << "SP2-0158: unknown SET DESCRIBE option \"" << (k < w.size() ? w[k] : "") << "\"\n";
        return;
      }
      Settings.DescribeDepth = depth;
      Settings.DescribeIndent = indent;
      ok = true;
      i = w.size();
    } else if (Abbrev(opt, "PAGESIZE", 5))
      ok = range(Settings.PageSize, 0, 50000);
    else if (Abbrev(opt, "NUMWIDTH", 3))
      ok = range(Settings.NumWidth, 2, 50);
    else if (opt == "LONG")
      ok = range(Settings.Long, 1, 2000000000);
    else if (opt == "ECHO")
      ok = onOff(Settings.Echo);
    else if (Abbrev(opt, "HEADING", 3))
      ok = onOff(Settings.Heading);
    else if (Abbrev(opt, "SQLBLANKLINES", 5))
      ok = onOff(Settings.SqlBlankLines);
    else if (Abbrev(opt, "VERIFY", 3))
      ok = onOff(Settings.Verify);
    else if (Abbrev(opt, "TIMING", 3))
      ok = onOff(Settings.Timing);
    else if (opt == "TIME")
      ok = onOff(Settings.Time);
    else if (Abbrev(opt, "NEWPAGE", 4)) {
      if (val == "NONE")
        Settings.NewPage = -1;
      ok = val == "NONE" || range(Settings.NewPage, 0, 999);
    } else if (Abbrev(opt, "ARRAYSIZE", 5)) {
      int rows = 15; // rows come in the access layer's own batches
      ok = range(rows, 1, 5000);
    } else if (Abbrev(opt, "FLUSH", 3) || opt == "PAUSE" || Abbrev(opt, "SHOWMODE", 4) ||
               Abbrev(opt, "EMBEDDED", 3)) {
      bool ignored = false; // output is never held back, paused or embedded in a page
      ok = onOff(ignored);
    } else if (opt == "SCAN")
      ok = onOff(Settings.DefineOn);
    else if (Abbrev(opt, "WRAP", 3))
      ok = onOff(Settings.Wrap);
    else if (Abbrev(opt, "TERMOUT", 4))
      ok = onOff(Settings.TermOut);
    else if (Abbrev(opt, "AUTOCOMMIT", 4)) {
      // ON and IMMEDIATE commit after each statement that changes data, n after every n of them
      if (val == "ON" || val == "OFF" || Abbrev(val, "IMMEDIATE", 3)) {
        Settings.AutoCommit = val == "OFF" ? 0 : 1;
        ok = true;
      } else if (isNum) {
        ok = range(Settings.AutoCommit, 0, 2000000000);
      } else {
        FOut << "SP2-0265: " << full << " must be set ON or OFF\n";
      }
      FChangesSinceCommit = 0;
    } else if (Abbrev(opt, "AUTOPRINT", 5))
      ok = onOff(Settings.AutoPrint);
    else if (Abbrev(opt, "COLINVISIBLE", 6))
      ok = onOff(Settings.ColInvisible);
    else if (Abbrev(opt, "TRIMSPOOL", 5) || Abbrev(opt, "TRIMOUT", 5) || opt == "TAB") {
      bool ignored = false; // trailing blanks are always trimmed; no tabs are written
      ok = onOff(ignored);
    } else if (Abbrev(opt, "UNDERLINE", 3)) {
      std::string v = w[i + 1];
      if (v.size() == 3 && (v[0] == '\'' || v[0] == '"') && v[2] == v[0])
        v = v.substr(1, 1);
      ok = val == "ON" || val == "OFF" || (v.size() == 1 && v[0] != ' ');
      if (!ok)
        FOut << "SP2-0265: underline must be set to a character, ON or OFF\n";
      else
        Settings.Underline = val == "ON" ? '-' : val == "OFF" ? '\0' : v[0];
    } else if (Abbrev(opt, "NUMFORMAT", 4)) {
      std::string model = w[i + 1];
      if (model.size() >= 2 && (model[0] == '\'' || model[0] == '"') && model.back() == model[0])
        model = model.substr(1, model.size() - 2);
      ok = model.empty() || IsNumberModel(Upper(model));
      if (ok)
        Settings.NumFormat = Upper(model);
      else
        FOut << "SP2-0246: Illegal FORMAT string \"" << model << "\"\n";
    } else if (opt == "RECSEP") {
      ok = Abbrev(val, "WRAPPED", 2) || Abbrev(val, "EACH", 2) || val == "OFF";
      if (ok)
        Settings.RecSep = val[0];
      else
        FOut << "SP2-0265: RECSEP must be set WRAPPED, EACH or OFF\n";
    } else if (opt == "RECSEPCHAR") {
      std::string v = w[i + 1];
      if (v.size() == 3 && (v[0] == '\'' || v[0] == '"') && v[2] == v[0])
        v = v.substr(1, 1);
      ok = v.size() == 1;
      if (ok)
        Settings.RecSepChar = v[0];
      else
        FOut << "SP2-0268: recsepchar option not a valid character: " << w[i + 1] << "\n";
    } else if (Abbrev(opt, "SERVEROUTPUT", 9)) {
      // ON [SIZE {n|UNLIMITED}] [FOR[MAT] ...] | OFF; the buffer is switched with the next
      // statement, which shows the lines it left.
      const bool was = Settings.ServerOutput;
      ok = onOff(Settings.ServerOutput);
      size_t k = i + 2;
      long long size = Settings.ServerOutputSize;
      char format = Settings.ServerOutputFormat;
      for (; ok && k < w.size(); ++k) {
        std::string word = Upper(w[k]);
        if (word == "SIZE" && k + 1 < w.size()) {
          std::string v = Upper(w[++k]);
          if (v == "UNLIMITED")
            size = 0;
          else if (!ParseInt(v, size) || size < 2000 || size > 1000000) {
            FOut << "SP2-0547: SIZE option " << w[k] << " out of range (2000 through 1000000)\n";
            Settings.ServerOutput = was;
            return;
          }
        } else if (Abbrev(word, "FORMAT", 3) && k + 1 < w.size()) {
          std::string v = Upper(w[++k]);
          if (Abbrev(v, "WRAPPED", 3))
            format = 'R';
          else if (Abbrev(v, "WORD_WRAPPED", 3))
            format = 'W';
          else if (Abbrev(v, "TRUNCATED", 3))
            format = 'T';
          else {
            FOut << "SP2-0158: unknown SET SERVEROUTPUT option \"" << w[k] << "\"\n";
            Settings.ServerOutput = was;
            return;
          }
        } else {
          FOut << "SP2-0158: unknown SET SERVEROUTPUT option \"" << w[k] << "\"\n";
          Settings.ServerOutput = was;
          return;
        }
      }
      Settings.ServerOutputSize = size;
      Settings.ServerOutputFormat = format;
      i = k - 2;
    } else if (Abbrev(opt, "DEFINE", 3)) {
      std::string v = w[i + 1];
      if (v.size() == 3 && (v[0] == '\'' || v[0] == '"') && v[2] == v[0])
        v = v.substr(1, 1);
      if (val == "ON" || val == "OFF") {
        Settings.DefineOn = val == "ON";
        if (Settings.DefineOn)
          Settings.DefineChar = '&'; // ON brings back the default prefix
        ok = true;
      } else if (v.size() == 1 && !ora::alnumC(static_cast<unsigned char>(v[0])) && v[0] != ' ' &&
                 v[0] != '\'' && v[0] != '"') {
        Settings.DefineChar = v[0];
        Settings.DefineOn = true;
        ok = true;
      } else {
        FOut << "SP2-0268: define option not a valid character or ON/OFF: " << w[i + 1] << "\n";
        ok = false;
      }
    } else {
      Settings.FeedbackOnly = false;
      if (val == "ON") {
        Settings.Feedback = 1;
        ok = true;
      } else if (val == "ONLY") {
        // queries show their row count and no rows; other statements their messages
        Settings.Feedback = 1;
        Settings.FeedbackOnly = true;
        ok = true;
      } else if (val == "OFF") {
        Settings.Feedback = 0;
        ok = true;
      } else
        ok = range(Settings.Feedback, 0, 50000);
    }
    if (!ok)
      return;
  }
}

void TSqlShell::ShowCommand(const std::string& args) {
  auto onOff = [](bool b) { return std::string(b ? "ON" : "OFF"); };
  auto quoted = [](const std::string& name, const std::string& v) {
    return name + " \"" + v + "\"";
  };
  struct TItem {
    const char* Name;
    size_t MinLen;
    std::function<std::string()> Text;
  };
  // In SHOW ALL's (alphabetical) order.
  const std::vector<TItem> items = {
      {"ARRAYSIZE", 5, [] { return std::string("arraysize 15"); }},
      {"AUTOCOMMIT", 4,
       [&] {
         return Settings.AutoCommit > 1
                    ? "AUTOCOMMIT ON for every " + std::to_string(Settings.AutoCommit) +
                          " DML statements"
                    : std::string(Settings.AutoCommit ? "autocommit IMMEDIATE" : "autocommit OFF");
       }},
      {"AUTOPRINT", 5, [&] { return "autoprint " + onOff(Settings.AutoPrint); }},
      {"AUTOTRACE", 5,
       [&] {
         return std::string(Settings.AutoTrace == 'O'   ? "autotrace ON EXPLAIN"
                            : Settings.AutoTrace == 'T' ? "autotrace TRACEONLY EXPLAIN"
                                                        : "autotrace OFF");
       }},
      {"BLOCKTERMINATOR", 3,
       [&] { return CharSetting("blockterminator", Settings.BlockTerminator); }},
      {"BTITLE", 3, [&] { return TitleText(BottomTitle); }},
      {"CMDSEP", 4, [&] { return CharSetting("cmdsep", Settings.CmdSep); }},
      {"COLINVISIBLE", 6, [&] { return "colinvisible " + onOff(Settings.ColInvisible); }},
      {"COLSEP", 4, [&] { return quoted("colsep", Settings.ColSep); }},
      {"CONCAT", 3, [&] { return CharSetting("concat", Settings.Concat); }},
      {"COPYCOMMIT", 5, [] { return std::string("copycommit 0"); }},
      {"DEFINE", 3,
       [&] { return CharSetting("define", Settings.DefineOn ? Settings.DefineChar : 0); }},
      {"DESCRIBE", 4,
       [&] {
         return "describe DEPTH " +
                (Settings.DescribeDepth ? std::to_string(Settings.DescribeDepth) : "ALL") +
                " LINENUM OFF INDENT " + (Settings.DescribeIndent ? "ON" : "OFF");
       }},
      {"ECHO", 4, [&] { return "echo " + onOff(Settings.Echo); }},
      {"EDITFILE", 4, [] { return std::string("editfile \"afiedt.buf\""); }},
      {"EMBEDDED", 3, [] { return std::string("embedded OFF"); }},
      {"ESCAPE", 3, [&] { return CharSetting("escape", Settings.Escape); }},
      {"FEEDBACK", 4,
       [&] {
         if (Settings.FeedbackOnly)
           return std::string("FEEDBACK ONLY");
         return Settings.Feedback > 0
                    ? "FEEDBACK ON for " + std::to_string(Settings.Feedback) + " or more rows"
                    : std::string("feedback OFF");
       }},
      {"FLAGGER", 4, [] { return std::string("flagger OFF"); }},
      {"HEADING", 3, [&] { return "heading " + onOff(Settings.Heading); }},
      {"HEADSEP", 5, [&] { return CharSetting("headsep", Settings.HeadSep); }},
      {"LINESIZE", 3, [&] { return "linesize " + std::to_string(Settings.LineSize); }},
      {"LONG", 4, [&] { return "long " + std::to_string(Settings.Long); }},
      {"LONGCHUNKSIZE", 5,
       [&] { return "longchunksize " + std::to_string(Settings.LongChunkSize); }},
      {"MARKUP", 4, [&] { return MarkupText(); }},
      {"NEWPAGE", 4,
       [&] {
         return Settings.NewPage < 0 ? std::string("newpage NONE")
                                     : "newpage " + std::to_string(Settings.NewPage);
       }},
      {"NULL", 4,
       [&] {
         return Settings.NullText.empty() ? std::string("null OFF")
                                          : quoted("null", Settings.NullText);
       }},
      {"NUMFORMAT", 4, [&] { return quoted("numformat", Settings.NumFormat); }},
      {"NUMWIDTH", 3, [&] { return "numwidth " + std::to_string(Settings.NumWidth); }},
      {"PAGESIZE", 5, [&] { return "pagesize " + std::to_string(Settings.PageSize); }},
      {"PAUSE", 3, [] { return std::string("PAUSE is OFF"); }},
      {"RECSEP", 6,
       [&] {
         return std::string("recsep ") + (Settings.RecSep == 'W'   ? "WRAP"
                                          : Settings.RecSep == 'E' ? "EACH"
                                                                   : "OFF");
       }},
      {"RECSEPCHAR", 10, [&] { return CharSetting("recsepchar", Settings.RecSepChar); }},
      {"RELEASE", 3, [] { return std::string("release 0703000000"); }},
      {"REPFOOTER", 4, [&] { return TitleText(ReportFooter); }},
      {"REPHEADER", 4, [&] { return TitleText(ReportHeader); }},
      {"SERVEROUTPUT", 9,
       [&] {
         if (!Settings.ServerOutput)
           return std::string("serveroutput OFF");
         return "serveroutput ON SIZE " +
                (Settings.ServerOutputSize == 0 ? std::string("UNLIMITED")
                                                : std::to_string(Settings.ServerOutputSize)) +
                " FORMAT " +
                (Settings.ServerOutputFormat == 'R'   ? "WRAPPED"
                 : Settings.ServerOutputFormat == 'T' ? "TRUNCATED"
                                                      : "WORD_WRAPPED");
       }},
      {"SPOOL", 3,
       [&] {
         return FSpool ? "currently spooling to " + FSpoolName
                       : std::string("not spooling currently");
       }},
      {"SQLBLANKLINES", 5, [&] { return "sqlblanklines " + onOff(Settings.SqlBlankLines); }},
      {"SQLCASE", 4,
       [&] {
         return std::string(Settings.SqlCase == 'U'   ? "sqlcase UPPER"
                            : Settings.SqlCase == 'L' ? "sqlcase LOWER"
                                                      : "sqlcase MIXED");
       }},
      {"SQLCODE", 4, [&] { return "sqlcode " + std::to_string(FLastError); }},
      {"SQLCONTINUE", 5, [&] { return quoted("sqlcontinue", Settings.SqlContinue); }},
      {"SQLNUMBER", 4, [] { return std::string("SQLNUMBER ON"); }},
      {"SQLPREFIX", 6, [&] { return CharSetting("sqlprefix", Settings.SqlPrefix); }},
      {"SQLPROMPT", 4, [&] { return quoted("sqlprompt", Settings.SqlPrompt); }},
      {"SQLTERMINATOR", 6, [&] { return CharSetting("sqlterminator", Settings.SqlTerminator); }},
      {"SUFFIX", 3, [&] { return quoted("suffix", Settings.Suffix); }},
      {"TAB", 3, [] { return std::string("tab OFF"); }},
      {"TERMOUT", 4, [&] { return "termout " + onOff(Settings.TermOut); }},
      {"TIME", 4, [&] { return "time " + onOff(Settings.Time); }},
      {"TIMING", 3, [&] { return "timing " + onOff(Settings.Timing); }},
      {"TRIMOUT", 5, [] { return std::string("trimout ON"); }},
      {"TRIMSPOOL", 5, [] { return std::string("trimspool ON"); }},
      {"TTITLE", 3, [&] { return TitleText(TopTitle); }},
      {"UNDERLINE", 3, [&] { return CharSetting("underline", Settings.Underline); }},
      {"USER", 4,
       [&] {
         return "USER is \"" + (FSession.Connected() ? Upper(FSession.UserName) : std::string()) +
                "\"";
       }},
      {"VERIFY", 3, [&] { return "verify " + onOff(Settings.Verify); }},
      {"WRAP", 3,
       [&] {
         return std::string(Settings.Wrap ? "wrap : lines will be wrapped"
                                          : "wrap : lines will be truncated");
       }},
  };
  std::vector<std::string> words = SplitWords(args);
  if (!words.empty() && Abbrev(Upper(words[0]), "ERRORS", 3)) {
    std::string rest = Trim(args);
    size_t sp = rest.find_first_of(" \t");
    ShowErrors(sp == std::string::npos ? std::string() : Trim(rest.substr(sp)));
    return;
  }
  if (!words.empty() && Abbrev(Upper(words[0]), "PARAMETERS", 4)) {
    ShowParameters(words.size() > 1 ? words[1] : std::string());
    return;
  }
  if (!words.empty() && words.size() == 1) {
    const std::string what = Upper(words[0]);
    if (what == "SGA") {
      ShowSga();
      return;
    }
    if (what == "CON_NAME" || what == "CON_ID" || what == "EDITION") {
      ShowContextValue(what, what == "EDITION" ? "CURRENT_EDITION_NAME" : what);
      return;
    }
  }
  if (!words.empty() && Abbrev(Upper(words[0]), "RECYCLEBIN", 5)) {
    ShowRecycleBin();
    return;
  }
  if (words.empty()) {
    FOut << "SP2-0158: unknown SHOW option \"\"\n";
    return;
  }
  for (const std::string& word : words) {
    const std::string what = Upper(word);
    if (what == "ALL") {
      for (const TItem& item : items)
        FOut << item.Text() << "\n";
      continue;
    }
    auto it = std::find_if(items.begin(), items.end(),
                           [&](const TItem& item) { return Abbrev(what, item.Name, item.MinLen); });
    if (it == items.end()) {
      FOut << "SP2-0158: unknown SHOW option \"" << word << "\"\n";
      return;
    }
    FOut << it->Text() << "\n";
  }
}

std::string TSqlShell::TitleText(int kind) const {
  static const char* const names[] = {"ttitle ", "btitle ", "repheader ", "repfooter "};
  const TTitle& t = FTitles[kind];
  std::string name = names[kind];
  if (t.Spec.empty())
    return name + (kind < ReportHeader
                       ? "OFF and is the first few characters of the next SELECT statement"
                       : "OFF and is NULL");
  std::string text = (t.Page ? "PAGE " : "") + t.Spec;
  return name + (t.On ? "ON" : "OFF") + " and is the following " + std::to_string(text.size()) +
         " characters:\n" + text;
}
