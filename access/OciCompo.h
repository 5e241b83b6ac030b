// The session, cursor and field classes of the access layer. Plain C++, no Qt: the terminal
// shell links this as well as the windowed program.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Misuse of the access layer (wrong accessor, row out of range, no session, ...).
class EOciCompoError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TOraSession;
class TOraCursor;

// The one logon-parameter check shared by the session and the logon dialog.
bool CheckLogonParams(const std::string& user, const std::string& pass);

// Where the access layer's own notices ("Logon canceled") go. Process-wide; an empty hook
// restores the default, which writes the text to stderr.
using TOciMessageHook = std::function<void(const std::string& text)>;
void SetOciMessageHook(TOciMessageHook hook);
void OciShowMessage(const std::string& text);

// Date-time values: days since 1899-12-30, time of day as the fraction.
constexpr const char* ShortDateFormat = "YYYY/MM/DD";
double EncodeOraDateTime(int year, int month, int day, int hour, int minute, int second);
void DecodeOraDateTime(double value, int& year, int& month, int& day, int& hour, int& minute,
                       int& second);
// The 7 bytes of an Oracle date; throws EOciCompoError when they are not a valid moment.
double DecodeOracleDate(const unsigned char* bytes);
// YYYY, MM, DD, HH, NN, SS are replaced, every other character is copied.
std::string FormatOraDateTime(const std::string& pattern, double value);
// General number format with up to 15 significant digits and the system's decimal separator.
std::string FormatGeneralFloat(double value);

// ---------------------------------------------------------------------------------------------
// Fields

// What a field holds; every reader of fields switches on it.
enum TFieldKind : uint8_t {
  fkString = 0, // VARCHAR2, ROWID
  fkNumber = 1,
  fkDate = 3,
  fkChar = 4,
  fkRaw = 5,
  fkLong = 6,
  fkLongRaw = 7,
};

class TCustomOraField {
public:
  TCustomOraField(std::string name, TOraCursor* cursor);
  virtual ~TCustomOraField() = default;
  TCustomOraField(const TCustomOraField&) = delete;
  TCustomOraField& operator=(const TCustomOraField&) = delete;

  const std::string& Name() const { return FName; }
  TFieldKind FieldKind() const { return FFieldKind; }
  int32_t ExtType() const { return FExtType; }
  unsigned char* Buffer() { return FBuffer.data(); }
  const unsigned char* Buffer() const { return FBuffer.data(); }
  int32_t Width() const { return FWidth; }
  int16_t* Indicators() { return FIndicators.data(); }
  uint16_t* ReturnLengths() { return FReturnLengths.data(); }
  uint16_t* ReturnCodes() { return FReturnCodes.data(); }
  int32_t RowCount() const { return FRowCount; }
  TOraCursor* Cursor() const { return FCursor; }

  virtual void SetRowCount(int32_t count);
  virtual std::string GetAsString(int row) const;
  virtual int32_t GetAsInteger(int row) const;
  virtual double GetAsFloat(int row) const;
  virtual double GetAsDateTime(int row) const;
  virtual std::string GetAsCharText(int row) const;
  virtual void SetWidth(int32_t width);

  int16_t GetIndicator(int row) const;
  void SetIndicator(int row, int16_t value);
  void SetReturnLength(int row, uint16_t value);
  bool IsNull(int row) const;
  void CheckRow(int row) const;

protected:
  [[noreturn]] static void AccessError();
  // Element row as text up to its first NUL (never past the element).
  std::string ElementText(int row) const;

  std::string FName;
  TFieldKind FFieldKind = fkString;
  int32_t FExtType = 0;
  std::vector<unsigned char> FBuffer;
  int32_t FWidth = 0;
  std::vector<int16_t> FIndicators;
  std::vector<uint16_t> FReturnLengths;
  std::vector<uint16_t> FReturnCodes;
  int32_t FRowCount = 0;
  TOraCursor* FCursor;
};

