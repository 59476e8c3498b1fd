// The port discovery on a made-up machine: what each kind of adapter is called, and which slot it
// gets and keeps.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "link/port_discovery.h"
#include "link/port_slots.h"
#include "tests/support/fake_port_tree.h"

namespace axtune {
namespace {

using test::FakePortTree;
using test::FakeUsbAdapter;

class FakeMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("axtune-ports-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root_);
    tree_ = std::make_unique<FakePortTree>(root_);
    const PortDiscoveryRoots roots = tree_->Roots();
    SetPortDiscoveryRoots(&roots);
    SetPortSlotMemory({});
  }
  void TearDown() override {
    SetPortDiscoveryRoots(nullptr);
    SetPortSlotMemory({});
    std::filesystem::remove_all(root_);
  }
  std::filesystem::path root_;
  std::unique_ptr<FakePortTree> tree_;
};

struct NamingCase {
  const char* kind;
  FakeUsbAdapter adapter;  // tty empty: a built-in 16550A on ttyS0
  const char* description;
  const char* menuDevice;
};

class PortNaming : public FakeMachine, public ::testing::WithParamInterface<NamingCase> {};

TEST_P(PortNaming, NamesWhatIsPluggedInAsTheSystemReportsIt) {
  const NamingCase& c = GetParam();
  const bool builtIn = c.adapter.tty.empty();
  if (builtIn) {
    tree_->AddUart("ttyS0", 4);
    tree_->AddUart("ttyS1", 0);  // a node without a chip: not a port
  } else {
    tree_->PlugUsb(c.adapter);
  }
  const std::vector<SerialDeviceInfo> found = DiscoverSerialDevices();
  ASSERT_EQ(found.size(), 1u);
  const SerialDeviceInfo& info = found[0];
  EXPECT_EQ(info.Description(), c.description);
  EXPECT_EQ(info.device, tree_->Dev(c.menuDevice));
  EXPECT_EQ(info.byIdName, c.adapter.byId);
  EXPECT_EQ(info.driver, builtIn ? "serial8250" : c.adapter.driver);
  EXPECT_EQ(info.manufacturer, c.adapter.manufacturer);
  EXPECT_EQ(info.vendorId, c.adapter.vendorId);

  const PortSlot slot = PortSlotInfo(1);
  EXPECT_EQ(slot.device, info.device);
  EXPECT_EQ(slot.description, c.description);
  EXPECT_EQ(slot.key, builtIn ? info.device : c.adapter.byId) << "the slot remembers the stable name";
  if (!builtIn) {
    EXPECT_EQ(ResolvePortDevice(slot.byIdPath), std::filesystem::weakly_canonical(info.device).string());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, PortNaming,
    ::testing::Values(NamingCase{"ftdi", test::FtdiAdapter(), "FT232R USB UART (A50285BI)", "ttyUSB0"},
                      NamingCase{"ch340", test::Ch340Adapter("ttyUSB0"), "USB Serial", "ttyUSB0"},
                      NamingCase{"cp210x", test::Cp210xAdapter("ttyUSB0"),
                                 "CP2102 USB to UART Bridge Controller (0001)", "ttyUSB0"},
                      NamingCase{"acm", test::AcmAdapter(), "Arduino Uno (85736323838351F0E1C1)", "ttyACM0"},
                      NamingCase{"uart16550", FakeUsbAdapter{}, "16550A", "ttyS0"}),
    [](const ::testing::TestParamInfo<NamingCase>& info) { return std::string(info.param.kind); });

// Two adapters get COM1 and COM2; the first is pulled out and comes back as ttyUSB2 while a third
// arrived in between: it is found on COM1 again, the newcomer took the first free slot, and a new
// process with the saved memory (a restart) sees the same.
TEST_F(FakeMachine, AnAdapterKeepsItsSlotAcrossARePlugUnderAnotherName) {
  tree_->PlugUsb(test::FtdiAdapter("ttyUSB0"));
  tree_->PlugUsb(test::Cp210xAdapter("ttyUSB1"));
  tree_->AddUart("ttyS0", 4);
  std::vector<PortSlot> slots = ListPortSlots();
  EXPECT_EQ(slots[0].device, tree_->Dev("ttyUSB0"));
  EXPECT_EQ(slots[1].device, tree_->Dev("ttyUSB1"));
  EXPECT_EQ(slots[2].description, "16550A");

  tree_->Unplug(test::FtdiAdapter("ttyUSB0"));
  slots = ListPortSlots();
  EXPECT_EQ(slots[0].device, "") << "the slot waits for its adapter";
  EXPECT_EQ(slots[0].key, test::FtdiAdapter().byId);
  EXPECT_EQ(slots[1].device, tree_->Dev("ttyUSB1")) << "the other adapter does not move up";

  tree_->PlugUsb(test::Ch340Adapter("ttyUSB0"));  // a new adapter takes the name that came free
  tree_->PlugUsb(test::FtdiAdapter("ttyUSB2"));
  slots = ListPortSlots();
  EXPECT_EQ(slots[0].device, tree_->Dev("ttyUSB2"));
  EXPECT_EQ(slots[0].description, "FT232R USB UART (A50285BI)");
  EXPECT_EQ(slots[1].device, tree_->Dev("ttyUSB1"));
  EXPECT_EQ(slots[3].device, tree_->Dev("ttyUSB0")) << "the newcomer: first free slot";
  EXPECT_EQ(ResolvePortDevice("COM1"), tree_->Dev("ttyUSB2"));

  const std::map<int, std::string> saved = PortSlotMemory();
  SetPortSlotMemory({});
  tree_->Unplug(test::FtdiAdapter("ttyUSB2"));
  tree_->PlugUsb(test::FtdiAdapter("ttyUSB3"));
  SetPortSlotMemory(saved);
  EXPECT_EQ(ResolvePortDevice("COM1"), tree_->Dev("ttyUSB3")) << "after a restart";
  EXPECT_EQ(ResolvePortDevice("COM4"), tree_->Dev("ttyUSB0"));

  // A network port goes on the first free slot and stays there; asked again, the same slot.
  const int network = RememberNetworkPort("rfc2217://192.0.2.7:4001");
  EXPECT_EQ(network, 5);
  EXPECT_EQ(RememberNetworkPort("rfc2217://192.0.2.7:4001"), 5);
  EXPECT_EQ(ResolvePortDevice("COM5"), "rfc2217://192.0.2.7:4001");
}

}  // namespace
}  // namespace axtune
