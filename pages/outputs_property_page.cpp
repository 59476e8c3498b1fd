#include "pages/outputs_property_page.h"

#include <QGridLayout>
#include <QLabel>

#include "controls/written_note.h"
#include "pages/dictionary_binding.h"
#include "res/strings.h"

namespace axtune {
namespace {

constexpr int kTextMaxCurrent = 44274;

QString T(int id) {
  return QString::fromUtf8(Text(id));
}

// A list with its entries and its word, both from the parameter dictionary.
CAxtuneComboBox* MakeList(QWidget* page, int id, int word) {
  auto* list = new CAxtuneComboBox(page, id);
  list->setMinimumContentsLength(14);
  list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  for (int text : ListTextIds(ParamPage::Outputs, id)) list->addItem(T(text));
  list->BindRecordWord(COutputsPropertyPage::kRecord, word, ListCodes(ParamPage::Outputs, id));
  return list;
}

}  // namespace

COutputsPropertyPage::COutputsPropertyPage(QWidget* parent) : CAxtunePropertyPage(kDialogId, parent) {
  SetRecordNumber(kRecord);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(24, 20, 24, 20);
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(10);
  // Row 0 holds the heading above the current lists; rows 1..4 DA1..DA4, row 5 the fixed output.
  grid->addWidget(new QLabel(T(kTextMaxCurrent), this), 0, 2);

  std::array<CAxtuneComboBox*, 4> functions{};
  std::array<CAxtuneComboBox*, 4> currents{};
  for (int n = 0; n < 4; ++n) {
    const size_t i = static_cast<size_t>(n);
    CAxtuneComboBox* function = MakeList(this, kIdFunction[i], n);
    CAxtuneComboBox* current = MakeList(this, kIdCurrent[i], n + 4);
    current->setMinimumContentsLength(6);
    // Its row's label names the output; the note after a write names the output's current.
    if (const ParamEntry* entry = FindControlEntry(ParamPage::Outputs, kIdCurrent[i]))
      SetWrittenNoteNames(current, QString::fromStdString(ParameterLabel(*entry, CurrentLanguage())), {});
    grid->addWidget(new QLabel(T(44000 + kIdFunction[i] - 1000), this), n + 1, 0);
    grid->addWidget(function, n + 1, 1);
    grid->addWidget(current, n + 1, 2);
    functions[i] = function;
    currents[i] = current;
  }
  CAxtuneComboBox* enabled = MakeList(this, kIdEnabledOutput, 8);
  grid->addWidget(new QLabel(T(44000 + kIdEnabledOutput - 1000), this), 5, 0);
  grid->addWidget(enabled, 5, 1);
  grid->setColumnStretch(3, 1);
  grid->setRowStretch(6, 1);

  lists_ = {functions[0], functions[1], functions[2], functions[3], enabled,
            currents[0],  currents[1],  currents[2],  currents[3]};
}

void COutputsPropertyPage::OnShowWindow(bool show) {
  // Whatever the read gave: without a fresh record the lists show the previous image again.
  ReadRecordOnShow(show);
  for (CAxtuneComboBox* list : lists_) list->LoadFromRecord(Image());
}

}  // namespace axtune
