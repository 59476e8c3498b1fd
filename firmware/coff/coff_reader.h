/*
 * COFF reader: a flat C interface to TI Common Object File Format files (versions 0, 1 and 2, either
 * byte order), as written by the code-generation tools for TI processors.
 *
 * It gives access to the file header, the optional header, the section headers, the raw data of a
 * section, the string table, the symbol table with its auxiliary entries and the line numbers of a
 * section. Every function returns a signed 32-bit code: 0 on success, otherwise one of the COFFR_ERR_
 * codes below. Nothing throws and nothing is printed.
 *
 * Units and bytes: sizes in section headers are counted in the target's addressable units; byte counts
 * in this interface are host bytes. The target ID converts units to bytes:
 *   0x0090                                        units / 8 (bit-addressed target)
 *   0x0091, 0x0095, 0x0096, 0x0097, 0x0099, 0x009C units * 1
 *   0x0092, 0x0098, 0x009D (C28x)                  units * 2
 *   0x0093                                        units * 4
 *   any other (0x0094, 0x009A, 0x009B, 0x00C0)    0, so no data of such a file can be read
 *
 * Section numbers count from 1. All headers handed out are in host byte order; raw section data are
 * returned exactly as stored in the file.
 *
 * Calling order: COFFR_FileOpen first, then any other function in any order, COFFR_FileClose last,
 * also after a failed open when a handle was returned. A handle is single-threaded (all calls share
 * its file position); distinct handles are independent.
 *
 * Ownership: the handle and everything it points to belong to the library; the caller may read them
 * (section count from info->fileHeader.sectionCount, section headers from info->sections[number - 1],
 * info->entryPoint, info->maxLoadSection / info->maxLoadSectionBytes) but never writes or frees them.
 * Every output buffer belongs to the caller and is only written within the size stated.
 *
 * After a failed open the handle holds whatever was built; functions that need the file or the image
 * info return -105 when the open failed before those existed, and otherwise work on what there is.
 *
 * Paths are UTF-8 (on Windows converted to the wide-character file name).
 */
#ifndef AXTUNE_FIRMWARE_COFF_COFF_READER_H
#define AXTUNE_FIRMWARE_COFF_COFF_READER_H

#include <stdint.h>
#include <stdio.h>

#if defined(_WIN32)
#if defined(AXCOFF_BUILDING)
#define COFFR_API __declspec(dllexport)
#else
#define COFFR_API __declspec(dllimport)
#endif
#else
#define COFFR_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Return codes. */
#define COFFR_OK 0
#define COFFR_ERR_MEMORY (-100)       /* out of memory */
#define COFFR_ERR_OPEN (-101)         /* the file cannot be opened for reading */
#define COFFR_ERR_READ (-102)         /* a seek or read in the file failed (or the data are not there) */
#define COFFR_ERR_SECTION (-103)      /* section number outside 1..section count */
#define COFFR_ERR_NOT_COFF (-104)     /* not a recognised COFF file (version/magic or target ID) */
#define COFFR_ERR_ARGUMENT (-105)     /* a required pointer is NULL, or the handle's open failed early */
#define COFFR_ERR_NOT_LOADABLE (-106) /* the section is not loadable, or its number is out of range */
#define COFFR_ERR_SHORT (-107)        /* fewer data or line-number entries left or readable than asked */

/* Section flags the system tests. */
#define COFFR_SECT_DUMMY 0x0001u
#define COFFR_SECT_NOLOAD 0x0002u
#define COFFR_SECT_COPY 0x0010u
#define COFFR_SECT_TEXT 0x0020u
#define COFFR_SECT_DATA 0x0040u
#define COFFR_SECT_BSS 0x0080u

/* File-header flags that are recorded in the image info. */
#define COFFR_FILE_BIG_ENDIAN 0x0200u
#define COFFR_FILE_SYMBOLS_MERGED 0x1000u

