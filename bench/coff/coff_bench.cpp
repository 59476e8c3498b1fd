// Opens a 2 MB COFF file and reads every loadable section through the C interface; reports bytes
// per second of file. BM_PlainRead reads the same file with fread, the bound the reader should reach.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "coff_writer.h"
#include "firmware/coff/coff_reader.h"

namespace {

using axtune::coff::testing::Image;
using axtune::coff::testing::Section;

// 2 MB of raw data in 32 sections of 64 KB (32 K units each), plus a few non-loadable ones.
const axtune::coff::testing::TempFile& firmwareFile() {
  static const auto file = [] {
    Image image;
    for (int i = 0; i < 32; ++i) {
      Section section(".text" + std::to_string(i), 0x300000u + i * 0x8000u, 0x300000u + i * 0x8000u,
                      32 * 1024, axtune::coff::testing::pattern(64 * 1024, static_cast<uint8_t>(i)));
      section.lines.resize(64);
      image.sections.push_back(std::move(section));
    }
    image.sections.emplace_back(".bss", 0x8000, 0x8000, 4096, std::vector<uint8_t>{}, false, 0x0080);
    image.sections.emplace_back(".debug_info", 0, 0, 1024, axtune::coff::testing::pattern(1024, 99), false,
                                0x0010);
    return std::make_unique<axtune::coff::testing::TempFile>(axtune::coff::testing::build(image));
  }();
  return *file;
}

long fileSize(const char* path) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return 0;
  std::fseek(f, 0, SEEK_END);
  long size = std::ftell(f);
  std::fclose(f);
  return size;
}

void BM_OpenAndReadLoadableSections(benchmark::State& state) {
  const char* path = firmwareFile().path().c_str();
  std::vector<uint8_t> buffer(1 << 20);
  int64_t dataBytes = 0;
  for (auto _ : state) {
    CoffHandle* handle = nullptr;
    if (COFFR_FileOpen(path, nullptr, &handle) != 0) {
      state.SkipWithError("open failed");
      break;
    }
    for (uint16_t n = 1; n <= handle->info->fileHeader.sectionCount; ++n) {
      if (COFFR_IsLoadSection(handle, n) != 0) continue;
      uint32_t got = 0;
      COFFR_GetSectData(handle, n, buffer.data(), 0, static_cast<uint32_t>(buffer.size()), &got);
      dataBytes += got;
    }
    COFFR_FileClose(handle);
  }
  state.SetBytesProcessed(state.iterations() * fileSize(path));
  state.counters["section_bytes_per_iteration"] =
      benchmark::Counter(static_cast<double>(dataBytes) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_OpenAndReadLoadableSections)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_PlainRead(benchmark::State& state) {
  const char* path = firmwareFile().path().c_str();
  std::vector<uint8_t> buffer(1 << 16);
  for (auto _ : state) {
    FILE* f = std::fopen(path, "rb");
    while (std::fread(buffer.data(), 1, buffer.size(), f) == buffer.size()) {
    }
    std::fclose(f);
  }
  state.SetBytesProcessed(state.iterations() * fileSize(path));
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
