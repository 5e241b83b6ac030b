#include "uMsg.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

namespace Msg {
namespace {

TMsgCapture* ActiveCapture = nullptr;

QWidget* DialogParent() { return QApplication::activeWindow(); }

// Shows a modal box over the active window and gives that window the keyboard back afterwards,
// also where no window manager hands the activation back (its shortcuts work only while active).
template <typename F> auto Modal(F show) {
  QPointer<QWidget> parent = DialogParent();
  auto result = show(parent.data());
  if (parent && !QApplication::activeWindow())
    parent->activateWindow();
  return result;
}

void Record(TMsgKind kind, const QString& text) {
  ActiveCapture->Texts << text;
  ActiveCapture->Kinds.push_back(kind);
}

bool Answer(const QString& text) {
  Record(TMsgKind::Question, text);
  if (ActiveCapture->Answers.empty())
    return ActiveCapture->DefaultAnswer;
  bool answer = ActiveCapture->Answers.front();
  ActiveCapture->Answers.pop_front();
  return answer;
}

} // namespace

void Show(const QString& text) {
  if (ActiveCapture) {
    Record(TMsgKind::Info, text);
    return;
  }
  Modal([&](QWidget* parent) {
    return QMessageBox::information(parent, QApplication::applicationName(), text);
  });
}

void Error(const QString& text) {
  if (ActiveCapture) {
    Record(TMsgKind::Error, text);
    return;
  }
  Modal([&](QWidget* parent) {
    return QMessageBox::critical(parent, QStringLiteral("エラー"), text);
  });
}

bool YesNo(const QString& text) {
  if (ActiveCapture)
    return Answer(text);
  return Modal([&](QWidget* parent) {
           return QMessageBox::question(parent, QStringLiteral("確認"), text,
                                        QMessageBox::Yes | QMessageBox::No);
         }) == QMessageBox::Yes;
}

void ShowLater(const QString& text) {
  QTimer::singleShot(0, qApp, [text] { Show(text); });
}

void ErrorLater(const QString& text) {
  QTimer::singleShot(0, qApp, [text] { Error(text); });
}

TMsgCapture::TMsgCapture() : FPrevious(ActiveCapture) { ActiveCapture = this; }

TMsgCapture::~TMsgCapture() {
  // Captures are scoped, so the newest is the one ending.
  ActiveCapture = FPrevious;
}

void TMsgCapture::Clear() {
  Texts.clear();
  Kinds.clear();
}

} // namespace Msg
