#include "uMain.h"

#include "SqlQuote.h"
#include "StringGridEx.h"
#include "uEditor.h"
#include "uFixedOut.h"
#include "uFonts.h"
#include "uGridPrint.h"
#include "uMsg.h"
#include "uQueryMain.h"
#include "uSrchStr.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QSplitter>
#include <QStaticText>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryFile>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <span>

namespace {

const char* const Caption = "Tessel-Query";
const char* const ErrorPrefix = "エラーが発生しました。 ORA_ERR:";
const char* const LongText = "LONG型のデータが存在します。";
constexpr int NoDataFound = 1403;

const QStringList& ReservedWords() {
  static const QStringList words = {
      "!",      ";",       "{",     "}",       "<",     "=",      ">",        "AND",     "AS",
      "BEGIN",  "BINARY",  "BODY",  "BY",      "CHAR",  "CREATE", "DATE",     "DELETE",  "DROP",
      "END",    "FOR",     "FROM",  "GOTO",    "GROUP", "HAVING", "IN",       "INTEGER", "IS",
      "LONG",   "LOOP",    "NOT",   "NUMBER",  "OR",    "ORDER",  "PACKAGE",  "SELECT",  "SET",
      "SUBSTR", "SUBSTRB", "TABLE", "TRIGGER", "UNTIL", "UPDATE", "VARCHAR2", "VIEW",    "WHERE"};
  return words;
}

// The statement a table drop writes into the editor.
QString DropText(const QString& table) {
  return QStringLiteral(" Select * from ") + OraName(table);
}

std::vector<std::string> StatementLines(const QString& text) {
  std::vector<std::string> lines;
  for (const QString& line : text.split(u'\n'))
    lines.push_back((line.endsWith(u'\r') ? line.chopped(1) : line).toStdString());
  return lines;
}

bool IsBlankOrControl(QChar c) { return c.isSpace() || c.unicode() < 0x20; }

QString TrimmedText(const QString& text) {
  qsizetype b = 0, e = text.size();
  while (b < e && IsBlankOrControl(text[b]))
    ++b;
  while (e > b && IsBlankOrControl(text[e - 1]))
    --e;
  return text.mid(b, e - b);
}

} // namespace

// The status line's one text panel. A new text only repaints the panel: unlike a label, it
// never asks the window's layout to make room, which the fetch would pay every 500 rows.
class TStatusPanel : public QWidget {
public:
  explicit TStatusPanel(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent);
    FPaintLater.setSingleShot(true);
    connect(&FPaintLater, &QTimer::timeout, this, qOverload<>(&QWidget::update));
  }
  const QString& Text() const { return FText; }
  // A text set while the last one was painted only moments ago is painted once that moment has
  // passed: the fetch sets a new one every 500 rows, far more often than anyone can read.
  void SetText(const QString& text) {
    if (text == FText)
      return;
    FText = text;
    if (FPaintLater.isActive())
      return;
    const qint64 since = FPainted.isValid() ? FPainted.elapsed() : PaintInterval;
    if (since >= PaintInterval)
      update();
    else
      FPaintLater.start(static_cast<int>(PaintInterval - since));
  }
  QSize sizeHint() const override { return {0, fontMetrics().height() + 4}; }

protected:
  // The progress text differs from one to the next only in its leading number: the rest keeps
  // its laid-out glyphs, so painting it costs next to nothing.
  void paintEvent(QPaintEvent*) override {
    FPainted.start();
    QPainter p(this);
    p.fillRect(rect(), palette().color(backgroundRole()));
    p.setPen(palette().color(foregroundRole()));
    qsizetype digits = 0;
    while (digits < FText.size() && FText[digits].isDigit())
      ++digits;
    const QString tail = FText.mid(digits);
    if (tail != FTail.text() || font() != FTailFont) {
      FTail.setTextFormat(Qt::PlainText);
      FTail.setText(tail);
      FTailFont = font();
      FTail.prepare(QTransform(), FTailFont);
    }
    const QFontMetrics fm = fontMetrics();
    const int top = (height() - fm.height()) / 2;
    int x = 2;
    if (digits > 0) {
      const QString head = FText.left(digits);
      p.drawText(QPoint(x, top + fm.ascent()), head);
      x += fm.horizontalAdvance(head);
    }
    p.drawStaticText(x, top, FTail);
  }

private:
  static constexpr qint64 PaintInterval = 50; // ms
  QString FText;
  QStaticText FTail;
  QFont FTailFont;
  QElapsedTimer FPainted;
  QTimer FPaintLater;
};

