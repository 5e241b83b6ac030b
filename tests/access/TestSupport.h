// Shared by the access-layer tests: a fresh data folder per test, so each one starts from the
// demo database the engine creates on first use.
#pragma once
#include "OciCompo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

class TFreshDatabase : public ::testing::Test {
protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tessel3-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    DataHome = tmpl;
    setenv("XDG_DATA_HOME", DataHome.c_str(), 1);
    SetOciMessageHook([this](const std::string& text) { Messages.push_back(text); });
  }

  void TearDown() override {
    SetOciMessageHook(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(DataHome, ec);
  }

  // Automatic logon with the given account on the default database.
  static bool Logon(TOraSession& ses, const std::string& user, const std::string& pass) {
    ses.AutoLogon = true;
    ses.UserName = user;
    ses.UserPass = pass;
    return ses.Connect();
  }

  // Open, parse, describe and execute one statement; false at the first failing step.
  static bool Run(TOraCursor& cur, const std::string& sql) {
    cur.SQL() = {sql};
    return cur.Open() && cur.Parse() && cur.DescribeFields() && cur.Exec();
  }

  // The first column of the first row of a query, as text.
  static std::string Scalar(TOraCursor& cur, const std::string& sql) {
    if (!Run(cur, sql) || !cur.Fetch() || cur.FieldCount() == 0)
      return "<failed: " + cur.ErrorText() + ">";
    std::string value = cur.Fields(0)->GetAsString(0);
    cur.Close();
    return value;
  }

  std::string DataHome;
  std::vector<std::string> Messages;
};
