// SET MARKUP CSV: query rows as comma-separated values for other programs to read. Text (dates
// included) is quoted with its quotes doubled, numbers are the engine's exact text, NULL is an
// empty field; there are no pages, and the headings come once.
#include "SqlShell.h"

#include "OciCompo.h"
#include "ShellWords.h"

#include <cstring>

using namespace shellwords;

std::string QueryCellText(TOraCursor& c, TCustomOraField* f, int row, int longLimit);
uint32_t FetchBatches(TOraCursor& c, const std::function<void(int)>& row,
                      const std::function<void(bool last)>& batchDone,
                      const std::function<bool()>& stopped);

bool TSqlShell::SetMarkup(const std::vector<std::string>& w) {
  size_t i = 0;
  auto onOff = [&](const char* what, bool& target) {
    std::string v = i < w.size() ? Upper(w[i]) : std::string();
    if (v != "ON" && v != "OFF") {
      FOut << "SP2-0265: " << what << " must be set ON or OFF\n";
      return false;
    }
    target = v == "ON";
    ++i;
    return true;
  };
  if (i >= w.size()) {
    FOut << "SP2-0265: markup must be set ON or OFF\n";
    return false;
  }
  std::string kind = Upper(w[i++]);
  if (kind == "HTML")
    return SetHtmlMarkup(std::vector<std::string>(w.begin() + 1, w.end()));
  if (kind != "CSV") {
    FOut << "SP2-0158: unknown SET option \"" << w[i - 1] << "\"\n";
    return false;
  }
  bool on = Settings.Csv;
  char delimiter = Settings.CsvDelimiter;
  bool quote = Settings.CsvQuote;
  if (!onOff("markup csv", on))
    return false;
  while (i < w.size()) {
    std::string opt = Upper(w[i++]);
    if (Abbrev(opt, "DELIMITER", 6)) {
      std::string v = i < w.size() ? w[i++] : std::string();
      if (v.size() == 3 && (v[0] == '\'' || v[0] == '"') && v[2] == v[0])
        v = v.substr(1, 1);
      if (v.size() != 1) {
        FOut << "SP2-0265: delimiter must be set to a character\n";
        return false;
      }
      delimiter = v[0];
    } else if (opt == "QUOTE") {
      if (!onOff("quote", quote))
        return false;
    } else {
      FOut << "SP2-0158: unknown SET option \"" << w[i - 1] << "\"\n";
      return false;
    }
  }
  Settings.Csv = on;
  if (on)
    Settings.Html = false;
  Settings.CsvDelimiter = delimiter;
  Settings.CsvQuote = quote;
  return true;
}

bool TSqlShell::RunCsvQuery(TOraCursor& c, std::string& error) {
  const int n = c.FieldCount();
  bool hasLong = false;
  std::vector<bool> number(n);
  for (int i = 0; i < n; ++i) {
    TCustomOraField* f = c.Fields(i);
    hasLong = hasLong || f->FieldKind() == fkLong || f->FieldKind() == fkLongRaw;
    number[i] = f->FieldKind() == fkNumber;
  }
  auto quoted = [&](const std::string& s) {
    if (!Settings.CsvQuote)
      return s;
    std::string q = "\"";
    for (char ch : s) {
      q += ch;
      if (ch == '"')
        q += '"';
    }
    return q + '"';
  };
  const std::string sep(1, Settings.CsvDelimiter);
  // the headings come with the first row: no rows, no headings
  std::string out;
  if (Settings.Heading && Settings.PageSize > 0) {
    out += "\n";
    for (int i = 0; i < n; ++i) {
      const TColumnSettings* col = Column(c.Fields(i)->Name());
      out += (i ? sep : std::string()) +
             quoted(col && col->HasHeading ? col->Heading : c.Fields(i)->Name());
    }
    out += "\n";
  }
  const int longLimit = std::max(1, Settings.Long);
  auto addRow = [&](int r) {
    for (int i = 0; i < n; ++i) {
      TCustomOraField* f = c.Fields(i);
      if (i)
        out += sep;
      if (f->IsNull(r))
        continue;
      if (number[i]) {
        // the engine's exact text, not a display format
        const char* p =
            reinterpret_cast<const char*>(f->Buffer()) + static_cast<size_t>(r) * f->Width();
        out.append(p, strnlen(p, static_cast<size_t>(f->Width())));
      } else {
        out += quoted(QueryCellText(c, f, r, longLimit));
      }
    }
    out += "\n";
  };
  uint32_t total = 0;
  bool cancelled = false;
  auto stopped = [&] { return cancelled = cancelled || (Interrupted && Interrupted()); };
  if (hasLong) {
    // a LONG column holds one row at a time
    while (!stopped() && c.Fetch()) {
      addRow(0);
      ++total;
      FOut << out;
      out.clear();
    }
  } else {
    total = FetchBatches(
        c, addRow,
        [&](bool) {
          if (c.RowsProcessed()) {
            FOut << out;
            out.clear();
          }
        },
        stopped);
  }
  if (cancelled) {
    error = "ORA-01013: user requested cancel of current operation";
    FOut << "\n";
    return false;
  }
  if (c.ReturnCode() != 0 && c.ReturnCode() != 1403) {
    error = c.ErrorText();
    if (total)
      FOut << "\n";
    return false;
  }
  QueryFeedback(total);
  return true;
}