class TOraField : public TCustomOraField {
public:
  TOraField(std::string name, int32_t position, TOraCursor* cursor);
  int32_t Position() const { return FPosition; }
  int32_t DisplaySize() const { return FDisplaySize; }
  void SetDisplaySize(int32_t size) { FDisplaySize = size; }
  // Whether the column may hold NULL, as described; true for expressions.
  bool Nullable() const { return FNullable; }
  void SetNullable(bool value) { FNullable = value; }
  // The column's internal type code as described (12 for DATE even when fetched as text).
  int32_t DbType() const { return FDbType; }
  void SetDbType(int32_t type) { FDbType = type; }
  // The described precision and scale: an INTERVAL's leading and fractional digits.
  int16_t DbPrecision() const { return FDbPrecision; }
  int16_t DbScale() const { return FDbScale; }
  void SetDbPrecisionScale(int16_t precision, int16_t scale) {
    FDbPrecision = precision;
    FDbScale = scale;
  }

protected:
  // Rows a new field allocates: the cursor's NumberOfRows.
  int32_t CursorRows() const;
  int32_t FPosition;
  int32_t FDisplaySize = 0;
  int32_t FDbType = 0;
  int16_t FDbPrecision = 0;
  int16_t FDbScale = 0;
  bool FNullable = true;
};

class TOraStrField : public TOraField {
public:
  TOraStrField(std::string name, int32_t position, TOraCursor* cursor);
  std::string GetAsString(int row) const override;
};

class TOraCharAryField : public TOraStrField {
public:
  TOraCharAryField(std::string name, int32_t position, TOraCursor* cursor);
  std::string GetAsString(int row) const override;
  std::string GetAsCharText(int row) const override;
};

// Holds the exact decimal text of each value (external type 5), so nothing is rounded on fetch.
class TOraNumberField : public TOraField {
public:
  static constexpr int32_t TextWidth = 64;
  TOraNumberField(std::string name, int32_t position, TOraCursor* cursor);
  std::string GetAsString(int row) const override;
  int32_t GetAsInteger(int row) const override;
  double GetAsFloat(int row) const override;
  int16_t Precision() const { return FPrecision; }
  int16_t Scale() const { return FScale; }
  // FLOAT(p) is described with p binary digits and this scale
  bool IsFloat() const { return FScale == -127; }
  void SetPrecision(int16_t value) { FPrecision = value; }
  void SetScale(int16_t value) { FScale = value; }

private:
  int16_t FPrecision = 0;
  int16_t FScale = 0;
};

class TOraDateTimeField : public TOraField {
public:
  TOraDateTimeField(std::string name, int32_t position, TOraCursor* cursor);
  std::string GetAsString(int row) const override;
  double GetAsDateTime(int row) const override;
};

class TOraRawField : public TOraField {
public:
  TOraRawField(std::string name, int32_t position, TOraCursor* cursor);
  void SetWidth(int32_t width) override;
};

class TOraCustomLongField : public TOraField {
public:
  TOraCustomLongField(std::string name, int32_t position, TOraCursor* cursor);
  uint32_t LongLength() const { return FLongLength; }
  uint32_t* LongLengthPtr() { return &FLongLength; }

protected:
  uint32_t FLongLength = 0;
};

class TOraLongField : public TOraCustomLongField {
public:
  TOraLongField(std::string name, int32_t position, TOraCursor* cursor);
};

class TOraLongRawField : public TOraCustomLongField {
public:
  TOraLongRawField(std::string name, int32_t position, TOraCursor* cursor);
};

// Owns its fields.
class TFieldList {
public:
  int Count() const { return static_cast<int>(FItems.size()); }
  // Throws std::out_of_range for an index outside the list.
  TCustomOraField* Items(int index) const;
  void Add(std::unique_ptr<TCustomOraField> field) { FItems.push_back(std::move(field)); }
  void ClearFields() { FItems.clear(); }

private:
  std::vector<std::unique_ptr<TCustomOraField>> FItems;
};

// ---------------------------------------------------------------------------------------------
// Session

class TOraSession {
public:
  static constexpr int HostAreaSize = 256;
  static constexpr int LogonAreaSize = 64;

  TOraSession();
  ~TOraSession();
  TOraSession(const TOraSession&) = delete;
  TOraSession& operator=(const TOraSession&) = delete;

  unsigned char* HostArea() { return FHostArea; }
  unsigned char* LogonArea() { return FLogonArea; }
  // Return code of the logon data area: the session's last Oracle error number.
  uint16_t ReturnCode() const;
  // Attached cursors in the order of attachment (not owned).
  const std::vector<TOraCursor*>& Cursors() const { return FCursors; }

  bool AutoLogon = false;
  std::string UserName;
  std::string UserPass;
  std::string UserHost;
  std::string DateFormatString;
  bool Connected() const { return FConnected; }
  // The user part of UserName: "DEMO" of "DEMO/DEMO@host", so no password is ever shown.
  std::string LogonUser() const;

