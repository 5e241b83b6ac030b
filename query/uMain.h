// The query window: an SQL editor, the result grid, a tool bar and a status line. It runs the
// editor's statement on the main window's session, fills the grid, feeds the main window's SQL
// history and, after a table was dropped on the grid, writes edited cells back by ROWID.
#pragma once
#include "OciCompo.h"
#include "uFileDlg.h"
#include "uMainHost.h"

#include <QPointer>
#include <QSet>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QStatusBar;
class QToolBar;
class QToolButton;
class TEditor;
class TStringGridEx;
class TInplaceEditEx;
class QKeyEvent;
class QPrinter;
class TfFixedOut;

class TfMain : public QWidget {
  Q_OBJECT
public:
  static constexpr int DesignWidth = 648;
  static constexpr int DesignHeight = 472;
  // The print dialog (PrintDialog1): true when the user confirmed printing on printer.
  static std::function<bool(QPrinter& printer, QWidget* parent)> PrintDialog1;

  explicit TfMain(TMainHost& host, QWidget* parent = nullptr);
  ~TfMain() override;

  TMainHost& Host() const { return FHost; }

  QToolBar* ToolBar1;
  QToolButton* SpeedButton1;
  QToolButton* sbtRun;
  QToolButton* sbtStop;
  QToolButton* sbFind;
  QToolButton* sbFIXEDOUT;
  QToolButton* spbClipCopy;
  QToolButton* spbWide;
  QToolButton* SpeedButton2;
  TStringGridEx* sgSqlResult;
  QSplitter* Splitter3;
  TEditor* mmSqlStatement;
  QStatusBar* sbStatus;

  // Carries the window's shortcuts; never pops up.
  QMenu* PopupMenu1;
  QAction* F51;
  QAction* F101;
  QAction* CtrlF1;
  QAction* CtrlQ1;
  QAction* CTRLA1;
  QAction* CTRLC1;
  QAction* CtrlV1;
  QAction* CtrlX1;
  QAction* CtrlZ1;

  TFileDialog odlgFile{QStringLiteral("odlgFile"), TFileDialog::dkOpen,
                       QStringLiteral("SQLファイル|*.SQL;*.sql|テキストファイル|*.TXT;*.txt")};

  TOraCursor OraCursorMain;
  TOraCursor OraCursorExec;

  bool FStop = false;
  bool FError = false;
  // ROWID of each data row (item 0 belongs to grid row 1); filled only in updatable mode.
  std::vector<std::string> FRowIds;
  bool FUpdatable = false;
  QString FTableName;
  bool FEnterPressed = false;
  bool FSearchOpen = false;

  QString StatusText() const;
  bool Running() const { return FRunning; }
  // Sets the mode and shows it in the caption once a run has shown one.
  void SetUpdatable(bool value);

  // Drop decisions and drops; the event filters call these with the drag's source.
  bool mmSqlStatementDragOver(QObject* source) const;
  void mmSqlStatementDragDrop(QObject* source);
  bool sgSqlResultDragOver(QObject* source) const;
  void sgSqlResultDragDrop(QObject* source);

public slots:
  void sbtRunClick();
  void F51Click() { sbtRunClick(); }
  void sbtStopClick();
  void F101Click() { sbtStopClick(); }
  void SpeedButton1Click();
  void CTRLA1Click();
  void CTRLC1Click();
  void CtrlV1Click();
  void CtrlX1Click();
  void CtrlZ1Click();
  void sgSqlResultSetEditText(int col, int row, const QString& value);
  void sgSqlResultKeyPress(QChar& key);
  void sgSqlResultEndEdit(int col, int row, const QString& original);
  void sbFindClick();
  void CtrlF1Click() { sbFindClick(); }
  void sbFIXEDOUTClick();
  void spbClipCopyClick();
  void spbWideClick();
  void CtrlQ1Click() { spbWideClick(); }
  void SpeedButton2Click();

protected:
  void FormShow();
  void FormClose();
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void CreateControls();
  void CreateShortcuts();
  QAction* AddShortcut(const char* name, const QKeySequence& key, void (TfMain::*slot)());
  QToolButton* AddButton(const char* name, const QString& hint, const QIcon& icon);
  void SetStatusText(const QString& text);
  void Run();
  // The buttons, cursor and focus of an idle window.
  void EndRun(const QString& status);
  void LayoutColumn(int col, const TCustomOraField* field);
  void FetchIntoGrid(int& rowCounter, int firstField);
  bool mmSqlStatementKeyPress(QChar key);
  void mmSqlStatementKeyDown(QKeyEvent* key);
  void mmSqlStatementClick();
  void ShowCursorError(const TOraCursor& cur);
  // The editor's text set by the window itself, which does not end updatable mode.
  void SetStatementText(const QString& text);
  // Runs work once the current event handler has returned, guarded like a handler.
  void Later(std::function<void()> work);
  void CloseWindow();

  TMainHost& FHost;
  class TStatusPanel* FStatusPanel;
  QWidget* FGridPanel;
  bool FRunning = false;
  bool FFirstShow = true;
  bool FCloseAfterRun = false;
  bool FModeShown = false;     // a run has put the mode into the caption
  bool FSettingText = false;   // the window itself is changing the editor's text
  bool FNoticePending = false; // the not-updatable notice is on its way
  bool FEditWritten = false;   // the edit that is ending was written to the database
  QStringList FUpdateErrors;   // errors of the update being sent
  QSet<int> FKeysDown;         // keys whose press the editor received
  int FFirstField = 0;         // 1 when the ROWID leads the select list
  QPointer<TfFixedOut> FWideEditor;
};
