#include "uTableProp.h"

#include "OciCompo.h"
#include "SGrid.h"
#include "SqlQuote.h"
#include "uDataTool.h"
#include "uEditor.h"
#include "uFonts.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

const char* const ViewTextQuery = " SELECT TEXT FROM USER_VIEWS    WHERE VIEW_NAME = '%s'";
const char* const TableInfoQuery =
    " SELECT TABLE_NAME, TABLESPACE_NAME, INITIAL_EXTENT, NEXT_EXTENT,         PCT_INCREASE, "
    "MIN_EXTENTS, MAX_EXTENTS, PCT_FREE, PCT_USED    FROM  USER_TABLES    WHERE TABLE_NAME = '%s'";
const char* const ColumnsQuery =
    " SELECT A.TABLE_NAME, A.COLUMN_NAME, A.DATA_TYPE, A.DATA_LENGTH,         A.DATA_SCALE, "
    "A.DATA_PRECISION , A.NULLABLE, DECODE(D.TABLE_NAME, NULL, '', 'UI')   FROM "
    "SYS.USER_TAB_COLUMNS A,      ( SELECT B.TABLE_NAME, B.COLUMN_NAME FROM USER_IND_COLUMNS B, "
    "USER_INDEXES C           WHERE B.TABLE_NAME = C.TABLE_NAME             AND B.INDEX_NAME = "
    "C.INDEX_NAME             AND C.UNIQUENESS = 'UNIQUE'       ) D   WHERE A.TABLE_NAME = '%s' "
    "   AND A.TABLE_NAME = D.TABLE_NAME (+)     AND A.COLUMN_NAME = D.COLUMN_NAME (+)  ORDER BY "
    "A.COLUMN_ID ";

std::string Query(const char* format, const QString& name) {
  return QString::fromLatin1(format).replace(QLatin1String("%s"), OraEscape(name)).toStdString();
}

QString Text(const TOraCursor& cur, int field) {
  if (field >= cur.FieldCount() || cur.Fields(field)->IsNull(0))
    return QString();
  return QString::fromStdString(cur.Fields(field)->GetAsString(0));
}

QLineEdit* ReadOnlyEdit(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setReadOnly(true);
  return edit;
}

} // namespace

const QColor TfTableProp::EvenRowColor(255, 255, 193);

QStringList ViewerReservedWords() {
  return {"!",      ";",       "{",        "}",    "<",      "=",       ">",      "AND",
          "AS",     "BEGIN",   "BINARY",   "BODY", "BY",     "CHAR",    "CREATE", "DATE",
          "DELETE", "DROP",    "END",      "FOR",  "FROM",   "GOTO",    "GROUP",  "HAVING",
          "IN",     "INTEGER", "IS",       "LONG", "LOOP",   "NOT",     "NUMBER", "OR",
          "ORDER",  "PACKAGE", "SELECT",   "SET",  "SUBSTR", "SUBSTRB", "TABLE",  "TRIGGER",
          "UNTIL",  "UPDATE",  "VARCHAR2", "VIEW", "WHERE"};
}

void SetUpViewerEditor(TEditor* editor) {
  editor->setFont(FixedFont(12));
  editor->LeftMargin = 19;
  editor->setLineWrapMode(QPlainTextEdit::NoWrap);
  editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  editor->SetReservedWords(ViewerReservedWords());
}

QString ReadLongText(TOraCursor& cur, int field) {
  if (field >= cur.FieldCount())
    return QString();
  auto* f = dynamic_cast<TOraCustomLongField*>(cur.Fields(field));
  if (!f)
    return Text(cur, field);
  // A text piece leaves room for its terminator and may stop short of a character cut in two,
  // so a piece up to 4 bytes short of the buffer may still have more behind it. The pieces are
  // joined before decoding.
  QByteArray bytes;
  uint32_t offset = 0;
  const uint32_t width = static_cast<uint32_t>(f->Width());
  while (cur.FetchLong(f, static_cast<int>(offset))) {
    const uint32_t length = std::min(f->LongLength(), width);
    bytes.append(reinterpret_cast<const char*>(f->Buffer()), static_cast<qsizetype>(length));
    offset += length;
    if (length == 0 || length + 4 < width)
      break;
  }
  return QString::fromUtf8(bytes);
}

TfTableProp::TfTableProp(TMainHost& host, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), FHost(host) {
  setObjectName(QStringLiteral("fTableProp"));
  setAttribute(Qt::WA_DeleteOnClose);
  setFont(UiFont(12));
  CreateControls();
  resize(DesignWidth, DesignHeight);
  if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(DesignWidth / 2, DesignHeight / 2));
}

