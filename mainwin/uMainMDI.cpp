#include "uMainMDI.h"

#include "LoginFrm.h"
#include "OciIntr.h"
#include "SGrid.h"
#include "SqlQuote.h"
#include "TrayIcon.h"
#include "uCrtDummy.h"
#include "uCsvExport.h"
#include "uCsvImport.h"
#include "uDataTool.h"
#include "uDummyData.h"
#include "uEditor.h"
#include "uFonts.h"
#include "uLOG.h"
#include "uMain.h"
#include "uMsg.h"
#include "uPictures.h"
#include "uPlusDir.h"
#include "uQueryMain.h"
#include "uSrcProp.h"
#include "uTableProp.h"
#include "uTableScript.h"
#include "uVersion.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>

TfMainForm* fMainForm = nullptr;

namespace {

const char* const ConnectingText = "Oracleに接続中";
const char* const DateFormatYMD = "YYYY/MM/DD";
const char* const DateFormatYMDHNS = "YYYY/MM/DD HH:NN:SS";

QAction* AddAction(QMenu* menu, const char* name, const QString& caption,
                   const QKeySequence& shortcut = QKeySequence()) {
  auto* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  if (!shortcut.isEmpty())
    action->setShortcut(shortcut);
  return action;
}

QMenu* AddMenu(QWidget* parentMenu, const char* name, const QString& caption) {
  QMenu* menu = nullptr;
  if (auto* bar = qobject_cast<QMenuBar*>(parentMenu))
    menu = bar->addMenu(caption);
  else
    menu = static_cast<QMenu*>(parentMenu)->addMenu(caption);
  menu->setObjectName(QString::fromLatin1(name));
  return menu;
}

} // namespace

TfMainForm::TfMainForm(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("fMainForm"));
  setWindowTitle(QStringLiteral("Tessel3"));
  setWindowIcon(ProgramIcon());
  setFont(UiFont(12));
  resize(DesignWidth, DesignHeight);
  CreateComponents();
  CreateMenus();
  CreateToolBar();
  CreatePanels();
  CreateStatusBar();
  CreateHistoryCommands();
  FormCreate();
  CreateCsvCommands();
  CreateObjectToolCommands();
}

TfMainForm::~TfMainForm() {
  if (fMainForm == this)
    fMainForm = nullptr;
}

void TfMainForm::CreateComponents() {
  InstallLoginDialog(OraMainSes);
  // Wrapped so the window knows whether a failed Connect got as far as asking the library.
  auto prompt = OraMainSes.LogonPrompt;
  OraMainSes.LogonPrompt = [this, prompt](std::string& user, std::string& pass, std::string& host) {
    FLogonTried = prompt && prompt(user, pass, host);
    return FLogonTried;
  };
  for (TOraCursor* cur : {&OraCursorTable, &OraCursorField, &OraCurExt}) {
    cur->SetSession(&OraMainSes);
    cur->SetNumberOfRows(1000);
  }
  OraCursorTable.OnError = [this](TOraCursor&, const std::string&) { FCursorError = true; };
  OraCurExt.OnError = [this](TOraCursor&, const std::string&) { FCursorError = true; };
  OraCursorField.OnError = [](TOraCursor&, const std::string&) {};

  RegMan.RegType = rtReg;
  RegMan.OnError = [](const QString& text) { Msg::Error(text); };
  RegMan.RegDir = QStringLiteral("Software\\TESSEL");
  for (const char* name : {"USERNAME", "HOST", "POSX", "POSY", "SIZEX", "SIZEY", "PLUSW"})
    RegMan.RegItems.Add(QString::fromLatin1(name), QStringLiteral("SESSION"),
                        QString::fromLatin1(name));

  ImageList1 = TreePictures();
}

