#include "sim/sim_config.h"

#include <cstdlib>

namespace axtune::sim {

bool ParseWordReplyStyle(const std::string& name, WordReplyStyle& style) {
  if (name == "confirm") {
    style = WordReplyStyle::Confirm;
  } else if (name == "echo") {
    style = WordReplyStyle::Echo;
  } else {
    return false;
  }
  return true;
}

bool ParseRecordReplyStyle(const std::string& name, RecordReplyStyle& style) {
  if (name == "stored") {
    style = RecordReplyStyle::Stored;
  } else if (name == "echo") {
    style = RecordReplyStyle::Echo;
  } else {
    return false;
  }
  return true;
}

void ApplyReplyStylesFromEnvironment(SimConfig& config) {
  if (const char* word = std::getenv("AXTUNE_SIM_WORD_REPLY")) ParseWordReplyStyle(word, config.wordReply);
  if (const char* record = std::getenv("AXTUNE_SIM_RECORD_REPLY"))
    ParseRecordReplyStyle(record, config.recordReply);
}

}  // namespace axtune::sim
