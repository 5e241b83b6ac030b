// The terminal SQL shell: reads SQL statements and shell commands (SET, SHOW, DESCRIBE,
// CONNECT, @script, ...) and runs them through the access layer.
#pragma once
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

class TOraSession;
class TOraCursor;
class TSqlSplitter;
struct TSplitEvent;

struct TLogonArgs {
  std::string user, password, host;
  bool hasPassword = false;
};

// The Oracle type of a described column, as DESCRIBE shows it: VARCHAR2(10), NUMBER(7,2), ...
class TCustomOraField;
std::string ColumnTypeText(TCustomOraField* field);

// The classic message after a statement that is not a query; `rows` is the count it processed.
std::string FeedbackText(const std::string& text, bool plsql, uint32_t rows);
// A statement's error as it reports it alone, from the error of the block it ran in.
std::string StatementError(const std::string& err);

// Pieces of a text that fit `width` columns; `words` breaks between words and drops the
// blanks at each break.
std::vector<std::string> Chunks(const std::string& s, int width, bool words = false);

// "user[/password][@host]"
TLogonArgs ParseLogonArg(const std::string& arg);

// The rows of a query run on its own, each value as text; none when it fails.
std::vector<std::vector<std::string>> QueryRows(TOraSession& session, const std::string& sql);

// Script file bytes as UTF-8: a UTF-8 BOM or valid UTF-8 is kept, anything else is CP932.
std::string DecodeScriptText(const std::string& bytes);

// MARKUP HTML's HEAD text until one is set: the style sheet and title of the page.
std::string DefaultHtmlHead();

