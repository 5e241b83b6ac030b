#include "OciCompo.h"

#include "DisplayWidth.h"
#include "OciCompoImpl.h"
#include "OciIntr.h"

#include <algorithm>
#include <cstring>

using namespace ocicompo;

// ---------------------------------------------------------------------------------------------
// Session

TOraSession::TOraSession() = default;

TOraSession::~TOraSession() {
  if (FConnected) {
    try {
      SetConnected(false);
    } catch (...) {
      // A destructor must not throw; the library is gone anyway if this fails.
    }
  }
  // The library drops a logon's cursors with it; leave none pointing here.
  for (TOraCursor* c : FCursors) {
    c->FSession = nullptr;
    c->FOpened = false;
  }
}

std::string TOraSession::LogonUser() const {
  return UserName.substr(0, UserName.find_first_of("/@"));
}

uint16_t TOraSession::ReturnCode() const { return ReadU16(FLogonArea, kOffReturnCode); }

bool TOraSession::Connect() {
  SetConnected(true);
  bool ok = FConnected;
  if (!ok && ReturnCode() != 0)
    DoError();
  return ok;
}

bool TOraSession::Disconnect() {
  SetConnected(false);
  bool ok = !FConnected;
  if (ok) {
    for (TOraCursor* c : FCursors)
      c->FOpened = false;
  } else {
    DoError();
  }
  return ok;
}

bool TOraSession::Commit() {
  if (OciIntr::ocom(FLogonArea) == 0)
    return true;
  DoError();
  return false;
}

bool TOraSession::Rollback() {
  if (OciIntr::orol(FLogonArea) == 0)
    return true;
  DoError();
  return false;
}

std::string TOraSession::GetErrorMessage(int code) {
  if (code == 0)
    return std::string();
  char buf[ErrMsgBufferSize] = {};
  OciIntr::oerhms(FLogonArea, static_cast<short>(code), buf, ErrMsgBufferSize);
  buf[ErrMsgBufferSize - 1] = 0;
  return buf;
}

void TOraSession::SetConnected(bool value) {
  if (value == FConnected)
    return;
  if (value) {
    if (OnLogin)
      OnLogin(*this);
    if (!(AutoLogon && CheckLogonParams(UserName, UserPass)) && !ShowLogonDialog()) {
      OciShowMessage("Logon canceled");
      return;
    }
    int r = OciIntr::olog(FLogonArea, FHostArea, TextOrNull(UserName), -1, TextOrNull(UserPass), -1,
                          TextOrNull(UserHost), -1, 0);
    if (r == 0) {
      FConnected = true;
      if (OnConnect)
        OnConnect(*this);
    } else {
      AutoLogon = false;
    }
  } else {
    if (OciIntr::ologof(FLogonArea) == 0) {
      FConnected = false;
      if (OnDisConnect)
        OnDisConnect(*this);
    }
  }
}

bool TOraSession::ShowLogonDialog() {
  if (!LogonPrompt)
    return false;
  std::string user = UserName, pass = UserPass, host = UserHost;
  if (!LogonPrompt(user, pass, host))
    return false;
  UserName = user;
  UserPass = pass;
  UserHost = host;
  return true;
}

void TOraSession::DoError() {
  if (OnError)
    OnError(*this, GetErrorMessage(ReturnCode()));
}

void TOraSession::Attach(TOraCursor* cursor) {
  if (std::find(FCursors.begin(), FCursors.end(), cursor) == FCursors.end())
    FCursors.push_back(cursor);
}

void TOraSession::Detach(TOraCursor* cursor) {
  FCursors.erase(std::remove(FCursors.begin(), FCursors.end(), cursor), FCursors.end());
}

// ---------------------------------------------------------------------------------------------
// Cursor

struct TOraCursor::TDescribeRec {
  int32_t Position = 0;
  int32_t Size = 0;
  int16_t Type = 0;
  // A name is kept to 31 bytes of the ANSI code page (Shift-JIS: its display width); in UTF-8
  // that takes up to three bytes for each of them.
  char Name[96] = {};
  int32_t NameLength = 93;
  int32_t DisplaySize = 0;
  int16_t Precision = 0;
  int16_t Scale = 0;
  int16_t Nullable = 0;
};

TOraCursor::TOraCursor() = default;

TOraCursor::~TOraCursor() {
  if (FSession)
    FSession->Detach(this);
}

void TOraCursor::SetSession(TOraSession* session) {
  if (session == FSession)
    return;
  if (FSession)
    FSession->Detach(this);
  FSession = session;
  if (FSession)
    FSession->Attach(this);
}

void TOraCursor::SetNumberOfRows(uint32_t value) {
  FNumberOfRows = std::clamp<uint32_t>(value, 1, MaxRows);
}

uint32_t TOraCursor::RowsProcessed() const { return ReadU32(FCursorArea, kOffRowsProcessed); }

uint16_t TOraCursor::ReturnCode() const { return ReadU16(FCursorArea, kOffReturnCode); }

