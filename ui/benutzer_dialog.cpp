#include "ui/benutzer_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWhatsThis>

#include "controls/message_box.h"
#include "core/user_file.h"
#include "res/expert_text_ids.h"
#include "res/strings.h"

namespace axtune {
namespace {

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}

// The file holds single bytes of the Western code page; characters it cannot hold become '?'.
std::string ToFileBytes(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString FromFileBytes(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

CBenutzerDialog::CBenutzerDialog(QWidget* parent) : QDialog(parent), directory_(QDir::currentPath()) {
  setObjectName(QString::number(kDialogId));
  setWindowTitle(Tr(kTextUserDialogTitle));
  setWhatsThis(Tr(kHelpUserDialog));

  nameEdit_ = new QLineEdit(this);
  nameEdit_->setObjectName(QString::number(kNameEditId));
  nameEdit_->setWhatsThis(Tr(kHelpUserName));
  companyEdit_ = new QLineEdit(this);
  companyEdit_->setObjectName(QString::number(kCompanyEditId));
  companyEdit_->setWhatsThis(Tr(kHelpUserCompany));
  for (QLineEdit* edit : {nameEdit_, companyEdit_})
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 34);

  auto* form = new QFormLayout;
  form->addRow(Tr(kTextUserNameLabel), nameEdit_);
  form->addRow(Tr(kTextUserCompanyLabel), companyEdit_);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(Tr(kTextOk), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  QPushButton* cancel = buttons->addButton(Tr(kTextCancel), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("2"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CBenutzerDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CBenutzerDialog::reject);

  // The main window's Shift+F1 does not reach a modal dialog: the dialog has its own.
  auto* whatsThis = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1), this);
  connect(whatsThis, &QShortcut::activated, this, [] { QWhatsThis::enterWhatsThisMode(); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

QString CBenutzerDialog::FilePath() const {
  return QString::fromLocal8Bit(UserFilePath(directory_.toLocal8Bit().toStdString()));
}

void CBenutzerDialog::showEvent(QShowEvent* event) {
  // The edits show the stored values each time the dialog opens.
  nameEdit_->setText(name_);
  companyEdit_->setText(company_);
  nameEdit_->setFocus();
  QDialog::showEvent(event);
}

bool CBenutzerDialog::TakeValues() {
  for (QLineEdit* edit : {nameEdit_, companyEdit_}) {
    if (static_cast<size_t>(edit->text().size()) > kUserEntryMaxChars) {
      ShowMessage(this, Tr(kTextFrameworkMaxChars).replace("%1", QString::number(kUserEntryMaxChars)));
      edit->setFocus();
      edit->selectAll();
      return false;
    }
  }
  name_ = nameEdit_->text();
  company_ = companyEdit_->text();
  return true;
}

void CBenutzerDialog::accept() {
  if (!TakeValues()) return;
  std::string error;
  const UserEntry entry{ToFileBytes(name_), ToFileBytes(company_)};
  if (!SaveUserFile(FilePath().toLocal8Bit().toStdString(), entry, &error)) {
    ShowMessage(this, Tr(kTextUserFileNotWritten).arg(FilePath(), QString::fromLocal8Bit(error)));
    return;
  }
  QDialog::accept();
}

bool CBenutzerDialog::LoadAndCheck() {
  UserEntry entry;
  if (!LoadUserFile(FilePath().toLocal8Bit().toStdString(), entry)) return false;
  name_ = FromFileBytes(entry.name);
  const ExpertModeCheck check = CheckExpertMode(entry.company);
  company_ = FromFileBytes(check.shownCompany);
  return check.expert;
}

}  // namespace axtune