/* Auxiliary-entry kinds reported by COFFR_GetSymbolTableEntry. */
#define COFFR_AUX_NONE 0    /* no auxiliary entry */
#define COFFR_AUX_FILE 1    /* storage class 103 (file) */
#define COFFR_AUX_SECTION 2 /* type 0 (section) */
#define COFFR_AUX_TAG 3     /* storage class 10, 12, 15 (structure, union, enumeration tag) */
#define COFFR_AUX_TAGREF 4  /* anything else (tag reference) */
#define COFFR_AUX_EOS 5     /* storage class 102 (end of structure) */
#define COFFR_AUX_FUNC 6    /* type bits 4..5 = 2 (function) */
#define COFFR_AUX_ARRAY 7   /* type bits 4..5 = 3 (array) */
#define COFFR_AUX_BLOCK 8   /* storage class 100 (block) or 101 (function: .bf/.ef) */

/*
 * Records with the exact layout of their file images (packed to 2 bytes, so sizeof matches the file):
 * file header 22 bytes, symbol and auxiliary entries 18 bytes each.
 */
#pragma pack(push, 2)

/* The file header, at file offset 0. Version-0 files end at offset 20; their targetId is unused. */
typedef struct CoffFileHeader {
  uint16_t versionId;          /* 0x00C1, 0x00C2; a version-0 file has its target ID (or 0x00C0) here */
  uint16_t sectionCount;       /* number of section headers */
  uint32_t timeStamp;          /* seconds since 1970 */
  uint32_t symbolTableOffset;  /* file offset of the symbol table */
  uint32_t symbolCount;        /* number of symbol-table entries, auxiliary ones included */
  uint16_t optionalHeaderSize; /* 28 when the optional header is present, 0 in object files */
  uint16_t flags;              /* COFFR_FILE_... bits and others */
  uint16_t targetId;           /* versions 1 and 2 only */
} CoffFileHeader;

/*
 * One symbol-table entry. name: the name, NUL-padded when shorter than 8 characters and not
 * terminated when exactly 8; or, when its first four bytes are zero, bytes 4..7 hold a uint32_t
 * string-table offset (host byte order). Resolve either form with COFFR_GetSymbolName.
 */
typedef struct CoffSymbolEntry {
  char name[8];
  uint32_t value;
  int16_t sectionNumber;
  uint16_t type;
  uint8_t storageClass; /* read as a signed byte when classifying */
  uint8_t auxCount;     /* number of auxiliary entries that follow */
} CoffSymbolEntry;

/* An auxiliary entry; its fields depend on the kind, the multi-byte ones are in host byte order. */
typedef struct CoffAuxEntry {
  uint8_t bytes[18];
} CoffAuxEntry;

#pragma pack(pop)

/* The optional header (28 bytes in the file), present in executables only. */
typedef struct CoffOptionalHeader {
  uint16_t magic;
  uint16_t versionStamp;
  uint32_t textSize;
  uint32_t dataSize;
  uint32_t bssSize;
  uint32_t entryPoint; /* 0 is a valid entry point */
  uint32_t textStart;
  uint32_t dataStart;
} CoffOptionalHeader;

/*
 * A section header in the version-2 layout (48 bytes), host byte order. Headers of versions 0 and 1
 * are widened into it: counts, flags and page zero-extended; their name is kept as text only (a
 * string-table reference in such a header reads as an empty name).
 * name: as in CoffSymbolEntry; copy it into a CoffSymbolEntry to resolve it with COFFR_GetSymbolName.
 */
typedef struct CoffSectionHeader {
  char name[8];
  uint32_t physicalAddress; /* the run address */
  uint32_t virtualAddress;  /* the load address */
  uint32_t size;            /* in target units */
  uint32_t rawDataOffset;   /* file offset of the raw data, 0 when none */
  uint32_t relocationOffset;
  uint32_t lineNumberOffset;
  uint32_t relocationCount;
  uint32_t lineNumberCount;
  uint32_t flags;    /* COFFR_SECT_... bits */
  uint16_t reserved; /* kept as the file has it (version 2); left untouched for versions 0/1 */
  uint16_t page;     /* memory page */
} CoffSectionHeader;

/*
 * A line-number entry, delivered in an 8-byte slot: the 6 bytes of the file entry at its start, the
 * last 2 bytes are left as the caller had them.
 */
typedef struct CoffLineNumber {
  uint32_t address; /* symbol index when line is 0, else an address */
  uint16_t line;
  uint16_t untouched;
} CoffLineNumber;

/*
 * One piece of the string table. The list runs newest first, so the chunk at the head holds the
 * highest offsets. No string is split across chunks (except a single string longer than a chunk,
 * which is cut at the chunk's end); each chunk's bytes are followed by 4 zero bytes.
 */
