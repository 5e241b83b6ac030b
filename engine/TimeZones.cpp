// Time zones: a reader of the tz database's TZif files, zone names and offsets, and the text
// of a TIMESTAMP WITH TIME ZONE.
#include "TimeZones.h"

#include "CType.h"
#include "FunctionUtil.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace ora {

namespace {

struct ZoneType {
  int32_t offset = 0; // seconds east of UTC
  bool dst = false;
  std::string abbr;
};

struct ZoneData {
  std::vector<int64_t> times; // transitions, seconds since 1970 UTC
  std::vector<uint8_t> types; // the type from each transition on
  std::vector<ZoneType> kinds;
};

const char kZoneDir[] = "/usr/share/zoneinfo/";

int64_t be(const unsigned char* p, int n) {
  uint64_t v = 0;
  for (int k = 0; k < n; ++k) v = v << 8 | p[k];
  if (n == 4) return static_cast<int32_t>(static_cast<uint32_t>(v));
  return static_cast<int64_t>(v);
}

// The version 2 part of a TZif file (64-bit times); the version 1 part when there is none.
bool readTzif(const std::string& path, ZoneData& z) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  auto u = reinterpret_cast<const unsigned char*>(s.data());
  size_t at = 0;
  for (int pass = 0; pass < 2; ++pass) {
    if (s.size() < at + 44 || s.compare(at, 4, "TZif") != 0) return false;
    char version = s[at + 4];
    int64_t c[6];
    for (int k = 0; k < 6; ++k) c[k] = be(u + at + 20 + 4 * k, 4);
    int64_t isut = c[0], isstd = c[1], leap = c[2], timecnt = c[3], typecnt = c[4], charcnt = c[5];
    if (timecnt < 0 || typecnt <= 0 || charcnt < 0 || leap < 0 || isut < 0 || isstd < 0) return false;
    int tsize = pass == 0 ? 4 : 8;
    size_t body = static_cast<size_t>(timecnt * tsize + timecnt + typecnt * 6 + charcnt + leap * (tsize + 4) + isstd + isut);
    if (s.size() < at + 44 + body) return false;
    if (pass == 0 && version >= '2') {
      at += 44 + body;
      continue;
    }
    const unsigned char* p = u + at + 44;
    z.times.clear();
    z.types.clear();
    z.kinds.clear();
    for (int64_t k = 0; k < timecnt; ++k) z.times.push_back(be(p + k * tsize, tsize));
    p += timecnt * tsize;
    for (int64_t k = 0; k < timecnt; ++k) z.types.push_back(p[k]);
    p += timecnt;
    const unsigned char* chars = p + typecnt * 6;
    for (int64_t k = 0; k < typecnt; ++k) {
      ZoneType t;
      t.offset = static_cast<int32_t>(be(p + k * 6, 4));
      t.dst = p[k * 6 + 4] != 0;
      unsigned idx = p[k * 6 + 5];
      if (idx < charcnt) t.abbr = std::string(reinterpret_cast<const char*>(chars + idx));
      z.kinds.push_back(t);
    }
    for (uint8_t t : z.types)
      if (t >= z.kinds.size()) return false;
    return true;
  }
  return false;
}

// The file's name for a region, its case as the database spells it; empty when there is none.
std::string regionPath(std::string_view name) {
  if (name.empty() || name.size() > 64 || name.front() == '/') return {};
  for (char c : name)
    if (!(alnumC(static_cast<unsigned char>(c)) || c == '/' || c == '_' || c == '-' || c == '+')) return {};
  std::string out;
  size_t i = 0;
  while (i <= name.size()) {
    size_t slash = std::min(name.find('/', i), name.size());
    std::string part(name.substr(i, slash - i));
    if (part.empty() || part == "." || part == "..") return {};
    std::string dir = kZoneDir + out;
    std::string found;
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() != part.size()) continue;
        bool same = true;
        for (size_t k = 0; k < n.size() && same; ++k)
          same = upperC(static_cast<unsigned char>(n[k])) == upperC(static_cast<unsigned char>(part[k]));
        if (same && (found.empty() || n == part)) found = n;
      }
      closedir(d);
    }
    if (found.empty()) return {};
    out += found;
    if (slash == name.size()) break;
    out += '/';
    i = slash + 1;
  }
  return out;
}

