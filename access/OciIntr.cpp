#include "OciIntr.h"

#include "ociw32.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#endif

namespace OciIntr {
namespace {

enum TEntry {
  eOlog,
  eOlogof,
  eOcom,
  eOrol,
  eOerhms,
  eOopen,
  eOclose,
  eOparse,
  eOdescr,
  eOdefin,
  eOexec,
  eOfetch,
  eOfen,
  eOflng,
  eCreateDatabase,
  eCreateDatabaseCs,
  eOutputEnable,
  eOutputGetLine,
  eBindCursor,
  eColumnCursor,
  eBindValue,
  eBoundValue,
  eEntryCount
};

#if defined(_WIN32)
using THandle = HMODULE;
const char* const DefaultFileName = "OCIW32.DLL";
#else
using THandle = void*;
const char* const DefaultFileName = "libociw32.so";
#endif

struct TBinding {
  std::string FileName = DefaultFileName;
  THandle Handle = nullptr;
  void* Address[eEntryCount] = {};
  int LoadAttempts = 0;
};

// Never destroyed, so a call made during static destruction still finds valid state.
TBinding& Binding() {
  static TBinding* b = new TBinding;
  return *b;
}

std::string ProgramDir() {
#if defined(_WIN32)
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
#else
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  std::string s = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
#endif
  size_t slash = s.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : s.substr(0, slash + 1);
}

THandle OpenLibrary(const std::string& file) {
#if defined(_WIN32)
  return LoadLibraryA(file.c_str());
#else
  return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void Load(TBinding& b) {
  ++b.LoadAttempts;
  // Beside the program first, so the library we ship wins over anything on the loader's path.
  std::string dir = ProgramDir();
  if (!dir.empty() && b.FileName.find_first_of("/\\") == std::string::npos)
    b.Handle = OpenLibrary(dir + b.FileName);
  if (!b.Handle)
    b.Handle = OpenLibrary(b.FileName);
}

void* Resolve(TEntry entry, const char* name) {
  TBinding& b = Binding();
  if (!b.Handle)
    Load(b);
  if (!b.Address[entry] && b.Handle) {
#if defined(_WIN32)
    b.Address[entry] = reinterpret_cast<void*>(GetProcAddress(b.Handle, name));
#else
    b.Address[entry] = dlsym(b.Handle, name);
#endif
  }
  if (!b.Address[entry])
    throw DLLAddressErr(std::string("OCIW32.DLL: function ") + name + " not found.");
  return b.Address[entry];
}

// An entry point the library may lack: nullptr then (DLLAddressErr only without a library).
void* ResolveOptional(TEntry entry, const char* name) {
  try {
    return Resolve(entry, name);
  } catch (const DLLAddressErr&) {
    if (!Binding().Handle)
      throw;
    return nullptr;
  }
}

template <typename F> F Bind(TEntry entry, const char* name) {
  return reinterpret_cast<F>(Resolve(entry, name));
}

struct TReleaser {
  ~TReleaser() {
    TBinding& b = Binding();
    if (!b.Handle)
      return;
#if defined(_WIN32)
    FreeLibrary(b.Handle);
#else
    dlclose(b.Handle);
#endif
    b.Handle = nullptr;
    for (void*& a : b.Address)
      a = nullptr;
  }
} Releaser;

} // namespace

static constexpr const char* NotUsed = "not used";

int olog(unsigned char* lda, unsigned char* hda, const char* uid, int uidl, const char* pswd,
         int pswdl, const char* conn, int connl, unsigned int mode) {
  return Bind<decltype(&::olog)>(eOlog, "olog")(lda, hda, uid, uidl, pswd, pswdl, conn, connl,
                                                mode);
}

int ologof(unsigned char* lda) { return Bind<decltype(&::ologof)>(eOlogof, "ologof")(lda); }

int ocom(unsigned char* lda) { return Bind<decltype(&::ocom)>(eOcom, "ocom")(lda); }

int orol(unsigned char* lda) { return Bind<decltype(&::orol)>(eOrol, "orol")(lda); }

int oerhms(unsigned char* lda, short rcode, char* buf, int bufsiz) {
  return Bind<decltype(&::oerhms)>(eOerhms, "oerhms")(lda, rcode, buf, bufsiz);
}

int oopen(unsigned char* cursor, unsigned char* lda, const char* dbn, int dbnl, int arsize,
          const char* uid, int uidl) {
  return Bind<decltype(&::oopen)>(eOopen, "oopen")(cursor, lda, dbn, dbnl, arsize, uid, uidl);
}

int oclose(unsigned char* cursor) { return Bind<decltype(&::oclose)>(eOclose, "oclose")(cursor); }

int oparse(unsigned char* cursor, const char* sqlstm, int sqllen, int defflg, unsigned int lngflg) {
  return Bind<decltype(&::oparse)>(eOparse, "oparse")(cursor, sqlstm, sqllen, defflg, lngflg);
}

int odescr(unsigned char* cursor, int pos, int* dbsize, short* dbtype, char* cbuf, int* cbufl,
           int* dsize, short* prec, short* scale, short* nullok) {
  return Bind<decltype(&::odescr)>(eOdescr, "odescr")(cursor, pos, dbsize, dbtype, cbuf, cbufl,
                                                      dsize, prec, scale, nullok);
}

int odefin(unsigned char* cursor, int pos, unsigned char* buf, int bufl, int ftype, int scale,
           short* indp, const char* fmt, int fmtl, int fmtt, unsigned short* rlen,
           unsigned short* rcode) {
  return Bind<decltype(&::odefin)>(eOdefin, "odefin")(cursor, pos, buf, bufl, ftype, scale, indp,
                                                      fmt, fmtl, fmtt, rlen, rcode);
}

int oexec(unsigned char* cursor) { return Bind<decltype(&::oexec)>(eOexec, "oexec")(cursor); }

int ofetch(unsigned char* cursor) { return Bind<decltype(&::ofetch)>(eOfetch, "ofetch")(cursor); }

int ofen(unsigned char* cursor, int nrows) {
  return Bind<decltype(&::ofen)>(eOfen, "ofen")(cursor, nrows);
}

int oflng(unsigned char* cursor, int pos, unsigned char* buf, int bufl, int dtype,
          unsigned int* retl, int offset) {
  return Bind<decltype(&::oflng)>(eOflng, "oflng")(cursor, pos, buf, bufl, dtype, retl, offset);
}

bool CreateDatabaseAvailable() {
  return ResolveOptional(eCreateDatabase, "tessel_create_database") != nullptr;
}

int tessel_create_database(const char* folder, const char* systemPassword) {
  return Bind<decltype(&::tessel_create_database)>(eCreateDatabase, "tessel_create_database")(
      folder, systemPassword);
}

bool CreateDatabaseCharsetAvailable() {
  return ResolveOptional(eCreateDatabaseCs, "tessel_create_database_cs") != nullptr;
}

int tessel_create_database_cs(const char* folder, const char* systemPassword, const char* charset) {
  return Bind<decltype(&::tessel_create_database_cs)>(
      eCreateDatabaseCs, "tessel_create_database_cs")(folder, systemPassword, charset);
}

bool OutputAvailable() {
  return ResolveOptional(eOutputEnable, "tessel_output_enable") != nullptr &&
         ResolveOptional(eOutputGetLine, "tessel_output_get_line") != nullptr;
}

int tessel_output_enable(unsigned char* lda, int on) {
  return Bind<decltype(&::tessel_output_enable)>(eOutputEnable, "tessel_output_enable")(lda, on);
}

int tessel_output_get_line(unsigned char* lda, char* buf, int bufl, int* len, int* status) {
  return Bind<decltype(&::tessel_output_get_line)>(eOutputGetLine, "tessel_output_get_line")(
      lda, buf, bufl, len, status);
}

bool BindCursorAvailable() { return ResolveOptional(eBindCursor, "tessel_bind_cursor") != nullptr; }

int tessel_bind_cursor(unsigned char* cursor, const char* name, int namel, unsigned char* target) {
  return Bind<decltype(&::tessel_bind_cursor)>(eBindCursor, "tessel_bind_cursor")(cursor, name,
                                                                                  namel, target);
}

bool BindValueAvailable() {
  return ResolveOptional(eBindValue, "tessel_bind_value") != nullptr &&
         ResolveOptional(eBoundValue, "tessel_bound_value") != nullptr;
}

int tessel_bind_value(unsigned char* cursor, const char* name, int namel, int number,
                      const char* value, int valuel) {
  return Bind<decltype(&::tessel_bind_value)>(eBindValue, "tessel_bind_value")(
      cursor, name, namel, number, value, valuel);
}

int tessel_bound_value(unsigned char* cursor, const char* name, int namel, char* buf, int bufl,
                       int* len, int* isnull) {
  return Bind<decltype(&::tessel_bound_value)>(eBoundValue, "tessel_bound_value")(
      cursor, name, namel, buf, bufl, len, isnull);
}

bool ColumnCursorAvailable() {
  return ResolveOptional(eColumnCursor, "tessel_column_cursor") != nullptr;
}

int tessel_column_cursor(unsigned char* cursor, int pos, int row, unsigned char* target) {
  return Bind<decltype(&::tessel_column_cursor)>(eColumnCursor,
                                                 "tessel_column_cursor")(cursor, pos, row, target);
}

const char* const FunctionCodeNames[FunctionCodeCount] = {
    NotUsed,  NotUsed, "OSQL",   NotUsed, "OEXEC, OEXN",  NotUsed, "OBIND",  NotUsed, // 0-7
    "ODEFIN", NotUsed, "ODSRBN", NotUsed, "OFETCH, OFEN", NotUsed, "OOPEN",  NotUsed, // 8-15
    "OCLOSE", NotUsed, NotUsed,  NotUsed, NotUsed,        NotUsed, "ODSC",   NotUsed, // 16-23
    "ONAME",  NotUsed, "OSQL3",  NotUsed, "OBNDRV",       NotUsed, "OBNDRN", NotUsed, // 24-31
    NotUsed,  NotUsed, "OOPT",   NotUsed, NotUsed,        NotUsed, NotUsed,  NotUsed, // 32-39
    NotUsed,  NotUsed, NotUsed,  NotUsed, NotUsed,        NotUsed, NotUsed,  NotUsed, // 40-47
    NotUsed,  NotUsed, NotUsed,  NotUsed, "OCAN",         NotUsed, "OPARSE", NotUsed, // 48-55
    "OEXFET", NotUsed, "OFLNG",  NotUsed, "ODESCR",       NotUsed, "OBNDRA"};         // 56-62

const char* FunctionCodeName(int code) {
  return code >= 0 && code < FunctionCodeCount ? FunctionCodeNames[code] : NotUsed;
}

std::string LibraryFileName() { return Binding().FileName; }

void SetLibraryFileName(const std::string& name) {
  TBinding& b = Binding();
  b.FileName = name;
  b.Handle = nullptr;
  for (void*& a : b.Address)
    a = nullptr;
}

bool LibraryLoaded() { return Binding().Handle != nullptr; }

int LoadAttempts() { return Binding().LoadAttempts; }

} // namespace OciIntr
