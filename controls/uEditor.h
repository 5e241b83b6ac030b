// The SQL text editor: a plain-text editor with reserved words coloured, line-end and
// end-of-file marks, margins, soft tabs and automatic indent.
#pragma once
#include <QPlainTextEdit>
#include <QStringList>

class QSyntaxHighlighter;

class TEditor : public QPlainTextEdit {
  Q_OBJECT
public:
  explicit TEditor(QWidget* parent = nullptr);

  // Words (or single symbols) shown in ReservedColor; compared without regard to case.
  void SetReservedWords(const QStringList& words);
  const QStringList& ReservedWords() const { return FReservedWords; }
  QColor ReservedColor = Qt::blue;
  QColor MarkColor = Qt::gray;
  int TabWidth = 4;
  bool SoftTab = true;
  bool AutoIndent = true;
  int LeftMargin = 19;
  int TopMargin = 2;

  // The whole text, lines joined by CR LF.
  QString Text() const;
  void SetText(const QString& text);
  void Clear() { clear(); }
  // Replaces the text by the lines of a file, decoded by detection; false when it cannot be read.
  bool LoadFromFile(const QString& fileName);
  void SelectAll() { selectAll(); }
  void CopyToClipboard() { copy(); }
  void PasteFromClipboard() { paste(); }
  void CutToClipboard() { cut(); }
  void ClearSelection() { textCursor().removeSelectedText(); }
  void Undo() { undo(); }

  // Whether a word (or symbol) is one of the reserved words.
  bool IsReservedWord(const QString& word) const;

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  QStringList FReservedWords;
  QSyntaxHighlighter* FHighlighter;
};
