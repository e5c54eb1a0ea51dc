"""For each 8-bit page the engine uses, one line per byte:
"page byte codepoint" (codepoint -1 where Python's codec leaves the byte undefined),
then for the ANSI pages "upper byte", "lower byte" and "alpha" flags, and for each
OEM page the byte its character has in the matching ANSI page (63 '?' when none)."""
import sys

ansi = {"cp1252": None, "cp1251": None}
oem_pairs = {"cp437": "cp1252", "cp850": "cp1252", "cp866": "cp1251"}
out = sys.stdout


def char_of(page, b):
    try:
        return bytes([b]).decode(page)
    except UnicodeDecodeError:
        return None


def byte_of(page, ch):
    try:
        data = ch.encode(page)
    except UnicodeEncodeError:
        return None
    return data[0] if len(data) == 1 else None


for page in ["cp1252", "cp1251", "cp437", "cp850", "cp866"]:
    for b in range(256):
        ch = char_of(page, b)
        out.write("map %s %d %d\n" % (page, b, ord(ch) if ch is not None else -1))

for page in ansi:
    for b in range(256):
        ch = char_of(page, b)
        up = low = b
        alpha = 0
        if ch is not None:
            u = ch.upper()
            l = ch.lower()
            if len(u) == 1 and byte_of(page, u) is not None:
                up = byte_of(page, u)
            if len(l) == 1 and byte_of(page, l) is not None:
                low = byte_of(page, l)
            alpha = 1 if ch.isalpha() else 0
        out.write("case %s %d %d %d %d\n" % (page, b, up, low, alpha))

for oem, an in oem_pairs.items():
    for b in range(256):
        ch = char_of(oem, b)
        to_ansi = byte_of(an, ch) if ch is not None else None
        out.write("oem2ansi %s %d %d\n" % (oem, b, to_ansi if to_ansi is not None else 63))
        ach = char_of(an, b)
        to_oem = byte_of(oem, ach) if ach is not None else None
        out.write("ansi2oem %s %d %d\n" % (oem, b, to_oem if to_oem is not None else 63))