uint8_t TOraCursor::FunctionCode() const { return FCursorArea[kOffFunctionCode]; }

uint16_t TOraCursor::StatementType() const { return ReadU16(FCursorArea, kOffFunctionType); }

uint16_t TOraCursor::ErrorOffset() const { return ReadU16(FCursorArea, kOffParseErrorOffset); }

const std::string& TOraCursor::DateFormat() const {
  static const std::string none;
  return FSession ? FSession->DateFormatString : none;
}

bool TOraCursor::Finish(int result, bool quiet, bool checkLostLogon) {
  if (result == 0)
    return true;
  if (checkLostLogon && FSession && ReturnCode() == ErrNotLoggedOn)
    FSession->FConnected = false;
  if (!quiet)
    DoError(ErrorText());
  return false;
}

void TOraCursor::DoError(const std::string& text) {
  if (OnError)
    OnError(*this, text);
}

bool TOraCursor::Open() {
  if (FOpened)
    return true;
  if (!FSession)
    throw EOciCompoError(MsgNoSession);
  int r = OciIntr::oopen(FCursorArea, FSession->LogonArea(), nullptr, -1, -1, nullptr, -1);
  if (r == 0)
    FOpened = true;
  return Finish(r, false, false);
}

bool TOraCursor::Close() {
  if (!FOpened)
    return true;
  if (!FSession)
    throw EOciCompoError(MsgNoSession);
  int r = OciIntr::oclose(FCursorArea);
  if (r == 0)
    FOpened = false;
  return Finish(r, false, false);
}

bool TOraCursor::DoParse(bool quiet) {
  // lines end in " \n", every carriage return a blank
  std::string& text = FStatementText;
  text.clear();
  for (const std::string& line : FSQL) {
    text += line;
    text += " \n";
  }
  for (size_t at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 1))
    text[at] = ' ';
  return Finish(OciIntr::oparse(FCursorArea, FStatementText.c_str(), -1, 0, 2), quiet, true);
}

bool TOraCursor::Parse() { return DoParse(false); }

bool TOraCursor::ParseQuiet() { return DoParse(true); }

std::unique_ptr<TCustomOraField> TOraCursor::CreateField(const TDescribeRec& rec) {
  size_t nameLen = static_cast<size_t>(std::clamp<int32_t>(rec.NameLength, 0, 93));
  std::string name(rec.Name, strnlen(rec.Name, nameLen));
  // whole characters up to 31 columns, as the code page's 31 bytes would hold them
  name = TextInWidth(name, 31);
  auto sized = [&](int32_t extra) { return rec.Size == 0 ? 0 : rec.Size + extra; };
  // Column sizes count bytes in the database's character set (two per kanji in Shift-JIS) while
  // text arrives in UTF-8, which takes up to three bytes for one such byte (half-width kana).
  auto textSized = [&](int32_t extra) {
    return rec.Size == 0 ? 0 : rec.Size * MaxUtf8PerDbByte + extra;
  };
  std::unique_ptr<TOraField> f;
  switch (rec.Type) {
  case 1:
    f = std::make_unique<TOraStrField>(name, rec.Position, this);
    f->SetWidth(textSized(1));
    break;
  case 2:
  case 100: // BINARY_FLOAT and BINARY_DOUBLE: numbers, their text the engine's
  case 101: {
    auto n = std::make_unique<TOraNumberField>(name, rec.Position, this);
    n->SetPrecision(rec.Precision);
    n->SetScale(rec.Scale);
    f = std::move(n);
    break;
  }
  case 8:
    f = std::make_unique<TOraLongField>(name, rec.Position, this);
    break;
  case 11:
    f = std::make_unique<TOraStrField>(name, rec.Position, this);
    f->SetWidth(rec.Size + 10);
    break;
  case 12:
    if (FDatesAsText) {
      f = std::make_unique<TOraStrField>(name, rec.Position, this);
      f->SetWidth(DateTextWidth);
    } else {
      f = std::make_unique<TOraDateTimeField>(name, rec.Position, this);
    }
    break;
  case 23:
    if (FRawAsText) {
      f = std::make_unique<TOraStrField>(name, rec.Position, this);
      f->SetWidth(rec.Size == 0 ? 0 : rec.Size * 2 + 1); // two hex digits a byte
    } else {
      f = std::make_unique<TOraRawField>(name, rec.Position, this);
      f->SetWidth(sized(1));
    }
    break;
  case 24:
    f = std::make_unique<TOraLongRawField>(name, rec.Position, this);
    break;
  case 96:
    f = std::make_unique<TOraCharAryField>(name, rec.Position, this);
    f->SetWidth(textSized(1));
    break;
  case 108:
    // a collection or object: the engine gives its text, as Oracle's client shows it
    f = std::make_unique<TOraStrField>(name, rec.Position, this);
    f->SetWidth(textSized(1));
    break;
  case 180:
  case 181:
    // TIMESTAMP [WITH TIME ZONE]: the engine's text in the session's timestamp format
    f = std::make_unique<TOraStrField>(name, rec.Position, this);
    f->SetWidth(TimestampTextWidth);
    break;
  case 182:
  case 183:
    // INTERVAL YEAR TO MONTH, DAY TO SECOND: the engine's text, '+01-02', '+04 05:12:10.222000'
    f = std::make_unique<TOraStrField>(name, rec.Position, this);
    f->SetWidth(IntervalTextWidth);
    break;
  case 252:
    // BOOLEAN: the engine gives its text, TRUE or FALSE
    f = std::make_unique<TOraStrField>(name, rec.Position, this);
    f->SetWidth(6);
    break;
  case 102:
    // a nested cursor: the engine gives the text a client shows for it
    f = std::make_unique<TOraStrField>(name, rec.Position, this);
    f->SetWidth(NestedCursorTextWidth);
    break;
  case 105:
    throw EOciCompoError(MsgMlsLabel);
  default:
    throw EOciCompoError(MsgUnknownType);
  }
  f->SetDisplaySize(rec.DisplaySize);
  f->SetNullable(rec.Nullable != 0);
  f->SetDbType(rec.Type);
  f->SetDbPrecisionScale(static_cast<int16_t>(rec.Precision), static_cast<int16_t>(rec.Scale));
  return f;
}

