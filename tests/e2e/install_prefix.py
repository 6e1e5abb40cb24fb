#!/usr/bin/env python3
"""Prepares and checks the Wine prefix around the scenarios that run the real
setup.exe.

  install_prefix.py before nt|9x NAME
      Makes setup.exe and the uninstaller see Windows NT or Windows 98 and
      keeps a snapshot of the prefix as NAME.
  install_prefix.py installed NAME FOLDER COMPONENTS [earlier-driver|files-only|last=DIGITS]
      An installation into FOLDER (a Windows path) of the components listed
      (digits 0 to 5, e.g. 012345; the support files always come along):
      every file of their payload entries with its size and stored time and
      nothing else, _vmunins.dat listing what exists, the registry values
      (Wine's list of installed programs must show the product), the Start
      Menu shortcuts and the driver's registration of the family.
      With earlier-driver the system folder held the product's driver
      before, so the new one waits as velkpi00 to replace it; files-only
      leaves out what a later installation elsewhere has overwritten; last=
      names the components of the last of several installations into FOLDER,
      the only ones the uninstall entry's size counts.
  install_prefix.py unchanged NAME [EMPTY_FOLDER]
      The prefix holds what the snapshot held: a cancelled or failed
      installation left nothing behind but, when named, the empty folder it
      was to install into.
  install_prefix.py first-installation NAME FOLDER SCRIPT
      Runs the driver on SCRIPT (an installation into FOLDER), then keeps a
      snapshot of the prefix as NAME with every file below FOLDER: its size,
      write time and a digest of its bytes.
  install_prefix.py same-installation NAME FOLDER
      The prefix holds what the snapshot NAME held, and every file below
      FOLDER is byte for byte the same, write time included: a later run
      that was cancelled or failed put the earlier installation back whole.
  install_prefix.py altered-copy PATH
      Copies setup.exe to PATH (a Windows path) with one byte changed inside
      its largest payload entry, as a damaged download would have it.
  install_prefix.py uninstall NAME FOLDER SCRIPT
      Runs the driver on SCRIPT (the uninstaller started from its shortcut),
      then compares the prefix with the snapshot taken before the installation.
  install_prefix.py keep NAME
      Keeps a copy of the whole prefix as NAME, for unattended.
  install_prefix.py unattended NAME FOLDER COMPONENTS
      After an installation made on the pages into FOLDER with the components
      COMPONENTS (short names, as /COMPONENTS= takes them): puts the prefix
      kept as NAME back, installs the same with setup.exe /S, and compares the
      two prefixes, files and their bytes, registry, system.ini, what waits
      for the next start, times aside; then removes it with _vmunins.exe /S
      and compares the prefix with the snapshot NAME. Both runs keep a log.

Runs with the Wine environment of tests/e2e/run.sh (WINEPREFIX, VM_E2E_WINE,
VM_E2E_STATE, VM_E2E_TREE).
"""
import hashlib
import os
import struct
import subprocess
import sys

from prefix import (DRIVE_C, PENDING, SESSION_MANAGER, STATE, host_path, keep_prefix, load, machine_key, read_text,
                    registry_changes, removal_failures, report, restore_prefix, save_snapshot, set_family, settle,
                    snapshot, value)

PROGRAMS = ("setup.exe", "_vmunins.exe")
STAGE = os.path.join(os.environ["VM_E2E_TREE"], "payload", "stage")

# The payload entries of each component; the driver's entry is the family's.
ENTRIES = {0: (100, 101, 102, 103, 104, 105), 1: (200,), 2: (300,), 4: (500,), 5: (600, 601), 6: (1000, 1001, 1002)}
DRIVER = {
    "nt": {"entry": 450, "source": "_velkp32.dll", "name": "velkpipe.dll", "earlier": "velkpi00.dll"},
    "9x": {"entry": 400, "source": "_velkp16.drv", "name": "velkpipe.drv", "earlier": "velkpi00.drv"},
}
SYSTEM = r"C:\windows\system32"

# Every payload file carries the product's release time, 15 March 2004 12:00 UTC.
RELEASE_TIME = 1079352000
DATA_MAGIC = 0x5749AAE0

