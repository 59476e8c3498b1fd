// The main window's ports beyond the slot menu: a network port from the dialog, the slots' memory,
// and an adapter pulled out while connected, waited for and taken back without a click.
#include <QAction>
#include <QTimer>
#include <cstdio>

#include "app/axtune_dlg.h"
#include "app/axtune_property_sheet.h"
#include "app/command_ids.h"
#include "app/connection_state_text.h"
#include "app/drive_status_hooks.h"
#include "app/network_port_dialog.h"
#include "app/port_memory.h"
#include "link/drive_link.h"
#include "link/port_slots.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextUnplugged = 55000;
constexpr int kTextWaitingForAdapter = 55001;
constexpr int kTextAdapterBack = 55002;

QString Formatted(int id, const std::string& text) {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, Text(id), text.c_str());
  return QString::fromUtf8(buffer);
}
}  // namespace

void CAxtuneDlg::SavePortSlotMemory() {
  const std::map<int, std::string> memory = PortSlotMemory();
  if (memory == savedSlotMemory_) return;
  // A failed write is not worth a box: the slots hold for this run, and the next change tries again.
  if (WritePortSlotMemory(memory)) savedSlotMemory_ = memory;
}

void CAxtuneDlg::OnNetworkPort() {
  CNetworkPortDialog dialog(this);
  if (dialog.exec() != QDialog::Accepted || dialog.ChosenSlot() == 0) return;
  savedSlotMemory_ = PortSlotMemory();
  const int slot = dialog.ChosenSlot();
  RefreshPortItems();
  if (QAction* action = CommandAction(kCommandPortBase + slot)) action->setEnabled(true);
  OpenPort(slot);
  UpdatePortChecks();
}

void CAxtuneDlg::OnAdapterUnplugged() {
  const int port = checkedPort_;
  goneKey_ = PortSlotInfo(port).key;
  if (goneKey_.empty()) goneKey_ = ResolvePortDevice(PortSlotName(port));
  // The port is dead: close it so that nothing waits on it, and read nothing until the adapter is
  // back. The pages keep what they show.
  watcherStopRequest_ = true;
  connected_ = false;
  adapterGone_ = true;
  SetDriveStatusIdentified(driveStatusBar_, false);
  CloseLink();
  const QString text = QString::fromUtf8(Text(kTextUnplugged));
  SetConnectionState(text + QStringLiteral("\n\n") + Formatted(kTextWaitingForAdapter, PortLabel(port)));
  ShowStatusNote(text);
  UpdateTitle();
  if (adapterRetry_ == nullptr) {
    adapterRetry_ = new QTimer(this);
    connect(adapterRetry_, &QTimer::timeout, this, &CAxtuneDlg::TryAdapterReconnect);
  }
  adapterRetry_->start(adapterRetryMs_);
}

void CAxtuneDlg::StopAdapterWait() {
  if (adapterRetry_ != nullptr) adapterRetry_->stop();
  adapterGone_ = false;
}

void CAxtuneDlg::TryAdapterReconnect() {
  if (!adapterGone_ || shutDown_) {
    StopAdapterWait();
    return;
  }
  const int port = checkedPort_;
  // The same adapter: the slot remembers it and it is there again, under whatever device name.
  const PortSlot slot = PortSlotInfo(port);
  const bool back = !slot.device.empty() && (slot.key == goneKey_ || slot.device == goneKey_);
  if (!back || !OpenLink(PortSlotName(port))) return;  // not yet, or its node is not ready: next time
  StopAdapterWait();
  SavePortSlotMemory();
  ShowStatusNote(Formatted(kTextAdapterBack, PortLabel(port)));
  watcherStopRequest_ = false;
  const int page = sheet_->currentIndex();
  // The user heard about a missing carrier when the drive was first identified; a drive on a line
  // without one (a device server, a terminal) would otherwise ask for a click on every re-plug.
  quietCableWarning_ = !carrierAtIdentification_;
  if (IdentifyDrive()) {
    // The drive is the one it was: the user stays on the page they were on.
    if (page > 0 && page < sheet_->GetPageCount()) sheet_->SetActivePage(page);
  }
  quietCableWarning_ = false;
  for (int n = kFirstPortSlot; n <= kLastPortSlot; ++n) {
    if (QAction* action = CommandAction(kCommandPortBase + n))
      action->setText(QString::fromStdString(PortItemText(n)));
  }
}

}  // namespace axtune
