#include "uCrtDummy.h"

#include "CtrlGrid.h"
#include "uFonts.h"
#include "uMsg.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

std::function<void(TfCrtDummy& dlg)> TfCrtDummy::TestDriver;

namespace {

constexpr int RowHeight = 22;

bool BlankOnly(const QString& s) {
  for (QChar c : s)
    if (c != u' ')
      return false;
  return true;
}

bool DigitsOnly(const QString& s) {
  for (QChar c : s)
    if (c < u'0' || c > u'9')
      return false;
  return true;
}

} // namespace

TfCrtDummy::TfCrtDummy(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("fCrtDummy"));
  setWindowTitle(QStringLiteral("件数指定"));
  setFont(UiFont(12));

  lblTableName = new QLabel(this);
  lblTableName->setObjectName(QStringLiteral("lblTableName"));

  edtKEISU = new QLineEdit(this);
  edtKEISU->setObjectName(QStringLiteral("edtKEISU"));
  edtKEISU->setMaxLength(7);
  edtKEISU->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,7}")), edtKEISU));
  edtKEISU->setAlignment(Qt::AlignRight);
  edtKEISU->setFixedWidth(80);
  Label1 = new QLabel(QStringLiteral("件を作成します。よろしいですか？"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  auto* countRow = new QHBoxLayout;
  countRow->addWidget(edtKEISU);
  countRow->addWidget(Label1);
  countRow->addStretch(1);

  cgrFields = new TCtrlGrid(this);
  cgrFields->setObjectName(QStringLiteral("cgrFields"));
  cgrFields->SetDefaultRowHeight(RowHeight);
  cgrFields->SetDefaultColWidth(100);
  cgrFields->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  cgrFields->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  cgrFields->setFixedHeight(2 * cgrFields->frameWidth() + 4 * RowHeight +
                            style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2);

  // Not in the layout: the grid places it over the current cell of the condition row.
  cboSearch = new QComboBox(this);
  cboSearch->setObjectName(QStringLiteral("cboSearch"));
  cboSearch->addItems(
      {QStringLiteral("固定値"), QStringLiteral("増分値"), QStringLiteral("順列値")});
  cboSearch->setCurrentIndex(-1);
  cboSearch->hide();

  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);

  auto* lay = new QVBoxLayout(this);
  lay->addWidget(lblTableName);
  lay->addLayout(countRow);
  lay->addWidget(cgrFields);
  lay->addLayout(buttons);

  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &TfCrtDummy::btnCancelClick);
  FormCreate();
  setFixedSize(std::max(520, sizeHint().width()), sizeHint().height());
}

void TfCrtDummy::FormCreate() {
  cgrFields->SetColCount(2);
  cgrFields->SetRowCount(4);
  cgrFields->SetFixedRows(1);
  cgrFields->SetFixedCols(1);
  cgrFields->SetOptions(cgrFields->Options() | goEditing);
  cgrFields->SetRowTitles({QStringLiteral("ﾌｨｰﾙﾄﾞ"), QStringLiteral("固定値"),
                           QStringLiteral("増分値"), QStringLiteral("条件")});
  cgrFields->SetColWidths(0, 60);
  cgrFields->AddControl(-1, rowCondition, QString(), cboSearch);
  edtKEISU->setText(QStringLiteral("100"));
}

void TfCrtDummy::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous())
    return;
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  edtKEISU->setFocus();
}

void TfCrtDummy::btnCancelClick() {
  FCancelClose = true;
  reject();
}

void TfCrtDummy::keyPressEvent(QKeyEvent* event) {
  // Esc is the Cancel button's key: it closes without the checks.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    btnCancel->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TfCrtDummy::FormCloseQuery() {
  // Messages come after the handler that closes: it may be a key press in an edit.
  if (edtKEISU->text().trimmed().isEmpty()) {
    edtKEISU->setFocus();
    Msg::ShowLater(QStringLiteral("件数が入力されていません"));
    return false;
  }
  for (int c = 1; c < cgrFields->ColCount(); ++c) {
    const QString increment = cgrFields->Cells(c, rowIncrement);
    if (!BlankOnly(increment) && !DigitsOnly(increment)) {
      cgrFields->setFocus();
      cgrFields->FocusCell(c, rowIncrement);
      Msg::ShowLater(QStringLiteral("指定された増分値は数値ではありません"));
      return false;
    }
  }
  return true;
}

void TfCrtDummy::done(int result) {
  const bool checked = FCancelClose;
  FCancelClose = false;
  if (!checked) {
    // An edit in the grid and a control over a cell give their text to the cell first.
    cgrFields->SetEditorMode(false);
    cgrFields->HideControl();
    if (!FormCloseQuery()) {
      cgrFields->ShowControl(cgrFields->Col(), cgrFields->Row());
      return;
    }
  }
  QDialog::done(result);
}

bool TfCrtDummy::Execute() {
  if (TestDriver)
    QTimer::singleShot(0, this, [this] { TestDriver(*this); });
  return exec() == QDialog::Accepted;
}
