// Run-time binding to the version-7 call library (libociw32.so / OCIW32.DLL).
// The only unit that touches the library; every wrapper passes its arguments through unchanged.
#pragma once
#include <stdexcept>
#include <string>

// A library entry point could not be found (also when the library itself is absent).
class DLLAddressErr : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

namespace OciIntr {

int olog(unsigned char* lda, unsigned char* hda, const char* uid, int uidl, const char* pswd,
         int pswdl, const char* conn, int connl, unsigned int mode);
int ologof(unsigned char* lda);
int ocom(unsigned char* lda);
int orol(unsigned char* lda);
int oerhms(unsigned char* lda, short rcode, char* buf, int bufsiz);
int oopen(unsigned char* cursor, unsigned char* lda, const char* dbn, int dbnl, int arsize,
          const char* uid, int uidl);
int oclose(unsigned char* cursor);
int oparse(unsigned char* cursor, const char* sqlstm, int sqllen, int defflg, unsigned int lngflg);
int odescr(unsigned char* cursor, int pos, int* dbsize, short* dbtype, char* cbuf, int* cbufl,
           int* dsize, short* prec, short* scale, short* nullok);
int odefin(unsigned char* cursor, int pos, unsigned char* buf, int bufl, int ftype, int scale,
           short* indp, const char* fmt, int fmtl, int fmtt, unsigned short* rlen,
           unsigned short* rcode);
int oexec(unsigned char* cursor);
int ofetch(unsigned char* cursor);
int ofen(unsigned char* cursor, int nrows);
int oflng(unsigned char* cursor, int pos, unsigned char* buf, int bufl, int dtype,
          unsigned int* retl, int offset);

// Creates a new database folder whose only user is SYSTEM; 0 or an Oracle error number.
// An extra entry point of our own library: a library without it still loads, and
// CreateDatabaseAvailable() tells whether it is there.
bool CreateDatabaseAvailable();
int tessel_create_database(const char* folder, const char* systemPassword);
// The same with the database character set ("JA16SJIS", "AL32UTF8"); optional as well.
bool CreateDatabaseCharsetAvailable();
int tessel_create_database_cs(const char* folder, const char* systemPassword, const char* charset);

// DBMS_OUTPUT of a logon (optional entry points): enable (1) or disable and empty (0) its
// buffer; take its oldest line, status 0 with a line and 1 when there is none.
bool OutputAvailable();
int tessel_output_enable(unsigned char* lda, int on);
int tessel_output_get_line(unsigned char* lda, char* buf, int bufl, int* len, int* status);

// A block's cursor variable (:name) received in another cursor area of the logon (optional
// entry point): called between the block's oparse and oexec; afterwards `target` serves the
// cursor's rows to odescr, odefin and ofetch.
bool BindCursorAvailable();
int tessel_bind_cursor(unsigned char* cursor, const char* name, int namel, unsigned char* target);

// A block's scalar placeholder (:name) given a NUMBER or text value between its oparse and
// oexec, and read back after it ran (optional entry points).
bool BindValueAvailable();
int tessel_bind_value(unsigned char* cursor, const char* name, int namel, int number,
                      const char* value, int valuel);
int tessel_bound_value(unsigned char* cursor, const char* name, int namel, char* buf, int bufl,
                       int* len, int* isnull);

// The nested cursor in column `pos` of element `row` of the last fetch (a column of type 102)
// received in another cursor area of the logon (optional entry point).
bool ColumnCursorAvailable();
int tessel_column_cursor(unsigned char* cursor, int pos, int row, unsigned char* target);

// Call name for a function code left in a cursor data area; "not used" for unknown codes.
constexpr int FunctionCodeCount = 63;
extern const char* const FunctionCodeNames[FunctionCodeCount];
const char* FunctionCodeName(int code);

// The file name handed to the loader: "libociw32.so" (Linux), "OCIW32.DLL" (Windows).
std::string LibraryFileName();
// Testing seam: use another file name and forget the current binding, so the next call loads
// again. The previous library stays mapped; pointers into it remain valid.
void SetLibraryFileName(const std::string& name);
// Diagnostics for tests: whether a handle is held, and how many load attempts were made.
bool LibraryLoaded();
int LoadAttempts();

} // namespace OciIntr
