// Query output: column widths and headings, pages, wrapped records, BREAK and COMPUTE lines.
#include "SqlShell.h"

#include "DisplayWidth.h"
#include "NumberText.h"
#include "OciCompo.h"
#include "OciIntr.h"
#include "ShellBreaks.h"
#include "ShellWords.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace shellwords;

namespace {

std::string Hex(const unsigned char* p, size_t n) {
  static const char* hx = "0123456789ABCDEF";
  std::string r;
  for (size_t i = 0; i < n; ++i) {
    r += hx[p[i] >> 4];
    r += hx[p[i] & 15];
  }
  return r;
}

size_t Utf8Length(unsigned char b) {
  return b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
}

bool IsLong(const TCustomOraField* f) {
  return f->FieldKind() == fkLong || f->FieldKind() == fkLongRaw;
}

std::string LongText(TOraCursor& c, TCustomOraField* f, int limit) {
  auto* lf = static_cast<TOraCustomLongField*>(f);
  const bool raw = f->FieldKind() == fkLongRaw;
  // LONG counts bytes of the client's code page, one a column in Shift-JIS; in UTF-8 a column
  // takes up to three.
  const size_t want = static_cast<size_t>(limit) * (raw ? 1 : 3);
  std::string r;
  while (r.size() < want) {
    if (!c.FetchLong(f, static_cast<int>(r.size())))
      break;
    uint32_t n = lf->LongLength();
    if (n == 0)
      break;
    // A piece of text ends on a character boundary, so a short one is not yet the end:
    // only an empty piece is.
    r.append(reinterpret_cast<const char*>(f->Buffer()), n);
  }
  if (!raw)
    return TextInWidth(r, limit);
  if (r.size() > static_cast<size_t>(limit))
    r.resize(static_cast<size_t>(limit));
  return Hex(reinterpret_cast<const unsigned char*>(r.data()), r.size());
}

} // namespace

// Pieces of a cell that fit `width` columns: the value wraps inside its column; `words` moves
// a word that does not fit to the next line and drops the blanks at the break.
std::vector<std::string> Chunks(const std::string& s, int width, bool words) {
  std::vector<std::string> out;
  std::string cur;
  int cw = 0;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '\n') {
      out.push_back(cur);
      cur.clear();
      cw = 0;
      ++i;
      continue;
    }
    size_t n = std::min(Utf8Length(static_cast<unsigned char>(s[i])), s.size() - i);
    std::string ch = s.substr(i, n);
    int w = DisplayWidth(ch);
    if (words && cw == 0 && ch == " " && !out.empty()) {
      ++i; // blanks after a break
      continue;
    }
    if (cw + w > width && !cur.empty()) {
      size_t blank = words && ch != " " ? cur.rfind(' ') : std::string::npos;
      if (blank != std::string::npos && blank > 0) {
        // The word so far goes to the next line with the rest of it.
        std::string word = cur.substr(blank + 1);
        cur.erase(cur.find_last_not_of(' ', blank) + 1);
        out.push_back(cur);
        cur = word;
        cw = DisplayWidth(cur);
      } else {
        out.push_back(cur);
        cur.clear();
        cw = 0;
        if (words && ch == " ") {
          ++i;
          continue;
        }
      }
    }
    cur += ch;
    cw += w;
    i += n;
  }
  out.push_back(cur);
  return out;
}

std::string QueryCellText(TOraCursor& c, TCustomOraField* f, int row, int longLimit) {
  if (f->IsNull(row))
    return {};
  switch (f->FieldKind()) {
  case fkRaw:
    return Hex(f->Buffer() + static_cast<size_t>(row) * f->Width(), f->ReturnLengths()[row]);
  case fkLong:
  case fkLongRaw:
    return LongText(c, f, f->FieldKind() == fkLongRaw ? (longLimit + 1) / 2 : longLimit);
  default:
    return f->GetAsString(row);
  }
}

