// The trend window on the simulated drive, and the one status poller that the status bar, the
// status panel and the trend share. Renders the trend in German and English into PNG files beside the
// test program ("trend-<language>.png"): profile 3, homing, an over-temperature fault and a pulled
// cable.
#include "app/trend_window.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>
#include <cmath>
#include <memory>
#include <set>

#include "app/axtune_dlg.h"
#include "app/drive_status_poller.h"
#include "app/trend_plot.h"
#include "core/parameter_dictionary.h"
#include "link/drive_link.h"
#include "link/object_access.h"
#include "pages/fahrsatz_property_page.h"
#include "pages/motion_commands.h"
#include "pages/settings_property_page.h"
#include "res/strings.h"
#include "sim/simulated_drive.h"
#include "tests/app/gui_test_support.h"

namespace axtune {
namespace {

using Clock = std::chrono::steady_clock;

QString Output(const QString& name) {
  return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

class TrendTest : public testing::GuiTest {
 protected:
  void SetUp() override {
    drive_ = sim::registerSimulatedDrive("sim:trend", sim::SimConfig::unitTest());
    drive_->advanceMs(1000);
    ASSERT_TRUE(OpenLink("sim:trend"));
    // The poller runs on a clock of the test's, or on the simulated drive's where the time the
    // reads take on the line matters.
    DriveStatusPoller::Instance().setClock([this] {
      return base_ +
             std::chrono::microseconds(driveClock_ ? static_cast<int64_t>(drive_->nowUs()) : simulatedUs_);
    });
  }
  void TearDown() override {
    DriveStatusPoller::Instance().setClock({});
    CloseLink();
    sim::unregisterSimulatedDrive("sim:trend");
    SetLanguage(Language::English);
  }
  void advanceMs(int ms) {
    drive_->advanceMs(static_cast<uint32_t>(ms));
    simulatedUs_ += int64_t{ms} * 1000;
  }

  std::shared_ptr<sim::SimulatedDrive> drive_;
  Clock::time_point base_ = Clock::now();
  int64_t simulatedUs_ = 0;
  bool driveClock_ = false;
};

// Which clients a poll reaches, and when the statusword is read: one reader at the shortest
// interval asked, each client at its own pace, the statusword only for the clients that show it.
TEST_F(TrendTest, OnePollerFeedsEveryClientAtItsOwnPace) {
  struct Case {
    int trendMs;  // 0: no trend open
    bool panelShown;
    int pollerMs;
    int barPolls, panelPolls, trendPolls, statuswordReads;  // over 1.2 s
  };
  const Case cases[] = {
      {0, false, 100, 12, 0, 0, 12},  {0, true, 100, 12, 6, 0, 12}, {100, true, 100, 12, 6, 12, 12},
      {25, false, 25, 12, 0, 48, 12},  // the trend's fast polls read only the two records
      {50, true, 50, 12, 6, 24, 12},
  };
  DriveStatusPoller& poller = DriveStatusPoller::Instance();
  for (const Case& c : cases) {
    int bar = 0, panel = 0, trend = 0;
    std::set<Clock::rep> statuswords;  // the polls that read it, by their time
    auto count = [&statuswords](int& n, const DriveStatusPoll& p) {
      n += p.ok;
      if (p.reading.statusword) statuswords.insert(p.arrived.time_since_epoch().count());
    };
    const int barId = poller.addClient([&](const DriveStatusPoll& p) { count(bar, p); }, 100, true);
    const int panelId = poller.addClient([&](const DriveStatusPoll& p) { count(panel, p); }, 200, true);
    const int trendId = poller.addClient([&](const DriveStatusPoll& p) { count(trend, p); },
                                         c.trendMs == 0 ? 100 : c.trendMs, false);
    poller.setClientActive(barId, true);
    poller.setClientActive(panelId, c.panelShown);
    poller.setClientActive(trendId, c.trendMs != 0);
    EXPECT_EQ(poller.intervalMs(), c.pollerMs);
    for (int t = 0; t < 1200; t += poller.intervalMs()) {
      poller.pollOnce();
      advanceMs(poller.intervalMs());
    }
    SCOPED_TRACE(::testing::Message() << "trend " << c.trendMs << " ms, panel " << c.panelShown);
    EXPECT_EQ(bar, c.barPolls);
    EXPECT_EQ(panel, c.panelPolls);
    EXPECT_EQ(trend, c.trendPolls);
    EXPECT_EQ(static_cast<int>(statuswords.size()), c.statuswordReads);
    for (int id : {barId, panelId, trendId}) poller.removeClient(id);
    EXPECT_FALSE(poller.isPolling());
  }
}

// Profile 3, homing, a fault and a pulled cable, sampled at 10 per second as the poller delivers.
TEST_F(TrendTest, ProfileHomingFaultAndCableShowAsTracesMarksAndAGap) {
  driveClock_ = true;
  std::vector<DriveStatusPoll> polls;
  DriveStatusPoller& poller = DriveStatusPoller::Instance();
  const int collector = poller.addClient([&](const DriveStatusPoll& p) { polls.push_back(p); }, 100, false);
  auto sample = [&](int ms) {
    for (int t = 0; t < ms; t += 100) {
      const uint64_t start = drive_->nowUs();
      poller.pollOnce(collector);
      drive_->advance(100000 - std::min<uint64_t>(drive_->nowUs() - start, 100000));
    }
  };
  sample(1000);
  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 3));
  ASSERT_TRUE(SendStartSequence(kModeProfilePosition));
  sample(5000);
  ASSERT_TRUE(SendStartSequence(kModeHoming));
  sample(6000);
  drive_->triggerFault(sim::DriveFault::OverTemperature);
  sample(1500);
  drive_->unplug();
  sample(1500);
  drive_->replug();
  sample(1500);
  poller.removeClient(collector);

