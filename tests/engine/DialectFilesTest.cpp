// Runs the dialect case files (tests/engine/dialect/*.test), each on a fresh demo database as
// DEMO, through the call interface itself: every column is fetched as the engine's own text.
//
// A file is a series of cases separated by blank lines; "# source: ..." says where the expected
// answers of the cases after it come from, and every case needs one.
//
//   statement ok [N]        the statement runs (and processes N rows)
//   error ORA-00936 [at N]  it fails with that error, the token at fault at byte offset N;
//                           after a "----" line, the message's whole text, one line each
//   query [sorted]          its rows, one per line, columns joined by "|" (NULL as NULL),
//   SELECT ...              after a "----" line; "sorted" compares them in sorted order
//   ----
//   a|b
//   describe                each result column as NAME|type|size|display size|precision|scale
//   connect USER/PASSWORD   the cases after it run in a new session of that user
#include "EngineFixture.h"
#include "OciIntr.h"
#include "ociw32.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;

namespace {

struct Case {
  std::string file, kind, source, sql;
  int line = 0;
  std::string code; // error: ORA-nnnnn
  int at = -1;      // error: expected offset
  bool sorted = false;
  int rows = -1; // statement: the rows it processed, when given
  std::vector<std::string> expected;
};

std::vector<Case> ReadCases(const fs::path& path, std::string& problem) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) {
    if (!l.empty() && l.back() == '\r')
      l.pop_back();
    lines.push_back(l);
  }
  std::vector<Case> out;
  std::string source;
  for (size_t i = 0; i < lines.size();) {
    const std::string& l = lines[i];
    if (l.empty()) {
      ++i;
      continue;
    }
    if (l[0] == '#') {
      if (l.rfind("# source:", 0) == 0)
        source = l.substr(9 + (l.size() > 9 && l[9] == ' ' ? 1 : 0));
      ++i;
      continue;
    }
    Case c;
    c.file = path.filename().string();
    c.line = static_cast<int>(i + 1);
    c.source = source;
    std::istringstream head(l);
    head >> c.kind;
    if (c.kind == "connect") {
      head >> c.sql;
      if (c.sql.empty())
        problem += c.file + ":" + std::to_string(c.line) + ": connect without a user\n";
      out.push_back(std::move(c));
      ++i;
      continue;
    }
    if (c.kind == "error") {
      std::string at;
      head >> c.code >> at >> c.at;
      if (at.empty())
        c.at = -1;
    } else if (c.kind == "query") {
      std::string opt;
      head >> opt;
      c.sorted = opt == "sorted";
    } else if (c.kind == "statement") {
      std::string ok, n;
      head >> ok >> n; // "statement ok N": the statement processed N rows
      if (!n.empty())
        c.rows = std::atoi(n.c_str());
      if (ok != "ok")
        problem += c.file + ":" + std::to_string(c.line) + ": statement without ok\n";
    } else if (c.kind != "describe") {
      problem += c.file + ":" + std::to_string(c.line) + ": unknown directive " + c.kind + "\n";
    }
    ++i;
    bool rows = false;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
      if (!rows && lines[i] == "----" &&
          (c.kind == "query" || c.kind == "describe" || c.kind == "error")) {
        rows = true;
        continue;
      }
      if (rows)
        c.expected.push_back(lines[i]);
      else
        c.sql += (c.sql.empty() ? "" : "\n") + lines[i];
    }
    if (c.source.empty())
      problem += c.file + ":" + std::to_string(c.line) + ": no source for the expected answer\n";
    if (c.sql.empty())
      problem += c.file + ":" + std::to_string(c.line) + ": no statement\n";
    out.push_back(std::move(c));
  }
  return out;
}

