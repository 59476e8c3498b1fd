// The switch step's bookkeeping: which inputs are wired to a limit, reference or stop switch (the
// Inputs record), what each showed in the drive's status, and whether the drive saw it change since
// the step began. No Qt: the step feeds it the status word of every poll.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace axtune {

// The input functions of the switches, as the Inputs record codes them.
enum class SwitchKind : uint16_t { LowerLimit = 1, UpperLimit = 2, Reference = 3, Stop = 4 };

struct SwitchInput {
  int input = 0;  // DE1..DE10
  SwitchKind kind = SwitchKind::LowerLimit;
  std::optional<bool> active;  // the last state seen; none before the first poll
  int changes = 0;             // changes seen since the step began
  bool ticked() const { return changes > 0; }
};

class SwitchCheck {
 public:
  // The functions of DE1..DE10 (Inputs record words 0..9): every input set to a switch is checked.
  void Configure(const uint16_t (&functions)[10]);
  // One poll's switch word (status record word 8). A switch whose state differs from the last poll
  // counts a change. The drive reports each function once, so two inputs on one function share it.
  void Observe(uint16_t switchWord);
  // Forget what was seen (the step begins again); the configuration stays.
  void Restart();

  const std::vector<SwitchInput>& Inputs() const { return inputs_; }
  bool AllTicked() const;
  // The inputs that never changed, in input order.
  std::vector<SwitchInput> NeverChanged() const;

  // Whether a switch of `kind` is active in a switch word.
  static bool ActiveIn(SwitchKind kind, uint16_t switchWord);

 private:
  std::vector<SwitchInput> inputs_;
};

}  // namespace axtune