uint32_t FetchBatches(TOraCursor& c, const std::function<void(int)>& row,
                      const std::function<void(bool last)>& batchDone,
                      const std::function<bool()>& stopped) {
  uint32_t prev = 0;
  for (;;) {
    bool ok = c.FetchRowsQuiet();
    uint32_t now = c.RowsProcessed();
    for (uint32_t r = 0; r < now - prev; ++r)
      row(static_cast<int>(r));
    const bool last = !ok || now == prev;
    batchDone(last);
    if (last || stopped())
      return now;
    prev = now;
  }
}

bool TSqlShell::RunQueryText(TOraCursor& c, std::string& error) {
  const int n = c.FieldCount();
  bool hasLong = false;
  for (int i = 0; i < n; ++i)
    hasLong = hasLong || IsLong(c.Fields(i));
  const int lineSize = std::max(1, Settings.LineSize);

  // Column widths from the described sizes and the headings; the first batch of rows may widen
  // them (full-width text), never past the line.
  std::vector<int> widths(n);
  std::vector<bool> right(n);
  std::vector<bool> fixedWidth(n);             // FORMAT An: the width is the user's
  std::vector<std::string> models(n);          // number format models
  std::vector<const TColumnSettings*> cols(n); // COLUMN settings, if any
  std::vector<std::vector<std::string>> heads(n);
  std::vector<bool> character(n); // CHAR and VARCHAR2: COMPUTE MINIMUM and MAXIMUM apply
  bool symbolsLoaded = false;
  for (int i = 0; i < n; ++i) {
    auto* f = static_cast<TOraField*>(c.Fields(i));
    right[i] = f->FieldKind() == fkNumber;
    character[i] = f->FieldKind() == fkChar || (f->FieldKind() == fkString && f->DbType() == 1);
    cols[i] = Column(f->Name());
    // Only a heading the user set splits at HEADSEP: a column's own name may hold "||".
    const bool userHeading = cols[i] && cols[i]->HasHeading;
    std::string heading = userHeading ? cols[i]->Heading : f->Name();
    for (size_t from = 0;;) {
      size_t bar = userHeading && cols[i]->HeadSep ? heading.find(cols[i]->HeadSep, from)
                                                   : std::string::npos;
      heads[i].push_back(heading.substr(from, bar == std::string::npos ? bar : bar - from));
      if (bar == std::string::npos)
        break;
      from = bar + 1;
    }
    const std::string format = cols[i] ? cols[i]->Format : std::string();
    int w = 0;
    switch (f->FieldKind()) {
    case fkNumber:
      // Every NUMBER column takes NUMWIDTH, whatever its precision, unless a model is set.
      if (IsNumberModel(format))
        models[i] = format;
      else if (format.empty() && IsNumberModel(Settings.NumFormat))
        models[i] = Settings.NumFormat;
      if (UsesSessionSymbols(models[i]) && !symbolsLoaded) {
        LoadSessionSymbols();
        symbolsLoaded = true;
      }
      w = models[i].empty() ? Settings.NumWidth : NumberModelWidth(models[i]);
      break;
    case fkDate: {
      std::string fmt = c.DateFormat();
      w = DisplayWidth(FormatOraDateTime(fmt.empty() ? ShortDateFormat : fmt, 0));
      break;
    }
    case fkLong:
    case fkLongRaw:
      w = std::max(1, std::min(Settings.Long, Settings.LongChunkSize));
      fixedWidth[i] = true; // values wrap at this width, however long they are
      break;
    default:
      // A date comes as the engine's text in the session's date format: its width is that of
      // the values, which the first rows give.
      // A collection takes the line, as its text may be long.
      w = f->DbType() == 12    ? 1
          : f->DbType() == 108 ? std::max(1, Settings.LineSize)
                               : std::max(1, f->DisplaySize());
      break;
    }
    long long given = 0;
    if (f->FieldKind() != fkNumber && format.size() > 1 && format[0] == 'A' &&
        ParseInt(format.substr(1), given)) {
      w = static_cast<int>(given);
      fixedWidth[i] = true;
    }
    // A number column widens to its heading; any other column cuts its heading to its width.
    int headWidth = 0;
    for (auto& h : heads[i])
      headWidth = std::max(headWidth, DisplayWidth(h));
    widths[i] = right[i] ? std::max(w, headWidth) : w;
  }

  std::vector<std::vector<int>> groups; // columns of each physical line of a record
  const int sepWidth = DisplayWidth(Settings.ColSep);
  int headingLines = 0;
  int linesOnPage = 0;
  bool pageStarted = false;
  std::vector<std::vector<std::string>> batch;
  std::vector<std::vector<std::string>> raws; // the batch's values as the engine gave them
  uint32_t total = 0;
  bool laidOut = false;

  auto layOut = [&] {
    for (auto& row : batch)
      for (int i = 0; i < n; ++i)
        if (!fixedWidth[i] && !right[i])
          for (auto& piece : Chunks(row[i], 1 << 30))
            widths[i] = std::max(widths[i], DisplayWidth(piece));
    // Dates that are all NULL so far: the width of a date in the session's format.
    for (int i = 0; i < n; ++i)
      if (!fixedWidth[i] && static_cast<TOraField*>(c.Fields(i))->DbType() == 12 &&
          std::all_of(raws.begin(), raws.end(), [&](auto& raw) { return raw[i].empty(); }))
        widths[i] = std::max(widths[i], SessionDateWidth());
    int used = 0;
    bool fold = false; // the column before was FOLD_AFTER
    for (int i = 0; i < n; ++i) {
      if (cols[i] && cols[i]->NoPrint)
        continue;
      widths[i] = std::min(widths[i], lineSize);
      int need = groups.empty() || groups.back().empty() ? widths[i] : used + sepWidth + widths[i];
      if (groups.empty() || need > lineSize || fold || (cols[i] && cols[i]->FoldBefore)) {
        groups.emplace_back();
        need = widths[i];
      }
      groups.back().push_back(i);
      used = need;
      fold = cols[i] && cols[i]->FoldAfter;
    }
    headingLines = 0;
    for (auto& g : groups) {
      size_t lines = 1;
      for (int i : g)
        lines = std::max(lines, heads[i].size());
      headingLines += Settings.Heading ? static_cast<int>(lines) + (Settings.Underline ? 1 : 0) : 0;
    }
    laidOut = true;
  };
  auto emit = [&](std::string line) {
    line.erase(line.find_last_not_of(' ') + 1);
    FOut << line << "\n";
  };
  int topLines = std::max(Settings.NewPage, 0);
  // TTITLE and BTITLE lines take their places on every page (none with PAGESIZE 0); with a
  // bottom title each page is filled up to PAGESIZE lines, so that the title ends it. REPHEADER
  // comes once under the first top title (PAGE: alone on that page), REPFOOTER after the last row.
  const bool titled = Settings.PageSize > 0;
  const bool topTitle = FTitles[TopTitle].On && titled;
  const bool bottomTitle = FTitles[BottomTitle].On && titled;
  const bool header = FTitles[ReportHeader].On && titled;
  const bool footer = FTitles[ReportFooter].On && titled;
  const int bottomLines = bottomTitle ? static_cast<int>(TitleLines(BottomTitle, 1).size()) : 0;
  if (topTitle)
    topLines += static_cast<int>(TitleLines(TopTitle, 1).size());
  int page = 0;
  // EMBEDDED ON: the report goes on where the last one ended, on its page
  const bool embedded = Settings.Embedded && FReportPage > 0 && Settings.PageSize > 0;
  int carried = 0; // lines of that page already used
  auto endPage = [&] {
    if (!bottomTitle || !pageStarted)
      return;
    for (; linesOnPage < Settings.PageSize - bottomLines; ++linesOnPage)
      FOut << "\n";
    FTitleLineNo = linesOnPage + 1;
    for (auto& l : TitleLines(BottomTitle, page))
      emit(l);
  };
  auto startPage = [&] {
    if (embedded && page == 0) {
      page = FReportPage;
      carried = FReportLines - topLines;
      linesOnPage = FReportLines;
      pageStarted = true;
      return;
    }
    carried = 0;
    ++page;
    if (Settings.Pause) {
      FOut << Settings.PauseText << "\n" << std::flush;
      Ask("", true);
    }
    if (Settings.NewPage == 0)
      FOut << "\f";
    else if (Settings.NewPage > 0)
      FOut << std::string(static_cast<size_t>(Settings.NewPage), '\n');
    FTitleLineNo = std::max(Settings.NewPage, 0) + 1;
    if (topTitle)
      for (auto& l : TitleLines(TopTitle, page))
        emit(l);
    linesOnPage = topLines;
    pageStarted = true;
  };
  // `headings` false: a page that holds no rows (REPFOOTER PAGE) has no column headings
  auto newPage = [&](bool headings = true) {
    endPage();
    startPage();
    int headerLines = 0;
    if (header && page == 1) {
      FTitleLineNo = linesOnPage + 1;
      for (auto& l : TitleLines(ReportHeader, page)) {
        emit(l);
        ++headerLines;
      }
      if (FTitles[ReportHeader].Page) {
        linesOnPage += headerLines;
        endPage();
        startPage();
        headerLines = 0;
      }
    }
    if (!headings) {
      linesOnPage = topLines + carried;
      return;
    }
    linesOnPage = topLines + carried + headerLines + headingLines;
    if (!Settings.Heading)
      return;
    for (auto& g : groups) {
      size_t lines = 1;
      for (int i : g)
        lines = std::max(lines, heads[i].size());
      for (size_t k = 0; k < lines; ++k) {
        std::string head;
        for (size_t j = 0; j < g.size(); ++j) {
          int i = g[j];
          if (j)
            head += Settings.ColSep;
          std::string name =
              k < heads[i].size()
                  ? TextInWidth(heads[i][k].substr(0, heads[i][k].find('\n')), widths[i])
                  : "";
          const char justify = cols[i] ? cols[i]->Justify : 0;
          if (justify == 'C') {
            int room = widths[i] - DisplayWidth(name);
            head += std::string(static_cast<size_t>(std::max(room, 0) / 2), ' ');
            head += PadDisplay(name, widths[i] - std::max(room, 0) / 2);
          } else {
            head += PadDisplay(name, widths[i], justify ? justify == 'R' : right[i]);
          }
        }
        emit(head);
      }
      if (Settings.Underline) {
        std::string rule;
        for (size_t j = 0; j < g.size(); ++j) {
          if (j)
            rule += Settings.ColSep;
          rule += std::string(static_cast<size_t>(widths[g[j]]), Settings.Underline);
        }
        emit(rule);
      }
    }
  };
  // The lines of one record; a record that took more than one line is set off by a blank
  // line after it. `full` is the record with the values BREAK leaves out, for a page's first row.
  auto put = [&](const std::vector<std::string>& row, const std::vector<std::string>& full,
                 bool data, int labelCol = -1) {
    auto render = [&](const std::vector<std::string>& values) {
      std::vector<std::string> out;
      for (auto& g : groups) {
        std::vector<std::vector<std::string>> cells;
        size_t height = 1;
        for (int i : g) {
          cells.push_back(Chunks(values[i], widths[i], cols[i] && cols[i]->WordWrapped));
          // COLUMN ... WRAPPED or TRUNCATED overrides SET WRAP.
          if (cols[i] && (cols[i]->Truncated || cols[i]->Wrapped) ? cols[i]->Truncated
                                                                  : !Settings.Wrap)
            cells.back().resize(1);
          height = std::max(height, cells.back().size());
        }
        for (size_t k = 0; k < height; ++k) {
          std::string line;
          for (size_t j = 0; j < g.size(); ++j) {
            if (j)
              line += Settings.ColSep;
            int i = g[j];
            line += PadDisplay(k < cells[j].size() ? cells[j][k] : std::string(), widths[i],
                               right[i] && i != labelCol);
          }
          out.push_back(line);
        }
      }
      return out;
    };
    std::vector<std::string> out = render(row);
    bool separate = data && (Settings.RecSep == 'E' || (Settings.RecSep == 'W' && out.size() > 1));
    if (Settings.PageSize > 0) {
      int lines = static_cast<int>(out.size());
      if (!pageStarted || (linesOnPage + lines > Settings.PageSize - bottomLines &&
                           linesOnPage > topLines + headingLines)) {
        newPage();
        if (data && &row != &full) {
          out = render(full);
          separate = Settings.RecSep == 'E' || (Settings.RecSep == 'W' && out.size() > 1);
        }
      }
      linesOnPage += static_cast<int>(out.size()) + (separate ? 1 : 0);
    }
    for (auto& l : out)
      emit(l);
    if (separate)
      emit(std::string(static_cast<size_t>(lineSize), Settings.RecSepChar));
  };

  // BREAK columns of this query, outermost first, then REPORT; each with its COMPUTE lines.
  struct TSummary {
    std::string Label;
    int Rank = 0; // the function's place in the fixed order the lines come in
    std::vector<int> Cols;
    std::vector<TAccumulator> Acc;
  };
  struct TLevel {
    int Col = -1; // -1: REPORT
    const TBreakSettings* Spec = nullptr;
    std::vector<TSummary> Lines;
    bool Row = false; // BREAK ON ROW: its COMPUTE lines come after every row
  };
  auto columnIndex = [&](const std::string& name) {
    for (int i = 0; i < n; ++i)
      if (Upper(c.Fields(i)->Name()) == name || (cols[i] && Upper(cols[i]->Alias) == name))
        return i;
    return -1;
  };
  std::vector<TLevel> levels;
  for (auto& b : FBreaks)
    if (int ci = columnIndex(b.Column); ci >= 0 && b.Column != "REPORT")
      levels.push_back({ci, &b, {}});
  const size_t columnLevels = levels.size();
  for (auto& b : FBreaks)
    if (b.Column == "REPORT")
      levels.push_back({-1, &b, {}});
  const TBreakSettings* rowBreak = nullptr;
  for (auto& b : FBreaks)
    if (b.Column == "ROW" && columnIndex("ROW") < 0)
      rowBreak = &b;
  if (rowBreak)
    levels.push_back({-1, rowBreak, {}, true});
  for (auto& cs : FComputes)
    for (auto& lv : levels) {
      if (cs.On != (lv.Row       ? std::string("ROW")
                    : lv.Col < 0 ? std::string("REPORT")
                                 : lv.Spec->Column))
        continue;
      for (size_t k = 0; k < cs.Functions.size(); ++k) {
        TSummary sum;
        sum.Label = cs.Labels[k];
        static const char* const order[] = {"AVG",    "COUNT", "MINIMUM", "MAXIMUM",
                                            "NUMBER", "SUM",   "STD",     "VARIANCE"};
        sum.Rank = static_cast<int>(std::find(std::begin(order), std::end(order), cs.Functions[k]) -
                                    std::begin(order));
        for (auto& of : cs.Of)
          if (int ci = columnIndex(of); ci >= 0) {
            sum.Cols.push_back(ci);
            sum.Acc.emplace_back(cs.Functions[k]);
          }
        // one line for a function (and label) however many COMPUTE commands name its columns
        auto same = std::find_if(lv.Lines.begin(), lv.Lines.end(), [&](const TSummary& o) {
          return o.Rank == sum.Rank && o.Label == sum.Label;
        });
        if (sum.Cols.empty())
          continue;
        if (same != lv.Lines.end()) {
          same->Cols.insert(same->Cols.end(), sum.Cols.begin(), sum.Cols.end());
          same->Acc.insert(same->Acc.end(), sum.Acc.begin(), sum.Acc.end());
        } else {
          lv.Lines.push_back(std::move(sum));
        }
      }
    }
  // AVG, COUNT, MINIMUM, MAXIMUM, NUMBER, SUM, STD, VARIANCE, whatever order they were given in.
  for (auto& lv : levels)
    std::stable_sort(lv.Lines.begin(), lv.Lines.end(),
                     [](const TSummary& a, const TSummary& b) { return a.Rank < b.Rank; });
  std::vector<std::string> lastKeys; // break column values of the row before
  auto summarize = [&](TLevel& lv) {
    if (lv.Lines.empty())
      return;
    std::vector<std::string> rule(n);
    if (lv.Col >= 0)
      rule[lv.Col] = std::string(static_cast<size_t>(widths[lv.Col]), '*');
    for (auto& sum : lv.Lines)
      for (int ci : sum.Cols)
        rule[ci] = std::string(static_cast<size_t>(widths[ci]), '-');
    put(rule, rule, false);
    for (auto& sum : lv.Lines) {
      std::vector<std::string> line(n);
      int at = lv.Col >= 0 ? lv.Col : 0;
      line[at] = Chunks(sum.Label, widths[at])[0];
      int labelCol = at;
      for (size_t j = 0; j < sum.Cols.size(); ++j) {
        int ci = sum.Cols[j];
        std::string v = sum.Acc[j].Result();
        if (!v.empty() && right[ci])
          v = models[ci].empty() ? LocalDecimal(NumberInWidth(v, Settings.NumWidth))
                                 : FormatNumber(v, models[ci]);
        line[ci] = v;
        if (ci == at)
          labelCol = -1; // a result in the label's column takes its place and its alignment
        sum.Acc[j].Reset();
      }
      put(line, line, false, labelCol); // a label starts at the left, even over numbers
    }
  };
  // The groups from the innermost break up to `level` end.
  auto endGroups = [&](size_t level) {
    for (size_t k = columnLevels; k-- > level;)
      summarize(levels[k]);
  };
  bool anyRow = false;
  // COLUMN ... NEW_VALUE takes each row's value before the row is placed, so that a page's top
  // title shows its first row; OLD_VALUE takes it after, for the bottom title's last row. A
  // number goes in as its model shows it without the padding, or as the engine gives it.
  auto noteValues = [&](size_t r, bool before) {
    for (int i = 0; i < n; ++i) {
      if (!cols[i])
        continue;
      const std::string& var = before ? cols[i]->NewValue : cols[i]->OldValue;
      if (var.empty())
        continue;
      const std::string& raw = raws[r][i];
      if (raw.empty())
        SetVariable(var, "", false);
      else if (!right[i])
        SetVariable(var, raw, false);
      else
        SetVariable(var, models[i].empty() ? raw : Trim(FormatNumber(raw, models[i])), true);
    }
  };
  auto flush = [&] {
    if (!laidOut)
      layOut();
    for (size_t r = 0; r < batch.size(); ++r) {
      const std::vector<std::string>& row = batch[r];
      noteValues(r, true);
      size_t level = columnLevels; // the outermost break whose value changed
      if (!lastKeys.empty())
        for (size_t k = 0; k < columnLevels && level == columnLevels; ++k)
          if (row[levels[k].Col] != lastKeys[k])
            level = k;
      int skip = 0;
      bool page = false;
      if (!lastKeys.empty() && level < columnLevels) {
        endGroups(level);
        for (size_t k = level; k < columnLevels; ++k) {
          skip = std::max(skip, levels[k].Spec->Skip);
          page = page || levels[k].Spec->SkipPage;
        }
      }
      if (rowBreak && anyRow) { // BREAK ON ROW: between every two rows
        skip = std::max(skip, rowBreak->Skip);
        page = page || rowBreak->SkipPage;
      }
      anyRow = true;
      if (page && Settings.PageSize > 0) {
        newPage();
      } else {
        for (int k = 0; k < skip; ++k)
          FOut << "\n";
        linesOnPage += skip;
      }
      std::vector<std::string> shown = row;
      for (size_t k = 0; k < columnLevels && !lastKeys.empty(); ++k)
        if (k < level && !levels[k].Spec->Duplicates)
          shown[levels[k].Col].clear();
      if (columnLevels == 0)
        put(row, row, true);
      else
        put(shown, row, true);
      noteValues(r, false);
      for (auto& lv : levels)
        for (auto& sum : lv.Lines)
          for (size_t j = 0; j < sum.Cols.size(); ++j)
            sum.Acc[j].Add(raws[r][sum.Cols[j]], right[sum.Cols[j]], character[sum.Cols[j]]);
      if (rowBreak)
        summarize(levels.back());
      lastKeys.clear();
      for (size_t k = 0; k < columnLevels; ++k)
        lastKeys.push_back(row[levels[k].Col]);
    }
    batch.clear();
    raws.clear();
  };

  const int longLimit = std::max(1, Settings.Long);
  // The engine's exact text of a number, not the access layer's general format.
  auto rawNumber = [&](int i, int r) {
    TCustomOraField* f = c.Fields(i);
    const char* p =
        reinterpret_cast<const char*>(f->Buffer()) + static_cast<size_t>(r) * f->Width();
    return std::string(p, strnlen(p, static_cast<size_t>(f->Width())));
  };
  auto cell = [&](int i, int r) -> std::string {
    TCustomOraField* f = c.Fields(i);
    if (f->IsNull(r))
      return cols[i] && cols[i]->HasNullText ? cols[i]->NullText : Settings.NullText;
    if (!right[i])
      return QueryCellText(c, f, r, longLimit);
    const std::string raw = rawNumber(i, r);
    // BINARY_FLOAT and BINARY_DOUBLE show in scientific notation, as SQL*Plus shows them
    const int type = static_cast<TOraField*>(f)->DbType();
    if (models[i].empty() && (type == 100 || type == 101))
      return LocalDecimal(BinaryInWidth(raw, Settings.NumWidth));
    return models[i].empty() ? LocalDecimal(NumberInWidth(raw, Settings.NumWidth))
                             : FormatNumber(raw, models[i]);
  };
  // A row's cells and, for COMPUTE, its values: a number's engine text, NULL as empty.
  auto addRow = [&](int r) {
    std::vector<std::string> row(n), raw(n);
    for (int i = 0; i < n; ++i) {
      row[i] = cell(i, r);
      if (!c.Fields(i)->IsNull(r))
        raw[i] = right[i] ? rawNumber(i, r) : row[i];
    }
    batch.push_back(std::move(row));
    raws.push_back(std::move(raw));
  };
  bool cancelled = false;
  auto stopped = [&] { return cancelled = cancelled || (Interrupted && Interrupted()); };
  // Columns that are cursors: each row is shown with its headings, then each of its nested
  // cursors under "CURSOR STATEMENT : n" as a query of its own.
  bool nested = false;
  for (int i = 0; i < n; ++i)
    nested = nested || static_cast<TOraField*>(c.Fields(i))->DbType() == 102;
  nested = nested && OciIntr::ColumnCursorAvailable();
  auto showNested = [&] {
    for (int i = 0; i < n; ++i) {
      if (static_cast<TOraField*>(c.Fields(i))->DbType() != 102)
        continue;
      FOut << "\nCURSOR STATEMENT : " << i + 1 << "\n";
      if (c.Fields(i)->IsNull(0))
        continue;
      TOraCursor inner;
      inner.SetSession(&FSession);
      inner.SetNumberOfRows(TOraCursor::MaxRows);
      inner.SetDatesAsText(true);
      inner.SetRawAsText(true);
      std::string err;
      inner.OnError = [&](TOraCursor&, const std::string& msg) { err = msg; };
      bool ok = inner.Open();
      if (ok) {
        int r = OciIntr::tessel_column_cursor(c.CursorArea(), i + 1, 0, inner.CursorArea());
        if (r != 0)
          err = FSession.GetErrorMessage(r);
        ok = r == 0 && inner.DescribeFields();
      }
      inner.OnError = nullptr;
      if (!ok || !RunQuery(inner, err))
        FOut << "ERROR:\n" << err << "\n\n";
      if (FSession.Connected() && inner.Opened())
        inner.Close();
    }
    pageStarted = false; // the next row comes under its headings again
  };
  if (hasLong || nested) {
    // Long fields hold one row: fetch them one at a time.
    while (!stopped() && c.Fetch()) {
      addRow(0);
      ++total;
      if (nested) {
        flush();
        showNested();
      } else if (batch.size() >= TOraCursor::MaxRows) {
        flush();
      }
    }
  } else {
    total = FetchBatches(
        c, addRow,
        [&](bool last) {
          if (batch.size() >= TOraCursor::MaxRows || last)
            flush();
        },
        stopped);
  }
  if (cancelled) {
    if (!batch.empty())
      flush();
    error = "ORA-01013: user requested cancel of current operation";
    FOut << "\n";
    return false;
  }
  if (c.ReturnCode() != 0 && c.ReturnCode() != 1403) {
    if (!batch.empty())
      flush();
    error = c.ErrorText();
    if (total)
      FOut << "\n";
    return false;
  }
  if (!batch.empty())
    flush();
  if (total > 0) {
    endGroups(0);
    for (size_t k = columnLevels; k < levels.size(); ++k)
      if (!levels[k].Row)
        summarize(levels[k]);
    if (footer) {
      FTitleLineNo = linesOnPage + 1;
      std::vector<std::string> lines = TitleLines(ReportFooter, page);
      if (FTitles[ReportFooter].Page ||
          linesOnPage + static_cast<int>(lines.size()) > Settings.PageSize - bottomLines)
        newPage(false);
      for (auto& l : lines)
        emit(l);
      linesOnPage += static_cast<int>(lines.size());
    }
    endPage();
  }
  QueryFeedback(total);
  if (page > 0) {
    FReportPage = page;
    // the blank line after the rows, or the feedback with its blank lines
    const bool counted =
        Settings.FeedbackOnly ||
        (Settings.Feedback > 0 && total >= static_cast<uint32_t>(Settings.Feedback));
    FReportLines = linesOnPage + (counted ? 3 : 1);
  }
  return true;
}

