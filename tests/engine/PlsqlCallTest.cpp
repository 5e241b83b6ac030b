// Anonymous PL/SQL blocks through the call interface: what DBMS_OUTPUT leaves for the client,
// a failed block undoing only its own changes, a runaway loop stopped, and open queries kept
// apart from what a block writes. Expected answers follow Oracle's PL/SQL Language Reference
// (DBMS_OUTPUT, statement-level atomicity) and Error Messages.
#include "../access/TestSupport.h"
#include "OciIntr.h"
#include "ociw32.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

class PlsqlCalls : public TFreshDatabase {
protected:
  void SetUp() override {
    TFreshDatabase::SetUp();
    ASSERT_EQ(OciIntr::olog(lda, hda, "DEMO", -1, "DEMO", -1, nullptr, -1, 0), 0);
    ASSERT_EQ(OciIntr::oopen(cda, lda, nullptr, -1, -1, nullptr, -1), 0);
    ASSERT_EQ(OciIntr::oopen(cda2, lda, nullptr, -1, -1, nullptr, -1), 0);
  }
  void TearDown() override {
    OciIntr::oclose(cda);
    OciIntr::oclose(cda2);
    OciIntr::ologof(lda);
    TFreshDatabase::TearDown();
  }
  int Run(const std::string& sql, unsigned char* area = nullptr) {
    unsigned char* a = area ? area : cda;
    if (int r = OciIntr::oparse(a, sql.c_str(), -1, 0, 2))
      return r;
    return OciIntr::oexec(a);
  }
  std::string Message(int code) {
    char buf[512];
    OciIntr::oerhms(lda, static_cast<short>(code), buf, sizeof buf);
    return buf;
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> out;
    char buf[100];
    for (int guard = 0; guard < 100; ++guard) {
      int len = -1, status = -1;
      EXPECT_EQ(OciIntr::tessel_output_get_line(lda, buf, sizeof buf, &len, &status), 0);
      if (status != 0)
        break;
      out.emplace_back(buf, static_cast<size_t>(len));
    }
    return out;
  }
  // The first column of a query's first row as text; "<none>" when it has no rows.
  std::string Value(const std::string& sql) {
    char buf[64] = {};
    short ind = 0;
    unsigned short len = 0, code = 0;
    EXPECT_EQ(OciIntr::oparse(cda2, sql.c_str(), -1, 0, 2), 0) << sql;
    EXPECT_EQ(OciIntr::odefin(cda2, 1, reinterpret_cast<unsigned char*>(buf), sizeof buf - 1, 5, -1,
                              &ind, nullptr, -1, -1, &len, &code),
              0);
    EXPECT_EQ(OciIntr::oexec(cda2), 0) << sql;
    if (OciIntr::ofetch(cda2) != 0)
      return "<none>";
    return ind < 0 ? "NULL" : std::string(buf);
  }
  unsigned char lda[64] = {}, hda[256] = {}, cda[64] = {}, cda2[64] = {};
};

TEST_F(PlsqlCalls, OutputLinesReachTheClientOnlyWhileEnabled) {
  ASSERT_TRUE(OciIntr::OutputAvailable());
  // not enabled: the lines are dropped, as DBMS_OUTPUT does before ENABLE
  ASSERT_EQ(Run("BEGIN DBMS_OUTPUT.PUT_LINE('dropped'); END;"), 0);
  EXPECT_TRUE(Lines().empty());
  ASSERT_EQ(OciIntr::tessel_output_enable(lda, 1), 0);
  ASSERT_EQ(Run("DECLARE n NUMBER := 3; BEGIN\n"
                "  FOR i IN 1..n LOOP DBMS_OUTPUT.PUT_LINE('line ' || i); END LOOP;\n"
                "  DBMS_OUTPUT.PUT('a'); DBMS_OUTPUT.PUT('b'); DBMS_OUTPUT.NEW_LINE;\n"
                "  DBMS_OUTPUT.PUT('unfinished');\n"
                "END;"),
            0);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"line 1", "line 2", "line 3", "ab"}));
  // the unfinished line is completed by the next block's PUT_LINE
  ASSERT_EQ(Run("BEGIN DBMS_OUTPUT.PUT_LINE(' now'); END;"), 0);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"unfinished now"}));
  // what a failed block wrote stays in the buffer: DBMS_OUTPUT is not undone
  EXPECT_EQ(
      Run("BEGIN DBMS_OUTPUT.PUT_LINE('before'); RAISE_APPLICATION_ERROR(-20005, 'stop'); END;"),
      20005);
  EXPECT_EQ(Message(20005), "ORA-20005: stop\nORA-06512: at line 1");
  EXPECT_EQ(Lines(), (std::vector<std::string>{"before"}));
  // disabling empties the buffer; a block may also enable it itself
  ASSERT_EQ(Run("BEGIN DBMS_OUTPUT.PUT_LINE('gone'); END;"), 0);
  ASSERT_EQ(OciIntr::tessel_output_enable(lda, 0), 0);
  EXPECT_TRUE(Lines().empty());
  ASSERT_EQ(Run("BEGIN DBMS_OUTPUT.ENABLE; DBMS_OUTPUT.PUT_LINE('self'); END;"), 0);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"self"}));
}

