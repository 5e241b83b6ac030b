// The version-7 call interface exported by libociw32.so (OCIW32.DLL on Windows).
// Data areas are plain byte blocks owned by the client: logon and cursor areas of 64 bytes,
// the host area of 256 bytes. Field offsets the client reads are listed below.
#pragma once
#include <cstdint>

#if defined(_WIN32)
#  define OCIW32_API extern "C" __declspec(dllexport)
#else
#  define OCIW32_API extern "C" __attribute__((visibility("default")))
#endif

namespace ociw32 {
constexpr int kAreaSize = 64;
constexpr int kHostAreaSize = 256;
constexpr int kOffFunctionType = 2;  // u16: SQL function type of the last parse
constexpr int kOffRowsProcessed = 4; // u32
// u16: byte offset in the statement text of the token an error is about (0 when it has none),
// set with every return code of a cursor call
constexpr int kOffParseErrorOffset = 8;
constexpr int kOffFunctionCode = 10; // u8: OCI function code of the last call
constexpr int kOffReturnCode = 12;   // u16: Oracle error number of the last call

// OCI function codes left at kOffFunctionCode.
constexpr int kFcExec = 4, kFcDefine = 8, kFcFetch = 12, kFcOpen = 14, kFcClose = 16,
              kFcParse = 54, kFcFetchLong = 58, kFcDescribe = 60, kFcBindCursor = 28;

// External data types accepted by odefin and oflng. VARCHAR2, LONG and CHAR have no terminator
// (CHAR is blank-padded to the buffer); FLOAT is a 4- or 8-byte float; INTEGER and UNSIGNED
// are native integers of 1, 2, 4 or 8 bytes. NUMBER is Oracle's own form of a number (an exponent
// byte and up to 20 base-100 digit bytes); VARNUM is the same after a byte giving its length.
constexpr int kExtVarchar2 = 1, kExtNumber = 2, kExtInteger = 3, kExtFloat = 4, kExtString = 5, kExtVarnum = 6, kExtLong = 8,
              kExtDate = 12, kExtRaw = 23, kExtLongRaw = 24, kExtUnsigned = 68, kExtChar = 96,
              kExtCharz = 97;
} // namespace ociw32

OCIW32_API int olog(unsigned char* lda, unsigned char* hda, const char* uid, int uidl,
                    const char* pswd, int pswdl, const char* conn, int connl, unsigned int mode);
OCIW32_API int ologof(unsigned char* lda);
OCIW32_API int ocom(unsigned char* lda);
OCIW32_API int orol(unsigned char* lda);
OCIW32_API int oerhms(unsigned char* lda, short rcode, char* buf, int bufsiz);
OCIW32_API int oopen(unsigned char* cursor, unsigned char* lda, const char* dbn, int dbnl,
                     int arsize, const char* uid, int uidl);
OCIW32_API int oclose(unsigned char* cursor);
OCIW32_API int oparse(unsigned char* cursor, const char* sqlstm, int sqllen, int defflg,
                      unsigned int lngflg);
OCIW32_API int odescr(unsigned char* cursor, int pos, int* dbsize, short* dbtype, char* cbuf,
                      int* cbufl, int* dsize, short* prec, short* scale, short* nullok);
OCIW32_API int odefin(unsigned char* cursor, int pos, unsigned char* buf, int bufl, int ftype,
                      int scale, short* indp, const char* fmt, int fmtl, int fmtt,
                      unsigned short* rlen, unsigned short* rcode);
OCIW32_API int oexec(unsigned char* cursor);
OCIW32_API int ofetch(unsigned char* cursor);
OCIW32_API int ofen(unsigned char* cursor, int nrows);
OCIW32_API int oflng(unsigned char* cursor, int pos, unsigned char* buf, int bufl, int dtype,
                     unsigned int* retl, int offset);

