// The commissioning assistant against the in-process simulated drive, through its page objects:
// the switch step's tick from a switch the simulator toggles, the direction step's inversion, and
// a whole commissioning from the drive step to the report, after which the drive holds the values,
// stored, and the file reads back without a difference. Each step is also drawn in German and
// English beside the test program ("assistant-step3-de.png", ...) for a person to look at.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/assistant/assistant_window.h"
#include "app/assistant/direction_step.h"
#include "app/assistant/drive_step.h"
#include "app/assistant/finish_step.h"
#include "app/assistant/homing_step.h"
#include "app/assistant/motor_step.h"
#include "app/assistant/switches_step.h"
#include "app/save_parameters_command.h"
#include "controls/axtune_edit.h"
#include "core/drive_identity.h"
#include "core/parameter_access.h"
#include "core/parameter_compare.h"
#include "core/parameter_file.h"
#include "sim/drive_firmware.h"
#include "tests/app/drive_work_fixture.h"

namespace axtune::testing {
namespace {

constexpr int kSettingsRecord = 2;

class AssistantTest : public DriveWorkTest {
 protected:
  void SetUp() override {
    DriveWorkTest::SetUp();
    fileChooser_ = SetFileChooser([this](QWidget*, FileChoice choice) {
      choices.push_back(choice);
      if (choice == FileChoice::SaveParameters || choice == FileChoice::LoadParameters)
        return Path("Press-4_Z.qmx");
      if (choice == FileChoice::Report) return Path("report.html");
      return QString();  // no reference file for the report
    });
  }
  void TearDown() override {
    if (assistant_) delete assistant_.data();
    SetFileChooser(fileChooser_);
    DriveWorkTest::TearDown();
  }

  CommissioningAssistant& Open() {
    CAxtuneDlg& window = Connect();
    assistant_ = CommissioningAssistant::Open(window);
    return *assistant_;
  }
  template <typename Step>
  Step& At(AssistantStep step) {
    return *static_cast<Step*>(assistant_->Step(step));
  }
  // Lets simulated time pass between polls until `done` holds (or 30 simulated seconds went by).
  template <typename Done>
  bool PollUntil(Done done) {
    for (int i = 0; i < 300 && !done(); ++i) {
      drive->advanceMs(100);
      assistant_->PollNow();
    }
    return done();
  }
  // Toggles the switch of function f on the simulated machine and back, polling in between.
  void Actuate(uint16_t function, bool activeNow) {
    drive->forceSwitch(function, !activeNow);
    assistant_->PollNow();
    drive->forceSwitch(function, std::nullopt);
    assistant_->PollNow();
  }
  RecordWords Record(int number) {
    RecordWords words{};
    drive->record(number, words);
    return words;
  }
  // Draws the assistant as it stands into "assistant-<name>.png" beside the test program.
  void Picture(const QString& name) {
    QCoreApplication::processEvents();
    assistant_->grab().save(QCoreApplication::applicationDirPath() + "/assistant-" + name + ".png");
  }
  void Next(AssistantStep expected) {
    assistant_->next();
    ASSERT_EQ(assistant_->currentId(), static_cast<int>(expected));
  }

  QPointer<CommissioningAssistant> assistant_;
  FileChooser fileChooser_;
};

TEST_F(AssistantTest, ASecondOpenRaisesTheSameAssistant) {
  CommissioningAssistant& first = Open();
  EXPECT_EQ(CommissioningAssistant::Open(first.Window()), &first);
  EXPECT_FALSE(first.isModal());
  // The menu command opens it too, and still only one.
  first.Window().CommandAction(kCommandCommissioningAssistant)->trigger();
  EXPECT_EQ(first.Window().findChildren<CommissioningAssistant*>().size(), 1);
  // Once it is closing, the command makes a new one.
  first.close();
  CommissioningAssistant* second = CommissioningAssistant::Open(first.Window());
  EXPECT_NE(second, &first);
  EXPECT_TRUE(second->isVisible());
  delete second;
}

TEST_F(AssistantTest, StartingFromAFileAsksForItAndLoadsItWithTheLoadCommand) {
  CommissioningAssistant& a = Open();
  // A file of the drive as it is now; then the motor current is changed on the drive.
  ASSERT_EQ(RunSaveParametersCommand(a.Window()), Path("Press-4_Z.qmx"));
  const uint16_t saved = Record(kSettingsRecord)[0];
  ASSERT_TRUE(WriteParameter(*FindParameter("motor-current"), 3300));
  auto& step = At<DriveStep>(AssistantStep::Drive);
  step.ChooseStartFromFile(true);
  ui.messages.clear();
  assistant_->next();
  EXPECT_EQ(a.currentId(), static_cast<int>(AssistantStep::Drive));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].contains("Load the parameter file first"));

