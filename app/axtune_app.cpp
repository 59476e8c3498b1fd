#include "app/axtune_app.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QTimer>
#include <QTranslator>
#include <cstdio>

#include "app/axtune_dlg.h"
#include "app/command_ids.h"
#include "app/shared_icons.h"
#include "app/simulation.h"
#include "app/trend_window.h"
#include "res/strings.h"

namespace axtune {

namespace {

bool SaveScreenshot(const QPixmap& picture, const QString& file) {
  const bool saved = picture.save(file);
  std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "could not write",
               file.toLocal8Bit().constData());
  return saved;
}

QPixmap WithPortMenu(CAxtuneDlg& dialog) {
  QPixmap picture = dialog.grab();
  QAction* first = dialog.CommandAction(kCommandPortFirst);
  auto* menu = first ? qobject_cast<QMenu*>(first->parent()) : nullptr;
  if (menu == nullptr) return picture;
  menu->adjustSize();
  const QRect title = dialog.menuBar()->actionGeometry(menu->menuAction());
  const QPoint at = dialog.menuBar()->mapTo(&dialog, title.bottomLeft() + QPoint(0, 1));
  QPainter painter(&picture);
  painter.drawPixmap(at, menu->grab());
  return picture;
}

}  // namespace

CAxtuneApp::CAxtuneApp(int argc, char** argv) : options_(ParseAppOptions(argc, argv)) {}

void CAxtuneApp::PrintUsage() {
  std::fputs(Text(40040), stdout);
}

void CAxtuneApp::InstallTranslations() {
  SetLanguage(options_.language);
  const bool german = options_.language == Language::German;
  QLocale::setDefault(QLocale(german ? QLocale::German : QLocale::English,
                              german ? QLocale::Germany : QLocale::UnitedStates));
  if (!german) return;
  // Qt's own dialogs (file dialogs, message box buttons) in German as well.
  auto* translator = new QTranslator(qApp);
  if (translator->load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator);
  } else {
    delete translator;
  }
}

int CAxtuneApp::Run() {
  InstallTranslations();
  for (const std::string& option : options_.ignored) {
    std::fprintf(stderr, Text(40041), option.c_str());
    std::fputc('\n', stderr);
  }
  if (options_.simulate) {
    std::string error;
    if (options_.simProcessor != "F2808" && options_.simProcessor != "F28335") {
      std::fprintf(stderr, "axtune: --sim-processor takes F2808 or F28335, not \"%s\"\n",
                   options_.simProcessor.c_str());
      return 1;
    }
    if (!StartSimulation(&error, options_.simProcessor)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
  }
  LoadSharedIcons();

  CAxtuneDlg dialog;
  if (options_.simulate) {
    dialog.setWindowTitle(QStringLiteral("Axtune - %1").arg(QString::fromUtf8(Text(40023))));
    dialog.SetStartupPort(kSimulatedPortSlot);
    // The simulated cable can be pulled and plugged back, to see a lost drive without hardware.
    QMenu* simulation = dialog.menuBar()->addMenu(QString::fromUtf8(Text(40044)));
    QAction* pulled = simulation->addAction(QString::fromUtf8(Text(40045)));
    pulled->setCheckable(true);
    QObject::connect(pulled, &QAction::toggled, [](bool on) { SetSimulatedCablePulled(on); });
  }
  bool screenshotFailed = false;
  if (!options_.screenshot.empty()) {
    const QString file = QString::fromStdString(options_.screenshot);
    QObject::connect(&dialog, &CAxtuneDlg::StartupFinished, &dialog, [&dialog, file, &screenshotFailed] {
      // Let the status bar poll a few times before the picture is taken.
      QTimer::singleShot(1500, &dialog, [&dialog, file, &screenshotFailed] {
        if (!SaveScreenshot(dialog.grab(), file)) screenshotFailed = true;
        // A second picture with the port menu open, as it drops down under its title.
        if (!SaveScreenshot(WithPortMenu(dialog), QString(file).replace(".png", "_ports.png")))
          screenshotFailed = true;
        dialog.close();
      });
    });
  }
  if (options_.trendMs > 0) {
    const int ms = options_.trendMs;
    const double minutes = options_.trendHistoryMinutes;
    QObject::connect(&dialog, &CAxtuneDlg::StartupFinished, &dialog, [&dialog, ms, minutes] {
      dialog.Trend()->setIntervalMs(ms);
      if (minutes > 0) dialog.Trend()->fillHistory(minutes * 60, ms);
      dialog.OnTrend();
    });
  }
  dialog.show();
  dialog.ConnectWhenPainted();
  const int code = QApplication::exec();
  dialog.Shutdown();
  // A script that asked for a picture must learn that there is none.
  return screenshotFailed && code == 0 ? 1 : code;
}

}  // namespace axtune
