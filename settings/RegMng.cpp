#include "RegMng.h"

#include <QBuffer>
#include <QDataStream>
#include <QMetaProperty>
#include <QSettings>
#include <QWidget>

TRegItem::TRegItem(QString name, QString section, QString ident, QString defaultValue)
    : Name(std::move(name)), Section(std::move(section)), Ident(std::move(ident)),
      DefaultValue(std::move(defaultValue)) {}

void TRegItem::Assign(const TRegItem& source) {
  Name = source.Name;
  Section = source.Section;
  Ident = source.Ident;
  DefaultValue = source.DefaultValue;
}

TRegItem* TRegItems::Add() {
  FItems.push_back(std::make_unique<TRegItem>());
  return FItems.back().get();
}

TRegItem* TRegItems::Add(const QString& name, const QString& section, const QString& ident,
                         const QString& defaultValue) {
  TRegItem* item = Add();
  *item = TRegItem(name, section, ident, defaultValue);
  return item;
}

TRegItem* TRegItems::FindItem(const QString& name) const {
  for (const auto& item : FItems)
    if (item->Name.compare(name, Qt::CaseInsensitive) == 0)
      return item.get();
  return nullptr;
}

bool StrToIntCheck(const QString& text, int& value) {
  QString t = text.trimmed();
  bool negative = false;
  if (t.startsWith(u'-') || t.startsWith(u'+')) {
    negative = t.startsWith(u'-');
    t.remove(0, 1);
  }
  bool ok = false;
  qint64 v = 0;
  if (t.startsWith(u'$')) {
    t.remove(0, 1);
    // Up to 8 hex digits, taken as a 32-bit pattern ("$FFFFFFFF" is -1).
    if (t.isEmpty() || t.size() > 8)
      return false;
    quint32 u = t.toUInt(&ok, 16);
    if (!ok)
      return false;
    v = static_cast<qint32>(u);
  } else {
    for (QChar c : t)
      if (!c.isDigit() || c.unicode() > '9')
        return false;
    v = t.toLongLong(&ok, 10);
    if (!ok)
      return false;
  }
  if (negative)
    v = -v;
  if (v < INT32_MIN || v > INT32_MAX)
    return false;
  value = static_cast<int>(v);
  return true;
}

namespace {

QString VariantText(const QVariant& v) {
  // An INI value with unquoted commas comes back as a list.
  if (v.metaType().id() == QMetaType::QStringList)
    return v.toStringList().join(u',');
  return v.toString();
}

QString HexLine(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); }

int HexDigit(QChar c) {
  if (c >= u'0' && c <= u'9')
    return c.unicode() - '0';
  if (c >= u'A' && c <= u'F')
    return c.unicode() - 'A' + 10;
  if (c >= u'a' && c <= u'f')
    return c.unicode() - 'a' + 10;
  return -1;
}

QByteArray LineBytes(const QString& line) {
  QByteArray out;
  for (int i = 0; i < line.size(); i += 2) {
    if (i + 1 < line.size()) {
      int hi = HexDigit(line[i]), lo = HexDigit(line[i + 1]);
      out.append(hi < 0 || lo < 0 ? char(0) : char(hi * 16 + lo));
    } else {
      int d = HexDigit(line[i]);
      out.append(char(d < 0 ? 0 : d));
    }
  }
  return out;
}

constexpr int HexLineLength = 64;
const char ComponentMagic[] = "TQO1";

// Colour text: Qt names and "#rrggbb", or a "$" value in blue-green-red order.
bool TextToColor(const QString& text, QColor& color) {
  if (text.startsWith(u'$')) {
    int v = 0;
    if (!StrToIntCheck(text, v))
      return false;
    color = QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
    return true;
  }
  if (!QColor::isValidColorName(text))
    return false;
  color = QColor::fromString(text);
  return true;
}

} // namespace

std::unique_ptr<QSettings> TRegFiler::OpenStore() {
  if (Manager->RegType == rtReg) {
    auto store = Manager->OpenRegistry();
    if (!store)
      Manager->ReportError(QStringLiteral("can not create Registry object."));
    return store;
  }
  if (Manager->IniFileName.isEmpty()) {
    Manager->ReportError(QStringLiteral("can not create Inifile object."));
    return nullptr;
  }
  return std::make_unique<QSettings>(Manager->IniFileName, QSettings::IniFormat);
}

QString TRegFiler::ReadValue(const QString& section, const QString& ident,
                             const QString& defaultValue) {
  QString result = defaultValue;
  if (section.isEmpty() || ident.isEmpty())
    return result;
  if (auto store = OpenStore()) {
    store->beginGroup(section);
    QVariant v = store->value(ident);
    if (v.isValid())
      result = VariantText(v);
  }
  return result;
}