  step.LoadFile();
  EXPECT_EQ(Record(kSettingsRecord)[0], saved);
  EXPECT_TRUE(a.UnstoredWrites());
  Next(AssistantStep::Motor);
  EXPECT_EQ(a.Checks().Find(AssistantStep::Drive)->confirmed, "Parameter file loaded");
  // The motor step shows what the file put in the drive.
  EXPECT_EQ(At<MotorStep>(AssistantStep::Motor).Field(1174)->text(), QString::number(saved));
}

TEST_F(AssistantTest, SwitchStepTicksWhatTheDriveSawChangeAndNamesTheRest) {
  CommissioningAssistant& a = Open();
  Next(AssistantStep::Motor);
  Next(AssistantStep::Direction);
  Next(AssistantStep::Switches);
  auto& step = At<SwitchesStep>(AssistantStep::Switches);
  a.PollNow();
  // The simulated drive has DE1..DE4 on the lower and upper limit, reference and stop switches.
  ASSERT_EQ(step.Check().Inputs().size(), 4u);
  for (const SwitchInput& in : step.Check().Inputs()) EXPECT_FALSE(in.ticked());
  Actuate(3, *step.Check().Inputs()[2].active);
  EXPECT_TRUE(step.Check().Inputs()[2].ticked());
  EXPECT_TRUE(step.RowText(3).contains("change seen"));
  EXPECT_FALSE(step.Check().Inputs()[0].ticked());
  EXPECT_TRUE(step.RowText(1).contains("waiting for a change"));
  // A switch that is not wired to an input is not seen by the drive however often it is pressed.
  a.PollNow();
  EXPECT_FALSE(step.Check().AllTicked());

  // Next names the switches that never changed and stays; a second Next goes on.
  assistant_->next();
  EXPECT_EQ(a.currentId(), static_cast<int>(AssistantStep::Switches));
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_TRUE(ui.messages.back().contains("DE1 Limit switch low"));
  EXPECT_TRUE(ui.messages.back().contains("DE4 Stop switch"));
  EXPECT_FALSE(ui.messages.back().contains("DE3"));
  Next(AssistantStep::Homing);
  const CommissioningCheck* check = a.Checks().Find(AssistantStep::Switches);
  ASSERT_NE(check, nullptr);
  EXPECT_FALSE(check->passed);
  // Back to the step keeps what the drive saw.
  assistant_->back();
  ASSERT_EQ(a.currentId(), static_cast<int>(AssistantStep::Switches));
  EXPECT_TRUE(step.Check().Inputs()[2].ticked());
}

TEST_F(AssistantTest, NoInvertsTheRotationAndOffersTheMoveAgain) {
  CommissioningAssistant& a = Open();
  Next(AssistantStep::Motor);
  Next(AssistantStep::Direction);
  auto& step = At<DirectionStep>(AssistantStep::Direction);
  const RecordWords profileBefore = Record(14 + TestMove::kProfile);
  a.PollNow();
  ASSERT_TRUE(step.StartMove());
  EXPECT_TRUE(a.MotionRunning());
  ASSERT_TRUE(PollUntil([&] { return !step.MoveRunning(); }));
  EXPECT_FALSE(a.MotionRunning());
  // The move used the last profile and put it back as it was.
  EXPECT_EQ(Record(14 + TestMove::kProfile), profileBefore);
  auto* yes = step.findChild<QPushButton*>("yes");
  EXPECT_TRUE(yes->isEnabled());

  ASSERT_TRUE(step.Answer(false));
  EXPECT_TRUE(step.Inverted());
  EXPECT_EQ(Record(kSettingsRecord)[7], 1);
  // The question waits for the move again.
  EXPECT_FALSE(yes->isEnabled());
  ASSERT_TRUE(step.StartMove());
  ASSERT_TRUE(PollUntil([&] { return !step.MoveRunning(); }));
  ASSERT_TRUE(step.Answer(false));  // still wrong: back to the drive's first direction
  EXPECT_EQ(Record(kSettingsRecord)[7], 0);
  EXPECT_TRUE(a.UnstoredWrites());
}

TEST_F(AssistantTest, EscStopsTheMoveWithoutClosing) {
  CommissioningAssistant& a = Open();
  Next(AssistantStep::Motor);
  Next(AssistantStep::Direction);
  auto& step = At<DirectionStep>(AssistantStep::Direction);
  a.PollNow();
  ASSERT_TRUE(step.StartMove());
  drive->advanceMs(200);
  a.PollNow();
  log.clear();
  QTest::keyClick(&a, Qt::Key_Escape);
  EXPECT_TRUE(a.isVisible());
  // The stop is the controlword with the halt bit, through the object channel.
  EXPECT_FALSE(Frames().empty());
  ASSERT_TRUE(PollUntil([&] { return !step.MoveRunning(); }));
  EXPECT_LT(std::abs(drive->snapshot().velocity), 1.0);
}

