/*
 * Flash programmer: a flat C interface that updates the firmware of the drive's processor (a
 * TMS320F280x) over a serial line. PRG_Open loads a small flash kernel into the processor's RAM
 * through the processor's serial (SCI) boot ROM; the other operations then talk to that kernel in
 * acknowledged packets to erase, program, read and verify flash and to read and write RAM.
 *
 * State is process-wide (one programmer per process); handles are accepted and ignored.
 *
 * Results: every operation returns a status word,
 *   PRG_DONE (0)    the operation succeeded,
 *   PRG_FAILED (1)  it failed (the message callback, when installed, says why),
 *   PRG_BUSY (2)    another operation is still running; nothing was done.
 * PRG_Open, PRG_FlashErase, PRG_FlashWrite, PRG_MemWrite, PRG_FlashRead and PRG_MemRead return 2
 * without doing anything while the status is 2; otherwise they set it to 2, run, and store their
 * result (0 or 1) as the status. PRG_FlashVerify returns 1 without doing anything while busy.
 * Nothing throws; nothing is printed.
 *
 * Threads: the entry points are made for one thread at a time, with two exceptions.
 *   PRG_Status may be polled from any thread.
 *   PRG_Close may be called from another thread while an operation runs. It sets the abort flag (the
 *   operation stops before its next boot section, between packets or in the erase wait, at the latest
 *   when its next transfer finds the port closed, and fails), waits for a port transfer in progress,
 *   pulses DTR and closes the port. A PRG_Open that it interrupts fails: it neither opens the port
 *   again nor connects. Once both have returned, the programmer is not connected and the port is closed.
 * The busy rule is atomic for the six operations it covers, so of two started at once from two
 * threads one returns 2. Nothing else is locked: PRG_Init, PRG_SetOptions, PRG_SetMessageCallBack,
 * the hooks below and PRG_FlashVerify must not be called while another thread runs an operation.
 *
 * Ownership: every buffer passed in belongs to the caller and is only read or written within the byte
 * count given. The interface descriptor and the options record behind the handle belong to the
 * library; callers may read them.
 *
 * Typical sequence:
 *   PRG_Init(&h); PRG_SetMessageCallBack(h, cb); PRG_SetOptions(h, "EmuBaudRate=115200");
 *   PRG_Open(h); PRG_FlashErase(h); PRG_FlashWrite(h, addr, 0, bytes, words) per section;
 *   PRG_FlashVerify(h, addr, 0, bytes, words) per section; PRG_Close(h);
 * Without PRG_Init every option is zero: COM1 at 19200 baud.
 *
 * Line: 8 data bits, no parity, 1 stop bit, no flow control, DTR on, RTS off. A read of n bytes may take
 * n * (1,000,000 / rate) ms plus 100 ms (the 100 ms cover USB adapters' latency timers at high rates).
 *
 * Port names: "EmuPortAddr" selects a port slot (0xC2 -> COM2, 0xC3 -> COM3, 0xC4 -> COM4, anything
 * else COM1); a slot is mapped to a device as the rest of Axtune does (Windows "\\.\COMn"; elsewhere the
 * AXTUNE_COM<n> environment variable or the n-th real serial device). The option "EmuPortName" (an
 * addition, see below) names the device directly.
 */
#ifndef AXTUNE_FIRMWARE_PROGRAMMER_FLASH_PROGRAMMER_H
#define AXTUNE_FIRMWARE_PROGRAMMER_FLASH_PROGRAMMER_H

#include <stdint.h>

#if defined(AXPRG_STATIC) /* linked into the program itself (target axprg) */
#define PRG_API
#elif defined(_WIN32)
#if defined(AXPRG_BUILDING)
#define PRG_API __declspec(dllexport)
#else
#define PRG_API __declspec(dllimport)
#endif
#else
#define PRG_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status words. */
#define PRG_DONE 0
#define PRG_FAILED 1
#define PRG_BUSY 2

/* Message kinds handed to the message callback. */
#define PRG_MSG_INSTALLED 0 /* "Installed output message callback\n", once at installation */
#define PRG_MSG_TEXT 1      /* every progress or error line */

/* Text options hold up to 260 characters plus the terminating NUL. */
#define PRG_TEXT_OPTION_SIZE 261

/*
 * The options record, set by PRG_SetOptions from "Key=value" items. Kinds: hex (parsed like "%08lx",
 * at most 8 characters, an optional 0x), decimal (parsed like "%d"), flag (1 when the value is exactly
 * "YES", else 0), text (up to 260 characters). A value that does not parse leaves the field unchanged.
 */
