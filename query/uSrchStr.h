// The column search dialog. Made at start-up; its contents come with the result tools.
#pragma once
#include <QDialog>

class TfSearchString : public QDialog {
  Q_OBJECT
public:
  explicit TfSearchString(QWidget* parent = nullptr);
};
