// The SQL*Plus program dialog. Made at start-up; its contents come with the launcher.
#pragma once
#include <QDialog>

class TfPlusDir : public QDialog {
  Q_OBJECT
public:
  explicit TfPlusDir(QWidget* parent = nullptr);
};
