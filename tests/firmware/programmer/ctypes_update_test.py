#!/usr/bin/env python3
"""Drives the flash programmer's C interface from Python through ctypes, end to end.

Starts qmx-sim (F28335 flash, no valid firmware) on a pseudo-terminal, loads libaxprg, programs and
verifies the loadable sections of a real C28x COFF file at 115200 baud, ends qmx-sim (which writes
its flash to a file) and compares that file with the sections. Exits 77 (skipped) when the COFF file
is not there.

    ctypes_update_test.py LIBAXPRG QMX_SIM COFF_FILE
"""
import ctypes
import os
import signal
import struct
import subprocess
import sys
import tempfile

SKIPPED = 77
FLASH_START, FLASH_END = 0x300000, 0x340000  # F28335
DUMMY, NOLOAD, COPY, TEXT, DATA = 0x01, 0x02, 0x10, 0x20, 0x40


def loadable_sections(path):
    """(name, word address, raw bytes) of every section with text or data that a loader would load."""
    with open(path, "rb") as f:
        image = f.read()
    version, count, _, _, _, optional_size, _, target = struct.unpack_from("<HHIIIHHH", image, 0)
    assert version == 0x00C2 and target == 0x009D, "not a little-endian C28x COFF version-2 file"
    sections = []
    for i in range(count):
        header = image[22 + optional_size + 48 * i:22 + optional_size + 48 * (i + 1)]
        name = header[:8].rstrip(b"\0").decode("latin-1") if header[:4] != b"\0\0\0\0" else f"#{i + 1}"
        _, vaddr, size, raw, _, _, _, _, flags, _, _ = struct.unpack_from("<IIIIIIIIIHH", header, 8)
        if raw == 0 or size == 0 or flags & (DUMMY | NOLOAD | COPY) or not flags & (TEXT | DATA):
            continue
        sections.append((name, vaddr, image[raw:raw + 2 * size]))
    return sections


def main():
    library, qmx_sim, coff = sys.argv[1:4]
    if not os.path.exists(coff):
        print(f"skipped: the C28x test file {coff} is not there")
        return SKIPPED
    sections = loadable_sections(coff)
    assert sections and all(FLASH_START <= a and a + len(d) // 2 <= FLASH_END for _, a, d in sections)

    prg = ctypes.CDLL(library)
    handle = ctypes.c_void_p()

    class Interface(ctypes.Structure):
        _fields_ = [("recordSize", ctypes.c_uint32), ("version", ctypes.c_uint32 * 4), ("name", ctypes.c_char_p),
                    ("reserved", ctypes.c_uint32), ("entryCount", ctypes.c_uint32),
                    ("entries", ctypes.c_void_p * 12)]

    descriptor = ctypes.POINTER(Interface)()
    assert prg.PRG_GetInterface(ctypes.byref(descriptor)) == 0
    assert descriptor.contents.recordSize == ctypes.sizeof(Interface) and descriptor.contents.name == b"GENERIC"
    assert descriptor.contents.entries[0] == ctypes.cast(prg.PRG_Init, ctypes.c_void_p).value
    words_p = ctypes.POINTER(ctypes.c_uint16)
    for name in ("PRG_FlashWrite", "PRG_FlashVerify", "PRG_FlashRead"):
        getattr(prg, name).argtypes = [ctypes.c_void_p, ctypes.c_uint32, ctypes.c_uint16, ctypes.c_uint32, words_p]
    for name in ("PRG_Open", "PRG_Close", "PRG_FlashErase"):
        getattr(prg, name).argtypes = [ctypes.c_void_p]
    prg.PRG_SetOptions.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
    log = []
    callback_type = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int32, ctypes.c_char_p)
    callback = callback_type(lambda h, kind, text: log.append(text.decode("latin-1")))

    flash_file = tempfile.NamedTemporaryFile(prefix="axtune-ctypes-flash-", suffix=".bin", delete=False)
    flash_file.close()
    sim = subprocess.Popen([qmx_sim, "--blank-flash", "--quiet", "--turnaround-us", "0", "--flash-geometry",
                            "F28335", "--flash-bin", flash_file.name], stdout=subprocess.PIPE, text=True)
    try:
        device = sim.stdout.readline().strip()
        assert device, "qmx-sim printed no device"

        def check(call, what):
            assert call == 0, f"{what} failed: {''.join(log)}"

        check(prg.PRG_Init(ctypes.byref(handle)), "PRG_Init")
        prg.PRG_SetMessageCallBack(handle, callback)
        check(prg.PRG_SetOptions(handle, f"EmuBaudRate=115200,EmuPortName={device}".encode()), "PRG_SetOptions")
        check(prg.PRG_Open(handle), "PRG_Open")
        assert prg.PRG_Status() == 0
        # PRG_Open sets the mask of the first four sectors; the F28335 has eight.
        check(prg.PRG_SetOptions(handle, b"PrgEraseOption1=FF"), "PRG_SetOptions")
        check(prg.PRG_FlashErase(handle), "PRG_FlashErase")
        buffers = []
        for name, address, data in sections:
            words = (ctypes.c_uint16 * (len(data) // 2)).from_buffer_copy(data)
            buffers.append(words)
            check(prg.PRG_FlashWrite(handle, address, 0, len(data), words), f"writing {name}")
        for (name, address, data), words in zip(sections, buffers):
            check(prg.PRG_FlashVerify(handle, address, 0, len(data), words), f"verifying {name}")
        name, address, data = max(sections, key=lambda s: len(s[2]))
        back = (ctypes.c_uint16 * (len(data) // 2))()
        check(prg.PRG_FlashRead(handle, address, 0, len(data), back), f"reading {name}")
        assert bytes(back) == data, f"{name} read back differs"
        check(prg.PRG_Close(handle), "PRG_Close")
    finally:
        sim.send_signal(signal.SIGTERM)
        try:
            sim.wait(timeout=30)
        except subprocess.TimeoutExpired:
            sim.kill()
            raise

    with open(flash_file.name, "rb") as f:
        flash = f.read()
    os.unlink(flash_file.name)
    assert len(flash) == 2 * (FLASH_END - FLASH_START), f"flash file has {len(flash)} bytes"
    programmed = bytearray(b"\xff" * len(flash))
    for name, address, data in sections:
        offset = 2 * (address - FLASH_START)
        assert flash[offset:offset + len(data)] == data, f"{name} at 0x{address:06x} differs in the flash file"
        programmed[offset:offset + len(data)] = data
    assert flash == bytes(programmed), "the flash holds words outside the file's sections"
    print(f"programmed and compared {len(sections)} sections, "
          f"{sum(len(d) for _, _, d in sections) // 2} words: {', '.join(n for n, _, _ in sections)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
