#include "uQueryMain.h"

#include "CtrlGrid.h"
#include "DisplayWidth.h"
#include "OciCompo.h"
#include "SqlQuote.h"
#include "uEditor.h"
#include "uFonts.h"
#include "uMain.h"
#include "uMsg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDataStream>
#include <QDrag>
#include <QIODevice>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

namespace {

const char* const Caption = "クエリEXPRESS";
const char* const Ascending = "昇順";
const char* const Descending = "降順";

int Columns(const QString& s) {
  int w = 0;
  for (char32_t c : s.toUcs4())
    w += IsWideCodePoint(c) ? 2 : 1;
  return w;
}

QString PadRight(const QString& s, int width) {
  const int w = Columns(s);
  return w >= width ? s : s + QString(width - w, u' ');
}

QString PadLeft(const QString& s, int width) {
  const int w = Columns(s);
  return w >= width ? s : QString(width - w, u' ') + s;
}

// Blanks and control characters off both ends; other white space (a full-width blank) is text.
QString TrimBlanks(const QString& s) {
  qsizetype b = 0, e = s.size();
  while (b < e && s[b].unicode() <= 0x20)
    ++b;
  while (e > b && s[e - 1].unicode() <= 0x20)
    --e;
  return s.mid(b, e - b);
}

QByteArray EncodeFieldLines(const QString& source, const QStringList& lines) {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out << source << lines;
  return bytes;
}

bool DecodeFieldLines(const QByteArray& bytes, QString& source, QStringList& lines) {
  QDataStream in(bytes);
  in >> source >> lines;
  return in.status() == QDataStream::Ok;
}

// The field list: what it drags is its selected lines in list order, always as a copy.
class TFieldListBox : public QListWidget {
public:
  explicit TFieldListBox(QWidget* parent) : QListWidget(parent) {}

protected:
  QStringList mimeTypes() const override {
    return {QString::fromLatin1(TfQueryMain::FieldLinesFormat)};
  }
  QMimeData* mimeData(const QList<QListWidgetItem*>&) const override {
    QStringList lines;
    for (int i = 0; i < count(); ++i)
      if (item(i)->isSelected())
        lines << item(i)->text();
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(TfQueryMain::FieldLinesFormat),
                  EncodeFieldLines(objectName(), lines));
    return data;
  }
  void startDrag(Qt::DropActions) override {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    if (selected.isEmpty())
      return;
    auto* drag = new QDrag(this);
    drag->setMimeData(model()->mimeData(selected));
    drag->exec(Qt::CopyAction, Qt::CopyAction);
  }
};

} // namespace

const char* const TfQueryMain::FieldLinesFormat = "application/x-tessel-field-lines";

QString FieldLineName(const QString& line) {
  QString head;
  int w = 0;
  for (char32_t c : line.toUcs4()) {
    w += IsWideCodePoint(c) ? 2 : 1;
    if (w > 30)
      break;
    head += QString::fromUcs4(&c, 1);
  }
  return TrimBlanks(head);
}

TfQueryMain::TfQueryMain(TMainHost& host, QWidget* parent)
    : QWidget(parent, Qt::Tool), FHost(host) {
  setObjectName(QStringLiteral("fQueryMain"));
  setWindowTitle(QString::fromUtf8(Caption));
  setAttribute(Qt::WA_DeleteOnClose); // never reused: the next opening makes a new one
  setFont(UiFont(12));
  CreateControls();
  FormCreate();
  resize(DesignWidth, DesignHeight);
  if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(DesignWidth / 2, DesignHeight / 2));
  show();
}

