// SET and SHOW: the shell's settings.
#include "SqlShell.h"

#include "NumberText.h"
#include "OciCompo.h"
#include "ShellWords.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace shellwords;

void TSqlShell::SetCommand(const std::string& args) {
  std::vector<std::string> w = SplitWords(args);
  if (w.empty()) {
    FOut << "SP2-0265: SET needs an option and a value.\n\n";
    return;
  }
  if (Abbrev(Upper(w[0]), "COLSEP", 4)) {
    std::string text = Trim(Trim(args).substr(w[0].size()));
    if (text.size() >= 2 && (text[0] == '\'' || text[0] == '"') && text.back() == text[0])
      text = text.substr(1, text.size() - 2);
    Settings.ColSep = text.empty() ? std::string(" ") : text;
    return;
  }
  if (Abbrev(Upper(w[0]), "SQLPROMPT", 4)) {
    std::string text = Trim(Trim(args).substr(w[0].size()));
    if (text.size() >= 2 && (text[0] == '\'' || text[0] == '"') && text.back() == text[0])
      text = text.substr(1, text.size() - 2);
    Settings.SqlPrompt = text;
    return;
  }
  if (Upper(w[0]) == "NULL") {
    // The rest of the line, blanks and all; quotes around it are not part of it.
    std::string text = Trim(Trim(args).substr(4));
    if (text.size() >= 2 && (text[0] == '\'' || text[0] == '"') && text.back() == text[0])
      text = text.substr(1, text.size() - 2);
    Settings.NullText = text;
    return;
  }
  for (size_t i = 0; i < w.size(); i += 2) {
    std::string opt = Upper(w[i]);
    bool known =
        Abbrev(opt, "LINESIZE", 3) || Abbrev(opt, "PAGESIZE", 5) || Abbrev(opt, "FEEDBACK", 4) ||
        opt == "ECHO" || Abbrev(opt, "HEADING", 3) || Abbrev(opt, "NUMWIDTH", 3) || opt == "LONG" ||
        Abbrev(opt, "SQLBLANKLINES", 5) || Abbrev(opt, "VERIFY", 3) || Abbrev(opt, "DEFINE", 3) ||
        Abbrev(opt, "TIMING", 3) || Abbrev(opt, "SERVEROUTPUT", 9) || opt == "RECSEP" ||
        Abbrev(opt, "NUMFORMAT", 4) || Abbrev(opt, "UNDERLINE", 3) || Abbrev(opt, "WRAP", 3) ||
        Abbrev(opt, "TERMOUT", 4) || Abbrev(opt, "AUTOCOMMIT", 4) || Abbrev(opt, "TRIMSPOOL", 5) ||
        Abbrev(opt, "TRIMOUT", 5) || opt == "TAB" || Abbrev(opt, "NEWPAGE", 4) ||
        Abbrev(opt, "ARRAYSIZE", 5) || Abbrev(opt, "FLUSH", 3) || opt == "PAUSE" ||
        Abbrev(opt, "SHOWMODE", 4) || Abbrev(opt, "EMBEDDED", 3) || opt == "SCAN";
    if (!known) {
      FOut << "SP2-0158: unknown SET option \"" << w[i] << "\"\n\n";
      return;
    }
    if (i + 1 >= w.size()) {
      FOut << "SP2-0265: SET " << opt << " needs a value.\n\n";
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
      FOut << "SP2-0265: " << opt << " must be set ON or OFF\n\n";
      return false;
    };
    auto range = [&](int& target, long long lo, long long hi) {
      if (isNum && num >= lo && num <= hi) {
        target = static_cast<int>(num);
        return true;
      }
      FOut << "SP2-0267: " << opt << " option " << w[i + 1] << " out of range (" << lo
           << " through " << hi << ")\n\n";
      return false;
    };
    bool ok;
    if (Abbrev(opt, "LINESIZE", 3))
      ok = range(Settings.LineSize, 1, 32767);
    else if (Abbrev(opt, "PAGESIZE", 5))
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
    else if (Abbrev(opt, "AUTOCOMMIT", 4))
      ok = onOff(Settings.AutoCommit);
    else if (Abbrev(opt, "TRIMSPOOL", 5) || Abbrev(opt, "TRIMOUT", 5) || opt == "TAB") {
      bool ignored = false; // trailing blanks are always trimmed; no tabs are written
      ok = onOff(ignored);
    } else if (Abbrev(opt, "UNDERLINE", 3)) {
      std::string v = w[i + 1];
      if (v.size() == 3 && (v[0] == '\'' || v[0] == '"') && v[2] == v[0])
        v = v.substr(1, 1);
      ok = val == "ON" || val == "OFF" || (v.size() == 1 && v[0] != ' ');
      if (!ok)
        FOut << "SP2-0265: underline must be set to a character, ON or OFF\n\n";
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
        FOut << "SP2-0246: Illegal FORMAT string \"" << model << "\"\n\n";
    } else if (opt == "RECSEP") {
      ok = Abbrev(val, "WRAPPED", 2) || Abbrev(val, "EACH", 2) || val == "OFF";
      if (ok)
        Settings.RecSep = val[0];
      else
        FOut << "SP2-0265: RECSEP must be set WRAPPED, EACH or OFF\n\n";
    } else if (Abbrev(opt, "SERVEROUTPUT", 9)) {
      // ON [SIZE {n|UNLIMITED}] [FOR[MAT] ...] | OFF; the engine runs no PL/SQL, so no
      // DBMS_OUTPUT lines ever come: the setting is kept and shown, nothing more.
      const bool was = Settings.ServerOutput;
      ok = onOff(Settings.ServerOutput);
      size_t k = i + 2;
      long long size = Settings.ServerOutputSize;
      for (; ok && k < w.size(); ++k) {
        std::string word = Upper(w[k]);
        if (word == "SIZE" && k + 1 < w.size()) {
          std::string v = Upper(w[++k]);
          if (v == "UNLIMITED")
            size = 0;
          else if (!ParseInt(v, size) || size < 2000 || size > 1000000) {
            FOut << "SP2-0547: SIZE option " << w[k] << " out of range (2000 through 1000000)\n\n";
            Settings.ServerOutput = was;
            return;
          }
        } else if (Abbrev(word, "FORMAT", 3) && k + 1 < w.size()) {
          ++k;
        } else {
          FOut << "SP2-0158: unknown SET SERVEROUTPUT option \"" << w[k] << "\"\n\n";
          Settings.ServerOutput = was;
          return;
        }
      }
      Settings.ServerOutputSize = size;
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
      } else if (v.size() == 1 && !std::isalnum(static_cast<unsigned char>(v[0])) && v[0] != ' ' &&
                 v[0] != '\'' && v[0] != '"') {
        Settings.DefineChar = v[0];
        Settings.DefineOn = true;
        ok = true;
      } else {
        FOut << "SP2-0268: define option not a valid character or ON/OFF: " << w[i + 1] << "\n\n";
        ok = false;
      }
    } else {
      if (val == "ON") {
        Settings.Feedback = 1;
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
  std::string what = Upper(Trim(args));
  auto onOff = [](bool b) { return b ? "ON" : "OFF"; };
  auto show = [&](const std::string& key) {
    if (key == "USER") {
      FOut << "USER is \"" << (FSession.Connected() ? Upper(FSession.UserName) : std::string())
           << "\"\n";
    } else if (key == "LINESIZE") {
      FOut << "linesize " << Settings.LineSize << "\n";
    } else if (key == "PAGESIZE") {
      FOut << "pagesize " << Settings.PageSize << "\n";
    } else if (key == "FEEDBACK") {
      if (Settings.Feedback > 0)
        FOut << "FEEDBACK ON for " << Settings.Feedback << " or more rows\n";
      else
        FOut << "feedback OFF\n";
    } else if (key == "ECHO") {
      FOut << "echo " << onOff(Settings.Echo) << "\n";
    } else if (key == "HEADING") {
      FOut << "heading " << onOff(Settings.Heading) << "\n";
    } else if (key == "NUMWIDTH") {
      FOut << "numwidth " << Settings.NumWidth << "\n";
    } else if (key == "LONG") {
      FOut << "long " << Settings.Long << "\n";
    } else if (key == "SQLBLANKLINES") {
      FOut << "sqlblanklines " << onOff(Settings.SqlBlankLines) << "\n";
    } else if (key == "VERIFY") {
      FOut << "verify " << onOff(Settings.Verify) << "\n";
    } else if (key == "TIMING") {
      FOut << "timing " << onOff(Settings.Timing) << "\n";
    } else if (key == "DEFINE") {
      if (Settings.DefineOn) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned char>(Settings.DefineChar));
        FOut << "define \"" << Settings.DefineChar << "\" (hex " << hex << ")\n";
      } else {
        FOut << "define OFF\n";
      }
    } else if (key == "SERVEROUTPUT") {
      if (!Settings.ServerOutput)
        FOut << "serveroutput OFF\n";
      else if (Settings.ServerOutputSize == 0)
        FOut << "serveroutput ON SIZE UNLIMITED FORMAT WORD_WRAPPED\n";
      else
        FOut << "serveroutput ON SIZE " << Settings.ServerOutputSize << " FORMAT WORD_WRAPPED\n";
    } else if (key == "NULL") {
      if (Settings.NullText.empty())
        FOut << "null OFF\n";
      else
        FOut << "null \"" << Settings.NullText << "\"\n";
    } else if (key == "COLSEP") {
      FOut << "colsep \"" << Settings.ColSep << "\"\n";
    } else if (key == "UNDERLINE") {
      if (Settings.Underline)
        FOut << "underline \"" << Settings.Underline << "\"\n";
      else
        FOut << "underline OFF\n";
    } else if (key == "WRAP") {
      FOut << (Settings.Wrap ? "wrap : lines will be wrapped\n"
                             : "wrap : lines will be truncated\n");
    } else if (key == "AUTOCOMMIT") {
      FOut << "autocommit " << onOff(Settings.AutoCommit) << "\n";
    } else if (key == "NUMFORMAT") {
      FOut << "numformat \"" << Settings.NumFormat << "\"\n";
    } else if (key == "RECSEP") {
      FOut << "recsep "
           << (Settings.RecSep == 'W'   ? "WRAP"
               : Settings.RecSep == 'E' ? "EACH"
                                        : "OFF")
           << "\n";
    } else if (key == "SPOOL") {
      if (FSpool)
        FOut << "currently spooling to " << FSpoolName << "\n";
      else
        FOut << "not spooling currently\n";
    }
  };
  static const char* const all[] = {
      "AUTOCOMMIT", "COLSEP",       "DEFINE", "ECHO",          "FEEDBACK", "HEADING",
      "LINESIZE",   "LONG",         "NULL",   "NUMFORMAT",     "NUMWIDTH", "PAGESIZE",
      "RECSEP",     "SERVEROUTPUT", "SPOOL",  "SQLBLANKLINES", "TIMING",   "UNDERLINE",
      "USER",       "VERIFY",       "WRAP"};
  if (Abbrev(SplitWords(what).empty() ? std::string() : SplitWords(what)[0], "ERRORS", 3)) {
    std::string rest = Trim(args);
    size_t sp = rest.find_first_of(" \t");
    ShowErrors(sp == std::string::npos ? std::string() : Trim(rest.substr(sp)));
    return;
  }
  if (what == "ALL") {
    for (const char* k : all)
      show(k);
  } else if (what == "USER")
    show("USER");
  else if (Abbrev(what, "LINESIZE", 3))
    show("LINESIZE");
  else if (Abbrev(what, "PAGESIZE", 5))
    show("PAGESIZE");
  else if (Abbrev(what, "FEEDBACK", 4))
    show("FEEDBACK");
  else if (what == "ECHO")
    show("ECHO");
  else if (Abbrev(what, "HEADING", 3))
    show("HEADING");
  else if (Abbrev(what, "NUMWIDTH", 3))
    show("NUMWIDTH");
  else if (what == "LONG")
    show("LONG");
  else if (Abbrev(what, "SQLBLANKLINES", 5))
    show("SQLBLANKLINES");
  else if (Abbrev(what, "VERIFY", 3))
    show("VERIFY");
  else if (Abbrev(what, "TIMING", 3))
    show("TIMING");
  else if (Abbrev(what, "DEFINE", 3))
    show("DEFINE");
  else if (Abbrev(what, "SERVEROUTPUT", 9))
    show("SERVEROUTPUT");
  else if (Abbrev(what, "SPOOL", 3))
    show("SPOOL");
  else if (Abbrev(what, "NUMFORMAT", 4))
    show("NUMFORMAT");
  else if (Abbrev(what, "COLSEP", 4))
    show("COLSEP");
  else if (Abbrev(what, "UNDERLINE", 3))
    show("UNDERLINE");
  else if (Abbrev(what, "WRAP", 3))
    show("WRAP");
  else if (Abbrev(what, "AUTOCOMMIT", 4))
    show("AUTOCOMMIT");
  else if (what == "NULL" || what == "RECSEP")
    show(what);
  else
    FOut << "SP2-0158: unknown SHOW option \"" << Trim(args) << "\"\n\n";
}
