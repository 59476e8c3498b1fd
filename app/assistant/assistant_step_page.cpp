#include "app/assistant/assistant_step_page.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/assistant/assistant_window.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextWaiting = 56019;
}

QString AssistantText(int id) {
  return QString::fromUtf8(Text(id));
}

AssistantStepPage::AssistantStepPage(CommissioningAssistant& assistant, AssistantStep step, int titleId,
                                     int instructionId)
    : QWizardPage(&assistant), assistant_(assistant), step_(step) {
  setObjectName(QStringLiteral("step%1").arg(static_cast<int>(step) + 1));
  setTitle(AssistantText(titleId));
  auto* layout = new QVBoxLayout(this);
  waiting_ = new QLabel(AssistantText(kTextWaiting), this);
  waiting_->setObjectName(QStringLiteral("waiting"));
  waiting_->setWordWrap(true);
  waiting_->setStyleSheet(QStringLiteral(
      "QLabel { background: #fff3c4; border: 1px solid #c9a227; padding: 6px; color: #4a3b00; }"));
  waiting_->hide();
  layout->addWidget(waiting_);
  instruction_ = new QLabel(AssistantText(instructionId), this);
  instruction_->setObjectName(QStringLiteral("instruction"));
  instruction_->setWordWrap(true);
  layout->addWidget(instruction_);
  layout->addSpacing(6);
  body_ = new QVBoxLayout;
  layout->addLayout(body_);
  layout->addStretch(1);
}

QString AssistantStepPage::InstructionText() const {
  return instruction_->text();
}

void AssistantStepPage::SetAnswering(bool answering) {
  waiting_->setVisible(!answering);
  OnAnsweringChanged(answering);
}

QLabel* AssistantStepPage::AddText(int id) {
  auto* label = new QLabel(AssistantText(id), this);
  label->setWordWrap(true);
  body_->addWidget(label);
  return label;
}

}  // namespace axtune