void TfMainForm::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));

  KF1 = AddMenu(bar, "KF1", QStringLiteral("ファイル(&F)"));
  KO1 = AddAction(KF1, "KO1", QStringLiteral("接続(&O)"), QKeySequence(Qt::CTRL | Qt::Key_O));
  KF1->addSeparator();
  N4 = AddMenu(KF1, "N4", QStringLiteral("ファイルに保存"));
  N5 = AddAction(N4, "N5", QStringLiteral("テキストファイル(CSV)"));
  KF1->addSeparator();
  N10 = AddMenu(KF1, "N10", QStringLiteral("設定"));
  N11 = AddAction(N10, "N11", QStringLiteral("--日付設定--"));
  YYYYMMDD1 = AddAction(N10, "YYYYMMDD1", QStringLiteral("YYYY/MM/DD形式"));
  YYYYMMDDHH24MISS1 =
      AddAction(N10, "YYYYMMDDHH24MISS1", QStringLiteral("YYYY/MM/DD HH24:MI:SS形式"));
  SQLPLUS1 = AddAction(N10, "SQLPLUS1", QStringLiteral("--SQL*PLUSの設定--"));
  N14 = AddAction(N10, "N14", QStringLiteral("起動プログラムの設定"));
  KF1->addSeparator();
  Exit1 = AddAction(KF1, "Exit1", QStringLiteral("終了(&X)"), QKeySequence(Qt::CTRL | Qt::Key_F4));

  Q1 = AddMenu(bar, "Q1", QStringLiteral("クエリー(&Q)"));
  New1 = AddAction(Q1, "New1", QStringLiteral("新規作成(&N)"), QKeySequence(Qt::CTRL | Qt::Key_Q));
  Q1->addSeparator();
  SQLPLUS2 = AddAction(Q1, "SQLPLUS2", QStringLiteral("SQL*PLUSの起動"));

  Show1 = AddMenu(bar, "Show1", QStringLiteral("表示(&V)"));
  K1 = AddAction(Show1, "K1", QStringLiteral("テーブルリスト"), QKeySequence(Qt::CTRL | Qt::Key_T));
  K2 = AddAction(Show1, "K2", QStringLiteral("履歴"), QKeySequence(Qt::CTRL | Qt::Key_H));
  K1->setCheckable(true);
  K2->setCheckable(true);

  Window1 = AddMenu(bar, "Window1", QStringLiteral("Window"));
  Cascade1 = AddAction(Window1, "Cascade1", QStringLiteral("Cascade"));
  Tile1 = AddAction(Window1, "Tile1", QStringLiteral("Tile"));

  VersionH1 = AddMenu(bar, "VersionH1", QStringLiteral("Version(&V)"));
  N2 = AddAction(VersionH1, "N2", QStringLiteral("バージョン表示"));

  // Neither format is chosen until the user picks one.
  YYYYMMDD1->setCheckable(true);
  YYYYMMDDHH24MISS1->setCheckable(true);

  connect(KO1, &QAction::triggered, this, [this] { (this->*KO1Click)(); });
  KO1Click = &TfMainForm::sbConnectClick;
  connect(YYYYMMDD1, &QAction::triggered, this, &TfMainForm::YYYYMMDD1Click);
  connect(YYYYMMDDHH24MISS1, &QAction::triggered, this, &TfMainForm::YYYYMMDDHH24MISS1Click);
  connect(Exit1, &QAction::triggered, this, &TfMainForm::Exit1Click);
  connect(Cascade1, &QAction::triggered, this, &TfMainForm::Cascade1Click);
  connect(Tile1, &QAction::triggered, this, &TfMainForm::Tile1Click);
  connect(N2, &QAction::triggered, this, &TfMainForm::sbViewVersionClick);

  // The command itself decides the check mark, so the menu's own toggle is taken back first.
  connect(New1, &QAction::triggered, this, &TfMainForm::sbNewQueryClick);
  connect(K1, &QAction::triggered, this, [this](bool checked) {
    K1->setChecked(!checked);
    sbViewTableClick();
  });

  connect(N14, &QAction::triggered, this, &TfMainForm::N14Click);
  connect(SQLPLUS2, &QAction::triggered, this, &TfMainForm::SQLPLUS2Click);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  Q2 = AddAction(PopupMenu1, "Q2", QStringLiteral("クエリー(&Q)"));
  Property1 = AddAction(PopupMenu1, "Property1", QStringLiteral("プロパティ"));
  // The menu shows the first one: "Alt+Enter", as on the key cap; both Enter keys work.
  Property1->setShortcuts(
      {QKeySequence(Qt::ALT | Qt::Key_Enter), QKeySequence(Qt::ALT | Qt::Key_Return)});
  OutCSV = AddAction(PopupMenu1, "OutCSV", QStringLiteral("CSV出力"));
  InpCSV = AddMenu(PopupMenu1, "InpCSV", QStringLiteral("CSV入力"));
  N6 = AddAction(InpCSV, "N6", QStringLiteral("削除後追加"));
  N7 = AddAction(InpCSV, "N7", QStringLiteral("追加（エラー無視）"));
  N8 = AddAction(InpCSV, "N8", QStringLiteral("追加（エラー有り）"));
  CrtDummy = AddAction(PopupMenu1, "CrtDummy", QStringLiteral("ダミーデータ作成"));
  N13 = AddAction(PopupMenu1, "N13", QStringLiteral("テーブルスクリプト作成"));

  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
  N12 = AddAction(PopupMenu2, "N12", QStringLiteral("元のサイズに戻す"));
  Exit2 = AddAction(PopupMenu2, "Exit2", QStringLiteral("終了"));
  connect(N12, &QAction::triggered, this, &TfMainForm::N12Click);
  connect(Exit2, &QAction::triggered, this, &TfMainForm::Exit2Click);
}

QToolButton* TfMainForm::AddToolButton(const char* name, const QString& hint, int picture) {
  auto* button = new QToolButton(ToolBar1);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoRaise(true);
  button->setFixedSize(32, 28);
  button->setIconSize(QSize(20, 20));
  button->setIcon(ToolPicture(static_cast<TToolPicture>(picture)));
  button->setToolTip(hint);
  ToolBar1->addWidget(button);
  return button;
}

void TfMainForm::CreateToolBar() {
  ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->setFixedHeight(30);
  ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
  using P = TToolPicture;
  sbConnect = AddToolButton("sbConnect", QStringLiteral("接続"), int(P::Connect));
  sbDisconnect = AddToolButton("sbDisconnect", QStringLiteral("切断"), int(P::Disconnect));
  ToolBar1->addSeparator();
  sbViewTable = AddToolButton("sbViewTable", QStringLiteral("テーブル表示"), int(P::ViewTable));
  sbNewQuery = AddToolButton("sbNewQuery", QStringLiteral("クエリを作成"), int(P::NewQuery));
  sbViewHistory = AddToolButton("sbViewHistory", QStringLiteral("履歴表示"), int(P::ViewHistory));
  ToolBar1->addSeparator();
  sbProp = AddToolButton("sbProp", QStringLiteral("プロパティを表示"), int(P::Property));
  sbToTry = AddToolButton("sbToTry", QStringLiteral("トレーへ"), int(P::ToTray));
  sbPLUS33W = AddToolButton("sbPLUS33W", QStringLiteral("SQL*PLUSを起動します。"), int(P::SqlPlus));
  ToolBar1->addSeparator();
  sbViewVersion = AddToolButton("sbViewVersion", QStringLiteral("バージョン表示"), int(P::Version));
  ToolBar1->addSeparator();

  sbDisconnect->setEnabled(false);

  connect(sbConnect, &QToolButton::clicked, this, &TfMainForm::sbConnectClick);
  connect(sbDisconnect, &QToolButton::clicked, this, &TfMainForm::sbDisconnectClick);
  connect(sbViewTable, &QToolButton::clicked, this, &TfMainForm::sbViewTableClick);
  connect(sbNewQuery, &QToolButton::clicked, this, &TfMainForm::sbNewQueryClick);
  connect(sbToTry, &QToolButton::clicked, this, &TfMainForm::sbToTryClick);
  connect(sbPLUS33W, &QToolButton::clicked, this, &TfMainForm::sbPLUS33WClick);
  connect(sbViewVersion, &QToolButton::clicked, this, &TfMainForm::sbViewVersionClick);
}