std::function<bool(QPrinter&, QWidget*)> TfMain::PrintDialog1 = [](QPrinter& printer,
                                                                   QWidget* parent) {
  QPrintDialog dlg(&printer, parent);
  dlg.setObjectName(QStringLiteral("PrintDialog1"));
  return dlg.exec() == QDialog::Accepted;
};

TfMain::TfMain(TMainHost& host, QWidget* parent) : QWidget(parent), FHost(host) {
  setObjectName(QStringLiteral("fMain"));
  setWindowTitle(QString::fromLatin1(Caption));
  setFont(UiFont(12));
  resize(DesignWidth, DesignHeight);
  CreateControls();
  CreateShortcuts();

  for (TOraCursor* cur : {&OraCursorMain, &OraCursorExec}) {
    cur->SetSession(&FHost.Session());
    cur->SetNumberOfRows(1000);
  }
  OraCursorMain.OnError = [this](TOraCursor&, const std::string&) { FError = true; };
  // Shown once the edit that sent the update has ended.
  OraCursorExec.OnError = [this](TOraCursor&, const std::string& msg) {
    FUpdateErrors << QStringLiteral(" Update Error : ") + QString::fromStdString(msg);
  };
}

TfMain::~TfMain() = default;

QToolButton* TfMain::AddButton(const char* name, const QString& hint, const QIcon& icon) {
  auto* button = new QToolButton(ToolBar1);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoRaise(true);
  button->setFixedSize(28, 26);
  button->setIconSize(QSize(18, 18));
  button->setIcon(icon);
  button->setToolTip(hint);
  ToolBar1->addWidget(button);
  return button;
}

void TfMain::CreateControls() {
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(0);

  ToolBar1 = new QToolBar(this);
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setFixedHeight(30);
  QStyle* st = style();
  SpeedButton1 =
      AddButton("SpeedButton1", QString(), st->standardIcon(QStyle::SP_DialogOpenButton));
  ToolBar1->addSeparator();
  sbtRun = AddButton("sbtRun", QStringLiteral("実行 F5"), st->standardIcon(QStyle::SP_MediaPlay));
  sbtStop =
      AddButton("sbtStop", QStringLiteral("中断 F10"), st->standardIcon(QStyle::SP_MediaStop));
  ToolBar1->addSeparator();
  sbFind = AddButton("sbFind", QStringLiteral("現在カラム内の検索"),
                     st->standardIcon(QStyle::SP_FileDialogContentsView));
  sbFIXEDOUT = AddButton("sbFIXEDOUT", QStringLiteral("TAB区切りへ出力"),
                         st->standardIcon(QStyle::SP_FileDialogDetailedView));
  spbClipCopy = AddButton("spbClipCopy", QStringLiteral("検索結果をクリップボードへ"),
                          st->standardIcon(QStyle::SP_DialogSaveButton));
  spbWide = AddButton("spbWide", QStringLiteral("ＳＱＬを全画面に表示する"),
                      st->standardIcon(QStyle::SP_TitleBarMaxButton));
  ToolBar1->addSeparator();
  SpeedButton2 = AddButton("SpeedButton2", QString(), st->standardIcon(QStyle::SP_FileIcon));
  sbtStop->setEnabled(false);
  lay->addWidget(ToolBar1);

  Splitter3 = new QSplitter(Qt::Vertical, this);
  Splitter3->setObjectName(QStringLiteral("Splitter3"));
  Splitter3->setHandleWidth(2);
  Splitter3->setChildrenCollapsible(false);
  // The grid hides while it is filled; its panel keeps the editor where it is.
  FGridPanel = new QWidget(Splitter3);
  auto* glay = new QVBoxLayout(FGridPanel);
  glay->setContentsMargins(0, 0, 0, 0);
  sgSqlResult = new TStringGridEx(FGridPanel);
  sgSqlResult->setObjectName(QStringLiteral("sgSqlResult"));
  sgSqlResult->SetDefaultRowHeight(20);
  sgSqlResult->SetGridStyle(gsStriped);
  sgSqlResult->SetStripeColor(QColor(253, 255, 210));
  sgSqlResult->SetColCount(2);
  sgSqlResult->SetRowCount(2);
  sgSqlResult->setAcceptDrops(true);
  glay->addWidget(sgSqlResult);
  mmSqlStatement = new TEditor(Splitter3);
  mmSqlStatement->setObjectName(QStringLiteral("mmSqlStatement"));
  mmSqlStatement->setFont(FixedFont(14));
  mmSqlStatement->SetReservedWords(ReservedWords());
  mmSqlStatement->setAcceptDrops(true);
  Splitter3->setStretchFactor(0, 1);
  Splitter3->setStretchFactor(1, 0);
  Splitter3->setSizes({DesignHeight - 93 - 60, 93});
  lay->addWidget(Splitter3, 1);

  sbStatus = new QStatusBar(this);
  sbStatus->setObjectName(QStringLiteral("sbStatus"));
  sbStatus->setSizeGripEnabled(false);
  // Painting its own background keeps a status text change from repainting the whole child
  // window under it, which the fetch does every 500 rows.
  sbStatus->setAutoFillBackground(true);
  FStatusPanel = new TStatusPanel(sbStatus);
  sbStatus->addWidget(FStatusPanel, 1);
  lay->addWidget(sbStatus);

  connect(sbtRun, &QToolButton::clicked, this, &TfMain::sbtRunClick);
  connect(sbtStop, &QToolButton::clicked, this, &TfMain::sbtStopClick);
  connect(SpeedButton1, &QToolButton::clicked, this, &TfMain::SpeedButton1Click);
  connect(sbFind, &QToolButton::clicked, this, &TfMain::sbFindClick);
  connect(sbFIXEDOUT, &QToolButton::clicked, this, &TfMain::sbFIXEDOUTClick);
  connect(spbClipCopy, &QToolButton::clicked, this, &TfMain::spbClipCopyClick);
  connect(spbWide, &QToolButton::clicked, this, &TfMain::spbWideClick);
  connect(SpeedButton2, &QToolButton::clicked, this, &TfMain::SpeedButton2Click);
  connect(sgSqlResult, &TStringGridEx::OnSetEditText, this, &TfMain::sgSqlResultSetEditText);
  connect(sgSqlResult, &TStringGridEx::OnKeyPress, this, &TfMain::sgSqlResultKeyPress);
  connect(sgSqlResult, &TStringGridEx::OnEndEdit, this, &TfMain::sgSqlResultEndEdit);
  connect(sgSqlResult, &TStringGridEx::OnDragOver, this,
          [this](QObject* source, int, int, bool& accept) {
            Msg::Guarded([&] { accept = sgSqlResultDragOver(source); });
          });
  connect(sgSqlResult, &TStringGridEx::OnDragDrop, this, [this](QObject* source, int, int) {
    Msg::Guarded([&] { sgSqlResultDragDrop(source); });
  });
  // Any change of the text that the window did not make itself ends updatable mode, so the
  // caption never claims a mode the next run would not have.
  connect(mmSqlStatement->document(), &QTextDocument::contentsChange, this,
          [this](int, int removed, int added) {
            if ((removed || added) && !FSettingText)
              SetUpdatable(false);
          });
  mmSqlStatement->installEventFilter(this);
  mmSqlStatement->viewport()->installEventFilter(this);
}

