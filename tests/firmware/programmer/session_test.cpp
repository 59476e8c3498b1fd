// PRG_Open, PRG_Close and whole sessions against the simulated processor: boot loading, the prompt and
// wait-cursor hooks, the temporary kernel file, the second open, the busy rule and abort.
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "firmware/programmer/prg_state.h"
#include "link/port_slots.h"
#include "sim/boot/standin_kernel.h"
#include "tests/firmware/programmer/programmer_fixture.h"

namespace axtune::test {
namespace {

std::vector<uint16_t> Pattern(size_t words, uint16_t seed) {
  std::vector<uint16_t> v(words);
  for (size_t i = 0; i < words; ++i) v[i] = static_cast<uint16_t>(seed + i * 0x0101u);
  return v;
}

TEST_F(ProgrammerSession, WholeSessionLoadsTheKernelAndProgramsTheFlash) {
  Connect();
  EXPECT_TRUE(sawMessage("Connected to test:prg at 19200 baud\n"));
  EXPECT_TRUE(sawMessage("Entry point 0x00008000\n"));
  EXPECT_TRUE(sawMessage("Section Address = 0x00008000, Number of words = 3489\n"));
  EXPECT_TRUE(sawMessage("Section Address = 0x00008f80, Number of words = 4\n"));
  // The kernel image reached RAM word for word, its signature first.
  EXPECT_EQ(processor_->ramWord(sim::kStandInKernelEntryPoint), 'A' | ('X' << 8));

  const auto image = Pattern(1000, 0x1234);
  const uint32_t base = 0x3F0000;
  ASSERT_EQ(PRG_FlashErase(handle_), PRG_DONE);
  ASSERT_EQ(PRG_FlashWrite(handle_, base, 0, 2000, image.data()), PRG_DONE);
  ASSERT_EQ(PRG_FlashVerify(handle_, base, 0, 2000, image.data()), PRG_DONE);
  std::vector<uint16_t> back(1000, 0);
  ASSERT_EQ(PRG_FlashRead(handle_, base, 0, 2000, back.data()), PRG_DONE);
  EXPECT_EQ(back, image);
  EXPECT_EQ(processor_->flashWord(base + 999), image[999]);
  EXPECT_EQ(processor_->flashWord(base + 1000), 0xFFFF);

  // RAM through the memory commands.
  const auto ram = Pattern(300, 0x0F0F);
  ASSERT_EQ(PRG_MemWrite(handle_, 0xA000, 0, 600, ram.data()), PRG_DONE);
  std::vector<uint16_t> ramBack(300, 0);
  ASSERT_EQ(PRG_MemRead(handle_, 0xA000, 0, 600, ramBack.data()), PRG_DONE);
  EXPECT_EQ(ramBack, ram);

  EXPECT_EQ(PRG_Close(handle_), 0);
  EXPECT_EQ(PRG_Status(), PRG_DONE);               // close leaves the status alone
  EXPECT_EQ(PRG_FlashErase(handle_), PRG_FAILED);  // not connected any more
}

TEST_F(ProgrammerSession, DefaultOptionsUseCom1At19200WithTheBootLineSettings) {
  SetPortSlotOverride(1, kDevice);
  PRG_Init(&handle_);
  PRG_SetMessageCallBack(handle_, &Collect);
  Connect();
  SetPortSlotOverride(1, "");
  EXPECT_TRUE(sawMessage("Connected to \\\\.\\COM1 at 19200 baud\n"));
  const SerialSettings s = line_->lastSettings();
  EXPECT_EQ(s.baudRate, 19200);
  EXPECT_TRUE(s.dtr);
  EXPECT_FALSE(s.rts);
  const SerialTimeouts t = line_->lastTimeouts();
  EXPECT_EQ(t.readPerByteMs, 1000000u / 19200u);
  EXPECT_EQ(t.readConstantMs, 100u);  // a floor for adapters with latency timers
  EXPECT_EQ(t.writePerByteMs, 1000u);
  // PRG_Open forces the erase parameters and remembers that the kernel runs.
  const auto* o = static_cast<PRG_Options*>(handle_);
  EXPECT_EQ(o->PrgEraseOption1, 0x000Fu);
  EXPECT_EQ(o->PrgEraseOption2, 0x0099u);
  EXPECT_EQ(o->PrgEraseOption4, 0x0500u);
  EXPECT_EQ(o->PrgSkipBootLoad, 1u);
}

TEST_F(ProgrammerSession, BootTableGoesOutAsTheRomExpectsAndTheTemporaryFileIsRemoved) {
  Connect();
  Bytes w = written();
  // First a ping for a kernel that an earlier session may have left running; the ROM ignores it.
  const Bytes probe = {0x01, 0x66, 0x99, 0x00, 0x00, 0x1C, 0x00, 0x00, 0x00, 0x01};
  ASSERT_GE(w.size(), 28u);
  EXPECT_EQ(Bytes(w.begin(), w.begin() + 10), probe);
  EXPECT_EQ(std::count(w.begin(), w.begin() + 28, uint8_t{'A'}), 0);
  w.erase(w.begin(), w.begin() + 28);
  // "A", then key 0x08AA low byte first, eight reserved words, the entry point high word first.
  const Bytes header = {'A', 0xAA, 0x08, 0, 0, 0, 0, 0,    0,    0,    0,   0,
                        0,   0,    0,    0, 0, 0, 0, 0x00, 0x00, 0x00, 0x80};
  ASSERT_GE(w.size(), header.size());
  EXPECT_EQ(Bytes(w.begin(), w.begin() + static_cast<ptrdiff_t>(header.size())), header);
  // The first block: 3489 words at 0x00008000.
  const Bytes block = {0xA1, 0x0D, 0x00, 0x00, 0x00, 0x80};
  EXPECT_EQ(Bytes(w.begin() + 23, w.begin() + 29), block);

  const auto* o = static_cast<PRG_Options*>(handle_);
  const std::filesystem::path file = std::filesystem::u8path(o->PrgBootLoadFileName);
  EXPECT_FALSE(file.empty());
  std::filesystem::path temp = std::filesystem::temp_directory_path();
  if (!temp.has_filename()) temp = temp.parent_path();  // Windows ends it with a separator
  EXPECT_EQ(file.parent_path(), temp);
  EXPECT_FALSE(std::filesystem::exists(file));
  // The kernel starts within the 1000 ms pause, the zeros after its autobaud settle for 300 ms.
  EXPECT_NE(std::find(sleeps_.begin(), sleeps_.end(), 1000), sleeps_.end());
  EXPECT_NE(std::find(sleeps_.begin(), sleeps_.end(), 300), sleeps_.end());
}

TEST_F(ProgrammerSession, AnyWrongEchoInTheBootHeaderFailsTheLoad) {
  for (size_t position = 0; position < 22; ++position) {
    SCOPED_TRACE(position);
    processor_ = std::make_unique<sim::BootProcessor>();
    messages_.clear();
    size_t echoes = 0;
    tamper_ = [&](Bytes out) {
      // The first answer is the autobaud echo; the boot header follows.
      if (out.size() == 1 && echoes++ == position + 1) out[0] ^= 0x40;
      return out;
    };
    EXPECT_EQ(PRG_Open(handle_), PRG_FAILED);
    EXPECT_TRUE(sawMessage("Error writing boot header\n"));
    EXPECT_TRUE(sawMessage("Failed to load boot code.\n"));
    EXPECT_FALSE(sawMessage("Error writing section header\n"));
    PRG_Close(handle_);
  }
}

TEST_F(ProgrammerSession, FailuresToReachTheProcessorSayWhichStepFailed) {
  // Nobody answers the autobaud: 21 attempts, a reset through DTR, 21 attempts more.
  line_->setResponder([](const Bytes&) { return Bytes{}; });
  EXPECT_EQ(PRG_Open(handle_), PRG_FAILED);
  EXPECT_TRUE(sawMessage("Autobaud failed before loading application\n"));
  EXPECT_TRUE(sawMessage("Resetting the drive's processor (DTR) to reach its boot loader\n"));
  EXPECT_EQ(
      messages_.back(),
      "No boot loader answered after the reset: the drive runs its firmware, is switched off, or the cable "
      "is out\n");
  EXPECT_EQ(CountOf(written(), 'A'), 42);
  uint32_t address = 1;
  EXPECT_EQ(PRG_GetNoAnswer(&address), 1);
  EXPECT_EQ(address, 0u);
  PRG_Close(handle_);

  messages_.clear();
  PRG_SetOptions(handle_, "EmuPortName=no-such-device-here,EmuBaudRate=115200");
  EXPECT_EQ(PRG_Open(handle_), PRG_FAILED);
  EXPECT_TRUE(sawMessage("Could not open serial port no-such-device-here at 115200 baudrate\n"));
}

int32_t g_prompts = 0;
int32_t g_promptAnswer = 0;
std::vector<int32_t> g_cursor;
int32_t Prompt(void* context, const char* title, const char* text) {
  ++g_prompts;
  EXPECT_EQ(context, &g_prompts);
  EXPECT_STREQ(title, "QMX Download");
  EXPECT_STREQ(text, "QMX einschalten!");
  return g_promptAnswer;
}
void Cursor(void*, int32_t on) {
  g_cursor.push_back(on);
}

TEST_F(ProgrammerSession, PromptAndWaitCursorGoThroughTheHostsHooks) {
  g_prompts = 0;
  g_promptAnswer = 0;
  g_cursor.clear();
  PRG_SetUserInterfaceHooks(&Prompt, &Cursor, &g_prompts);
  Connect();
  EXPECT_EQ(g_prompts, 1);
  EXPECT_EQ(g_cursor, std::vector<int32_t>({1}));
  PRG_Close(handle_);
  EXPECT_EQ(g_cursor, std::vector<int32_t>({1, 0}));

  // A cancelled prompt sends nothing and leaves the arrow cursor.
  g_promptAnswer = 1;
  g_cursor.clear();
  clearWritten();
  EXPECT_EQ(PRG_Open(handle_), PRG_FAILED);
  EXPECT_TRUE(sawMessage("Cancelled by the user\n"));
  EXPECT_TRUE(written().empty());
  EXPECT_EQ(g_prompts, 2);

  // A failure after the prompt brings the arrow back.
  g_promptAnswer = 0;
  g_cursor.clear();
  line_->setResponder([](const Bytes&) { return Bytes{}; });
  EXPECT_EQ(PRG_Open(handle_), PRG_FAILED);
  EXPECT_EQ(g_cursor, std::vector<int32_t>({1, 0}));
}

TEST_F(ProgrammerSession, SecondOpenPingsTheRunningKernelInsteadOfLoadingIt) {
  Connect();
  PRG_Close(handle_);  // the scripted line does not reset the processor on DTR
  clearWritten();
  messages_.clear();
  ASSERT_EQ(PRG_Open(handle_), PRG_DONE);
  const auto packets = HostPackets(written());
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].sequence, 0);  // the sequence starts again with every open
  EXPECT_EQ(packets[0].data,
            Bytes({0x00, 0x01, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}));
  EXPECT_EQ(CountOf(written(), 'A'), 0);
  EXPECT_FALSE(sawMessage("Failed to load boot code.\n"));
}