void TfMainForm::CreatePanels() {
  Splitter = new QSplitter(Qt::Horizontal, this);
  Splitter->setObjectName(QStringLiteral("Splitter"));
  Splitter->setHandleWidth(4);
  Splitter->setChildrenCollapsible(false);

  pnlTool = new QWidget(Splitter);
  pnlTool->setObjectName(QStringLiteral("pnlTool"));
  pnlTable = new QWidget(pnlTool);
  pnlTable->setObjectName(QStringLiteral("pnlTable"));
  tvTable = new QTreeWidget(pnlTable);
  tvTable->setObjectName(QStringLiteral("tvTable"));
  tvTable->setHeaderHidden(true);
  tvTable->setFont(FixedFont(12));
  tvTable->setIndentation(19);
  tvTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tvTable->setDragEnabled(true);
  tvTable->setDragDropMode(QAbstractItemView::DragOnly);
  tvTable->setContextMenuPolicy(Qt::CustomContextMenu);
  {
    QPalette pal = tvTable->palette();
    pal.setColor(QPalette::Text, Qt::black);
    // The selection stays visible when the tree loses the focus.
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    tvTable->setPalette(pal);
  }
  tvTable->setMouseTracking(true); // hot tracking
  // Long names scroll sideways instead of being cut off with an ellipsis.
  tvTable->setTextElideMode(Qt::ElideNone);
  tvTable->header()->setStretchLastSection(false);
  tvTable->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  tvTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  for (QWidget* w : {pnlTool, pnlTable}) {
    auto* lay = new QVBoxLayout(w);
    lay->setContentsMargins(0, 0, 0, 0);
  }
  pnlTool->layout()->addWidget(pnlTable);
  pnlTable->layout()->addWidget(tvTable);
  connect(tvTable, &QTreeWidget::itemExpanded, this, &TfMainForm::tvTableExpanding);
  connect(tvTable, &QTreeWidget::itemCollapsed, this, &TfMainForm::tvTableCollapsing);
  connect(tvTable, &QTreeWidget::itemSelectionChanged, this, &TfMainForm::tvTableChange);
  connect(tvTable, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    PopupMenu1Popup();
    PopupMenu1->popup(tvTable->viewport()->mapToGlobal(pos));
  });

  MDIArea = new QMdiArea(Splitter);
  MDIArea->setObjectName(QStringLiteral("MDIArea"));

  pnlHistory = new QWidget(Splitter);
  pnlHistory->setObjectName(QStringLiteral("pnlHistory"));
  auto* hlay = new QVBoxLayout(pnlHistory);
  hlay->setContentsMargins(0, 0, 0, 0);
  hlay->setSpacing(0);
  SQLHistory = new QListWidget(pnlHistory);
  SQLHistory->setObjectName(QStringLiteral("SQLHistory"));
  SQLHistory->setUniformItemSizes(true);
  hlay->addWidget(SQLHistory, 1);
  Panel3 = new QWidget(pnlHistory);
  Panel3->setObjectName(QStringLiteral("Panel3"));
  auto* play = new QHBoxLayout(Panel3);
  play->setContentsMargins(2, 2, 2, 2);
  Button1 = new QPushButton(QStringLiteral("履歴クリア"), Panel3);
  Button1->setObjectName(QStringLiteral("Button1"));
  play->addWidget(Button1);
  hlay->addWidget(Panel3);

  Splitter->setStretchFactor(0, 0);
  Splitter->setStretchFactor(1, 1);
  Splitter->setStretchFactor(2, 0);
  Splitter->setSizes({133, DesignWidth - 133 - 96 - 8, 96});
  setCentralWidget(Splitter);
  pnlTool->hide();
}

QSplitterHandle* TfMainForm::splTool() const { return Splitter->handle(1); }
QSplitterHandle* TfMainForm::Splitter1() const { return Splitter->handle(2); }

void TfMainForm::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("sbStatus"));
  bar->setSizeGripEnabled(true);
  sbStatusPanel[0] = new QLabel(bar);
  sbStatusPanel[1] = new QLabel(bar);
  sbStatusPanel[0]->setMinimumWidth(0);
  // The clock panel is as wide as its text, so the time is never cut.
  const QFontMetrics fm(sbStatusPanel[1]->font());
  sbStatusPanel[1]->setMinimumWidth(
      std::max(50, fm.horizontalAdvance(QStringLiteral("0000/00/00 00:00:00")) + 12));
  sbStatusPanel[1]->setAlignment(Qt::AlignCenter);
  for (QLabel* panel : sbStatusPanel)
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  bar->addWidget(sbStatusPanel[0], 1);
  bar->addPermanentWidget(sbStatusPanel[1]);

  Timer1 = new QTimer(this);
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, &TfMainForm::Timer1Timer);
  Timer1->start();
  Timer1Timer();
}

