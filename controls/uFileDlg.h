// Every open and save dialog of the program goes through here, so that tests can give the
// answers instead of a user, as they do for messages.
#pragma once
#include <QString>
#include <QStringList>
#include <deque>

class QWidget;

// A file dialog kept by its owner between uses: its file name is what the last use left.
class TFileDialog {
public:
  enum TKind { dkOpen, dkSave };
  // filter: pairs of description and pattern, "CSV形式|*.csv"; empty for every file.
  TFileDialog(const QString& name, TKind kind, const QString& filter = QString(),
              const QString& fileName = QString());

  QString Name; // the dialog window's object name
  TKind Kind;
  QString Filter;
  QString FileName;

  // Shows the dialog; true, with FileName the chosen file's full name, unless cancelled.
  bool Execute(QWidget* parent);
};

namespace FileDlg {

// While one exists, dialogs are not shown: each is answered from Answers (front first; an empty
// answer or none left is Cancel), and what it was opened with is recorded.
class TFileDlgCapture {
public:
  TFileDlgCapture();
  ~TFileDlgCapture();
  TFileDlgCapture(const TFileDlgCapture&) = delete;
  TFileDlgCapture& operator=(const TFileDlgCapture&) = delete;

  std::deque<QString> Answers;
  QStringList Names;   // the dialog of each use
  QStringList Offered; // the file name each use opened with
  int Count() const { return Names.size(); }

private:
  TFileDlgCapture* FPrevious;
};

} // namespace FileDlg
