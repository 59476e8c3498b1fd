#include "app/default_item_style.h"

#include <QAction>
#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionMenuItem>

namespace axtune {

DefaultItemStyle::DefaultItemStyle(QAction* action) : QProxyStyle(), action_(action) {}

bool DefaultItemStyle::IsBoldItem(const QStyleOption* option) const {
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  return item != nullptr && action_ && action_->font().bold() && item->text == action_->text();
}

void DefaultItemStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                   const QWidget* widget) const {
  if (element == CE_MenuBarItem && IsBoldItem(option)) {
    painter->save();
    QFont font = painter->font();
    font.setBold(true);
    painter->setFont(font);
    QProxyStyle::drawControl(element, option, painter, widget);
    painter->restore();
    return;
  }
  QProxyStyle::drawControl(element, option, painter, widget);
}

QSize DefaultItemStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                         const QWidget* widget) const {
  QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
  if (type == CT_MenuBarItem && widget != nullptr && IsBoldItem(option)) {
    // Room for the wider bold text.
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    QFont bold = widget->font();
    bold.setBold(true);
    const int extra = QFontMetrics(bold).horizontalAdvance(item->text) -
                      QFontMetrics(widget->font()).horizontalAdvance(item->text);
    result.rwidth() += qMax(0, extra);
  }
  return result;
}

}  // namespace axtune
