// Ids of the texts of the expert tools (status panel, user dialog, debug page, help commands) in
// res/strings_expert.inc. What's This texts: 44000 + the window's template id, 45000 + a control id.
#pragma once

namespace axtune {

// The framework's validation messages.
inline constexpr int kTextFrameworkInteger = 61712;       // "Geben Sie eine ganze Zahl ein."
inline constexpr int kTextFrameworkIntegerRange = 61714;  // "... zwischen %1 und %2 ein."
inline constexpr int kTextFrameworkMaxChars = 61716;      // "Geben Sie nicht mehr als %1 Zeichen ein."

// User dialog and help commands.
inline constexpr int kTextUserPrompt = 32777;  // the menu item's prompt
inline constexpr int kTextUserDialogTitle = 40144;
inline constexpr int kTextUserNameLabel = 41135;
inline constexpr int kTextUserCompanyLabel = 41136;
inline constexpr int kTextOk = 43001;
inline constexpr int kTextCancel = 43002;
inline constexpr int kTextUserFileNotWritten = 43010;  // %1 path, %2 reason
inline constexpr int kTextAddressNotOpened = 43011;    // %1 address

// Status panel texts that the status bar does not use.
inline constexpr int kStrSwitchedOn = 32812;

// What's This.
constexpr int WindowHelpId(int templateId) {
  return 44000 + templateId;
}
constexpr int ControlHelpId(int controlId) {
  return 45000 + controlId;
}
inline constexpr int kHelpUserDialog = WindowHelpId(144);
inline constexpr int kHelpUserName = ControlHelpId(1135);
inline constexpr int kHelpUserCompany = ControlHelpId(1136);

}  // namespace axtune
