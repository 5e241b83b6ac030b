// Cuts the shell's input lines into shell commands and SQL statements, the way a classic
// Oracle command-line tool does: ";" at the end of a line ends SQL, "/" alone on a line ends
// anything (and re-runs the buffer when nothing is being entered), PL/SQL units end only with
// "/", a blank line ends the entry of plain SQL without running it.
#pragma once
#include <string>
#include <vector>

struct TSplitEvent {
  enum TKind {
    None,      // the line was taken in (or ignored); nothing to do yet
    Command,   // a shell command line, in Text (without a trailing ";")
    Statement, // a finished statement to run, in Text (SQL without its ";", PL/SQL as entered)
    RunBuffer, // "/" with nothing being entered: run the buffer again
    Stored     // the entry ended without running (blank line or "."); Text goes to the buffer
  };
  TKind Kind = None;
  std::string Text;
  bool PlSql = false;
};

class TSqlSplitter {
public:
  TSplitEvent Feed(const std::string& line);
  // True while nothing is being entered: the next line may be a shell command.
  bool Empty() const { return FPending.empty() && FCommand.empty(); }
  // Lines taken into the current entry so far (0 when empty).
  int LineCount() const { return FLines; }
  bool ContinuingCommand() const { return !FCommand.empty(); }
  // The unfinished entry, as entered so far.
  const std::string& Pending() const { return FPending; }
  void Reset();
  // Keep blank lines inside SQL instead of ending the entry there.
  bool BlankLinesInSql = false;
  // The character that ends SQL at the end of a line (SET SQLTERMINATOR); 0: only "/" does.
  char Terminator = ';';
  // Alone on a line, ends the entry without running it (SET BLOCKTERMINATOR); 0: none does.
  char BlockTerminator = '.';
  // A line that starts with it in the middle of an entry is a shell command run at once.
  char Prefix = '#';

  // Whether a statement's text is a PL/SQL unit (block or stored program source).
  static bool IsPlSql(const std::string& text);
  // Whether a text holds anything besides blanks and comments.
  static bool HasContent(const std::string& text);
  // The first words of a text, upper case, skipping comments; at most `count` words.
  static std::string LeadingWords(const std::string& text, int count);
  // Whether a line (first word) is a shell command rather than SQL.
  static bool IsShellCommand(const std::string& line);
  // Whether a command line is a REMARK (never substituted).
  static bool IsRemark(const std::string& line);
  // What the entry is inside at the end of the last line ("a quoted string", ...), or null.
  const char* OpenText() const;
  // For an SQL entry inside a string literal that never closed: the classic shell ends an entry
  // at a line ending in the terminator even inside quotes. Returns the statement up to the first
  // such line and puts the lines after it in `rest`; empty when no line ends so.
  std::string CutOpenString(std::vector<std::string>& rest) const;

private:
  // Scans one line, updating the quote and comment state. Returns the offset of a ";" that
  // ends the line (only blanks or comments after it), or npos.
  size_t Scan(const std::string& line);
  bool InsideText() const { return FQuote != 0 || FBlockComment; }

  std::string FPending;
  std::string FCommand; // a shell command continued with a trailing "-"
  int FLines = 0;
  char FQuote = 0;      // ' or " while inside such a quote; the closing char of a q-quote
  bool FQQuote = false; // the quote is a q'...' one
  std::string FQClose;  // its closing delimiter: one character, several bytes in UTF-8
  bool FBlockComment = false;
};

// Which lines typed at the prompt may go into the history file: none that holds a password
// (CONNECT user/password, ... IDENTIFIED BY password, also when the password is on a later
// line).
class THistoryFilter {
public:
  bool Keep(const std::string& line);

private:
  int FState = 0; // 1: IDENTIFIED seen, BY expected; 2: BY seen, the password comes next
};
