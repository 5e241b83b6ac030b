#include "uCommaText.h"

#include <QStringDecoder>
#include <algorithm>
#include <cstring>

QString CommaItem(const QString& item) {
  bool quote = false;
  for (QChar c : item)
    if (c.unicode() <= 32 || c == u'"' || c == u',') {
      quote = true;
      break;
    }
  if (!quote)
    return item;
  QString out = item;
  out.replace(u'"', QStringLiteral("\"\""));
  return u'"' + out + u'"';
}

QString CommaText(const QStringList& items) {
  if (items.size() == 1 && items[0].isEmpty())
    return QStringLiteral("\"\"");
  QString line;
  for (qsizetype i = 0; i < items.size(); ++i) {
    if (i > 0)
      line += u',';
    line += CommaItem(items[i]);
  }
  return line;
}

// ---------------------------------------------------------------------------------------------

namespace {

constexpr size_t ChunkSize = 1 << 20;

bool IsBlank(unsigned char c) { return c >= 1 && c <= 32; }

// Length of the character starting at p in the file's code page (1 when it cannot tell).
size_t CharLength(const unsigned char* p, size_t left, bool utf8) {
  size_t n = 1;
  if (utf8) {
    if ((*p & 0xE0) == 0xC0)
      n = 2;
    else if ((*p & 0xF0) == 0xE0)
      n = 3;
    else if ((*p & 0xF8) == 0xF0)
      n = 4;
  } else if ((*p >= 0x81 && *p <= 0x9F) || (*p >= 0xE0 && *p <= 0xFC)) {
    n = 2;
  }
  return std::min(n, left);
}

} // namespace

TCsvReader::TCsvReader() = default;
TCsvReader::~TCsvReader() = default;

bool TCsvReader::Open(const QString& fileName) {
  FFile.setFileName(fileName);
  if (!FFile.open(QIODevice::ReadOnly)) {
    FError = QStringLiteral("ファイルを開けません: %1 (%2)").arg(fileName, FFile.errorString());
    return false;
  }
  // The code page first: UTF-8 only when every byte of the file is.
  std::string chunk, carry;
  bool bom = false, first = true;
  FUtf8 = true;
  for (;;) {
    chunk.resize(ChunkSize);
    const qint64 got = FFile.read(chunk.data(), static_cast<qint64>(chunk.size()));
    if (got < 0) {
      FError =
          QStringLiteral("ファイルを読み込めません: %1 (%2)").arg(fileName, FFile.errorString());
      return false;
    }
    chunk.resize(static_cast<size_t>(got));
    if (first) {
      bom = chunk.size() >= 3 && chunk.compare(0, 3, "\xEF\xBB\xBF") == 0;
      first = false;
    }
    std::string data = carry + chunk;
    carry.clear();
    size_t upTo = data.size();
    if (got > 0) {
      // A character cut by the chunk's end is checked with the next chunk.
      size_t back = 0;
      while (back < 3 && back < upTo &&
             (static_cast<unsigned char>(data[upTo - 1 - back]) & 0xC0) == 0x80)
        ++back;
      if (back < upTo && (static_cast<unsigned char>(data[upTo - 1 - back]) & 0x80))
        upTo -= back + 1;
      carry = data.substr(upTo);
    }
    if (!IsValidUtf8(data.data(), upTo)) {
      FUtf8 = false;
      break;
    }
    if (got == 0)
      break;
  }
  if (bom && !FUtf8) {
    FError = QStringLiteral("UTF-8 として読めないバイトがあります: %1").arg(fileName);
    return false;
  }
  if (!FUtf8)
    FDecoder = std::make_unique<QStringDecoder>("windows-31j", QStringConverter::Flag::Stateless);
  FFile.seek(bom ? 3 : 0);
  FBuf.clear();
  FPos = 0;
  FEof = false;
  FLine = 1;
  return true;
}

