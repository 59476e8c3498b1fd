// axtune: the commissioning tool's window.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "app/axtune_app.h"
#include "axtune_version.h"
#include "res/strings.h"

namespace {

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// On X11/Wayland systems Qt aborts with a platform-plugin error when there is no display; say
// plainly what is missing and how to run anyway.
bool DisplayAvailable(int argc, char** argv) {
#if defined(__linux__) || defined(__FreeBSD__)
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0) return true;
  }
  return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM");
#else
  (void)argc;
  (void)argv;
  return true;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  axtune::CAxtuneApp options(argc, argv);
  axtune::SetLanguage(options.Options().language);
  if (options.Options().version) {
    std::printf("axtune %s\n", AXTUNE_VERSION);
    return 0;
  }
  if (options.Options().help) {
    // Answered before Qt looks for a display, so it also works without one.
    axtune::CAxtuneApp::PrintUsage();
    return 0;
  }
  if (!DisplayAvailable(argc, argv)) {
    std::fprintf(stderr, "%s\n", axtune::Text(40043));
    return 1;
  }
  QApplication qt(argc, argv);
  axtune::CAxtuneApp app(argc, argv);
  // The commands handle their own failures; this net turns anything a library still throws into a
  // message and exit code 3 instead of an abort.
  try {
    return app.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "axtune: stopped: %s\n", e.what());
    return 3;
  }
}