TEST_F(ProgrammerSession, SecondOpenAfterAResetLoadsTheKernelAgain) {
  Connect();
  PRG_Close(handle_);
  processor_->reset();  // what the DTR pulse does to a real drive: the boot ROM runs again
  ASSERT_FALSE(processor_->kernelRunning());
  messages_.clear();
  ASSERT_EQ(PRG_Open(handle_), PRG_DONE);
  EXPECT_TRUE(sawMessage("No flash kernel answered; loading it through the boot loader\n"));
  EXPECT_TRUE(processor_->kernelRunning());
  // The failed ping does not count: the freshly loaded kernel's first packet carries 0.
  clearWritten();
  uint16_t word = 0x5A5A;
  EXPECT_EQ(PRG_FlashWrite(handle_, 0x3E8000, 0, 2, &word), PRG_DONE);
  const auto packets = HostPackets(written());
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].sequence, 0);
}

TEST_F(ProgrammerSession, AFailedOpenLeavesNoConnectionBehind) {
  Connect();
  // Open again without closing, and this time nothing answers: neither the ping nor the autobaud.
  line_->setResponder([](const Bytes&) { return Bytes{}; });
  EXPECT_EQ(PRG_Open(handle_), PRG_FAILED);
  clearWritten();
  uint16_t word = 0x1234;
  EXPECT_EQ(PRG_FlashErase(handle_), PRG_FAILED);
  EXPECT_EQ(PRG_FlashWrite(handle_, 0x3E8000, 0, 2, &word), PRG_FAILED);
  EXPECT_EQ(PRG_FlashVerify(handle_, 0x3E8000, 0, 2, &word), PRG_FAILED);
  EXPECT_TRUE(written().empty());  // no kernel packet goes to a line that has no kernel
}

