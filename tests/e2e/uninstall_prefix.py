#!/usr/bin/env python3
"""Prepares and checks the Wine prefix around the uninstall scenarios.

  uninstall_prefix.py before nt|9x NAME
      Makes the probe and the uninstaller see Windows NT or Windows 98, then
      keeps a snapshot of the prefix (files under drive_c, registry values,
      system.ini) as NAME in VM_E2E_STATE.
  uninstall_prefix.py check NAME [IN_USE...]
      After one installation and its removal: the prefix holds what the
      snapshot held and nothing more, but for what waits for the next start of
      Windows, which must be listed where Windows keeps it (the pending
      file renames on NT, wininit.ini's "rename" section on 9x): the
      uninstaller's copy (on NT with its folder), and the files IN_USE (Windows paths)
      with the folders that hold them, up to the installation folder.
  uninstall_prefix.py snapshot NAME
      Keeps a snapshot of the prefix as NAME.
  uninstall_prefix.py check-outer NAME
      After the removal of an installation in C:\Velk Modular that held
      another in C:\Velk Modular\Synth: the prefix holds what the snapshot
      NAME held, but for the outer installation's own files.
  uninstall_prefix.py check-inner NAME
      After the removal of the inner one too: the prefix holds what the
      snapshot NAME, from before both, held, and the emptied outer folder.
  uninstall_prefix.py check-shared NAME
      After two installations and the removal of the first: the second one,
      its entries and the shared driver, now counted once, are still there.

Runs with the Wine environment of tests/e2e/run.sh (WINEPREFIX, VM_E2E_WINE).
"""
import os
import sys

from prefix import DRIVE_C, host_path, load, machine_key, removal_failures, report, save_snapshot, set_family, value

PROGRAMS = ("install_probe.exe", "_vmunins.exe")
FIRST = r"C:\Program Files\Velk Modular"
SECOND = r"C:\Velk Modular 2"
FIRST_OUTER = r"C:\Velk Modular"

def before(family, name):
    set_family(family, PROGRAMS)
    save_snapshot(name, family=family)


def check(name, in_use):
    old, new = load(name)
    report(removal_failures(old, new, FIRST, in_use))


def check_outer(name):
    old, new = load(name)
    outer = FIRST_OUTER.lower()[3:].replace("\\", "/") + "/"
    # The second installation into the inner folder left a newer driver copy
    # waiting to replace the first; the new Wine session the removal ran in
    # began as a restart does, with that move.
    waiting_copy = os.path.relpath(host_path(r"C:\windows\system32\velkpi00.dll"), DRIVE_C).replace(os.sep, "/").lower()
    report(removal_failures(old, new, FIRST_OUTER,
                            gone=lambda path: path == waiting_copy or
                            (path.startswith(outer) and not path.startswith(outer + "synth"))))


def check_inner(name):
    old, new = load(name)
    # The outer installation's copy went with the restart the new Wine session
    # began with; its folder stayed while the inner installation lived in it.
    report(removal_failures(old, new, FIRST_OUTER + "\\Synth", left=(FIRST_OUTER.lower()[3:],)))


def check_shared(name):
    old, new = load(name)
    failures = []
    if os.path.exists(host_path(FIRST)):
        failures.append(f"{FIRST} is still there")
    for item in ("vm.exe", "_vmunins.exe", "_vmunins.dat", "Modules\\Env\\ADSR.vmm"):
        if not os.path.exists(host_path(SECOND + "\\" + item)):
            failures.append(f"the second installation lost {item}")
    driver = r"C:\windows\system32\velkpipe.dll"
    if not os.path.exists(host_path(driver)):
        failures.append("the shared driver was deleted")
    count = value(new, "system", r"Software\Microsoft\Windows\CurrentVersion\SharedDLLs", driver)
    if count != "dword:00000001":
        failures.append(f"the driver's count is {count}, not 1")
    expected = {
        ("system", r"Software\Brantic\Velk Modular", "VelkPipe"): '"velkpipe.dll"',
        ("system", r"Software\Microsoft\Windows NT\CurrentVersion\drivers.desc", "velkpipe.dll"): '"Velk Modular"',
        ("user", r"Software\Brantic\Velk Modular", "InstallDir"): '"C:\\\\Velk Modular 2"',
        ("user", r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Velk Modular", "UninstallString"):
            '"C:\\\\Velk Modular 2\\\\_vmunins.exe"',
        ("system", r"Software\Microsoft\Windows\CurrentVersion\App Paths\vm.exe", ""): '"C:\\\\Velk Modular 2\\\\vm.exe"',
    }
    for (hive, key, name_), data in expected.items():
        if value(new, hive, key, name_) != data:
            failures.append(f"{hive}.reg [{key}] \"{name_}\" is {value(new, hive, key, name_)}, not {data}")
    drivers32 = new["system"].get(machine_key(r"software\microsoft\windows nt\currentversion\drivers32").lower(), {})
    if '"velkpipe.dll"' not in drivers32.values():
        failures.append("the driver is no longer registered in Drivers32")
    links = [os.path.join(root, f) for root, _, files in os.walk(os.path.join(DRIVE_C, "users"))
             for f in files if f == "Uninstall Velk Modular.lnk"]
    if not links:
        failures.append("the second installation's shortcuts are gone")
    report(failures)


def main():
    command = sys.argv[1]
    if command == "before":
        before(sys.argv[2], sys.argv[3])
    elif command == "check":
        check(sys.argv[2], sys.argv[3:])
    elif command == "snapshot":
        save_snapshot(sys.argv[2], family="nt")
    elif command == "check-outer":
        check_outer(sys.argv[2])
    elif command == "check-inner":
        check_inner(sys.argv[2])
    elif command == "check-shared":
        check_shared(sys.argv[2])
    else:
        sys.exit(f"unknown command {command}")


main()