bool TCsvReader::Fill(size_t atLeast) {
  if (FEof)
    return true;
  FBuf.erase(0, FPos);
  FPos = 0;
  const size_t want = std::max(ChunkSize, atLeast);
  const size_t old = FBuf.size();
  FBuf.resize(old + want);
  const qint64 got = FFile.read(FBuf.data() + old, static_cast<qint64>(want));
  if (got < 0) {
    FBuf.resize(old);
    FError = QStringLiteral("ファイルを読み込めません: %1 (%2)")
                 .arg(FFile.fileName(), FFile.errorString());
    return false;
  }
  FBuf.resize(old + static_cast<size_t>(got));
  if (got == 0)
    FEof = true;
  return true;
}

int TCsvReader::LineEndAt(size_t i) const {
  if (i >= FBuf.size())
    return 0;
  if (FBuf[i] == '\n')
    return 1;
  if (FBuf[i] == '\r') {
    if (i + 1 < FBuf.size())
      return FBuf[i + 1] == '\n' ? 2 : 0;
    return FEof ? 0 : -1;
  }
  return 0;
}

void TCsvReader::CountLines(size_t from, size_t to) {
  FLine += static_cast<int>(std::count(FBuf.begin() + static_cast<ptrdiff_t>(from),
                                       FBuf.begin() + static_cast<ptrdiff_t>(to), '\n'));
}

bool TCsvReader::Convert(std::string& field) {
  if (FUtf8 || field.empty())
    return true;
  bool plain = true;
  for (unsigned char c : field)
    if (c >= 0x80) {
      plain = false;
      break;
    }
  if (plain)
    return true;
  const QString text = FDecoder->decode(QByteArrayView(field.data(), field.size()));
  if (FDecoder->hasError()) {
    FError = QStringLiteral("文字として読めないバイトがあります（%1行目）").arg(FRecordLine);
    return false;
  }
  const QByteArray utf8 = text.toUtf8();
  field.assign(utf8.constData(), static_cast<size_t>(utf8.size()));
  return true;
}

TCsvReader::TParse TCsvReader::ParseHeader(int& count, size_t& end) {
  const size_t size = FBuf.size();
  const auto at = [&](size_t i) { return static_cast<unsigned char>(FBuf[i]); };
  // Blanks that are not the line's end.
  const auto skipBlanks = [&](size_t& i) -> bool {
    while (i < size && IsBlank(at(i))) {
      const int le = LineEndAt(i);
      if (le < 0)
        return false;
      if (le > 0)
        break;
      ++i;
    }
    return i < size || FEof;
  };
  size_t i = FPos;
  count = 0;
  if (!skipBlanks(i))
    return TParse::NeedMore;
  for (;;) {
    const int le = LineEndAt(i);
    if (le < 0)
      return TParse::NeedMore;
    if (i >= size) {
      if (!FEof)
        return TParse::NeedMore;
      end = i;
      return TParse::Done;
    }
    if (le > 0) {
      end = i + static_cast<size_t>(le);
      return TParse::Done;
    }
    if (at(i) == '"') {
      size_t j = i + 1;
      for (;;) {
        const void* q = std::memchr(FBuf.data() + j, '"', size - j);
        if (!q) {
          if (!FEof)
            return TParse::NeedMore;
          FError = QStringLiteral("引用符が閉じられていません（%1行目）").arg(FRecordLine);
          return TParse::Error;
        }
        const size_t k = static_cast<size_t>(static_cast<const char*>(q) - FBuf.data());
        if (k + 1 >= size && !FEof)
          return TParse::NeedMore;
        if (k + 1 < size && at(k + 1) == '"') {
          j = k + 2;
          continue;
        }
        i = k + 1;
        break;
      }
    } else {
      const size_t start = i;
      while (i < size && at(i) > 32 && at(i) != ',')
        ++i;
      if (i >= size && !FEof)
        return TParse::NeedMore;
      if (i == start && i < size && at(i) != ',' && !IsBlank(at(i)))
        ++i; // a NUL byte: no item, but no standing still either
    }
    ++count;
    if (!skipBlanks(i))
      return TParse::NeedMore;
    if (i < size && at(i) == ',') {
      ++i;
      if (!skipBlanks(i))
        return TParse::NeedMore;
    }
  }
}

