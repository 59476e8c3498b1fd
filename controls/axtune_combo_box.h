// CAxtuneComboBox: the drop-down list through which the user chooses one of a fixed set of settings
// for a drive parameter; each entry carries the 16-bit code the drive stores. The code matching and
// the write are BoundCodes' (controls/bound_codes.h); the widget owns the list and the selection.
//
// How a page uses it:
//   1. Create it with the page as parent and the control id (the id becomes its objectName).
//   2. In the page's initialisation add the entry texts in order (addItem), then bind once:
//        combo->BindRecordWord(3, 0, kInputCodes);        // record 3, word 0, codes per entry
//        combo->BindObject(0x6098, 0, 1, kHomingCodes);   // object-bound
//   3. In the page's OnShowWindow: LoadFromRecord(Image()) or ReadFromDrive(). A value that no entry
//      carries leaves the list without a selection; several entries with it select the last.
//   Nothing else: a choice by the user (mouse or arrow keys) runs CommitSelection, which writes the
//   code and notifies the page's host with the list's record number. Choosing the shown entry again
//   sends nothing. The wheel chooses only while the list has the focus from a click or Tab.
//
// A write the drive does not take puts the previous selection back, notifies nothing and says why
// in a message box. The drop-down list is painted in the page's colours, like the field itself.
#pragma once

#include <QComboBox>
#include <span>

#include "controls/bound_codes.h"
#include "controls/record_image.h"

namespace axtune {

class CAxtuneComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit CAxtuneComboBox(QWidget* parent = nullptr, int controlId = 0);

  // The entries must already be in the list.
  void BindRecordWord(int record, int word, std::span<const int16_t> codes);
  void BindObject(uint16_t index, uint8_t subindex, uint8_t size, std::span<const int16_t> codes);

  // Refresh: select the entry whose code the record word (sign-extended) or the object holds;
  // no match leaves no selection. True when an entry was selected.
  bool LoadFromRecord(const RecordImage& image);
  bool ReadFromDrive();

  // The user chose entry `entry`: write its code, notify.
  void CommitSelection(int entry);

  const BoundCodes& Codes() const { return codes_; }
  int ControlId() const { return objectName().toInt(); }

  void showPopup() override;

 private:
  void Select(int entry);
  void StoreItemCodes(size_t codeCount);

  BoundCodes codes_;
  int shown_ = -1;  // the entry the drive holds as far as the list knows
};

}  // namespace axtune
