// SET MARKUP HTML: query rows as HTML tables, a table for each page, for reports read in a
// browser. Other output stays as it is; with SPOOL ON a spool file is a whole HTML page.
#include "SqlShell.h"

#include "NumberText.h"
#include "OciCompo.h"
#include "ShellWords.h"

#include <cstring>

using namespace shellwords;

std::string QueryCellText(TOraCursor& c, TCustomOraField* f, int row, int longLimit);
uint32_t FetchBatches(TOraCursor& c, const std::function<void(int)>& row,
                      const std::function<void(bool last)>& batchDone,
                      const std::function<bool()>& stopped);

std::string DefaultHtmlHead() {
  return "<style type='text/css'> body {font:10pt Arial,Helvetica,sans-serif; color:black; "
         "background:White;} p {font:10pt Arial,Helvetica,sans-serif; color:black; "
         "background:White;} table,tr,td {font:10pt Arial,Helvetica,sans-serif; color:Black; "
         "background:#f7f7e7; padding:0px 0px 0px 0px; margin:0px 0px 0px 0px;} th {font:bold "
         "10pt Arial,Helvetica,sans-serif; color:#336699; background:#cccc99; padding:0px 0px 0px "
         "0px;} h1 {font:16pt Arial,Helvetica,Geneva,sans-serif; color:#336699; "
         "background-color:White; border-bottom:1px solid #cccc99; margin-top:0pt; "
         "margin-bottom:0pt; padding:0px 0px 0px 0px;} h2 {font:bold 10pt "
         "Arial,Helvetica,Geneva,sans-serif; color:#336699; background-color:White; "
         "margin-top:4pt; margin-bottom:0pt;} a {font:9pt Arial,Helvetica,sans-serif; "
         "color:#663300; background:White; margin-top:0pt; margin-bottom:0pt; "
         "vertical-align:top;}</style><title>SQL*Plus Report</title>";
}

namespace {

std::string Entities(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char ch : s)
    switch (ch) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += "&quot;";
      break;
    default:
      out += ch;
    }
  return out;
}

// A quoted text of SET's words without its quotes (a doubled quote stands for one).
std::string Unquoted(const std::string& w) {
  if (w.size() < 2 || (w[0] != '\'' && w[0] != '"') || w.back() != w[0])
    return w;
  std::string out;
  for (size_t i = 1; i + 1 < w.size(); ++i) {
    out += w[i];
    if (w[i] == w[0] && w[i + 1] == w[0])
      ++i;
  }
  return out;
}

} // namespace

bool TSqlShell::SetHtmlMarkup(const std::vector<std::string>& w) {
  TShellSettings s = Settings;
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
  // ON or OFF may be left out: the other options then change what a later ON uses
  if (i < w.size() && (Upper(w[i]) == "ON" || Upper(w[i]) == "OFF"))
    s.Html = Upper(w[i++]) == "ON";
  while (i < w.size()) {
    const std::string opt = Upper(w[i++]);
    if (opt == "HEAD" || opt == "BODY" || opt == "TABLE") {
      if (i >= w.size()) {
        FOut << "SP2-0157: unable to set " << opt << " option, text missing\n";
        return false;
      }
      (opt == "HEAD" ? s.HtmlHead : opt == "BODY" ? s.HtmlBody : s.HtmlTable) = Unquoted(w[i++]);
    } else if (Abbrev(opt, "ENTMAP", 3)) {
      if (!onOff("entmap", s.HtmlEntmap))
        return false;
    } else if (Abbrev(opt, "SPOOL", 4)) {
      if (!onOff("spool", s.HtmlSpool))
        return false;
    } else if (Abbrev(opt, "PREFORMAT", 3)) {
      if (!onOff("preformat", s.HtmlPreformat))
        return false;
    } else {
      FOut << "SP2-0158: unknown SET MARKUP option \"" << w[i - 1] << "\"\n";
      return false;
    }
  }
  if (s.Html)
    s.Csv = false; // one markup at a time
  Settings = s;
  return true;
}