void TfQueryMain::CreateControls() {
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(0);

  pnlTable = new QLabel(this);
  pnlTable->setObjectName(QStringLiteral("pnlTable"));
  pnlTable->setAlignment(Qt::AlignCenter);
  pnlTable->setAutoFillBackground(true);
  pnlTable->setFixedHeight(24);
  pnlTable->setMargin(2);
  {
    QPalette pal = pnlTable->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::WindowText, Qt::white);
    pnlTable->setPalette(pal);
    QFont f = pnlTable->font();
    f.setBold(true);
    pnlTable->setFont(f);
  }
  lay->addWidget(pnlTable);

  const QFont fixed = FixedFont(16);
  Panel3 = new QLabel(QStringLiteral(" ﾌｨｰﾙﾄﾞ名                       型        長さ"), this);
  Panel3->setObjectName(QStringLiteral("Panel3"));
  Panel3->setFont(fixed);
  Panel3->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel3->setFixedHeight(22);
  lay->addWidget(Panel3);

  lbField = new TFieldListBox(this);
  lbField->setObjectName(QStringLiteral("lbField"));
  lbField->setFont(fixed);
  lbField->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lbField->setDragEnabled(true);
  lbField->setDragDropMode(QAbstractItemView::DragOnly);
  lbField->setDefaultDropAction(Qt::CopyAction);
  lbField->setUniformItemSizes(true);
  lbField->setStyleSheet(QStringLiteral("QListWidget::item { height: 18px; }"));
  lay->addWidget(lbField, 1);

  cgrFields = new TCtrlGrid(this);
  cgrFields->setObjectName(QStringLiteral("cgrFields"));
  cgrFields->setFont(FixedFont(15));
  cgrFields->SetDefaultColWidth(80);
  cgrFields->SetDefaultRowHeight(24);
  cgrFields->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  cgrFields->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  cgrFields->SetRowCount(3);
  cgrFields->SetFixedRows(1);
  cgrFields->SetFixedCols(1);
  cgrFields->setFixedHeight(2 * cgrFields->frameWidth() + 3 * 24 +
                            style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2);
  cgrFields->setAcceptDrops(true);
  lay->addWidget(cgrFields);

  // Not in the layout: the grid places it over the current cell of the sort row.
  cboSearch = new QComboBox(this);
  cboSearch->setObjectName(QStringLiteral("cboSearch"));
  cboSearch->setFont(cgrFields->font());
  cboSearch->addItems(
      {QStringLiteral("なし"), QString::fromUtf8(Ascending), QString::fromUtf8(Descending)});
  cboSearch->setCurrentIndex(-1);
  cboSearch->hide();

  connect(cgrFields, &TStringGridEx::OnDragOver, this,
          [this](QObject* source, int, int, bool& accept) {
            Msg::Guarded([&] { accept = cgrFieldsDragOver(source, cgrFields->DragData()); });
          });
  connect(cgrFields, &TStringGridEx::OnDragDrop, this, [this](QObject* source, int, int) {
    Msg::Guarded([&] { cgrFieldsDragDrop(source, cgrFields->DragData()); });
  });
}

void TfQueryMain::FormCreate() {
  cgrFields->AddControl(-1, 2, QString(), cboSearch);
  cgrFields->HideControl();
  cgrFields->SetRowTitles(
      {QStringLiteral("ﾌｨｰﾙﾄﾞ"), QStringLiteral("条件"), QStringLiteral("ｿｰﾄ")});
  cgrFields->ShowControl(cgrFields->Col(), cgrFields->Row());
  cgrFields->SetColCount(2);
}

QString TfQueryMain::FieldKindName(int fieldKind) {
  static const char* const names[] = {"STRING", "NUMBER", "ROWID",   "DATE",   "CHAR",
                                      "RAW",    "LONG",   "LONGRAW", "CURSOR", "NOTSUPPORT"};
  if (fieldKind < 0 || fieldKind > 9)
    fieldKind = 9;
  return QString::fromLatin1(names[fieldKind]);
}

QString TfQueryMain::FieldLine(const QString& name, int fieldKind, int displaySize) {
  return PadRight(name, 30) + u' ' + PadRight(FieldKindName(fieldKind), 10) + u' ' +
         PadLeft(QString::number(displaySize), 3);
}

