#!/usr/bin/env python3
"""check-pe-hardening.py EXE...

Fails unless every Windows EXE given is built hardened:
  - ASLR: DYNAMIC_BASE set and a base-relocation table present (without relocations the loader
    cannot move the image, whatever the flag says);
  - high-entropy ASLR on x86_64 (PE32+): HIGH_ENTROPY_VA;
  - DEP: NX_COMPAT;
  - stack canaries: the image's symbol table names __stack_chk_fail and __stack_chk_guard; a
    stripped (release) EXE has no symbol table, and there the failure handler's own message
    ("*** stack smashing detected ***", libssp's or the setup program's own handler's, which
    says the same), linked in only when some function checks its canary, must be in the image.
Prints one line per EXE. Exit status 0 when all pass, 1 otherwise.
"""
import struct
import sys

DYNAMIC_BASE = 0x0040
HIGH_ENTROPY_VA = 0x0020
NX_COMPAT = 0x0100


def symbols(data, pointer, count, strtab_offset):
    names = set()
    for i in range(count):
        entry = data[pointer + 18 * i: pointer + 18 * i + 18]
        if len(entry) < 18:
            break
        if entry[:4] == b"\0\0\0\0":
            offset = struct.unpack_from("<I", entry, 4)[0]
            end = data.find(b"\0", strtab_offset + offset)
            names.add(data[strtab_offset + offset:end].decode("latin-1"))
        else:
            names.add(entry[:8].rstrip(b"\0").decode("latin-1"))
    return names


def check(path):
    with open(path, "rb") as f:
        data = f.read()
    problems = []
    if data[:2] != b"MZ":
        return ["not a PE file"]
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return ["not a PE file"]
    symbol_pointer, symbol_count = struct.unpack_from("<II", data, pe + 4 + 8)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    plus = magic == 0x20B
    characteristics = struct.unpack_from("<H", data, optional + 70)[0]
    directories = optional + (112 if plus else 96)
    reloc_rva, reloc_size = struct.unpack_from("<II", data, directories + 5 * 8)

    if not characteristics & DYNAMIC_BASE:
        problems.append("no DYNAMIC_BASE (ASLR)")
    if reloc_size == 0:
        problems.append("no base relocations (ASLR cannot move the image)")
    if plus and not characteristics & HIGH_ENTROPY_VA:
        problems.append("no HIGH_ENTROPY_VA")
    if not characteristics & NX_COMPAT:
        problems.append("no NX_COMPAT (DEP)")
    if symbol_count == 0:
        if b"*** stack smashing detected ***" not in data:
            problems.append("stripped, and no stack-canary failure handler linked in")
    else:
        names = symbols(data, symbol_pointer, symbol_count, symbol_pointer + 18 * symbol_count)
        for wanted in ("__stack_chk_fail", "__stack_chk_guard"):
            if wanted not in names and "_" + wanted not in names:
                problems.append("no " + wanted + " (built without -fstack-protector-strong)")
    kind = "PE32+" if plus else "PE32"
    print("%s: %s, DllCharacteristics 0x%04x, relocations %d bytes: %s"
          % (path, kind, characteristics, reloc_size, "; ".join(problems) if problems else "hardened"))
    return problems


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    failed = False
    for path in argv[1:]:
        try:
            failed |= bool(check(path))
        except (OSError, struct.error) as error:
            print("%s: %s" % (path, error))
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
