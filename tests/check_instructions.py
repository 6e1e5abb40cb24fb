#!/usr/bin/env python3
"""The shipped 32-bit programs run on every processor from a 486 with a
floating-point unit on: none may hold an instruction that such a processor
lacks, the statically linked runtime's code included. CPUID is allowed only
inside processorFeatureFlags and processorHasCarrylessMultiply, which probe
for it first (through the compiler's __get_cpuid), and SSE only inside the checksum's folding, which runs only
where processorHasCarrylessMultiply answered yes.

Disassembles setup.exe, _vmunins.exe and vm.exe of the 32-bit tree, names
the function of every instruction found (from PROGRAM.debug, which keeps the
symbols the shipped program lost) and fails when there is one.

Usage: tests/check_instructions.py BUILD_DIR   (the folder holding win32/)
Exit code 77 (skipped) when the 32-bit tree has not been built.
"""
import bisect
import re
import subprocess
import sys

PROGRAMS = ["setup.exe", "_vmunins.exe", "vm.exe"]
OBJDUMP = "i686-w64-mingw32-objdump"
NM = "i686-w64-mingw32-nm"

# Mnemonics of the Pentium and later: conditional moves and the compares
# that set flags from the floating-point unit (Pentium Pro), the time stamp
# and performance counters, 8-byte compare-and-exchange, fast system calls,
# the long NOPs (0F 1F) and UD2 (Pentium Pro), cache control and fences, and
# anything of MMX, 3DNow! or SSE. CPUID is handled apart.
FORBIDDEN = re.compile(
    r"^(cmov\w+|fcmov\w+|f(u)?comip?|rdtscp?|rdpmc|cmpxchg(8|16)b|sys(enter|exit|call|ret)|nop[wl]|ud2|"
    r"prefetch\w*|[lsm]fence|clflush\w*|emms|femms|movnti|popcnt|lzcnt|tzcnt|movbe|crc32|fx(save|rstor)|"
    r"[ls]dmxcsr|xgetbv)$")
VECTOR_REGISTER = re.compile(r"%[xyz]?mm\d")
# __get_cpuid is the compiler's, which those two call: it tests the ID flag
# before CPUID, and the compiler may keep it apart from them.
PROBES = ("processorFeatureFlags", "processorHasCarrylessMultiply", "__get_cpuid(")
FOLDING = "(anonymous namespace)::crcUpdateFolded("


def symbols(debug_file):
    """Addresses and names of the functions, sorted, from the debug file."""
    output = subprocess.run([NM, "-n", "-C", debug_file], capture_output=True, text=True, check=True).stdout
    table = []
    for line in output.splitlines():
        match = re.match(r"^([0-9a-f]+) [Tt] (.*)$", line)
        if match:
            table.append((int(match.group(1), 16), match.group(2)))
    return table


def function_at(table, address):
    at = bisect.bisect_right([a for a, _ in table], address) - 1
    return table[at][1] if at >= 0 else "?"


def check(path):
    listing = subprocess.run([OBJDUMP, "-d", "--no-show-raw-insn", path], capture_output=True, text=True,
                             check=True).stdout
    table = symbols(path + ".debug")
    found = []
    for line in listing.splitlines():
        match = re.match(r"^\s*([0-9a-f]+):\t(\S+)\s*(.*)$", line)
        if not match:
            continue
        address, mnemonic, operands = int(match.group(1), 16), match.group(2), match.group(3)
        if mnemonic == "cpuid":
            if not function_at(table, address).startswith(PROBES):
                found.append((address, line.strip()))
        elif FORBIDDEN.match(mnemonic) or VECTOR_REGISTER.search(operands):
            if not function_at(table, address).startswith(FOLDING):
                found.append((address, line.strip()))
    return [(function_at(table, address), text) for address, text in found]


def main():
    build = sys.argv[1]
    failures = 0
    checked = 0
    for program in PROGRAMS:
        path = f"{build}/win32/{program}"
        try:
            found = check(path)
        except FileNotFoundError:
            print(f"not built: win32/{program}")
            continue
        except subprocess.CalledProcessError as error:
            print(f"FAIL win32/{program}: {error}")
            failures += 1
            continue
        checked += 1
        if found:
            failures += 1
            print(f"FAIL win32/{program}: {len(found)} instructions a 486 does not have")
            for function, text in found[:40]:
                print(f"  in {function}: {text}")
        else:
            print(f"ok   win32/{program}")
    if checked == 0 and failures == 0:
        print(f"skipped: no 32-bit build beside {build}")
        return 77
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