struct TShellSettings {
  int LineSize = 80;
  int PageSize = 14;         // lines per page; 0 = no headings and no page breaks
  int Feedback = 6;          // show "n rows selected." from this many rows on; 0 = off
  bool FeedbackOnly = false; // FEEDBACK ONLY: a query shows its row count, not its rows
  bool Echo = false;         // echo the lines of scripts
  bool Heading = true;
  int NumWidth = 10;        // width of NUMBER columns without a precision
  int Long = 80;            // shown part of LONG values
  std::string NullText;     // shown for NULL
  std::string NumFormat;    // number model of NUMBER columns without a FORMAT
  std::string ColSep = " "; // between the columns of a line
  bool Csv = false;         // MARKUP CSV: rows as comma-separated values, no pages
  char CsvDelimiter = ',';
  bool CsvQuote = true; // text in double quotes
  // MARKUP HTML: rows as an HTML table; HEAD, BODY and TABLE text go into the page and the
  // table's tags, ENTMAP escapes & < > ", PREFORMAT keeps the text layout in <pre>, SPOOL
  // makes spool files whole HTML pages.
  bool Html = false;
  std::string HtmlHead = DefaultHtmlHead(), HtmlBody;
  std::string HtmlTable = "border='1' width='90%' align='center' summary='Script output'";
  bool HtmlEntmap = true;
  bool HtmlSpool = false;
  bool HtmlPreformat = false;
  char Underline = '-'; // under the headings; 0 = no line
  bool Wrap = true;     // OFF cuts every value at its column's width
  bool TermOut = true;  // OFF keeps the output of scripts off the screen (not the spool)
  int AutoCommit = 0;   // commit after this many statements that change data; 0 = OFF
  std::string SqlPrompt = "SQL> ";
  int NewPage = 1;       // blank lines at the top of a page; 0 a form feed, -1 none
  char RecSep = 'W';     // blank line after a record: 'W' one that wrapped, 'E' each, 'O' none
  char RecSepChar = ' '; // the separator line is LINESIZE of these
  bool SqlBlankLines = false;
  char SqlTerminator = ';';       // ends SQL at the end of a line; 0 = OFF
  char BlockTerminator = '.';     // alone on a line, ends the entry of a block without running it
  char SqlPrefix = '#';           // before a shell command typed in the middle of a statement
  std::string SqlContinue = "> "; // the prompt of a command continued with "-"
  char SqlCase = 'M';             // statements go as written ('M'), in 'U'pper or 'L'ower case
  bool Verify = true;             // show a statement's lines before and after substitution
  bool DefineOn = true;           // substitution variables are replaced
  char DefineChar = '&';          // their prefix
  bool Timing = false;            // "Elapsed: hh:mi:ss.cc" after each statement
  bool AppInfo = false;
  std::string AppInfoText = "SQL*Plus";
  int ArraySize = 15;
  int CopyCommit = 0;
  std::string EditFile = "afiedt.buf";
  bool SqlNumber = true; // the lines after a statement's first are numbered; OFF: SQLPROMPT
  bool Embedded = false; // a report starts where the last one ended, not on a new page
  bool Pause = false;    // each page of a query's rows waits for Enter
  std::string PauseText; // shown while it waits
  std::string Flagger = "OFF";
  bool ShowMode = false;      // SET shows the setting before and after
  bool ExitCommit = true;     // EXIT (and the end of input) commits; OFF rolls back
  bool Time = false;          // the prompt starts with the time of day
  int LongChunkSize = 80;     // LONG columns are as wide as the smaller of LONG and this
  char Escape = 0;            // before the substitution prefix, keeps it as it is; 0 = off
  char Concat = '.';          // ends a variable's name and joins it to the text after it; 0 = off
  char HeadSep = '|';         // splits a COLUMN heading into lines; 0 = off
  char CmdSep = 0;            // between shell commands on one line; 0 = off
  std::string Suffix = "sql"; // added to a script name without extension
  bool ServerOutput = false;
  bool AutoPrint = false; // PRINT the bind variables of each block that ran
  // SET AUTOTRACE: 0 OFF, 'O' ON EXPLAIN, 'T' TRACEONLY EXPLAIN (rows counted, not shown)
  char AutoTrace = 0;
  bool ColInvisible = false; // DESCRIBE lists invisible columns too
  long ServerOutputSize = 0; // 0 = unlimited
  // how lines longer than LINESIZE show: 'W' WORD_WRAPPED (and without leading blanks),
  // 'R' WRAPPED, 'T' TRUNCATED
  char ServerOutputFormat = 'W';
  int DescribeDepth = 1; // SET DESCRIBE DEPTH: levels of object attributes shown; 0 = ALL
  bool DescribeIndent = true;
  // WHENEVER SQLERROR EXIT [code|SQL.SQLCODE] [COMMIT|ROLLBACK]
  bool ErrorExit = false;
  int ErrorExitCode = 0;
  bool ErrorExitSqlCode = false; // exit with the Oracle error number
  bool ErrorExitCommit = false;  // COMMIT given; neither: as EXITCOMMIT says
  bool ErrorExitRollback = false;
  // WHENEVER OSERROR EXIT [code] [COMMIT|ROLLBACK]: a script that cannot be opened
  bool OsErrorExit = false;
  int OsErrorExitCode = 1;
  bool OsErrorExitCommit = false;
  bool OsErrorExitRollback = false;
  // WHENEVER SQLERROR|OSERROR CONTINUE [COMMIT|ROLLBACK|NONE]: 'C', 'R' or 0 for NONE
  char ErrorContinue = 0;
  char OsErrorContinue = 0;
};

