#include "app/switch_on_prompt.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "core/firmware_update.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextPrompt = 42172;
constexpr int kTextRateLabel = 42173;
constexpr int kTextRateDefault = 42174;
constexpr int kTextRateSafe = 42175;
constexpr int kTextRate = 42176;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}
}  // namespace

CSwitchOnPrompt::CSwitchOnPrompt(const QString& title, int baud, QWidget* progressWindow)
    : QDialog(progressWindow) {
  setObjectName(QStringLiteral("CSwitchOnPrompt"));
  setWindowTitle(title);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(PromptText(), this);
  text->setObjectName(kTextId);
  text->setWordWrap(true);
  layout->addWidget(text);

  rate_ = new QComboBox(this);
  rate_->setObjectName(kRateId);
  for (int rate : OfferedRates()) {
    const int id = rate == kDefaultKernelBaud ? kTextRateDefault
                   : rate == kFallbackBaud    ? kTextRateSafe
                                              : kTextRate;
    rate_->addItem(Tr(id).arg(rate), rate);
  }
  const int index = rate_->findData(baud);
  rate_->setCurrentIndex(index >= 0 ? index : rate_->findData(kDefaultKernelBaud));
  auto* form = new QFormLayout;
  form->addRow(Tr(kTextRateLabel), rate_);
  layout->addLayout(form);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  adjustSize();

  // Below the progress window (above it when the screen ends first), never over its steps.
  if (progressWindow != nullptr) {
    const QRect steps = progressWindow->frameGeometry();
    QPoint at(steps.left(), steps.bottom() + 8);
    if (const QScreen* screen = progressWindow->screen()) {
      const QRect free = screen->availableGeometry();
      if (at.y() + height() > free.bottom()) at.setY(std::max(free.top(), steps.top() - height() - 40));
    }
    move(at);
  }
}

int CSwitchOnPrompt::ChosenBaud() const {
  return rate_->currentData().toInt();
}

QList<int> CSwitchOnPrompt::OfferedRates() {
  return {115200, 57600, 38400, 19200};
}

QString CSwitchOnPrompt::PromptText() {
  return Tr(kTextPrompt);
}

}  // namespace axtune
