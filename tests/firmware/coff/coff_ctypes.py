#!/usr/bin/env python3
"""Loads the COFF reader library through ctypes, lists a file's sections with their names and reads
the largest loadable section, proving the exported C names work from another language.

    coff_ctypes.py LIBRARY [COFF-FILE]

Without a file (or when it does not exist) only a small file written here is used.
"""
import ctypes as C
import os
import struct
import sys
import tempfile


class CoffFileHeader(C.Structure):
    _pack_ = 2
    _fields_ = [("versionId", C.c_uint16), ("sectionCount", C.c_uint16), ("timeStamp", C.c_uint32),
                ("symbolTableOffset", C.c_uint32), ("symbolCount", C.c_uint32),
                ("optionalHeaderSize", C.c_uint16), ("flags", C.c_uint16), ("targetId", C.c_uint16)]


class CoffSymbolEntry(C.Structure):
    _pack_ = 2
    _fields_ = [("name", C.c_char * 8), ("value", C.c_uint32), ("sectionNumber", C.c_int16),
                ("type", C.c_uint16), ("storageClass", C.c_uint8), ("auxCount", C.c_uint8)]


class CoffOptionalHeader(C.Structure):
    _fields_ = [("magic", C.c_uint16), ("versionStamp", C.c_uint16)] + [
        (n, C.c_uint32) for n in ("textSize", "dataSize", "bssSize", "entryPoint", "textStart", "dataStart")]


class CoffSectionHeader(C.Structure):
    _fields_ = [("name", C.c_uint8 * 8)] + [
        (n, C.c_uint32) for n in ("physicalAddress", "virtualAddress", "size", "rawDataOffset", "relocationOffset",
                                  "lineNumberOffset", "relocationCount", "lineNumberCount", "flags")] + [
        ("reserved", C.c_uint16), ("page", C.c_uint16)]


class CoffImageInfo(C.Structure):
    _fields_ = [("bssSection", C.c_int16), ("cinitSection", C.c_int16), ("fileHeader", CoffFileHeader),
                ("version", C.c_uint16), ("targetId", C.c_uint16), ("optionalHeader", CoffOptionalHeader),
                ("entryPoint", C.c_uint32), ("reserved", C.c_uint32),
                ("sections", C.POINTER(CoffSectionHeader)), ("bigEndianTarget", C.c_uint8),
                ("byteSwapped", C.c_uint8), ("symbolsMerged", C.c_uint8), ("stringTableSize", C.c_uint32),
                ("strings", C.c_void_p), ("maxLoadSection", C.c_int16), ("maxLoadSectionBytes", C.c_int32)]


class CoffHandle(C.Structure):
    _fields_ = [("file", C.c_void_p), ("info", C.POINTER(CoffImageInfo)), ("options", C.POINTER(C.c_uint32)),
                ("reserved", C.c_void_p)]


def load(path):
    lib = C.CDLL(path)
    handle_p = C.POINTER(CoffHandle)
    lib.COFFR_FileOpen.argtypes = [C.c_char_p, C.POINTER(C.c_uint32), C.POINTER(handle_p)]
    lib.COFFR_FileClose.argtypes = [handle_p]
    lib.COFFR_IsLoadSection.argtypes = [handle_p, C.c_uint16]
    lib.COFFR_FindMaxLoadSectionSize.argtypes = [handle_p, C.POINTER(C.c_int32)]
    lib.COFFR_GetSectData.argtypes = [handle_p, C.c_uint16, C.c_void_p, C.c_uint32, C.c_uint32,
                                      C.POINTER(C.c_uint32)]
    lib.COFFR_GetSymbolName.argtypes = [handle_p, C.POINTER(CoffSymbolEntry), C.c_uint32, C.c_char_p]
    lib.COFFR_GetSectionHdr.argtypes = [handle_p, C.c_uint16, C.POINTER(CoffSectionHeader)]
    for name in ("COFFR_FileOpen", "COFFR_FileClose", "COFFR_IsLoadSection", "COFFR_FindMaxLoadSectionSize",
                 "COFFR_GetSectData", "COFFR_GetSymbolName", "COFFR_GetSectionHdr"):
        getattr(lib, name).restype = C.c_int32
    return lib, handle_p


