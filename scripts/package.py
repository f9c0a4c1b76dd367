#!/usr/bin/env python3
"""package.py: the file work of scripts/package.sh, with the standard library only.

    package.py check-payload PAYLOAD_DIR
        Refuses (exit 1, with the reason) a payload the installer could not use: nothing it would
        copy, or names a Chinese Windows cannot hold.
    package.py version EXE
        Prints the ProductVersion text of the exe's version resource ("2025.01.21").
    package.py zip EXE PAYLOAD_DIR ZIP
        Writes ZIP holding EXE as SetUp.exe and PAYLOAD_DIR as Data/: entries sorted, every time
        stamp SOURCE_DATE_EPOCH (so the same inputs give the same bytes), names in UTF-8 with the
        language-encoding flag set wherever they are not plain ASCII.
"""
import os
import stat
import sys
import time
import zipfile

# What the installer skips among the Data folder's files (compared without case); sub-folders it
# does not copy either.
NOT_COPIED = {"setup.exe", "korvel_en.shx", "korvel_hz.shx"}
FORBIDDEN = set('<>:"/\\|?*') | {chr(c) for c in range(32)}
RESERVED = {"con", "prn", "aux", "nul"} | {"com%d" % i for i in range(1, 10)} | {"lpt%d" % i for i in range(1, 10)}


def refuse(message):
    print("package: " + message, file=sys.stderr)
    sys.exit(1)


def name_problem(name):
    """Why Windows (a Chinese one: code page 936) could not hold this file name, or None."""
    if any(ch in FORBIDDEN for ch in name):
        return "a character Windows does not allow in names"
    if name.endswith((" ", ".")):
        return "ends with a space or a dot, which Windows drops"
    if name.split(".")[0].lower() in RESERVED:
        return "a device name on Windows"
    try:
        name.encode("gbk")
    except UnicodeEncodeError:
        return "a character outside code page 936, which the installer cannot name on a Chinese Windows"
    return None


def check_payload(payload):
    if not os.path.isdir(payload):
        refuse("%s is not a folder" % payload)
    copied = []
    seen = {}
    for top, dirs, files in os.walk(payload):
        dirs.sort()
        for name in sorted(dirs + files):
            rel = os.path.relpath(os.path.join(top, name), payload)
            problem = name_problem(name)
            if problem:
                refuse("%s: the name %r has %s" % (payload, rel, problem))
            # Windows compares names without case: two that differ only in case would collide.
            key = rel.lower()
            if key in seen:
                refuse("%s: %r and %r name the same file on Windows" % (payload, seen[key], rel))
            seen[key] = rel
        if top == payload:
            copied = [f for f in files if f.lower() not in NOT_COPIED and os.path.isfile(os.path.join(top, f))]
    if not copied:
        refuse("%s holds nothing the installer would copy: it copies the files at the folder's top "
               "level except SetUp.exe, Korvel_EN.shx and Korvel_HZ.shx (names without case), and "
               "no sub-folder" % payload)


def product_version(exe):
    data = open(exe, "rb").read()
    key = "ProductVersion".encode("utf-16-le") + b"\0\0"
    at = data.find(key)
    if at < 0:
        refuse("%s has no ProductVersion in its version resource" % exe)
    at += len(key)
    while data[at:at + 2] == b"\0\0":  # the padding to the value
        at += 2
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def make_zip(exe, payload, out):
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "1262304000"))
    # ZIP time stamps are local date and time with 2-second steps, from 1980 on.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    entries = [("SetUp.exe", exe), ("Data/", None)]
    for top, dirs, files in os.walk(payload):
        dirs.sort()
        rel_top = os.path.relpath(top, payload)
        prefix = "Data/" if rel_top == "." else "Data/" + rel_top.replace(os.sep, "/") + "/"
        for d in dirs:
            entries.append((prefix + d + "/", None))
        for f in sorted(files):
            entries.append((prefix + f, os.path.join(top, f)))
    entries.sort(key=lambda e: e[0])
    tmp = out + ".part"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name, path in entries:
            info = zipfile.ZipInfo(name, date_time=stamp)
            # Made on Unix, with the DOS attribute bits too: unzip treats names of archives "made
            # on MS-DOS" as code page 437 even with the UTF-8 flag set, and turns 说明 to junk.
            info.create_system = 3
            if path is None:
                info.external_attr = (stat.S_IFDIR | 0o755) << 16 | 0x10  # a folder
                z.writestr(info, b"")
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                info.external_attr = (stat.S_IFREG | 0o644) << 16 | 0x20  # an ordinary file
                with open(path, "rb") as f:
                    z.writestr(info, f.read())
    os.replace(tmp, out)


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    command = sys.argv[1]
    if command == "check-payload" and len(sys.argv) == 3:
        check_payload(sys.argv[2])
    elif command == "version" and len(sys.argv) == 3:
        print(product_version(sys.argv[2]))
    elif command == "zip" and len(sys.argv) == 5:
        make_zip(*sys.argv[2:5])
    else:
        print(__doc__, file=sys.stderr)
        sys.exit(2)


if __name__ == "__main__":
    main()
