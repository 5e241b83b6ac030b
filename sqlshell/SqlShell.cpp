#include "SqlShell.h"

#include "DisplayWidth.h"
#include "OciCompo.h"

#include <algorithm>
#include <iostream>
#include <sstream>
#include <vector>

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The first word of a statement, upper case.
std::string FirstWord(const std::string& s) {
  size_t e = 0;
  while (e < s.size() && (std::isalnum(static_cast<unsigned char>(s[e])) || s[e] == '_')) ++e;
  return Upper(s.substr(0, e));
}

std::string Hex(const unsigned char* p, int n) {
  static const char* hx = "0123456789ABCDEF";
  std::string r;
  for (int i = 0; i < n; ++i) { r += hx[p[i] >> 4]; r += hx[p[i] & 15]; }
  return r;
}

bool IsLong(const TCustomOraField* f) { return f->FieldKind() == 6 || f->FieldKind() == 7; }

// Shown part of a LONG value, as a terminal shows it by default.
constexpr int LongShown = 80;

std::string CellText(TOraCursor& c, TCustomOraField* f, int row) {
  if (f->IsNull(row)) return {};
  switch (f->FieldKind()) {
  case 5:
    return Hex(f->Buffer() + static_cast<size_t>(row) * f->Width(), f->ReturnLengths()[row]);
  case 6:
  case 7: {
    if (!c.FetchLong(f, 0)) return {};
    auto* lf = static_cast<TOraCustomLongField*>(f);
    auto n = static_cast<int>(std::min<uint32_t>(lf->LongLength(), LongShown));
    if (f->FieldKind() == 7) return Hex(f->Buffer(), n);
    return std::string(reinterpret_cast<const char*>(f->Buffer()), n);
  }
  default:
    return f->GetAsString(row);
  }
}

} // namespace

TLogonArgs ParseLogonArg(const std::string& arg) {
  TLogonArgs a;
  std::string s = arg;
  if (auto at = s.find('@'); at != std::string::npos) {
    a.host = s.substr(at + 1);
    s.erase(at);
  }
  if (auto slash = s.find('/'); slash != std::string::npos) {
    a.password = s.substr(slash + 1);
    a.hasPassword = true;
    s.erase(slash);
  }
  a.user = s;
  return a;
}

TSqlShell::TSqlShell(TOraSession& session, std::istream& in, std::ostream& out, bool interactive)
    : FSession(session), FIn(in), FOut(out), FInteractive(interactive) {}

void TSqlShell::ShowError(const std::string& text) {
  // The cursor's text ends with the call it came from; the user only needs the message.
  FOut << text.substr(0, text.find('\r')) << "\n\n";
}