def synthetic_file():
    """A little-endian version-2 C28x file: .text (long name in the string table) and .data."""
    text = bytes(range(256)) * 4
    data = b"\x11\x22" * 50
    names = b".text_with_long_name\0"
    headers = 22 + 28 + 2 * 48
    out = struct.pack("<HHIIIHHH", 0xC2, 2, 0, headers + len(text) + len(data), 0, 28, 0, 0x9D)
    out += struct.pack("<HHIIIIII", 0x108, 0x190, 0, 0, 0, 0x3F4000, 0, 0)
    out += struct.pack("<II", 0, 4) + struct.pack("<IIIIIIIIIHH", 0x3F4000, 0x3F4000, len(text) // 2, headers,
                                                  0, 0, 0, 0, 0x20, 0, 0)
    out += b".data\0\0\0" + struct.pack("<IIIIIIIIIHH", 0x8000, 0x8000, len(data) // 2, headers + len(text),
                                         0, 0, 0, 0, 0x40, 0, 1)
    out += text + data + struct.pack("<I", 4 + len(names)) + names
    return out, {".text_with_long_name": text, ".data": data}


def list_and_read(lib, handle_p, path):
    """Prints the sections of a file and reads the largest loadable one; returns (names, largest data)."""
    handle = handle_p()
    options = (C.c_uint32 * 4)(1, 0, 0, 1)
    code = lib.COFFR_FileOpen(path.encode(), options, C.byref(handle))
    try:
        if code != 0:
            raise RuntimeError(f"COFFR_FileOpen({path}) returned {code}")
        info = handle.contents.info.contents
        names = []
        for number in range(1, info.fileHeader.sectionCount + 1):
            header = CoffSectionHeader()
            if lib.COFFR_GetSectionHdr(handle, number, C.byref(header)) != 0:
                raise RuntimeError(f"COFFR_GetSectionHdr({number}) failed")
            symbol = CoffSymbolEntry()
            C.memmove(C.addressof(symbol), bytes(header.name), 8)  # the name is the first field
            buffer = C.create_string_buffer(256)
            if lib.COFFR_GetSymbolName(handle, C.byref(symbol), len(buffer), buffer) != 0:
                raise RuntimeError(f"COFFR_GetSymbolName for section {number} failed")
            name = buffer.value.decode("latin-1")
            names.append(name)
            loadable = lib.COFFR_IsLoadSection(handle, number) == 0
            print(f"{number:3} {name:24} size {header.size:8} units  flags 0x{header.flags:04X}"
                  f"{'  loadable' if loadable else ''}")
        size = C.c_int32()
        lib.COFFR_FindMaxLoadSectionSize(handle, C.byref(size))
        largest = info.maxLoadSection
        if largest == 0:
            raise RuntimeError("no loadable section")
        buffer = C.create_string_buffer(size.value)
        got = C.c_uint32()
        code = lib.COFFR_GetSectData(handle, largest, buffer, 0, size.value, C.byref(got))
        if code != 0 or got.value != size.value:
            raise RuntimeError(f"COFFR_GetSectData({largest}) returned {code} with {got.value} of {size.value}")
        print(f"largest loadable section {largest} ({names[largest - 1]}): read {got.value} bytes")
        return names, names[largest - 1], buffer.raw[:got.value]
    finally:
        lib.COFFR_FileClose(handle)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    lib, handle_p = load(sys.argv[1])

    image, sections = synthetic_file()
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "synthetic.out")
        with open(path, "wb") as f:
            f.write(image)
        names, largest, data = list_and_read(lib, handle_p, path)
    if names != list(sections) or data != sections[largest]:
        print(f"FAILED: names {names}, largest {largest}")
        return 1

    if len(sys.argv) > 2 and os.path.exists(sys.argv[2]):
        list_and_read(lib, handle_p, sys.argv[2])
    else:
        print("no real COFF file given or found; skipped")
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
