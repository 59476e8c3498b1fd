// Record and object reads through the real link (ReadRecord, ReadObject) against the in-process
// simulated drive on virtual time, with one kind of line fault at a time. Every value a call reports
// as read is compared with what the drive holds: a "wrong value accepted" is a call that returned
// true with a value the drive never had. The longest call is measured on the drive's clock (the
// time the call would take on a real line), so the table costs little wall time.
//
//   linenoise_bench [--calls N] [--seed S]     N record reads and N object reads per row (100000)
//
// Prints a Markdown table. Nothing is asserted: the figures go into docs/reliability.md.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/drive_link.h"
#include "link/object_access.h"
#include "link/sleeper.h"
#include "sim/simulated_drive.h"

namespace {

using axtune::RecordWords;
using axtune::sim::FaultConfig;
using axtune::sim::SimConfig;

constexpr const char* kDevice = "sim:linenoise";

struct ObjectRef {
  uint16_t index;
  uint8_t subindex;
  int32_t value;
};

struct Tally {
  long calls = 0;
  long failures = 0;
  long wrong = 0;
  uint64_t longestUs = 0;
};

enum class Fault { Corrupt, Drop, Stale, Split };

const char* faultName(Fault fault) {
  switch (fault) {
    case Fault::Corrupt:
      return "corrupted byte";
    case Fault::Drop:
      return "dropped byte";
    case Fault::Stale:
      return "stale frame";
    case Fault::Split:
      return "split reply";
  }
  return "?";
}

FaultConfig faultConfig(Fault fault, double rate, uint32_t seed) {
  FaultConfig faults;
  faults.seed = seed;
  switch (fault) {
    case Fault::Corrupt:
      faults.corruptByte = rate;
      break;
    case Fault::Drop:
      faults.dropByte = rate;
      break;
    case Fault::Stale:
      faults.staleFrame = rate;
      break;
    case Fault::Split:
      faults.splitReply = rate;
      break;
  }
  return faults;
}

// Parameter records that nothing changes while the table runs, and the identification.
std::vector<int> stableRecords() {
  std::vector<int> records;
  for (int r = 0; r <= 64; ++r) records.push_back(r);
  records.push_back(axtune::kIdentificationRecord);
  return records;
}

// Objects whose values stay put on an idle drive; their reference values are read on a clean line.
const ObjectRef kObjects[] = {
    {0x6075, 0, 0}, {0x2061, 0, 0}, {0x6510, 1, 0}, {0x6085, 0, 0}, {0x6058, 1, 0}, {0x6098, 0, 0},
    {0x2024, 3, 0}, {0x2024, 6, 0}, {0x2024, 8, 0}, {0x2022, 1, 0}, {0x6083, 0, 0}, {0x6041, 0, 0},
};

struct Row {
  Fault fault;
  double rate;
  Tally records;
  Tally objects;
  double wallSeconds = 0;
};

Row runRow(Fault fault, double rate, long calls, uint32_t seed) {
  Row row{fault, rate, {}, {}, 0};
  auto drive = axtune::sim::registerSimulatedDrive(kDevice, SimConfig::unitTest());
  axtune::ScopedSleeper sleeper(drive->sleeper());
  if (!axtune::OpenLink(kDevice)) {
    std::fprintf(stderr, "linenoise: cannot open the simulated drive\n");
    std::exit(2);
  }
  drive->advanceMs(500);  // past the firmware's start-up silence

  const std::vector<int> records = stableRecords();
  std::vector<RecordWords> recordRefs(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    if (!drive->record(records[i], recordRefs[i])) {
      std::fprintf(stderr, "linenoise: record %d missing\n", records[i]);
      std::exit(2);
    }
  }
  std::vector<ObjectRef> objects(std::begin(kObjects), std::end(kObjects));
  for (ObjectRef& object : objects) {
    if (!axtune::ReadObject(object.index, object.subindex, &object.value)) {
      std::fprintf(stderr, "linenoise: object 0x%04X/%u unreadable on a clean line\n", object.index,
                   object.subindex);
      std::exit(2);
    }
  }

  drive->setFaults(faultConfig(fault, rate, seed));
  const auto wallStart = std::chrono::steady_clock::now();
  for (long i = 0; i < calls; ++i) {
    {
      const size_t pick = static_cast<size_t>(i) % records.size();
      RecordWords words{};
      const uint64_t start = drive->nowUs();
      const bool ok = axtune::ReadRecord(records[pick], words);
      const uint64_t took = drive->nowUs() - start;
      Tally& t = row.records;
      ++t.calls;
      t.longestUs = std::max(t.longestUs, took);
      if (!ok) {
        ++t.failures;
      } else if (words != recordRefs[pick]) {
        ++t.wrong;
      }
    }
    {
      const ObjectRef& object = objects[static_cast<size_t>(i) % objects.size()];
      int32_t value = 0;
      const uint64_t start = drive->nowUs();
      const bool ok = axtune::ReadObject(object.index, object.subindex, &value);
      const uint64_t took = drive->nowUs() - start;
      Tally& t = row.objects;
      ++t.calls;
      t.longestUs = std::max(t.longestUs, took);
      if (!ok) {
        ++t.failures;
      } else if (value != object.value) {
        ++t.wrong;
      }
    }
  }
  row.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  axtune::CloseLink();
  axtune::sim::unregisterSimulatedDrive(kDevice);
  return row;
}

void printTally(const Row& row, const char* kind, const Tally& t) {
  std::printf("| %s | %.0f %% | %s | %ld | %ld | %ld | %.1f |\n", faultName(row.fault), row.rate * 100, kind,
              t.calls, t.failures, t.wrong, static_cast<double>(t.longestUs) / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
  long calls = 100000;
  uint32_t seed = 17;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--calls") == 0 && i + 1 < argc) {
      calls = std::strtol(argv[++i], nullptr, 10);
    } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
      seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else {
      std::fprintf(stderr, "usage: linenoise_bench [--calls N] [--seed S]\n");
      return 2;
    }
  }
  std::printf("| Fault | Rate | Reads | Calls | Failures | Wrong values accepted | Longest call (ms) |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  double wall = 0;
  for (Fault fault : {Fault::Corrupt, Fault::Drop, Fault::Stale, Fault::Split}) {
    for (double rate : {0.01, 0.05, 0.20}) {
      const Row row = runRow(fault, rate, calls, seed);
      printTally(row, "record", row.records);
      printTally(row, "object", row.objects);
      std::fflush(stdout);
      wall += row.wallSeconds;
    }
  }
  std::fprintf(stderr, "linenoise: %.1f s of wall time\n", wall);
  return 0;
}
