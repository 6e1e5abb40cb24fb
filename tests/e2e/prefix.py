"""What the end-to-end scenarios read from a Wine prefix: its files under
drive_c, its registry as Wine saves it, system.ini and wininit.ini, what waits
for the next start of Windows, and snapshots of all that to compare.

Runs with the Wine environment of tests/e2e/run.sh (WINEPREFIX, VM_E2E_WINE,
VM_E2E_STATE, VM_E2E_WOW64).
"""
import json
import os
import subprocess
import sys

PREFIX = os.environ["WINEPREFIX"]
DRIVE_C = os.path.join(PREFIX, "drive_c")
STATE = os.environ.get("VM_E2E_STATE", "")

# Keys that Wine rewrites on every start of a session, whatever the
# programs do (devices, fonts, display drivers), and the console settings
# its console host writes the first time a console program (reg.exe, the
# checks' own) runs in the prefix.
NOISE = (
    "console",
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

# The 32-bit programs in a 64-bit prefix (WoW64): their system folder is
# syswow64 on disk, and the machine's Software keys they write land in
# Wow6432Node, but for the keys that Wine shares between both views.
WOW64 = os.environ.get("VM_E2E_WOW64") == "1"
WOW64_SHARED = ("software\\microsoft\\windows\\currentversion\\app paths",)


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


def machine_key(key):
    """A key below HKLM as the programs name it, as the prefix stores it."""
    lower = key.lower()
    if WOW64 and lower.startswith("software\\") and not any(lower.startswith(shared) for shared in WOW64_SHARED):
        return "Software\\Wow6432Node" + key[len("software"):]
    return key


def host_path(windows_path):
    """A C: path as a path below drive_c, matched without regard to case, and
    under WoW64 redirected from system32 to syswow64 as the programs' are."""
    assert windows_path[:3].upper() == "C:\\", windows_path
    system = "c:\\windows\\system32"
    if WOW64 and windows_path.lower().startswith(system) and windows_path[len(system):][:1] in ("", "\\"):
        windows_path = "C:\\windows\\syswow64" + windows_path[len(system):]
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


def set_family(family, programs):
    """Makes the programs see Windows 98 (9x) or Wine's default NT."""
    # On 9x the uninstaller's copy runs as ~vmun000.exe in a fresh prefix,
    # and Wine gives each program the version set for its name.
    if "_vmunins.exe" in programs:
        programs = tuple(programs) + ("~vmun000.exe",)
    for program in programs:
        key = "HKCU\\Software\\Wine\\AppDefaults\\" + program
        if family == "9x":
            wine("reg", "add", key, "/v", "Version", "/d", "win98", "/f")
        else:
            subprocess.run([os.environ["VM_E2E_WINE"], "reg", "delete", key, "/f"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)


def save_snapshot(name, **extra_fields):
    settle()
    state = snapshot()
    state.update(extra_fields)
    with open(os.path.join(STATE, name + ".json"), "w") as f:
        json.dump(state, f)


def copy_prefix(source, destination):
    """DESTINATION becomes a copy of the prefix SOURCE, made as
    renew_wine_prefix makes one: hard links, since Wine replaces its registry
    files as a whole and the programs only add files, but for the .ini files
    that profile writes change in place, which are copied for real."""
    subprocess.run(["rm", "-rf", destination], check=True)
    subprocess.run(["cp", "-al", source, destination], check=True)
    for folder, _, names in os.walk(destination):
        for file_name in names:
            if file_name.lower().endswith((".ini", ".reg")):
                path = os.path.join(folder, file_name)
                subprocess.run(["cp", "--remove-destination", os.path.join(source, os.path.relpath(path, destination)),
                                path], check=True)


def keep_prefix(name):
    """Keeps the prefix as it is now as NAME, to start again from later."""
    settle()
    copy_prefix(PREFIX, os.path.join(STATE, name + ".prefix"))


def restore_prefix(name):
    """Puts the prefix kept as NAME back in place of the current one, once."""
    subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
    settle()
    kept = os.path.join(STATE, name + ".prefix")
    copy_prefix(kept, PREFIX)
    subprocess.run(["rm", "-rf", kept], check=True)


def load(name):
    """The snapshot NAME and the prefix as it is now."""
    settle()
    with open(os.path.join(STATE, name + ".json")) as f:
        return json.load(f), snapshot()


def removal_failures(old, new, folder, in_use=(), gone=lambda path: False, left=()):
    """After an installation into FOLDER and its removal: what differs from the
    snapshot OLD, but for what waits for the next start of Windows, which must
    be the uninstaller's copy (on NT with its folder), and
    the files IN_USE (Windows paths) with the folders that hold them, up to
    FOLDER. Paths below drive C: (as snapshots list them) that GONE accepts
    may be gone; those in LEFT may have been added."""
    failures = []
    family = old["family"]
    waiting = scheduled_deletions(family, new)
    expected = set()
    for path in in_use:
        while path.lower() != folder.lower():
            expected.add(path.lower())
            path = path[:path.rindex("\\")]
        expected.add(folder.lower())
    copies = [path for path in waiting if "\\~vmun" in path]
    # On NT the copy has a folder of its own; on 9x, whose restart deletes no
    # folder, it is a file in the temporary folder.
    if len(copies) != (2 if family == "nt" else 1):
        failures.append(f"the uninstaller's copy (and on NT its folder) should wait for the next start, not {copies}")
    if set(waiting) - set(copies) != expected:
        failures.append(f"waiting for the next start: {sorted(set(waiting) - set(copies))}, "
                        f"expected {sorted(expected)}")

    added = sorted(set(new["files"]) - set(old["files"]))
    removed = sorted(set(old["files"]) - set(new["files"]))
    for path in added:
        if (family == "9x" and path == "windows/wininit.ini") or path in left:
            continue
        if "c:\\" + path.replace("/", "\\") not in waiting:
            failures.append(f"left behind and not scheduled: C:/{path}")
    for path in removed:
        if gone(path):
            continue
        failures.append(f"removed, though it was there before the installation: C:/{path}")

    for hive in ("system", "user"):
        for key, value, was, now in registry_changes(old[hive], new[hive]):
            if hive == "system" and key == SESSION_MANAGER and value == PENDING and family == "nt":
                continue
            failures.append(f"{hive}.reg [{key}] \"{value}\": {was} -> {now}")
    if new["system.ini"] != old["system.ini"]:
        failures.append(f"system.ini was {old['system.ini']}, is {new['system.ini']}")
    return failures


def value(state, hive, key, name):
    if hive == "system":
        key = machine_key(key)
    return state[hive].get(key.lower(), {}).get(name.lower())


def report(failures):
    for failure in failures[:40]:
        print(failure)
    sys.exit(1 if failures else 0)
