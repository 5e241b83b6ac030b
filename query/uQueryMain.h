// The query builder: lists the fields of one table; the user drags fields into a small grid,
// types an equality condition for each and picks a sort order; closing the builder composes a
// SELECT and hands it to the active query window. Its field list is also a drag source for the
// query window's editor.
#pragma once
#include "uMainHost.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QListWidget;
class QMimeData;
class TCtrlGrid;
class TOraCursor;

// The field name of a field line: its first 30 columns, trimmed.
QString FieldLineName(const QString& line);

class TfQueryMain : public QWidget {
  Q_OBJECT
public:
  static constexpr int DesignWidth = 545;
  static constexpr int DesignHeight = 413;
  // Drag data of the field list: the list's object name, then the dragged lines in list order.
  static const char* const FieldLinesFormat;

  explicit TfQueryMain(TMainHost& host, QWidget* parent = nullptr);

  QLabel* pnlTable; // title strip; its text is the table the statement reads
  QLabel* Panel3;   // column header of the field list
  QListWidget* lbField;
  TCtrlGrid* cgrFields;
  QComboBox* cboSearch;

  // "%-30s %-10s %3d" of the name, the kind's name and the display size, padded by display
  // width so the columns line up in the fixed-pitch list; longer values are not cut.
  static QString FieldLine(const QString& name, int fieldKind, int displaySize);
  static QString FieldKindName(int fieldKind);
  // One field line per column of the object's select list, parsed and described on cur; a
  // statement that does not parse leaves the list empty, without a message.
  void LoadFields(TOraCursor& cur, const QString& objectName);
  // The statement the grid composes now.
  QString Composition();

  bool cgrFieldsDragOver(QObject* source, const QMimeData* data) const;
  void cgrFieldsDragDrop(QObject* source, const QMimeData* data);

protected:
  void FormCreate();
  void FormClose();
  void closeEvent(QCloseEvent* event) override;

private:
  void CreateControls();

  TMainHost& FHost;
};
