#include "app/axtune_property_sheet.h"

#include <QTabBar>

#include "controls/axtune_property_page.h"

namespace axtune {

CAxtunePropertySheet::CAxtunePropertySheet(QWidget* parent) : QTabWidget(parent) {
  setObjectName(QStringLiteral("CAxtunePropertySheet"));
  setDocumentMode(false);
  // Tabs keep their full titles; with more tabs than fit, the bar scrolls rather than eliding.
  setElideMode(Qt::ElideNone);
  setUsesScrollButtons(true);
  // The tab bar and the area around the pages show the main window's background.
  tabBar()->setAutoFillBackground(false);
  setAutoFillBackground(false);
}

void CAxtunePropertySheet::AddPage(CAxtunePropertyPage* page) {
  if (page == nullptr || GetPageIndex(page) >= 0) return;
  addTab(page, page->Title());
}

void CAxtunePropertySheet::RemovePage(CAxtunePropertyPage* page) {
  RemovePage(GetPageIndex(page));
}

void CAxtunePropertySheet::RemovePage(int index) {
  CAxtunePropertyPage* page = GetPage(index);
  if (page == nullptr) return;
  removeTab(index);
  // Back to the window that owns the page objects, hidden, so the object outlives its tab.
  page->hide();
  page->setParent(parentWidget() ? parentWidget()->window() : nullptr);
  page->hide();
}

int CAxtunePropertySheet::GetPageIndex(const CAxtunePropertyPage* page) const {
  for (int i = 0; i < count(); ++i) {
    if (widget(i) == page) return i;
  }
  return -1;
}

CAxtunePropertyPage* CAxtunePropertySheet::GetPage(int index) const {
  return qobject_cast<CAxtunePropertyPage*>(widget(index));
}

void CAxtunePropertySheet::SetActivePage(int index) {
  if (index >= 0 && index < count()) setCurrentIndex(index);
}

void CAxtunePropertySheet::SetActivePage(CAxtunePropertyPage* page) {
  SetActivePage(GetPageIndex(page));
}

CAxtunePropertyPage* CAxtunePropertySheet::GetActivePage() const {
  return GetPage(currentIndex());
}

void CAxtunePropertySheet::RetitlePages() {
  for (int i = 0; i < count(); ++i) {
    if (CAxtunePropertyPage* page = GetPage(i)) setTabText(i, page->Title());
  }
}

}  // namespace axtune