QAction* TfMain::AddShortcut(const char* name, const QKeySequence& key, void (TfMain::*slot)()) {
  auto* action = PopupMenu1->addAction(QString::fromLatin1(name));
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(key);
  action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  addAction(action);
  if (slot)
    connect(action, &QAction::triggered, this, slot);
  return action;
}

void TfMain::CreateShortcuts() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  F51 = AddShortcut("F51", QKeySequence(Qt::Key_F5), &TfMain::F51Click);
  F101 = AddShortcut("F101", QKeySequence(Qt::Key_F10), &TfMain::F101Click);
  CtrlF1 = AddShortcut("CtrlF1", QKeySequence(Qt::CTRL | Qt::Key_F), &TfMain::CtrlF1Click);
  CtrlQ1 = AddShortcut("CtrlQ1", QKeySequence(Qt::CTRL | Qt::Key_Q), &TfMain::CtrlQ1Click);
  CTRLA1 = AddShortcut("CTRLA1", QKeySequence(Qt::CTRL | Qt::Key_A), &TfMain::CTRLA1Click);
  CTRLC1 = AddShortcut("CTRLC1", QKeySequence(Qt::CTRL | Qt::Key_C), &TfMain::CTRLC1Click);
  CtrlV1 = AddShortcut("CtrlV1", QKeySequence(Qt::CTRL | Qt::Key_V), &TfMain::CtrlV1Click);
  CtrlX1 = AddShortcut("CtrlX1", QKeySequence(Qt::CTRL | Qt::Key_X), &TfMain::CtrlX1Click);
  CtrlZ1 = AddShortcut("CtrlZ1", QKeySequence(Qt::CTRL | Qt::Key_Z), &TfMain::CtrlZ1Click);
}

QString TfMain::StatusText() const { return FStatusPanel->Text(); }