void TRegFiler::WriteValue(const QString& section, const QString& ident, const QString& value) {
  if (section.isEmpty() || ident.isEmpty())
    return;
  if (auto store = OpenStore()) {
    store->beginGroup(section);
    store->setValue(ident, value);
  }
}

QByteArray TRegFiler::ReadBytes(const QString& section, const QString& ident) {
  if (section.isEmpty() || ident.isEmpty())
    return {};
  if (auto store = OpenStore()) {
    store->beginGroup(section);
    return store->value(ident).toByteArray();
  }
  return {};
}

void TRegFiler::WriteBytes(const QString& section, const QString& ident, const QByteArray& bytes) {
  if (section.isEmpty() || ident.isEmpty())
    return;
  if (auto store = OpenStore()) {
    store->beginGroup(section);
    store->setValue(ident, bytes);
  }
}

QString TRegFiler::ItemText() { return ReadValue(Item->Section, Item->Ident, Item->DefaultValue); }

QString TRegFiler::ReadString() { return Item ? ItemText() : QString(); }

void TRegFiler::WriteString(const QString& value) {
  if (Item)
    WriteValue(Item->Section, Item->Ident, value);
}

int TRegFiler::ReadInteger() {
  int value = 0;
  if (!Item || !StrToIntCheck(ItemText(), value))
    return 0;
  return value;
}

void TRegFiler::WriteInteger(int value) { WriteString(QString::number(value)); }

bool TRegFiler::ReadBool() {
  if (!Item)
    return false;
  const QString def = Item->DefaultValue.toUpper();
  const bool defTrue = def == u"1" || def == u"TRUE" || def == u"YES";
  int value = 0;
  if (!StrToIntCheck(ReadValue(Item->Section, Item->Ident, defTrue ? "1" : "0"), value))
    value = 0;
  return (value & 0xFF) != 0;
}

