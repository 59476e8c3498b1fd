#include "app/processor_choice_dialog.h"

#include <algorithm>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/firmware_image_fit.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextTitle = 49320;
constexpr int kTextProcessor = 49323;
constexpr int kTextStart = 49324;
constexpr int kTextDoesNotFit = 49325;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}
}  // namespace

CProcessorChoiceDialog::CProcessorChoiceDialog(const QString& reason, const FirmwareFile& file,
                                               const ProcessorFlash* proposed, QWidget* parent)
    : QDialog(parent), file_(file) {
  setWindowTitle(Tr(kTextTitle));
  reason_ = new QLabel(reason, this);
  reason_->setObjectName(QStringLiteral("reason"));
  reason_->setWordWrap(true);
  reason_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  reason_->setMinimumWidth(480);
  processors_ = new QComboBox(this);
  processors_->setObjectName(QStringLiteral("processor"));
  int selected = -1;
  const std::vector<std::string> fitting = ProcessorsThatFit(FitSectionsOf(file));
  for (const ProcessorFlash& processor : KnownProcessors()) {
    const QString name = QString::fromUtf8(processor.name.data(), static_cast<int>(processor.name.size()));
    processors_->addItem(name);
    const bool fits = std::find(fitting.begin(), fitting.end(), std::string(processor.name)) != fitting.end();
    if (&processor == proposed || (proposed == nullptr && selected < 0 && fits))
      selected = processors_->count() - 1;
  }
  processors_->setCurrentIndex(std::max(selected, 0));
  verdict_ = new QLabel(this);
  verdict_->setObjectName(QStringLiteral("verdict"));
  verdict_->setWordWrap(true);

  auto* buttons = new QDialogButtonBox(this);
  start_ = buttons->addButton(Tr(kTextStart), QDialogButtonBox::AcceptRole);
  start_->setObjectName(QStringLiteral("start"));
  QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  cancel->setObjectName(QStringLiteral("cancel"));
  // Enter must not start an erase by accident: Cancel is the default.
  start_->setAutoDefault(false);
  cancel->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(processors_, &QComboBox::currentIndexChanged, this, &CProcessorChoiceDialog::OnChoice);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(reason_);
  auto* form = new QFormLayout;
  form->addRow(Tr(kTextProcessor), processors_);
  layout->addLayout(form);
  layout->addWidget(verdict_);
  layout->addWidget(buttons);
  OnChoice();
}

const ProcessorFlash* CProcessorChoiceDialog::Chosen() const {
  const ProcessorFlash* processor = FindProcessor(processors_->currentText().toStdString());
  if (processor == nullptr || CheckImageFit(file_, processor).problem != FitProblem::None) return nullptr;
  return processor;
}

QString CProcessorChoiceDialog::Reason() const {
  return reason_->text();
}

void CProcessorChoiceDialog::OnChoice() {
  const bool fits = Chosen() != nullptr;
  start_->setEnabled(fits);
  verdict_->setText(fits ? QString() : Tr(kTextDoesNotFit).arg(processors_->currentText()));
}

}  // namespace axtune