TEST_F(PlsqlCalls, AFailedBlockUndoesOnlyItsOwnChanges) {
  ASSERT_EQ(Run("INSERT INTO dept VALUES (50, 'BEFORE', 'X')"), 0);
  EXPECT_EQ(Run("BEGIN\n"
                "  INSERT INTO dept VALUES (60, 'INSIDE', 'X');\n"
                "  UPDATE dept SET loc = 'CHANGED' WHERE deptno = 50;\n"
                "  INSERT INTO dept VALUES (60, 'AGAIN', 'X');\n"
                "END;"),
            1);
  EXPECT_EQ(Value("SELECT COUNT(*) FROM dept WHERE deptno = 60"), "0");
  EXPECT_EQ(Value("SELECT loc FROM dept WHERE deptno = 50"), "X");
  // a handled error leaves the block's other changes in place
  ASSERT_EQ(Run("BEGIN\n"
                "  UPDATE dept SET loc = 'KEPT' WHERE deptno = 50;\n"
                "  INSERT INTO dept VALUES (50, 'DUP', 'X');\n"
                "EXCEPTION WHEN DUP_VAL_ON_INDEX THEN NULL;\n"
                "END;"),
            0);
  EXPECT_EQ(Value("SELECT loc FROM dept WHERE deptno = 50"), "KEPT");
  ASSERT_EQ(OciIntr::orol(lda), 0);
  EXPECT_EQ(Value("SELECT COUNT(*) FROM dept WHERE deptno = 50"), "0");
}

TEST_F(PlsqlCalls, ARunawayLoopEndsWithAnErrorAndTheLogonGoesOn) {
  EXPECT_EQ(Run("DECLARE n NUMBER := 0; BEGIN n := 1; LOOP NULL; END LOOP; END;"), 1013);
  EXPECT_EQ(Value("SELECT COUNT(*) FROM emp"), "14");
  // deep nesting is refused cleanly rather than exhausting the stack
  std::string deep;
  for (int i = 0; i < 300; ++i)
    deep += "BEGIN ";
  deep += "NULL; ";
  for (int i = 0; i < 300; ++i)
    deep += "END; ";
  int rc = Run(deep);
  EXPECT_TRUE(rc == 6500 || rc == 6550) << rc;
}

TEST_F(PlsqlCalls, AnOpenQueryKeepsItsRowsWhileABlockWrites) {
  char buf[32] = {};
  short ind = 0;
  unsigned short len = 0, code = 0;
  ASSERT_EQ(OciIntr::oparse(cda2, "SELECT sal FROM emp WHERE deptno = 10 ORDER BY empno", -1, 0, 2),
            0);
  ASSERT_EQ(OciIntr::odefin(cda2, 1, reinterpret_cast<unsigned char*>(buf), sizeof buf - 1, 5, -1,
                            &ind, nullptr, -1, -1, &len, &code),
            0);
  ASSERT_EQ(OciIntr::oexec(cda2), 0);
  ASSERT_EQ(OciIntr::ofetch(cda2), 0);
  EXPECT_STREQ(buf, "2450");
  ASSERT_EQ(Run("BEGIN UPDATE emp SET sal = 1 WHERE deptno = 10; END;"), 0);
  ASSERT_EQ(OciIntr::ofetch(cda2), 0);
  EXPECT_STREQ(buf, "5000");
}

} // namespace
