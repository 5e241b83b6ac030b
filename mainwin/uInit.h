// The splash window shown while the program starts.
#pragma once
#include <QWidget>

class QFrame;
class QLabel;
class QTimer;

class TfInit : public QWidget {
  Q_OBJECT
public:
  explicit TfInit(QWidget* parent = nullptr);

  QFrame* Panel1;
  QLabel* Image1;
  QLabel* Label1; // "Tessel3"
  QLabel* Label2; // "Version"
  QLabel* Version;
  QLabel* Label3; // the please-wait line
  QTimer* Timer1;

public slots:
  void Timer1Timer();
};