  for (Language language : {Language::German, Language::English}) {
    SetLanguage(language);
    TrendWindow window;
    window.show();
    window.setDriveIdentified(true);  // reads the encoder resolution
    window.stopPolling();             // the polls come from the list above
    const Clock::time_point start = Clock::now();
    for (DriveStatusPoll poll : polls) {
      poll.arrived = start + (poll.arrived - polls.front().arrived);
      window.takePoll(poll);
    }
    window.plot()->fit();
    const TrendRecorder& recorder = window.recorder();
    EXPECT_EQ(recorder.encoderCounts(), 2000);

    std::vector<std::string> marks;
    for (const TrendEvent& e : recorder.events()) marks.push_back(TrendEventText(e, Language::English));
    EXPECT_EQ(marks, (std::vector<std::string>{"Profile 3 started", "Profile 3: Profile finished",
                                               "Homing started", "Homing finished",
                                               "Fault 4: Overtemperature", "No answer from the drive"}));
    int gaps = 0;
    int32_t lowest = INT32_MAX;
    for (const TrendSample& s : recorder.samples()) {
      if (!s.valid) {
        ++gaps;
        continue;
      }
      lowest = std::min(lowest, s.motorPosition);
      ASSERT_FALSE(std::isnan(s.followingError));
      // The simulated motor loses no steps: what the two reads differ by (the motion between them
      // that the velocity does not carry forward exactly) stays below a full step.
      EXPECT_EQ(s.followingError, 0.0) << "at " << s.time;
    }
    EXPECT_GE(gaps, 10) << "about a second of silence";
    EXPECT_EQ(lowest, -5000) << "profile 3 moved 5000 steps back";

    const QString suffix = language == Language::German ? "de" : "en";
    QString error;
    const QString png = Output("trend-" + suffix + ".png");
    ASSERT_TRUE(window.exportPng(png, true, &error)) << error.toStdString();
    std::printf("wrote %s\n", png.toLocal8Bit().constData());
    const QImage picture(png);
    EXPECT_GT(picture.height(), window.plot()->height()) << "a title and a legend above the plot";
    window.plot()->replot();
    window.grab().save(Output("trend-window-" + suffix + ".png"));

    // Each analog trace in a lane of its own (the two positions share one), the marks in theirs:
    // their labels overlap neither each other nor leave their lane.
    TrendPlot* plot = window.plot();
    std::set<QCPAxisRect*> lanes;
    for (int c = 0; c <= kColTemperature; ++c) lanes.insert(plot->laneOf(c));
    EXPECT_EQ(lanes.size(), 6u);
    EXPECT_EQ(plot->laneOf(kColMotorPosition), plot->laneOf(kColEncoderPosition));
    const std::vector<QRectF> labels = plot->markLabelRects();
    EXPECT_GE(labels.size(), 4u);
    const QRectF lane = plot->marksLane()->rect();
    for (size_t i = 0; i < labels.size(); ++i) {
      EXPECT_TRUE(lane.adjusted(-1, -1, 1, 1).contains(labels[i].adjusted(0, 0, -1, 0).topLeft())) << i;
      for (size_t j = i + 1; j < labels.size(); ++j)
        EXPECT_FALSE(labels[i].adjusted(0.5, 0.5, -0.5, -0.5).intersects(labels[j])) << i << " and " << j;
    }
    plot->setTraceVisible(kColVelocity, false);
    EXPECT_EQ(plot->visibleLaneCount(), 5) << "a hidden trace gives its lane back";
    EXPECT_EQ(plot->laneOf(kColVelocity), nullptr);
    plot->setTraceVisible(kColVelocity, true);

    // The whole buffer: a header and one row per sample; the view in time: fewer rows.
    const QString csv = Output("trend-" + suffix + ".csv");
    ASSERT_TRUE(window.exportCsv(csv, true, &error)) << error.toStdString();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    EXPECT_EQ(lines.size(), static_cast<qsizetype>(recorder.samples().size()) + 1);
    EXPECT_TRUE(lines.front().startsWith("\xEF\xBB\xBFtime [s],UTC,motor position [steps]"));
    window.plot()->setTimeRange(2, 4);
    ASSERT_TRUE(window.exportCsv(csv, false, &error));
    file.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    // About 20 (2 s at 10 per second); a loaded machine may stretch a poll, so count what was taken.
    const auto inView = std::count_if(recorder.samples().begin(), recorder.samples().end(),
                                      [](const TrendSample& s) { return s.time >= 2 && s.time <= 4; });
    EXPECT_GE(inView, 10);
    EXPECT_NEAR(file.readAll().trimmed().split('\n').size() - 1, inView, 1) << "the rows of 2 s to 4 s";
  }
}

TEST_F(TrendTest, ReadoutAtTheCursorNamesEveryVisibleTraceAndTheMarksNearIt) {
  TrendWindow window;
  window.show();
  window.setDriveIdentified(true);
  window.stopPolling();
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < 20; ++i) {
    DriveStatusPoll poll;
    poll.ok = i != 10 && ReadDriveStatus(poll.reading);
    poll.arrived = start + std::chrono::milliseconds(100 * i);
    window.takePoll(poll);
  }
  TrendPlot* plot = window.plot();
  const double gapTime = window.recorder().samples()[10].time;
  plot->setTraceVisible(kColVoltage, false);
  const QString atGap = plot->readout(gapTime, 0.01);
  EXPECT_TRUE(atGap.contains("No answer from the drive")) << atGap.toStdString();
  EXPECT_TRUE(atGap.contains(QString::fromUtf8("Motor position: \u2013"))) << "a gap reads as no value";
  const QString before = plot->readout(gapTime - 0.1, 0.01);
  EXPECT_FALSE(before.contains("No answer"));
  EXPECT_TRUE(before.contains("Motor position: 0 steps")) << before.toStdString();
  EXPECT_TRUE(before.contains(QString::fromUtf8("Power-stage temperature: ")));
  EXPECT_FALSE(before.contains("DC-link voltage")) << "hidden traces are not read off";
  // In German the units are the pages' ones.
  SetLanguage(Language::German);
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));  // as the German window sets it
  const QString german = plot->readout(gapTime - 0.1, 0.01);
  QLocale::setDefault(QLocale::c());
  EXPECT_TRUE(german.contains("Motorposition: 0 Schritte")) << german.toStdString();
  EXPECT_TRUE(german.contains("Geschwindigkeit: 0 Schritte/s")) << german.toStdString();
  EXPECT_TRUE(german.contains(QRegularExpression("Zeit: \\d+,\\d\\d s"))) << "decimal comma, as the axes";
}