void TfQueryMain::LoadFields(TOraCursor& cur, const QString& objectName) {
  // The lines are made first and the cursor closed before the list grows with messages let
  // through, so a command run meanwhile finds the shared cursor free.
  QStringList lines;
  if (cur.Open()) {
    cur.SQL().clear();
    cur.SQL() = {(QStringLiteral(" Select * from ") + OraName(objectName)).toStdString()};
    if (cur.Parse() && cur.DescribeFields())
      for (int i = 0; i < cur.FieldCount(); ++i) {
        const TCustomOraField* field = cur.Fields(i);
        const auto* described = dynamic_cast<const TOraField*>(field);
        lines << FieldLine(QString::fromStdString(field->Name()), field->FieldKind(),
                           described ? described->DisplaySize() : 0);
      }
  }
  cur.Close();
  const QPointer<TfQueryMain> alive(this);
  for (const QString& line : lines) {
    lbField->addItem(line);
    QCoreApplication::processEvents();
    if (!alive) // closed meanwhile
      return;
  }
}

bool TfQueryMain::cgrFieldsDragOver(QObject* source, const QMimeData* data) const {
  return qobject_cast<QListWidget*>(source) != nullptr ||
         (data && data->hasFormat(QString::fromLatin1(FieldLinesFormat)));
}

void TfQueryMain::cgrFieldsDragDrop(QObject* source, const QMimeData* data) {
  QString from;
  QStringList lines;
  if (data && data->hasFormat(QString::fromLatin1(FieldLinesFormat))) {
    if (!DecodeFieldLines(data->data(QString::fromLatin1(FieldLinesFormat)), from, lines))
      return;
  } else if (auto* list = qobject_cast<QListWidget*>(source)) {
    from = list->objectName();
    for (int i = 0; i < list->count(); ++i)
      if (list->item(i)->isSelected())
        lines << list->item(i)->text();
  }
  if (from != QLatin1String("lbField"))
    return;
  TCtrlGrid& g = *cgrFields;
  for (const QString& line : lines) {
    g.HideControl();
    g.SetColCount(g.ColCount() + 1);
    const int col = g.ColCount() - 2; // the column that was the empty last one
    g.SetCells(col, 0, line);
    g.SetCells(col, 1, QString());
    g.SetCells(col, 2, QString());
    g.ShowControl(g.Col(), g.Row());
  }
}

QString TfQueryMain::Composition() {
  TCtrlGrid& g = *cgrFields;
  g.HideControl(); // a sort choice still open counts
  QString conditions, order;
  for (int c = 1; c <= g.ColCount() - 2; ++c) {
    const QString name = OraName(FieldLineName(g.Cells(c, 0)));
    // An empty condition compares nothing: a field dropped only to sort by it keeps every row.
    const QString condition = TrimBlanks(g.Cells(c, 1));
    if (!condition.isEmpty())
      conditions += name + QStringLiteral(" = '") + OraEscape(condition) + QStringLiteral("' AND ");
    const QString sort = g.Cells(c, 2);
    if (sort == QString::fromUtf8(Ascending))
      order += name + QStringLiteral(" , ");
    else if (sort == QString::fromUtf8(Descending))
      order += name + QStringLiteral(" DESC , ");
  }
  g.ShowControl(g.Col(), g.Row());
  const QString head = QStringLiteral(" SELECT * FROM ") + OraName(pnlTable->text()) +
                       (conditions.isEmpty() ? QStringLiteral(" ") : QStringLiteral(" WHERE "));
  conditions.chop(4); // the "AND " of the last condition
  if (order.isEmpty())
    return head + conditions;
  order.chop(2); // the ", " of the last field
  return head + conditions + QStringLiteral(" ORDER BY ") + order;
}

void TfQueryMain::FormClose() {
  if (cgrFields->ColCount() <= 2)
    return;
  if (!Msg::YesNo(QStringLiteral("クエリが更新されています。SQLを反映させますか？")))
    return;
  const QString statement = Composition();
  // Asked once the answer is in: the window may have changed while the question was open.
  if (TfMain* query = FHost.ActiveQueryWindow())
    query->mmSqlStatement->SetText(statement);
}

void TfQueryMain::closeEvent(QCloseEvent* event) {
  Msg::Guarded([this] { FormClose(); });
  event->accept();
}