// One logon and cursor driven through the call interface.
class Raw {
public:
  ~Raw() {
    OciIntr::oclose(cda_);
    OciIntr::ologof(lda_);
  }
  bool Logon(const std::string& who = "DEMO/DEMO") {
    return OciIntr::olog(lda_, hda_, who.c_str(), -1, nullptr, -1, nullptr, -1, 0) == 0 &&
           OciIntr::oopen(cda_, lda_, nullptr, -1, -1, nullptr, -1) == 0;
  }
  int Code() const {
    uint16_t v;
    std::memcpy(&v, cda_ + ociw32::kOffReturnCode, 2);
    return v;
  }
  uint32_t RowsProcessed() const {
    uint32_t v;
    std::memcpy(&v, cda_ + ociw32::kOffRowsProcessed, 4);
    return v;
  }
  int Offset() const {
    uint16_t v;
    std::memcpy(&v, cda_ + ociw32::kOffParseErrorOffset, 2);
    return v;
  }
  std::string Message(int code) {
    char buf[1024] = {};
    OciIntr::oerhms(lda_, static_cast<short>(code), buf, sizeof buf);
    return buf;
  }
  // Runs a statement; on a query, fetches every row. Returns 0 or the Oracle error number.
  int Run(const std::string& sql, std::vector<std::string>* rows,
          std::vector<std::string>* described) {
    if (OciIntr::oparse(cda_, sql.c_str(), -1, 0, 2))
      return Code();
    struct Col {
      std::vector<unsigned char> buf;
      short ind = 0;
      unsigned short len = 0, rc = 0;
      short type = 0;
    };
    std::vector<Col> cols;
    for (int pos = 1;; ++pos) {
      int size = 0, dsize = 0, nameLen = 31;
      short type = 0, prec = 0, scale = 0, nullok = 0;
      char name[32] = {};
      if (OciIntr::odescr(cda_, pos, &size, &type, name, &nameLen, &dsize, &prec, &scale, &nullok))
        break;
      if (described)
        described->push_back(std::string(name, static_cast<size_t>(nameLen)) + "|" +
                             std::to_string(type) + "|" + std::to_string(size) + "|" +
                             std::to_string(dsize) + "|" + std::to_string(prec) + "|" +
                             std::to_string(scale));
      cols.emplace_back();
      cols.back().type = type;
      cols.back().buf.assign(type == 8 || type == 24 ? 1 : 8001, 0);
    }
    for (size_t k = 0; k < cols.size(); ++k) {
      Col& c = cols[k];
      if (c.type == 8 || c.type == 24)
        continue; // LONG: read with oflng
      if (OciIntr::odefin(cda_, static_cast<int>(k + 1), c.buf.data(),
                          static_cast<int>(c.buf.size()), ociw32::kExtString, -1, &c.ind, nullptr,
                          -1, -1, &c.len, &c.rc))
        return Code();
    }
    if (OciIntr::oexec(cda_))
      return Code();
    if (cols.empty() || !rows)
      return 0;
    for (;;) {
      if (OciIntr::ofetch(cda_))
        return Code() == 1403 ? 0 : Code();
      std::string row;
      for (size_t k = 0; k < cols.size(); ++k) {
        Col& c = cols[k];
        if (k)
          row += '|';
        if (c.type == 8 || c.type == 24) {
          std::string v;
          unsigned char piece[4096];
          for (;;) {
            unsigned int got = 0;
            if (OciIntr::oflng(cda_, static_cast<int>(k + 1), piece, sizeof piece - 1,
                               ociw32::kExtString, &got, static_cast<int>(v.size())) ||
                got == 0)
              break;
            v.append(reinterpret_cast<char*>(piece), got);
          }
          row += v;
        } else if (c.ind == -1) {
          row += "NULL";
        } else {
          row += reinterpret_cast<const char*>(c.buf.data());
        }
      }
      rows->push_back(row);
    }
  }

private:
  unsigned char lda_[64] = {}, hda_[256] = {}, cda_[64] = {};
};

fs::path CaseDir() { return fs::path(DIALECT_DIR); }

std::vector<std::string> CaseFiles() {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto& e : fs::directory_iterator(CaseDir(), ec))
    if (e.path().extension() == ".test")
      out.push_back(e.path().stem().string());
  std::sort(out.begin(), out.end());
  return out;
}

class DialectFile : public TFreshDatabase, public ::testing::WithParamInterface<std::string> {};

TEST_P(DialectFile, EveryCaseGivesOraclesAnswer) {
  std::string problem;
  auto cases = ReadCases(CaseDir() / (GetParam() + ".test"), problem);
  ASSERT_EQ(problem, "");
  ASSERT_FALSE(cases.empty());
  auto session = std::make_unique<Raw>();
  ASSERT_TRUE(session->Logon());
  for (const Case& c : cases) {
    std::string where = c.file + ":" + std::to_string(c.line) + " (" + c.source + ")\n" + c.sql;
    if (c.kind == "connect") {
      session = std::make_unique<Raw>();
      ASSERT_TRUE(session->Logon(c.sql)) << where;
      continue;
    }
    Raw& raw = *session;
    std::vector<std::string> rows, described;
    int code = raw.Run(c.sql, c.kind == "query" || c.kind == "error" ? &rows : nullptr,
                       c.kind == "describe" ? &described : nullptr);
    std::string got = code ? raw.Message(code) : "";
    if (c.kind == "error") {
      EXPECT_EQ(got.substr(0, 9), c.code) << where << "\n" << got;
      if (!c.expected.empty()) {
        // a message of several lines: an error and the PL/SQL lines it passed through
        std::string want;
        for (const std::string& l : c.expected)
          want += (want.empty() ? "" : "\n") + l;
        EXPECT_EQ(got, want) << where;
      }
      if (c.at >= 0 && code) {
        EXPECT_EQ(raw.Offset(), c.at) << where << "\n" << got;
      }
      continue;
    }
    EXPECT_EQ(got, "") << where;
    if (code)
      continue;
    if (c.kind == "query") {
      std::vector<std::string> expected = c.expected;
      if (c.sorted) {
        std::sort(rows.begin(), rows.end());
        std::sort(expected.begin(), expected.end());
      }
      EXPECT_EQ(rows, expected) << where;
    } else if (c.kind == "describe") {
      EXPECT_EQ(described, c.expected) << where;
    } else if (c.rows >= 0) {
      EXPECT_EQ(raw.RowsProcessed(), static_cast<uint32_t>(c.rows)) << where;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, DialectFile, ::testing::ValuesIn(CaseFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

} // namespace
