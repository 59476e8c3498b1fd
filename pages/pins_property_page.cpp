#include "pages/pins_property_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

#include "pages/dictionary_binding.h"
#include "res/strings.h"

namespace axtune {
namespace {

constexpr int kTextPinFunction = 44280;
constexpr int kText24V = 44281;
constexpr int kText5V = 44282;

// Adds the list's entries and binds it to its word, both from the parameter dictionary.
void BindList(CAxtuneComboBox* list, int word) {
  for (int text : ListTextIds(ParamPage::Inputs, list->ControlId()))
    list->addItem(QString::fromUtf8(Text(text)));
  list->BindRecordWord(CPinsPropertyPage::kRecord, word, ListCodes(ParamPage::Inputs, list->ControlId()));
}

QString T(int id) {
  return QString::fromUtf8(Text(id));
}

// Row labels are string 44000 + (control id - 1000).
QString RowLabel(int controlId) {
  return T(44000 + controlId - 1000);
}

}  // namespace

CPinsPropertyPage::CPinsPropertyPage(QWidget* parent) : CAxtunePropertyPage(kDialogId, parent) {
  SetRecordNumber(kRecord);
  auto* page = new QGridLayout(this);
  page->setContentsMargins(24, 16, 24, 16);
  page->setVerticalSpacing(10);
  page->addWidget(new QLabel(T(kTextPinFunction), this), 0, 0);

  auto makeList = [this](int id, QGridLayout* grid, int row) {
    auto* list = new CAxtuneComboBox(this, id);
    list->setMinimumContentsLength(18);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    grid->addWidget(new QLabel(RowLabel(id), this), row, 0);
    grid->addWidget(list, row, 1);
    return list;
  };

  auto* inputs24 = new QGroupBox(T(kText24V), this);
  auto* grid24 = new QGridLayout(inputs24);
  grid24->setHorizontalSpacing(12);
  for (int i = 0; i < 10; ++i) {
    CAxtuneComboBox* list = makeList(kIdFirstInput + i, grid24, i);
    BindList(list, i);
    list->setMaxVisibleItems(list->count());
    lists_[static_cast<size_t>(i)] = list;
  }

  auto* inputs5 = new QGroupBox(T(kText5V), this);
  auto* grid5 = new QGridLayout(inputs5);
  grid5->setHorizontalSpacing(12);
  CAxtuneComboBox* enable = makeList(kIdEnable, grid5, 0);
  BindList(enable, 10);
  CAxtuneComboBox* step = makeList(kIdStep, grid5, 1);
  BindList(step, 11);
  CAxtuneComboBox* direction = makeList(kIdDirection, grid5, 2);
  BindList(direction, 12);
  grid5->setRowStretch(3, 1);
  lists_[10] = enable;
  lists_[11] = step;
  lists_[12] = direction;

  page->addWidget(inputs24, 1, 0);
  page->addWidget(inputs5, 1, 1, Qt::AlignTop);
  page->setColumnStretch(2, 1);
  page->setRowStretch(2, 1);
}

void CPinsPropertyPage::OnShowWindow(bool show) {
  // Whatever the read gave: without a fresh record the lists show the previous image again.
  ReadRecordOnShow(show);
  for (CAxtuneComboBox* list : lists_) list->LoadFromRecord(Image());
}

}  // namespace axtune