struct Cache {
  std::mutex m;
  std::map<std::string, std::pair<std::string, std::shared_ptr<const ZoneData>>> byName; // by the name upper-case
};

Cache& cache() {
  static auto* c = new Cache;
  return *c;
}

// The region's data and its name as the database spells it; null when there is none.
std::shared_ptr<const ZoneData> regionData(std::string_view name, std::string* canonical = nullptr) {
  std::string key(name);
  for (auto& ch : key) ch = static_cast<char>(upperC(static_cast<unsigned char>(ch)));
  Cache& c = cache();
  {
    std::lock_guard lock(c.m);
    auto it = c.byName.find(key);
    if (it != c.byName.end()) {
      if (canonical) *canonical = it->second.first;
      return it->second.second;
    }
  }
  std::string path = regionPath(name);
  std::shared_ptr<ZoneData> z;
  if (!path.empty()) {
    z = std::make_shared<ZoneData>();
    if (!readTzif(kZoneDir + path, *z) || z->kinds.empty()) z.reset();
  }
  std::lock_guard lock(c.m);
  if (c.byName.size() < 4096) c.byName[key] = {path, z};
  if (canonical) *canonical = path;
  return z;
}

const ZoneType& typeAt(const ZoneData& z, int64_t utc) {
  auto it = std::upper_bound(z.times.begin(), z.times.end(), utc);
  if (it == z.times.begin()) {
    // before the first change: the first standard time
    for (const ZoneType& t : z.kinds)
      if (!t.dst) return t;
    return z.kinds.front();
  }
  return z.kinds[z.types[it - z.times.begin() - 1]];
}

int machineOffset() { return localOffsetMinutes(); }

std::string upper(std::string_view s) {
  std::string u(s);
  for (auto& c : u) c = static_cast<char>(upperC(static_cast<unsigned char>(c)));
  return u;
}

} // namespace

std::string offsetText(int minutes) {
  int a = minutes < 0 ? -minutes : minutes;
  char b[16];
  std::snprintf(b, sizeof b, "%c%02d:%02d", minutes < 0 ? '-' : '+', a / 60 % 100, a % 60);
  return b;
}

int parseZone(std::string_view text, Zone& out) {
  size_t b = text.find_first_not_of(' '), e = text.find_last_not_of(' ');
  if (b == std::string_view::npos) return 1857;
  text = text.substr(b, e - b + 1);
  out = Zone{};
  char c0 = text[0];
  if (c0 == '+' || c0 == '-' || digitC(static_cast<unsigned char>(c0))) {
    // [+|-]h[h]:mi
    size_t i = c0 == '+' || c0 == '-' ? 1 : 0;
    int h = 0, m = 0, k = 0;
    while (i < text.size() && digitC(static_cast<unsigned char>(text[i])) && k < 2) { h = h * 10 + (text[i++] - '0'); ++k; }
    if (k == 0) return 1857;
    if (i < text.size() && text[i] == ':') {
      ++i;
      k = 0;
      while (i < text.size() && digitC(static_cast<unsigned char>(text[i])) && k < 2) { m = m * 10 + (text[i++] - '0'); ++k; }
      if (k == 0) return 1857;
    }
    if (i != text.size()) return 1857;
    if (h > 15) return 1874;
    if (m > 59) return 1875;
    out.offset = (c0 == '-' ? -1 : 1) * (h * 60 + m);
    return 0;
  }
  // a region, then perhaps its abbreviation: 'US/Pacific PDT'
  size_t sp = text.find(' ');
  std::string_view region = text.substr(0, sp);
  std::string canonical;
  auto data = regionData(region, &canonical);
  if (!data) return 1882;
  out.region = canonical;
  if (sp != std::string_view::npos) {
    std::string abbr = upper(text.substr(text.find_first_not_of(' ', sp)));
    bool known = false;
    for (const ZoneType& t : data->kinds) known = known || upper(t.abbr) == abbr;
    if (!known) return 1857;
    out.abbr = abbr;
  }
  return 0;
}

std::string zoneName(const Zone& z) { return z.region.empty() ? offsetText(z.offset) : z.region; }