// The lanes' time axis (the one with the labels) shows the plot's time from the start, not only
// once the view first moves; and the time the window was closed or the polls stopped is a gap in
// the plot, not a line drawn across it.
TEST_F(TrendTest, LanesShareTheTimeFromTheStartAndAClosedWindowLeavesAGap) {
  TrendWindow window;
  TrendPlot* plot = window.plot();
  const QCPAxis* laneTime = plot->axisRect(1)->axis(QCPAxis::atBottom);
  EXPECT_EQ(laneTime->range(), plot->timeRange());
  window.show();
  window.setDriveIdentified(true);
  window.stopPolling();
  // Five polls from `from` on, `step` apart; a break takes the time it is made.
  auto feed = [&window](Clock::time_point from, Clock::duration step) {
    for (int i = 0; i < 5; ++i) {
      DriveStatusPoll poll;
      poll.ok = ReadDriveStatus(poll.reading);
      poll.arrived = from + i * step;
      window.takePoll(poll);
    }
  };
  feed(Clock::now() - std::chrono::seconds(2), std::chrono::milliseconds(100));
  window.hide();
  window.show();
  feed(Clock::now(), std::chrono::microseconds(1));
  // The polls stopped while the line was busy with something else (an update): another gap.
  window.startPolling();
  window.stopPolling();
  feed(Clock::now() + std::chrono::seconds(1), std::chrono::milliseconds(100));
  plot->fit();
  EXPECT_EQ(laneTime->range(), plot->timeRange());
  for (int column : {kColMotorPosition, kColReferenced}) {
    const auto& data = plot->graph(column)->data();
    ASSERT_EQ(data->size(), 17) << "column " << column;
    for (int i = 0; i < data->size(); ++i) {
      EXPECT_EQ(std::isnan((data->constBegin() + i)->value), i == 5 || i == 11)
          << "column " << column << ", point " << i;
    }
    // The gap starts right after the last sample, so a lane drawn as steps ends there.
    EXPECT_LT((data->constBegin() + 5)->key - (data->constBegin() + 4)->key, 0.01);
  }
}