void TfTableProp::CreateControls() {
  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));

  FieldInfo = new QWidget;
  FieldInfo->setObjectName(QStringLiteral("FieldInfo"));
  sgrTable = new TSmartGrid(FieldInfo);
  sgrTable->setObjectName(QStringLiteral("sgrTable"));
  sgrTable->SetColCount(7);
  sgrTable->SetRowCount(5);
  sgrTable->SetFixedRows(1);
  sgrTable->SetFixedCols(1);
  const int widths[] = {18, 211, 117, 70, 67, 62, 64};
  for (int c = 0; c < 7; ++c)
    sgrTable->SetColWidths(c, widths[c]);
  sgrTable->SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRowSelect);
  sgrTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(sgrTable, &TSmartGrid::OnDrawDefCell, this, &TfTableProp::sgrTableDrawDefCell,
          Qt::DirectConnection);
  auto* fieldLay = new QVBoxLayout(FieldInfo);
  fieldLay->setContentsMargins(0, 0, 0, 0);
  fieldLay->addWidget(sgrTable);
  PageControl1->addTab(FieldInfo, QStringLiteral("フィールド情報"));

  TableInfo = new QWidget;
  TableInfo->setObjectName(QStringLiteral("TableInfo"));
  GroupBox1 = new QGroupBox(QStringLiteral("テーブル基本情報"), TableInfo);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  auto* basic = new QFormLayout(GroupBox1);
  basic->addRow(QStringLiteral("テーブル名"), edTableName = ReadOnlyEdit(GroupBox1, "edTableName"));
  basic->addRow(QStringLiteral("スキーマ名"),
                edSchemaName = ReadOnlyEdit(GroupBox1, "edSchemaName"));
  basic->addRow(QStringLiteral("表領域"), edTableSpace = ReadOnlyEdit(GroupBox1, "edTableSpace"));
  GroupBox2 = new QGroupBox(QStringLiteral("エクステント"), TableInfo);
  GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
  auto* extent = new QFormLayout(GroupBox2);
  extent->addRow(QStringLiteral("初期サイズ"), edInitSize = ReadOnlyEdit(GroupBox2, "edInitSize"));
  extent->addRow(QStringLiteral("次のサイズ"), edNextSize = ReadOnlyEdit(GroupBox2, "edNextSize"));
  extent->addRow(QStringLiteral("サイズの増加幅"), edIncr = ReadOnlyEdit(GroupBox2, "edIncr"));
  extent->addRow(QStringLiteral("最小値"), edMinExt = ReadOnlyEdit(GroupBox2, "edMinExt"));
  extent->addRow(QStringLiteral("最大値"), edMaxExt = ReadOnlyEdit(GroupBox2, "edMaxExt"));
  GroupBox3 = new QGroupBox(QStringLiteral("使用状況"), TableInfo);
  GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
  auto* usage = new QFormLayout(GroupBox3);
  usage->addRow(QStringLiteral("使用可(%)"), edPCT_FREE = ReadOnlyEdit(GroupBox3, "edPCT_FREE"));
  usage->addRow(QStringLiteral("使用中(%)"), edPCT_USED = ReadOnlyEdit(GroupBox3, "edPCT_USED"));
  pbrUSED = new QProgressBar(GroupBox3);
  pbrUSED->setObjectName(QStringLiteral("pbrUSED"));
  pbrUSED->setRange(0, 1);
  pbrUSED->setValue(0);
  pbrUSED->setTextVisible(false);
  usage->addRow(pbrUSED);
  auto* infoLay = new QHBoxLayout(TableInfo);
  auto* left = new QVBoxLayout;
  left->addWidget(GroupBox1);
  left->addWidget(GroupBox3);
  left->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addWidget(GroupBox2);
  right->addStretch(1);
  infoLay->addLayout(left, 1);
  infoLay->addLayout(right, 1);
  PageControl1->addTab(TableInfo, QStringLiteral("テーブル情報"));

  ViewInfo = new QWidget;
  ViewInfo->setObjectName(QStringLiteral("ViewInfo"));
  memViewSource = new TEditor(ViewInfo);
  memViewSource->setObjectName(QStringLiteral("memViewSource"));
  SetUpViewerEditor(memViewSource);
  auto* viewLay = new QVBoxLayout(ViewInfo);
  viewLay->setContentsMargins(0, 0, 0, 0);
  viewLay->addWidget(memViewSource);
  PageControl1->addTab(ViewInfo, QStringLiteral("ソース情報"));
  PageControl1->setCurrentIndex(0);

  btnClose = new QPushButton(QStringLiteral("閉じる"), this);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  connect(btnClose, &QPushButton::clicked, this, &TfTableProp::btnCloseClick);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnClose);

  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(4, 4, 4, 4);
  lay->addWidget(PageControl1, 1);
  lay->addLayout(buttons);
}

