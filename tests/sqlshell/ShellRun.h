// Runs the real tessel-sql program from a test, as a user runs it: input on its standard input,
// in the test's data folder.
#pragma once
#include "../access/TestSupport.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

inline std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

struct TShellRun {
  std::string Out, Err; // Err stays empty when the error output went to Out
  int Code = -1;
};

// tessel-sql `args` in `folder` with `input`; its error output joins Out unless `apart`.
inline TShellRun RunShell(const std::string& folder, const std::string& input,
                          const std::string& args, bool apart) {
  namespace fs = std::filesystem;
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  exe[n > 0 ? n : 0] = 0;
  std::string prog = (fs::path(exe).parent_path() / "tessel-sql").string();
  fs::path in = fs::path(folder) / "stdin.txt", err = fs::path(folder) / "stderr.txt";
  WriteFile(in, input);
  std::string cmd = "cd '" + folder + "' && '" + prog + "' " + args + " < '" + in.string() +
                    (apart ? "' 2> '" + err.string() + "'" : "' 2>&1");
  TShellRun r;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  while (size_t k = fread(buf, 1, sizeof buf, p))
    r.Out.append(buf, k);
  int status = pclose(p);
  r.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (apart)
    r.Err = ReadAll(err);
  return r;
}