void TfMain::SetStatusText(const QString& text) {
  FStatusPanel->SetText(text);
  FStatusPanel->repaint();
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

void TfMain::Later(std::function<void()> work) {
  QTimer::singleShot(0, this, [work = std::move(work)] { Msg::Guarded(work); });
}

void TfMain::CloseWindow() {
  if (QWidget* sub = parentWidget())
    sub->close();
  else
    close();
}

void TfMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (FFirstShow && !event->spontaneous()) {
    FFirstShow = false;
    Msg::Guarded([this] { FormShow(); });
  }
}

void TfMain::FormShow() {
  mmSqlStatement->Clear();
  mmSqlStatement->setFocus();
  FRowIds.clear();
  FUpdatable = false;
  FEnterPressed = false;
  sgSqlResult->Repaint();
  if (!FHost.Session().Connected() && !FHost.ConnectSession())
    Later([this] { CloseWindow(); });
}

void TfMain::closeEvent(QCloseEvent* event) {
  if (FRunning) {
    // The fetch loop still uses this window: stop it and close once it has ended.
    FStop = true;
    FCloseAfterRun = true;
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

void TfMain::FormClose() { FRowIds.clear(); }

void TfMain::SetUpdatable(bool value) {
  FUpdatable = value;
  if (FModeShown)
    setWindowTitle(QString::fromLatin1(Caption) +
                   (value ? QStringLiteral(" ＜更新可能＞") : QStringLiteral(" ＜更新不可＞")));
}

void TfMain::SetStatementText(const QString& text) {
  FSettingText = true;
  mmSqlStatement->SetText(text);
  FSettingText = false;
}

// ---------------------------------------------------------------------------------------------
// Editor commands and events

void TfMain::SpeedButton1Click() {
  Msg::Guarded([this] {
    if (odlgFile.Execute(this) && !mmSqlStatement->LoadFromFile(odlgFile.FileName))
      Msg::Error(odlgFile.FileName + QStringLiteral(" を開けません。"));
  });
}

void TfMain::CTRLA1Click() { mmSqlStatement->SelectAll(); }
void TfMain::CTRLC1Click() { mmSqlStatement->CopyToClipboard(); }
void TfMain::CtrlV1Click() { mmSqlStatement->PasteFromClipboard(); }
void TfMain::CtrlX1Click() {
  mmSqlStatement->CopyToClipboard();
  mmSqlStatement->ClearSelection();
}
void TfMain::CtrlZ1Click() { mmSqlStatement->Undo(); }

void TfMain::mmSqlStatementKeyDown(QKeyEvent* key) {
  // A release counts only when the editor had the press: the release of F5 pressed in the grid
  // reaches the editor once the run has given it the focus, and is no key typed there.
  if (key->type() == QEvent::KeyPress) {
    FKeysDown.insert(key->key());
    SetUpdatable(false);
  } else if (FKeysDown.remove(key->key())) {
    SetUpdatable(false);
  }
}

bool TfMain::mmSqlStatementKeyPress(QChar key) {
  SetUpdatable(false);
  if ((key == u'\r' || key == u'\n') && mmSqlStatement->Text().contains(u';')) {
    // Run after the key's handler: the run may show messages.
    Later([this] { sbtRunClick(); });
    return false;
  }
  return true;
}

void TfMain::mmSqlStatementClick() {
  sgSqlResult->setFocus();
  mmSqlStatement->setFocus();
}

bool TfMain::eventFilter(QObject* watched, QEvent* event) {
  bool eaten = false;
  Msg::Guarded([&] {
    if (watched == mmSqlStatement) {
      if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        mmSqlStatementKeyDown(key);
        QString text = key->text();
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
          text = QStringLiteral("\r");
        eaten = !text.isEmpty() && !mmSqlStatementKeyPress(text[0]);
      } else if (event->type() == QEvent::KeyRelease) {
        mmSqlStatementKeyDown(static_cast<QKeyEvent*>(event));
      } else if (event->type() == QEvent::InputMethod) {
        auto* im = static_cast<QInputMethodEvent*>(event);
        if (!im->commitString().isEmpty() || !im->preeditString().isEmpty())
          SetUpdatable(false);
      }
    } else if (watched == mmSqlStatement->viewport()) {
      switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (mmSqlStatementDragOver(drag->source()))
          drag->acceptProposedAction();
        else
          drag->ignore();
        eaten = true;
        break;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (mmSqlStatementDragOver(drop->source())) {
          drop->acceptProposedAction();
          mmSqlStatementDragDrop(drop->source());
        }
        eaten = true;
        break;
      }
      case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
          Later([this] { mmSqlStatementClick(); });
        break;
      default:
        break;
      }
    }
  });
  return eaten || QWidget::eventFilter(watched, event);
}

