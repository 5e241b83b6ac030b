#include "Startup.h"

#include "VerInfo.h"
#include "uCrtDummy.h"
#include "uFonts.h"
#include "uInit.h"
#include "uLOG.h"
#include "uMainMDI.h"
#include "uMsg.h"
#include "uPictures.h"
#include "uPlusDir.h"
#include "uSrchStr.h"
#include "uVersion.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <memory>

bool InstallToolkitTranslation(QTranslator& translator) {
  const QLocale japanese(QLocale::Japanese, QLocale::Japan);
  for (const QString& dir :
       {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath)})
    if (translator.load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"), dir))
      return QCoreApplication::installTranslator(&translator);
  return false;
}

int TesselMain(int argc, char** argv, TStartupProbe* probe) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tessel3"));
  QApplication::setWindowIcon(ProgramIcon());
  QApplication::setFont(UiFont(12));
  QTranslator qtJapanese;
  InstallToolkitTranslation(qtJapanese);
  // The program ends when the main window closes, not when its last window hides to the tray.
  QApplication::setQuitOnLastWindowClosed(false);

  QString version;
  if (!GetFileVersion(version)) {
    Msg::Error(QStringLiteral("バージョン情報が取得できません."));
    return 1;
  }

  auto splash = std::make_unique<TfInit>();
  splash->Version->setText(version);
  splash->show();
  QApplication::processEvents();

  QElapsedTimer waited;
  waited.start();
  {
    QEventLoop wait;
    QTimer::singleShot(1000, &wait, &QEventLoop::quit);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
  }
  if (probe)
    probe->SplashWaitMs = waited.elapsed();

  auto mainForm = std::make_unique<TfMainForm>();
  fMainForm = mainForm.get();
  auto crtDummy = std::make_unique<TfCrtDummy>();
  mainForm->SetCrtDummyForm(crtDummy.get());
  auto searchString = std::make_unique<TfSearchString>();
  auto log = std::make_unique<TfLOG>();
  mainForm->SetLogWindow(log.get());
  auto plusDir = std::make_unique<TfPlusDir>();
  plusDir->RegMan = &mainForm->RegMan;
  mainForm->PlusDir = plusDir.get();
  mainForm->FVersion = version;
  auto versionDlg = std::make_unique<TfVersion>();
  splash.reset();

  QObject::connect(mainForm.get(), &TfMainForm::Closed, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  mainForm->show();
  if (probe && probe->OnMainShown)
    QTimer::singleShot(0, mainForm.get(), [probe, &mainForm] { probe->OnMainShown(*mainForm); });
  return app.exec();
}