typedef struct StringChunk {
  uint32_t length;      /* bytes of complete strings held */
  uint32_t offset;      /* string-table offset of bytes[0]; the first string is at offset 4 */
  uint32_t lengthAgain; /* the same as length */
  struct StringChunk* next;
  char bytes[]; /* length bytes, then 4 zero bytes */
} StringChunk;

/* What the reader knows about an open file. Filled at open; read-only for the caller. */
typedef struct CoffImageInfo {
  int16_t bssSection;                /* the section named ".bss" with the bss flag, -1 when none */
  int16_t cinitSection;              /* the section named ".cinit" with the copy flag, -1 when none */
  CoffFileHeader fileHeader;         /* host byte order */
  uint16_t version;                  /* 0x00C0 (version 0), 0x00C1 or 0x00C2 */
  uint16_t targetId;                 /* e.g. 0x009D for the C28x */
  CoffOptionalHeader optionalHeader; /* all zero when the file has none */
  uint32_t entryPoint;               /* from the optional header */
  uint32_t reserved;                 /* kept at 0 */
  CoffSectionHeader* sections;       /* sectionCount entries; index = section number - 1 */
  uint8_t bigEndianTarget;           /* flags bit 0x0200 */
  uint8_t byteSwapped;               /* the file's byte order is not little-endian */
  uint8_t symbolsMerged;             /* flags bit 0x1000 */
  uint32_t stringTableSize;          /* as read from the file, 0 when it could not be read */
  StringChunk* strings;              /* NULL until the string table is loaded */
  int16_t maxLoadSection;            /* largest loadable section, 0 when none */
  int32_t maxLoadSectionBytes;       /* its size in bytes */
} CoffImageInfo;

/* An open file. Created by COFFR_FileOpen, released with COFFR_FileClose. */
typedef struct CoffHandle {
  FILE* file;          /* read-only, untranslated bytes */
  CoffImageInfo* info; /* NULL when the open failed before it was built */
  uint32_t* options;   /* the reader's copy of the caller's four option words, not interpreted */
  void* reserved;      /* always NULL */
} CoffHandle;

/*
 * Opens and indexes a COFF file: reads the file header, the optional header and every section header,
 * finds the .bss and .cinit sections and the largest loadable section, and reads the string-table size.
 *   path     UTF-8 file name.
 *   options  four 32-bit words copied verbatim and not interpreted; NULL is taken as four zeros.
 *   handle   out: set to NULL first, then to the new handle as soon as it exists, also when a later
 *            step fails. The caller owns it and releases it with COFFR_FileClose.
 * Returns 0; -100 out of memory; -101 the file cannot be opened; -102 a header could not be read;
 * -104 not a COFF file; -105 path or handle is NULL.
 */
COFFR_API int32_t COFFR_FileOpen(const char* path, const uint32_t* options, CoffHandle** handle);

/*
 * Frees the string table, the section table, the image info and the options copy, closes the file and
 * frees the handle. handle may be NULL. Always returns 0.
 */
COFFR_API int32_t COFFR_FileClose(CoffHandle* handle);

/*
 * Re-reads the file header from offset 0 into *header (host byte order) and refreshes the version,
 * target ID and flags of the image info (the byte-swap flag is set, never cleared).
 * Returns 0; -102 the 22 bytes could not be read; -104 not a COFF file; -105 a NULL argument.
 */
COFFR_API int32_t COFFR_GetFileHdr(CoffHandle* handle, CoffFileHeader* header);

/*
 * Reads the optional header into *header when the file header's size field is 28 and keeps its entry
 * point in the image info; otherwise returns 0 and leaves *header alone.
 * Returns 0; -102 the header could not be read; -105 a NULL argument.
 */
COFFR_API int32_t COFFR_GetOptionalHdr(CoffHandle* handle, CoffOptionalHeader* header);

/*
 * Reads and normalises the header of section `section` (1..count) into *header. Records the section
 * as .bss / .cinit in the image info when its name and flags say so.
 * Returns 0; -102 the header could not be read; -103 section number out of range; -105 a NULL argument.
 */
COFFR_API int32_t COFFR_GetSectionHdr(CoffHandle* handle, uint16_t section, CoffSectionHeader* header);

