// The log window of the CSV import and the dummy data tool: counters, a progress bar and the
// log lines of a run. Made once at start-up and shown without blocking; the user closes it
// with its OK button once the run has ended.
#pragma once
#include <QDialog>
#include <QStringList>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class TfLOG : public QDialog {
  Q_OBJECT
public:
  static constexpr int DesignWidth = 440;
  static constexpr int DesignHeight = 330;

  explicit TfLOG(QWidget* parent = nullptr);

  QLabel* lblKENSU;   // rows processed
  QLabel* lblSUCCESS; // rows that succeeded
  QLabel* lblERROR;   // rows that failed
  QProgressBar* pbrStatus;
  QPlainTextEdit* mmLOG;
  QPushButton* btnOK;

  // What the data tools do with the window.
  void Clear();
  void Add(const QString& line);
  QStringList Lines() const;
  // The memo is not repainted between these; the tools let it repaint at their pump points.
  void BeginUpdate();
  void EndUpdate();
  // The three counters and the progress bar, repainted at once when asked.
  void SetCounts(int processed, int success, int errors, bool repaintNow);
  // OK is unavailable while a tool runs.
  void SetRunning(bool running);

public slots:
  void btnOKClick();

protected:
  void showEvent(QShowEvent* event) override;

private:
  bool FFirstShow = true;
};
