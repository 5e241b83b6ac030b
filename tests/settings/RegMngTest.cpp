#include "RegMng.h"

#include <QBuffer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Each test gets its own per-user settings folder and INI file.
class RegMngTest : public ::testing::TestWithParam<TRegType> {
protected:
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Dir.path());
    Man.RegType = GetParam();
    Man.RegDir = QStringLiteral("Software\\TESSEL");
    Man.IniFileName = Dir.filePath(QStringLiteral("tessel.ini"));
    Man.RegItems.Add("HOST", "SESSION", "HOST");
    Man.RegItems.Add("NUM", "SESSION", "NUM");
    Man.RegItems.Add("FLAG", "SESSION", "FLAG");
    Man.RegItems.Add("FLAGYES", "SESSION", "FLAGYES", "yes");
    Man.RegItems.Add("FONT", "VIEW", "Grid");
    Man.RegItems.Add("LIST", "VIEW", "Recent");
    Man.RegItems.Add("BLOB", "DATA", "Blob");
    Man.RegItems.Add("NOSECTION", "", "X");
    Man.OnError = [this](const QString& text) { Errors << text; };
  }

  // The raw text under section/ident, as another program would read it.
  QString Raw(const QString& section, const QString& ident) {
    std::unique_ptr<QSettings> s =
        GetParam() == rtReg ? Man.OpenRegistry()
                            : std::make_unique<QSettings>(Man.IniFileName, QSettings::IniFormat);
    return s->value(section + "/" + ident).toString();
  }

  QTemporaryDir Dir;
  TRegManager Man;
  QStringList Errors; // what the manager reported to its caller
};

TEST_P(RegMngTest, StringsAndIntegersRoundTripAndLookupIgnoresCase) {
  Man.ItemByName("host")->WriteString(QStringLiteral("東京/DB"));
  EXPECT_EQ(Man.ItemByName("HOST")->ReadString(), QStringLiteral("東京/DB"));
  EXPECT_EQ(Raw("SESSION", "HOST"), QStringLiteral("東京/DB"));
  Man.ItemByName("HOST")->WriteString(QStringLiteral("a, b"));
  EXPECT_EQ(Man.ItemByName("HOST")->ReadString(), QStringLiteral("a, b"));

  EXPECT_EQ(Man.ItemByName("NUM")->ReadInteger(), 0); // never written
  Man.ItemByName("NUM")->WriteInteger(-1234);
  EXPECT_EQ(Raw("SESSION", "NUM"), "-1234");
  EXPECT_EQ(Man.ItemByName("NUM")->ReadInteger(), -1234);
  for (auto [text, value] : std::vector<std::pair<const char*, int>>{
           {"12abc", 0}, {"$1F", 31}, {"$FFFFFFFF", -1}, {"$", 0}, {"99999999999", 0}, {"", 0}}) {
    Man.ItemByName("NUM")->WriteString(text);
    EXPECT_EQ(Man.ItemByName("NUM")->ReadInteger(), value) << text;
  }
  EXPECT_EQ(Errors.size(), 0);
}

TEST_P(RegMngTest, UnknownNamesAndMissingStoreAreReported) {
  TRegFiler* f = Man.ItemByName("NOPE");
  EXPECT_EQ(Errors, QStringList{"[' NOPE '] is invalid."});
  EXPECT_EQ(f->Item, nullptr);
  f->WriteString("x");
  EXPECT_EQ(f->ReadString(), QString());
  EXPECT_EQ(f->ReadInteger(), 0);
  EXPECT_FALSE(f->ReadBool());

  // Empty section: default, nothing written, no message.
  Errors.clear();
  Man.ItemByName("NOSECTION")->WriteString("lost");
  EXPECT_EQ(Man.ItemByName("NOSECTION")->ReadString(), QString());
  EXPECT_EQ(Errors.size(), 0);

  Man.RegDir.clear();
  Man.IniFileName.clear();
  Man.ItemByName("HOST")->WriteString("lost");
  EXPECT_EQ(Man.ItemByName("HOST")->ReadString(), QString());
  const QString expected =
      GetParam() == rtReg ? "can not create Registry object." : "can not create Inifile object.";
  EXPECT_EQ(Errors, (QStringList{expected, expected}));
  EXPECT_EQ(Man.LastError(), expected);
}

TEST_P(RegMngTest, BooleansKeepTheirLowByte) {
  Man.ItemByName("FLAG")->WriteBool(true);
  EXPECT_EQ(Raw("SESSION", "FLAG"), "1");
  EXPECT_TRUE(Man.ItemByName("FLAG")->ReadBool());
  Man.ItemByName("FLAG")->WriteBool(false);
  EXPECT_EQ(Raw("SESSION", "FLAG"), "0");
  EXPECT_FALSE(Man.ItemByName("FLAG")->ReadBool());
  Man.ItemByName("FLAG")->WriteString("256");
  EXPECT_FALSE(Man.ItemByName("FLAG")->ReadBool());
  Man.ItemByName("FLAG")->WriteString("257");
  EXPECT_TRUE(Man.ItemByName("FLAG")->ReadBool());
  Man.ItemByName("FLAG")->WriteString("yes");
  EXPECT_FALSE(Man.ItemByName("FLAG")->ReadBool());
  // Nothing stored: the item's default "yes" counts as true.
  EXPECT_TRUE(Man.ItemByName("FLAGYES")->ReadBool());
}

