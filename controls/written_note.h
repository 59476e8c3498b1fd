// The note a field leaves in the window's status line after its value went to the drive: the
// field's caption and unit as the page shows them beside it, and the value, so that the user sees
// what was written without a box to click away.
#pragma once

#include <QString>

class QWidget;

namespace axtune {

// The caption of a field in a page's grid: the label in the first column of the field's row
// ("Motorstrom:" gives "Motorstrom"); empty when the row has none.
QString FieldCaption(const QWidget* field);
// What names a control for the user: a button's own text, else its FieldCaption.
QString ControlCaption(const QWidget* control);
// The unit beside a field: the label in the column right of it; empty when there is none.
QString FieldUnit(const QWidget* field);
// Names a field for its note where the labels beside it would not: a row that holds two values
// ("Reduce idle current after [500] ms to [50] %") gives each of them its own caption and unit.
void SetWrittenNoteNames(QWidget* field, const QString& caption, const QString& unit);
// "Motor current: 1500 mA written to the drive", or without a caption "1500 mA written to …".
QString WrittenNoteText(const QString& caption, const QString& value, const QString& unit);
// With the place it was written on, the page and the profile where it has one: "Profiles, profile
// 0: Velocity 6000 steps/s written to the drive" (an empty place gives the text above).
QString WrittenNoteText(const QString& place, const QString& caption, const QString& value,
                        const QString& unit);
// "Profiles, profile 0" for a control on the profiles page, "Settings" on another; empty off a page.
QString WrittenPlace(const QWidget* control);
// Shows the note for `field` (showing `value`) on the field's host.
void ShowWrittenNote(const QWidget* field, const QString& value);
// The note for a control that shows no number: a check box ("Smoothing: on"), a radio button (its
// text), a spin box (its number), a push button that sends what the page shows (its text).
void ShowControlWrittenNote(const QWidget* control);

}  // namespace axtune
