#include "report/report_pdf.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/save_target.h"

namespace axtune {

namespace {

// The off-screen platform complains about a missing runtime folder it never needs here.
void QuietHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtDebugMsg || type == QtInfoMsg || message.contains(QStringLiteral("XDG_RUNTIME_DIR"))) return;
  std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

}  // namespace

bool WriteHtmlAsPdf(const std::string& html, const std::string& path, std::string& error) {
  std::unique_ptr<QGuiApplication> ownApp;
  if (QCoreApplication::instance() == nullptr) {
    qInstallMessageHandler(QuietHandler);
    // A command-line program: fonts and layout need a GUI application, but never a display.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "axtune-cli";
    static char* argv[] = {name, nullptr};
    ownApp = std::make_unique<QGuiApplication>(argc, argv);
  } else if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
    error = "a PDF needs a GUI application object; write HTML instead";
    return false;
  }
  // Printed into memory and handed to the one atomic writer: a full disk or a failed write leaves
  // the old file and says why (QPdfWriter itself reports no write error).
  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(QStringLiteral("Axtune"));
    writer.setCreator(QStringLiteral("Axtune"));
    QTextDocument document;
    document.setHtml(QString::fromStdString(html));
    document.print(&writer);
  }
  const FileWriteResult written =
      WriteBytesAtomically(path, bytes.constData(), static_cast<size_t>(bytes.size()));
  if (!written.ok) error = written.reason;
  return written.ok;
}

}  // namespace axtune