TEST_P(RegMngTest, FontsAndStringLists) {
  QFont font(QStringLiteral("IPAGothic"));
  font.setPointSize(11);
  QColor red(Qt::red);
  Man.ItemByName("FONT")->WriteFont(&font, &red);
  EXPECT_EQ(Raw("VIEW", "Grid_FontName"), "IPAGothic");
  EXPECT_EQ(Raw("VIEW", "Grid_FontSize"), "11");

  QFont back(QStringLiteral("Other"));
  back.setPointSize(20);
  QColor color(Qt::blue);
  EXPECT_TRUE(Man.ItemByName("FONT")->ReadFont(&back, &color));
  EXPECT_EQ(back.family(), "IPAGothic");
  EXPECT_EQ(back.pointSize(), 11);
  EXPECT_EQ(color, QColor(Qt::red));

  // A size that is no number keeps the current one; a colour that is none fails after name and
  // size were taken, leaving the colour alone. "$BBGGRR" values are understood.
  Man.ItemByName("FONT")->WriteValue("VIEW", "Grid_FontSize", "big");
  Man.ItemByName("FONT")->WriteValue("VIEW", "Grid_FontColor", "$0000FF");
  EXPECT_TRUE(Man.ItemByName("FONT")->ReadFont(&back, &color));
  EXPECT_EQ(back.pointSize(), 11);
  EXPECT_EQ(color, QColor(255, 0, 0));
  Man.ItemByName("FONT")->WriteValue("VIEW", "Grid_FontColor", "nocolour");
  Man.ItemByName("FONT")->WriteValue("VIEW", "Grid_FontName", "Third");
  EXPECT_FALSE(Man.ItemByName("FONT")->ReadFont(&back, &color));
  EXPECT_EQ(back.family(), "Third");
  EXPECT_EQ(color, QColor(255, 0, 0));

  QStringList list{"一", "two", "", "four"};
  Man.ItemByName("LIST")->WriteStrings(&list);
  EXPECT_EQ(Raw("VIEW", "Recent_ItemCount"), "4");
  EXPECT_EQ(Raw("VIEW", "Recent_Item0"), "一");
  QStringList shorter{"x"};
  Man.ItemByName("LIST")->WriteStrings(&shorter);
  EXPECT_EQ(Raw("VIEW", "Recent_Item3"), "four"); // lines beyond the count stay
  QStringList read{"old"};
  Man.ItemByName("LIST")->ReadStrings(&read);
  EXPECT_EQ(read, QStringList{"x"});

  Man.RegItems.Add("EMPTY", "VIEW", "Nothing");
  Man.ItemByName("EMPTY")->ReadStrings(&read);
  EXPECT_TRUE(read.isEmpty());
}

TEST_P(RegMngTest, StreamsRoundTripInBothStores) {
  QByteArray bytes;
  for (int i = 0; i < 40; ++i)
    bytes.append(char(i * 7));
  QBuffer out(&bytes);
  out.open(QIODevice::ReadOnly);
  out.seek(10); // the whole stream is written, wherever it stands
  Man.ItemByName("BLOB")->WriteStream(&out);
  EXPECT_EQ(out.pos(), 10);
  if (GetParam() == rtIni) {
    EXPECT_EQ(Raw("DATA", "Blob_c"), "2");
    EXPECT_EQ(Raw("DATA", "Blob_d0").size(), 64);
    EXPECT_EQ(Raw("DATA", "Blob_d1").size(), 16);
    EXPECT_EQ(Raw("DATA", "Blob_d0").left(6), "00070E");
  }

  QByteArray back("head");
  QBuffer in(&back);
  in.open(QIODevice::ReadWrite);
  in.seek(4);
  Man.ItemByName("BLOB")->ReadStream(&in);
  EXPECT_EQ(back, QByteArray("head") + bytes);

  if (GetParam() == rtIni) {
    // Bad pairs read as 0; a lone last digit is one hexadecimal digit.
    Man.ItemByName("BLOB")->WriteValue("DATA", "Blob_c", "1");
    Man.ItemByName("BLOB")->WriteValue("DATA", "Blob_d0", "41ZZ7");
    QByteArray odd;
    QBuffer oddBuf(&odd);
    oddBuf.open(QIODevice::WriteOnly);
    Man.ItemByName("BLOB")->ReadStream(&oddBuf);
    EXPECT_EQ(odd, QByteArray("A\0\x07", 3));
  }
}

TEST_P(RegMngTest, ComponentPropertiesRoundTrip) {
  QObject source;
  source.setObjectName("grid");
  Man.ItemByName("BLOB")->WriteComponent(&source);
  QObject target;
  target.setObjectName("other");
  EXPECT_TRUE(Man.ItemByName("BLOB")->ReadComponent(&target));
  EXPECT_EQ(target.objectName(), "grid");

  // A damaged image leaves the object as it was.
  QByteArray junk("not an image");
  QBuffer buf(&junk);
  buf.open(QIODevice::ReadOnly);
  Man.ItemByName("BLOB")->WriteStream(&buf);
  target.setObjectName("kept");
  EXPECT_FALSE(Man.ItemByName("BLOB")->ReadComponent(&target));
  EXPECT_EQ(target.objectName(), "kept");
}

INSTANTIATE_TEST_SUITE_P(BothStores, RegMngTest, ::testing::Values(rtReg, rtIni),
                         [](const auto& info) { return info.param == rtReg ? "Reg" : "Ini"; });

TEST(RegMngPathTest, RegistryKeyIsTheOrganisationFile) {
  QTemporaryDir dir;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
  TRegManager man;
  man.RegDir = QStringLiteral("Software\\TESSEL");
  man.RegItems.Add("USERNAME", "SESSION", "USERNAME");
  man.ItemByName("USERNAME")->WriteString("DEMO");
#ifndef Q_OS_WIN
  QFile f(dir.filePath("TESSEL.conf"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray text = f.readAll();
  EXPECT_TRUE(text.contains("[SESSION]")) << text.constData();
  EXPECT_TRUE(text.contains("USERNAME=DEMO")) << text.constData();
#endif
}

} // namespace
