// The dummy data dialog. Made at start-up; its contents come with the dummy data tool.
#pragma once
#include <QDialog>

class TfCrtDummy : public QDialog {
  Q_OBJECT
public:
  explicit TfCrtDummy(QWidget* parent = nullptr);
};