typedef struct PRG_Options {
  uint32_t EmulatorId;                            /* hex, stored only */
  uint32_t EmuPortAddr;                           /* hex, port slot: 0xC2..0xC4 -> COM2..4, else COM1 */
  int32_t EmuBaudRate;                            /* decimal, 0: take the code in PrgEraseOption3 */
  char EmuBoardFileName[PRG_TEXT_OPTION_SIZE];    /* text, stored only */
  char EmuProcessorName[PRG_TEXT_OPTION_SIZE];    /* text, stored only */
  char PrgBootLoadFileName[PRG_TEXT_OPTION_SIZE]; /* text, the temporary kernel file of the last boot load */
  uint32_t PrgSkipBootLoad;                       /* flag, 1: PRG_Open pings a running kernel */
  char PrgEraseFileName[PRG_TEXT_OPTION_SIZE];    /* text, stored only */
  int32_t PrgEraseTimeout;                        /* decimal, erase wait = this * sectors * 10 ms */
  uint32_t PrgEraseOption1;                       /* hex, sector mask (PRG_Open sets 0x000F) */
  uint32_t PrgEraseOption2;                       /* hex, erase parameter (PRG_Open sets 0x0099) */
  uint32_t PrgEraseOption3;                       /* hex, baud-rate code; sent with the erase */
  uint32_t PrgEraseOption4;                       /* hex, erase parameter and extra response attempts
                                                     (PRG_Open sets 0x0500) */
  char PrgProgrammingFileName[PRG_TEXT_OPTION_SIZE]; /* text, stored only */
  char PrgFlashDataFileName[PRG_TEXT_OPTION_SIZE];   /* text, stored only */
  int32_t PrgProgrammingTimeout;                     /* decimal, ms to wait after each flash-write packet */
  uint32_t PrgProgrammingOption1;                    /* hex, sent with each flash-write packet */
  uint32_t PrgProgrammingOption2;                    /* hex, sent with each flash-write packet */
  uint32_t PrgProgrammingOption3;                    /* hex, sent with each flash-write packet */
  uint32_t PrgProgrammingOption4;                    /* hex, sent; also extra response attempts per write */
  char PrgVerifyFileName[PRG_TEXT_OPTION_SIZE];      /* text, stored only */
  int32_t PrgVerifyTimeout;                          /* decimal, ms to wait after the verify packet */
  uint32_t PrgVerifyOption1;                         /* hex, sent with the verify packet */
  uint32_t PrgVerifyOption2;                         /* hex, sent with the verify packet */
  uint32_t PrgVerifyOption3;                         /* hex, sent with the verify packet */
  uint32_t PrgVerifyOption4;                         /* hex, stored only */
  /* ADDITION: "EmuPortName" (text). A full device name ("/dev/ttyUSB0", "\\.\COM7", "COM3", or an
     in-process device such as "sim:qmx"); when not empty it overrides "EmuPortAddr", so a host can
     program through the port its drive is on. */
  char EmuPortName[PRG_TEXT_OPTION_SIZE];
  /* ADDITION: "PrgBootLoadWindow" (decimal). How many boot-table bytes may be on their way to the
     boot ROM before their echo is back. 1 (or 0, or anything below 1) sends one byte and waits for
     its echo, as the boot loader protocol is usually driven; a larger window saves the round trip
     per byte (the ROM echoes each byte as it receives it, so the bytes on the wire are the same).
     Every echo is still checked in order; at most PRG_MAX_BOOT_LOAD_WINDOW is used. */
  int32_t PrgBootLoadWindow;
  /* ADDITION: "PrgKernelFileName" (text). A flash kernel file (TI COFF for the C28x) that PRG_Open
     loads instead of the kernel built into the library; empty takes the built-in one. The host
     checks the file before it names it here. */
  char PrgKernelFileName[PRG_TEXT_OPTION_SIZE];
  /* ADDITION: "PrgBootBaudRate" (decimal). The rate at which the boot ROM is autobauded and the flash
     kernel streamed to it; the kernel itself is then autobauded at the rate of "EmuBaudRate" (or the
     code in "PrgEraseOption3"). 0 (or a rate the port does not know) uses that one rate for both, as
     without the option. The boot ROM's autobaud locks reliably only at low rates, while the kernel
     runs the long part of an update; with a boot rate set, PRG_Open proves the kernel's rate with a
     ping before it reports the connection, and PRG_GetKernelRateFailed tells when that failed. */
  int32_t PrgBootBaudRate;
  /* ADDITION: "PrgEraseSectorMask" (hex). When not 0, PRG_Open sets "PrgEraseOption1" (the erase's
     sector mask, bit 0 = sector A) to this value instead of 0x000F: a processor with more sectors
     than four (the F28335 has eight) gets the sectors its image needs erased. */
  uint32_t PrgEraseSectorMask;
} PRG_Options;

