#include "controls/written_note.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVariant>
#include <QWidget>

#include "controls/axtune_property_page.h"
#include "controls/page_host.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextWritten = 42610;
constexpr int kTextWrittenNoCaption = 42611;
constexpr int kTextPlaceProfile = 51030;
constexpr int kTextPlaced = 51032;
constexpr int kTextPlacedNoCaption = 51033;
constexpr int kTextOn = 51034;
constexpr int kTextOff = 51035;
// Set by a page on a field whose row holds two values, where the labels beside it do not name it.
constexpr char kCaptionProperty[] = "writtenNoteCaption";
constexpr char kUnitProperty[] = "writtenNoteUnit";

// The label at (row, column) of the grid that holds `field`, or null.
const QLabel* LabelBeside(const QWidget* field, int columnOffset) {
  const QWidget* parent = field != nullptr ? field->parentWidget() : nullptr;
  if (parent == nullptr) return nullptr;
  // The grid may be the parent's own layout or one nested in it.
  const auto grids = parent->findChildren<QGridLayout*>();
  for (const QGridLayout* grid : grids) {
    const int index = grid->indexOf(const_cast<QWidget*>(field));
    if (index < 0) continue;
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    const int wanted = columnOffset < 0 ? 0 : column + columnSpan;
    if (wanted == column) return nullptr;
    // Several labels may share a cell with only one of them shown (the Homing page's ramp rows).
    for (int i = 0; i < grid->count(); ++i) {
      int r = 0, c = 0, rs = 0, cs = 0;
      grid->getItemPosition(i, &r, &c, &rs, &cs);
      if (r != row || c != wanted) continue;
      auto* label = qobject_cast<const QLabel*>(grid->itemAt(i)->widget());
      if (label != nullptr && !label->isHidden()) return label;
    }
    return nullptr;
  }
  return nullptr;
}

QString Cleaned(const QLabel* label) {
  if (label == nullptr) return {};
  QString text = label->text();
  text.remove(QLatin1Char('&'));
  text = text.trimmed();
  while (text.endsWith(QLatin1Char(':'))) text.chop(1);
  return text.trimmed();
}
}  // namespace

void SetWrittenNoteNames(QWidget* field, const QString& caption, const QString& unit) {
  field->setProperty(kCaptionProperty, caption);
  field->setProperty(kUnitProperty, unit);
}

QString FieldCaption(const QWidget* field) {
  if (field != nullptr && field->property(kCaptionProperty).isValid())
    return field->property(kCaptionProperty).toString();
  return Cleaned(LabelBeside(field, -1));
}

QString ControlCaption(const QWidget* control) {
  if (auto* button = qobject_cast<const QAbstractButton*>(control)) {
    QString text = button->text();
    text.remove(QLatin1Char('&'));
    text = text.trimmed();
    while (text.endsWith(QLatin1Char(':'))) text.chop(1);
    if (!text.isEmpty()) return text;
  }
  return FieldCaption(control);
}

QString FieldUnit(const QWidget* field) {
  if (field != nullptr && field->property(kUnitProperty).isValid())
    return field->property(kUnitProperty).toString();
  return Cleaned(LabelBeside(field, 1));
}

QString WrittenNoteText(const QString& caption, const QString& value, const QString& unit) {
  QString shown = value.trimmed();
  if (!unit.isEmpty()) shown += QLatin1Char(' ') + unit;
  if (caption.isEmpty()) return QString::fromUtf8(Text(kTextWrittenNoCaption)).arg(shown);
  return QString::fromUtf8(Text(kTextWritten)).arg(caption, shown);
}

QString WrittenNoteText(const QString& place, const QString& caption, const QString& value,
                        const QString& unit) {
  if (place.isEmpty()) return WrittenNoteText(caption, value, unit);
  QString shown = value.trimmed();
  if (!unit.isEmpty()) shown += QLatin1Char(' ') + unit;
  if (caption.isEmpty() || shown.isEmpty())
    return QString::fromUtf8(Text(kTextPlacedNoCaption)).arg(place, caption.isEmpty() ? shown : caption);
  return QString::fromUtf8(Text(kTextPlaced)).arg(place, caption, shown);
}

QString WrittenPlace(const QWidget* control) {
  for (const QWidget* w = control; w != nullptr && !w->isWindow(); w = w->parentWidget()) {
    auto* page = qobject_cast<const CAxtunePropertyPage*>(w);
    if (page == nullptr) continue;
    QString title = page->Title();
    title.remove(QLatin1Char('&'));
    if (page->NoteProfile() < 0) return title;
    return QString::fromUtf8(Text(kTextPlaceProfile)).arg(title).arg(page->NoteProfile());
  }
  return {};
}

void ShowWrittenNote(const QWidget* field, const QString& value) {
  ShowStatusNote(field, WrittenNoteText(WrittenPlace(field), FieldCaption(field), value, FieldUnit(field)));
}

void ShowControlWrittenNote(const QWidget* control) {
  if (control == nullptr) return;
  const QString place = WrittenPlace(control);
  if (auto* box = qobject_cast<const QAbstractSpinBox*>(control)) {
    ShowStatusNote(control, WrittenNoteText(place, ControlCaption(control), box->text(), FieldUnit(control)));
    return;
  }
  auto* button = qobject_cast<const QAbstractButton*>(control);
  if (button == nullptr) return;
  if (qobject_cast<const QRadioButton*>(control) != nullptr || !button->isCheckable()) {
    // The button's own text says what was chosen or sent ("Relative", "Write").
    ShowStatusNote(control, WrittenNoteText(place, QString(), ControlCaption(control), QString()));
    return;
  }
  const QString state = QString::fromUtf8(Text(button->isChecked() ? kTextOn : kTextOff));
  ShowStatusNote(control, WrittenNoteText(place, ControlCaption(control), state, QString()));
}

}  // namespace axtune