/*
 * Tells whether a section is loadable: its number lies in 1..count, its raw-data offset and size are
 * not 0, and none of the flags dummy, no-load or copy is set. Uses the section table read at open.
 * Returns 0 when loadable; -106 when not (or out of range); -105 handle is NULL.
 */
COFFR_API int32_t COFFR_IsLoadSection(CoffHandle* handle, uint16_t section);

/*
 * *bytes = the byte size of the largest loadable section, 0 when there is none. Sizes that do not fit
 * are reported as 0x7FFFFFFF. Returns 0; -105 a NULL argument.
 */
COFFR_API int32_t COFFR_FindMaxLoadSectionSize(CoffHandle* handle, int32_t* bytes);

/*
 * Reads up to `count` bytes of the raw data of section `section` (1..count), starting `offset` bytes
 * into the section, into buffer (which must hold `count` bytes). Reads min(count, byte size - offset)
 * bytes; *bytesRead gets the number actually read. The data are returned as stored in the file, never
 * byte-swapped.
 * A section without raw data (raw-data offset 0) has no bytes to read.
 * Returns 0; -102 a seek failed; -103 section number out of range; -105 a NULL argument (buffer may be
 * NULL only when count is 0); -107 offset at or past the end of the section, or fewer bytes could be
 * read than asked for (the ones read are in buffer).
 */
COFFR_API int32_t COFFR_GetSectData(CoffHandle* handle, uint16_t section, void* buffer, uint32_t offset,
                                    uint32_t count, uint32_t* bytesRead);

/*
 * Loads the string table into the chunk list of the image info, replacing any earlier load. A failed
 * read leaves the chunks loaded so far in the list.
 * Returns 0 (also when the file has no string table); -100 out of memory; -102 a read failed;
 * -105 handle is NULL.
 */
COFFR_API int32_t COFFR_LoadStrings(CoffHandle* handle);

/*
 * Reads symbol-table entry *index into *symbol and, when it has auxiliary entries, the first of them
 * into *aux (otherwise *aux is zeroed); *auxKind gets one of the COFFR_AUX_ kinds. On success *index
 * advances by 1 + the auxiliary count, so further auxiliary entries are skipped.
 * Returns 0; -102 a read failed or *index is not below the symbol count; -105 a NULL argument.
 */
COFFR_API int32_t COFFR_GetSymbolTableEntry(CoffHandle* handle, uint32_t* index, int32_t* auxKind,
                                            CoffSymbolEntry* symbol, CoffAuxEntry* aux);

/*
 * Writes the name of a symbol (or of a section: copy its 8 name bytes into a CoffSymbolEntry) into
 * buffer as a NUL-terminated string of at most bufferLength - 1 characters; longer names are cut.
 * Nothing is written beyond bufferLength bytes; with bufferLength 0 nothing is written at all.
 * A name in the string table loads the table first if no part of it is loaded yet.
 * Returns 0; the error of COFFR_LoadStrings; -102 the name's offset lies outside the string table
 * (buffer gets an empty string); -105 a NULL argument.
 */
COFFR_API int32_t COFFR_GetSymbolName(CoffHandle* handle, const CoffSymbolEntry* symbol,
                                      uint32_t bufferLength, char* buffer);

/* *count = the largest line-number count of any section, 0 when none. Returns 0; -105 a NULL argument. */
COFFR_API int32_t COFFR_FindMaxLnno(CoffHandle* handle, uint32_t* count);

/*
 * Reads up to `count` line-number entries of section `section` (1..count), starting at entry `first`,
 * into consecutive slots of buffer (which must hold `count` slots). *entriesRead gets the number read.
 * Returns 0 (also for a section without line numbers, with nothing read); -102 a seek failed;
 * -103 section number out of range; -105 a NULL argument; -107 first is at or past the section's
 * entry count, or fewer than `count` entries are left or could be read (the ones read are in buffer).
 */
COFFR_API int32_t COFFR_GetSectLnno(CoffHandle* handle, uint16_t section, CoffLineNumber* buffer,
                                    uint32_t first, uint32_t count, uint32_t* entriesRead);

#ifdef __cplusplus
}
#endif

#endif /* AXTUNE_FIRMWARE_COFF_COFF_READER_H */