std::string TSqlShell::MarkupText() const {
  const TShellSettings& s = Settings;
  return std::string("markup HTML ") + (s.Html ? "ON" : "OFF") + " HEAD \"" + s.HtmlHead +
         "\" BODY \"" + s.HtmlBody + "\" TABLE \"" + s.HtmlTable + "\" SPOOL " +
         (s.HtmlSpool ? "ON" : "OFF") + " ENTMAP " + (s.HtmlEntmap ? "ON" : "OFF") + " PREFORMAT " +
         (s.HtmlPreformat ? "ON" : "OFF") + "\nmarkup CSV " + (s.Csv ? "ON" : "OFF") +
         " DELIMITER " + s.CsvDelimiter + " QUOTE " + (s.CsvQuote ? "ON" : "OFF");
}

std::string TSqlShell::HtmlPageStart() const {
  return "<html>\n<head>\n"
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">\n"
         "<meta name=\"generator\" content=\"tessel-sql\">\n" +
         Settings.HtmlHead + "\n</head>\n" +
         (Settings.HtmlBody.empty() ? std::string("<body>") : "<body " + Settings.HtmlBody + ">") +
         "\n";
}

void TSqlShell::HtmlSpoolStart() {
  if (!FSpool || !Settings.Html || !Settings.HtmlSpool)
    return;
  FOut.flush();
  *FSpool << HtmlPageStart();
  FSpoolHtml = true;
}

bool TSqlShell::StartMarkup(const std::string& options) {
  std::vector<std::string> words;
  for (const TQuotedWord& w : QuotedWords(options))
    words.push_back(w.Quoted ? "\"" + w.Text + "\"" : w.Text);
  if (!SetMarkup(words))
    return false;
  if (Settings.Html) {
    // the page holds the whole run, spool files are pages of their own
    FOut << HtmlPageStart();
    FPageHtml = true;
  }
  return true;
}

void TSqlShell::EndMarkup() {
  if (FPageHtml)
    FOut << "</body>\n</html>\n" << std::flush;
  FPageHtml = false;
}

void TSqlShell::HtmlSpoolEnd() {
  if (!FSpool || !FSpoolHtml)
    return;
  FOut.flush();
  *FSpool << "</body>\n</html>\n";
  FSpoolHtml = false;
}

