#include "uTextFile.h"

#include <QFile>
#include <QStringDecoder>

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
