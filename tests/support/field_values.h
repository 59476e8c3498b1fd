// Texts a test types into a bound field.
#pragma once

#include <QString>

#include "controls/axtune_edit.h"

namespace axtune::testing {

// A text that commits another value than the one the field holds: the next raw step that the
// display tells apart (a commit of the same value sends nothing).
inline QString OtherValueText(const CAxtuneEdit& field) {
  const BoundValue& v = field.Value();
  for (uint32_t step = 1; step < 0x1000000; step *= 10) {
    const std::string text = FormatFieldValue(v.Raw() + step, v.IsSigned(), v.Scale());
    const BoundValue::Typed typed = v.Convert(text);
    if (typed.accepted && typed.raw != v.Raw()) return QString::fromStdString(text);
  }
  return QStringLiteral("0");
}

}  // namespace axtune::testing
