#include "app/flash_kernel_setting.h"

#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <utility>

#include "app/file_choosers.h"
#include "app/port_memory.h"
#include "controls/message_box.h"
#include "core/flash_kernel_file.h"
#include "link/in_process_port.h"
#include "res/strings.h"

namespace axtune {
namespace {

constexpr int kTextStandInQuestion = 42148;
constexpr int kTextKernelRefused = 42149;
constexpr int kTextKernelSetting = 42160;
constexpr int kTextBuiltIn = 42161;
constexpr int kTextBuiltInStandIn = 42162;
constexpr int kTextChooseFile = 42163;
constexpr int kTextUseBuiltIn = 42164;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}

StandInQuestionHook& QuestionHook() {
  static StandInQuestionHook hook;
  return hook;
}

bool AskStandIn(QWidget* owner, const QString& text) {
  if (QuestionHook()) return QuestionHook()(owner, text);
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Axtune"), text, QMessageBox::Yes | QMessageBox::No,
                  owner);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace

StandInQuestionHook SetStandInQuestionHook(StandInQuestionHook hook) {
  return std::exchange(QuestionHook(), std::move(hook));
}

void RunFlashKernelCommand(QWidget* owner) {
  const std::string current = ReadMemorySetting(kFlashKernelSetting);
  const QString shown = !current.empty()           ? QFile::decodeName(current.c_str())
                        : BuiltInKernelIsStandIn() ? Tr(kTextBuiltInStandIn)
                                                   : Tr(kTextBuiltIn);
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Axtune"), Tr(kTextKernelSetting).arg(shown),
                  QMessageBox::Cancel, owner);
  QPushButton* choose = box.addButton(Tr(kTextChooseFile), QMessageBox::ActionRole);
  QPushButton* builtIn = box.addButton(Tr(kTextUseBuiltIn), QMessageBox::ResetRole);
  box.exec();
  if (box.clickedButton() == builtIn) {
    WriteMemorySetting(kFlashKernelSetting, {});
    return;
  }
  if (box.clickedButton() != choose) return;
  const QString path = ChooseFile(owner, FileChoice::FlashKernel);
  if (path.isEmpty()) return;
  const std::string file = QFile::encodeName(path).toStdString();
  const KernelFileCheck check = CheckKernelFile(file);
  if (!check.ok) {
    ShowMessage(owner, Tr(kTextKernelRefused).arg(QString::fromStdString(check.message)));
    return;
  }
  WriteMemorySetting(kFlashKernelSetting, file);
}

bool PrepareFlashKernel(QWidget* owner, const std::string& portDevice, std::string& kernelFile) {
  kernelFile = ReadMemorySetting(kFlashKernelSetting);
  if (!kernelFile.empty()) {
    // Checked again: the file may have changed since it was chosen.
    const KernelFileCheck check = CheckKernelFile(kernelFile);
    if (!check.ok) ShowMessage(owner, Tr(kTextKernelRefused).arg(QString::fromStdString(check.message)));
    return check.ok;
  }
  // An in-process device is a simulated drive: what the stand-in is for.
  if (!BuiltInKernelIsStandIn() || isInProcessPort(portDevice)) return true;
  return AskStandIn(owner, Tr(kTextStandInQuestion).arg(QString::fromStdString(portDevice)));
}

}  // namespace axtune
