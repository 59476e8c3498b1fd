// The flash programmer's request to switch the drive on, in the window's language, with what to do
// when the drive is on already (just OK), and the choice of the flash kernel's rate. It opens beside
// the update's progress window, so the steps stay readable while it waits.
#pragma once

#include <QDialog>

class QComboBox;
class QWidget;

namespace axtune {

class CSwitchOnPrompt : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kTextId = "text";
  static constexpr const char* kRateId = "rate";

  // `baud`: the rate chosen first (the remembered one).
  CSwitchOnPrompt(const QString& title, int baud, QWidget* progressWindow);

  int ChosenBaud() const;
  // The rates offered, fastest first; the default and the safe one are marked.
  static QList<int> OfferedRates();
  // The prompt's text in the current language.
  static QString PromptText();

 private:
  QComboBox* rate_;
};

}  // namespace axtune
