#include "uTextFile.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cstring>

QString DecodeFileText(const QByteArray& bytes) {
  if (bytes.startsWith("\xEF\xBB\xBF"))
    return QString::fromUtf8(bytes.mid(3));
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(bytes);
  if (!utf8.hasError())
    return text;
  QStringDecoder sjis("windows-31j");
  if (!sjis.isValid())
    return QString::fromLocal8Bit(bytes);
  return sjis.decode(bytes);
}

bool ReadTextFile(const QString& fileName, QString& text) {
  QFile f(fileName);
  if (!f.open(QIODevice::ReadOnly))
    return false;
  text = DecodeFileText(f.readAll());
  return true;
}

namespace {

// make() gives a fresh stateless encoder of the code page.
template <class Make>
bool EncodeWith(Make make, QStringView text, QByteArray& out, qsizetype* badPos) {
  QStringEncoder encoder = make();
  QByteArray bytes = encoder.encode(text);
  if (!encoder.hasError()) {
    out += bytes;
    return true;
  }
  // Rare: find the character, one code point at a time.
  if (badPos) {
    *badPos = 0;
    for (qsizetype i = 0; i < text.size();) {
      const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
      QStringEncoder one = make();
      const QByteArray ignored = one.encode(text.mid(i, n)); // converts only when taken
      if (one.hasError()) {
        *badPos = i;
        break;
      }
      i += n;
    }
  }
  return false;
}

} // namespace

bool EncodeFileText(QStringView text, TFileCode code, QByteArray& out, qsizetype* badPos) {
  if (code == TFileCode::Cp932) {
    return EncodeWith(
        [] { return QStringEncoder("windows-31j", QStringConverter::Flag::Stateless); }, text, out,
        badPos);
  }
#ifdef Q_OS_WIN
  return EncodeWith(
      [] { return QStringEncoder(QStringConverter::System, QStringConverter::Flag::Stateless); },
      text, out, badPos);
#else
  out += text.toUtf8();
  return true;
#endif
}

bool IsValidUtf8(const char* data, size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  const unsigned char* end = p + size;
  while (p < end) {
    // Eight plain ASCII bytes at a time.
    if (end - p >= 8) {
      unsigned long long word;
      std::memcpy(&word, p, 8);
      if ((word & 0x8080808080808080ull) == 0) {
        p += 8;
        continue;
      }
    }
    const unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int n;
    unsigned min;
    unsigned cp;
    if ((c & 0xE0) == 0xC0) {
      n = 1, min = 0x80, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2, min = 0x800, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3, min = 0x10000, cp = c & 0x07;
    } else {
      return false;
    }
    if (end - p <= n)
      return false;
    for (int k = 1; k <= n; ++k) {
      if ((p[k] & 0xC0) != 0x80)
        return false;
      cp = (cp << 6) | (p[k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    p += n + 1;
  }
  return true;
}

QString UnencodableMessage(QStringView text, qsizetype pos, const QString& place) {
  const char32_t cp = pos + 1 < text.size() && text[pos].isHighSurrogate()
                          ? QChar::surrogateToUcs4(text[pos], text[pos + 1])
                          : text[pos].unicode();
  const QString ch = QString::fromUcs4(&cp, 1);
  return QStringLiteral("「%1」(U+%2) は Shift-JIS (CP932) で表せない文字です（%3）。\n"
                        "ファイルは作成していません。元のファイルはそのままです。")
      .arg(ch, QStringLiteral("%1").arg(static_cast<uint>(cp), 4, 16, QChar(u'0')).toUpper(),
           place);
}