int TSqlShell::SessionDateWidth() {
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(1);
  c.SetDatesAsText(true);
  c.SetSQL({"SELECT SYSDATE FROM DUAL"});
  int width = 9;
  if (c.Open() && c.Parse() && c.DescribeFields() && c.Exec() &&
      (c.FetchRowsQuiet() || c.ReturnCode() == 1403) && c.RowsProcessed() > 0)
    width = DisplayWidth(c.Fields(0)->GetAsString(0));
  if (FSession.Connected() && c.Opened())
    c.Close();
  return width;
}

std::string TSqlShell::SessionDateFormat() {
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(1);
  c.SetSQL({"SELECT VALUE FROM NLS_SESSION_PARAMETERS WHERE PARAMETER = 'NLS_DATE_FORMAT'"});
  c.OnError = [](TOraCursor&, const std::string&) {};
  std::string format = "DD-MON-RR";
  if (c.Open() && c.Parse() && c.DescribeFields() && c.Exec() &&
      (c.FetchRowsQuiet() || c.ReturnCode() == 1403) && c.RowsProcessed() > 0)
    format = c.Fields(0)->GetAsString(0);
  c.OnError = nullptr;
  if (FSession.Connected() && c.Opened())
    c.Close();
  return format;
}

void TSqlShell::LoadSessionSymbols() {
  TSessionSymbols symbols;
  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(1);
  c.SetSQL({"SELECT TO_CHAR(1, 'FML9'), TO_CHAR(1, 'FMC9'), TO_CHAR(1, 'FMU9'), TO_CHAR(1001.5, "
            "'FM9G999D9') "
            "FROM DUAL"});
  if (c.Open() && c.Parse() && c.DescribeFields() && c.Exec() &&
      (c.FetchRowsQuiet() || c.ReturnCode() == 1403) && c.RowsProcessed() > 0) {
    // Each is the symbol followed by the digit 1.
    auto symbol = [&](int i, std::string& target) {
      std::string s = c.Fields(i)->GetAsString(0);
      if (!s.empty() && s.back() == '1')
        target = s.substr(0, s.size() - 1);
    };
    symbol(0, symbols.Local);
    symbol(1, symbols.Iso);
    symbol(2, symbols.Dual);
    // "1,001.5" in the session's characters
    if (std::string n = c.Fields(3)->GetAsString(0); n.size() == 7) {
      symbols.Group = n[1];
      symbols.Decimal = n[5];
    }
  }
  if (FSession.Connected() && c.Opened())
    c.Close();
  SetSessionSymbols(symbols);
}
