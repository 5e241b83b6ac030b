// The SQL front end through the call interface: any bytes as a statement on a demo schema,
// parsed, run when they parse, a few rows fetched, then rolled back.
#include "ociw32.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
unsigned char lda[64], hda[256], cda[64];
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char home[] = "/tmp/tessel-fuzz-XXXXXX";
  if (!mkdtemp(home))
    std::abort();
  setenv("XDG_DATA_HOME", home, 1);
  if (olog(lda, hda, "DEMO", -1, "DEMO", -1, nullptr, -1, 0) != 0 ||
      oopen(cda, lda, nullptr, -1, -1, nullptr, -1) != 0)
    std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 20000)
    return 0;
  const char* sql = reinterpret_cast<const char*>(data);
  if (oparse(cda, sql, static_cast<int>(size), 0, 2) == 0) {
    // DDL that would make users runs their password hashing; it adds nothing to the front end
    std::string head(sql, size < 16 ? size : 16);
    if (head.find("USER") != std::string::npos || head.find("user") != std::string::npos)
      return 0;
    if (oexec(cda) == 0 && cda[ociw32::kOffFunctionType] == 4) {
      char name[64];
      int len = sizeof name, dbsize = 0, dsize = 0;
      short type = 0, prec = 0, scale = 0, nullok = 0;
      if (odescr(cda, 1, &dbsize, &type, name, &len, &dsize, &prec, &scale, &nullok) == 0) {
        static char buf[10][256];
        static short ind[10];
        static unsigned short rlen[10], rcode[10];
        odefin(cda, 1, reinterpret_cast<unsigned char*>(buf), 256, ociw32::kExtString, 0, ind, nullptr, 0, 0, rlen,
               rcode);
        ofen(cda, 10);
      }
    }
  }
  orol(lda);
  return 0;
}