bool TSqlShell::RunHtmlQuery(TOraCursor& c, std::string& error) {
  const int n = c.FieldCount();
  bool hasLong = false;
  std::vector<const TColumnSettings*> cols(n);
  std::vector<bool> number(n);
  std::vector<std::string> models(n);
  std::vector<int> breakCols; // BREAK columns: a value like the row before's is left out
  for (int i = 0; i < n; ++i) {
    TCustomOraField* f = c.Fields(i);
    hasLong = hasLong || f->FieldKind() == fkLong || f->FieldKind() == fkLongRaw;
    number[i] = f->FieldKind() == fkNumber;
    cols[i] = Column(f->Name());
    const std::string format = cols[i] ? cols[i]->Format : std::string();
    if (number[i] && IsNumberModel(format))
      models[i] = format;
    else if (number[i] && format.empty() && IsNumberModel(Settings.NumFormat))
      models[i] = Settings.NumFormat;
    for (const TBreakSettings& b : FBreaks)
      if (!b.Duplicates && (Upper(f->Name()) == b.Column || (cols[i] && !cols[i]->Alias.empty() &&
                                                             Upper(cols[i]->Alias) == b.Column)))
        breakCols.push_back(i);
  }
  auto shown = [&](int i) { return !cols[i] || !cols[i]->NoPrint; };
  auto escape = [&](const std::string& s, int col) {
    const char own = col >= 0 && cols[col] ? cols[col]->Entmap : 0;
    return (own ? own == 'Y' : Settings.HtmlEntmap) ? Entities(s) : s;
  };
  // Rows on a page: PAGESIZE less the blank lines at its top and the heading and its rule.
  const bool paged = Settings.PageSize > 0;
  const int perPage =
      std::max(1, Settings.PageSize - std::max(Settings.NewPage, 0) - (Settings.Heading ? 2 : 0));
  std::string out;
  int onPage = 0;
  bool open = false;
  auto startTable = [&] {
    out += open ? "</table>\n<p>\n" : "<p>\n";
    out += "<table " + Settings.HtmlTable + ">\n";
    open = true;
    onPage = 0;
    if (!paged || !Settings.Heading)
      return;
    out += "<tr>\n";
    for (int i = 0; i < n; ++i) {
      if (!shown(i))
        continue;
      const bool userHeading = cols[i] && cols[i]->HasHeading;
      std::string heading = userHeading ? cols[i]->Heading : c.Fields(i)->Name();
      std::string lines;
      for (size_t from = 0;;) {
        size_t bar = userHeading && cols[i]->HeadSep ? heading.find(cols[i]->HeadSep, from)
                                                     : std::string::npos;
        lines += (from ? "<br>" : "") +
                 escape(heading.substr(from, bar == std::string::npos ? bar : bar - from), -1);
        if (bar == std::string::npos)
          break;
        from = bar + 1;
      }
      out += "<th scope=\"col\">\n" + lines + "\n</th>\n";
    }
    out += "</tr>\n";
  };
  const int longLimit = std::max(1, Settings.Long);
  std::vector<std::string> last(n);
  bool first = true;
  auto addRow = [&](int r) {
    if (!open || (paged && onPage >= perPage))
      startTable();
    std::vector<std::string> values(n);
    for (int i = 0; i < n; ++i) {
      TCustomOraField* f = c.Fields(i);
      if (f->IsNull(r))
        values[i] = cols[i] && cols[i]->HasNullText ? cols[i]->NullText : Settings.NullText;
      else if (!number[i])
        values[i] = QueryCellText(c, f, r, longLimit);
      else {
        const char* p =
            reinterpret_cast<const char*>(f->Buffer()) + static_cast<size_t>(r) * f->Width();
        std::string raw(p, strnlen(p, static_cast<size_t>(f->Width())));
        // right-aligned in the column's width, as the text layout has it
        values[i] = models[i].empty() ? NumberInWidth(raw, Settings.NumWidth)
                                      : FormatNumber(raw, models[i]);
        if (models[i].empty() && values[i].size() < static_cast<size_t>(Settings.NumWidth))
          values[i].insert(0, static_cast<size_t>(Settings.NumWidth) - values[i].size(), ' ');
      }
    }
    out += "<tr>\n";
    for (int i = 0; i < n; ++i) {
      if (!shown(i))
        continue;
      // a repeated break value is left out, except at the top of a page
      bool repeated = !first && onPage > 0 &&
                      std::find(breakCols.begin(), breakCols.end(), i) != breakCols.end() &&
                      values[i] == last[i];
      std::string v = repeated ? std::string() : values[i];
      out += number[i] ? "<td align=\"right\">\n" : "<td>\n";
      out += (v.empty() ? std::string("&nbsp;") : escape(v, i)) + "\n</td>\n";
    }
    out += "</tr>\n";
    last = std::move(values);
    first = false;
    ++onPage;
  };
  uint32_t total = 0;
  bool cancelled = false;
  auto stopped = [&] { return cancelled = cancelled || (Interrupted && Interrupted()); };
  if (hasLong) {
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
          FOut << out;
          out.clear();
        },
        stopped);
  }
  if (open)
    FOut << "</table>\n<p>\n";
  if (cancelled) {
    error = "ORA-01013: user requested cancel of current operation";
    return false;
  }
  if (c.ReturnCode() != 0 && c.ReturnCode() != 1403) {
    error = c.ErrorText();
    return false;
  }
  if (total == 0 && Settings.Feedback > 0)
    FOut << "no rows selected<br>\n";
  else if (total > 0 && Settings.Feedback > 0 && total >= static_cast<uint32_t>(Settings.Feedback))
    FOut << total << (total == 1 ? " row selected.<br>\n" : " rows selected.<br>\n");
  return true;
}
