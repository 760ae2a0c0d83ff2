#!/usr/bin/env python3
"""Checks the release k-wrndl.exe: a 32-bit console PE for Windows 4.0 whose
import table names only system DLLs and only functions that Windows 95 and
NT 4.0 export. A new import fails here until it is added to
allowed-imports.txt, after checking that both old systems have it."""
import subprocess
import sys


def main(objdump, exe, allowed_path):
    dump = subprocess.run([objdump, "-p", exe], check=True, capture_output=True,
                          text=True).stdout
    errors = []

    def expect(text, what):
        if text not in dump:
            errors.append("expected %s (%r)" % (what, text))

    expect("file format pei-i386", "an i386 PE")
    expect("Magic\t\t\t010b", "a PE32 optional header")
    expect("Subsystem\t\t00000003", "the console subsystem")
    expect("MajorSubsystemVersion\t4", "subsystem version 4")
    expect("MinorSubsystemVersion\t0", "subsystem version 4.0")

    allowed = set()
    with open(allowed_path) as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                dll, name = line.split()
                allowed.add((dll.upper(), name))
    allowed_dlls = {dll for dll, _ in allowed}

    imports = []
    dll = None
    for line in dump.splitlines():
        if "DLL Name:" in line:
            dll = line.split("DLL Name:")[1].strip().upper()
            if dll not in allowed_dlls:
                errors.append("imports from %s" % dll)
            continue
        parts = line.split()
        if dll and len(parts) == 3 and line.startswith("\t") and parts[1].isdigit():
            imports.append((dll, parts[2]))
        elif dll and not line.strip():
            dll = None
    if not imports:
        errors.append("no import table found")
    for entry in imports:
        if entry not in allowed:
            errors.append("import not known to load on Windows 95 / NT 4.0: %s!%s" % entry)
    for dll, name in imports:
        if dll in ("PSAPI.DLL", "VDMDBG.DLL"):
            errors.append("%s must be loaded at run time, not imported" % dll)

    for e in errors:
        print("release check: " + e)
    print("release check: %d imports from %s" % (len(imports),
                                                 ", ".join(sorted({d for d, _ in imports}))))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