  std::function<void(TOraSession& sender)> OnLogin;
  std::function<void(TOraSession& sender)> OnConnect;
  std::function<void(TOraSession& sender)> OnDisConnect;
  std::function<void(TOraSession& sender, const std::string& errorMsg)> OnError;
  // The logon dialog: edits the three texts in place, true when confirmed. None = cancelled.
  std::function<bool(std::string& user, std::string& pass, std::string& host)> LogonPrompt;

  bool Connect();
  bool Disconnect();
  bool Commit();
  bool Rollback();
  std::string GetErrorMessage(int code);
  void SetConnected(bool value);
  bool ShowLogonDialog();

private:
  friend class TOraCursor;
  void DoError();
  void Attach(TOraCursor* cursor);
  void Detach(TOraCursor* cursor);

  unsigned char FHostArea[HostAreaSize] = {};
  unsigned char FLogonArea[LogonAreaSize] = {};
  std::vector<TOraCursor*> FCursors;
  bool FConnected = false;
};

// ---------------------------------------------------------------------------------------------
// Cursor

class TOraCursor {
public:
  static constexpr int CursorAreaSize = 64;
  static constexpr uint32_t MaxRows = 1000;

  TOraCursor();
  ~TOraCursor();
  TOraCursor(const TOraCursor&) = delete;
  TOraCursor& operator=(const TOraCursor&) = delete;

  unsigned char* CursorArea() { return FCursorArea; }

  TOraSession* Session() const { return FSession; }
  void SetSession(TOraSession* session);
  std::vector<std::string>& SQL() { return FSQL; }
  const std::vector<std::string>& SQL() const { return FSQL; }
  void SetSQL(const std::vector<std::string>& lines) { FSQL = lines; }
  uint32_t NumberOfRows() const { return FNumberOfRows; }
  void SetNumberOfRows(uint32_t value);
  uint16_t StringParamLength() const { return FStringParamLength; }
  // DATE columns described from now on are fetched as the library's text in the session's date
  // format (string fields) instead of as date-time values.
  bool DatesAsText() const { return FDatesAsText; }
  void SetDatesAsText(bool value) { FDatesAsText = value; }
  // RAW columns described from now on are fetched as the library's hexadecimal text (string
  // fields), whatever their size, instead of as raw bytes of at most 255.
  bool RawAsText() const { return FRawAsText; }
  void SetRawAsText(bool value) { FRawAsText = value; }
  void SetStringParamLength(uint16_t value) { FStringParamLength = value; }

  TCustomOraField* Fields(int index) const { return FFields.Items(index); }
  int FieldCount() const { return FFields.Count(); }
  const TFieldList& FieldList() const { return FFields; }

  uint32_t RowsProcessed() const;
  uint16_t ReturnCode() const;
  uint8_t FunctionCode() const;
  uint16_t StatementType() const;
  // Byte offset in StatementText() of the token the last error is about (0 when none).
  uint16_t ErrorOffset() const;
  const std::string& DateFormat() const;
  bool Opened() const { return FOpened; }
  // The text last handed to the library by Parse.
  const std::string& StatementText() const { return FStatementText; }

  std::function<void(TOraCursor& sender, const std::string& errorMsg)> OnError;

  bool Open();
  bool Close();
  bool Parse();
  bool ParseQuiet();
  bool DescribeFields();
  bool Exec();
  bool Fetch();
  bool FetchRows();
  bool FetchRowsQuiet();
  // Reads a piece of the current row's LONG / LONG RAW value; the field's LongLength gets its
  // length. Throws EOciCompoError for a field that is not a long field of this cursor.
  bool FetchLong(TCustomOraField* field, int offset);
  std::string ErrorText() const;

private:
  friend class TOraSession;
  struct TDescribeRec;
  std::unique_ptr<TCustomOraField> CreateField(const TDescribeRec& rec);
  bool DoParse(bool quiet);
  bool DoFetchRows(bool quiet);
  // Common tail of every library call: lost-logon check and error event.
  bool Finish(int result, bool quiet, bool checkLostLogon);
  void DoError(const std::string& text);

  unsigned char FCursorArea[CursorAreaSize] = {};
  TOraSession* FSession = nullptr;
  TFieldList FFields;
  uint32_t FNumberOfRows = 10;
  uint16_t FStringParamLength = 50;
  bool FDatesAsText = false;
  bool FRawAsText = false;
  std::vector<std::string> FSQL;
  std::string FStatementText;
  bool FOpened = false;
};
