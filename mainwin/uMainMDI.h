// The main frame window: menus, tool bar, status bar with clock, the schema and history panels,
// the tray icon, the stored geometry, the date format of the session and the connection
// commands. It owns the program's one session and the cursors of the browser and data tools.
#pragma once
#include "OciCompo.h"
#include "ProcessCtrl.h"
#include "RegMng.h"
#include "uFileDlg.h"
#include "uMainHost.h"
#include "uTextFile.h"

#include <QList>
#include <QMainWindow>

class QAction;
class QLabel;
class QListWidget;
class QMdiArea;
class QMenu;
class QPushButton;
class QSplitter;
class QSplitterHandle;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TfMain;
class TfPlusDir;
class TTrayIcon;
class TSmartGrid;
class TfLOG;
class TfCrtDummy;
struct TDataToolEnv;

class TfMainForm : public QMainWindow, public TMainHost {
  Q_OBJECT
public:
  static constexpr int DesignWidth = 810;
  static constexpr int DesignHeight = 615;

  explicit TfMainForm(QWidget* parent = nullptr);
  ~TfMainForm() override;

  // Menus
  QMenu* KF1;
  QAction* KO1;
  QMenu* N4;
  QAction* N5;
  QMenu* N10;
  QAction* N11;
  QAction* YYYYMMDD1;
  QAction* YYYYMMDDHH24MISS1;
  QAction* SQLPLUS1;
  QAction* N14;
  QAction* Exit1;
  QMenu* Q1;
  QAction* New1;
  QAction* SQLPLUS2;
  QMenu* Show1;
  QAction* K1;
  QAction* K2;
  QMenu* Window1;
  QAction* Cascade1;
  QAction* Tile1;
  QMenu* VersionH1;
  QAction* N2;

  // Tool bar
  QToolBar* ToolBar1;
  QToolButton* sbConnect;
  QToolButton* sbDisconnect;
  QToolButton* sbViewTable;
  QToolButton* sbNewQuery;
  QToolButton* sbViewHistory;
  QToolButton* sbProp;
  QToolButton* sbToTry;
  QToolButton* sbPLUS33W;
  QToolButton* sbViewVersion;

  // Panels
  QSplitter* Splitter;
  QWidget* pnlTool;
  QWidget* pnlTable;
  QTreeWidget* tvTable;
  QMdiArea* MDIArea;
  QWidget* pnlHistory;
  QListWidget* SQLHistory;
  QWidget* Panel3;
  QPushButton* Button1;
  // The splitters beside the left and the right panel (they follow their panel's visibility).
  QSplitterHandle* splTool() const;
  QSplitterHandle* Splitter1() const;

  // Status bar: panel 0 the commands' status texts, panel 1 the clock.
  QLabel* sbStatusPanel[2];
  QString StatusText() const;
  void SetStatusText(const QString& text) override;

  // Tree popup and tray menus
  QMenu* PopupMenu1;
  QAction* Q2;
  QAction* Property1;
  QAction* OutCSV;
  QMenu* InpCSV;
  QAction* N6;
  QAction* N7;
  QAction* N8;
  QAction* CrtDummy;
  QAction* N13;
  QMenu* PopupMenu2;
  QAction* N12;
  QAction* Exit2;

  // Components
  TOraSession OraMainSes;
  TOraCursor OraCursorTable;
  TOraCursor OraCursorField;
  TOraCursor OraCurExt;
  TRegManager RegMan;
  TProcessCtrl PrcCtrl;
  // The SQL*Plus program dialog made at start-up; one of the window's own when none was given.
  TfPlusDir* PlusDir = nullptr;
  QTimer* Timer1;
  TTrayIcon* TrayIcon;
  QList<QIcon> ImageList1;

  bool FFirstShow = false;
  bool FCursorError = false;
  bool FReconnected = false;
  QString FVersion;

  // What KO1 runs at the moment: sbConnectClick or sbDisconnectClick.
  void (TfMainForm::*KO1Click)() = nullptr;

  // Logs on with the stored user name and host string; true when the session is connected.
  bool StoredLogon();
  // Enables or disables the object commands of the tree together.
  void SetObjectCommands(bool enabled);
  // The node the object commands and query windows act on; null when nothing is selected.
  QTreeWidgetItem* SelectedNode() const;
  // The query windows (the frame's child windows), oldest first.
  QList<TfMain*> QueryWindows() const;
  // Connect on the session; a refused logon and a missing call library are reported here.
  bool ConnectSession() override;

