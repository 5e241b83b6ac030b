// The log window of the CSV import and the dummy data tool. Made at start-up; its contents come
// with the import.
#pragma once
#include <QDialog>

class TfLOG : public QDialog {
  Q_OBJECT
public:
  explicit TfLOG(QWidget* parent = nullptr);
};