// Output that also goes to a SPOOL file while one is open.
class TTeeBuf : public std::streambuf {
public:
  explicit TTeeBuf(std::streambuf* target) : FTarget(target) {}
  std::streambuf* Copy = nullptr;
  bool Mute = false;     // only the copy gets the output
  bool Entities = false; // & < > " are written as HTML entities

protected:
  int overflow(int c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

private:
  std::streambuf* FTarget;
};

// What COLUMN sets for a column of query output, by its name.
struct TColumnSettings {
  std::string Name;    // as the user wrote it
  std::string Alias;   // another name BREAK, COMPUTE and COLUMN may use for it
  std::string Format;  // "A20" or a number model, upper case; empty = none
  std::string Heading; // lines split at '|'
  bool HasHeading = false;
  char HeadSep = '|'; // SET HEADSEP when the heading was given: it splits this heading
  std::string NullText;
  bool HasNullText = false;
  bool Truncated = false;   // text longer than the column is cut instead of wrapped
  bool WordWrapped = false; // it wraps between words
  bool Wrapped = false;     // WRAPPED or WORD_WRAPPED given: it wraps even with SET WRAP OFF
  bool NoPrint = false;     // left out of the output (still there for BREAK)
  char Entmap = 0;          // HTML: 'Y' or 'N' overrides MARKUP's ENTMAP for its values
  bool Off = false;         // COLUMN OFF: the settings are kept but not used until ON
  char Justify = 0;         // heading: 'L', 'C', 'R' or 0 for the column's own side
  bool FoldBefore = false;  // FOLD_BEFORE / NEWLINE: the column starts a new line of the record
  bool FoldAfter = false;   // FOLD_AFTER: the next column does
  std::string NewValue;     // variables that take the column's value of the last row
  std::string OldValue;
};

// BREAK ON a column (or REPORT): repeated values are left out and a break comes between groups.
struct TBreakSettings {
  std::string Column; // upper case; "REPORT" for the whole result
  int Skip = 0;       // blank lines before the first row of the next group
  bool SkipPage = false;
  bool Duplicates = false;
};

// COMPUTE function[s] OF columns ON a break column or REPORT.
struct TComputeSettings {
  std::vector<std::string> Functions; // SUM, AVG, COUNT, NUMBER, MINIMUM, MAXIMUM
  std::vector<std::string> Labels;    // one for each function
  std::vector<std::string> Of;        // upper-case column names
  std::string On;                     // upper case
};

// VARIABLE name type: a bind variable of the shell.
struct TBindVar {
  std::string Name;  // upper case
  std::string Shown; // as declared
  std::string Type;  // as VARIABLE lists it: NUMBER, VARCHAR2(20), ...
  bool Number = false;
  int Size = 0; // characters of a text variable
  bool Null = true;
  std::string Value;
  // REFCURSOR: a cursor area of its own receives the cursor variable a block opens in it
  bool RefCursor = false;
  bool Pending = false; // it holds a block's rows not yet printed
  std::shared_ptr<TOraCursor> Cursor;
};

// One replacement made in a text: OutLength characters at OutAt of the result stand for
// InLength characters at InAt of the text before.
struct TTextEdit {
  size_t OutAt, OutLength, InAt, InLength;
};

// A statement as written and as sent, with its bind variables' values written in.
struct TBoundText {
  std::string Written, Sent;
  std::vector<TTextEdit> Headings, Values; // the headings given first, then the values
  // The written text and the place in it of `offset` in `statement` (the text the call library
  // got); false when that is not this statement.
  bool Locate(const std::string& statement, size_t offset, std::string& text, size_t& place) const;
};

class TSqlShell {
public:
  TSqlShell(TOraSession& session, std::istream& in, std::ostream& out, bool interactive);
  ~TSqlShell();

  // Runs until EXIT or the end of input; the result is the process exit code.
  int Run();
  // Runs a script file first (as "@file" does). False when it asked to exit.
  bool RunStartScript(const std::string& file);
  // Runs one complete statement or command (SQL without its ";"). False when it asks to exit.
  bool Execute(const std::string& statement);
  int ExitCode() const { return FExitCode; }
  // The command line's MARKUP options: with HTML ON the output starts as an HTML page, which
  // EndMarkup ends. False after a message when they are wrong.
  bool StartMarkup(const std::string& options);
  void EndMarkup();

  TShellSettings Settings;