TEST_F(ProgrammerSession, CloseResetsTheProcessorByADtrPulseAndKeepsStatusAndSkipFlag) {
  Connect();
  uint16_t word = 0;
  EXPECT_EQ(PRG_FlashRead(handle_, 0x100000, 0, 2, &word), PRG_FAILED);  // not flash: status 1
  sleeps_.clear();
  std::vector<bool> dtrDuringSleeps;
  onSleep_ = [&](int) { dtrDuringSleeps.push_back(line_->dtr()); };
  EXPECT_EQ(PRG_Close(handle_), 0);
  onSleep_ = nullptr;
  // DTR high for 100 ms, low for 100 ms, then 200 ms before the port closes.
  EXPECT_EQ(sleeps_, std::vector<int>({100, 100, 200}));
  EXPECT_EQ(dtrDuringSleeps, std::vector<bool>({true, false, false}));
  EXPECT_FALSE(line_->isOpen());
  EXPECT_EQ(PRG_Status(), PRG_FAILED);
  EXPECT_EQ(static_cast<PRG_Options*>(handle_)->PrgSkipBootLoad, 1u);
}

TEST_F(ProgrammerSession, NothingStartsWhileAnOperationRuns) {
  static std::vector<int32_t> during;
  during.clear();
  PRG_SetUserInterfaceHooks(
      [](void*, const char*, const char*) -> int32_t {
        uint16_t w = 0;
        during.push_back(PRG_Status());
        during.push_back(PRG_Open(nullptr));
        during.push_back(PRG_FlashErase(nullptr));
        during.push_back(PRG_FlashWrite(nullptr, 0, 0, 2, &w));
        during.push_back(PRG_FlashRead(nullptr, 0, 0, 2, &w));
        during.push_back(PRG_MemWrite(nullptr, 0, 0, 2, &w));
        during.push_back(PRG_MemRead(nullptr, 0, 0, 2, &w));
        during.push_back(PRG_FlashVerify(nullptr, 0, 0, 2, &w));
        during.push_back(PRG_Status());
        return 0;
      },
      nullptr, nullptr);
  Connect();
  EXPECT_EQ(during, std::vector<int32_t>({2, 2, 2, 2, 2, 2, 2, 1, 2}));
}

