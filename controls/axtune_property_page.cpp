#include "controls/axtune_property_page.h"

#include <QApplication>
#include <QShowEvent>
#include <cstdint>

#include "controls/control_guard.h"
#include "controls/message_box.h"
#include "controls/page_host.h"
#include "controls/record_read_text.h"
#include "link/drive_link.h"
#include "res/strings.h"

namespace axtune {

PageHost* FindPageHost(const QWidget* widget) {
  for (QWidget* w = widget ? widget->parentWidget() : nullptr; w != nullptr; w = w->parentWidget()) {
    if (auto* host = dynamic_cast<PageHost*>(w)) return host;
  }
  return nullptr;
}

void ShowStatusNote(const QWidget* widget, const QString& text) {
  if (PageHost* host = FindPageHost(widget)) host->ShowStatusNote(text);
}

CAxtunePropertyPage::CAxtunePropertyPage(int dialogId, QWidget* parent)
    : QWidget(parent), dialogId_(dialogId) {
  setObjectName(QString::number(dialogId));
  // Window is the page and its labels, Base the inside of edit fields and lists, Button the face of
  // drop-down lists and check boxes. Children inherit the palette, so every control of the page,
  // whenever it is created, paints on the page colour.
  QPalette p = palette();
  for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
    p.setColor(role, BackgroundColor());
  // A disabled control must not pass for an enabled one on the page colour: a grey face and grey
  // text, not the page's teal.
  p.setColor(QPalette::Disabled, QPalette::Base, DisabledFaceColor());
  p.setColor(QPalette::Disabled, QPalette::Button, DisabledFaceColor());
  for (QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
    p.setColor(QPalette::Disabled, role, DisabledTextColor());
  setPalette(p);
  setAutoFillBackground(true);
  InstallControlGuard();
}

CAxtunePropertyPage::~CAxtunePropertyPage() = default;

QString CAxtunePropertyPage::Title() const {
  if (!title_.isEmpty()) return title_;
  return QString::fromUtf8(Text(40000 + dialogId_));
}

void CAxtunePropertyPage::OnShowWindow(bool show) {
  ReadRecordOnShow(show);
}

bool CAxtunePropertyPage::ReadRecordOnShow(bool show) {
  if (!show) return false;
  PageHost* host = FindPageHost(this);
  if (host == nullptr || !host->IsConnected()) return false;
  uint16_t words[kRecordWords];
  if (ReadRecord(recordNumber_, words)) {
    for (int i = 0; i < kRecordWords; ++i) image_[i] = static_cast<int16_t>(words[i]);
    return true;
  }
  ShowMessage(this, QString::fromStdString(RecordReadFailureText(LinkError.load())));
  return false;
}

void CAxtunePropertyPage::NotifyParameterChanged(int record) {
  // A page's own handlers write for the control the user just clicked or typed in: it has the focus.
  const QWidget* focus = QApplication::focusWidget();
  if (focus != nullptr && !isAncestorOf(focus)) focus = nullptr;
  if (PageHost* host = FindPageHost(this)) host->NotifyParameterWritten(record, focus);
}

// Show and hide events from the window system (minimising, restoring) are not page switches, and a
// page hidden because its window closes must not talk to the drive any more.
void CAxtunePropertyPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) OnShowWindow(true);
}

void CAxtunePropertyPage::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (!event->spontaneous() && window()->isVisible()) OnShowWindow(false);
}

}  // namespace axtune
