// Named settings items kept in the current user's per-user settings (the "registry") or in an
// INI file. Callers ask the manager for an item by name and read or write through the filer.
#pragma once
#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QIODevice;
class QObject;
class QSettings;
class TRegManager;

enum TRegType { rtReg = 0, rtIni = 1 };

class TRegItem {
public:
  TRegItem() = default;
  TRegItem(QString name, QString section, QString ident, QString defaultValue = QString());
  void Assign(const TRegItem& source);

  QString Name;
  QString Section;
  QString Ident;
  QString DefaultValue;
};

class TRegItems {
public:
  TRegItem* Add();
  TRegItem* Add(const QString& name, const QString& section, const QString& ident,
                const QString& defaultValue = QString());
  int Count() const { return static_cast<int>(FItems.size()); }
  TRegItem* Items(int index) const { return FItems.at(index).get(); }
  void Clear() { FItems.clear(); }
  // First item whose Name matches, ignoring case; none when there is no such item.
  TRegItem* FindItem(const QString& name) const;

private:
  std::vector<std::unique_ptr<TRegItem>> FItems;
};

// The one access object of a manager; Item is the item chosen by the last ItemByName.
class TRegFiler {
public:
  explicit TRegFiler(TRegManager* manager) : Manager(manager) {}
  virtual ~TRegFiler() = default;

  TRegItem* Item = nullptr;
  TRegManager* Manager;

  virtual QString ReadString();
  virtual void WriteString(const QString& value);
  // Decimal, or hexadecimal after a leading "$"; 0 when the text is not an integer.
  virtual int ReadInteger();
  virtual void WriteInteger(int value);
  virtual bool ReadBool();
  virtual void WriteBool(bool value);
  virtual QString ReadValue(const QString& section, const QString& ident,
                            const QString& defaultValue);
  virtual void WriteValue(const QString& section, const QString& ident, const QString& value);
  // Name, size in points and colour under ident + "_FontName", "_FontSize", "_FontColor".
  // False (after name and size were applied) when the stored colour text is not a colour.
  virtual bool ReadFont(QFont* font, QColor* color);
  virtual void WriteFont(const QFont* font, const QColor* color);
  virtual void ReadStrings(QStringList* list);
  virtual void WriteStrings(const QStringList* list);
  // Reading appends at the stream's current position; writing stores the whole stream.
  virtual void ReadStream(QIODevice* stream);
  virtual void WriteStream(QIODevice* stream);
  // The object's stored properties, through the stream store. False when a stored image
  // could not be read back; the object is then unchanged.
  virtual bool ReadComponent(QObject* component);
  virtual void WriteComponent(QObject* component);

protected:
  // Null (after the error is reported) when the manager's store is not configured.
  std::unique_ptr<QSettings> OpenStore();
  QString ItemText(); // the stored text of Item, default Item->DefaultValue
  QByteArray ReadBytes(const QString& section, const QString& ident);
  void WriteBytes(const QString& section, const QString& ident, const QByteArray& bytes);
};

class TRegManager {
public:
  TRegManager();
  virtual ~TRegManager();
  TRegManager(const TRegManager&) = delete;
  TRegManager& operator=(const TRegManager&) = delete;

  QString IniFileName;
  QString RegDir;
  TRegItems RegItems;
  TRegType RegType = rtReg;

  // Errors go to the caller, which decides how to show them; the last one is kept.
  std::function<void(const QString& text)> OnError;
  QString LastError() const { return FLastError; }
  void ReportError(const QString& text);

  // Made by CreateFiler on first use, so a derived manager's filer is the one used.
  TRegFiler* Filer();
  // Chooses the item for the next filer operation; an unknown name is reported first.
  TRegFiler* ItemByName(const QString& name);
  // The per-user store that RegDir names; null when RegDir is empty.
  std::unique_ptr<QSettings> OpenRegistry() const;

protected:
  virtual std::unique_ptr<TRegFiler> CreateFiler();

private:
  std::unique_ptr<TRegFiler> FFiler;
  QString FLastError;
};

// Integer text as the filer reads it; false when it is not one.
bool StrToIntCheck(const QString& text, int& value);
