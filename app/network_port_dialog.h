// "Port Select -> Network Port...": the user types host:port of a device server (RFC 2217), the
// dialog checks it (connects and says what answered) and, on Connect, puts it on a free port slot
// that remembers it, with the network ports used last offered in the list.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "app/network_port_check.h"
#include "app/port_memory.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace axtune {

class CNetworkPortDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CNetworkPortDialog(QWidget* parent = nullptr, const std::string& memoryPath = kPortMemoryFile);

  // The slot the port went on after Connect (1..12); 0 before.
  int ChosenSlot() const { return chosenSlot_; }
  QString ResultText() const;
  bool Checking() const { return checking_; }

  static constexpr const char* kAddressName = "networkAddress";
  static constexpr const char* kResultName = "networkCheckResult";
  static constexpr const char* kCheckName = "networkCheck";
  static constexpr const char* kConnectName = "networkConnect";

 signals:
  // A check ended (its text is in ResultText()).
  void CheckFinished();

 private:
  // Checks on a worker thread so that the window keeps painting through a network timeout; then
  // `then` runs on the GUI thread with the result.
  void StartCheck(bool connectAfter);
  void Finish(const NetworkPortCheck& check, bool connectAfter);
  void SetBusy(bool busy);

  std::string memoryPath_;
  QComboBox* address_ = nullptr;
  QLabel* result_ = nullptr;
  QPushButton* check_ = nullptr;
  QPushButton* connect_ = nullptr;
  int chosenSlot_ = 0;
  bool checking_ = false;
};

}  // namespace axtune
