// The main window's expert tools and help: the user dialog with the expert mode (the debug pages and
// the status panel), the manual, the maker's web site and the feedback mail.
#include <QAction>
#include <QUrl>

#include "app/axtune_dlg.h"
#include "app/axtune_property_sheet.h"
#include "app/command_ids.h"
#include "app/context_help.h"
#include "app/help_manual.h"
#include "app/status_dialog.h"
#include "controls/axtune_property_page.h"
#include "controls/message_box.h"
#include "res/expert_text_ids.h"
#include "res/strings.h"
#include "ui/benutzer_dialog.h"

namespace axtune {
namespace {

constexpr int kTextHelpNotFound = 40030;
constexpr int kTextHelpNotOpened = 40031;

// The maker's web site (a bare host name, as the shell takes it) and the support mail address.
constexpr const char* kHomepageHost = "www.orvane.de";
constexpr const char* kSupportMail = "support@orvane.de";
// The feedback mail's fixed subject and body; the user completes the two version lines.
constexpr const char* kFeedbackQuery = "?subject=Axtune:&body=%0A%0AAxtune Version:%0AFirmware Version:";

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}

}  // namespace

void CAxtuneDlg::SetUpExpertTools() {
  // Created once at start-up: "name.dat" lives in the working directory of this moment.
  userDialog_ = new CBenutzerDialog(this);
  statusDialog_ = new CStatusDialog(this);
  expertModeCheck_ = [this] { return userDialog_->LoadAndCheck(); };
  statusPanelShow_ = [this] { statusDialog_->ShowBeside(this); };
  // The second debug page is told apart from the first by its tab.
  debugPages_[1]->SetTitle(QStringLiteral("Debug 2"));
  if (QAction* user = CommandAction(kCommandUser)) user->setStatusTip(Tr(kTextUserPrompt));
  // Shift+F1 on a control without a text of its own opens the manual at its page's topic.
  InstallContextHelp(this, [this](const QString& topic) { OpenManual(topic); });
}

void CAxtuneDlg::OnUser() {
  userDialog_->exec();
  const bool expert = ExpertMode();
  for (CAxtunePropertyPage* page : debugPages_) {
    const bool inSheet = sheet_->GetPageIndex(page) >= 0;
    if (expert && !inSheet) sheet_->AddPage(page);
    if (!expert && inSheet) sheet_->RemovePage(page);
  }
  UpdateExpertCommands(expert);
}

void CAxtuneDlg::UpdateExpertCommands(bool expert) {
  if (QAction* panel = CommandAction(kCommandStatusPanel)) panel->setVisible(expert);
}

void CAxtuneDlg::OpenManual(const QString& topic) {
  QStringList searched;
  const QString path = FindManual(CurrentLanguage(), &searched);
  if (path.isEmpty()) {
    ShowMessage(this, Tr(kTextHelpNotFound).replace("%s", searched.first()));
    return;
  }
  const QString url = ManualUrl(path, topic);
  if (!urlOpener_(url)) ShowMessage(this, Tr(kTextHelpNotOpened).replace("%s", url));
}

void CAxtuneDlg::OnHomepage() {
  OpenAddress(QUrl::fromUserInput(QString::fromLatin1(kHomepageHost)).toString());
}

void CAxtuneDlg::OnFeedback() {
  OpenAddress(QStringLiteral("mailto:%1%2")
                  .arg(QString::fromLatin1(kSupportMail), QString::fromLatin1(kFeedbackQuery)));
}

void CAxtuneDlg::OpenAddress(const QString& url) {
  // Without a browser or mail program the user still learns the address.
  if (!urlOpener_(url)) ShowMessage(this, Tr(kTextAddressNotOpened).arg(url));
}

}  // namespace axtune
