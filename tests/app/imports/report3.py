"""Writes an edition 3 log (report3.dbf) with python3-dbf, in code page 437.

  report3.py PATH             rows: accented names, a deleted row, a blank date, 29 February.
  report3.py PATH centuries   rows dated on both sides of a two-digit year's pivot.
  report3.py PATH lacking     the layout without rdate and zip, one row.
"""
import datetime
import sys

import dbf

FIELDS = ("sentname0 C(30); sentname1 C(30); sentname2 C(30); sentname3 C(30); city C(35); state C(4); "
          "zip C(10); rdate D; mailernum C(25); postage C(15); certified C(15); restricted C(15); "
          "return C(15); total C(15); comments C(35); re C(25)")

ROWS = [
    ("José Muñoz", "Straße 5", "", "", "Köln", "NRW", "50667", datetime.date(2024, 2, 29),
     "9207112345678900000012", "4.10", "3.50", "", "2.20", "9.80", "Ça va, Zoë", "Invoice 7"),
    ("Deleted Dora", "", "", "", "Denver", "CO", "80202", datetime.date(2023, 12, 31),
     "94071112062012345678", "1.00", "", "", "", "1.00", "", ""),
    ("No Date", "", "", "", "Austin", "TX", "73301", None,
     "12345", "", "", "", "", "", "", ""),
    ("Plain", "", "", "", "Boston", "MA", "02101", datetime.date(1999, 12, 31),
     "  9407 1112 0620 1234 5678 ", "0.50", "", "", "", "0.50", "last", "re"),
]


def dated(day):
    return ("Dated", "", "", "", "Boston", "MA", "02101", day, "1", "", "", "", "", "", "", "")


CENTURIES = [dated(datetime.date(1950, 6, 1)), dated(datetime.date(1899, 12, 31)),
             dated(datetime.date(2071, 7, 4)), dated(datetime.date(2024, 2, 29))]


def main():
    mode = sys.argv[2] if len(sys.argv) > 2 else ""
    fields, rows = FIELDS, ROWS
    if mode == "centuries":
        rows = CENTURIES
    elif mode == "lacking":
        fields = FIELDS.replace(" rdate D;", "").replace(" zip C(10);", "")
        rows = [("Lacking", "", "", "", "Boston", "MA", "1", "", "", "", "", "", "", "")]
    table = dbf.Table(sys.argv[1], fields, dbf_type="db3", codepage="cp437")
    table.open(dbf.READ_WRITE)
    for row in rows:
        table.append(row)
    if not mode:
        dbf.delete(table[1])
    table.close()


if __name__ == "__main__":
    main()