/* The largest boot-load window used; larger values are taken as this one. */
#define PRG_MAX_BOOT_LOAD_WINDOW 256

/* The handle: the address of the options record (NULL before PRG_Init). Entry points ignore it. */
typedef void* PRG_Handle;

/* Message callback: (the handle, PRG_MSG_INSTALLED or PRG_MSG_TEXT, a NUL-terminated line). The text
   lives in the programmer's 1024-byte message buffer and is valid only during the call. */
typedef void (*PRG_MessageCallBack)(PRG_Handle handle, int32_t kind, const char* text);

/* Initialises the programmer: closes a port left open, zeroes the options, the status, the
   abort and connected flags, the packet sequence state and the buffers, removes the message callback
   (but not the user-interface hooks below), and sets *handle to the options record.
   Returns 0; 1 when handle is NULL. */
PRG_API int32_t PRG_Init(PRG_Handle* handle);

/* Parses an option text "Key=value,Key=value,..." into the options record. Items are taken from left
   to right; parsing stops at the first empty item (two commas in a row); an item without "=" or with
   an unknown key (keys are case-sensitive, blanks are not trimmed) is ignored.
   Returns 0; 1 when options is NULL or memory runs out. */
PRG_API int32_t PRG_SetOptions(PRG_Handle handle, const char* options);

/* Returns the status word (0, 1 or 2). Safe to call from any thread. */
PRG_API int32_t PRG_Status(void);

/* Connects to the flash kernel. Opens the port at the rate the options give (19200 by default, 38400
   for a rate the port does not know), prompts the user to switch the drive on (through the prompt
   hook, see below), shows the wait cursor, then either pings a kernel that is already running
   ("PrgSkipBootLoad" = 1) or autobauds the boot ROM, streams the embedded kernel image to it (every
   byte echoed and checked), reopens the port after 1000 ms and autobauds the kernel. On success
   "PrgSkipBootLoad" becomes 1. Forces PrgEraseOption1 = 0x000F, PrgEraseOption2 = 0x0099 and
   PrgEraseOption4 = 0x0500. Returns the new status (0 or 1) or 2 when busy.
   The embedded kernel is written to a uniquely named file in the system temp directory for the load
   and removed afterwards in every case.
   When "PrgSkipBootLoad" is 1 but the kernel does not answer the ping (it was reset by PRG_Close's
   DTR pulse, for example), PRG_Open loads the kernel through the boot ROM instead of failing.
   What an earlier session left on the line when its cable was pulled is taken in turn: a kernel that
   still runs answers the first ping (sent before the autobaud also when "PrgSkipBootLoad" is 0);
   when nothing answers the autobaud either, 256 zero bytes complete a packet that the kernel had
   half received and the ping is sent once more; when that finds no kernel, or when the ping came
   back as its own echo (a boot ROM in the middle of a boot table), the processor is reset with a DTR
   pulse (as PRG_Close does) and the autobaud and boot load run once more. A processor that then
   runs its firmware (valid firmware in flash) cannot be reached from here: the open fails with
   "No boot loader answered after the reset: ..."; the firmware must be told to enter its boot
   loader first.
   After a failure no connection remains (also when an earlier PRG_Open had connected), the port may
   stay open (PRG_Close closes it) and the arrow cursor is back. */
PRG_API int32_t PRG_Open(PRG_Handle handle);

/* Ends the session: restores the arrow cursor, sets the abort flag (a running operation stops at its
   next packet), pulses DTR (100 ms high, 100 ms low; this resets the drive's processor), waits
   200 ms, closes the port and clears the connected flag. The status and "PrgSkipBootLoad" are kept.
   Returns 0. */
PRG_API int32_t PRG_Close(PRG_Handle handle);

/* Installs the message callback (NULL removes it). A callback that is not NULL is called at once with
   (handle, PRG_MSG_INSTALLED, "Installed output message callback\n"); later lines come with the
   handle PRG_Init returned and PRG_MSG_TEXT. Call it after PRG_Init, which removes the callback.
   Returns 0. */
