// Shows one menu-bar item in bold while its action's font is bold: the menu's default item. Qt's
// menu bar draws every item in the bar's own font, so this style lends the item its action's font.
#pragma once

#include <QPointer>
#include <QProxyStyle>

class QAction;

namespace axtune {

class DefaultItemStyle : public QProxyStyle {
  Q_OBJECT

 public:
  explicit DefaultItemStyle(QAction* action);

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget = nullptr) const override;
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override;

 private:
  bool IsBoldItem(const QStyleOption* option) const;
  QPointer<QAction> action_;
};

}  // namespace axtune
