#include "controls/axtune_combo_box.h"

#include <QAbstractItemView>

#include "controls/page_host.h"
#include "controls/write_failure.h"
#include "controls/written_note.h"

namespace axtune {

CAxtuneComboBox::CAxtuneComboBox(QWidget* parent, int controlId) : QComboBox(parent) {
  if (controlId != 0) setObjectName(QString::number(controlId));
  setEditable(false);
  setInsertPolicy(QComboBox::NoInsert);
  // The wheel never gives it the focus, and without the focus it changes nothing
  // (controls/control_guard.h).
  setFocusPolicy(Qt::StrongFocus);
  // Only a choice of the user writes (a selection set by a refresh does not).
  connect(this, &QComboBox::activated, this, &CAxtuneComboBox::CommitSelection);
}

void CAxtuneComboBox::BindRecordWord(int record, int word, std::span<const int16_t> codes) {
  codes_.SetCodes(count(), codes);
  codes_.BindRecordWord(record, word);
  StoreItemCodes(codes.size());
}

void CAxtuneComboBox::BindObject(uint16_t index, uint8_t subindex, uint8_t size,
                                 std::span<const int16_t> codes) {
  codes_.SetCodes(count(), codes);
  codes_.BindObject(index, subindex, size);
  StoreItemCodes(codes.size());
}

// Each entry's code is also its item data, sign-extended, as the list's users expect.
void CAxtuneComboBox::StoreItemCodes(size_t codeCount) {
  for (int i = 0; i < count() && static_cast<size_t>(i) < codeCount; ++i) setItemData(i, codes_.CodeOf(i));
}

void CAxtuneComboBox::Select(int entry) {
  shown_ = entry;
  setCurrentIndex(entry);
}

bool CAxtuneComboBox::LoadFromRecord(const RecordImage& image) {
  Select(codes_.EntryFromRecord(image));
  return shown_ >= 0;
}

bool CAxtuneComboBox::ReadFromDrive() {
  Select(codes_.EntryFromDrive());
  return shown_ >= 0;
}

void CAxtuneComboBox::CommitSelection(int entry) {
  // Choosing the entry the drive holds again sends nothing.
  if (entry < 0 || entry == shown_) return;
  if (!codes_.WriteEntry(entry)) {
    Select(shown_);
    ReportWriteFailure(this);
    return;
  }
  shown_ = entry;
  if (PageHost* host = FindPageHost(this)) host->NotifyParameterWritten(codes_.Record(), this);
  ShowWrittenNote(this, itemText(entry));
}

void CAxtuneComboBox::showPopup() {
  // The list opens in a window of its own, which does not inherit the page's colours by itself.
  // The roles are set one by one so that they count as explicitly set: the popup's item delegate
  // fills every role that is not with the menu colours.
  QAbstractItemView* list = view();
  QPalette colours = list->palette();
  for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
    colours.setColor(role, palette().color(role));
  list->setPalette(colours);
  if (QWidget* frame = list->window(); frame != window()) frame->setPalette(colours);
  QComboBox::showPopup();
}

}  // namespace axtune
