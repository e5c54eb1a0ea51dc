"""The record orders of the index tests' tags, sorted here from the table as dbfread
reads it: one line per tag, "TAG|rec rec rec ...". Equal keys keep ascending record
numbers; a unique tag keeps the first record of each key.

  mdx_reference.py TABLE.dbf
"""
import sys
from decimal import Decimal

from dbfread import DBF

BLANK_DATE = 10 ** 100


def pad(text, width):
    return (text or "").ljust(width)[:width]


def date_number(value):
    return BLANK_DATE if value is None else value.toordinal() + 1721425


def ordered(rows, key, descending=False, unique=False, condition=None):
    chosen = [(key(r), n) for n, r in rows if condition is None or condition(r)]
    chosen.sort(key=lambda kn: kn[1])
    chosen.sort(key=lambda kn: kn[0], reverse=descending)
    if unique:
        seen, kept = set(), []
        for k, n in chosen:
            if k not in seen:
                seen.add(k)
                kept.append((k, n))
        chosen = kept
    return [n for _, n in chosen]


def main():
    table = DBF(sys.argv[1], encoding="cp437")
    rows = list(enumerate(table, start=1))
    tags = {
        "NAME": ordered(rows, lambda r: pad(r["NAME"], 12)),
        "AMOUNT": ordered(rows, lambda r: Decimal(str(r["AMOUNT"]))),
        "BORN": ordered(rows, lambda r: date_number(r["BORN"])),
        "NAMEDESC": ordered(rows, lambda r: pad(r["NAME"], 12).upper(), descending=True),
        "CITYONCE": ordered(rows, lambda r: pad(r["CITY"], 10), unique=True),
        "OKNAMES": ordered(rows, lambda r: pad(r["NAME"], 12) + pad(r["CITY"], 10),
                           condition=lambda r: r["OK"] and r["AMOUNT"] > 0),
        "AMTDESC": ordered(rows, lambda r: Decimal(str(r["AMOUNT"])), descending=True),
    }
    for name, records in tags.items():
        print(name + "|" + " ".join(str(n) for n in records))


main()
