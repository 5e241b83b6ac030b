// Every message box and Yes/No question of the program goes through here, so that tests can
// read the texts and give the answers instead of a user.
#pragma once
#include <QString>
#include <QStringList>
#include <deque>
#include <exception>
#include <vector>

namespace Msg {

enum class TMsgKind { Info, Error, Question };

// A message box with an OK button.
void Show(const QString& text);
// An error box with an OK button.
void Error(const QString& text);
// A confirmation box with Yes and No; true for Yes.
bool YesNo(const QString& text);

// The same boxes once the current event handler has returned. Handlers of editors and views
// use these: a modal loop run inside them may end the edit and destroy the widget whose code is
// still on the stack.
void ShowLater(const QString& text);
void ErrorLater(const QString& text);

// Runs an event handler's work; an exception it lets out becomes an error message shown after
// the handler, so none ever leaves a Qt event handler or slot.
template <class F> void Guarded(F&& work) noexcept {
  try {
    work();
  } catch (const std::exception& e) {
    ErrorLater(QString::fromUtf8(e.what()));
  } catch (...) {
    ErrorLater(QStringLiteral("予期しないエラーが発生しました。"));
  }
}

// While one exists, messages are recorded instead of shown and questions are answered from
// Answers (front first; DefaultAnswer once it is empty). Captures nest; the newest one wins.
class TMsgCapture {
public:
  TMsgCapture();
  ~TMsgCapture();
  TMsgCapture(const TMsgCapture&) = delete;
  TMsgCapture& operator=(const TMsgCapture&) = delete;

  QStringList Texts;           // every text, in order
  std::vector<TMsgKind> Kinds; // the kind of each text
  std::deque<bool> Answers;
  bool DefaultAnswer = false;

  int Count() const { return Texts.size(); }
  QString Last() const { return Texts.isEmpty() ? QString() : Texts.last(); }
  void Clear();

private:
  TMsgCapture* FPrevious;
};

} // namespace Msg
