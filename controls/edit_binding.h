// A page's binding of its edit fields as a table: one row per binding call, walked in order, so the
// order that overwrites the limits stands in one place and a test can apply the same table to a
// BoundValue and compare the outcome with the page's description.
//
//   constexpr EditBindStep kBindings[] = {
//       {1174, BindCall::Object, 0x6075, 0, 4},
//       {1174, BindCall::Limit, 7000},
//       {1175, BindCall::Scale, 0, 0, 0, kScalePercent},
//   };
//   for (const EditBindStep& step : kBindings) ApplyBindStep(*FieldById(step.controlId), step);
#pragma once

#include <cstdint>

namespace axtune {

enum class BindCall { RecordWord, RecordLong, Object, Signed, Limit, Scale, Practical };

struct EditBindStep {
  int controlId;
  BindCall call;
  uint32_t first = 0;   // record, object index, limit or practical limit (raw)
  uint32_t second = 0;  // word index or subindex
  uint32_t third = 0;   // object size
  double scale = 1.0;
};

// Works on a CAxtuneEdit and on a BoundValue alike.
template <typename Field>
void ApplyBindStep(Field& field, const EditBindStep& step) {
  switch (step.call) {
    case BindCall::RecordWord:
      field.BindRecordWord(static_cast<int>(step.first), static_cast<int>(step.second));
      break;
    case BindCall::RecordLong:
      field.BindRecordLong(static_cast<int>(step.first), static_cast<int>(step.second));
      break;
    case BindCall::Object:
      field.BindObject(static_cast<uint16_t>(step.first), static_cast<uint8_t>(step.second),
                       static_cast<uint8_t>(step.third));
      break;
    case BindCall::Signed:
      field.SetSigned();
      break;
    case BindCall::Limit:
      field.SetLimit(step.first);
      break;
    case BindCall::Scale:
      field.SetScale(step.scale);
      break;
    case BindCall::Practical:
      field.SetPracticalLimit(step.first);
      break;
  }
}

}  // namespace axtune