bool TfMain::mmSqlStatementDragOver(QObject* source) const {
  return qobject_cast<QListWidget*>(source) != nullptr;
}

void TfMain::mmSqlStatementDragDrop(QObject* source) {
  auto* list = qobject_cast<QListWidget*>(source);
  if (!list)
    return;
  QStringList names;
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->isSelected())
      names << OraName(FieldLineName(list->item(i)->text()));
  const TSchemaNode node = FHost.SelectedObject();
  mmSqlStatement->SetText(QStringLiteral("Select ") + names.join(u',') + QStringLiteral(" From ") +
                          (node.Valid ? OraName(node.Text) : QString()));
}

// ---------------------------------------------------------------------------------------------
// The run

void TfMain::ShowCursorError(const TOraCursor& cur) {
  Msg::Error(QString::fromUtf8(ErrorPrefix) + QString::fromStdString(cur.ErrorText()));
}

void TfMain::EndRun(const QString& status) {
  QApplication::restoreOverrideCursor();
  mmSqlStatement->setFocus();
  SetStatusText(status);
  sbtRun->setEnabled(true);
  sbtStop->setEnabled(false);
  FRunning = false;
  if (FCloseAfterRun)
    Later([this] { CloseWindow(); });
}

void TfMain::LayoutColumn(int col, const TCustomOraField* field) {
  TGridColumn* column = sgSqlResult->GridColumns()->Items(col);
  const auto* f = static_cast<const TOraField*>(field);
  // Kana and kanji are typed through the input method into text cells, never into numbers.
  switch (field->FieldKind()) {
  case fkString:
  case fkChar:
    column->SetDataType(dtString);
    column->SetAlignment(taLeftJustify);
    column->SetImeMode(imDontCare);
    sgSqlResult->SetColWidths(col, f->DisplaySize() * 12);
    break;
  case fkNumber:
    // Decimal text as typed: the database checks the value, nothing typed is dropped.
    column->SetDataType(dtNumber);
    column->SetAlignment(taRightJustify);
    column->SetImeMode(imDisable);
    sgSqlResult->SetColWidths(col, 96);
    break;
  case fkDate:
    column->SetDataType(dtString);
    column->SetAlignment(taLeftJustify);
    column->SetImeMode(imDontCare);
    sgSqlResult->SetColWidths(col, FHost.DateOnlyFormat() ? 96 : 240);
    break;
  default:
    column->SetDataType(dtString);
    column->SetImeMode(imDisable);
    break;
  }
}

void TfMain::sbtRunClick() {
  if (FRunning)
    return;
  Msg::Guarded([this] { Run(); });
  if (FRunning) // only an exception the run did not catch itself leaves it running
    EndRun(QString());
}

