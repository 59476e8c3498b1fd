#include "pages/debug_property_page.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "controls/message_box.h"
#include "controls/page_host.h"
#include "controls/written_note.h"
#include "link/drive_link.h"
#include "pages/debug_edit.h"
#include "res/expert_text_ids.h"
#include "res/strings.h"

namespace axtune {
namespace {

constexpr int kTextRecordCaption = 42640;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}

enum class Parse { Ok, NotAnInteger, OutOfRange };

// An integer as the framework's data exchange takes it: blanks around it, an optional sign.
Parse ParseInteger(const QString& text, long long low, long long high, long long& value) {
  bool ok = false;
  value = text.trimmed().toLongLong(&ok);
  if (!ok) return Parse::NotAnInteger;
  return value < low || value > high ? Parse::OutOfRange : Parse::Ok;
}

}  // namespace

CDebugPropertyPage::CDebugPropertyPage(QWidget* parent) : CAxtunePropertyPage(kDialogId, parent) {
  SetRecordNumber(0);
  setWhatsThis(Tr(WindowHelpId(kDialogId)));

  auto* grid = new QGridLayout(this);
  grid->setVerticalSpacing(2);
  recordEdit_ = new CDebugEdit(this);
  recordEdit_->setObjectName(QString::number(kRecordEditId));
  recordEdit_->setWhatsThis(Tr(ControlHelpId(kRecordEditId)));
  recordEdit_->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00000000")));
  // The record number has a caption of its own, so that it is not taken for a word.
  auto* recordRow = new QHBoxLayout;
  auto* recordLabel = new QLabel(Tr(kTextRecordCaption), this);
  recordLabel->setObjectName(QStringLiteral("recordCaption"));
  recordLabel->setBuddy(recordEdit_);
  recordRow->addWidget(recordLabel);
  recordRow->addWidget(recordEdit_);
  grid->addLayout(recordRow, 0, 0, Qt::AlignLeft | Qt::AlignTop);
  connect(recordEdit_, &CDebugEdit::focusLeft, this, &CDebugPropertyPage::OnRecordEditLeft);

  // One column of word edits, word 0 at the top, each with its number to its right.
  const int editWidth = fontMetrics().horizontalAdvance(QStringLiteral("-0000000"));
  for (int word = 0; word < kRecordWords; ++word) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::number(kWordEditIds[static_cast<size_t>(word)]));
    edit->setFixedWidth(editWidth);
    edit->setAlignment(Qt::AlignRight);
    edit->setWhatsThis(Tr(ControlHelpId(kWordEditIds[0])));
    wordEdits_[static_cast<size_t>(word)] = edit;
    auto* label = new QLabel(QString::number(word), this);
    grid->addWidget(edit, word, 1);
    grid->addWidget(label, word, 2);
  }
  auto* write = new QPushButton(QString::fromUtf8("\xC3\x9C"
                                                  "bernehmen"),
                                this);
  write->setObjectName(QString::number(kWriteButtonId));
  write->setAutoDefault(false);
  write->setWhatsThis(Tr(ControlHelpId(kWriteButtonId)));
  connect(write, &QPushButton::clicked, this, &CDebugPropertyPage::OnWrite);
  grid->addWidget(write, kRecordWords - 1, 4, Qt::AlignRight | Qt::AlignBottom);
  grid->setColumnStretch(3, 1);
  // The rows stay together at the top however tall the sheet is.
  grid->setRowStretch(kRecordWords, 1);
  grid->setColumnMinimumWidth(
      0, fontMetrics().horizontalAdvance(Tr(kTextRecordCaption) + QStringLiteral("00000000")) + 32);
  PutValues();
}

bool CDebugPropertyPage::TakeValues() {
  auto fail = [this](QLineEdit* edit, const QString& message) {
    ShowMessage(this, message);
    edit->setFocus();
    edit->selectAll();
    return false;
  };
  long long value = 0;
  switch (ParseInteger(recordEdit_->text(), 0, kHighestRecord, value)) {
    case Parse::NotAnInteger:
      return fail(recordEdit_, Tr(kTextFrameworkInteger));
    case Parse::OutOfRange:
      return fail(recordEdit_, Tr(kTextFrameworkIntegerRange).arg(0).arg(kHighestRecord));
    case Parse::Ok:
      SetRecordNumber(static_cast<int>(value));
      break;
  }
  // A word is a signed 16-bit value: a number outside -32768..32767 is refused, not wrapped.
  for (size_t word = 0; word < wordEdits_.size(); ++word) {
    switch (ParseInteger(wordEdits_[word]->text(), INT16_MIN, INT16_MAX, value)) {
      case Parse::NotAnInteger:
        return fail(wordEdits_[word], Tr(kTextFrameworkInteger));
      case Parse::OutOfRange:
        return fail(wordEdits_[word], Tr(kTextFrameworkIntegerRange).arg(INT16_MIN).arg(INT16_MAX));
      case Parse::Ok:
        display_[word] = static_cast<int16_t>(value);
        break;
    }
  }
  return true;
}

void CDebugPropertyPage::PutValues() {
  recordEdit_->setText(QString::number(RecordNumber()));
  for (size_t word = 0; word < wordEdits_.size(); ++word)
    wordEdits_[word]->setText(QString::number(display_[word]));
}

void CDebugPropertyPage::ShowImage() {
  display_ = Image();
}

void CDebugPropertyPage::OnRecordEditLeft() {
  // The validation message takes the focus away from the edit again: that is no second leave.
  if (busy_) return;
  busy_ = true;
  const int remembered = RecordNumber();
  if (!TakeValues()) {
    SetRecordNumber(remembered);
  } else {
    // Whether the read succeeds is not looked at: a failed read leaves the image as it was.
    RecordWords words{};
    if (ReadRecord(RecordNumber(), words)) {
      for (int i = 0; i < kRecordWords; ++i)
        MutableImage()[static_cast<size_t>(i)] = static_cast<int16_t>(words[static_cast<size_t>(i)]);
    }
    ShowImage();
  }
  PutValues();
  busy_ = false;
}

void CDebugPropertyPage::OnShowWindow(bool show) {
  // Hiding (a tab switch away) takes nothing: a validation message in the middle of a tab switch
  // helps nobody, and the page checks its values again when it is shown.
  if (!show || busy_) return;
  busy_ = true;
  const int remembered = RecordNumber();
  if (!TakeValues()) {
    SetRecordNumber(remembered);
  } else if (ReadRecordOnShow(true)) {
    ShowImage();
  }
  PutValues();
  busy_ = false;
}

void CDebugPropertyPage::OnWrite() {
  if (busy_ || !TakeValues()) return;
  RecordWords words{};
  for (size_t i = 0; i < words.size(); ++i) {
    MutableImage()[i] = display_[i];
    words[i] = static_cast<uint16_t>(display_[i]);
  }
  // Nothing is shown afterwards and the display is not refreshed; but a record the drive took is a
  // parameter change like any other, so "Einstellungen speichern" can make it permanent.
  if (ExchangeRecord(RecordNumber(), words)) {
    NotifyParameterChanged();
    ShowControlWrittenNote(findChild<QWidget*>(QString::number(kWriteButtonId)));
  }
}

}  // namespace axtune
