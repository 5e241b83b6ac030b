// Administration entry points of our own, beside the version-7 call set.
#include "Charset.h"
#include "Database.h"
#include "ociw32.h"

#include <exception>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

OCIW32_API int tessel_create_database(const char* folder, const char* systemPassword) {
  return tessel_create_database_cs(folder, systemPassword, "JA16SJIS");
}

OCIW32_API int tessel_create_database_cs(const char* folder, const char* systemPassword, const char* charset) {
  if (!charset) return 12705;
  if (!folder || !*folder) return 12154;
  if (!systemPassword || !*systemPassword) return 988;
  try {
    ora::Charset cs;
    if (!ora::charsetFromName(charset, cs)) return 12705;
    std::error_code ec;
    bool existed = fs::exists(folder, ec);
    if (existed && (!fs::is_directory(folder, ec) || !fs::is_empty(folder, ec))) return 955;
    int rc = ora::createDatabase(folder, systemPassword, false, cs);
    if (rc != 0) {
      // Leave no half-made database behind: the folder was new or empty before.
      if (existed) {
        for (const auto& e : fs::directory_iterator(folder, ec)) fs::remove_all(e.path(), ec);
      } else {
        fs::remove_all(folder, ec);
      }
    }
    return rc;
  } catch (const std::exception&) {
    // Nothing may cross the C boundary.
    return 3113;
  }
}
