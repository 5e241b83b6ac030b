// The table viewer: for a table or view, its storage figures, its columns (with the columns of
// unique indexes marked) and, for a view, its defining text. Filled while hidden, then shown;
// only displays, nothing is written to the database.
#pragma once
#include "uGridTypes.h"
#include "uMainHost.h"

#include <QStringList>
#include <QWidget>

class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class TEditor;
class TOraCursor;
class TSmartGrid;
struct TDrawOptions;

// The words the viewers' editors show in blue.
QStringList ViewerReservedWords();
// A text editor of the viewers: fixed pitch, margin, both scroll bars, no wrapping.
void SetUpViewerEditor(TEditor* editor);
// The whole value of a LONG column of the current row, read in pieces.
QString ReadLongText(TOraCursor& cur, int field);

class TfTableProp : public QWidget {
  Q_OBJECT
public:
  static constexpr int DesignWidth = 656;
  static constexpr int DesignHeight = 383;
  // Background of the data rows with an even index.
  static const QColor EvenRowColor;

  TfTableProp(TMainHost& host, QWidget* parent = nullptr);

  QTabWidget* PageControl1;
  QWidget* FieldInfo;
  QWidget* TableInfo;
  QWidget* ViewInfo;
  TSmartGrid* sgrTable;
  QGroupBox* GroupBox1; // テーブル基本情報
  QGroupBox* GroupBox2; // エクステント
  QGroupBox* GroupBox3; // 使用状況
  QLineEdit* edTableName;
  QLineEdit* edSchemaName;
  QLineEdit* edTableSpace;
  QLineEdit* edInitSize;
  QLineEdit* edNextSize;
  QLineEdit* edIncr;
  QLineEdit* edMinExt;
  QLineEdit* edMaxExt;
  QLineEdit* edPCT_FREE;
  QLineEdit* edPCT_USED;
  QProgressBar* pbrUSED;
  TEditor* memViewSource;
  QPushButton* btnClose;

  // What the property command fills, each on cur; the object's name goes into the queries with
  // its quotes doubled. Failures leave the fields empty, without a message.
  void LoadViewText(TOraCursor& cur, const QString& name);
  void LoadTableInfo(TOraCursor& cur, const QString& name, const QString& schema);
  void LoadColumns(TOraCursor& cur, const QString& name);

public slots:
  void btnCloseClick();
  void sgrTableDrawDefCell(int col, int row, const QRect& rect, TGridDrawState state,
                           bool& defaultDraw, TDrawOptions& options);

protected:
  void FormShow();
  void showEvent(QShowEvent* event) override;

private:
  void CreateControls();
  TMainHost& FHost;
};
