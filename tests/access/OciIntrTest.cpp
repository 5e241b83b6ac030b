#include "OciIntr.h"
#include "TestSupport.h"

#include <cstring>

TEST(OciIntrTest, FunctionCodeNames) {
  EXPECT_STREQ(OciIntr::FunctionCodeName(54), "OPARSE");
  EXPECT_STREQ(OciIntr::FunctionCodeName(62), "OBNDRA");
  EXPECT_STREQ(OciIntr::FunctionCodeName(3), "not used");
  EXPECT_STREQ(OciIntr::FunctionCodeName(255), "not used");
  int named = 0;
  for (int i = 0; i < OciIntr::FunctionCodeCount; ++i)
    named += std::strcmp(OciIntr::FunctionCodeNames[i], "not used") != 0;
  EXPECT_EQ(named, 20);
}

class OciIntrLoadTest : public TFreshDatabase {
protected:
  void TearDown() override {
    OciIntr::SetLibraryFileName(DefaultName);
    TFreshDatabase::TearDown();
  }
  const std::string DefaultName = OciIntr::LibraryFileName();
};

TEST_F(OciIntrLoadTest, LoadsOnceOnFirstCall) {
  EXPECT_EQ(DefaultName, "libociw32.so");
  OciIntr::SetLibraryFileName(DefaultName); // forget any earlier binding of this process
  EXPECT_FALSE(OciIntr::LibraryLoaded());
  int before = OciIntr::LoadAttempts();

  TOraSession ses;
  std::string text = ses.GetErrorMessage(1017);
  EXPECT_EQ(text.rfind("ORA-01017", 0), 0u) << text;
  EXPECT_TRUE(OciIntr::LibraryLoaded());
  EXPECT_EQ(OciIntr::LoadAttempts(), before + 1);

  ASSERT_TRUE(Logon(ses, "DEMO", "DEMO"));
  EXPECT_TRUE(ses.Disconnect());
  EXPECT_EQ(OciIntr::LoadAttempts(), before + 1);
}

TEST_F(OciIntrLoadTest, AbsentLibraryNamesOlogAndRetriesLoad) {
  OciIntr::SetLibraryFileName("libociw32-absent.so");
  int before = OciIntr::LoadAttempts();
  TOraSession ses;
  ses.AutoLogon = true;
  ses.UserName = "DEMO/DEMO";
  try {
    ses.Connect();
    FAIL() << "Connect without the library must throw";
  } catch (const DLLAddressErr& e) {
    EXPECT_STREQ(e.what(), "OCIW32.DLL: function olog not found.");
  }
  EXPECT_EQ(OciIntr::LoadAttempts(), before + 1);
  EXPECT_FALSE(ses.Connected());
  EXPECT_THROW(ses.Connect(), DLLAddressErr);
  EXPECT_EQ(OciIntr::LoadAttempts(), before + 2);

  // Once the library can be found again, the same session logs on.
  OciIntr::SetLibraryFileName(DefaultName);
  EXPECT_TRUE(ses.Connect());
  EXPECT_EQ(OciIntr::LoadAttempts(), before + 3);
}