TEST_F(AssistantTest, AWholeCommissioningLeavesTheDriveStoredAndTheFileAndReportRight) {
  CommissioningAssistant& a = Open();
  auto& drive1 = At<DriveStep>(AssistantStep::Drive);
  drive1.SetNames("Press 4", "Z");
  Picture("step1-en");
  Next(AssistantStep::Motor);

  auto& motor = At<MotorStep>(AssistantStep::Motor);
  motor.SetRatedCurrent("1500");
  ASSERT_TRUE(motor.Propose());
  ASSERT_TRUE(motor.AcceptProposal());
  motor.Enter(1251, "400");
  Picture("step2-en");
  Next(AssistantStep::Direction);

  auto& direction = At<DirectionStep>(AssistantStep::Direction);
  a.PollNow();
  ASSERT_TRUE(direction.StartMove());
  ASSERT_TRUE(PollUntil([&] { return !direction.MoveRunning(); }));
  ASSERT_TRUE(direction.Answer(false));
  ASSERT_TRUE(direction.StartMove());
  ASSERT_TRUE(PollUntil([&] { return !direction.MoveRunning(); }));
  ASSERT_TRUE(direction.Answer(true));
  Picture("step3-en");
  Next(AssistantStep::Switches);

  auto& switches = At<SwitchesStep>(AssistantStep::Switches);
  a.PollNow();
  for (const SwitchInput& in : std::vector<SwitchInput>(switches.Check().Inputs()))
    Actuate(static_cast<uint16_t>(in.kind), *in.active);
  EXPECT_TRUE(switches.Check().AllTicked());
  Picture("step4-en");
  Next(AssistantStep::Homing);

  auto& homing = At<HomingStep>(AssistantStep::Homing);
  ASSERT_TRUE(homing.Run());
  ASSERT_TRUE(PollUntil([&] { return !homing.Running(); }));
  EXPECT_EQ(homing.ReferencedState(), 2);
  Picture("step5-en");
  Next(AssistantStep::Finish);

  auto& finish = At<FinishStep>(AssistantStep::Finish);
  EXPECT_EQ(finish.ProposedFileName(), "Press-4_Z.qmx");
  ASSERT_TRUE(finish.Store());
  EXPECT_FALSE(a.UnstoredWrites());
  const QString file = finish.SaveFile();
  ASSERT_EQ(file, Path("Press-4_Z.qmx"));
  const QString report = finish.WriteReport();
  ASSERT_EQ(report, Path("report.html"));
  Picture("step6-en");

  // The drive holds the values, in its stored image too.
  sim::RecordTable stored{};
  drive->withFirmware([&](sim::DriveFirmware& f) { stored = f.storedImage(); });
  const RecordWords settings = Record(kSettingsRecord);
  EXPECT_EQ(settings[0], 1500);  // motor current, mA
  EXPECT_EQ(settings[2], 8192);  // idle current 50 % (163.83 per %)
  EXPECT_EQ(settings[5], 500);   // idle delay, ms
  EXPECT_EQ(settings[6], 400);   // step resolution
  EXPECT_EQ(settings[7], 1);     // rotation inverted
  for (int w = 0; w < kRecordWords; ++w) EXPECT_EQ(stored[kSettingsRecord][w], settings[w]) << "word " << w;

  // The file reads back with no difference to the drive.
  ParameterSet fromFile, fromDrive;
  std::string error;
  ASSERT_TRUE(LoadParameterSet(QFile::encodeName(file).toStdString(), RecordCount(), fromFile, error))
      << error;
  LinkParameterRecordAccess access;
  ASSERT_TRUE(ReadDriveParameterSet(access, RecordCount(), fromDrive, error)) << error;
  EXPECT_TRUE(CompareParameterSets(fromFile, fromDrive).empty());

  // The report's checks: every step, in order, each confirmed.
  QFile html(report);
  ASSERT_TRUE(html.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(html.readAll());
  const qsizetype section = text.indexOf("<h2>Commissioning checks</h2>");
  ASSERT_GE(section, 0);
  qsizetype at = section;
  for (const char* step : {"1 Drive", "2 Motor", "3 Direction", "4 Switches", "5 Homing", "6 Finish"}) {
    const qsizetype next = text.indexOf(QString::fromLatin1(step), at);
    EXPECT_GT(next, at) << step;
    at = std::max(at, next);
  }
  for (const char* confirmed : {"Proposal accepted", "Positive direction confirmed", "Every switch changed",
                                "Referenced (reported by the drive)", "Stored in the drive", "Press 4"})
    EXPECT_TRUE(text.indexOf(QString::fromLatin1(confirmed), section) > 0) << confirmed;
  EXPECT_FALSE(text.mid(section, text.indexOf("</table>", section) - section).contains("Open:"));

  // Leaving now says nothing is missing.
  ui.messages.clear();
  a.close();
  EXPECT_TRUE(ui.messages.empty());
}

// The steps in German, with what a technician sees after acting on each.
TEST_F(AssistantTest, DrawsEveryStepInGerman) {
  SetLanguage(Language::German);
  CommissioningAssistant& a = Open();
  At<DriveStep>(AssistantStep::Drive).SetNames("Presse 4", "Z");
  Picture("step1-de");
  Next(AssistantStep::Motor);
  auto& motor = At<MotorStep>(AssistantStep::Motor);
  motor.SetRatedCurrent("8500");
  ASSERT_TRUE(motor.Propose());
  EXPECT_TRUE(motor.ProposalText().contains("7000"));
  EXPECT_TRUE(motor.Proposal().currentCapped);
  Picture("step2-de");
  Next(AssistantStep::Direction);
  auto& direction = At<DirectionStep>(AssistantStep::Direction);
  a.PollNow();
  ASSERT_TRUE(direction.StartMove());
  ASSERT_TRUE(PollUntil([&] { return !direction.MoveRunning(); }));
  Picture("step3-de");
  Next(AssistantStep::Switches);
  a.PollNow();
  Actuate(1, *At<SwitchesStep>(AssistantStep::Switches).Check().Inputs()[0].active);
  Picture("step4-de");
  assistant_->next();  // names the switches that never changed
  Next(AssistantStep::Homing);
  ASSERT_TRUE(At<HomingStep>(AssistantStep::Homing).Run());
  ASSERT_TRUE(PollUntil([&] { return !At<HomingStep>(AssistantStep::Homing).Running(); }));
  Picture("step5-de");
  Next(AssistantStep::Finish);
  Picture("step6-de");
  SetLanguage(Language::English);
}

TEST_F(AssistantTest, LeavingEarlySaysWhatWasNotStoredAndKeepsTheValues) {
  CommissioningAssistant& a = Open();
  Next(AssistantStep::Motor);
  auto& motor = At<MotorStep>(AssistantStep::Motor);
  motor.SetRatedCurrent("2200");
  ASSERT_TRUE(motor.AcceptProposal());
  ui.messages.clear();
  a.close();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].contains("not stored"));
  EXPECT_EQ(Record(kSettingsRecord)[0], 2200);
}

