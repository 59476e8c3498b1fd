#include "app/context_help.h"

#include <QApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QTabWidget>
#include <QWidget>

#include "app/help_manual.h"
#include "controls/axtune_property_page.h"

namespace axtune {
namespace {

constexpr int kMainWindowTemplate = 102;

class ContextHelpFilter : public QObject {
 public:
  ContextHelpFilter(QWidget* window, std::function<void(const QString&)> openTopic)
      : QObject(window), window_(window), openTopic_(std::move(openTopic)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != window_) return false;
    switch (event->type()) {
      case QEvent::QueryWhatsThis:
        // Every control of the window has help: the pointer shows the question mark everywhere.
        event->accept();
        return true;
      case QEvent::WhatsThis: {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QWidget* control = QApplication::widgetAt(help->globalPos());
        openTopic_(ContextHelpTopic(control != nullptr ? control : window_));
        event->accept();
        return true;
      }
      default:
        return false;
    }
  }

 private:
  QWidget* window_;
  std::function<void(const QString&)> openTopic_;
};

}  // namespace

QString ContextHelpTopic(const QWidget* control) {
  for (const QWidget* w = control; w != nullptr; w = w->parentWidget()) {
    if (const auto* page = qobject_cast<const CAxtunePropertyPage*>(w))
      return ManualTopicFor(page->DialogId());
    if (const auto* tabs = qobject_cast<const QTabWidget*>(w)) {
      if (const auto* page = qobject_cast<const CAxtunePropertyPage*>(tabs->currentWidget()))
        return ManualTopicFor(page->DialogId());
    }
    if (w->isWindow()) break;
  }
  return ManualTopicFor(kMainWindowTemplate);
}

void InstallContextHelp(QWidget* window, std::function<void(const QString& topic)> openTopic) {
  window->installEventFilter(new ContextHelpFilter(window, std::move(openTopic)));
}

}  // namespace axtune
