// How one pane of the pane status bar looks: colours for the enabled and the disabled state, its own
// texts or bitmap names, its font and its mode word.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>

namespace axtune {

// Mode word: bits 0x00F00000 give the pane kind, bits 0x000FFFFF the text-format flags (which for a
// bitmap pane align the bitmap).
inline constexpr uint32_t kPaneKindMask = 0x00F00000;
inline constexpr uint32_t kPaneKindText = 0x00100000;
inline constexpr uint32_t kPaneKindText2 = 0x00200000;  // drawn as text too
inline constexpr uint32_t kPaneKindBitmap = 0x00400000;
inline constexpr uint32_t kPaneFormatMask = 0x000FFFFF;
inline constexpr uint32_t kPaneCenter = 0x1;   // centre horizontally
inline constexpr uint32_t kPaneRight = 0x2;    // right-align
inline constexpr uint32_t kPaneVCenter = 0x4;  // centre vertically
inline constexpr uint32_t kPaneBottom = 0x8;   // align to the bottom
inline constexpr uint32_t kPaneDefaultMode = kPaneKindText;

// Pane styles, as the framework's status bar keeps them per pane.
inline constexpr uint32_t kPaneStyleNoBorders = 0x0100;
inline constexpr uint32_t kPaneStylePopOut = 0x0200;
inline constexpr uint32_t kPaneStyleStretch = 0x0800;  // the pane takes the bar's spare width
inline constexpr uint32_t kPaneStyleDisabled = 0x04000000;

struct XPaneInfo {
  QColor textColorDisabled;
  QColor textColorEnabled;
  QColor backgroundDisabled;
  QColor backgroundEnabled;
  QString ownTextDisabled;  // own text, or bitmap name for a bitmap pane
  QString ownTextEnabled;
  QFont font;
  uint32_t mode = kPaneDefaultMode;

  // The defaults: system menu colours (the disabled text colour is the menu colour with each channel
  // halved), no own texts, the system's proportional font, a text pane.
  static XPaneInfo Defaults();
};

}  // namespace axtune
