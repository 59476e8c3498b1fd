#include "app/network_port_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <cstdio>

#include "link/port_slots.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextTitle = 55011;
constexpr int kTextAddress = 55012;
constexpr int kTextCheck = 55013;
constexpr int kTextConnect = 55014;
constexpr int kTextCancel = 55015;
constexpr int kTextConnecting = 55016;
constexpr int kTextNoFreeSlot = 55021;
constexpr int kTextHistory = 55024;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}
}  // namespace

CNetworkPortDialog::CNetworkPortDialog(QWidget* parent, const std::string& memoryPath)
    : QDialog(parent), memoryPath_(memoryPath) {
  setObjectName(QStringLiteral("CNetworkPortDialog"));
  setWindowTitle(Tr(kTextTitle));
  // Wide enough that "answered: drive QMX10-BA, firmware ..." stays on one line.
  setMinimumWidth(fontMetrics().averageCharWidth() * 64);
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(Tr(kTextAddress), this);
  layout->addWidget(label);
  address_ = new QComboBox(this);
  address_->setObjectName(QString::fromLatin1(kAddressName));
  address_->setEditable(true);
  address_->setInsertPolicy(QComboBox::NoInsert);
  address_->setMinimumContentsLength(28);
  for (const std::string& port : ReadNetworkPortHistory(memoryPath_))
    address_->addItem(QString::fromStdString(port));
  if (address_->count() > 0) address_->setToolTip(Tr(kTextHistory));
  address_->lineEdit()->setPlaceholderText(QStringLiteral("192.168.0.20:4001"));
  label->setBuddy(address_);
  layout->addWidget(address_);

  result_ = new QLabel(this);
  result_->setObjectName(QString::fromLatin1(kResultName));
  result_->setWordWrap(true);
  result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  result_->setMinimumHeight(result_->fontMetrics().height() * 2);
  result_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout->addWidget(result_);

  auto* buttons = new QDialogButtonBox(this);
  check_ = buttons->addButton(Tr(kTextCheck), QDialogButtonBox::ActionRole);
  check_->setObjectName(QString::fromLatin1(kCheckName));
  connect_ = buttons->addButton(Tr(kTextConnect), QDialogButtonBox::AcceptRole);
  connect_->setObjectName(QString::fromLatin1(kConnectName));
  connect_->setDefault(true);
  buttons->addButton(Tr(kTextCancel), QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  connect(check_, &QPushButton::clicked, this, [this] { StartCheck(false); });
  // Connect checks first; the dialog closes only when the device server answered.
  disconnect(buttons, &QDialogButtonBox::accepted, this, nullptr);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { StartCheck(true); });
  connect(buttons, &QDialogButtonBox::rejected, this, [this] {
    if (!checking_) reject();
  });
}

QString CNetworkPortDialog::ResultText() const {
  return result_->text();
}

void CNetworkPortDialog::SetBusy(bool busy) {
  checking_ = busy;
  check_->setEnabled(!busy);
  connect_->setEnabled(!busy);
  address_->setEnabled(!busy);
  if (busy) {
    QApplication::setOverrideCursor(Qt::BusyCursor);
  } else {
    QApplication::restoreOverrideCursor();
    // The buttons were greyed: the focus goes back to the address, so Enter connects.
    address_->setFocus();
  }
}

void CNetworkPortDialog::StartCheck(bool connectAfter) {
  if (checking_) return;
  const std::string typed = address_->currentText().trimmed().toStdString();
  const std::string url = NetworkPortUrl(typed);
  char line[512];
  std::snprintf(line, sizeof line, Text(kTextConnecting),
                NetworkPortHostPort(url.empty() ? typed : url).c_str());
  result_->setText(QString::fromUtf8(line));
  SetBusy(true);
  QPointer<CNetworkPortDialog> self(this);
  QThread* worker = QThread::create([self, typed, connectAfter] {
    const NetworkPortCheck check = CheckNetworkPort(typed);
    QMetaObject::invokeMethod(qApp, [self, check, connectAfter] {
      if (self) self->Finish(check, connectAfter);
    });
  });
  connect(worker, &QThread::finished, worker, &QObject::deleteLater);
  worker->start();
}

void CNetworkPortDialog::Finish(const NetworkPortCheck& check, bool connectAfter) {
  SetBusy(false);
  result_->setText(QString::fromStdString(check.message));
  // A long reason gets the lines it needs.
  layout()->activate();
  adjustSize();
  if (connectAfter && check.opened) {
    chosenSlot_ = RememberNetworkPort(check.url);
    if (chosenSlot_ == 0) {
      result_->setText(result_->text() + QStringLiteral("\n") + Tr(kTextNoFreeSlot));
    } else {
      WritePortSlotMemory(PortSlotMemory(), memoryPath_);
      RememberNetworkPortUse(NetworkPortHostPort(check.url), memoryPath_);
    }
  }
  emit CheckFinished();
  if (connectAfter && chosenSlot_ != 0) accept();
}

}  // namespace axtune
