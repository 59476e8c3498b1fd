// The ways the simulated drive answers writes where the protocol leaves the reply open, for tests
// that write: each such test runs once per style.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "sim/sim_config.h"

namespace axtune::test {

struct SimReplyStyle {
  const char* name;
  sim::WordReplyStyle word;
  sim::RecordReplyStyle record;
};

// Confirm/Stored: index first, the record as stored. Echo/Echo: the request repeated, the words as
// sent (a clamped value then shows only when read back).
inline const SimReplyStyle kSimReplyStyles[] = {
    {"ConfirmStored", sim::WordReplyStyle::Confirm, sim::RecordReplyStyle::Stored},
    {"EchoEcho", sim::WordReplyStyle::Echo, sim::RecordReplyStyle::Echo},
};

inline sim::SimConfig WithReplyStyle(sim::SimConfig config, const SimReplyStyle& style) {
  config.wordReply = style.word;
  config.recordReply = style.record;
  return config;
}

inline std::string ReplyStyleName(const ::testing::TestParamInfo<SimReplyStyle>& info) {
  return info.param.name;
}

// Runs the tests of a drive fixture once per reply style (TEST_P, INSTANTIATE_TEST_SUITE_P over
// kSimReplyStyles). The fixture builds its drive from a virtual `driveConfig()`.
template <class Fixture>
class InEveryReplyStyle : public Fixture, public ::testing::WithParamInterface<SimReplyStyle> {
 protected:
  sim::SimConfig driveConfig() override { return WithReplyStyle(Fixture::driveConfig(), this->GetParam()); }
};

}  // namespace axtune::test
