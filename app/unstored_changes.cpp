#include "app/unstored_changes.h"

#include "app/axtune_dlg.h"
#include "controls/message_box.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextQuestion = 51020;
constexpr int kTextStore = 51021;
constexpr int kTextDiscard = 51022;
constexpr int kTextCancel = 51023;
constexpr int kTextWhyUpdate = 51024;
constexpr int kTextWhyClose = 51025;
constexpr int kTextWhyLoad = 51026;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}
}  // namespace

bool SettleUnstoredChanges(CAxtuneDlg& window, UnstoredReason reason) {
  if (!window.IsModified() || !window.IsConnected()) return true;
  const int why = reason == UnstoredReason::FirmwareUpdate ? kTextWhyUpdate
                  : reason == UnstoredReason::Close        ? kTextWhyClose
                                                           : kTextWhyLoad;
  enum { kStore, kDiscard, kCancel };
  const int answer = AskQuestion(&window, Tr(why) + QStringLiteral("\n\n") + Tr(kTextQuestion),
                                 {Tr(kTextStore), Tr(kTextDiscard), Tr(kTextCancel)}, kCancel);
  if (answer == kDiscard) return true;
  if (answer != kStore) return false;
  window.OnStoreParameters();
  // A store the drive did not confirm said so in its own message; the work is not safe yet.
  return !window.IsModified();
}

}  // namespace axtune
