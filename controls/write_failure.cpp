#include "controls/write_failure.h"

#include <QString>

#include "controls/message_box.h"
#include "controls/write_failure_text.h"
#include "controls/written_note.h"
#include "link/drive_link.h"
#include "res/strings.h"

namespace axtune {
namespace {
bool g_showing = false;
constexpr int kTextNamed = 51008;
}  // namespace

void ReportWriteFailure(QWidget* owner) {
  if (g_showing) return;
  g_showing = true;
  // The box names the value that was not written: the user may have moved on since.
  QString text = QString::fromStdString(WriteFailureText(LinkError.load(), IsLinkOpen()));
  const QString caption = ControlCaption(owner);
  if (!caption.isEmpty()) text = QString::fromUtf8(Text(kTextNamed)).arg(caption, text);
  ShowMessage(owner, text);
  g_showing = false;
}

bool WriteFailureShowing() {
  return g_showing;
}

}  // namespace axtune