PRG_API int32_t PRG_SetMessageCallBack(PRG_Handle handle, PRG_MessageCallBack callback);

/* Erases the sectors of PrgEraseOption1 (bit 0 = sector A, the highest). Waits PrgEraseTimeout *
   sectors * 10 ms (at least 100 ms), then takes the kernel's answer in up to PrgEraseOption4 + 1
   attempts; a kernel that stays silent for two minutes after the wait (on the port's clock) fails the erase.
   Requires a connection. Returns the new status or 2 when busy. */
PRG_API int32_t PRG_FlashErase(PRG_Handle handle);

/* Programs byteCount bytes (an odd last byte is dropped) of 16-bit words to flash at the word address,
   in packets of up to 114 words. A chunk the kernel refuses stops the write; chunks before it stay
   programmed. Fails at once (sending nothing) when not connected, words is NULL or fewer than 2 bytes
   are given. Returns the new status or 2 when busy. */
PRG_API int32_t PRG_FlashWrite(PRG_Handle handle, uint32_t address, uint16_t page, uint32_t byteCount,
                               const uint16_t* words);

/* Reads byteCount bytes (an odd last byte is dropped) of flash from the word address into words, in
   packets of up to 113 words. Fails when the kernel answers a chunk with a non-zero status (its bytes
   are then never handed back as data). words must hold byteCount bytes. Returns the new status or 2. */
PRG_API int32_t PRG_FlashRead(PRG_Handle handle, uint32_t address, uint16_t page, uint32_t byteCount,
                              uint16_t* words);

/* Asks the kernel to compare the 16-bit sum of byteCount / 2 flash words at the word address with the
   sum of the given words: one packet for a block of up to 65535 words (larger blocks go in several
   packets). Returns 0 when verified, 1 when not (also when not connected or busy); the result is also
   the new status. */
PRG_API int32_t PRG_FlashVerify(PRG_Handle handle, uint32_t address, uint16_t page, uint32_t byteCount,
                                const uint16_t* words);

/* As PRG_FlashRead and PRG_FlashWrite, for the processor's RAM. */
PRG_API int32_t PRG_MemRead(PRG_Handle handle, uint32_t address, uint16_t page, uint32_t byteCount,
                            uint16_t* words);
PRG_API int32_t PRG_MemWrite(PRG_Handle handle, uint32_t address, uint16_t page, uint32_t byteCount,
                             const uint16_t* words);

/* The interface descriptor: a static table of the entry points for a front end that drives a
   programmer through a table. recordSize is sizeof(PRG_Interface) (80 on 32-bit targets). */
typedef struct PRG_Interface {
  uint32_t recordSize;
  uint32_t version[4]; /* each 1 */
  const char* name;    /* "GENERIC" */
  uint32_t reserved;   /* 0 */
  uint32_t entryCount; /* 16 */
  int32_t (*Init)(PRG_Handle*);
  int32_t (*SetOptions)(PRG_Handle, const char*);
  int32_t (*Status)(void);
  int32_t (*Open)(PRG_Handle);
  int32_t (*Close)(PRG_Handle);
  int32_t (*SetMessageCallBack)(PRG_Handle, PRG_MessageCallBack);
  int32_t (*FlashErase)(PRG_Handle);
  int32_t (*FlashWrite)(PRG_Handle, uint32_t, uint16_t, uint32_t, const uint16_t*);
  int32_t (*FlashRead)(PRG_Handle, uint32_t, uint16_t, uint32_t, uint16_t*);
  int32_t (*FlashVerify)(PRG_Handle, uint32_t, uint16_t, uint32_t, const uint16_t*);
  int32_t (*MemWrite)(PRG_Handle, uint32_t, uint16_t, uint32_t, const uint16_t*);
  int32_t (*MemRead)(PRG_Handle, uint32_t, uint16_t, uint32_t, uint16_t*);
} PRG_Interface;

/* Sets *descriptor to the static interface descriptor. Returns 0; 1 when descriptor is NULL. */
PRG_API int32_t PRG_GetInterface(const PRG_Interface** descriptor);