  // Reads one line of the top-level input; false at its end. The default prints the prompt
  // (interactive only) and reads `in`. The program installs a line editor here.
  std::function<bool(const std::string& prompt, std::string& line)> ReadLine;
  // Asks for a value (user name, password); `echo` false hides the typing. The default
  // reads a line of the top-level input.
  std::function<std::string(const std::string& prompt, bool echo)> Ask;
  // Polled while a query's rows are fetched: true when the user asked to stop (Ctrl-C).
  std::function<bool()> Interrupted;
  // Drops the statement being entered at the prompt (Ctrl-C while typing).
  void CancelEntry() { FCancelEntry = true; }
  // Where errors that concern the whole run go (a script that ends inside a statement);
  // the normal output when none is set.
  std::ostream* ErrOut = nullptr;

private:
  struct TSource;
  // Feeds lines of one source until its end or EXIT. False when the shell is to exit.
  bool RunSource(TSource& src);
  bool HandleLine(TSource& src, TSqlSplitter& splitter, const std::string& line);
  bool HandleEvent(TSource& src, const TSplitEvent& ev);
  bool RunCommand(TSource& src, const std::string& text);
  // A line of shell commands split at SET CMDSEP's character.
  bool RunCommands(TSource& src, const std::string& line);
  // Substitutes variables, runs the statement and shows the time it took when TIMING is on.
  bool RunStatement(const std::string& text, bool plsql);
  bool RunStatementText(const std::string& text, bool plsql);
  void ShowServerOutput();                // the DBMS_OUTPUT lines the last statement left
  void WriteServerLine(std::string line); // one of them, as SERVEROUTPUT's FORMAT shows it
  bool RunScript(TSource& from, const std::string& name, bool relative);
  // Prints a query's rows; false with `error` set when the fetch failed.
  bool RunQuery(TOraCursor& cursor, std::string& error);
  bool RunQueryText(TOraCursor& cursor, std::string& error);
  // The rows as MARKUP CSV writes them; false with `error` set when the fetch failed.
  bool RunCsvQuery(TOraCursor& cursor, std::string& error);
  // SET MARKUP's words after MARKUP; false after a message.
  bool SetMarkup(const std::vector<std::string>& words);
  // The words after SET MARKUP HTML.
  bool SetHtmlMarkup(const std::vector<std::string>& words);
  std::string MarkupText() const;
  // The rows as MARKUP HTML writes them: a table for each page.
  bool RunHtmlQuery(TOraCursor& cursor, std::string& error);
  // A spool file starts and ends as a whole HTML page with MARKUP HTML ON SPOOL ON.
  void HtmlSpoolStart();
  std::string HtmlPageStart() const;
  void HtmlSpoolEnd();
  // The "n rows selected." line (or none) after a query's rows.
  void QueryFeedback(uint32_t rows);
  // FEEDBACK ONLY: fetches the rows without showing them, then their count.
  bool CountQuery(TOraCursor& cursor, std::string& error);
  // AUTOTRACE: the execution plan of a query or DML statement that ran.
  void ShowAutotracePlan(const std::string& text);
  void Describe(const std::string& name);
  void DescribeInvisible(
      const std::string& name, const std::map<std::string, std::string>& declared,
      const std::function<void(const std::string&, const std::string&, const std::string&)>& line);
  // DESCRIBE of a procedure, function or package: false when there is none of that name.
  bool DescribeUnit(const std::string& name);
  // DESCRIBE of an object or collection type: false when there is none of that name.
  bool DescribeType(const std::string& name);
  bool ReturningIntoBinds(const std::string& text) const;
  bool RunReturning(const std::string& text);
  uint32_t ReturnedRows();
  // The Name / Null? / Type heading of a column listing, for names up to `longest` wide; gives
  // the width of the name column that DescribeLine then uses.
  int DescribeHeading(int longest);
  void DescribeLine(int nameWidth, const std::string& name, const std::string& null,
                    const std::string& type);
  // The name of the object a private synonym stands for; empty when `name` is none.
  std::string SynonymTarget(const std::string& name);
  // An object type's attributes: name and type as DESCRIBE shows them.
  std::vector<std::pair<std::string, std::string>> TypeAttributes(const std::string& type);
  // The attributes of a column or attribute of object type `type`, down to SET DESCRIBE DEPTH.
  void DescribeNested(
      const std::string& type, int level,
      const std::function<void(const std::string&, const std::string&, const std::string&)>& line);
  // A written argument type as DESCRIBE shows it (table.column%TYPE is that column's type).
  std::string ArgumentType(const std::string& type);
  // Gives the number models' L, C and U the session's currencies.
  void LoadSessionSymbols();
  // The width of a date in the session's date format.
  int SessionDateWidth();
  // The session's NLS_DATE_FORMAT.
  std::string SessionDateFormat();
  void SetCommand(const std::string& args);
  // The SET option at w[i] if it is one of the rarer ones: the words it took, 0 after a
  // message, -1 when it is none of them.
  int SetOtherOption(const std::vector<std::string>& w, size_t i);
  // `capture`: the text of the one setting `args` names goes there instead of the output
  void ShowCommand(const std::string& args, std::string* capture = nullptr);
  std::string SettingText(const std::string& option);
  // SHOW TTITLE / BTITLE
  enum { TopTitle, BottomTitle, ReportHeader, ReportFooter };
  std::string TitleText(int kind) const;
  void TitleCommand(int kind, const std::string& args);
  // The lines of the top or bottom title for page `page`.
  std::vector<std::string> TitleLines(int kind, int page);
  void Connect(const std::string& args);
  void Disconnect();
  // PASSWORD [user]: asks for the old and new password and changes it.
  void Password(const std::string& args);
  bool Exit(const std::string& args);
  bool Whenever(const std::string& args);
  bool RequireConnection();
  // A failed statement: prints the message; false when WHENEVER SQLERROR says exit.
  bool Failed(const std::string& text, int code);
  // What WHENEVER ... CONTINUE COMMIT or ROLLBACK asks after a failure.
  void ContinueAfterError(char action);
  void ShowError(const std::string& text);
  // `gap`: a blank line between the statement's line and the "*" (EXECUTE's block)
  void ShowErrorLine(const std::string& statement, size_t offset, bool gap = false);
  // Where in a block's text "ORA-06550: line n, column m" of `error` points; 0 for none.
  static size_t BlockErrorOffset(const std::string& statement, const std::string& error);
  void ListBuffer(const std::string& args = std::string());
  std::vector<std::string> BufferLines() const;
  void SetBufferLines(const std::vector<std::string>& lines);
  int CurrentLine() const;
  int LineRef(const std::string& word, int count) const;
  void ShowLine(const std::vector<std::string>& lines, int n, bool current);
  void LineNumberCommand(const std::string& text);
  void ChangeCommand(const std::string& args);
  void AppendCommand(const std::string& text);
  void InputCommand(const std::string& text);
  void DelCommand(const std::string& args);
  void SaveCommand(const std::string& args);
  // STORE SET file [CREATE|REPLACE|APPEND]
  void StoreCommand(const std::string& args);
  void WriteScript(const std::string& name, bool replace, bool append, const std::string& text,
                   const char* command);
  std::string SettingsScript() const;
  void GetCommand(const std::string& args);
  std::string Prompt(const TSqlSplitter& splitter);
  // SQLPROMPT with the variables it names replaced by their values, quoted text without quotes.
  std::string SqlPromptText();
  // The end of a source in the middle of an entry; false when the run is to stop.
  bool UnfinishedAtEnd(const TSource& src, const TSqlSplitter& splitter);
  // Replaces substitution variables, asking for those not defined; shows the changed lines
  // ("old   1: ..." / "new   1: ...") when `verify` and SET VERIFY say so.
  std::string Substitute(const std::string& text, bool verify);
  // A substitution variable's value: the user's, else one the shell defines (_USER, _DATE...).
  bool Variable(const std::string& name, std::string& value);
  void SetVariable(const std::string& name, const std::string& value, bool number = false);
  std::vector<std::pair<std::string, std::string>> PredefinedVariables();
  // _CONNECT_IDENTIFIER: the logon's @name, else the database's own name.
  std::string ConnectIdentifier();
  void DefineCommand(const std::string& args);
  void VariableCommand(const std::string& args);
  // TIMING [START [name] | SHOW | STOP]: timers that report "Elapsed: hh:mi:ss.cc".
  void TimingCommand(const std::string& args);
  static std::string ElapsedText(std::chrono::steady_clock::time_point since);
  void PrintCommand(const std::string& args);
  void PrintCursor(TBindVar& b);
  // Hands the REFCURSOR variables a block names to its cursor before it runs; false with
  // `error` set when one cannot be bound.
  bool BindCursors(TOraCursor& block, const std::string& text, std::string& error);
  // After a block ran (or failed): its REFCURSOR variables hold its rows, or none.
  void CursorsRan(bool ok);
  // The same for the NUMBER and text variables a block names: their values go in before it
  // runs and come back after it ran; false with `error` set when one cannot.
  bool BindValues(TOraCursor& block, const std::string& text, std::string& error);
  bool ValuesRan(TOraCursor& block, std::string& error);
  // SET AUTOPRINT ON: the bind variables a block named, once each, in the order first named.
  void AutoPrint(const std::string& block);
  // The first :name of an anonymous block that is no declared bind variable; empty when none.
  std::string UndeclaredBind(const std::string& block);
  TBindVar* FindBind(const std::string& name);
  // A query's select-list items that name bind variables, given their written text as heading.
  static std::string BindHeadings(const std::string& sql, std::vector<TTextEdit>* edits = nullptr);
  std::string BindLiteral(const TBindVar& b) const;
  // The statement with each :name of a bind variable written as its value; `undeclared` gets
  // the first name that is none.
  std::string ReplaceBinds(const std::string& text, std::string& undeclared,
                           TBoundText* bound = nullptr);
  // A block of nothing but ":name := expression;" steps: `handled`, and they are carried out.
  // False when WHENEVER SQLERROR says exit.
  bool BindAssignments(const std::string& block, bool& handled);
  void UndefineCommand(const std::string& args);
  void AcceptCommand(const std::string& args);
  // Whether the engine reads `value` as a date in `format` (the session's when empty).
  bool ValidDate(const std::string& value, const std::string& format);
  void ColumnCommand(const std::string& args);
  void ListColumn(const TColumnSettings& col);
  void ClearCommand(const std::string& args);
  void BreakCommand(const std::string& args);
  void ComputeCommand(const std::string& args);
  void SpoolCommand(const std::string& args);
  void StopSpool();
  void ShowErrors(const std::string& args);
  // SHOW PARAMETERS [name]: the parameters whose names hold `name`.
  void ShowParameters(const std::string& name);
  void ShowSga();
  // SHOW CON_NAME and the like: a USERENV value under its heading.
  void ShowContextValue(const std::string& heading, const std::string& attribute);
  void ArchiveLogList();
  bool HasRole(const std::string& role);
  // SHOW RECYCLEBIN: the dropped tables FLASHBACK TABLE can bring back, last dropped first.
  void ShowRecycleBin();
  // Remembers the stored unit a successful CREATE made, for SHOW ERRORS.
  void NoteCreatedUnit(const std::string& text);
  // USER_OBJECTS.STATUS of an object; err holds the error when it could not be read.
  // The first column of the first row a query gives; empty when none (err says why, if it failed).
  std::string QueryValue(const std::string& sql, std::string& err);
  std::string ObjectStatus(const std::string& name, const std::string& type, std::string& err);
  // The decimal character NLS_NUMERIC_CHARACTERS gives the session now.
  char SessionDecimal();
  // A number's text with the session's decimal character.
  std::string LocalDecimal(std::string text) const;
  // The columns of a table of one's own (as written) whose lengths count characters, with those
  // lengths.
  std::map<std::string, std::string> DeclaredTypes(const std::string& table);
  // The invisible columns of a table of one's own (as written), in the table's order.
  std::vector<std::string> InvisibleColumns(const std::string& table);
  // A CREATE FORCE VIEW that made a view with errors, or an ALTER VIEW or TRIGGER ... COMPILE
  // that left it with errors.
  bool CompiledInvalid(const std::string& text, std::string& title);
  // "Procedure", "Package Body", ... as the shell's messages name a unit type.
  static std::string UnitTitle(const std::string& type);
  // The unit's USER_ERRORS as "line/col" and text, in order.
  std::vector<std::pair<std::string, std::string>> UnitErrors(const std::string& name,
                                                              const std::string& type);
  const TColumnSettings* Column(const std::string& name) const;