void TfTableProp::btnCloseClick() { close(); }

void TfTableProp::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous())
    FormShow();
}

void TfTableProp::FormShow() { sgrTable->Repaint(); }

void TfTableProp::sgrTableDrawDefCell(int, int row, const QRect&, TGridDrawState state, bool&,
                                      TDrawOptions& options) {
  if (!(state & gdFixed) && row % 2 == 0)
    options.Brush = QBrush(EvenRowColor);
}

void TfTableProp::LoadViewText(TOraCursor& cur, const QString& name) {
  FHost.SetStatusText(QStringLiteral("フィールド・ビュー検索中"));
  setWindowTitle(QStringLiteral("テーブルプロパティ : ") + name);
  memViewSource->Clear();
  cur.Open();
  cur.SQL() = {Query(ViewTextQuery, name)};
  if (cur.ParseQuiet() && cur.DescribeFields() && cur.Exec() && cur.FieldCount() > 0 && cur.Fetch())
    memViewSource->SetText(ReadLongText(cur, 0));
  cur.Close();
}

void TfTableProp::LoadTableInfo(TOraCursor& cur, const QString& name, const QString& schema) {
  setWindowTitle(QStringLiteral("テーブルプロパティ : ") + name);
  FHost.SetStatusText(QStringLiteral("テーブル情報取得中"));
  cur.Open();
  cur.SQL() = {Query(TableInfoQuery, name)};
  const bool row =
      cur.Parse() && cur.DescribeFields() && cur.Exec() && cur.FieldCount() >= 9 && cur.Fetch();
  // No row (a view): empty names and 0 in the figures.
  const auto number = [&](int field) { return row ? Text(cur, field) : QStringLiteral("0"); };
  edTableName->setText(row ? Text(cur, 0) : QString());
  edSchemaName->setText(schema);
  edTableSpace->setText(row ? Text(cur, 1) : QString());
  edInitSize->setText(number(2));
  edNextSize->setText(number(3));
  edIncr->setText(number(4));
  edMinExt->setText(number(5));
  edMaxExt->setText(number(6));
  edPCT_FREE->setText(number(7));
  edPCT_USED->setText(number(8));
  bool freeOk = false, usedOk = false;
  const int pctFree = edPCT_FREE->text().toInt(&freeOk);
  const int pctUsed = edPCT_USED->text().toInt(&usedOk);
  // An unknown figure leaves the bar empty; so does a maximum of 0, which would animate it.
  if (freeOk && usedOk && pctFree + pctUsed > 0) {
    pbrUSED->setRange(0, pctFree + pctUsed);
    pbrUSED->setValue(pctUsed);
  } else {
    pbrUSED->setRange(0, 1);
    pbrUSED->setValue(0);
  }
  cur.Close();
}

void TfTableProp::LoadColumns(TOraCursor& cur, const QString& name) {
  FHost.SetStatusText(QStringLiteral("フィールド情報取得中"));
  DataTool::LetPaintThrough();
  cur.Open();
  cur.SQL() = {Query(ColumnsQuery, name)};
  const bool ok = cur.Parse();
  const QStringList titles = {QString(),
                              QStringLiteral("フィールド名"),
                              QStringLiteral("項目型"),
                              QStringLiteral("項目長"),
                              QStringLiteral("SCALE"),
                              QStringLiteral("PRECISION"),
                              QStringLiteral("NULL許可")};
  for (int c = 0; c < titles.size(); ++c)
    sgrTable->SetCells(c, 0, titles[c]);
  if (ok && cur.DescribeFields() && cur.Exec() && cur.FieldCount() >= 8) {
    int row = 1;
    while (cur.Fetch()) {
      sgrTable->SetRowCount(row + 1);
      sgrTable->SetCells(1, row, Text(cur, 1));
      sgrTable->SetCells(2, row, Text(cur, 2));
      sgrTable->SetCells(3, row, Text(cur, 3));
      sgrTable->SetCells(4, row, Text(cur, 4));
      sgrTable->SetCells(5, row, Text(cur, 5));
      sgrTable->SetCells(6, row,
                         Text(cur, 6).trimmed() == QLatin1String("Y") ? QStringLiteral("YES")
                                                                      : QStringLiteral("NO"));
      DataTool::LetPaintThrough();
      sgrTable->SetCells(
          0, row, Text(cur, 7).trimmed() == QLatin1String("UI") ? QStringLiteral("◎") : QString());
      ++row;
    }
  }
  cur.Close();
}