void TSqlShell::RunQuery(TOraCursor& c) {
  const int n = c.FieldCount();
  bool hasLong = false;
  for (int i = 0; i < n; ++i) hasLong = hasLong || IsLong(c.Fields(i));

  std::vector<int> widths(n);
  std::vector<bool> right(n);
  for (int i = 0; i < n; ++i) {
    auto* f = c.Fields(i);
    right[i] = f->FieldKind() == 1;
    widths[i] = DisplayWidth(f->Name());
  }
  std::vector<std::vector<std::string>> batch;
  bool headed = false;
  uint32_t total = 0;
  auto flush = [&] {
    if (!headed) {
      // Widths come from the headings and the first batch of rows.
      for (auto& row : batch)
        for (int i = 0; i < n; ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
      std::string head, rule;
      for (int i = 0; i < n; ++i) {
        if (i) { head += ' '; rule += ' '; }
        head += PadDisplay(c.Fields(i)->Name(), widths[i], right[i]);
        rule += std::string(widths[i], '-');
      }
      FOut << Trim(head) << "\n" << rule << "\n";
      headed = true;
    }
    for (auto& row : batch) {
      std::string line;
      for (int i = 0; i < n; ++i) {
        if (i) line += ' ';
        line += PadDisplay(row[i], widths[i], right[i]);
      }
      line.erase(line.find_last_not_of(' ') + 1);
      FOut << line << "\n";
    }
    batch.clear();
  };

  if (hasLong) {
    // Long fields hold one row: fetch them one at a time.
    while (c.Fetch()) {
      std::vector<std::string> row(n);
      for (int i = 0; i < n; ++i) row[i] = CellText(c, c.Fields(i), 0);
      batch.push_back(std::move(row));
      ++total;
      if (batch.size() >= 1000) flush();
    }
  } else {
    uint32_t prev = 0;
    for (;;) {
      bool ok = c.FetchRowsQuiet();
      uint32_t now = c.RowsProcessed();
      for (uint32_t r = 0; r < now - prev; ++r) {
        std::vector<std::string> row(n);
        for (int i = 0; i < n; ++i) row[i] = CellText(c, c.Fields(i), static_cast<int>(r));
        batch.push_back(std::move(row));
      }
      total = now;
      if (batch.size() >= 1000 || !ok || now == prev) flush();
      if (!ok || now == prev) break;
      prev = now;
    }
  }
  if (c.ReturnCode() != 0 && c.ReturnCode() != 1403) {
    if (total || !batch.empty()) flush();
    ShowError(c.ErrorText());
    return;
  }
  if (!batch.empty() || !headed) flush();
  FOut << "\n" << total << (total == 1 ? " row selected.\n\n" : " rows selected.\n\n");
}

bool TSqlShell::Execute(const std::string& statement) {
  std::string s = Trim(statement);
  if (s.empty()) return true;
  std::string word = FirstWord(s);
  std::string rest = Upper(Trim(s.substr(word.size())));
  if ((word == "EXIT" || word == "QUIT") && (rest.empty() || rest == "COMMIT")) return false;
  if (!FSession.Connected() && !FSession.Connect()) {
    FOut << FSession.GetErrorMessage(FSession.ReturnCode()) << "\n\n";
    return true;
  }
  if ((word == "COMMIT" || word == "ROLLBACK") && (rest.empty() || rest == "WORK")) {
    bool ok = word == "COMMIT" ? FSession.Commit() : FSession.Rollback();
    if (ok) FOut << (word == "COMMIT" ? "Commit complete.\n\n" : "Rollback complete.\n\n");
    else FOut << FSession.GetErrorMessage(FSession.ReturnCode()) << "\n\n";
    return true;
  }

  TOraCursor c;
  c.SetSession(&FSession);
  c.SetNumberOfRows(1000);
  std::vector<std::string> lines;
  std::istringstream split(s);
  for (std::string line; std::getline(split, line);) lines.push_back(line);
  c.SetSQL(lines);
  std::string err;
  c.OnError = [&](TOraCursor&, const std::string& msg) { err = msg; };
  if (!c.Open()) { ShowError(err); return true; }
  if (!c.Parse() || !c.DescribeFields() || !c.Exec()) {
    ShowError(err);
  } else if (c.StatementType() == 4) {
    c.OnError = nullptr;
    RunQuery(c);
  } else {
    uint32_t n = c.RowsProcessed();
    FOut << n << (n == 1 ? " row processed.\n\n" : " rows processed.\n\n");
  }
  c.Close();
  return true;
}

int TSqlShell::Run() {
  std::string pending; // the statement read so far, one '\n' per finished line
  bool inQuote = false, inDQuote = false, inComment = false;
  for (;;) {
    if (FInteractive) {
      auto lineNo = 1 + std::count(pending.begin(), pending.end(), '\n');
      if (pending.empty()) FOut << "SQL> ";
      else FOut << (lineNo < 10 ? "  " : " ") << lineNo << "  ";
      FOut.flush();
    }
    std::string line;
    if (!std::getline(FIn, line)) break;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A lone command word needs no ";" when nothing else is pending.
    if (pending.empty()) {
      std::string w = Upper(Trim(line));
      if (w == "EXIT" || w == "QUIT" || w == "EXIT;" || w == "QUIT;") return 0;
      if (w.empty()) continue;
    }
    for (size_t i = 0; i < line.size(); ++i) {
      char ch = line[i];
      if (inComment) {
        if (ch == '*' && i + 1 < line.size() && line[i + 1] == '/') { inComment = false; pending += "*/"; ++i; continue; }
        pending += ch;
        continue;
      }
      if (!inQuote && !inDQuote) {
        if (ch == '-' && i + 1 < line.size() && line[i + 1] == '-') break;
        if (ch == '/' && i + 1 < line.size() && line[i + 1] == '*') { inComment = true; pending += "/*"; ++i; continue; }
      }
      if (ch == '\'' && !inDQuote) inQuote = !inQuote;
      else if (ch == '"' && !inQuote) inDQuote = !inDQuote;
      if (ch == ';' && !inQuote && !inDQuote) {
        bool go = Execute(pending);
        pending.clear();
        if (!go) return 0;
        continue;
      }
      pending += ch;
    }
    if (!Trim(pending).empty()) pending += '\n';
    else pending.clear();
  }
  if (!Trim(pending).empty()) Execute(pending);
  return 0;
}
