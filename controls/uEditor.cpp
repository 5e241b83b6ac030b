#include "uEditor.h"

#include "uTextFile.h"

#include <QKeyEvent>
#include <QPainter>
#include <QSet>
#include <QSyntaxHighlighter>
#include <QTextBlock>

namespace {

bool IsWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'#'; }

class TReservedHighlighter : public QSyntaxHighlighter {
public:
  TReservedHighlighter(TEditor* editor) : QSyntaxHighlighter(editor->document()), FEditor(editor) {}

protected:
  void highlightBlock(const QString& text) override {
    QTextCharFormat reserved;
    reserved.setForeground(FEditor->ReservedColor);
    reserved.setBackground(Qt::white);
    for (int i = 0; i < text.size();) {
      int len = 1;
      if (IsWordChar(text[i]))
        while (i + len < text.size() && IsWordChar(text[i + len]))
          ++len;
      if (!text[i].isSpace() && FEditor->IsReservedWord(text.mid(i, len)))
        setFormat(i, len, reserved);
      i += len;
    }
  }

private:
  TEditor* FEditor;
};

} // namespace

TEditor::TEditor(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setTabChangesFocus(false);
  QPalette pal = palette();
  pal.setColor(QPalette::Highlight, QColor(0, 0, 128));
  pal.setColor(QPalette::HighlightedText, Qt::white);
  pal.setColor(QPalette::Inactive, QPalette::Highlight, QColor(0, 0, 128));
  pal.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::white);
  setPalette(pal);
  setViewportMargins(LeftMargin, TopMargin, 0, 0);
  FHighlighter = new TReservedHighlighter(this);
}

void TEditor::SetReservedWords(const QStringList& words) {
  FReservedWords = words;
  FHighlighter->rehighlight();
}

bool TEditor::IsReservedWord(const QString& word) const {
  for (const QString& w : FReservedWords)
    if (w.compare(word, Qt::CaseInsensitive) == 0)
      return true;
  return false;
}

QString TEditor::Text() const {
  QString text = toPlainText();
  text.replace(u'\n', QLatin1String("\r\n"));
  return text;
}

void TEditor::SetText(const QString& text) {
  QString plain = text;
  plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  plain.replace(u'\r', u'\n');
  setPlainText(plain);
}

bool TEditor::LoadFromFile(const QString& fileName) {
  QString text;
  if (!ReadTextFile(fileName, text))
    return false;
  SetText(text);
  return true;
}

void TEditor::keyPressEvent(QKeyEvent* event) {
  const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
  if (plain && event->key() == Qt::Key_Tab && SoftTab && !isReadOnly()) {
    QTextCursor c = textCursor();
    const int column = c.positionInBlock();
    c.insertText(QString(TabWidth - column % TabWidth, u' '));
    setTextCursor(c);
    return;
  }
  if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && AutoIndent &&
      !isReadOnly()) {
    QTextCursor c = textCursor();
    const QString line = c.block().text();
    int n = 0;
    while (n < line.size() && n < c.positionInBlock() && (line[n] == u' ' || line[n] == u'\t'))
      ++n;
    c.insertText(QStringLiteral("\n") + line.left(n));
    setTextCursor(c);
    ensureCursorVisible();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void TEditor::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  setViewportMargins(LeftMargin, TopMargin, 0, 0);
}

void TEditor::paintEvent(QPaintEvent* event) {
  QPlainTextEdit::paintEvent(event);
  // Line-end marks, the end-of-file mark and the caret line's underline, all in grey.
  QPainter p(viewport());
  p.setPen(MarkColor);
  QFont small = font();
  p.setFont(small);
  const QFontMetrics fm(small);
  const int bottom = viewport()->rect().bottom();
  for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
    QTextCursor end(block);
    end.movePosition(QTextCursor::EndOfBlock);
    const QRect r = cursorRect(end);
    if (r.top() > bottom)
      break;
    const int x = r.left() + 2;
    if (block.next().isValid()) {
      // A small downward hook: the line ends here.
      const int mid = x + fm.averageCharWidth() / 2;
      const int top = r.top() + r.height() / 4;
      const int low = r.bottom() - r.height() / 4;
      p.drawLine(mid, top, mid, low);
      p.drawLine(mid, low, mid - 3, low - 3);
      p.drawLine(mid, low, mid + 3, low - 3);
    } else {
      p.drawText(QRect(x, r.top(), fm.horizontalAdvance(QStringLiteral("[EOF]")) + 2, r.height()),
                 Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("[EOF]"));
    }
  }
  const QRect caret = cursorRect();
  p.drawLine(0, caret.bottom(), viewport()->width(), caret.bottom());
}