void TfMainForm::FormCreate() {
  FFirstShow = true;
  TrayIcon = new TTrayIcon(this);
  TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
  TrayIcon->SetIcon(ProgramIcon());
  TrayIcon->SetRBPopupMenu(PopupMenu2);
  TrayIcon->OnClick = [this](TTrayIcon&) { TrayIconClick(); };
  if (!fMainForm)
    fMainForm = this;
}

QString TfMainForm::StatusText() const { return sbStatusPanel[0]->text(); }

void TfMainForm::SetStatusText(const QString& text) {
  sbStatusPanel[0]->setText(text);
  sbStatusPanel[0]->repaint();
}

void TfMainForm::SetObjectCommands(bool enabled) {
  for (QAction* a : {Q2, Property1, OutCSV, N13, CrtDummy})
    a->setEnabled(enabled);
  InpCSV->setEnabled(enabled);
  sbProp->setEnabled(enabled);
}

// ---------------------------------------------------------------------------------------------
// Showing, hiding, closing

void TfMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous())
    FormShow();
}

void TfMainForm::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  if (!event->spontaneous() && !FClosing)
    FormHide();
}

void TfMainForm::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
  FClosing = true;
  TrayIcon->SetVisible(false);
  emit Closed();
}

void TfMainForm::FormShow() {
  if (pnlTool->isHidden()) {
    pnlTool->hide();
    pnlHistory->hide();
    K2->setChecked(false); // the check mark tells whether the history is shown
    sbProp->setEnabled(false);
    SetObjectCommands(false);
  }
  if (FFirstShow) {
    RestoreGeometry();
    FFirstShow = false;
  }
}

