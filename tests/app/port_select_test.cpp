// Ports in the window without hardware: a network port from the dialog against qmx-sim --rfc2217 and
// a closed port, and an adapter (qmx-sim behind a by-id link on a made-up machine) pulled out while
// connected and plugged back under another device name.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <iterator>
#include <memory>

#include "app/axtune_dlg.h"
#include "app/axtune_property_sheet.h"
#include "app/command_ids.h"
#include "app/network_port_dialog.h"
#include "link/drive_link.h"
#include "link/port_discovery.h"
#include "link/port_slots.h"
#include "res/strings.h"
#include "tests/app/gui_test_support.h"
#include "tests/firmware/programmer/qmx_sim_process.h"
#include "tests/support/fake_port_tree.h"

namespace axtune {
namespace {

using testing::EnsureApplication;

// A port on loopback that nobody listens on: bound for a free number, then let go.
int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(fd);
    return 0;
  }
  close(fd);
  return ntohs(address.sin_port);
}

class PortSelectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    previousDir_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    SetLanguage(Language::English);
    testing::RestorePortSlots();
    tree_ = std::make_unique<test::FakePortTree>(dir_.filePath("machine").toStdString());
    const PortDiscoveryRoots roots = tree_->Roots();
    SetPortDiscoveryRoots(&roots);
    SetPortSlotMemory({});
  }
  void TearDown() override {
    window_.reset();
    CloseLink();
    SetPortDiscoveryRoots(nullptr);
    SetPortSlotMemory({});
    QDir::setCurrent(previousDir_);
  }
  CAxtuneDlg& Window() {
    if (!window_) {
      window_ = std::make_unique<CAxtuneDlg>();
      window_->show();
    }
    return *window_;
  }
  std::string Memory() {
    std::ifstream in(dir_.filePath("Axtune.ini").toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Checks what the address box holds with one of the dialog's buttons, and waits for the answer.
  static bool Press(CNetworkPortDialog& dialog, const char* button, const std::string& address) {
    dialog.findChild<QComboBox*>(CNetworkPortDialog::kAddressName)
        ->setEditText(QString::fromStdString(address));
    QSignalSpy finished(&dialog, &CNetworkPortDialog::CheckFinished);
    QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
    return finished.wait(20000);
  }

  testing::UiRecorder ui_;
  QTemporaryDir dir_;
  QString previousDir_;
  std::unique_ptr<test::FakePortTree> tree_;
  std::unique_ptr<CAxtuneDlg> window_;
};

TEST_F(PortSelectTest, NetworkPortIsCheckedThenConnectedOnAFreeSlot) {
  test::QmxSimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.start(QMX_SIM_PATH, {"--rfc2217", "0"}, error)) << error;
  ASSERT_EQ(sim.device().rfind("rfc2217://", 0), 0u) << sim.device();
  const std::string hostPort = sim.device().substr(10);
  const std::string memoryFile = dir_.filePath("Axtune.ini").toStdString();

  CNetworkPortDialog dialog(nullptr, memoryFile);
  dialog.show();
  const std::string closed = "127.0.0.1:" + std::to_string(ClosedPort());
  ASSERT_TRUE(Press(dialog, CNetworkPortDialog::kConnectName, closed));
  EXPECT_TRUE(dialog.ResultText().startsWith(QString::fromStdString("Cannot connect to " + closed + ": ")))
      << dialog.ResultText().toStdString();
  EXPECT_TRUE(dialog.isVisible()) << "nothing answered: the dialog stays for another address";
  EXPECT_EQ(dialog.ChosenSlot(), 0);

  ASSERT_TRUE(Press(dialog, CNetworkPortDialog::kCheckName, "nonsense"));
  EXPECT_EQ(dialog.ResultText(), "Please enter host and port, for example 192.168.0.20:4001.");

  ASSERT_TRUE(Press(dialog, CNetworkPortDialog::kCheckName, hostPort));
  EXPECT_EQ(dialog.ResultText().toStdString(), hostPort + " answered: drive QMX10-BA, firmware 4.1.7");
  EXPECT_EQ(dialog.ChosenSlot(), 0) << "a check alone puts nothing on a slot";

  ASSERT_TRUE(Press(dialog, CNetworkPortDialog::kConnectName, hostPort));
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  ASSERT_EQ(dialog.ChosenSlot(), 1) << "the first free slot";
  EXPECT_NE(Memory().find("\nCOM1=rfc2217://" + hostPort + "\n"), std::string::npos) << Memory();
  EXPECT_NE(Memory().find("\nNetworkPorts=" + hostPort + "\n"), std::string::npos) << Memory();

  // The window shows the port as it shows a device: menu, title.
  ASSERT_TRUE(Window().OpenPort(1));
  EXPECT_TRUE(Window().IsConnected());
  EXPECT_EQ(Window().windowTitle().toStdString(),
            "Axtune \xE2\x80\x93 QMX10-BA 4.1.7 on COM1 (" + sim.device() + ")");
  Window().RefreshPortItems();
  EXPECT_EQ(Window().CommandAction(kCommandPortBase + 1)->text().toStdString(),
            "COM1 \xE2\x80\x94 network " + hostPort);
  Window().Shutdown();

  // The next dialog offers it first; a restart finds it on its slot.
  CNetworkPortDialog again(nullptr, memoryFile);
  EXPECT_EQ(again.findChild<QComboBox*>(CNetworkPortDialog::kAddressName)->itemText(0).toStdString(),
            hostPort);
  SetPortSlotMemory({});
  window_.reset();
  EXPECT_EQ(ResolvePortDevice(PortSlotName(1)), "");
  Window();
  EXPECT_EQ(ResolvePortDevice(PortSlotName(1)), sim.device());
}

