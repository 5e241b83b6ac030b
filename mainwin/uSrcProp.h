// The source viewer: a trigger's type, event, table owner and body, or the stored source of a
// package body, procedure or function with its line numbers. Only displays.
#pragma once
#include "uMainHost.h"

#include <QWidget>

class QPushButton;
class QTabWidget;
class TEditor;
class TOraCursor;

class TfSourceProp : public QWidget {
  Q_OBJECT
public:
  static constexpr int DesignWidth = 654;
  static constexpr int DesignHeight = 380;
  static constexpr int DesignLeft = 282;
  static constexpr int DesignTop = 207;

  TfSourceProp(TMainHost& host, QWidget* parent = nullptr);

  QTabWidget* PageControl1;
  QWidget* ViewInfo;
  TEditor* memDesct;
  TEditor* memViewSource;
  QPushButton* btnClose;

  // The source type shown for a tree category: "PACKAGE BODY", "FUNCTION", "PROCEDURE"; empty
  // for any other category.
  static QString SourceType(const QString& category);

  // What the property command fills, on cur; the name goes into the queries with its quotes
  // doubled. Failures leave the editors empty, without a message.
  void LoadTrigger(TOraCursor& cur, const QString& name);
  void LoadSource(TOraCursor& cur, const QString& name, const QString& type);

public slots:
  void btnCloseClick();

private:
  void CreateControls();
  TMainHost& FHost;
};
