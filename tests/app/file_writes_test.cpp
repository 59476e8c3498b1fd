// The files the window writes go through the one atomic writer: on a full disk each kind (Axtune.ini,
// the trend's CSV and PNG, the report as HTML and PDF) fails with the reason and leaves the old file.
#include <gtest/gtest.h>

#include <QFile>
#include <QPixmap>
#include <functional>

#include "app/atomic_image_write.h"
#include "app/parameter_report_commands.h"
#include "app/port_memory.h"
#include "app/trend_window.h"
#include "tests/app/gui_test_support.h"
#include "tests/support/full_disk.h"

namespace axtune {
namespace {

namespace fs = std::filesystem;

struct WindowFileKind {
  const char* name;
  // Writes the kind's content to `path`; false with the reason when the writer tells one.
  std::function<bool(const QString& path, std::string& reason)> write;
};

void PrintTo(const WindowFileKind& kind, std::ostream* os) {
  *os << kind.name;
}

const WindowFileKind kKinds[] = {
    {"AxtuneIni", [](const QString& path, std::string&) { return WritePortMemory(3, path.toStdString()); }},
    {"TrendCsv",
     [](const QString& path, std::string& reason) {
       TrendWindow window;
       QString error;
       const bool ok = window.exportCsv(path, true, &error);
       reason = error.toStdString();
       return ok;
     }},
    {"TrendPng",
     [](const QString& path, std::string& reason) {
       QPixmap picture(64, 64);
       picture.fill(Qt::darkCyan);
       QString error;
       const bool ok = WritePngAtomically(picture, path, &error);
       reason = error.toStdString();
       return ok;
     }},
    {"ReportHtml",
     [](const QString& path, std::string& reason) {
       return WriteReportFile("<html><body>" + std::string(6000, 'x') + "</body></html>", path + ".html",
                              reason);
     }},
    {"ReportPdf",
     [](const QString& path, std::string& reason) {
       return WriteReportFile("<html><body><p>Bericht</p></body></html>", path + ".pdf", reason);
     }},
};

class WindowFileWrites : public testing::GuiTest, public ::testing::WithParamInterface<WindowFileKind> {};

TEST_P(WindowFileWrites, AFullDiskKeepsTheOldFileAndSaysWhy) {
  const fs::path dir = fs::temp_directory_path() / ("axtune_window_writes_" + std::string(GetParam().name));
  fs::remove_all(dir);
  {
    axtune::test::FullDiskFolder disk(dir);
    const fs::path base = disk.path() / "target";
    const std::string suffix = std::string(GetParam().name).rfind("Report", 0) == 0
                                   ? (std::string(GetParam().name) == "ReportPdf" ? ".pdf" : ".html")
                                   : "";
    const fs::path file = base.string() + suffix;
    std::ofstream(file) << "old content\n";
    disk.fill();
    std::string reason;
    EXPECT_FALSE(GetParam().write(QString::fromStdString(base.string()), reason))
        << (disk.mounted() ? "tmpfs" : "injected");
    if (std::string(GetParam().name) != "AxtuneIni") {  // it says only whether it worked
      EXPECT_NE(reason.find("No space left on device"), std::string::npos) << reason;
    }
    EXPECT_EQ(axtune::test::FileText(file), "old content\n");
  }
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Kinds, WindowFileWrites, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace axtune