int offsetAtUtc(const Zone& z, int64_t utc, std::string* abbr) {
  if (z.region.empty()) {
    if (abbr) abbr->clear();
    return z.offset;
  }
  auto data = regionData(z.region);
  if (!data || data->kinds.empty()) return 0;
  const ZoneType& t = typeAt(*data, utc);
  if (abbr) *abbr = t.abbr;
  return t.offset / 60;
}

Zone zoneAt(const Zone& z, int64_t utc) {
  Zone r = z;
  r.abbr.clear();
  if (!r.region.empty()) {
    offsetAtUtc(r, utc, &r.abbr);
    r.abbr = upper(r.abbr);
  }
  return r;
}

int64_t utcOfLocal(const Zone& z, int64_t local, int& err) {
  err = 0;
  if (z.region.empty()) return local - int64_t{z.offset} * 60;
  auto data = regionData(z.region);
  if (!data || data->kinds.empty()) return local;
  // the offsets around the time: a local time is the instant local - offset for one of them
  std::vector<int64_t> fits;
  std::vector<std::string> abbrs;
  for (int64_t guess : {local - 86400, local, local + 86400}) {
    std::string a;
    int off = offsetAtUtc(z, guess, &a);
    int64_t utc = local - int64_t{off} * 60;
    std::string at;
    if (offsetAtUtc(z, utc, &at) == off && std::find(fits.begin(), fits.end(), utc) == fits.end()) {
      fits.push_back(utc);
      abbrs.push_back(upper(at));
    }
  }
  if (fits.empty()) {
    err = 1878; // the clocks skip this time
    return local;
  }
  if (!z.abbr.empty()) {
    for (size_t k = 0; k < fits.size(); ++k)
      if (abbrs[k] == z.abbr) return fits[k];
    err = 1857;
    return local;
  }
  // an hour the clocks repeat: the standard time, the later instant, as Oracle takes it
  return *std::max_element(fits.begin(), fits.end());
}

Zone sessionZone(sqlite3* db) {
  Zone z;
  const std::string& name = sessionNls(db).timeZone;
  if (name.empty() || parseZone(name, z) != 0) z = Zone{}, z.offset = machineOffset();
  return z;
}

void setSessionZone(sqlite3* db, const Zone& z) { sessionNls(db).timeZone = zoneName(z); }

Zone databaseZone() {
  Zone z;
  z.offset = machineOffset();
  return z;
}

int parseZonedText(sqlite3* db, std::string_view text, DateTime& local, Zone& zone) {
  size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ') --n;
  text = text.substr(0, n);
  // the zone is the last word, or the last two (a region and its abbreviation); an offset has
  // its sign, so the minutes of a time are never read as one
  int zoneErr = 0;
  size_t cut = n;
  for (int words = 1; words <= 2; ++words) {
    if (cut == 0) break;
    size_t sp = text.find_last_of(' ', cut - 1);
    if (sp == std::string_view::npos) break;
    std::string_view z = text.substr(sp + 1);
    size_t rest = sp;
    while (rest > 0 && text[rest - 1] == ' ') --rest;
    cut = rest;
    char c0 = z[0];
    if (!(c0 == '+' || c0 == '-' || alphaC(static_cast<unsigned char>(c0)))) break;
    DateTime d;
    if (parsePlainTimestamp(db, text.substr(0, rest), d) != 0) continue;
    Zone found;
    if (int err = parseZone(z, found)) {
      if (!zoneErr) zoneErr = err;
      continue;
    }
    local = d;
    zone = found;
    return 0;
  }
  int err = parseTimestampText(db, text, local);
  if (err == 0) zone = sessionZone(db);
  return err && zoneErr ? zoneErr : err;
}

std::string zonedText(const DateTime& local, const Zone& zone) {
  std::string s = storedTimestamp(local) + " " + zoneName(zone);
  if (!zone.abbr.empty()) s += " " + zone.abbr;
  return s;
}

int64_t instantOf(const DateTime& local, const Zone& z) {
  int err = 0;
  return utcOfLocal(z, fn::secondsOf(local), err);
}

DateTime shiftZone(const DateTime& local, const Zone& from, const Zone& to) {
  int64_t utc = instantOf(local, from);
  DateTime r = fn::fromSeconds(utc + int64_t{offsetAtUtc(to, utc)} * 60);
  r.nanos = local.nanos;
  return r;
}

} // namespace ora
