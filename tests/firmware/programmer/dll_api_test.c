/*
 * The two DLLs from a plain C program, through their headers only, as an outside program on Windows
 * uses them: libaxcoff.dll reads the loadable sections of a real C28x file, libaxprg.dll programs and
 * verifies them into qmx-sim on the COM port that the Wine fixture names in AXTUNE_TEST_COM. No prompt
 * hook is installed, so PRG_Open takes its default prompt (a message box, which fails at once without
 * a desktop) and must go on.
 *
 *   dll_api_test COFF_FILE      exit 0 passed, 1 failed, 77 skipped
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "firmware/coff/coff_reader.h"
#include "firmware/programmer/flash_programmer.h"

enum { kSkip = 77, kMaxSections = 64 };

static void PrintMessage(PRG_Handle handle, int32_t kind, const char* text) {
  (void)handle;
  (void)kind;
  fputs(text, stdout);
}

typedef struct Section {
  CoffSectionHeader header;
  uint16_t* words;
  uint32_t bytes;
} Section;

int main(int argc, char** argv) {
  const char* port = getenv("AXTUNE_TEST_COM");
  if (argc < 2 || port == NULL || port[0] == '\0') {
    puts("skipped: run through the Wine fixture with the COFF file as the argument");
    return kSkip;
  }
  FILE* probe = fopen(argv[1], "rb");
  if (probe == NULL) {
    printf("skipped: the C28x test file %s is not there\n", argv[1]);
    return kSkip;
  }
  fclose(probe);

  CoffHandle* coff = NULL;
  if (COFFR_FileOpen(argv[1], NULL, &coff) != 0) {
    puts("COFFR_FileOpen failed");
    COFFR_FileClose(coff);
    return 1;
  }
  CoffFileHeader file;
  if (COFFR_GetFileHdr(coff, &file) != 0 || file.targetId != 0x009D) {
    puts("not a C28x COFF file");
    COFFR_FileClose(coff);
    return 1;
  }
  Section sections[kMaxSections];
  int count = 0;
  uint32_t total = 0;
  for (uint16_t n = 1; n <= file.sectionCount && count < kMaxSections; ++n) {
    if (COFFR_IsLoadSection(coff, n) != 0) continue;
    Section* s = &sections[count];
    if (COFFR_GetSectionHdr(coff, n, &s->header) != 0) return 1;
    s->bytes = 2 * s->header.size;
    s->words = (uint16_t*)malloc(s->bytes);
    uint32_t got = 0;
    if (s->words == NULL || COFFR_GetSectData(coff, n, s->words, 0, s->bytes, &got) != 0 || got != s->bytes) {
      printf("section %u could not be read\n", n);
      return 1;
    }
    total += s->bytes;
    ++count;
  }
  COFFR_FileClose(coff);
  printf("%d loadable sections, %u bytes\n", count, total);
  if (count == 0) return 1;

  PRG_Handle prg = NULL;
  char options[128];
  /* The default rate (19200) and the window axtune-cli uses: under Wine an echo can take longer than
     the few milliseconds a single byte may take at 115200. */
  snprintf(options, sizeof options, "PrgBootLoadWindow=64,EmuPortName=\\\\.\\%s", port);
  int failed = PRG_Init(&prg) != PRG_DONE;
  failed = failed || PRG_SetMessageCallBack(prg, PrintMessage) != 0;
  failed = failed || PRG_SetOptions(prg, options) != 0;
  failed = failed || PRG_Open(prg) != PRG_DONE;
  failed = failed || PRG_SetOptions(prg, "PrgEraseOption1=FF") != 0;
  failed = failed || PRG_FlashErase(prg) != PRG_DONE;
  for (int i = 0; i < count && !failed; ++i) {
    failed = PRG_FlashWrite(prg, sections[i].header.virtualAddress, 0, sections[i].bytes, sections[i].words) !=
             PRG_DONE;
  }
  for (int i = 0; i < count && !failed; ++i) {
    failed = PRG_FlashVerify(prg, sections[i].header.virtualAddress, 0, sections[i].bytes, sections[i].words) !=
             PRG_DONE;
  }
  if (!failed) {
    Section* first = &sections[0];
    uint16_t* back = (uint16_t*)calloc(first->bytes / 2, sizeof *back);
    failed = back == NULL ||
             PRG_FlashRead(prg, first->header.virtualAddress, 0, first->bytes, back) != PRG_DONE ||
             memcmp(back, first->words, first->bytes) != 0;
    free(back);
  }
  if (prg != NULL) PRG_Close(prg);
  for (int i = 0; i < count; ++i) free(sections[i].words);
  puts(failed ? "FAILED" : "programmed, verified and read back through the DLLs");
  return failed ? 1 : 0;
}
