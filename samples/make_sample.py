#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the demo firmware files of this folder.

demo-AlaR.HXF is for a unit with 64-byte pages (124 pages, 7936 bytes of code flash, 512 bytes of
EEPROM); demo-BmaS.HXF for one with 128-byte pages (126 pages, 16128 bytes). Their code is made-up
but shaped like a small 8-bit controller's program (little-endian 16-bit instruction words: a
vector table of relative jumps, routines of loads, port writes, calls and branches ending in a
return, a text table), their EEPROM a settings block, a sensor curve and a serial number. They run
nothing; they give the utility and the simulated unit a realistic file to move.

The output is the same on every run and every Python version: the pseudo-random numbers come from
a fixed xorshift generator, not from the random module.

Usage: make_sample.py [OUTPUT_FOLDER]   (default: the folder of this script)
"""

import os
import sys

RECORD_BYTES = 16


class XorShift:
    """xorshift32: small, fixed, and the same everywhere."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF or 1

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x

    def below(self, n):
        return self.next() % n


def word_bytes(word):
    return [word & 0xFF, (word >> 8) & 0xFF]


def rjmp(from_word, to_word):
    return 0xC000 | ((to_word - from_word - 1) & 0x0FFF)


def rcall(from_word, to_word):
    return 0xD000 | ((to_word - from_word - 1) & 0x0FFF)


def instruction(rng, at_word, routines):
    """One made-up instruction word (or two) at word address at_word."""
    kind = rng.below(100)
    d = 16 + rng.below(16)
    r = rng.below(32)
    if kind < 22:  # LDI Rd,K
        k = rng.below(256)
        return [0xE000 | ((k & 0xF0) << 4) | ((d - 16) << 4) | (k & 0x0F)]
    if kind < 34:  # OUT A,Rr
        a = rng.below(64)
        return [0xB800 | ((a & 0x30) << 5) | (r << 4) | (a & 0x0F)]
    if kind < 42:  # IN Rd,A
        a = rng.below(64)
        return [0xB000 | ((a & 0x30) << 5) | (d << 4) | (a & 0x0F)]
    if kind < 52:  # MOV / ADD Rd,Rr
        op = 0x2C00 if rng.below(2) else 0x0C00
        return [op | ((r & 0x10) << 5) | (d << 4) | (r & 0x0F)]
    if kind < 60 and routines:  # RCALL to an earlier routine
        return [rcall(at_word, routines[rng.below(len(routines))])]
    if kind < 68:  # BRNE a few words back or ahead
        k = (rng.below(32) - 16) & 0x7F
        return [0xF401 | (k << 3)]
    if kind < 76:  # SBI / CBI A,b
        return [(0x9A00 if rng.below(2) else 0x9800) | (rng.below(32) << 3) | rng.below(8)]
    if kind < 84:  # LDS / STS Rd,k: two words
        op = 0x9200 if rng.below(2) else 0x9000
        return [op | (d << 4), 0x0060 + rng.below(0x400)]
    if kind < 92:  # PUSH / POP
        return [(0x920F if rng.below(2) else 0x900F) | (d << 4)]
    return [0x0000]  # NOP


def make_code(size, vectors, seed, banner):
    """Code bytes for a program of `size` bytes with `vectors` interrupt vectors."""
    rng = XorShift(seed)
    text = []
    for s in banner:
        text += list(s.encode("ascii")) + [0]
    text_words = (len(text) + 1) // 2
    code_words = size // 2 - text_words
    words = [0] * vectors
    reset = vectors  # the reset routine follows the vector table
    routines = []
    while len(words) < code_words:
        if len(words) == reset or rng.below(18) == 0:
            routines.append(len(words))
        for w in instruction(rng, len(words), routines[:-1]):
            words.append(w)
        if rng.below(14) == 0:
            words.append(0x9508)  # RET
    words = words[:code_words - 1] + [0x9518]  # RETI closes the last routine
    for v in range(vectors):
        target = reset if v == 0 else routines[(v * 7) % len(routines)]
        words[v] = rjmp(v, target)
    data = []
    for w in words:
        data += word_bytes(w)
    data += text
    if len(data) % 2:
        data.append(0xFF)
    return data[:size]


def make_eeprom(size, seed, serial):
    """EEPROM bytes: a settings block, a 16-bit sensor curve and a serial number, 0xFF after."""
    rng = XorShift(seed)
    data = [0xA5, 0x01, 0x00, 0x24, 0x03, 0xE8, 0x00, 0x64, 0x01, 0xF4, 0x0A, 0x00, 0x00, 0x00,
            0x5A, 0x5A]
    value = 0x0200
    for _ in range(96):  # the curve rises smoothly with a little noise
        value = min(0xFFFF, value + 40 + rng.below(24))
        data += [value >> 8, value & 0xFF]
    data += list(serial.encode("ascii")) + [0]
    data += [0xFF] * (size - len(data))
    return data[:size]


def record(kind, address, data, rtype=0):
    fields = [len(data), address >> 8, address & 0xFF, rtype] + list(data)
    checksum = (-sum(fields)) & 0xFF
    return kind + ":" + "".join("%02X" % b for b in fields) + "%02X" % checksum


def records(kind, data):
    return [record(kind, a, data[a:a + RECORD_BYTES]) for a in range(0, len(data), RECORD_BYTES)]


def write_file(path, comments, code, eeprom):
    lines = ["! " + c for c in comments] + records("C", code) + records("E", eeprom)
    with open(path, "w", newline="") as out:
        out.write("".join(line + "\r\n" for line in lines))


SAMPLES = [
    {
        "file": "demo-AlaR.HXF",
        "unit": "AlaR",
        "page": 64,
        "pages": 124,
        "code": 7424,  # 116 of the 124 pages
        "vectors": 19,
        "ee": 512,
        "seed": 0x0A1A,
    },
    {
        "file": "demo-BmaS.HXF",
        "unit": "BmaS",
        "page": 128,
        "pages": 126,
        "code": 15104,  # 118 of the 126 pages
        "vectors": 26,
        "ee": 512,
        "seed": 0x0B3A,
    },
]


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for s in SAMPLES:
        flash = s["page"] * s["pages"]
        comments = [
            "Ondo %s firmware, demo release 0025 (made-up code, not for a real unit)" % s["unit"],
            "Date: 2024-03-18",
            "Target: %s, %d pages of %d bytes (%d bytes code flash), EEPROM %d bytes"
            % (s["unit"], s["pages"], s["page"], flash, s["ee"]),
            "Code: %d bytes from 0000, EEPROM: %d bytes from 0000" % (s["code"], s["ee"]),
            "Written by samples/make_sample.py",
        ]
        banner = ["Ondo %s" % s["unit"], "V 0025", "(c) demo"]
        code = make_code(s["code"], s["vectors"], s["seed"], banner)
        eeprom = make_eeprom(s["ee"], s["seed"] + 1, "DEMO-%s-000123" % s["unit"])
        write_file(os.path.join(out_dir, s["file"]), comments, code, eeprom)


if __name__ == "__main__":
    main()
