#!/usr/bin/python3
"""check_roundtrip.py CLEAN DIR: checks with an independent PE parser the
files that disinfect_copy_test leaves in DIR: infected.exe, the host made from
the clean program CLEAN, and infected.exe.dis, its repaired copy."""
import os
import sys
import zlib

import pefile

TAIL = 72192
IMAGE_GROWTH = 0x81000
SIGNATURE_CRC = 0x3DC1FCAF  # the disinfectable row, over the last 787 bytes
IMPORT, RELOCATION = 1, 5


def directories(pe):
    d = pe.OPTIONAL_HEADER.DATA_DIRECTORY
    return (d[IMPORT].VirtualAddress, d[IMPORT].Size,
            d[RELOCATION].VirtualAddress, d[RELOCATION].Size)


def main():
    clean_path, folder = sys.argv[1], sys.argv[2]
    infected_path = os.path.join(folder, "infected.exe")
    repaired_path = infected_path + ".dis"
    clean_bytes = open(clean_path, "rb").read()
    infected_bytes = open(infected_path, "rb").read()
    repaired_bytes = open(repaired_path, "rb").read()
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)

    clean = pefile.PE(data=clean_bytes)
    infected = pefile.PE(data=infected_bytes)
    repaired = pefile.PE(data=repaired_bytes)

    # The host, read as a PE: what the repair expects to find.
    check(len(infected_bytes) == len(clean_bytes) + TAIL, "host is not 72192 bytes longer")
    check(zlib.crc32(infected_bytes[-787:]) == SIGNATURE_CRC, "host tail does not match the row")
    names = [s.Name.rstrip(b"\0") for s in infected.sections]
    check(infected.FILE_HEADER.NumberOfSections == clean.FILE_HEADER.NumberOfSections + 3,
          "host section count is not 3 higher")
    check(names[-3:] == [b"UPX0", b"UPX1", b"UPX2"], "host lacks the three UPX headers: %r" % names)
    check(infected.OPTIONAL_HEADER.SizeOfImage == clean.OPTIONAL_HEADER.SizeOfImage + IMAGE_GROWTH,
          "host SizeOfImage is not 0x81000 higher")
    check(infected.OPTIONAL_HEADER.AddressOfEntryPoint != clean.OPTIONAL_HEADER.AddressOfEntryPoint,
          "host entry point was not moved")
    saved = directories(clean)
    check(all(a != b for a, b in zip(directories(infected), saved)),
          "host directories were not all moved")
    record_at = infected.sections[-1].get_file_offset() + 40
    record = [int.from_bytes(infected_bytes[record_at + 4 * i:record_at + 4 * i + 4], "little")
              for i in range(5)]
    check(record == [clean.OPTIONAL_HEADER.AddressOfEntryPoint, saved[2], saved[3],
                     saved[0], saved[1]],
          "record behind the last section header does not hold the saved fields: %r" % record)

    # The repaired copy: the clean program, changed only where the repair writes.
    check(repaired_bytes == clean_bytes, "repaired copy differs from the clean program")
    check(len(repaired_bytes) == len(infected_bytes) - TAIL,
          "repaired copy is not 72192 bytes shorter")
    pe_at = infected.DOS_HEADER.e_lfanew
    table_end = infected.sections[-1].get_file_offset() + 40
    allowed = {pe_at + 6}
    for field, width in ((40, 4), (80, 4), (128, 8), (160, 8)):
        allowed.update(range(pe_at + field, pe_at + field + width))
    allowed.update(range(table_end - 3 * 40, table_end + 48))
    changed = {i for i in range(len(repaired_bytes)) if repaired_bytes[i] != infected_bytes[i]}
    check(changed <= allowed, "repair changed bytes outside its fields: %r"
          % sorted(changed - allowed)[:16])
    check(repaired.FILE_HEADER.NumberOfSections == clean.FILE_HEADER.NumberOfSections,
          "repaired section count")
    check([s.Name for s in repaired.sections] == [s.Name for s in clean.sections],
          "repaired section names")
    check(repaired.OPTIONAL_HEADER.AddressOfEntryPoint == clean.OPTIONAL_HEADER.AddressOfEntryPoint,
          "repaired entry point")
    check(repaired.OPTIONAL_HEADER.SizeOfImage == clean.OPTIONAL_HEADER.SizeOfImage,
          "repaired SizeOfImage")
    check(directories(repaired) == saved, "repaired directories")
    check(hasattr(repaired, "DIRECTORY_ENTRY_IMPORT") and
          [e.dll for e in repaired.DIRECTORY_ENTRY_IMPORT] ==
          [e.dll for e in clean.DIRECTORY_ENTRY_IMPORT], "repaired imports do not parse")

    for f in failures:
        print("FAIL:", f)
    if not failures:
        print("infected host and repaired copy check out")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
