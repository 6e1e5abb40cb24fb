#!/usr/bin/env python3
"""Prints what setup.exe installed into a Wine prefix: the target folder's
tree with sizes, the registry values it wrote, its Start Menu shortcuts with
their targets, and the pipe driver's registration.
Usage: WINEPREFIX=... print_installation.py [TARGET_FOLDER]
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "e2e"))
from prefix import DRIVE_C, host_path, read_registry, read_text  # noqa: E402

KEYS = [
    ("user", r"Software\Brantic\Velk Modular"),
    ("system", r"Software\Brantic\Velk Modular"),
    ("user", r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Velk Modular"),
    ("system", r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Velk Modular"),
    ("system", r"Software\Microsoft\Windows\CurrentVersion\App Paths\vm.exe"),
]
DRIVER_NAMES = ("velkpipe", "velkpi")


def shortcut_target(path):
    """The local path a shell link leads to (its LinkInfo's base path)."""
    data = open(path, "rb").read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & 1:  # an item id list comes first
        at += 2 + struct.unpack_from("<H", data, at)[0]
    if not flags & 2:
        return "(no link info)"
    base = at + struct.unpack_from("<I", data, at + 16)[0]
    return data[base:data.index(b"\0", base)].decode("cp1252")


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else r"C:\Program Files\Velk Modular"
    root = host_path(target)
    print(f"== {target}")
    total = count = 0
    for folder, dirs, files in sorted(os.walk(root)):
        dirs.sort()
        depth = os.path.relpath(folder, root).count(os.sep) + (folder != root)
        if folder != root:
            print(f"{'  ' * (depth - 1)}{os.path.basename(folder)}\\")
        for name in sorted(files):
            size = os.path.getsize(os.path.join(folder, name))
            total, count = total + size, count + 1
            print(f"{'  ' * depth}{name}  {size:,}")
    print(f"   {count} files, {total:,} bytes")

    print("== registry")
    hives = {"system": read_registry("system.reg"), "user": read_registry("user.reg")}
    for hive, key in KEYS:
        values = hives[hive].get(key.lower())
        if values:
            root_name = "HKLM" if hive == "system" else "HKCU"
            for name, data in sorted(values.items()):
                print(f"{root_name}\\{key}  {name or '(default)'} = {data}")

    print("== shortcuts")
    for folder, dirs, files in os.walk(os.path.join(DRIVE_C, "users")):
        if os.path.basename(folder) == "Velk Modular" and os.path.basename(os.path.dirname(folder)) == "Programs":
            for name in sorted(files):
                print(f"{name} -> {shortcut_target(os.path.join(folder, name))}")

    print("== pipe driver")
    system = host_path(r"C:\windows\system32")
    for name in sorted(os.listdir(system)):
        if name.lower().startswith(DRIVER_NAMES):
            print(f"C:\\windows\\system32\\{name}  {os.path.getsize(os.path.join(system, name)):,} bytes")
    machine = hives["system"]
    for key in (r"software\microsoft\windows nt\currentversion\drivers32",
                r"software\microsoft\windows nt\currentversion\drivers.desc",
                r"software\microsoft\windows\currentversion\shareddlls"):
        for name, data in sorted(machine.get(key, {}).items()):
            if DRIVER_NAMES[0] in (name + data).lower() or DRIVER_NAMES[1] in (name + data).lower():
                print(f"HKLM\\{key}  {name} = {data}")
    pending = machine.get(r"system\currentcontrolset\control\session manager", {}).get("pendingfilerenameoperations")
    if pending:
        print(f"pending renames: {pending}")
    for line in read_text(os.path.join(DRIVE_C, "windows", "system.ini")):
        if "velk" in line.lower():
            print(f"system.ini: {line}")


main()
