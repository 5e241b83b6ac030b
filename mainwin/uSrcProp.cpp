#include "uSrcProp.h"

#include "OciCompo.h"
#include "SqlQuote.h"
#include "uEditor.h"
#include "uFonts.h"
#include "uTableProp.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

const char* const TriggerQuery = " SELECT TRIGGER_TYPE, TRIGGERING_EVENT, TABLE_OWNER,         "
                                 "TRIGGER_BODY FROM USER_TRIGGERS    WHERE TRIGGER_NAME = '%s'";
const char* const SourceQuery =
    " SELECT LINE, TEXT FROM USER_SOURCE   WHERE NAME = '%s'     AND TYPE = '%s'";

QString Text(const TOraCursor& cur, int field) {
  if (field >= cur.FieldCount() || cur.Fields(field)->IsNull(0))
    return QString();
  return QString::fromStdString(cur.Fields(field)->GetAsString(0));
}

const char* const Caption = "トリガープロパティ : ";

} // namespace

TfSourceProp::TfSourceProp(TMainHost& host, QWidget* parent)
    : QWidget(parent, Qt::Window), FHost(host) {
  setObjectName(QStringLiteral("fSourceProp"));
  setAttribute(Qt::WA_DeleteOnClose);
  setFont(UiFont(12));
  CreateControls();
  setGeometry(DesignLeft, DesignTop, DesignWidth, DesignHeight);
}

void TfSourceProp::CreateControls() {
  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  ViewInfo = new QWidget;
  ViewInfo->setObjectName(QStringLiteral("ViewInfo"));
  memDesct = new TEditor(ViewInfo);
  memDesct->setObjectName(QStringLiteral("memDesct"));
  SetUpViewerEditor(memDesct);
  memViewSource = new TEditor(ViewInfo);
  memViewSource->setObjectName(QStringLiteral("memViewSource"));
  SetUpViewerEditor(memViewSource);
  memViewSource->setFixedHeight(200);
  auto* pageLay = new QVBoxLayout(ViewInfo);
  pageLay->setContentsMargins(0, 0, 0, 0);
  pageLay->setSpacing(0);
  pageLay->addWidget(memDesct, 1);
  pageLay->addStretch(0);
  pageLay->addWidget(memViewSource, 0, Qt::AlignBottom);
  PageControl1->addTab(ViewInfo, QStringLiteral("ソース情報"));

  btnClose = new QPushButton(QStringLiteral("閉じる"), this);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  connect(btnClose, &QPushButton::clicked, this, &TfSourceProp::btnCloseClick);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnClose);

  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(4, 4, 4, 4);
  lay->addWidget(PageControl1, 1);
  lay->addLayout(buttons);
}

QString TfSourceProp::SourceType(const QString& category) {
  if (category == QLatin1String("PACKAGES"))
    return QStringLiteral("PACKAGE BODY");
  if (category == QLatin1String("FUNCTIONS"))
    return QStringLiteral("FUNCTION");
  if (category == QLatin1String("PROCEDURES"))
    return QStringLiteral("PROCEDURE");
  return QString();
}

void TfSourceProp::btnCloseClick() { close(); }

void TfSourceProp::LoadTrigger(TOraCursor& cur, const QString& name) {
  FHost.SetStatusText(QStringLiteral("トリガー検索中"));
  setWindowTitle(QString::fromUtf8(Caption) + name);
  memViewSource->Clear();
  memDesct->Clear();
  cur.Open();
  cur.SQL() = {QString::fromLatin1(TriggerQuery)
                   .replace(QLatin1String("%s"), OraEscape(name))
                   .toStdString()};
  const bool row = cur.ParseQuiet() && cur.DescribeFields() && cur.Exec() &&
                   cur.FieldCount() >= 4 && cur.Fetch();
  const auto value = [&](int field) { return row ? Text(cur, field) : QString(); };
  memDesct->appendPlainText(QStringLiteral(" TRIGGER TYPE     = ") + value(0) + u' ');
  memDesct->appendPlainText(QStringLiteral(" TRIGGERING_EVENT = ") + value(1));
  memDesct->appendPlainText(QStringLiteral(" TABLE_OWNER      = ") + value(2));
  if (row)
    memViewSource->SetText(ReadLongText(cur, 3));
  cur.Close();
}

void TfSourceProp::LoadSource(TOraCursor& cur, const QString& name, const QString& type) {
  FHost.SetStatusText(QStringLiteral("トリガー検索中"));
  setWindowTitle(QString::fromUtf8(Caption) + name);
  memViewSource->Clear();
  memDesct->Clear();
  QString sql = QString::fromLatin1(SourceQuery);
  sql.replace(sql.indexOf(QLatin1String("%s")), 2, OraEscape(name));
  sql.replace(sql.indexOf(QLatin1String("%s")), 2, OraEscape(type));
  cur.Open();
  cur.SQL() = {sql.toStdString()};
  const bool ok = cur.ParseQuiet() && cur.DescribeFields() && cur.Exec() && cur.FieldCount() >= 2;
  memDesct->hide();
  QStringList lines;
  while (ok && cur.Fetch()) {
    QString text = Text(cur, 1);
    // Only the line break that ends the stored line goes; every visible character stays.
    if (text.endsWith(u'\n'))
      text.chop(1);
    if (text.endsWith(u'\r'))
      text.chop(1);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    lines << Text(cur, 0).rightJustified(4) + QStringLiteral(" : ") + text;
  }
  memViewSource->SetText(lines.join(u'\n'));
  cur.Close();
}
