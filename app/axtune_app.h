// The application object: chooses the language (Qt's own dialogs follow it), draws the shared icons,
// sets up the simulated drive when asked, and runs the main window for the whole run.
#pragma once

#include <QString>

#include "app/app_options.h"

namespace axtune {

class CAxtuneApp {
 public:
  CAxtuneApp(int argc, char** argv);

  // Everything from start to exit; returns the process exit code. Call with a QApplication alive.
  int Run();

  const AppOptions& Options() const { return options_; }
  // The help file the help commands open (the bundled manual stands for it).
  static QString HelpFile() { return QStringLiteral("Axtune.chm"); }

  // Prints the --help text; also used before a QApplication exists.
  static void PrintUsage();

 private:
  void InstallTranslations();
  AppOptions options_;
};

}  // namespace axtune
