// What a page needs from the window that holds its property sheet: whether a supported drive is
// connected, where to report that a parameter was written to the drive, and where a short note for
// the user goes (the window's status line).
#pragma once

#include <QString>

class QWidget;

namespace axtune {

// Record 127 carries object requests and drive commands; a write through it is not a parameter change.
inline constexpr int kNotifyCodeParameterChanged = 0x405;

class PageHost {
 public:
  virtual ~PageHost() = default;
  // True while the last identification found a supported drive; pages read the drive only then.
  virtual bool IsConnected() const = 0;
  // A page wrote record `record` (or an object) to the drive.
  virtual void NotifyParameterChanged(int record) = 0;
  // The same, with the bound control that wrote (null when not known), so a host can name the value.
  virtual void NotifyParameterWritten(int record, const QWidget* control) {
    (void)control;
    NotifyParameterChanged(record);
  }
  // A short note for the window's status line (an entry that was not taken); it goes by itself
  // after a few seconds. Hosts without a status line ignore it.
  virtual void ShowStatusNote(const QString& text) { (void)text; }
};

// The nearest ancestor of `widget` that is a PageHost, or null.
PageHost* FindPageHost(const QWidget* widget);

// ShowStatusNote on the host of `widget`, when it has one.
void ShowStatusNote(const QWidget* widget, const QString& text);

}  // namespace axtune