TCsvReader::TParse TCsvReader::ParseLine(std::vector<std::string>& fields, int& count,
                                         size_t& end) {
  const size_t size = FBuf.size();
  const auto at = [&](size_t i) { return static_cast<unsigned char>(FBuf[i]); };
  size_t i = FPos;
  count = 0;
  for (;;) {
    const int le = LineEndAt(i);
    if (le < 0)
      return TParse::NeedMore;
    if (i >= size) {
      if (!FEof)
        return TParse::NeedMore;
      end = i;
      return TParse::Done;
    }
    if (le > 0) {
      end = i + static_cast<size_t>(le);
      return TParse::Done;
    }
    if (static_cast<size_t>(count) >= fields.size())
      fields.emplace_back();
    std::string& field = fields[static_cast<size_t>(count)];
    field.clear();
    if (at(i) == '"') {
      size_t j = i + 1;
      for (;;) {
        const void* q = std::memchr(FBuf.data() + j, '"', size - j);
        if (!q) {
          if (!FEof)
            return TParse::NeedMore;
          FError = QStringLiteral("引用符が閉じられていません（%1行目）").arg(FRecordLine);
          return TParse::Error;
        }
        const size_t k = static_cast<size_t>(static_cast<const char*>(q) - FBuf.data());
        if (k + 1 >= size && !FEof)
          return TParse::NeedMore;
        field.append(FBuf, j, k - j);
        if (k + 1 < size && at(k + 1) == '"') {
          field += '"';
          j = k + 2;
          continue;
        }
        i = k + 1;
        break;
      }
      ++count;
      // The one character after the closing quote (normally the comma) is skipped.
      const int after = LineEndAt(i);
      if (after < 0 || (i >= size && !FEof))
        return TParse::NeedMore;
      if (i < size && after == 0)
        i += CharLength(reinterpret_cast<const unsigned char*>(FBuf.data()) + i, size - i, FUtf8);
    } else {
      size_t j = i;
      for (;;) {
        while (j < size && at(j) != ',' && at(j) != '\n' && at(j) != '\r')
          ++j;
        if (j >= size) {
          if (!FEof)
            return TParse::NeedMore;
          break;
        }
        const int lineEnd = LineEndAt(j);
        if (lineEnd < 0)
          return TParse::NeedMore;
        if (at(j) == '\r' && lineEnd == 0) {
          ++j; // a CR alone belongs to the value
          continue;
        }
        break;
      }
      field.assign(FBuf, i, j - i);
      ++count;
      i = j < size && at(j) == ',' ? j + 1 : j;
    }
  }
}

bool TCsvReader::ReadHeader(int& count) {
  count = 0;
  FRecordLine = FLine;
  for (;;) {
    if (FPos >= FBuf.size() && !FEof && !Fill(0))
      return false;
    if (FPos >= FBuf.size() && FEof)
      return false;
    size_t end = 0;
    const TParse r = ParseHeader(count, end);
    if (r == TParse::Done) {
      CountLines(FPos, end);
      FPos = end;
      return true;
    }
    if (r == TParse::Error || !Fill(FBuf.size() - FPos))
      return false;
  }
}

bool TCsvReader::ReadLine(std::vector<std::string>& fields, int& count) {
  count = 0;
  FRecordLine = FLine;
  for (;;) {
    if (FPos >= FBuf.size() && !FEof && !Fill(0))
      return false;
    if (FPos >= FBuf.size() && FEof)
      return false;
    size_t end = 0;
    const TParse r = ParseLine(fields, count, end);
    if (r == TParse::Done) {
      CountLines(FPos, end);
      FPos = end;
      for (int k = 0; k < count; ++k)
        if (!Convert(fields[static_cast<size_t>(k)]))
          return false;
      return true;
    }
    if (r == TParse::Error || !Fill(FBuf.size() - FPos))
      return false;
  }
}