TEST_F(AssistantTest, ClosingTheMainWindowClosesTheAssistantFirstAndSaysWhatIsMissing) {
  CommissioningAssistant& a = Open();
  Next(AssistantStep::Motor);
  ASSERT_TRUE(At<MotorStep>(AssistantStep::Motor).AcceptProposal() == false);  // nothing typed
  At<MotorStep>(AssistantStep::Motor).SetRatedCurrent("1000");
  ASSERT_TRUE(At<MotorStep>(AssistantStep::Motor).AcceptProposal());
  ui.messages.clear();
  a.Window().close();
  EXPECT_FALSE(assistant_ && assistant_->isVisible());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].contains("not stored"));
  EXPECT_TRUE(ui.messages[0].contains("No parameter file"));
}

TEST_F(AssistantTest, APulledCableMakesTheStepWaitAndKeepsItsState) {
  CommissioningAssistant& a = Open();
  Next(AssistantStep::Motor);
  Next(AssistantStep::Direction);
  Next(AssistantStep::Switches);
  auto& switches = At<SwitchesStep>(AssistantStep::Switches);
  a.PollNow();
  Actuate(4, *switches.Check().Inputs()[3].active);
  ASSERT_TRUE(switches.Check().Inputs()[3].ticked());
  auto* waiting = switches.findChild<QLabel*>("waiting");
  drive->unplug();
  EXPECT_FALSE(a.PollNow());
  EXPECT_TRUE(waiting->isVisibleTo(&switches));
  Picture("waiting-en");
  drive->replug();
  // The carrier watcher may have seen the cable go; then the main window finds the drive again by
  // itself, and the step goes on once it has.
  ASSERT_TRUE(QTest::qWaitFor([&] { return a.PollNow(); }, 10000));
  EXPECT_FALSE(waiting->isVisibleTo(&switches));
  EXPECT_EQ(a.currentId(), static_cast<int>(AssistantStep::Switches));
  EXPECT_TRUE(switches.Check().Inputs()[3].ticked());
}

}  // namespace
}  // namespace axtune::testing
