// The property sheet inside the main window: a tab widget holding the parameter pages. It has no
// OK, Cancel or Apply buttons; every edit goes to the drive at once. The pages belong to the main
// window: removing one takes it out of the sheet and hands it back to the main window, so a later
// identification adds the same page object again.
#pragma once

#include <QTabWidget>

namespace axtune {

class CAxtunePropertyPage;

class CAxtunePropertySheet : public QTabWidget {
  Q_OBJECT

 public:
  explicit CAxtunePropertySheet(QWidget* parent = nullptr);

  void AddPage(CAxtunePropertyPage* page);
  void RemovePage(CAxtunePropertyPage* page);
  void RemovePage(int index);
  // -1 when the page is not in the sheet.
  int GetPageIndex(const CAxtunePropertyPage* page) const;
  int GetPageCount() const { return count(); }
  CAxtunePropertyPage* GetPage(int index) const;
  void SetActivePage(int index);
  void SetActivePage(CAxtunePropertyPage* page);
  CAxtunePropertyPage* GetActivePage() const;
  // Page titles follow the language; the tab texts are refreshed from them.
  void RetitlePages();
};

}  // namespace axtune
