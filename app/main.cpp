// axtune: the commissioning tool's window.
#include <QApplication>
#include <cstring>

#include "app/axtune_app.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    // Answer --help before Qt looks for a display, so it also works without one.
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ||
        std::strcmp(argv[i], "/?") == 0) {
      axtune::CAxtuneApp app(argc, argv);
      axtune::SetLanguage(app.Options().language);
      axtune::CAxtuneApp::PrintUsage();
      return 0;
    }
  }
  QApplication qt(argc, argv);
  axtune::CAxtuneApp app(argc, argv);
  return app.Run();
}