// A drive that goes away between two polls (the carrier dropped) leaves a gap and its mark.
TEST_F(TrendTest, ADriveThatGoesAwayLeavesAGapAndAMark) {
  TrendWindow window;
  window.show();
  window.setDriveIdentified(true);
  window.stopPolling();
  DriveStatusPoll poll;
  poll.ok = true;
  poll.arrived = Clock::now();
  window.takePoll(poll);
  window.setDriveIdentified(false);
  ASSERT_FALSE(window.recorder().events().empty());
  EXPECT_EQ(window.recorder().events().back().kind, TrendEventKind::NoAnswer);
  EXPECT_FALSE(window.recorder().samples().back().valid);
  // The footer says what happened, not that the trend has yet to start.
  const auto* footer = window.findChild<QLabel*>("trendStatus");
  ASSERT_NE(footer, nullptr);
  EXPECT_TRUE(footer->text().startsWith("No drive answers: the 2 samples")) << footer->text().toStdString();
}

// Every parameter the pages write becomes a mark, also after the first (when "Save Changes" is
// already on); the object channel's commands do not.
TEST_F(TrendTest, ParameterWritesOfThePagesBecomeMarks) {
  SetLanguage(Language::English);
  CAxtuneDlg window;
  for (int record : {17, 2, kObjectRecord, 64}) window.NotifyParameterChanged(record);
  std::vector<std::string> marks;
  for (const TrendEvent& e : window.Trend()->recorder().events()) {
    EXPECT_EQ(e.kind, TrendEventKind::ParameterWritten);
    marks.push_back(TrendEventText(e, Language::English));
  }
  ASSERT_EQ(marks.size(), 3u);
  EXPECT_EQ(marks[0].rfind("Parameter written: record 17 (", 0), 0u) << marks[0];
  EXPECT_EQ(marks[1].rfind("Parameter written: record 2 (", 0), 0u) << marks[1];
  EXPECT_EQ(marks[2].rfind("Parameter written: record 64 (", 0), 0u) << marks[2];
  EXPECT_TRUE(window.IsModified());

  // A bound control that wrote is named as its page labels it, a profile's with its profile.
  CSettingsPropertyPage settings;
  CFahrsatzPropertyPage profiles;
  profiles.SetRecordNumber(CFahrsatzPropertyPage::kFirstProfileRecord + 3);
  const ParamEntry* velocity =
      FindControlEntry(ParamPage::Profiles, FindParameter("profile-3-velocity")->controlId, 3);
  ASSERT_NE(velocity, nullptr);
  window.NotifyParameterWritten(kNoRecord, settings.findChild<QWidget*>("1174"));
  window.NotifyParameterWritten(17, profiles.findChild<QWidget*>(QString::number(velocity->controlId)));
  const auto& events = window.Trend()->recorder().events();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(
      events[3].text.rfind(ParameterLabel(*FindParameter("motor-current"), Language::English) + " (", 0), 0u)
      << events[3].text;
  EXPECT_EQ(events[4].text.rfind(ParameterLabel(*velocity, Language::English) + " (", 0), 0u)
      << events[4].text;
  // A value the compare dialog wrote back is named by its entry and page.
  const ParamEntry homing = *FindParameter("homing-velocity");
  window.NotifyParameterWritten(homing);
  EXPECT_EQ(window.Trend()->recorder().events().back().text,
            ParameterLabel(homing, Language::English) + " (" +
                PageTitle(ParamPage::Homing, Language::English) + ")");
}

}  // namespace
}  // namespace axtune
