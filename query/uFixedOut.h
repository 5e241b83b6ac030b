// The window of the query's fixed-width text output and of the wide SQL editor: one editor
// filling a window of its own.
#pragma once
#include <QDialog>
#include <QString>
#include <string>

class QAction;
class QMenu;
class TEditor;
class TMainHost;
class TOraSession;

class TfFixedOut : public QDialog {
  Q_OBJECT
public:
  static constexpr int DesignWidth = 637;
  static constexpr int DesignHeight = 503;

  // editorMode 1: the wide SQL editor; 0: an output.
  TfFixedOut(TMainHost& host, int editorMode, QWidget* parent = nullptr);
  ~TfFixedOut() override;

  TEditor* mmFixed;
  QMenu* PopupMenu1; // carries the shortcuts; never pops up
  QAction* CTRLC1;
  QAction* CtrlV1;
  QAction* CtrlX1;
  QAction* CtrlZ1;

  int FEditorMode;
  // The output's temporary file; it goes when the window closes.
  QString FFileName;

public slots:
  void CTRLC1Click();
  void CtrlV1Click();
  void CtrlX1Click();
  void CtrlZ1Click();

  void done(int result) override;

protected:
  void FormClose();

private:
  TMainHost& FHost;
};

// How the output of a statement went.
enum class TFixedOutResult { Written, NotQuery, FileError };

// Runs sql on the session and writes its rows as fixed-width text lines, then the count line, to
// fileName in the platform's code page. A fetch failure ends the rows where it happened.
TFixedOutResult WriteFixedOutput(TOraSession& session, const std::string& sql,
                                 const QString& fileName);
