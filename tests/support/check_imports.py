#!/usr/bin/env python3
"""Fails when a Windows program names a DLL that Windows does not always map from its system folder,
or lacks the hardening it is built with.

  check_imports.py PROGRAM.exe

Reads the PE import table and prints every DLL named there. Any name outside
ALWAYS_FROM_SYSTEM fails the check: the loader looks for such a DLL beside the program first, so a
copy planted in the folder the installer was started from would run before the installer does.
Such DLLs are loaded at first use from the system folder instead (src/app/system_library_win.h).

It also fails when the image does not ask for address space layout randomisation with
high-entropy addresses and for data execution prevention, or has no stack guard: the guard's
failure message is text that stays in a stripped image, so a build that dropped
-fstack-protector-strong is found by its absence.
"""

import struct
import sys

# The KnownDLLs of Windows 10 and 11 (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\
# KnownDLLs): the loader maps these from the system folder whatever lies beside the program.
# This is the one list; add a name only when it is in that set.
ALWAYS_FROM_SYSTEM = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll",
    "gdi32.dll", "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll",
    "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll",
    "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shcore.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "wldap32.dll", "ws2_32.dll",
}

IMPORT_DIRECTORY = 1

# IMAGE_DLLCHARACTERISTICS_* that every image of ours must have.
MITIGATIONS = {0x0020: "HIGH_ENTROPY_VA", 0x0040: "DYNAMIC_BASE", 0x0100: "NX_COMPAT"}
STACK_GUARD_TEXT = b"*** stack smashing detected ***"


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not a PE file")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.dll_characteristics = struct.unpack_from("<H", data, optional + 70)[0]
        directories = optional + {0x10B: 96, 0x20B: 112}[magic]
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i)
                            for i in range(struct.unpack_from("<I", data, directories - 4)[0])]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<8xIIII", data, table + 40 * i)
                         for i in range(sections)]  # virtual size, address, raw size, raw offset

    def offset(self, rva):
        for size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError("address %#x is in no section" % rva)

    def text(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def imported_dlls(self):
        """The Name of each 20-byte import descriptor, up to the all-zero one that ends them."""
        if len(self.directories) <= IMPORT_DIRECTORY or self.directories[IMPORT_DIRECTORY][0] == 0:
            return []
        at, names = self.offset(self.directories[IMPORT_DIRECTORY][0]), []
        while any(self.data[at:at + 20]):
            names.append(self.text(struct.unpack_from("<I", self.data, at + 12)[0]))
            at += 20
        return names


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "rb") as f:
        image = Image(f.read())
    imported = image.imported_dlls()
    refused = []
    for name in imported:
        allowed = name.lower() in ALWAYS_FROM_SYSTEM
        print("%s %s" % ("ok  " if allowed else "FAIL", name))
        if not allowed:
            refused.append(name)
    if not imported:
        refused.append("(no import table found)")
    print("%d DLL(s) outside the system set" % len(refused))
    missing = [name for bit, name in MITIGATIONS.items() if not image.dll_characteristics & bit]
    if STACK_GUARD_TEXT not in image.data:
        missing.append("stack guard")
    for name in MITIGATIONS.values():
        print("%s %s" % ("FAIL" if name in missing else "ok  ", name))
    print("%s stack guard" % ("FAIL" if "stack guard" in missing else "ok  "))
    return 1 if refused or missing else 0


if __name__ == "__main__":
    sys.exit(main())