void TfMain::Run() {
  FRunning = true;
  TOraSession& ses = FHost.Session();
  int rowCounter = 1;
  FError = false;
  FStop = false;
  // Only Enter writes an edit: one still open when a run starts is dropped.
  sgSqlResult->CancelEdit();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  SetStatusText(QStringLiteral("検索中"));
  sgSqlResult->hide();
  sgSqlResult->SetRowCount(2);
  sgSqlResult->SetColCount(2);
  sgSqlResult->SetFixedRows(1);
  sgSqlResult->SetFixedCols(1);
  // The reset grid keeps nothing of the last result, titles included.
  sgSqlResult->AssignRow(0, QStringList());
  sgSqlResult->AssignRow(1, QStringList());
  sgSqlResult->SetRowNumbers(false);
  FRowIds.clear();
  if (!ses.Connected()) {
    SetStatusText(QStringLiteral("Oracleに接続中"));
    if (!FHost.ConnectSession()) {
      EndRun(QString());
      return;
    }
  }
  sbtRun->setEnabled(false);
  sbtStop->setEnabled(true);
  OraCursorMain.Open();
  OraCursorMain.SQL().clear();

  // Statement text: what stands before the first ";".
  QString text = mmSqlStatement->Text();
  if (const qsizetype semi = text.indexOf(u';'); semi >= 0)
    text.truncate(semi);
  // Updatable mode holds only for the text the table drop wrote.
  if (FUpdatable && TrimmedText(text) != TrimmedText(DropText(FTableName)))
    FUpdatable = false;

  int& firstField = FFirstField; // the ROWID in front of the row's values is not shown
  firstField = 0;
  QString notUpdatable; // why a dropped table cannot be written to
  if (FUpdatable) {
    // Each row's ROWID comes with its values, so an edit always reaches the row shown.
    const std::string name = OraName(FTableName.toStdString());
    OraCursorMain.SQL() = {" Select ROWID, " + name + ".* from " + name};
    if (OraCursorMain.ParseQuiet()) {
      firstField = 1;
    } else {
      // The error's first line: the cursor adds the call's name after a line break.
      notUpdatable = QString::fromStdString(OraCursorMain.ErrorText());
      if (const qsizetype end = notUpdatable.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
          end >= 0)
        notUpdatable.truncate(end);
      OraCursorMain.SQL().clear();
      FUpdatable = false;
    }
  }
  const bool updatable = FUpdatable;
  FModeShown = true;
  SetUpdatable(updatable);
  const TGridOptions common = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine |
                              goRangeSelect | goColSizing | goColMoving;
  sgSqlResult->SetOptions(updatable ? common | goEditing : common);

  if (TrimmedText(text).isEmpty()) {
    EndRun(QString());
    return;
  }

  try {
    if (!updatable) {
      OraCursorMain.SQL() = StatementLines(text);
      OraCursorMain.Parse();
    }
    if (FError) {
      Msg::Error(QString::fromUtf8(ErrorPrefix) +
                 QString::fromStdString(OraCursorMain.ErrorText()));
      EndRun(QString());
      return;
    }

    // History: the editor's whole text, once.
    FHost.AddHistory(mmSqlStatement->Text());

    OraCursorMain.DescribeFields();
    const int fieldCount = OraCursorMain.FieldCount();
    // A statement without a select list leaves only the number column.
    sgSqlResult->SetColCount(fieldCount - firstField + 1);
    sgSqlResult->SetColWidths(0, 48);
    for (int i = firstField; i < fieldCount; ++i) {
      const TCustomOraField* field = OraCursorMain.Fields(i);
      const int col = i - firstField + 1;
      sgSqlResult->SetCells(col, 0, QString::fromStdString(field->Name()));
      LayoutColumn(col, field);
      if (field->FieldKind() == fkLong) {
        Msg::Error(QString::fromUtf8(LongText) +
                   QStringLiteral("\n現在のところLONG型の取得はできません"));
        sgSqlResult->SetRowCount(1);
        sgSqlResult->show();
        FStop = true;
        sgSqlResult->Repaint();
        OraCursorMain.Close();
        ses.Commit();
        EndRun(QString::fromUtf8(LongText));
        return;
      }
    }

    const bool executed = OraCursorMain.Exec();
    SetStatusText(QString());
    if (!executed)
      ShowCursorError(OraCursorMain);
    else if (fieldCount == 0) // not a query: nothing to fetch
      rowCounter = 1 + static_cast<int>(OraCursorMain.RowsProcessed());
    else
      FetchIntoGrid(rowCounter, firstField);

    if (rowCounter == 1 || fieldCount == 0) {
      sgSqlResult->SetRowNumbers(false); // the empty row under the titles has no number
      sgSqlResult->SetRowCount(2);
      sgSqlResult->AssignRow(1, QStringList());
    } else {
      sgSqlResult->SetRowCount(rowCounter);
    }
    sgSqlResult->SetFixedRows(1);
    sgSqlResult->show();
  } catch (const std::exception&) {
    sgSqlResult->SetRowCount(std::max(2, rowCounter));
    sgSqlResult->show();
    FStop = true;
  }

  sgSqlResult->Repaint();
  OraCursorMain.Close();
  ses.Commit();
  QString status = QString::number(rowCounter - 1) + QStringLiteral("件検索しました");
  if (!notUpdatable.isEmpty())
    status += QStringLiteral("　更新できません: ") + notUpdatable;
  EndRun(status);
}