// The adapter is pulled while connected: the window says so at once and keeps its pages; plugged
// back in, it is a new terminal (another device name) and the window takes it on COM1 by itself,
// with nothing to click.
TEST_F(PortSelectTest, UnpluggedAdapterIsFoundAgainOnItsSlotUnderAnotherName) {
  const std::string link = tree_->Roots().serialById + "/usb-Axtune_QMX_Sim_0001-if00";
  test::QmxSimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.start(QMX_SIM_PATH, {"--link", link}, error)) << error;
  ASSERT_EQ(sim.device().rfind("/dev/pts/", 0), 0u) << sim.device();
  Window().SetAdapterRetryInterval(10);
  Window().ConnectAtStartup();
  ASSERT_TRUE(Window().IsConnected());
  ASSERT_EQ(Window().CheckedPort(), 1);
  EXPECT_NE(Memory().find("\nCOM1=usb-Axtune_QMX_Sim_0001-if00\n"), std::string::npos) << Memory();
  const int pages = Window().Sheet()->count();
  const size_t boxes = ui_.messages.size();

  ASSERT_TRUE(sim.command("unplug"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Window().AdapterUnplugged(); }, 20000));
  EXPECT_TRUE(Window().ConnectionStateText().startsWith("The USB adapter was unplugged"));
  EXPECT_TRUE(Window().windowTitle().endsWith("USB adapter unplugged"))
      << Window().windowTitle().toStdString();
  EXPECT_FALSE(Window().IsConnected());
  EXPECT_EQ(Window().Sheet()->count(), pages) << "the pages stay";
  EXPECT_FALSE(IsLinkOpen());

  ASSERT_TRUE(sim.command("replug"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Window().IsConnected(); }, 20000));
  EXPECT_FALSE(Window().AdapterUnplugged());
  EXPECT_EQ(Window().CheckedPort(), 1);
  const std::string now = ResolvePortDevice(PortSlotName(1));
  EXPECT_EQ(now.rfind("/dev/pts/", 0), 0u);
  EXPECT_NE(now, sim.device()) << "another device name";
  EXPECT_TRUE(Window().StatusNote().startsWith("The USB adapter is back: COM1"))
      << Window().StatusNote().toStdString();
  EXPECT_EQ(Window().ConnectionStateText(), "");
  EXPECT_EQ(ui_.messages.size(), boxes) << "no box to click";
  EXPECT_TRUE(Window().WatcherRunning());
}

}  // namespace
}  // namespace axtune