  TOraSession& FSession;
  std::istream& FIn;
  TTeeBuf FTee;
  std::ostream FOut;
  std::unique_ptr<std::ofstream> FSpool;
  std::string FSpoolName;
  bool FPreformatting = false; // inside MARKUP HTML's <pre>: nested queries stay text
  bool FSpoolHtml = false;
  bool FPageHtml = false; // the output began as an HTML page: it ends as one     // the spool file
                          // began as an HTML page: it ends as one
  std::map<std::string, TColumnSettings> FColumns; // by upper-case name
  std::vector<TBreakSettings> FBreaks;             // in the order given
  std::vector<TComputeSettings> FComputes;
  std::vector<std::pair<std::string, std::string>> FDefines; // upper-case name, value
  std::vector<TBindVar> FBinds;
  std::vector<std::string> FBoundCursors; // the REFCURSOR variables bound to the running block
  std::vector<std::string> FBoundValues;  // its NUMBER and text variables
  std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> FTimers;
  std::set<std::string> FNumberDefines;       // of those, the NUMBER ones (ACCEPT, NEW_VALUE)
  std::set<std::string> FUndefinedPredefined; // _USER and the like, after UNDEFINE
  std::string FLastUnitType, FLastUnitName;
  // TTITLE, BTITLE, REPHEADER and REPFOOTER as given (empty = none).
  struct TTitle {
    std::string Spec;
    bool On = false;
    bool Page = false; // REPHEADER/REPFOOTER PAGE: on a page of its own
  };
  TTitle FTitles[4];
  int FReportPage = 0;  // the page the last report ended on, for SET EMBEDDED ON
  int FReportLines = 0; // and the lines it used of it
  int FTitleLineNo = 1; // SQL.LNO: the line of the page a title's first line takes
  bool FInteractive;
  std::string FBuffer; // the last statement entered
  bool FBufferPlSql = false;
  int FCurrent = 0;   // the buffer's current line; 0 = its last
  int FErrorLine = 0; // the line ShowErrorLine marked last
  TBoundText FBound;  // the SQL statement running, as written, while it has bind variables
  bool FBoundRunning = false;
  // A DML statement with RETURNING ... INTO :binds runs as a block that fills them; this is the
  // statement as written, for its feedback and error lines.
  std::string FReturning;
  bool FExecuting = false; // the statement running is EXECUTE's block
  int FDepth = 0;          // script nesting
  int FExitCode = 0;
  int FLastError = 0;          // Oracle error number of the last failed statement
  char FDecimal = '.';         // the session's decimal character, as numbers are shown
  int FChangesSinceCommit = 0; // statements that changed data since SET AUTOCOMMIT n counted last
  bool FCancelEntry = false;
  bool FShowingMode = false; // SET runs within SHOWMODE's report of it
};