void TfMainForm::RestoreGeometry() {
  const int left = RegMan.ItemByName(QStringLiteral("POSX"))->ReadInteger();
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (left != 0) {
    const int top = RegMan.ItemByName(QStringLiteral("POSY"))->ReadInteger();
    int w = RegMan.ItemByName(QStringLiteral("SIZEX"))->ReadInteger();
    int h = RegMan.ItemByName(QStringLiteral("SIZEY"))->ReadInteger();
    // A damaged size keeps the design size; a place on no screen is not used.
    if (w <= 0 || h <= 0) {
      w = DesignWidth;
      h = DesignHeight;
    }
    resize(w, h);
    for (QScreen* s : QGuiApplication::screens())
      if (s->availableGeometry().intersects(QRect(left, top, w, h))) {
        move(left, top);
        return;
      }
  } else {
    resize(DesignWidth, DesignHeight);
  }
  if (screen)
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void TfMainForm::FormClose() {
  RegMan.ItemByName(QStringLiteral("POSX"))->WriteInteger(x());
  RegMan.ItemByName(QStringLiteral("POSY"))->WriteInteger(y());
  RegMan.ItemByName(QStringLiteral("SIZEX"))->WriteInteger(width());
  RegMan.ItemByName(QStringLiteral("SIZEY"))->WriteInteger(height());
}

void TfMainForm::FormHide() {
  try {
    TrayIcon->SetVisible(true);
  } catch (const ETrayIconError& e) {
    // Without a tray the window could never be brought back.
    Msg::Error(QString::fromUtf8(e.what()));
    QTimer::singleShot(0, this, [this] { show(); });
  }
}

void TfMainForm::Exit1Click() { close(); }

void TfMainForm::Timer1Timer() {
  sbStatusPanel[1]->setText(
      QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd H:mm:ss")));
}

void TfMainForm::YYYYMMDD1Click() {
  OraMainSes.DateFormatString = DateFormatYMD;
  YYYYMMDD1->setChecked(true);
  YYYYMMDDHH24MISS1->setChecked(false);
}

void TfMainForm::YYYYMMDDHH24MISS1Click() {
  OraMainSes.DateFormatString = DateFormatYMDHNS;
  YYYYMMDDHH24MISS1->setChecked(true);
  YYYYMMDD1->setChecked(false);
}

void TfMainForm::Cascade1Click() {
  // The toolkit's cascade shrinks every window to its smallest size; here each keeps the size of
  // a new query window, as far as the frame has room for it.
  QList<QMdiSubWindow*> subs;
  for (QMdiSubWindow* sub : MDIArea->subWindowList(QMdiArea::StackingOrder))
    if (sub->isVisible() && !sub->isMinimized())
      subs << sub;
  if (subs.isEmpty())
    return;
  const QRect area = MDIArea->viewport()->rect();
  const int step = std::max(16, subs.first()->height() - subs.first()->widget()->height());
  const int shift = step * static_cast<int>(subs.size() - 1);
  const int w =
      std::clamp(area.width() - shift, std::min(area.width(), 240), int(TfMain::DesignWidth));
  const int h =
      std::clamp(area.height() - shift, std::min(area.height(), 160), int(TfMain::DesignHeight));
  int offset = 0;
  for (QMdiSubWindow* sub : subs) {
    if (sub->isMaximized())
      sub->showNormal();
    sub->setGeometry(offset % std::max(1, area.width() - w + 1),
                     offset % std::max(1, area.height() - h + 1), w, h);
    sub->raise();
    offset += step;
  }
}

void TfMainForm::Tile1Click() { MDIArea->tileSubWindows(); }

void TfMainForm::sbToTryClick() {
  if (!TTrayIcon::Available()) {
    Msg::Error(QStringLiteral("タスクトレイにアイコンを登録できません。"));
    return;
  }
  hide();
}

void TfMainForm::TrayIconClick() {
  show();
  TrayIcon->SetVisible(false);
}

void TfMainForm::N12Click() {
  TrayIcon->SetVisible(false);
  show();
}

void TfMainForm::Exit2Click() { close(); }

void TfMainForm::PopupMenu1Popup() {
  if (QTreeWidgetItem* node = tvTable->currentItem())
    tvTable->setCurrentItem(node);
}

void TfMainForm::sbViewVersionClick() {
  auto* dlg = new TfVersion(this);
  dlg->Version->setText(QStringLiteral(" Version : ") + FVersion);
  dlg->Execute();
  delete dlg;
}

// ---------------------------------------------------------------------------------------------
// Connection

void TfMainForm::LoadLogonParams() {
  OraMainSes.UserName = RegMan.ItemByName(QStringLiteral("USERNAME"))->ReadString().toStdString();
  OraMainSes.UserHost = RegMan.ItemByName(QStringLiteral("HOST"))->ReadString().toStdString();
}

void TfMainForm::SaveLogonParams() {
  // A password typed as "user/password" in the user field is not stored.
  const QString user = QString::fromStdString(OraMainSes.UserName).section(u'/', 0, 0);
  RegMan.ItemByName(QStringLiteral("USERNAME"))->WriteString(user);
  RegMan.ItemByName(QStringLiteral("HOST"))
      ->WriteString(QString::fromStdString(OraMainSes.UserHost));
}

bool TfMainForm::ConnectSession() {
  FLogonTried = false;
  bool ok = false;
  try {
    ok = OraMainSes.Connect();
  } catch (const DLLAddressErr& e) {
    Msg::Error(QString::fromUtf8(e.what()));
    return false;
  }
  // A refused logon would otherwise pass without a word.
  if (!ok && FLogonTried && OraMainSes.ReturnCode() != 0)
    Msg::Error(QStringLiteral("エラーが発生しました。 ORA_ERR:") +
               QString::fromStdString(OraMainSes.GetErrorMessage(OraMainSes.ReturnCode())));
  return ok;
}

bool TfMainForm::StoredLogon() {
  LoadLogonParams();
  if (ConnectSession())
    SaveLogonParams();
  return OraMainSes.Connected();
}

void TfMainForm::SetKO1(bool connected) {
  KO1->setText(connected ? QStringLiteral("切断(&D)") : QStringLiteral("接続(&O)"));
  KO1Click = connected ? &TfMainForm::sbDisconnectClick : &TfMainForm::sbConnectClick;
}

void TfMainForm::sbConnectClick() {
  if (OraMainSes.Connected())
    return;
  SetStatusText(QString::fromUtf8(ConnectingText));
  LoadLogonParams();
  if (!ConnectSession())
    return;
  ShowConnected();
}

void TfMainForm::ShowConnected() {
  SetKO1(true);
  K1->setChecked(false);
  pnlTool->hide();
  sbConnect->setEnabled(false);
  sbDisconnect->setEnabled(true);
  SaveLogonParams();
}

void TfMainForm::sbDisconnectClick() {
  OraMainSes.UserName.clear();
  OraMainSes.UserPass.clear();
  OraMainSes.UserHost.clear();
  if (OraMainSes.Connected()) {
    OraMainSes.Disconnect();
    SetKO1(false);
    sbConnect->setEnabled(true);
    sbDisconnect->setEnabled(false);
  } else {
    // The connection was lost behind the window's back: log on instead.
    FReconnected = true;
    LoadLogonParams();
    if (!ConnectSession())
      return;
    ShowConnected();
  }
  K1->setChecked(false);
  pnlTool->hide();
  sbProp->setEnabled(false);
  SetStatusText(QString());
}

// ---------------------------------------------------------------------------------------------
// Schema tree

namespace {

enum TTreeImage { imgFolder = 0, imgFolderOpen = 1, imgUser = 2, imgColumn = 3, imgObject = 4 };

const char* const ColumnQuery =
    "SELECT   COLUMN_NAME                   FROM  COLS                          WHERE "
    "TABLE_NAME = '%s'         ";

bool HasOpenImage(const QString& text) {
  return text == QLatin1String("TABLES") || text == QLatin1String("TRIGGERS") ||
         text == QLatin1String("VIEWS");
}

} // namespace

QTreeWidgetItem* TfMainForm::SelectedNode() const {
  const QList<QTreeWidgetItem*> selected = tvTable->selectedItems();
  return selected.isEmpty() ? nullptr : selected.first();
}

void TfMainForm::sbViewTableClick() {
  if (K1->isChecked()) {
    KO1->setText(QStringLiteral("切断(&D)"));
    K1->setChecked(false);
    pnlTool->hide();
    sbConnect->setEnabled(false);
    sbDisconnect->setEnabled(true);
    return;
  }
  K1->setChecked(true);
  if (!OraMainSes.Connected()) {
    SetStatusText(QString::fromUtf8(ConnectingText));
    if (!StoredLogon())
      return;
    sbConnect->setEnabled(false);
    sbDisconnect->setEnabled(true);
  }
  SetStatusText(QStringLiteral("テーブルリスト取得"));
  FCursorError = false;

  tvTable->setUpdatesEnabled(false);
  tvTable->clearSelection();
  tvTable->clear();
  tvTable->setUpdatesEnabled(true);

  auto* root = new QTreeWidgetItem(tvTable, {QString::fromStdString(OraMainSes.LogonUser())});
  root->setIcon(0, ImageList1.value(imgUser));
  FillCategory(root, "TABLES", "SELECT TABLE_NAME FROM USER_TABLES ");
  FillCategory(root, "VIEWS", "SELECT VIEW_NAME, TEXT   FROM USER_VIEWS      ");
  FillCategory(root, "TRIGGERS", "SELECT TRIGGER_NAME FROM USER_TRIGGERS ");
  FillCategory(root, "PACKAGES", "SELECT DISTINCT NAME FROM USER_SOURCE   WHERE TYPE='PACKAGE'");
  FillCategory(root, "PROCEDURES",
               "SELECT DISTINCT NAME FROM USER_SOURCE   WHERE TYPE='PROCEDURE'");
  FillCategory(root, "FUNCTIONS", "SELECT DISTINCT NAME FROM USER_SOURCE   WHERE TYPE='FUNCTION'");

  tvTable->setVisible(true);
  OraCursorTable.Close();
  pnlTool->show();
  SetStatusText(QString());
}

void TfMainForm::FillCategory(QTreeWidgetItem* root, const char* category, const char* query) {
  const QString name = QString::fromLatin1(category);
  auto* node = new QTreeWidgetItem(root, {name});
  node->setIcon(0, ImageList1.value(imgFolder));
  TOraCursor& cur = OraCursorTable;
  cur.Open();
  cur.SQL() = {query};
  if (!(cur.ParseQuiet() && cur.DescribeFields() && cur.Exec()) || cur.FieldCount() == 0) {
    cur.Close();
    return;
  }
  const bool withColumns = name == QLatin1String("TABLES") || name == QLatin1String("VIEWS");
  tvTable->setUpdatesEnabled(false);
  while (cur.Fetch()) {
    auto* object =
        new QTreeWidgetItem(node, {QString::fromStdString(cur.Fields(0)->GetAsString(0))});
    object->setIcon(0, ImageList1.value(imgObject));
    if (withColumns)
      new QTreeWidgetItem(object, {QString()});
  }
  tvTable->setUpdatesEnabled(true);
  cur.Close();
}

void TfMainForm::tvTableExpanding(QTreeWidgetItem* node) {
  if (!node)
    return;
  if (HasOpenImage(node->text(0)))
    node->setIcon(0, ImageList1.value(imgFolderOpen));
  QTreeWidgetItem* first = node->child(0);
  if (!first || !first->text(0).isEmpty())
    return;
  // Quotes in the name are doubled, so a name holding one still lists its columns.
  const QString sql =
      QString::fromLatin1(ColumnQuery).replace(QLatin1String("%s"), OraEscape(node->text(0)));
  TOraCursor& cur = OraCursorField;
  cur.Open();
  cur.SQL() = {sql.toStdString()};
  const bool ok = cur.ParseQuiet() && cur.DescribeFields() && cur.Exec() && cur.FieldCount() > 0;
  tvTable->setUpdatesEnabled(false);
  delete first;
  while (ok && cur.Fetch()) {
    auto* column =
        new QTreeWidgetItem(node, {QString::fromStdString(cur.Fields(0)->GetAsString(0))});
    column->setIcon(0, ImageList1.value(imgColumn));
  }
  tvTable->setUpdatesEnabled(true);
  cur.Close();
}

void TfMainForm::tvTableCollapsing(QTreeWidgetItem* node) {
  if (node && HasOpenImage(node->text(0)))
    node->setIcon(0, ImageList1.value(imgFolder));
}

void TfMainForm::tvTableChange() {
  QTreeWidgetItem* node = SelectedNode();
  if (!node) {
    SetObjectCommands(false);
    return;
  }
  if (node->text(0).toUpper() == QString::fromStdString(OraMainSes.LogonUser()).toUpper())
    return;
  static const QStringList categories = {"TABLES",     "TRIGGERS",  "PACKAGES",
                                         "PROCEDURES", "FUNCTIONS", "VIEWS"};
  QTreeWidgetItem* parent = node->parent();
  SetObjectCommands(parent && categories.contains(parent->text(0)));
}

// ---------------------------------------------------------------------------------------------
// Query windows

void TfMainForm::sbNewQueryClick() {
  auto* form = new TfMain(*this, this);
  QMdiSubWindow* sub = MDIArea->addSubWindow(form);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->resize(TfMain::DesignWidth, TfMain::DesignHeight);
  form->show();
}

QList<TfMain*> TfMainForm::QueryWindows() const {
  QList<TfMain*> list;
  for (QMdiSubWindow* sub : MDIArea->subWindowList(QMdiArea::CreationOrder))
    if (auto* form = qobject_cast<TfMain*>(sub->widget()))
      list << form;
  return list;
}

TfMain* TfMainForm::ActiveQueryWindow() const {
  QMdiSubWindow* sub = MDIArea->activeSubWindow();
  if (!sub)
    sub = MDIArea->currentSubWindow();
  return sub ? qobject_cast<TfMain*>(sub->widget()) : nullptr;
}

void TfMainForm::AddHistory(const QString& text) {
  for (int i = 0; i < SQLHistory->count(); ++i)
    if (SQLHistory->item(i)->text() == text)
      return;
  SQLHistory->addItem(text);
}

TSchemaNode TfMainForm::SelectedObject() const {
  TSchemaNode node;
  if (QTreeWidgetItem* item = SelectedNode()) {
    node.Text = item->text(0);
    node.Parent = item->parent() ? item->parent()->text(0) : QString();
    node.Valid = true;
  }
  return node;
}

bool TfMainForm::DateOnlyFormat() const { return YYYYMMDD1->isChecked(); }

// ---------------------------------------------------------------------------------------------
// SQL*Plus launcher

void TfMainForm::N14Click() {
  Msg::Guarded([this] {
    if (!PlusDir)
      PlusDir = new TfPlusDir(this);
    PlusDir->RegMan = &RegMan;
    PlusDir->Execute();
  });
}

void TfMainForm::sbPLUS33WClick() {
  Msg::Guarded([this] {
    if (!OraMainSes.Connected()) {
      SetStatusText(QString::fromUtf8(ConnectingText));
      if (!StoredLogon())
        return;
      sbConnect->setEnabled(false);
      sbDisconnect->setEnabled(true);
    }
    if (RegMan.ItemByName(QStringLiteral("PLUSW"))->ReadString().isEmpty()) {
      if (!PlusDir)
        PlusDir = new TfPlusDir(this);
      PlusDir->RegMan = &RegMan;
      if (!PlusDir->Execute())
        return;
    }
    PrcCtrl.SetExecFileName(RegMan.ItemByName(QStringLiteral("PLUSW"))->ReadString());
    // Decided by the program that really starts: an empty path keeps the previous one.
    const TLaunchCommand cmd = SqlPlusCommand(
        PrcCtrl.ExecFileName(), QString::fromStdString(OraMainSes.UserName),
        QString::fromStdString(OraMainSes.UserPass), QString::fromStdString(OraMainSes.UserHost));
    PrcCtrl.Cmdline = cmd.Cmdline;
    PrcCtrl.Arguments = cmd.Arguments;
    PrcCtrl.Environment = cmd.Environment;
    if (!PrcCtrl.Execute())
      Msg::Error(QStringLiteral("SQL*PLUSの起動に失敗しました。"));
  });
}

// ---------------------------------------------------------------------------------------------
// SQL history and the query builder

void TfMainForm::CreateHistoryCommands() {
  // The command itself decides the check mark, so the menu's own toggle is taken back first.
  connect(K2, &QAction::triggered, this, [this](bool checked) {
    K2->setChecked(!checked);
    sbViewHistoryClick();
  });
  connect(sbViewHistory, &QToolButton::clicked, this, &TfMainForm::sbViewHistoryClick);
  connect(Q2, &QAction::triggered, this, &TfMainForm::Q2Click);
  connect(Button1, &QPushButton::clicked, this, &TfMainForm::Button1Click);
  connect(SQLHistory, &QListWidget::itemDoubleClicked, this, &TfMainForm::SQLHistoryDblClick);
}

void TfMainForm::Q2Click() {
  Msg::Guarded([this] {
    // A reconnection by the disconnect command is forgotten here, never a reason to do nothing.
    FReconnected = false;
    const TSchemaNode node = SelectedObject();
    if (!node.Valid)
      return;
    SetStatusText(QStringLiteral("フィールド検索中"));
    const QPointer<TfQueryMain> builder = new TfQueryMain(*this, this);
    builder->setWindowTitle(QStringLiteral("クエリEXPRESS : ") + node.Text);
    builder->pnlTable->setText(node.Text);
    if (!OraMainSes.Connected()) {
      LoadLogonParams();
      ConnectSession();
      SaveLogonParams();
    }
    FCursorError = false;
    if (builder)
      builder->LoadFields(OraCursorField, node.Text);
  });
}

void TfMainForm::sbViewHistoryClick() {
  const bool show = pnlHistory->isHidden();
  pnlHistory->setVisible(show);
  K2->setChecked(show);
}

void TfMainForm::SQLHistoryDblClick() {
  QListWidgetItem* item = SQLHistory->currentItem();
  TfMain* query = ActiveQueryWindow();
  if (!item || !item->isSelected() || !query)
    return;
  query->mmSqlStatement->Clear();
  query->mmSqlStatement->SetText(item->text());
  query->mmSqlStatement->setFocus();
}

void TfMainForm::Button1Click() { SQLHistory->clear(); }

// ---------------------------------------------------------------------------------------------
// CSV export and import

void TfMainForm::CreateCsvCommands() {
  sGridCSV = new TSmartGrid(this);
  sGridCSV->setObjectName(QStringLiteral("sGridCSV"));
  sGridCSV->SetFixedRows(0);
  sGridCSV->SetFixedCols(0);
  sGridCSV->hide();

  // Beside the date formats: a heading and the two code pages.
  N16 = new QAction(QStringLiteral("--CSV文字コード--"), N10);
  N16->setObjectName(QStringLiteral("N16"));
  UTF81 = new QAction(QStringLiteral("UTF-8"), N10);
  UTF81->setObjectName(QStringLiteral("UTF81"));
  ShiftJISCP9321 = new QAction(QStringLiteral("Shift-JIS (CP932)"), N10);
  ShiftJISCP9321->setObjectName(QStringLiteral("ShiftJISCP9321"));
  N10->insertActions(SQLPLUS1, {N16, UTF81, ShiftJISCP9321});
  UTF81->setCheckable(true);
  ShiftJISCP9321->setCheckable(true);
  RegMan.RegItems.Add(QStringLiteral("CSVCODE"), QStringLiteral("SESSION"),
                      QStringLiteral("CSVCODE"));
  const QString stored = RegMan.ItemByName(QStringLiteral("CSVCODE"))->ReadString();
  const TFileCode code = stored == QLatin1String("CP932") ? TFileCode::Cp932 : TFileCode::System;
  UTF81->setChecked(code == TFileCode::System);
  ShiftJISCP9321->setChecked(code == TFileCode::Cp932);

  connect(UTF81, &QAction::triggered, this, &TfMainForm::UTF81Click);
  connect(ShiftJISCP9321, &QAction::triggered, this, &TfMainForm::ShiftJISCP9321Click);
  connect(OutCSV, &QAction::triggered, this, &TfMainForm::OutCSVClick);
  connect(N5, &QAction::triggered, this, &TfMainForm::N5Click);
  for (QAction* item : {N6, N7, N8})
    connect(item, &QAction::triggered, this, &TfMainForm::N6Click);
  N5->setEnabled(true);
}

TFileCode TfMainForm::CsvCode() const {
  return ShiftJISCP9321->isChecked() ? TFileCode::Cp932 : TFileCode::System;
}

void TfMainForm::SetCsvCode(TFileCode code) {
  UTF81->setChecked(code == TFileCode::System);
  ShiftJISCP9321->setChecked(code == TFileCode::Cp932);
  RegMan.ItemByName(QStringLiteral("CSVCODE"))
      ->WriteString(code == TFileCode::Cp932 ? QStringLiteral("CP932") : QStringLiteral("UTF-8"));
}

void TfMainForm::UTF81Click() { SetCsvCode(TFileCode::System); }

void TfMainForm::ShiftJISCP9321Click() { SetCsvCode(TFileCode::Cp932); }

TfLOG* TfMainForm::LogWindow() {
  if (!FLogWindow)
    FLogWindow = new TfLOG(this);
  return FLogWindow;
}

TDataToolEnv TfMainForm::ToolEnv() {
  return TDataToolEnv{*this, OraCurExt, FCursorError,
                      [this] {
                        // Both settings items are written whatever the logon's outcome.
                        LoadLogonParams();
                        ConnectSession();
                        SaveLogonParams();
                      },
                      this};
}

void TfMainForm::OutCSVClick() {
  DataTool::TRun run;
  if (!run.Acquired())
    return;
  Msg::Guarded([this] {
    TDataToolEnv env = ToolEnv();
    TCsvExport tool(env);
    tool.Code = CsvCode();
    tool.ExportTable(SaveDialog1);
  });
}

void TfMainForm::N5Click() {
  DataTool::TRun run;
  if (!run.Acquired())
    return;
  Msg::Guarded([this] {
    TDataToolEnv env = ToolEnv();
    TCsvExport tool(env);
    tool.Code = CsvCode();
    tool.SaveGrid(SaveDialog1);
  });
}

void TfMainForm::N6Click() {
  const QString item = sender() ? sender()->objectName() : QStringLiteral("N6");
  DataTool::TRun run;
  if (!run.Acquired())
    return;
  Msg::Guarded([this, item] {
    TDataToolEnv env = ToolEnv();
    TCsvImport tool(env, *sGridCSV, *LogWindow());
    tool.ImportTable(TCsvImport::ModeOf(item), OpenDialog1);
  });
}

// ---------------------------------------------------------------------------------------------
// Dummy data, table script, property viewers

void TfMainForm::CreateObjectToolCommands() {
  connect(CrtDummy, &QAction::triggered, this, &TfMainForm::CrtDummyClick);
  connect(N13, &QAction::triggered, this, &TfMainForm::N13Click);
  connect(Property1, &QAction::triggered, this, &TfMainForm::Property1Click);
  connect(sbProp, &QToolButton::clicked, this, &TfMainForm::Property1Click);
  // Alt+Enter works while the tree has the focus, as the menu it belongs to would.
  Property1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  tvTable->addAction(Property1);
}

TfCrtDummy* TfMainForm::CrtDummyForm() {
  if (!FCrtDummy)
    FCrtDummy = new TfCrtDummy(this);
  return FCrtDummy;
}

void TfMainForm::CrtDummyClick() {
  DataTool::TRun run;
  if (!run.Acquired())
    return;
  Msg::Guarded([this] {
    TDataToolEnv env = ToolEnv();
    TDummyData tool(env, OraCursorField, *CrtDummyForm(), *LogWindow());
    tool.Run();
  });
}

void TfMainForm::N13Click() {
  DataTool::TRun run;
  if (!run.Acquired())
    return;
  Msg::Guarded([this] {
    TDataToolEnv env = ToolEnv();
    TTableScript tool(env);
    tool.Code = CsvCode();
    tool.Run();
  });
}

void TfMainForm::Property1Click() {
  Msg::Guarded([this] {
    const TSchemaNode node = SelectedObject();
    const QString kind = node.Valid ? node.Parent : QString();
    const bool table = kind == QLatin1String("TABLES");
    const bool view = kind == QLatin1String("VIEWS");
    const bool trigger = kind == QLatin1String("TRIGGERS");
    const QString sourceType = TfSourceProp::SourceType(kind);
    if (!table && !view && !trigger && sourceType.isEmpty()) {
      Msg::Show(QStringLiteral("テーブル、ビュー、ＰＬ／ＳＱＬを選択してください"));
      return;
    }
    // Every viewer reads the dictionary, so each logs on first when needed; a logon that
    // fails leaves the viewer empty.
    if (!OraMainSes.Connected()) {
      LoadLogonParams();
      ConnectSession();
    }
    if (table || view) {
      std::unique_ptr<TfTableProp> viewer(new TfTableProp(*this, this));
      viewer->sgrTable->ClearRows();
      viewer->memViewSource->Clear();
      if (view)
        viewer->LoadViewText(OraCursorField, node.Text);
      FCursorError = false;
      viewer->LoadTableInfo(OraCursorField, node.Text,
                            QString::fromStdString(OraMainSes.LogonUser()));
      viewer->LoadColumns(OraCursorField, node.Text);
      viewer.release()->show();
    } else {
      std::unique_ptr<TfSourceProp> viewer(new TfSourceProp(*this, this));
      viewer->memViewSource->Clear();
      if (trigger)
        viewer->LoadTrigger(OraCursorField, node.Text);
      else
        viewer->LoadSource(OraCursorField, node.Text, sourceType);
      viewer.release()->show();
    }
  });
}