// Our own administration entry point (engine/Admin.cpp): creates a new database folder whose
// only user is SYSTEM. Returns 0 or an Oracle error number; an existing non-empty folder is
// refused with 955.
OCIW32_API int tessel_create_database(const char* folder, const char* systemPassword);
// The same with the database character set named: "JA16SJIS" (what the one above makes) or
// "AL32UTF8"; any other name is refused with 12705.
OCIW32_API int tessel_create_database_cs(const char* folder, const char* systemPassword,
                                         const char* charset);
// DBMS_OUTPUT for the client that shows it (SERVEROUTPUT): on 1 enables the logon's buffer,
// 0 disables and empties it; get_line takes its oldest line as DBMS_OUTPUT.GET_LINE does: the
// status is 0 with a line (cut to bufl bytes), 1 when there is none.
OCIW32_API int tessel_output_enable(unsigned char* lda, int on);
OCIW32_API int tessel_output_get_line(unsigned char* lda, char* buf, int bufl, int* len, int* status);
// A cursor variable (REF CURSOR) of a PL/SQL block received in a cursor area of the client's.
// After oparse of the block on `cursor` and before its oexec, names the block's placeholder
// (`name`, with or without its ":"; namel -1 for a NUL-terminated name) and `target`, a cursor
// area the client opened with oopen on the same logon. When the block has run, what the cursor
// variable still holds (OPEN :rc FOR ..., or a procedure's OUT SYS_REFCURSOR given :rc) is in
// `target`, ready as an executed query: odescr, odefin, ofetch and ofen read its columns and
// the rows not yet fetched inside the block; no oparse or oexec on `target` is needed. A block
// that leaves the variable closed leaves `target` with no query (a fetch is ORA-01002). The
// binding lasts until the next oparse on `cursor`; a second call for the same name replaces it.
// Errors: ORA-01003 when no block is parsed on `cursor`, ORA-01036 for a name that is no
// placeholder of the block, ORA-01001 for a target that is no open cursor area of the logon
// (or is `cursor` itself).
OCIW32_API int tessel_bind_cursor(unsigned char* cursor, const char* name, int namel, unsigned char* target);
// A scalar placeholder of a PL/SQL block (EXECUTE proc(:n) in a shell): after oparse of the block
// on `cursor` and before its oexec, gives :name (with or without its ":"; namel -1 for a
// NUL-terminated name) a NUMBER (number 1, `value` decimal text) or text (number 0) value, or
// NULL (value null). After oexec, tessel_bound_value reads what the block left in it: `len` gets
// its length (the whole length even when longer than bufl, which is then ORA-01406 with the
// value cut), `isnull` 1 for NULL. The binding lasts until the next oparse on `cursor`.
// Errors: ORA-01003 when no block is parsed on `cursor`, ORA-01036 for a name that is no
// placeholder of the block (tessel_bound_value: that was not given), ORA-01722 for a number
// that is not decimal text.
OCIW32_API int tessel_bind_value(unsigned char* cursor, const char* name, int namel, int number, const char* value,
                                 int valuel);
OCIW32_API int tessel_bound_value(unsigned char* cursor, const char* name, int namel, char* buf, int bufl, int* len,
                                  int* isnull);
// A nested cursor of a fetched row (a column odescr reports as type 102: CURSOR (subquery), or
// a function returning SYS_REFCURSOR) received in a cursor area of the client's. After a fetch
// on `cursor`, `row` is the element (from 0) of the last fetch's rows and `pos` the column (from
// 1); `target`, opened with oopen on the same logon, then serves its rows as an executed query.
// Defined as text, such a column reads "CURSOR STATEMENT : pos"; as a number it is ORA-00932.
// Errors: ORA-01007 for no such column, ORA-00932 for a column that is no cursor, ORA-01002
// for a row the last fetch did not deliver, ORA-01001 for a target that is no open cursor area.
OCIW32_API int tessel_column_cursor(unsigned char* cursor, int pos, int row, unsigned char* target);

