// The column search dialog: steps down the current column of the active query window's grid to
// the next cell equal to the text looked for.
#pragma once
#include <QDialog>
#include <QPointer>

class QLabel;
class QLineEdit;
class QPushButton;
class TMainHost;

class TfSearchString : public QDialog {
  Q_OBJECT
public:
  explicit TfSearchString(TMainHost* host = nullptr, QWidget* parent = nullptr);

  QLabel* Label1;
  QLineEdit* edSrchStr;
  QPushButton* Button1;
  QPushButton* Button2;

  // The dialog all query windows share: the one made last.
  static QPointer<TfSearchString> Shared;

  // The next row below the current one whose cell in the current column, trimmed, equals the
  // trimmed text becomes the current row; false (the cell unchanged) when there is none.
  bool Search();

public slots:
  void Button1Click();
  void Button2Click();

protected:
  void FormShow();
  void FormClose();
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  TMainHost* FHost;
};
