#include "controls/control_guard.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QVariant>

#include "controls/axtune_property_page.h"
#include "controls/page_host.h"
#include "controls/written_note.h"
#include "res/strings.h"

namespace axtune {
namespace {

constexpr char kReasonProperty[] = "disabledReason";
constexpr int kTextCannotBeSet = 51011;
constexpr int kTextThisCannotBeSet = 51013;

// The page that holds `widget`, or null.
CAxtunePropertyPage* PageOf(QWidget* widget) {
  for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    if (auto* page = qobject_cast<CAxtunePropertyPage*>(w)) return page;
    if (w->isWindow()) return nullptr;
  }
  return nullptr;
}

// The control a wheel turn over `widget` would change (a spin box's line edit belongs to it).
QWidget* WheelTarget(QWidget* widget) {
  for (QWidget* w = widget; w != nullptr && !w->isWindow(); w = w->parentWidget()) {
    if (qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
        qobject_cast<QAbstractSlider*>(w))
      return w;
  }
  return nullptr;
}

class ControlGuard : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    switch (event->type()) {
      case QEvent::Polish:
        // Lists and spin boxes take the focus by the wheel by default; on a page they must not.
        if (widget->focusPolicy() == Qt::WheelFocus && PageOf(widget) != nullptr)
          widget->setFocusPolicy(Qt::StrongFocus);
        return false;
      case QEvent::Wheel: {
        QWidget* target = WheelTarget(widget);
        // Eaten: with no scrolling area around the pages the turn has nothing else to move.
        return target != nullptr && !target->hasFocus() && PageOf(target) != nullptr;
      }
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
        // Handled once, at the outermost disabled widget of the chain the press goes up.
        if (widget->isEnabled() ||
            (widget->parentWidget() != nullptr && !widget->parentWidget()->isEnabled()))
          return false;
        if (CAxtunePropertyPage* page = PageOf(widget)) EndEditAndSay(page, widget);
        return false;
      default:
        return false;
    }
  }

 private:
  static void EndEditAndSay(CAxtunePropertyPage* page, QWidget* disabled) {
    // The field being edited commits (or refuses) as on any focus loss, before the note: a note of
    // its own (written, not taken) would otherwise replace the reason.
    QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr && focus->window() == page->window()) focus->clearFocus();
    ShowStatusNote(page, DisabledNote(disabled));
  }
};

}  // namespace

void InstallControlGuard() {
  static QObject* guard = nullptr;
  if (guard != nullptr || qApp == nullptr) return;
  guard = new ControlGuard(qApp);
  qApp->installEventFilter(guard);
}

void SetDisabledReason(QWidget* control, const QString& reason) {
  control->setProperty(kReasonProperty, reason.isEmpty() ? QVariant() : QVariant(reason));
}

QString DisabledNote(const QWidget* control) {
  for (const QWidget* w = control; w != nullptr && !w->isWindow(); w = w->parentWidget()) {
    const QVariant reason = w->property(kReasonProperty);
    if (reason.isValid()) return reason.toString();
  }
  const QString caption = ControlCaption(control);
  if (caption.trimmed().isEmpty()) return QString::fromUtf8(Text(kTextThisCannotBeSet));
  return QString::fromUtf8(Text(kTextCannotBeSet)).arg(caption.trimmed());
}

}  // namespace axtune
