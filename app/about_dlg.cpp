#include "app/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/shared_icons.h"
#include "axtune_version.h"
#include "res/strings.h"

namespace axtune {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("100"));
  setWindowTitle(QString::fromUtf8(Text(40020)));
  auto* icon = new QLabel(this);
  icon->setPixmap(SharedIcon(128).pixmap(48, 48));
  auto* text = new QLabel(this);
  text->setTextFormat(Qt::RichText);
  text->setText(QStringLiteral("<b>Axtune</b><br>%1<br><br>%2")
                    .arg(QString::fromUtf8(Text(40022)).replace("%s", AXTUNE_VERSION),
                         QString::fromUtf8(Text(40021)).toHtmlEscaped()));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addWidget(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
}

}  // namespace axtune
