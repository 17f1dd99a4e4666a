#!/usr/bin/env python3
"""Writes the stored translation table from translations.tsv.

Layout (unsigned 32-bit little-endian counts of UTF-16 code units, UTF-16LE texts without
terminator): the window-text list, the number of languages, then per language its name and its
block of key=value lines. Every line ends in CR LF, and each list is sorted by UTF-16 code units
over the whole line. Two languages: the identity language "\u00f1\u00f1" and "es".
"""
import struct
import sys


def utf16(text):
    return text.encode("utf-16-le")


def sorted_by_code_units(lines):
    return sorted(lines, key=lambda line: [unit for (unit,) in struct.iter_unpack("<H", utf16(line))])


def block(lines):
    data = utf16("".join(line + "\r\n" for line in sorted_by_code_units(lines)))
    return struct.pack("<I", len(data) // 2) + data


def text(value):
    data = utf16(value)
    return struct.pack("<I", len(data) // 2) + data


def main(source, output):
    rows = []
    with open(source, encoding="utf-8") as f:
        for raw in f:
            raw = raw.rstrip("\n")
            if not raw or raw.startswith("#"):
                continue
            key, spanish, where = raw.split("\t")
            if where not in ("window", "code"):
                sys.exit("%s: unknown use %r for %r" % (source, where, key))
            rows.append((key, spanish, where))
    table = block([key for key, _, where in rows if where == "window"])
    table += struct.pack("<I", 2)
    table += text("\u00f1\u00f1") + block(["%s=%s" % (key, key) for key, _, _ in rows])
    table += text("es") + block(["%s=%s" % (key, spanish) for key, spanish, _ in rows])
    with open(output, "wb") as f:
        f.write(table)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: make_table.py translations.tsv table.bin")
    main(sys.argv[1], sys.argv[2])