  // What the child windows and tools use of the main window.
  TOraSession& Session() override { return OraMainSes; }
  void AddHistory(const QString& text) override;
  TSchemaNode SelectedObject() const override;
  TfMain* ActiveQueryWindow() const override;
  bool DateOnlyFormat() const override;

signals:
  // The window was closed; the program ends.
  void Closed();

public slots:
  void sbConnectClick();
  void sbDisconnectClick();
  void Timer1Timer();
  void Exit1Click();
  void YYYYMMDD1Click();
  void YYYYMMDDHH24MISS1Click();
  void Cascade1Click();
  void Tile1Click();
  void sbToTryClick();
  void TrayIconClick();
  void N12Click();
  void Exit2Click();
  void PopupMenu1Popup();
  void sbViewVersionClick();
  void sbViewTableClick();
  void tvTableExpanding(QTreeWidgetItem* node);
  void tvTableCollapsing(QTreeWidgetItem* node);
  void tvTableChange();
  void sbNewQueryClick();
  void sbPLUS33WClick();
  void SQLPLUS2Click() { sbPLUS33WClick(); }
  void N14Click();

  // SQL history and the query builder
  void Q2Click();
  void sbViewHistoryClick();
  void SQLHistoryDblClick();
  void Button1Click();

protected:
  void FormCreate();
  void FormShow();
  void FormClose();
  void FormHide();
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void CreateMenus();
  void CreateToolBar();
  void CreatePanels();
  void CreateStatusBar();
  void CreateComponents();
  QToolButton* AddToolButton(const char* name, const QString& hint, int picture);
  void SetKO1(bool connected);
  // The window after a logon: commands of a connected session, the stored logon written.
  void ShowConnected();
  void RestoreGeometry();
  void LoadLogonParams();
  void SaveLogonParams();
  void FillCategory(QTreeWidgetItem* root, const char* category, const char* query);
  void CreateHistoryCommands();

  bool FLogonTried = false; // the logon dialog was confirmed, so the library was asked
  bool FClosing = false;

  // --- CSV export and import ------------------------------------------------------------------
public:
  // The import's work area, never shown.
  TSmartGrid* sGridCSV;
  TFileDialog SaveDialog1{QStringLiteral("SaveDialog1"), TFileDialog::dkSave,
                          QStringLiteral("CSV形式|*.csv"), QStringLiteral("*.csv")};
  TFileDialog OpenDialog1{QStringLiteral("OpenDialog1"), TFileDialog::dkOpen};
  // File > 設定: the code page of the CSV files written (setting CSVCODE).
  QAction* N16;
  QAction* UTF81;
  QAction* ShiftJISCP9321;
  TFileCode CsvCode() const;
  // The log window made at start-up; without one the window makes its own.
  void SetLogWindow(TfLOG* log) { FLogWindow = log; }
  TfLOG* LogWindow();
  // What the data tools need of this window.
  TDataToolEnv ToolEnv();

public slots:
  void OutCSVClick();
  void N5Click();
  // N6, N7 and N8: the clicked item's name selects the mode.
  void N6Click();
  void UTF81Click();
  void ShiftJISCP9321Click();

private:
  void CreateCsvCommands();
  void SetCsvCode(TFileCode code);
  TfLOG* FLogWindow = nullptr;
  // ---------------------------------------------------------------------------------------------

  // --- Dummy data, table script, property viewers ---------------------------------------------
public:
  // The dummy data dialog made at start-up; without one the window makes its own.
  void SetCrtDummyForm(TfCrtDummy* dlg) { FCrtDummy = dlg; }
  TfCrtDummy* CrtDummyForm();

public slots:
  void CrtDummyClick();
  void N13Click();
  // sbProp and Property1: a new viewer for the selected table, view, trigger or stored source.
  void Property1Click();

private:
  void CreateObjectToolCommands();
  TfCrtDummy* FCrtDummy = nullptr;
  // ---------------------------------------------------------------------------------------------
};

// The one main window.
extern TfMainForm* fMainForm;
