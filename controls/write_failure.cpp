#include "controls/write_failure.h"

#include <QString>

#include "controls/message_box.h"
#include "controls/write_failure_text.h"
#include "link/drive_link.h"

namespace axtune {
namespace {
bool g_showing = false;
}

void ReportWriteFailure(QWidget* owner) {
  if (g_showing) return;
  g_showing = true;
  ShowMessage(owner, QString::fromStdString(WriteFailureText(LinkError.load(), IsLinkOpen())));
  g_showing = false;
}

bool WriteFailureShowing() {
  return g_showing;
}

}  // namespace axtune
