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
      uninstaller's copy and its folder, and the files IN_USE (Windows paths)
      with the folders that hold them, up to the installation folder.
  uninstall_prefix.py check-shared NAME
      After two installations and the removal of the first: the second one,
      its entries and the shared driver, now counted once, are still there.

Runs with the Wine environment of tests/e2e/run.sh (WINEPREFIX, VM_E2E_WINE).
"""
import json
import os
import subprocess
import sys

PREFIX = os.environ["WINEPREFIX"]
DRIVE_C = os.path.join(PREFIX, "drive_c")
STATE = os.environ["VM_E2E_STATE"]
PROGRAMS = ("install_probe.exe", "_vmunins.exe")

FIRST = r"C:\Program Files\Velk Modular"
SECOND = r"C:\Velk Modular 2"
MENU = "Velk Modular"

# Keys that Wine rewrites on every start of a session, whatever the
# programs do (devices, fonts, display drivers).
NOISE = (
    "system\\currentcontrolset\\control\\class",
    "system\\currentcontrolset\\control\\deviceclasses",
    "system\\currentcontrolset\\control\\video",
    "system\\currentcontrolset\\enum",
    "system\\currentcontrolset\\services",
    "software\\classes",
    "software\\wine",
    "hardware",
)
SESSION_MANAGER = "system\\currentcontrolset\\control\\session manager"
PENDING = "pendingfilerenameoperations"


def wine(*args):
    subprocess.run([os.environ["VM_E2E_WINE"], *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def settle():
    """The registry reaches its files when the server ends."""
    subprocess.run(["wineserver", "-w"], check=True)


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"0": "\0", "n": "\n"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def split_value(line):
    """'"name"=data' or '@=data' as (name, data)."""
    if line.startswith("@="):
        return "", line[2:]
    i = 1
    while line[i] != '"':
        i += 2 if line[i] == "\\" else 1
    return unescape(line[1:i]), line[i + 2:]


def read_registry(file_name):
    """{lower-case key: {lower-case value name: data as written}}, keys as Wine
    writes them (relative to the hive, backslashes unescaped)."""
    keys, key, pending = {}, None, ""
    with open(os.path.join(PREFIX, file_name), encoding="utf-8", errors="replace") as f:
        for raw in f:
            line = pending + (raw.strip() if pending else raw.rstrip("\n"))
            # Long hex data goes on over lines that end in a backslash; a
            # text value always ends in its quote.
            if line.endswith("\\"):
                pending = line[:-1]
                continue
            pending = ""
            if line.startswith("["):
                key = unescape(line[1:line.rindex("]")]).lower()
                keys.setdefault(key, {})
            elif key is not None and (line.startswith('"') or line.startswith("@=")):
                name, data = split_value(line.strip())
                keys[key][name.lower()] = data.strip()
    return keys


def read_text(path):
    try:
        with open(path, encoding="latin-1") as f:
            return [line.rstrip("\r\n") for line in f if line.strip()]
    except FileNotFoundError:
        return []


def host_path(windows_path):
    """A C: path as a path below drive_c, matched without regard to case."""
    assert windows_path[:3].upper() == "C:\\", windows_path
    path = DRIVE_C
    for level in windows_path[3:].split("\\"):
        if not level:
            continue
        found = [entry for entry in os.listdir(path) if entry.lower() == level.lower()] if os.path.isdir(path) else []
        path = os.path.join(path, found[0] if found else level)
    return path


def list_files():
    files = []
    for folder, dirs, names in os.walk(DRIVE_C):
        for name in dirs + names:
            files.append(os.path.relpath(os.path.join(folder, name), DRIVE_C).replace(os.sep, "/").lower())
    return sorted(files)


def snapshot():
    return {
        "files": list_files(),
        "system": read_registry("system.reg"),
        "user": read_registry("user.reg"),
        "system.ini": read_text(os.path.join(DRIVE_C, "windows", "system.ini")),
    }


def is_noise(key):
    return any(key == noise or key.startswith(noise + "\\") for noise in NOISE)


def registry_changes(before, after):
    """Every value added, removed or changed outside the noise."""
    changes = []
    for key in sorted(set(before) | set(after)):
        if is_noise(key):
            continue
        old, new = before.get(key, {}), after.get(key, {})
        for name in sorted(set(old) | set(new)):
            if old.get(name) != new.get(name):
                changes.append((key, name, old.get(name), new.get(name)))
    return changes


def scheduled_deletions(family, after):
    """The lower-case Windows paths that wait to be deleted at the next start."""
    if family == "nt":
        data = after["system"].get(SESSION_MANAGER, {}).get(PENDING)
        if data is None:
            return []
        assert data.startswith('str(7):"'), data
        entries = unescape(data[len('str(7):"'):-1]).split("\0")
        # Pairs of source and destination; an empty destination deletes.
        return [entries[i][4:].lower() for i in range(0, len(entries) - 1, 2)
                if entries[i].startswith("\\??\\") and entries[i + 1] == ""]
    lines = read_text(os.path.join(DRIVE_C, "windows", "wininit.ini"))
    return [line[4:].lower() for line in lines if line.upper().startswith("NUL=")]


def before(family, name):
    for program in PROGRAMS:
        key = "HKCU\\Software\\Wine\\AppDefaults\\" + program
        if family == "9x":
            wine("reg", "add", key, "/v", "Version", "/d", "win98", "/f")
        else:
            subprocess.run([os.environ["VM_E2E_WINE"], "reg", "delete", key, "/f"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    settle()
    state = snapshot()
    state["family"] = family
    with open(os.path.join(STATE, name + ".json"), "w") as f:
        json.dump(state, f)


def load(name):
    settle()
    with open(os.path.join(STATE, name + ".json")) as f:
        return json.load(f), snapshot()


def check(name, in_use):
    old, new = load(name)
    failures = []
    family = old["family"]
    waiting = scheduled_deletions(family, new)
    expected = set()
    for path in in_use:
        while path.lower() != FIRST.lower():
            expected.add(path.lower())
            path = path[:path.rindex("\\")]
        expected.add(FIRST.lower())
    copies = [path for path in waiting if "\\~vmun" in path]
    if len(copies) != 2:
        failures.append(f"the uninstaller's copy and its folder should wait for the next start, not {copies}")
    if set(waiting) - set(copies) != expected:
        failures.append(f"waiting for the next start: {sorted(set(waiting) - set(copies))}, "
                        f"expected {sorted(expected)}")

    added = sorted(set(new["files"]) - set(old["files"]))
    removed = sorted(set(old["files"]) - set(new["files"]))
    for path in added:
        if family == "9x" and path == "windows/wininit.ini":
            continue
        if "c:\\" + path.replace("/", "\\") not in waiting:
            failures.append(f"left behind and not scheduled: C:/{path}")
    for path in removed:
        failures.append(f"removed, though it was there before the installation: C:/{path}")

    for hive in ("system", "user"):
        for key, value, was, now in registry_changes(old[hive], new[hive]):
            if hive == "system" and key == SESSION_MANAGER and value == PENDING and family == "nt":
                continue
            failures.append(f"{hive}.reg [{key}] \"{value}\": {was} -> {now}")
    if new["system.ini"] != old["system.ini"]:
        failures.append(f"system.ini was {old['system.ini']}, is {new['system.ini']}")
    report(failures)


def value(state, hive, key, name):
    return state[hive].get(key.lower(), {}).get(name.lower())


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
    drivers32 = new["system"].get(r"software\microsoft\windows nt\currentversion\drivers32", {})
    if '"velkpipe.dll"' not in drivers32.values():
        failures.append("the driver is no longer registered in Drivers32")
    links = [os.path.join(root, f) for root, _, files in os.walk(os.path.join(DRIVE_C, "users"))
             for f in files if f == "Uninstall Velk Modular.lnk"]
    if not links:
        failures.append("the second installation's shortcuts are gone")
    report(failures)


def report(failures):
    for failure in failures[:40]:
        print(failure)
    sys.exit(1 if failures else 0)


def main():
    command = sys.argv[1]
    if command == "before":
        before(sys.argv[2], sys.argv[3])
    elif command == "check":
        check(sys.argv[2], sys.argv[3:])
    elif command == "check-shared":
        check_shared(sys.argv[2])
    else:
        sys.exit(f"unknown command {command}")


main()
