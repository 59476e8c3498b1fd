// Which processor an update takes without --processor: the F2808 of the family, the processor the
// update log names for this port (and this type of drive, when it answers), or the user's.
#include "core/processor_choice.h"

#include <gtest/gtest.h>

namespace axtune {
namespace {

UpdateLogEntry Logged(const std::string& port, const std::string& drive, const std::string& processor) {
  UpdateLogEntry e;
  e.time = "2026-12-08T06:00:00Z";
  e.program = "axtune-cli";
  e.port = port;
  e.driveBefore = drive;
  e.outcome = "Verify ok";
  e.processor = processor;
  return e;
}

TEST(ProcessorChoice, TheFamilyTheLogOrTheUsersNameAndTheNoteSaysWhich) {
  const std::vector<UpdateLogEntry> log = {
      Logged("COM1", "QMX10-ET 4.1.7, 65 records", "F28335"),
      Logged("COM2", "QMX10-ET 4.1.7, 65 records", "F2808"),
      Logged("COM1", "", "F2808"),  // written by a version that did not log processors: ignored below
  };
  std::vector<UpdateLogEntry> old = log;
  old.back().processor.clear();

  // A QMX10-ET never taken for an F28335 by its type alone.
  ProcessorChoice c = ChooseUpdateProcessor("", "QMX10-ET", "COM3", log);
  EXPECT_EQ(c.processor->name, "F2808");
  EXPECT_EQ(c.source, ProcessorChoice::Source::Family);
  EXPECT_TRUE(c.note.empty());

  // The last update of this type on this port named the F28335.
  c = ChooseUpdateProcessor("", "QMX10-ET", "COM1", old);
  EXPECT_EQ(c.processor->name, "F28335");
  EXPECT_EQ(c.source, ProcessorChoice::Source::UpdateLog);
  EXPECT_NE(c.note.find("as the last update on COM1"), std::string::npos) << c.note;
  // ... but not for a drive of another type on that port.
  EXPECT_EQ(ChooseUpdateProcessor("", "QMX10-BA", "COM1", old).processor->name, "F2808");

  // A silent drive takes the last update's processor on its port, whatever drive that was.
  c = ChooseUpdateProcessor("", "", "COM1", log);
  EXPECT_EQ(c.processor->name, "F2808");
  EXPECT_NE(c.note.find("no drive answered on COM1"), std::string::npos) << c.note;
  c = ChooseUpdateProcessor("", "", "COM1", old);
  EXPECT_EQ(c.processor->name, "F28335");
  EXPECT_NE(c.note.find("taking the F28335"), std::string::npos) << c.note;
  // ... else the family's, and says so.
  c = ChooseUpdateProcessor("", "", "COM9", log);
  EXPECT_EQ(c.processor->name, "F2808");
  EXPECT_NE(c.note.find("taking the F2808, the processor of every QMX10 drive"), std::string::npos) << c.note;

  // The user's name wins, silently.
  c = ChooseUpdateProcessor("f28335", "QMX10-BA", "COM2", log);
  EXPECT_EQ(c.processor->name, "F28335");
  EXPECT_EQ(c.source, ProcessorChoice::Source::Named);
  EXPECT_TRUE(c.note.empty());
}

TEST(ProcessorChoice, TheLogKeepsTheProcessorAndReadsLinesWithoutIt) {
  const UpdateLogEntry entry = Logged("rfc2217://10.0.0.5:4001", "QMX10-ET 4.1.7, 65 records", "F28335");
  const std::optional<UpdateLogEntry> back = ParseUpdateLogLine(UpdateLogLine(entry));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->processor, "F28335");
  UpdateLogEntry older = entry;
  older.processor.clear();
  const std::string line = UpdateLogLine(older);
  EXPECT_EQ(line.find("processor"), std::string::npos) << "lines without it stay as they were";
  EXPECT_EQ(ParseUpdateLogLine(line)->processor, "");
}

}  // namespace
}  // namespace axtune