/*
 * ADDITION: user-interface hooks. PRG_Open asks the user to switch the drive on (title "QMX Download",
 * text "QMX einschalten!", one OK button) and shows the wait cursor until PRG_Close. The host decides
 * how: the GUI shows a message box and the override cursor, a command line asks on its terminal, tests
 * confirm at once.
 *   prompt(context, title, text)  blocks until the user confirms; returns 0 to go on, any other value
 *                                 when the user cancelled (PRG_Open then fails with "Cancelled by the
 *                                 user\n" before anything is sent).
 *   waitCursor(context, on)       on = 1 when the wait cursor should show, 0 for the arrow again.
 * Either may be NULL: without a prompt hook PRG_Open shows the prompt as a Windows message box (on
 * other systems, and on Windows without a desktop, it goes on without asking). The hooks are called on
 * the thread that calls PRG_Open / PRG_Close. PRG_Init does not remove them. Returns 0.
 */
/*
 * ADDITION: whether the drive stopped answering. A packet that gets no byte back at all (no
 * acknowledgement, or no response after all attempts) means the line is dead: the programmer clears
 * its connected flag, so the operations that follow fail at once (status 1) instead of waiting out
 * every packet. Likewise a PRG_Open that failed because its last step got no byte back (no echo of
 * the autobaud even after a reset, or a boot table whose echo stopped). Returns 1 and sets *address
 * (when not NULL) to the word address of the first unanswered packet (0 for the erase and for
 * PRG_Open) when that happened since the last PRG_Open; 0 otherwise.
 */
PRG_API int32_t PRG_GetNoAnswer(uint32_t* address);

/*
 * ADDITION: 1 when the last PRG_Open loaded the kernel at "PrgBootBaudRate" and the kernel then did
 * not answer at its own rate (no autobaud echo, or no ping answer): the line or the kernel does not
 * carry that rate. The processor is left with a kernel that may have locked at the failed rate, so a
 * host that tries again at a lower rate resets it first (PRG_Close does). 0 otherwise.
 */
PRG_API int32_t PRG_GetKernelRateFailed(void);

/*
 * ADDITION: 1 when the last PRG_Close's DTR pulse went out on an open port (the drive's processor
 * was reset), 0 when there was no open port or the line has no DTR (a pseudo-terminal). After a
 * kernel that failed its rate and a close without reset, the next PRG_Open autobauds that kernel at
 * the new rate (and pings it) before anything else: it is still waiting for its autobaud.
 */
PRG_API int32_t PRG_GetLastCloseReset(void);

typedef int32_t (*PRG_PromptHook)(void* context, const char* title, const char* text);
typedef void (*PRG_WaitCursorHook)(void* context, int32_t on);
PRG_API int32_t PRG_SetUserInterfaceHooks(PRG_PromptHook prompt, PRG_WaitCursorHook waitCursor,
                                          void* context);

/*
 * ADDITION: progress hook. Long operations report how far they are, so a host can move a progress
 * bar instead of waiting in silence (the boot load takes 10 to 20 s at 19200 baud):
 *   progress(context, phase, done, total)
 *     phase PRG_PROGRESS_BOOT_LOAD  PRG_Open streaming the kernel through the boot ROM; done and total
 *                                   count the boot table's bytes (header, every block, end mark).
 *                                   Reported at the start, after each block's header, every 256 data
 *                                   bytes within a block, at each block's end and at the end mark.
 *                                   A ping of a running kernel reports nothing.
 *     phase PRG_PROGRESS_ERASE      PRG_FlashErase: 0 of 1 when the command went out, 1 of 1 when the
 *                                   kernel answered.
 *     phase PRG_PROGRESS_WRITE      PRG_FlashWrite and PRG_MemWrite: bytes of this call acknowledged,
 *                                   after every chunk (0 of total first).
 *     phase PRG_PROGRESS_READ       PRG_FlashRead and PRG_MemRead: bytes of this call received, per chunk.
 *     phase PRG_PROGRESS_VERIFY     PRG_FlashVerify: bytes of this call compared, per verify packet.
 * done never exceeds total and never goes back within one call; a failing operation stops reporting
 * where it failed. The hook is called on the thread that runs the operation, while the operation
 * runs: it must return quickly and must not call into the programmer. NULL removes it. PRG_Init
 * does not remove it. Returns 0.
 */
#define PRG_PROGRESS_BOOT_LOAD 1
#define PRG_PROGRESS_ERASE 2
#define PRG_PROGRESS_WRITE 3
#define PRG_PROGRESS_READ 4
#define PRG_PROGRESS_VERIFY 5
typedef void (*PRG_ProgressHook)(void* context, int32_t phase, uint32_t done, uint32_t total);
PRG_API int32_t PRG_SetProgressHook(PRG_ProgressHook progress, void* context);

#ifdef __cplusplus
}
#endif

#endif /* AXTUNE_FIRMWARE_PROGRAMMER_FLASH_PROGRAMMER_H */
