// The About box: program name, version and what the program is for.
#pragma once

#include <QDialog>

namespace axtune {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace axtune