void TfMain::FetchIntoGrid(int& rowCounter, int firstField) {
  const int fieldCount = OraCursorMain.FieldCount();
  std::vector<TFieldKind> kinds;
  for (int i = 0; i < fieldCount; ++i)
    kinds.push_back(OraCursorMain.Fields(i)->FieldKind());
  std::vector<std::string> work(static_cast<size_t>(fieldCount - firstField + 1));
  const bool updatable = firstField > 0;
  const TCustomOraField* rowid = updatable ? OraCursorMain.Fields(0) : nullptr;
  uint32_t previous = 0;
  bool failed = false;

  struct TUpdateGuard {
    TStringGridEx* Grid;
    explicit TUpdateGuard(TStringGridEx* grid) : Grid(grid) { Grid->BeginUpdate(); }
    ~TUpdateGuard() { Grid->EndUpdate(); }
  } guard(sgSqlResult);
  sgSqlResult->SetRowNumbers(true);
  for (;;) {
    const bool more = OraCursorMain.FetchRows();
    if (!more && OraCursorMain.ReturnCode() != NoDataFound)
      failed = true;
    const uint32_t now = OraCursorMain.RowsProcessed();
    const int n = static_cast<int>(now - previous);
    previous = now;
    if (n <= 0)
      break;
    for (int k = 0; k < n; ++k) {
      size_t used = 1; // column 0: the grid numbers the rows itself
      for (int i = firstField; i < fieldCount; ++i) {
        const TFieldKind kind = kinds[static_cast<size_t>(i)];
        if (kind == fkRaw || kind == fkLongRaw)
          work[used++].clear();
        else
          work[used++] = OraCursorMain.Fields(i)->GetAsString(k);
        if (FStop)
          break;
      }
      if (rowid)
        FRowIds.push_back(rowid->GetAsString(k));
      sgSqlResult->AssignRow(rowCounter, std::span<const std::string>(work.data(), used));
      ++rowCounter;
      // Painted by the message pumping that follows at once (500 is a multiple of 100).
      if (rowCounter % 500 == 0)
        FStatusPanel->SetText(QString::number(rowCounter) + QStringLiteral("件　検索終了しました") +
                              QStringLiteral(" 中断は F10 を押してください"));
      if (rowCounter % 100 == 0)
        QCoreApplication::processEvents();
      if (FStop)
        break;
    }
    if (FStop || !more)
      break;
  }
  if (failed)
    ShowCursorError(OraCursorMain);
}

void TfMain::sbtStopClick() {
  FStop = true;
  sbtRun->setEnabled(true);
  sbtStop->setEnabled(false);
}

// ---------------------------------------------------------------------------------------------
// In-place update

bool TfMain::sgSqlResultDragOver(QObject*) const {
  if (FRunning || !sbtRun->isEnabled())
    return false;
  const TSchemaNode node = FHost.SelectedObject();
  return node.Valid &&
         (node.Parent == QLatin1String("TABLES") || node.Parent == QLatin1String("VIEWS"));
}

void TfMain::sgSqlResultDragDrop(QObject* source) {
  if (!sgSqlResultDragOver(source))
    return;
  const QString name = FHost.SelectedObject().Text;
  if (name == QString::fromStdString(FHost.Session().LogonUser()))
    return;
  SetStatementText(DropText(name));
  FUpdatable = true;
  FTableName = name;
  // The run starts once the drop has ended: it may show messages.
  Later([this] {
    sbtRunClick();
    sgSqlResult->setFocus();
    mmSqlStatement->setFocus();
  });
}

void TfMain::sgSqlResultKeyPress(QChar& key) {
  if (key != u'\r')
    return;
  // Only an Enter that ends the cell's edit confirms it; the grid reports the text right away.
  TInplaceEditEx* ed = sgSqlResult->InplaceEditor();
  if (!ed || !sgSqlResult->EditorMode())
    return;
  const int len = static_cast<int>(ed->Text().size());
  if ((ed->SelStart() == len && ed->SelLength() == 0) || (ed->SelLength() == len && len > 0)) {
    FEnterPressed = true;
    Later([this] { FEnterPressed = false; });
  }
}

void TfMain::sgSqlResultSetEditText(int col, int row, const QString& value) {
  Msg::Guarded([&] {
    if (!FUpdatable) {
      // Reported while the cell's editor runs: end the edit first, then tell why.
      if (!FNoticePending) {
        FNoticePending = true;
        Later([this] {
          sgSqlResult->CancelEdit(); // its report of the old text is no new edit
          FNoticePending = false;
          Msg::Show(
              QStringLiteral("更新を行う場合はテーブルをDrag&Dropしてから\n 変更してください "));
        });
      }
      return;
    }
    if (!FEnterPressed)
      return;
    FEnterPressed = false;
    const std::string title = sgSqlResult->Cells(col, 0).toStdString();
    const TCustomOraField* field = nullptr;
    for (int i = FFirstField; i < OraCursorMain.FieldCount() && !field; ++i)
      if (OraCursorMain.Fields(i)->Name() == title)
        field = OraCursorMain.Fields(i);
    if (!field || row < 1 || static_cast<size_t>(row - 1) >= FRowIds.size())
      return;

    QString s = QStringLiteral(" UPDATE ") + OraName(FTableName) + QStringLiteral(" SET ");
    const QString name = OraName(QString::fromStdString(field->Name()));
    switch (field->FieldKind()) {
    case fkString:
    case fkDate:
    case fkChar:
      s += name + QStringLiteral(" = ") + OraText(value) + u',';
      break;
    case fkNumber:
    case fkLong: {
      // An empty cell is NULL; anything but a plain number goes as a literal the database checks.
      static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+(\\.[0-9]+)?$"));
      const QString v = value.isEmpty()                  ? QStringLiteral("NULL")
                        : number.match(value).hasMatch() ? value
                                                         : OraText(value);
      s += name + QStringLiteral(" = ") + v + u',';
      break;
    }
    default:
      break;
    }
    s[s.size() - 1] = u' ';
    s += QStringLiteral(" WHERE ROWID = ") +
         OraText(QString::fromStdString(FRowIds[static_cast<size_t>(row - 1)]));

    TOraCursor& cur = OraCursorExec;
    FUpdateErrors.clear();
    cur.Open();
    cur.SQL().clear();
    cur.SQL() = {s.toStdString()};
    FEditWritten = cur.Parse() && cur.DescribeFields() && cur.Exec();
    cur.Close();
    for (const QString& error : FUpdateErrors)
      Msg::ErrorLater(error);
    FUpdateErrors.clear();
  });
}