void TRegFiler::WriteBool(bool value) {
  WriteString(value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TRegFiler::ReadFont(QFont* font, QColor* color) {
  if (!Item || !font)
    return true;
  const QString& s = Item->Section;
  const QString& id = Item->Ident;
  font->setFamily(ReadValue(s, id + "_FontName", font->family()));
  int size = 0;
  if (StrToIntCheck(ReadValue(s, id + "_FontSize", QString::number(font->pointSize())), size) &&
      size > 0)
    font->setPointSize(size);
  if (!color)
    return true;
  QColor c;
  if (!TextToColor(ReadValue(s, id + "_FontColor", color->name()), c))
    return false;
  *color = c;
  return true;
}

void TRegFiler::WriteFont(const QFont* font, const QColor* color) {
  if (!Item || !font)
    return;
  const QString& s = Item->Section;
  const QString& id = Item->Ident;
  int points = font->pointSize();
  if (points <= 0) // a pixel-sized font: its size at the usual 96 dots per inch
    points = qRound(font->pixelSize() * 72.0 / 96.0);
  WriteValue(s, id + "_FontName", font->family());
  WriteValue(s, id + "_FontSize", QString::number(points));
  WriteValue(s, id + "_FontColor", (color ? *color : QColor(Qt::black)).name());
}

void TRegFiler::ReadStrings(QStringList* list) {
  if (!Item || !list)
    return;
  const QString& s = Item->Section;
  const QString& id = Item->Ident;
  QStringList lines;
  int count = 0;
  if (!StrToIntCheck(ReadValue(s, id + "_ItemCount", "0"), count))
    count = 0;
  for (int i = 0; i < count; ++i)
    lines << ReadValue(s, id + "_Item" + QString::number(i), QString());
  *list = lines;
}

void TRegFiler::WriteStrings(const QStringList* list) {
  if (!Item || !list)
    return;
  const QString& s = Item->Section;
  const QString& id = Item->Ident;
  WriteValue(s, id + "_ItemCount", QString::number(list->size()));
  for (int i = 0; i < list->size(); ++i)
    WriteValue(s, id + "_Item" + QString::number(i), list->at(i));
}

void TRegFiler::ReadStream(QIODevice* stream) {
  if (!Item || !stream)
    return;
  const QString& s = Item->Section;
  const QString& id = Item->Ident;
  QByteArray bytes;
  if (Manager->RegType == rtReg) {
    bytes = ReadBytes(s, id);
  } else {
    int count = 0;
    if (!StrToIntCheck(ReadValue(s, id + "_c", "0"), count))
      count = 0;
    for (int i = 0; i < count; ++i)
      bytes += LineBytes(ReadValue(s, id + "_d" + QString::number(i), QString()));
  }
  if (!bytes.isEmpty())
    stream->write(bytes);
}

void TRegFiler::WriteStream(QIODevice* stream) {
  if (!Item || !stream)
    return;
  const QString& s = Item->Section;
  const QString& id = Item->Ident;
  const qint64 pos = stream->pos();
  stream->seek(0);
  QByteArray bytes = stream->readAll();
  stream->seek(pos);
  if (Manager->RegType == rtReg) {
    WriteBytes(s, id, bytes);
    return;
  }
  if (bytes.isEmpty())
    return;
  const QString hex = HexLine(bytes);
  const int lines = (hex.size() + HexLineLength - 1) / HexLineLength;
  WriteValue(s, id + "_c", QString::number(lines));
  for (int i = 0; i < lines; ++i)
    WriteValue(s, id + "_d" + QString::number(i), hex.mid(i * HexLineLength, HexLineLength));
}

void TRegFiler::WriteComponent(QObject* component) {
  auto* widget = qobject_cast<QWidget*>(component);
  if (!Item || !component || (widget && widget->isWindow()))
    return;
  QByteArray image;
  {
    QDataStream out(&image, QIODevice::WriteOnly);
    out.writeRawData(ComponentMagic, 4);
    const QMetaObject* meta = component->metaObject();
    QList<QPair<QString, QVariant>> props;
    for (int i = 0; i < meta->propertyCount(); ++i) {
      QMetaProperty p = meta->property(i);
      if (p.isStored() && p.isWritable() && p.isReadable())
        props.append({QString::fromLatin1(p.name()), p.read(component)});
    }
    out << qint32(props.size());
    for (const auto& [name, value] : props)
      out << name << value;
  }
  QBuffer buffer(&image);
  buffer.open(QIODevice::ReadOnly);
  WriteStream(&buffer);
}

bool TRegFiler::ReadComponent(QObject* component) {
  if (!Item || !component)
    return true;
  QByteArray image;
  {
    QBuffer buffer(&image);
    buffer.open(QIODevice::WriteOnly);
    ReadStream(&buffer);
  }
  if (image.isEmpty())
    return true;
  // Everything is read and checked before the first property changes.
  QDataStream in(image);
  char magic[4] = {};
  if (in.readRawData(magic, 4) != 4 || memcmp(magic, ComponentMagic, 4) != 0)
    return false;
  qint32 count = 0;
  in >> count;
  if (in.status() != QDataStream::Ok || count < 0)
    return false;
  QList<QPair<QMetaProperty, QVariant>> props;
  const QMetaObject* meta = component->metaObject();
  for (qint32 i = 0; i < count; ++i) {
    QString name;
    QVariant value;
    in >> name >> value;
    if (in.status() != QDataStream::Ok)
      return false;
    int index = meta->indexOfProperty(name.toLatin1().constData());
    if (index < 0)
      return false;
    QMetaProperty p = meta->property(index);
    if (!p.isWritable() || !value.canConvert(p.metaType()))
      return false;
    props.append({p, value});
  }
  for (auto& [p, value] : props)
    p.write(component, value);
  return true;
}

TRegManager::TRegManager() = default;
TRegManager::~TRegManager() = default;

TRegFiler* TRegManager::Filer() {
  if (!FFiler)
    FFiler = CreateFiler();
  return FFiler.get();
}

std::unique_ptr<TRegFiler> TRegManager::CreateFiler() { return std::make_unique<TRegFiler>(this); }

void TRegManager::ReportError(const QString& text) {
  FLastError = text;
  if (OnError)
    OnError(text);
}

TRegFiler* TRegManager::ItemByName(const QString& name) {
  TRegItem* item = RegItems.FindItem(name);
  if (!item)
    ReportError(QStringLiteral("[' ") + name + QStringLiteral(" '] is invalid."));
  TRegFiler* filer = Filer();
  filer->Item = item;
  return filer;
}

std::unique_ptr<QSettings> TRegManager::OpenRegistry() const {
  if (RegDir.isEmpty())
    return nullptr;
#ifdef Q_OS_WIN
  return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\") + RegDir,
                                     QSettings::NativeFormat);
#else
  // "Software\TESSEL" is the organisation TESSEL (~/.config/TESSEL.conf); deeper keys become
  // the application part of the name.
  QStringList parts = RegDir.split(u'\\', Qt::SkipEmptyParts);
  if (!parts.isEmpty() && parts.first().compare(u"Software", Qt::CaseInsensitive) == 0)
    parts.removeFirst();
  if (parts.isEmpty())
    return nullptr;
  const QString organisation = parts.takeFirst();
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, organisation,
                                     parts.join(u'/'));
#endif
}
