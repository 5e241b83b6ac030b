// A small check box for grid cells: its text is "1" when checked and "0" when not, so a grid
// can store it in a cell like any other control's text.
#pragma once
#include <QColor>
#include <QWidget>

class QPainter;

// The check mark of a checked cell: a short polyline in the middle of the rectangle.
void DrawCheckMark(QPainter* painter, const QRect& rect, const QColor& color);

class TCheckBoxCell : public QWidget {
  Q_OBJECT
public:
  explicit TCheckBoxCell(QWidget* parent = nullptr);

  bool Checked() const { return FChecked; }
  void SetChecked(bool value);
  QColor CheckColor() const { return FCheckColor; }
  void SetCheckColor(const QColor& value);
  QString Text() const { return FChecked ? QStringLiteral("1") : QStringLiteral("0"); }
  // Checks the box exactly when the text is "1".
  void SetText(const QString& text) { SetChecked(text == u"1"); }
  // Toggles the box as a click does.
  void Click();

  QSize sizeHint() const override { return {16, 16}; }

signals:
  void OnClick();
  void Toggled(bool checked);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  bool FChecked = false;
  bool FPressed = false;
  QColor FCheckColor = Qt::black;
};
