#include "app/assistant/finish_step.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/assistant/assistant_window.h"
#include "app/axtune_dlg.h"
#include "app/parameter_report_commands.h"
#include "app/save_parameters_command.h"

namespace axtune {
namespace {

constexpr int kTextTitle = 56120, kTextInstruction = 56121, kTextStore = 56122, kTextSave = 56123;
constexpr int kTextReport = 56124, kTextStored = 56125, kTextNotStoredYet = 56126, kTextSaved = 56127;
constexpr int kTextNotSavedYet = 56128, kTextReportWritten = 56129, kTextNoReportYet = 56130;
constexpr int kTextStoredCheck = 56131;

}  // namespace

FinishStep::FinishStep(CommissioningAssistant& assistant)
    : AssistantStepPage(assistant, AssistantStep::Finish, kTextTitle, kTextInstruction) {
  auto* grid = new QGridLayout;
  auto add = [&](int row, int textId, const char* name, QPushButton*& button, QLabel*& state) {
    button = new QPushButton(AssistantText(textId), this);
    button->setObjectName(QString::fromLatin1(name));
    state = new QLabel(this);
    state->setWordWrap(true);
    grid->addWidget(button, row, 0);
    grid->addWidget(state, row, 1);
  };
  add(0, kTextStore, "store", store_, storeState_);
  add(1, kTextSave, "save", save_, saveState_);
  add(2, kTextReport, "report", report_, reportState_);
  grid->setColumnStretch(1, 1);
  Body()->addLayout(grid);
  Body()->addSpacing(8);
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("summary"));
  summary_->setWordWrap(true);
  Body()->addWidget(summary_);
  connect(store_, &QPushButton::clicked, this, &FinishStep::Store);
  connect(save_, &QPushButton::clicked, this, &FinishStep::SaveFile);
  connect(report_, &QPushButton::clicked, this, &FinishStep::WriteReport);
}

void FinishStep::initializePage() {
  ShowDone();
}

QString FinishStep::SummaryText() const {
  QStringList lines;
  for (const CommissioningCheck& c : Assistant().Checks().InStepOrder()) {
    lines << QStringLiteral("%1 %2: %3")
                 .arg(c.passed ? QStringLiteral("\u2714") : QStringLiteral("\u2717"),
                      QString::fromStdString(c.step), QString::fromStdString(c.confirmed));
  }
  return lines.join('\n');
}

void FinishStep::ShowDone() {
  // The main window's commands leave it active (their dialogs are its own): the keyboard comes
  // back to the assistant.
  Assistant().raise();
  Assistant().activateWindow();
  summary_->setText(SummaryText());
  storeState_->setText(
      AssistantText(Assistant().UnstoredWrites() || !stored_ ? kTextNotStoredYet : kTextStored));
  const QString saved = Assistant().SavedFile(), report = Assistant().ReportFile();
  saveState_->setText(saved.isEmpty() ? AssistantText(kTextNotSavedYet)
                                      : AssistantText(kTextSaved).arg(QDir::toNativeSeparators(saved)));
  reportState_->setText(report.isEmpty()
                            ? AssistantText(kTextNoReportYet)
                            : AssistantText(kTextReportWritten).arg(QDir::toNativeSeparators(report)));
}

QString FinishStep::ProposedFileName() const {
  const std::string name =
      ProposedParameterFileName(field(QStringLiteral("machine")).toString().toStdString(),
                                field(QStringLiteral("axis")).toString().toStdString());
  return QString::fromStdString(name);
}

bool FinishStep::Store() {
  if (!Assistant().Window().OnStoreParameters()) return false;
  stored_ = true;
  Assistant().NoteStored();
  RecordFinish();
  ShowDone();
  return true;
}

QString FinishStep::SaveFile() {
  const QString path = RunSaveParametersCommand(Assistant().Window(), ProposedFileName());
  if (!path.isEmpty()) {
    Assistant().NoteSavedFile(path);
    RecordFinish();
  }
  ShowDone();
  return path;
}

QString FinishStep::WriteReport() {
  QString proposed = ProposedFileName();
  if (!proposed.isEmpty()) proposed = QFileInfo(proposed).completeBaseName() + QStringLiteral(".pdf");
  // A check done before a user was entered (File -> User) is signed by whoever writes the report.
  std::vector<CommissioningCheck> checks = Assistant().Checks().InStepOrder();
  const std::string user = Assistant().Window().CurrentUser().name.toStdString();
  for (CommissioningCheck& check : checks)
    if (check.by.empty()) check.by = user;
  const QString path = RunReportCommand(Assistant().Window(), checks, proposed);
  if (!path.isEmpty()) Assistant().NoteReportFile(path);
  ShowDone();
  return path;
}

void FinishStep::RecordFinish() {
  QStringList values;
  if (stored_) values << AssistantText(kTextStoredCheck);
  if (!Assistant().SavedFile().isEmpty())
    values << AssistantText(kTextSaved).arg(QFileInfo(Assistant().SavedFile()).fileName());
  const bool stored = stored_ && !Assistant().UnstoredWrites();
  Assistant().RecordCheck(AssistantStep::Finish, values.join(QStringLiteral("; ")),
                          AssistantText(stored ? kTextStored : kTextNotStoredYet), stored);
}

bool FinishStep::validatePage() {
  return true;
}

}  // namespace axtune
