#!/usr/bin/env python3
"""Writes the sample product under payload/<id>/, one folder per payload entry.

The content stands in for the real product: module definitions, tunings,
presets, wavetables, skins, example ensembles, help, the pipe driver files and
the support files, with believable sizes (a few MB in all). Everything is made
from a fixed seed, so running the script again gives the same bytes. The
programs of the product (vm.exe in entry 100 and _vmunins.exe in entry 1000)
are not written here: the build makes them and adds them when it packs.

Usage: tools/make_sample_payload.py [PAYLOAD_DIR]
"""
import math
import os
import random
import shutil
import struct
import sys

PRODUCT = "Velk Modular"
VERSION = "2.08.004"
DRIVER_MARKER = b"Velk Modular MIDI pipe driver"
# The Directory page keeps the target folder short enough for the longest
# stored name; the sample's longest name is exactly this long.
LONGEST_NAME = 41

rng = random.Random(2084)


def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("cp1252")


def write(root, entry, name, data):
    path = os.path.join(root, str(entry), *name.split("\\"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


# ---- module definitions ---------------------------------------------------

PORT_KINDS = ["audio", "control", "gate", "pitch"]
MODULE_WORDS = ["Gain", "Mix", "Rate", "Depth", "Offset", "Tune", "Fine", "Shape", "Width",
                "Cutoff", "Resonance", "Drive", "Attack", "Decay", "Sustain", "Release",
                "Phase", "Feedback", "Spread", "Balance", "Level", "Slope", "Bias"]


def module_text(category, name, library):
    lines = [f"; {PRODUCT} module definition",
             f"; {category} / {name}",
             "",
             "[Module]",
             f"Name={name}",
             f"Category={category}",
             f"Library={'Library' if library else 'Standard'}",
             f"Version={rng.randint(1, 4)}.{rng.randint(0, 9)}",
             f"Voices={rng.choice([1, 2, 4, 8, 16])}",
             ""]
    for section, count in (("Inputs", rng.randint(1, 6)), ("Outputs", rng.randint(1, 4))):
        lines.append(f"[{section}]")
        for i in range(count):
            lines.append(f"Port{i}={rng.choice(PORT_KINDS)},{rng.choice(MODULE_WORDS)} {i + 1}")
        lines.append("")
    lines.append("[Parameters]")
    for i in range(rng.randint(4, 18)):
        word = rng.choice(MODULE_WORDS)
        low = rng.choice([0, -1, -24, -100])
        high = rng.choice([1, 24, 100, 127, 1000])
        default = round(rng.uniform(low, high), 3)
        lines.append(f"P{i}={word},{low},{high},{default},{rng.choice(['lin', 'log', 'exp'])}")
    lines.append("")
    lines.append("[Code]")
    # A small stack program, as the synthesizer's module compiler writes it.
    ops = ["load", "store", "mul", "add", "sub", "tanh", "clip", "delay", "lerp", "phase",
           "table", "noise", "cmp", "sel"]
    for i in range(rng.randint(40, 260)):
        op = rng.choice(ops)
        lines.append(f"{i:04d} {op} r{rng.randint(0, 15)}, r{rng.randint(0, 15)}, {rng.randint(0, 255)}")
    lines.append("")
    return crlf("\n".join(lines))


STANDARD_MODULES = {
    "Osc": ["Saw Oscillator", "Pulse Oscillator", "Sine Oscillator", "Triangle Oscillator",
                    "Wavetable Oscillator", "Noise Source", "Sub Oscillator", "Supersaw"],
    "Filters": ["Lowpass 12dB", "Lowpass 24dB", "Highpass 12dB", "Bandpass", "Notch",
                "State Variable Filter", "Comb Filter", "Allpass"],
    "Env": ["ADSR", "AD Envelope", "Multistage Envelope", "Envelope Follower"],
    "Mod": ["LFO", "Sample and Hold", "Slew Limiter", "Random Walk", "Step Sequencer"],
    "Mix": ["Mixer 4", "Mixer 8", "Crossfader", "Stereo Panner", "VCA"],
    "FX": ["Delay", "Chorus", "Flanger", "Phaser", "Reverb", "Distortion", "Bitcrusher"],
    "MIDI": ["MIDI In", "MIDI Out", "MIDI Clock", "Note to Pitch", "Controller"],
    "Util": ["Constant", "Scope", "Meter", "Quantizer", "Logic", "Comparator", "Splitter"],
}

LIBRARY_MODULES = {
    "Filter": ["Ladder Filter", "Diode Ladder", "Formant Filter", "Vowel Filter", "Resonator Bank",
                "Morphing Filter", "Steiner Filter", "Sallen Key"],
    "Osc": ["FM Operator", "Phase Distortion", "Wavefolder", "Karplus Strong",
                    "Additive Oscillator", "Granular Source", "Vector Oscillator"],
    "Seq": ["Euclidean Sequencer", "Turing Machine", "Polyrhythm Clock", "Arpeggiator",
                   "Pattern Player", "Probability Gate"],
    "Dynamics": ["Compressor", "Limiter", "Expander", "Noise Gate", "Transient Shaper"],
    "Space": ["Stereo Widener", "Haas Delay", "Rotary Speaker", "Binaural Panner"],
    "Lab": ["Chaos Oscillator", "Logistic Map", "Lorenz Attractor", "Cellular Automaton",
                     "Feedback Network"],
    # "Modules\Filters\State Variable Filter.vmm" is the longest name of all.
    "Physical": ["Bowed Plate", "Struck Bar", "Blown Pipe"],
}


def make_modules(root):
    for category, names in STANDARD_MODULES.items():
        for name in names:
            write(root, 200, f"Modules\\{category}\\{name}.vmm", module_text(category, name, False))
    for category, names in LIBRARY_MODULES.items():
        for name in names:
            write(root, 300, f"Library\\{category}\\{name}.vmm", module_text(category, name, True))


# ---- tunings, presets, examples -------------------------------------------

def make_tunings(root):
    tunings = {
        "Equal Temperament": [100.0 * i for i in range(1, 13)],
        "Just Intonation": [1200 * math.log2(r) for r in
                            (16 / 15, 9 / 8, 6 / 5, 5 / 4, 4 / 3, 45 / 32, 3 / 2, 8 / 5, 5 / 3, 9 / 5, 15 / 8, 2)],
        "Pythagorean": sorted((1200 * math.log2((3 / 2) ** k / 2 ** math.floor(math.log2((3 / 2) ** k)))
                               for k in range(1, 12))) + [1200.0],
        "Werckmeister III": [90.225, 192.18, 294.135, 390.225, 498.045, 588.27, 696.09, 792.18, 888.27,
                             996.09, 1092.18, 1200.0],
        "Quarter Tone": [50.0 * i for i in range(1, 25)],
        "Bohlen Pierce": [1901.955 * i / 13 for i in range(1, 14)],
    }
    for name, cents in tunings.items():
        lines = [f"! {name}.tun", f"! {PRODUCT} tuning table", name, f" {len(cents)}", "!"]
        lines += [f" {c:.5f}" for c in cents]
        lines.append("")
        write(root, 102, f"Tunings\\{name}.tun", crlf("\n".join(lines)))


def patch_text(name, modules):
    lines = [f"; {PRODUCT} {VERSION} patch", "", "[Patch]", f"Name={name}", f"Modules={len(modules)}", ""]
    for i, module in enumerate(modules):
        lines.append(f"[Module{i}]")
        lines.append(f"Type={module}")
        lines.append(f"Position={rng.randint(0, 40) * 16},{rng.randint(0, 30) * 16}")
        for p in range(rng.randint(2, 10)):
            lines.append(f"P{p}={rng.uniform(0, 1):.4f}")
        lines.append("")
    lines.append("[Cables]")
    for c in range(len(modules) * 2):
        a, b = rng.randrange(len(modules)), rng.randrange(len(modules))
        lines.append(f"C{c}={a}.{rng.randint(0, 3)}>{b}.{rng.randint(0, 5)}")
    lines.append("")
    return crlf("\n".join(lines))


ALL_MODULES = [n for names in STANDARD_MODULES.values() for n in names]


def make_presets_and_examples(root):
    for name in ["Init", "Fat Bass", "Soft Pad", "Pluck", "Brass Stab", "Bell", "Sync Lead", "Strings",
                 "Drone", "Percussion Kit"]:
        write(root, 104, f"Presets\\{name}.vmp", patch_text(name, rng.sample(ALL_MODULES, rng.randint(4, 10))))
    examples = ["Analog Classics", "Berlin School Sequence", "Evolving Pad", "FM Piano", "Generative Ambient",
                "Granular Clouds", "Modular Drums", "Percussive Plucks", "Polyrhythms", "Resonant Sweeps",
                "Harmonic Morph", "Vocoder Choir", "West Coast Bongos", "Wobble Bass", "Tape Delay Dub",
                "Karplus Harp", "Chaos Garden", "Stereo Field", "Arpeggiator Study", "Filter Bank Tour"]
    for name in examples:
        modules = rng.sample(ALL_MODULES, rng.randint(8, 24))
        write(root, 500, f"Examples\\{name}.vme", patch_text(name, modules))


# ---- wavetables (real WAV files) -------------------------------------------

def wav_bytes(samples, rate=44100):
    data = b"".join(struct.pack("<h", max(-32768, min(32767, int(round(s * 32767))))) for s in samples)
    header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE"
    header += b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, rate, rate * 2, 2, 16)
    header += b"data" + struct.pack("<I", len(data))
    return header + data


def make_wavetables(root):
    size = 2048
    shapes = {
        "Sine": lambda x, f: math.sin(2 * math.pi * x),
        "Saw": lambda x, f: sum(math.sin(2 * math.pi * k * x) / k for k in range(1, 4 + f * 4)) * 0.55,
        "Square": lambda x, f: sum(math.sin(2 * math.pi * k * x) / k for k in range(1, 6 + f * 6, 2)) * 0.8,
        "Triangle": lambda x, f: (2 * abs(2 * ((x + 0.25) % 1.0) - 1) - 1) * (1 - 0.05 * f),
        "Pulse Sweep": lambda x, f: 0.8 if (x % 1.0) < 0.1 + 0.1 * f else -0.8,
        "Formant": lambda x, f: math.sin(2 * math.pi * x) * math.sin(2 * math.pi * (3 + f) * x),
        "Organ": lambda x, f: (math.sin(2 * math.pi * x) + 0.5 * math.sin(4 * math.pi * x)
                               + 0.25 * math.sin(8 * math.pi * x) * f / 8) * 0.55,
        "Digital Noise": lambda x, f: rng.uniform(-1, 1) * 0.5,
    }
    for name, shape in shapes.items():
        samples = []
        for frame in range(24):
            samples += [shape(i / size, frame) for i in range(size)]
        write(root, 105, f"Wavetables\\{name}.wav", wav_bytes(samples))


# ---- skins (16-colour bitmaps) -----------------------------------------------

def bmp_bytes(width, height, palette, pixel):
    row = ((width + 1) // 2 + 3) & ~3
    pixels = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray(row)
        for x in range(width):
            value = pixel(x, y) & 15
            line[x // 2] |= value << (4 if x % 2 == 0 else 0)
        pixels += line
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal)
    header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    return header + info + pal + bytes(pixels)


def make_skins(root):
    skins = {
        600: ("Default", [(i * 16, i * 12, 64 + i * 12) for i in range(16)]),
        601: ("Classic", [(min(255, 40 + i * 14), min(255, 30 + i * 13), 20 + i * 6) for i in range(16)]),
    }
    parts = {"Panel": (320, 240), "Knob": (48, 48 * 8), "Jack": (24, 24), "Button": (64, 24 * 2),
             "Slider": (24, 160), "Background": (256, 256), "Header": (640, 32), "Cable": (16, 128)}
    for entry, (skin, palette) in skins.items():
        for part, (w, h) in parts.items():
            seed = rng.randint(0, 1000)

            def pixel(x, y, w=w, h=h, seed=seed):
                # Bevelled shapes with a little texture, as skin artwork tends to be.
                edge = min(x, y, w - 1 - x, h - 1 - y)
                base = 8 + (edge < 2) * 6 - (edge < 1) * 10
                return base + ((x * 7 + y * 3 + seed) % 23 == 0) + ((x ^ y) & 16 == 16) * 2
            write(root, entry, f"Skins\\{skin}\\{part}.bmp", bmp_bytes(w, h, palette, pixel))
        write(root, entry, f"Skins\\{skin}\\Skin.ini",
              crlf(f"[Skin]\nName={skin}\nAuthor={PRODUCT} team\nVersion={VERSION}\n"
                   + "".join(f"{p}={p}.bmp\n" for p in parts)))


# ---- help, support files and drivers ---------------------------------------------

def help_text(title, sections):
    lines = [f"{PRODUCT} {VERSION}", title, "=" * len(title), ""]
    for heading in sections:
        lines += [heading, "-" * len(heading)]
        for _ in range(rng.randint(3, 8)):
            words = [rng.choice(MODULE_WORDS).lower() for _ in range(rng.randint(30, 90))]
            sentence = " ".join(words)
            lines.append(sentence[0].upper() + sentence[1:] + ".")
            lines.append("")
    return crlf("\n".join(lines))


def make_help(root):
    topics = ["Introduction", "Installing Modules", "The Patch Window", "Cables and Ports", "Polyphony",
              "MIDI Setup", "The Velk Pipe Driver", "Tunings", "Skins", "Keyboard Shortcuts", "Troubleshooting"]
    # A stand-in for the compiled help file: a header, a topic index and compressed-looking pages.
    body = bytearray(b"?_\x03\x00" + struct.pack("<I", 0x2F) + b"\x00" * 8)
    for i, topic in enumerate(topics):
        page = help_text(topic, [f"{topic} {k + 1}" for k in range(rng.randint(2, 5))])
        body += struct.pack("<HI", i, len(page)) + page
    write(root, 100, "vm.hlp", bytes(body))
    write(root, 100, "vm.cnt", crlf(":Base vm.hlp\n:Title " + PRODUCT + " Help\n"
                                     + "".join(f"1 {t}={t.replace(' ', '_')}\n" for t in topics)))
    write(root, 100, "Readme.txt", help_text(f"{PRODUCT} Read Me", ["What is new", "Known issues", "Contact"]))
    write(root, 101, "Help\\Getting Started.txt", help_text("Getting Started", ["First Patch", "Saving", "Playing"]))
    write(root, 101, "Help\\Module Reference.txt",
          help_text("Module Reference", [n for names in STANDARD_MODULES.values() for n in names]))
    write(root, 101, "Help\\Keyboard Shortcuts.txt", help_text("Keyboard Shortcuts", ["Editing", "Navigation"]))


def driver_bytes(bits):
    # A stand-in image with the marker once, where the real driver keeps its
    # version resource.
    head = b"MZ" + bytes(rng.randrange(256) for _ in range(1022))
    code = bytes(rng.randrange(256) for _ in range(6 * 1024 if bits == 16 else 18 * 1024))
    assert DRIVER_MARKER not in head + code
    info = b"\x00" * 16 + DRIVER_MARKER + b"\x00" + f"{VERSION} ({bits}-bit)".encode() + b"\x00" * 13
    return head + code + info


LICENSE = """VELK MODULAR 2.08.004 SOFTWARE LICENSE

Please read this license carefully before installing or using Velk Modular
("the Software"). By installing, copying or using the Software you agree to
be bound by the terms of this license. If you do not agree, do not install
the Software; choose "Decline" and the setup ends without changing anything.

1. GRANT OF LICENSE
You may install and use one copy of the Software on one computer at a time.
You may make one copy of the Software for backup purposes. The Velk Pipe MIDI
driver may be installed on the same computer as the Software and used by any
program on that computer.

2. YOUR PATCHES AND MODULES
Patches, ensembles and user modules that you create with the Software belong
to you. You may distribute them freely, alone or with your own works, as long
as you do not distribute the Software itself with them. Sounds and recordings
made with the Software are yours without restriction.

3. EXAMPLES, SKINS AND LIBRARY MODULES
The example ensembles, skins, wavetables and library modules that come with
the Software may be used in your own patches and recordings. You may not sell
or distribute them as a collection on their own.

4. RESTRICTIONS
You may not rent, lease or lend the Software. You may not reverse engineer,
decompile or disassemble the Software, except where the law expressly permits
it despite this limitation. You may transfer the Software to another person
once, together with this license, if you keep no copy.

5. COPYRIGHT
The Software is protected by copyright laws and international treaties. All
rights not expressly granted in this license are reserved by the authors of
the Software.

6. NO WARRANTY
The Software is provided "as is", without warranty of any kind, express or
implied, including but not limited to the warranties of merchantability,
fitness for a particular purpose and non-infringement. The entire risk as to
the quality and performance of the Software is with you. Synthesizers can
produce sounds of great loudness: protect your ears and your speakers.

7. LIMITATION OF LIABILITY
In no event shall the authors be liable for any damages whatsoever, including
without limitation damages for loss of business profits, business
interruption, loss of data or any other loss, arising out of the use of or
inability to use the Software, even if advised of the possibility of such
damages.

8. TERMINATION
This license ends automatically if you fail to comply with any of its terms.
You must then destroy all copies of the Software. To remove the Software from
your computer, use "Uninstall Velk Modular" in the Start Menu.

9. GENERAL
This license is the entire agreement between you and the authors concerning
the Software. If any part of it is held unenforceable, the rest remains in
force.

10. UPDATES AND SUPPORT
Updates of the Software, when they are published, are covered by this license
unless they come with a license of their own. Support is given by electronic
mail for one year from the date of purchase. Keep your proof of purchase.

11. EXPORT
You agree to comply with all export laws and regulations that apply to the
Software, and not to export it to any country where such export is forbidden.

12. YOUR DATA
The Software does not send any information about you or your computer to
anyone. The setup program stores the folder you install into in the system's
registry so that a later installation can offer it again, and the uninstaller
removes that entry together with the Software.

13. CONTACT
Questions about this license may be sent to the address given on the product's
home page, which the Start Menu folder "Velk Modular" links to.

Velk Modular and Velk Pipe are trademarks of their authors. Windows is a
trademark of its owner.
"""

URL_FILE = """[InternetShortcut]
URL=http://www.velkmodular.example/
"""


def make_support(root):
    write(root, 400, "_velkp16.drv", driver_bytes(16))
    write(root, 450, "_velkp32.dll", driver_bytes(32))
    write(root, 1001, "Velk Modular Home Page.url", crlf(URL_FILE))
    write(root, 1002, "Velk Modular License.txt", crlf(LICENSE))
    # Empty folders are kept in version control by a placeholder that the
    # packer leaves out: entry 103 is the folder "Work" alone, and entry 1000
    # receives the built uninstaller.
    write(root, 103, "Work\\.gitkeep", b"")
    write(root, 1000, ".gitkeep", b"")


def check(root):
    longest = 0
    for entry in os.listdir(root):
        base = os.path.join(root, entry)
        for folder, _, files in os.walk(base):
            for name in files:
                if name == ".gitkeep":
                    continue
                relative = os.path.relpath(os.path.join(folder, name), base)
                longest = max(longest, len(relative))
                assert os.path.getsize(os.path.join(folder, name)) > 0, relative
    # The build adds "vm.exe" and "_vmunins.exe", both shorter.
    assert longest == LONGEST_NAME, longest
    assert 3800 <= len(crlf(LICENSE)) <= 4400, len(crlf(LICENSE))


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "payload")
    for entry in ("100", "101", "102", "103", "104", "105", "200", "300", "400", "450", "500", "600", "601",
                  "1000", "1001", "1002"):
        shutil.rmtree(os.path.join(root, entry), ignore_errors=True)
    make_help(root)
    make_tunings(root)
    make_presets_and_examples(root)
    make_wavetables(root)
    make_modules(root)
    make_skins(root)
    make_support(root)
    check(root)


if __name__ == "__main__":
    main()