PRODUCT = r"Software\Brantic\Velk Modular"
UNINSTALL = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Velk Modular"
APP_PATH = r"Software\Microsoft\Windows\CurrentVersion\App Paths\vm.exe"
SHARED = r"Software\Microsoft\Windows\CurrentVersion\SharedDLLs"
DRIVERS32 = r"Software\Microsoft\Windows NT\CurrentVersion\Drivers32"
DESCRIPTIONS = r"Software\Microsoft\Windows NT\CurrentVersion\drivers.desc"
SHORTCUTS = [("Velk Modular.lnk", "vm.exe", True), ("Velk Modular Help.lnk", "vm.hlp", True),
             ("Velk Modular Home Page.lnk", "Velk Modular Home Page.url", False),
             ("Velk Modular License.lnk", "Velk Modular License.txt", False),
             ("Uninstall Velk Modular.lnk", "_vmunins.exe", False)]


def reg_text(text):
    """A text value as Wine writes it into its registry files."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def payload_files(entry):
    """{relative Windows path: size} of one entry, and its folders."""
    files, folders = {}, set()
    root = os.path.join(STAGE, str(entry))
    for folder, dirs, names in os.walk(root):
        for name in dirs:
            folders.add(os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "\\"))
        for name in names:
            path = os.path.join(folder, name)
            files[os.path.relpath(path, root).replace(os.sep, "\\")] = os.path.getsize(path)
    return files, folders


def read_data_file(path):
    """The records of an uninstall data file as (kind, Windows path)."""
    data = open(path, "rb").read()
    magic, version, count = struct.unpack_from("<Iii", data, 0)
    if (magic, version) != (DATA_MAGIC, 0):
        raise ValueError("wrong magic or version")
    at, records = 12, []
    for _ in range(count):
        kind, length = struct.unpack_from("<ii", data, at)
        records.append((kind, data[at + 8:at + 8 + length].decode("cp1252")))
        at += 8 + length
    if at != len(data):
        raise ValueError("bytes after the last record")
    return records


def start_menu_folder():
    for folder, dirs, _ in os.walk(os.path.join(DRIVE_C, "users")):
        if os.path.basename(folder) == "Programs" and "Velk Modular" in dirs:
            return os.path.join(folder, "Velk Modular")
    return None


def before(family, name):
    set_family(family, PROGRAMS)
    save_snapshot(name, family=family)


def selected_entries(components, family):
    """The payload entries an installation of COMPONENTS extracts, in order."""
    return [entry for component in sorted(components | {6})
            for entry in ENTRIES.get(component, (DRIVER[family]["entry"],) if component == 3 else ())]


def check_files(folder, components, family, failures):
    expected, folders = {}, set()
    for entry in selected_entries(components, family):
        files, entry_folders = payload_files(entry)
        expected.update(files)
        folders |= entry_folders
    # The driver's file leaves the folder for the system folder.
    expected.pop(DRIVER[family]["source"], None)
    expected["_vmunins.dat"] = None
    root = host_path(folder)
    found = {}
    for here, dirs, names in os.walk(root):
        for name in names:
            path = os.path.join(here, name)
            found[os.path.relpath(path, root).replace(os.sep, "\\").lower()] = path
    for relative, size in sorted(expected.items()):
        path = found.pop(relative.lower(), None)
        if path is None:
            failures.append(f"missing {folder}\\{relative}")
        elif size is not None and os.path.getsize(path) != size:
            failures.append(f"{relative}: {os.path.getsize(path)} bytes, the payload holds {size}")
        elif size is not None and int(os.path.getmtime(path)) != RELEASE_TIME:
            failures.append(f"{relative}: written at {int(os.path.getmtime(path))}, stored time {RELEASE_TIME}")
    for relative in sorted(found):
        failures.append(f"not in the payload of the selected components: {relative}")
    for relative in sorted(folders):
        if not os.path.isdir(os.path.join(root, *relative.split("\\"))):
            failures.append(f"missing the folder {relative}")
    return expected


def check_data_file(folder, expected, family, failures):
    try:
        records = read_data_file(host_path(folder + "\\_vmunins.dat"))
    except (OSError, ValueError, struct.error) as error:
        failures.append(f"cannot read _vmunins.dat: {error}")
        return
    listed = {path.lower() for _, path in records}
    if len(listed) != len(records):
        failures.append("_vmunins.dat lists a path twice")
    moved = (folder + "\\" + DRIVER[family]["source"]).lower()
    for kind, path in records:
        if not path.lower().startswith(folder.lower() + "\\") and path.lower() != folder.lower():
            failures.append(f"_vmunins.dat lists {path}, outside {folder}")
        elif path.lower() != moved and not (os.path.isfile if kind == 0 else os.path.isdir)(host_path(path)):
            failures.append(f"_vmunins.dat lists {path}, which does not exist")
    for relative in expected:
        path = (folder + "\\" + relative).lower()
        if relative.lower() == "_vmunins.exe":
            if path in listed:
                failures.append("_vmunins.dat lists the uninstaller itself")
        elif path not in listed:
            failures.append(f"_vmunins.dat does not list {relative}")


def home_page_address():
    """The address in the home-page shortcut that payload entry 1001 carries."""
    for line in read_text(os.path.join(STAGE, "1001", "Velk Modular Home Page.url")):
        if line.upper().startswith("URL="):
            return line[4:].strip()
    sys.exit("the payload's home-page shortcut holds no address")


def check_registry(state, folder, components, last, family, failures):
    entry = "user" if family == "nt" else "system"
    # The list of installed programs counts KiB: every file the last
    # selection extracts (the driver too, which moves on to the system folder).
    size = sum(sum(payload_files(number)[0].values()) for number in selected_entries(last, family))
    icon = folder + ("\\vm.exe" if 0 in components else "\\_vmunins.exe") + ",0"
    expected = {
        ("user", PRODUCT, "InstallDir"): reg_text(folder),
        (entry, UNINSTALL, "DisplayName"): reg_text("Velk Modular"),
        (entry, UNINSTALL, "UninstallString"): reg_text(folder + "\\_vmunins.exe"),
        (entry, UNINSTALL, "QuietUninstallString"): reg_text('"' + folder + '\\_vmunins.exe" /S'),
        (entry, UNINSTALL, "DisplayIcon"): reg_text(icon),
        (entry, UNINSTALL, "DisplayVersion"): reg_text("2.08.004"),
        (entry, UNINSTALL, "Publisher"): reg_text("Brantic"),
        (entry, UNINSTALL, "InstallLocation"): reg_text(folder),
        (entry, UNINSTALL, "EstimatedSize"): f"dword:{(size + 1023) // 1024:08x}",
        (entry, UNINSTALL, "NoModify"): "dword:00000001",
        (entry, UNINSTALL, "NoRepair"): "dword:00000001",
        (entry, UNINSTALL, "URLInfoAbout"): reg_text(home_page_address()),
    }
    if 0 in components:
        expected[("user", PRODUCT, "WorkDir")] = reg_text(folder + "\\Work")
        expected[("system", APP_PATH, "")] = reg_text(folder + "\\vm.exe")
        expected[("system", APP_PATH, "Path")] = reg_text(folder)
    else:
        expected[("user", PRODUCT, "WorkDir")] = None
        expected[("system", APP_PATH, "")] = None
    for (hive, key, name), data in expected.items():
        if value(state, hive, key, name) != data:
            failures.append(f"{hive}.reg [{key}] \"{name}\" is {value(state, hive, key, name)}, not {data}")


def check_program_list(failures):
    """Wine's own list of installed programs reads the entry as the control
    panel does, from either root: "key|||DisplayName" a line. Its session's
    wineboot carries out what waits for the next start: check that first."""
    listed = subprocess.run([os.environ["VM_E2E_WINE"], "uninstaller", "--list"], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, timeout=120).stdout.decode(errors="replace").splitlines()
    if "Velk Modular|||Velk Modular" not in (line.strip() for line in listed):
        failures.append(f"wine uninstaller --list does not list Velk Modular: {listed}")


def check_shortcuts(folder, components, failures):
    menu = start_menu_folder()
    if menu is None:
        failures.append("no Start Menu folder Velk Modular")
        return
    wanted = [(link, target) for link, target, program in SHORTCUTS if 0 in components or not program]
    if sorted(os.listdir(menu)) != sorted(link for link, _ in wanted):
        failures.append(f"the Start Menu folder holds {sorted(os.listdir(menu))}")
    for link, target in wanted:
        try:
            content = open(os.path.join(menu, link), "rb").read().lower()
        except OSError:
            continue
        if (folder + "\\" + target).lower().encode("cp1252") not in content:
            failures.append(f"{link} does not lead to {folder}\\{target}")


def check_driver(state, family, earlier, failures):
    names = DRIVER[family]
    registered = names["name"]
    path = host_path(SYSTEM + "\\" + (names["earlier"] if earlier else names["name"]))
    source = os.path.join(STAGE, str(names["entry"]), names["source"])
    if not os.path.isfile(path) or open(path, "rb").read() != open(source, "rb").read():
        failures.append(f"the system folder does not hold the new driver as {os.path.basename(path)}")
    if earlier:
        waiting = state["system"].get(SESSION_MANAGER, {}).get(PENDING, "") if family == "nt" else \
            "\n".join(read_text(os.path.join(DRIVE_C, "windows", "wininit.ini"))).lower()
        if names["earlier"] not in waiting.lower() or names["name"] not in waiting.lower():
            failures.append(f"{names['earlier']} is not scheduled to replace {names['name']}: {waiting}")
    if value(state, "system", PRODUCT, "VelkPipe") != reg_text(registered):
        failures.append(f"VelkPipe is {value(state, 'system', PRODUCT, 'VelkPipe')}")
    count = value(state, "system", SHARED, SYSTEM + "\\" + registered)
    if count is None or not count.startswith("dword:"):
        failures.append(f"the driver is not counted in SharedDLLs ({count})")
    if family == "nt":
        drivers32 = state["system"].get(machine_key(DRIVERS32).lower(), {})
        if reg_text(registered) not in drivers32.values():
            failures.append(f"Drivers32 does not name {registered}: {drivers32}")
        if value(state, "system", DESCRIPTIONS, registered) != reg_text("Velk Modular"):
            failures.append("drivers.desc does not describe the driver")
    else:
        lines = [line.lower() for line in read_text(os.path.join(DRIVE_C, "windows", "system.ini"))]
        if f"midivelkmodular={registered}" not in lines:
            failures.append(f"system.ini has no MIDIVelkModular={registered}")


def installed(name, folder, components_text, options):
    old, new = load(name)
    family = old["family"]
    components = {int(digit) for digit in components_text}
    failures = []
    expected = check_files(folder, components, family, failures)
    check_data_file(folder, expected, family, failures)
    if "files-only" in options:
        report(failures)
    last = next(({int(digit) for digit in option[5:]} for option in options if option.startswith("last=")), components)
    check_registry(new, folder, components, last, family, failures)
    check_shortcuts(folder, components, failures)
    if 3 in components:
        check_driver(new, family, "earlier-driver" in options, failures)
    check_program_list(failures)
    report(failures)


def unchanged(name, empty_folder):
    old, new = load(name)
    added = set(new["files"]) - set(old["files"])
    if empty_folder:
        folder = empty_folder[3:].replace("\\", "/").lower()
        if folder in added and not os.listdir(host_path(empty_folder)):
            added.remove(folder)
    failures = [f"left behind: C:/{path}" for path in sorted(added)]
    failures += [f"removed: C:/{path}" for path in sorted(set(old["files"]) - set(new["files"]))]
    for hive in ("system", "user"):
        for key, value_name, was, now in registry_changes(old[hive], new[hive]):
            failures.append(f"{hive}.reg [{key}] \"{value_name}\": {was} -> {now}")
    if new["system.ini"] != old["system.ini"]:
        failures.append("system.ini changed")
    report(failures)


def altered_copy(path):
    tree = os.environ["VM_E2E_TREE"]
    program = bytearray(open(os.path.join(tree, "setup.exe"), "rb").read())
    entry = open(os.path.join(tree, "payload", "105.entry"), "rb").read()
    at = program.find(entry)
    if at < 0 or program.find(entry, at + 1) >= 0:
        sys.exit("setup.exe does not hold payload entry 105 once, as it was packed")
    program[at + len(entry) // 2] ^= 0x20
    os.makedirs(os.path.dirname(host_path(path)), exist_ok=True)
    with open(host_path(path), "wb") as f:
        f.write(program)


def uninstall(name, folder, script):
    run_driver(script)
    old, new = load(name)
    report(removal_failures(old, new, folder))


def run_driver(script):
    result = subprocess.run([os.environ["VM_E2E_WINE"], "driver.exe", "Z:" + os.path.abspath(script)],
                            cwd=os.environ["VM_E2E_TREE"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            timeout=300)
    if result.returncode != 0:
        print(result.stdout.decode(errors="replace"))
        sys.exit(1)


def folder_digest(folder):
    """Every file below FOLDER (a Windows path): size, write time, SHA-1."""
    root = host_path(folder)
    digest = {}
    for where, _, names in os.walk(root):
        for name in names:
            path = os.path.join(where, name)
            with open(path, "rb") as f:
                content = f.read()
            digest[os.path.relpath(path, root)] = [len(content), int(os.stat(path).st_mtime),
                                                   hashlib.sha1(content).hexdigest()]
    return digest


def first_installation(name, folder, script):
    run_driver(script)
    save_snapshot(name, folder=folder_digest(folder))


def same_installation(name, folder):
    old, _ = load(name)
    now = folder_digest(folder)
    failures = [f"changed: {path}" for path in sorted(old["folder"]) if now.get(path) != old["folder"][path]]
    failures += [f"left behind: {path}" for path in sorted(set(now) - set(old["folder"]))]
    if failures:
        report(failures)
    unchanged(name, None)


def without_times(link):
    """A shell link's bytes with its times zeroed: the target's three in the
    header, and each level's own in the list of levels that leads to it
    (where the level repeats it too)."""
    data = bytearray(link)
    data[0x1C:0x34] = bytes(0x34 - 0x1C)
    if data[0x14] & 1:
        at = 0x4E
        end = at + int.from_bytes(data[0x4C:0x4E], "little")
        while at + 2 <= end:
            size = int.from_bytes(data[at:at + 2], "little")
            if size == 0:
                break
            item = data[at:at + size]
            # A folder's or file's level: its DOS date and time at offset 8.
            if size >= 12 and item[2] & 0x70 == 0x30 and item[8:12] != bytes(4):
                data[at:at + size] = item.replace(item[8:12], bytes(4))
            at += size
    return bytes(data)


def prefix_contents():
    """Every folder and file below drive_c with a digest of its bytes (a
    shell link's without its times); and the snapshot of the rest."""
    settle()
    state = snapshot()
    contents = {}
    for where, dirs, names in os.walk(DRIVE_C):
        for name in dirs:
            contents[os.path.relpath(os.path.join(where, name), DRIVE_C).lower()] = "folder"
        for name in names:
            path = os.path.join(where, name)
            data = open(path, "rb").read()
            if name.lower().endswith(".lnk") and len(data) >= 0x4E:
                data = without_times(data)
            contents[os.path.relpath(path, DRIVE_C).lower()] = hashlib.sha1(data).hexdigest()
    return contents, state


def run_steps(name, steps):
    script = os.path.join(STATE, name + "-steps.txt")
    with open(script, "w") as f:
        f.write("\n".join(steps) + "\n")
    run_driver(script)


def windows_path_of_host(path):
    return "Z:" + path.replace("/", "\\")


def unattended(name, folder, components):
    on_pages, on_pages_state = prefix_contents()
    restore_prefix(name)
    logs = {kind: os.path.join(STATE, f"{name}-{kind}.log") for kind in ("setup", "remove")}
    code = 3010 if "pipe" in components.split(",") else 0
    run_steps(name, ["timeout 300",
                     f"start setup.exe /S /LOG={windows_path_of_host(logs['setup'])} /COMPONENTS={components} /D={folder}",
                     f"exit {code}"])
    silent, silent_state = prefix_contents()
    failures = [f"{path}: {on_pages.get(path)} on the pages, {silent.get(path)} with /S"
                for path in sorted(set(on_pages) | set(silent))
                if on_pages.get(path) != silent.get(path) and not path.endswith(".log")]
    for hive in ("system", "user"):
        for key, value_name, was, now in registry_changes(on_pages_state[hive], silent_state[hive]):
            failures.append(f"{hive}.reg [{key}] \"{value_name}\": {was} on the pages, {now} with /S")
    if on_pages_state["system.ini"] != silent_state["system.ini"]:
        failures.append("system.ini differs")
    run_steps(name, [f'start "{folder}\\_vmunins.exe" /S /LOG={windows_path_of_host(logs["remove"])}', "exit 0"])
    old, new = load(name)
    failures += removal_failures(old, new, folder)
    for kind, last in (("setup", f"Exit code {code}"), ("remove", "Exit code 0")):
        lines = read_text(logs[kind])
        if not lines or lines[-1] != last:
            failures.append(f"the {kind} log ends with {lines[-1:]}, not {last}")
    report(failures)


def main():
    command, args = sys.argv[1], sys.argv[2:]
    if command == "before":
        before(args[0], args[1])
    elif command == "installed":
        installed(args[0], args[1], args[2], args[3:])
    elif command == "unchanged":
        unchanged(args[0], args[1] if len(args) > 1 else None)
    elif command == "first-installation":
        first_installation(args[0], args[1], args[2])
    elif command == "same-installation":
        same_installation(args[0], args[1])
    elif command == "altered-copy":
        altered_copy(args[0])
    elif command == "uninstall":
        uninstall(args[0], args[1], args[2])
    elif command == "keep":
        keep_prefix(args[0])
    elif command == "unattended":
        unattended(args[0], args[1], args[2])
    else:
        sys.exit(f"unknown command {command}")


main()
