// The benchmark table shared by the fetch benchmarks: BENCH (ID, NAME, AMOUNT, CREATED, NOTE)
// with n rows in a fresh default database of its own.
#pragma once
#include "OciCompo.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

struct sqlite3;

class TBenchTable {
public:
  // Makes a fresh data folder and points XDG_DATA_HOME at it.
  TBenchTable();
  // Removes the folder.
  ~TBenchTable();
  TBenchTable(const TBenchTable&) = delete;
  TBenchTable& operator=(const TBenchTable&) = delete;

  // Creates BENCH as DEMO and writes the rows straight into the schema file in the engine's
  // storage form (the benchmarks are about reading them). False with a message on stderr.
  bool Build(long rows);
  // The SQLite handle on DEMO's schema file (open after Build).
  sqlite3* Db() const { return FDb; }
  double BuildSeconds() const { return FBuildSeconds; }
  const std::filesystem::path& Home() const { return FHome; }

  // The access layer's fetch of SELECT * FROM BENCH on a session: FetchRows of 1000, GetAsString
  // of every cell. Returns the seconds taken; rows and bytes read are counted.
  static double EngineFetch(TOraSession& session, long& rows, size_t& bytes);

private:
  std::filesystem::path FHome;
  sqlite3* FDb = nullptr;
  double FBuildSeconds = 0;
};

// Runs `one` for each row count given on the command line (or `defaults`), each in a fresh
// process so that one size's memory does not count in the next; 0 when every run succeeded.
int RunEachSize(int argc, char** argv, std::vector<long> defaults,
                int (*one)(long rows, int argc, char** argv));