void TfMain::sgSqlResultEndEdit(int col, int row, const QString& original) {
  Msg::Guarded([&] {
    // Only an edit written by Enter stays; any other end puts the stored value back, so the grid
    // never shows what the database does not hold.
    if (!FEditWritten)
      sgSqlResult->SetCells(col, row, original);
    FEditWritten = false;
  });
}

// ---------------------------------------------------------------------------------------------
// Result tools

bool TfMain::event(QEvent* event) {
  // Ctrl+Q is the main window's new query command too; inside a query window its own command
  // wins. Two actions on one key would be ambiguous and fire neither, so the key is claimed
  // here before shortcuts are looked at, and comes back as a key press.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Q &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
      event->accept();
      return true;
    }
  }
  return QWidget::event(event);
}

void TfMain::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Q &&
      (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
    if (CtrlQ1->isEnabled())
      CtrlQ1->trigger();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TfMain::sbFindClick() {
  Msg::Guarded([this] {
    TfSearchString* dlg = FSearchOpen ? TfSearchString::Shared.data() : nullptr;
    if (!dlg) {
      dlg = new TfSearchString(&FHost, this);
      FSearchOpen = true;
    }
    dlg->show();
    dlg->raise();
    dlg->activateWindow();
  });
}

void TfMain::sbFIXEDOUTClick() {
  Msg::Guarded([this] {
    // The statement as a run reads it: what stands before the first ";".
    QString text = mmSqlStatement->Text();
    if (const qsizetype semi = text.indexOf(u';'); semi >= 0)
      text.truncate(semi);
    auto* out = new TfFixedOut(FHost, 0, this);
    out->setAttribute(Qt::WA_DeleteOnClose);
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/TZNXXXXXX"));
    file.setAutoRemove(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TFixedOutResult result = TFixedOutResult::FileError;
    if (file.open()) {
      out->FFileName = file.fileName();
      file.close();
      result = WriteFixedOutput(FHost.Session(), text.toStdString(), out->FFileName);
    }
    QApplication::restoreOverrideCursor();
    if (result != TFixedOutResult::Written) {
      delete out;
      Msg::Error(result == TFixedOutResult::NotQuery
                     ? QStringLiteral("SQL文が不正です")
                     : QStringLiteral("一時ファイルに書き込めません。"));
      return;
    }
    out->mmFixed->LoadFromFile(out->FFileName);
    out->exec();
  });
}

void TfMain::spbClipCopyClick() {
  Msg::Guarded([this] {
    const TStringGridEx& g = *sgSqlResult;
    QString text;
    for (int r = 1; r < g.RowCount(); ++r) {
      for (int c = 1; c < g.ColCount(); ++c) {
        text += g.Cells(c, r);
        text += u'\t';
      }
      text += u'\n';
    }
    QApplication::clipboard()->setText(text);
    SetStatusText(QStringLiteral("クリップボードにコピーしました"));
  });
}

void TfMain::spbWideClick() {
  Msg::Guarded([this] {
    // Owned by this window: closing it takes the editor along, with nothing written back.
    auto* wide = new TfFixedOut(FHost, 1, this);
    wide->setWindowTitle(QStringLiteral("SQLエディタ"));
    wide->mmFixed->SetText(mmSqlStatement->Text());
    FWideEditor = wide;
    wide->show();
  });
}

void TfMain::SpeedButton2Click() {
  Msg::Guarded([this] {
    QPrinter printer(QPrinter::HighResolution);
    if (PrintDialog1 && PrintDialog1(printer, this) && !PrintGrid(*sgSqlResult, printer))
      Msg::Error(QStringLiteral("印刷を開始できません。"));
  });
}