TEST_F(ProgrammerSession, CloseAbortsTheEraseWaitAndARunningWrite) {
  Connect();
  // During the erase wait: PRG_Close from the waiting thread's pause.
  PRG_SetOptions(handle_, "PrgEraseTimeout=100");
  bool closed = false;
  onSleep_ = [&](int) {
    if (!closed) {
      closed = true;
      PRG_Close(handle_);
    }
  };
  EXPECT_EQ(PRG_FlashErase(handle_), PRG_FAILED);
  onSleep_ = nullptr;

  // During a long write: another thread closes after the first chunk went out.
  ASSERT_EQ(PRG_Open(handle_), PRG_DONE);
  std::mutex m;
  std::condition_variable cv;
  bool firstChunk = false;
  int writePackets = 0;
  tamper_ = [&](Bytes out) {
    if (out.size() >= 8 && out[0] == 0x06 && ++writePackets == 1) {
      {
        std::lock_guard lock(m);
        firstChunk = true;
      }
      cv.notify_one();
      while (!prg::State().abort) std::this_thread::yield();
    }
    return out;
  };
  const auto image = Pattern(114 * 10, 0x0101);
  std::atomic<int> result{-1};
  std::thread writer([&] { result = PRG_FlashWrite(handle_, 0x3E8000, 0, 2 * 114 * 10, image.data()); });
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return firstChunk; });
  }
  PRG_Close(handle_);
  writer.join();
  EXPECT_EQ(result, PRG_FAILED);
  EXPECT_EQ(PRG_Status(), PRG_FAILED);
  EXPECT_EQ(writePackets, 1);
  EXPECT_EQ(processor_->flashWord(0x3E8000 + 114), 0xFFFF);  // the second chunk never went out
}

}  // namespace
}  // namespace axtune::test
