// The flash kernel of the firmware update in the window: the command "Flash Kernel..." that chooses a
// kernel file (or the built-in kernel again) and remembers it in "Axtune.ini", and the question
// before the built-in stand-in kernel goes to a port that is not the simulated drive.
#pragma once

#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace axtune {

void RunFlashKernelCommand(QWidget* owner);

// Before an update on `portDevice`: the kernel file to use (empty: the built-in one). False when the
// update must not start: the remembered file is refused now (the message was shown), or the user
// did not want the stand-in to go to a real drive.
bool PrepareFlashKernel(QWidget* owner, const std::string& portDevice, std::string& kernelFile);

// Answers the stand-in question in tests (true: go on); empty: the real box again.
using StandInQuestionHook = std::function<bool(QWidget* owner, const QString& text)>;
StandInQuestionHook SetStandInQuestionHook(StandInQuestionHook hook);

}  // namespace axtune