bool TOraCursor::DescribeFields() {
  FFields.ClearFields();
  TDescribeRec rec;
  for (int32_t pos = 1; pos <= static_cast<int32_t>(MaxRows); ++pos) {
    rec = TDescribeRec();
    rec.Position = pos;
    rec.NameLength = 93;
    int r = OciIntr::odescr(FCursorArea, pos, &rec.Size, &rec.Type, rec.Name, &rec.NameLength,
                            &rec.DisplaySize, &rec.Precision, &rec.Scale, &rec.Nullable);
    if (r != 0) {
      // The end of the select list; only a lost logon matters here.
      Finish(r, true, true);
      break;
    }
    FFields.Add(CreateField(rec));
  }
  for (int i = 0; i < FFields.Count(); ++i) {
    auto* f = static_cast<TOraField*>(FFields.Items(i));
    int r = OciIntr::odefin(FCursorArea, f->Position(), f->Buffer(), f->Width(), f->ExtType(), -1,
                            f->Indicators(), nullptr, -1, -1, f->ReturnLengths(), f->ReturnCodes());
    if (r != 0)
      return Finish(r, false, true);
  }
  return true;
}

bool TOraCursor::Exec() { return Finish(OciIntr::oexec(FCursorArea), false, true); }

bool TOraCursor::Fetch() {
  int r = OciIntr::ofetch(FCursorArea);
  // The library reports a value cut to its buffer; a LONG field holds only the first piece by
  // design and is read on with FetchLong, so for it the row came as intended.
  if (r != 0 && ReturnCode() == ErrTruncated && FFields.Count() > 0) {
    bool onlyLongs = true;
    for (int i = 0; i < FFields.Count(); ++i) {
      TCustomOraField* f = FFields.Items(i);
      if (f->ReturnCodes()[0] == ErrTruncated && f->FieldKind() != fkLong &&
          f->FieldKind() != fkLongRaw)
        onlyLongs = false;
    }
    if (onlyLongs)
      return true;
  }
  return Finish(r, false, true);
}

bool TOraCursor::DoFetchRows(bool quiet) {
  // Long fields hold one row and the buffers were sized at DescribeFields: an array fetch
  // that would overrun them is refused before the library sees it.
  for (int i = 0; i < FFields.Count(); ++i) {
    const TCustomOraField* f = FFields.Items(i);
    const char* refusal = nullptr;
    if (f->FieldKind() == fkLong || f->FieldKind() == fkLongRaw)
      refusal = MsgFetchRowsLong;
    else if (static_cast<uint32_t>(f->RowCount()) < FNumberOfRows)
      refusal = MsgFetchRowsGrown;
    if (refusal) {
      if (!quiet)
        DoError(refusal);
      return false;
    }
  }
  return Finish(OciIntr::ofen(FCursorArea, static_cast<int>(FNumberOfRows)), quiet, true);
}

bool TOraCursor::FetchRows() { return DoFetchRows(false); }

bool TOraCursor::FetchRowsQuiet() { return DoFetchRows(true); }

bool TOraCursor::FetchLong(TCustomOraField* field, int offset) {
  auto* f = dynamic_cast<TOraCustomLongField*>(field);
  if (!f || f->Cursor() != this)
    throw EOciCompoError(MsgNotLongField);
  int r = OciIntr::oflng(FCursorArea, f->Position(), f->Buffer(), f->Width(), f->ExtType(),
                         f->LongLengthPtr(), offset);
  return Finish(r, false, true);
}

std::string TOraCursor::ErrorText() const {
  if (!FSession)
    return std::string();
  return FSession->GetErrorMessage(ReturnCode()) + "\rProcessing Ora function " +
         OciIntr::FunctionCodeName(FunctionCode());
}
