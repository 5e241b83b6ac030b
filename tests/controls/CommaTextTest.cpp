#include "SGrid.h"
#include "uCommaText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class CommaTextTest : public ::testing::Test {
protected:
  QString Write(const QByteArray& bytes, const QString& name = "in.csv") {
    const QString path = Dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    return path;
  }
  static QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
  }
  // Every data line of a file as texts, after the header's item count.
  static std::vector<QStringList> Lines(const QString& path, int& header, QString& error) {
    std::vector<QStringList> out;
    TCsvReader reader;
    header = -1;
    if (!reader.Open(path) || !reader.ReadHeader(header)) {
      error = reader.ErrorText();
      return out;
    }
    std::vector<std::string> fields;
    int count = 0;
    while (reader.ReadLine(fields, count)) {
      QStringList line;
      for (int i = 0; i < count; ++i)
        line << QString::fromStdString(fields[static_cast<size_t>(i)]);
      out.push_back(line);
    }
    error = reader.ErrorText();
    return out;
  }

  QTemporaryDir Dir;
};

TEST_F(CommaTextTest, ItemsToOneLine) {
  const struct {
    QStringList items;
    QString line;
  } cases[] = {
      {{"a", "b"}, "a,b"},
      {{""}, "\"\""},
      {{"", ""}, ","},
      {{"a b"}, "\"a b\""},
      {{"x,y"}, "\"x,y\""},
      {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
      {{"tab\there", "cr\r\nlf"}, "\"tab\there\",\"cr\r\nlf\""},
      {{"日本語　全角空白"}, "日本語　全角空白"}, // a double-byte blank never quotes
      {{"7", "", "end"}, "7,,end"},
      {{}, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CommaText(c.items), c.line) << c.items.join('|').toStdString();
}

TEST_F(CommaTextTest, FileLinesToValues) {
  const struct {
    const char* name;
    QByteArray bytes;
    int header;
    std::vector<QStringList> lines;
  } cases[] = {
      {"plain", "\"A\",\"B\"\r\n\"x\",\"y\"\r\n", 2, {{"x", "y"}}},
      {"doubled quotes", "\"A\"\r\n\"say \"\"hi\"\"\"\r\n", 1, {{"say \"hi\""}}},
      {"commas inside quotes", "A,B\r\n\"a,b\",c\r\n", 2, {{"a,b", "c"}}},
      {"blanks kept unquoted", "A,B\r\n a , b \r\n", 2, {{" a ", " b "}}},
      {"CR LF inside quotes",
       "\"A\"\r\n\"one\r\ntwo\"\r\n\"next\"\r\n",
       1,
       {{"one\r\ntwo"}, {"next"}}},
      {"LF line ends", "A,B\nx,y\n1,2", 2, {{"x", "y"}, {"1", "2"}}},
      {"NULL number between quoted", "\"A\",\"N\",\"B\"\r\n\"\",,\"\"\r\n", 3, {{"", "", ""}}},
      {"empty line is a row", "A\r\n\r\nx\r\n", 1, {{}, {"x"}}},
      {"one char after the closing quote", "A,B,C\r\n\"ab\"c,d\r\n", 3, {{"ab", "", "d"}}},
      {"header blanks and trailing comma", "  A , B ,\r\nx\r\n", 2, {{"x"}}},
      {"header with empty item", "A,,B\r\n", 3, {}},
      {"empty file", "", 0, {}},
      {"header only", "\"A\",\"B\"\r\n", 2, {}},
      {"Japanese UTF-8", "\"名前\"\r\n\"日本語～①\"\r\n", 1, {{"日本語～①"}}},
      {"wave dash UTF-8", "A\r\n〜\r\n", 1, {{"〜"}}},
      {"CP932 bytes", "\"A\"\r\n\"\x81\x60\x87\x40\x93\xfa\x96\x7b\"\r\n", 1, {{"～①日本"}}},
      {"CP932 with a 0x5C trail byte", "A\r\n\x95\x5c,\x83\x5c\r\n", 1, {{"表", "ソ"}}},
      {"BOM", "\xEF\xBB\xBF\"A\",\"B\"\r\n\"1\",\"2\"\r\n", 2, {{"1", "2"}}},
  };
  for (const auto& c : cases) {
    int header = 0;
    QString error;
    const auto lines = Lines(Write(c.bytes), header, error);
    EXPECT_EQ(header, c.header) << c.name;
    EXPECT_EQ(lines, c.lines) << c.name;
    EXPECT_EQ(error, "") << c.name;
  }

  // The byte-order mark is never part of the first value, even without a header.
  TCsvReader reader;
  ASSERT_TRUE(reader.Open(Write("\xEF\xBB\xBF\"A\",B\r\n")));
  EXPECT_TRUE(reader.IsUtf8());
  std::vector<std::string> fields;
  int count = 0;
  ASSERT_TRUE(reader.ReadLine(fields, count));
  EXPECT_EQ(fields[0], "A");

  // Faults are errors, never a quiet end: an unclosed quote, a missing file.
  int header = 0;
  QString error;
  const auto lines = Lines(Write("A\r\n\"ok\"\r\n\"never closed\r\nB\r\n"), header, error);
  EXPECT_EQ(lines.size(), 1u);
  EXPECT_TRUE(error.contains("3行目")) << error.toStdString();
  Lines(Dir.filePath("missing.csv"), header, error);
  EXPECT_FALSE(error.isEmpty());
}

TEST_F(CommaTextTest, LongValuesAndManyLinesAcrossReadChunks) {
  QByteArray bytes = "\"ID\",\"TEXT\"\r\n";
  const QByteArray big(3 * 1024 * 1024 + 17, 'z');
  bytes += "1,\"" + big + "\"\r\n";
  const int n = 60000;
  for (int i = 2; i <= n; ++i)
    bytes += QByteArray::number(i) + ",\"row " + QByteArray::number(i) + " 東京\r\n続き\"\r\n";
  int header = 0;
  QString error;
  const auto lines = Lines(Write(bytes), header, error);
  EXPECT_EQ(error, "");
  ASSERT_EQ(lines.size(), size_t(n));
  EXPECT_EQ(lines[0][1].size(), big.size());
  for (int i : {2, 9999, 31234, n})
    EXPECT_EQ(lines[size_t(i - 1)],
              (QStringList{QString::number(i), QStringLiteral("row %1 東京\r\n続き").arg(i)}));
}

TEST_F(CommaTextTest, GridSavesAndLoadsTheSameCells) {
  TSmartGrid grid;
  grid.SetColCount(4);
  grid.SetRowCount(4);
  const std::vector<QStringList> rows = {
      {"ID", "NAME", "NOTE", "N"},
      {"1", " lead and trail ", "say \"hi\", then\r\nleave", "1.5"},
      {"2", "日本語～①", "", ""},
      {"3", "x,y", "tab\tin", "-0.001"},
  };
  for (int r = 0; r < 4; ++r)
    grid.SetRowStrings(r, rows[size_t(r)]);
  for (TFileCode code : {TFileCode::System, TFileCode::Cp932}) {
    const QString path = Dir.filePath(code == TFileCode::System ? "utf8.csv" : "cp932.csv");
    ASSERT_TRUE(grid.SaveAsCommaText(path, code));
    const QByteArray bytes = Read(path);
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_EQ(bytes.contains("\x81\x60\x87\x40"), code == TFileCode::Cp932);
    TSmartGrid back;
    ASSERT_TRUE(back.LoadFromCSV(path)) << back.LoadError().toStdString();
    EXPECT_EQ(back.ColCount(), 4);
    ASSERT_EQ(back.RowCount(), 3); // the first line is the header
    for (int r = 1; r < 4; ++r)
      EXPECT_EQ(back.Rows(r - 1), rows[size_t(r)]) << r;
  }

  // A character CP932 cannot hold fails the save and keeps the old file.
  const QString path = Dir.filePath("cp932.csv");
  const QByteArray before = Read(path);
  grid.SetCells(2, 3, "波〜線");
  try {
    grid.SaveAsCommaText(path, TFileCode::Cp932);
    ADD_FAILURE() << "no error";
  } catch (const EInOutError& e) {
    const QString text = QString::fromUtf8(e.what());
    EXPECT_TRUE(text.contains("U+301C")) << text.toStdString();
    EXPECT_TRUE(text.contains("4行目 3列目")) << e.what();
  }
  EXPECT_EQ(Read(path), before);
  EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files).size(), 2); // no temporary file left
  // The platform's code page holds it.
  ASSERT_TRUE(grid.SaveAsCommaText(path, TFileCode::System));
  EXPECT_TRUE(QString::fromUtf8(Read(path)).contains("波〜線"));

  // Values beyond the header's items are reported, not dropped in silence.
  TSmartGrid over;
  ASSERT_TRUE(over.LoadFromCSV(Write("A,B\r\n1,2\r\n1,2,3\r\n1,2,,\r\n")));
  EXPECT_EQ(over.RowCount(), 3);
  EXPECT_EQ(over.OverlongRows(), std::vector<int>{1});
  // A file that cannot be read is a failed load.
  EXPECT_FALSE(over.LoadFromCSV(Dir.filePath("none.csv")));
  EXPECT_FALSE(over.LoadError().isEmpty());
}

} // namespace
