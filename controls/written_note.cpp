#include "controls/written_note.h"

#include <QGridLayout>
#include <QLabel>
#include <QVariant>
#include <QWidget>

#include "controls/page_host.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextWritten = 42610;
constexpr int kTextWrittenNoCaption = 42611;
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

void ShowWrittenNote(const QWidget* field, const QString& value) {
  ShowStatusNote(field, WrittenNoteText(FieldCaption(field), value, FieldUnit(field)));
}

}  // namespace axtune
