"""Outside dBase tools on one test table, as normalised text lines.

  dbf_tools.py read TOOL PATH CODEPAGE   prints one line per record the tool shows:
      deleted|NAME|AMOUNT|RATE|COUNT|BIG|BORN|OK
  deleted is 1 or 0, or - when the tool leaves deleted records out; numbers are
  plain decimals ("" when blank); BORN is YYYYMMDD, or ??YYMMDD where the tool
  writes two-digit years; OK is T, F or "".
  dbf_tools.py write TOOL PATH CODEPAGE  writes the rows of ROWS with the tool.
  dbf_tools.py rows                      prints ROWS as read lines.

TOOL: dbfread, dbf (python3-dbf), dbfdump (shapelib), pgdbf, xbase (Perl),
libreoffice; writers: dbf, xbase, shapelib.
"""
import csv
import io
import os
import shutil
import subprocess
import sys
import tempfile
from decimal import Decimal

# name, amount N(12,2), rate F(10,4), count N(5,0), big N(19,0), born, ok, deleted
ROWS = [
    ("Müller ß", "1234.56", "0.5", "42", "1152921504606846976", "20240307", "T", False),
    ("Zoë Ça va", "-0.25", "-1.2345", "-7", "-5", "", "F", True),
    ("«Ñandú» £", "99999999.99", "12345.6789", "99999", "-288230376151711744", "19991231", "T", False),
    ("plain", "0", "0", "0", "0", "19000228", "F", False),
]
FIELDS = ["NAME", "AMOUNT", "RATE", "COUNT", "BIG", "BORN", "OK"]


def num(text):
    text = (text or "").strip()
    if text in ("", "\\N"):
        return ""
    d = Decimal(text)
    if d == 0:
        return "0"
    s = format(d.normalize(), "f")
    return s


def logical(value):
    if value is None or value == "":
        return ""
    if isinstance(value, bool):
        return "T" if value else "F"
    v = str(value).strip().upper()
    if v in ("T", "Y", "TRUE", "1", "t"):
        return "T"
    if v in ("F", "N", "FALSE", "0", "f"):
        return "F"
    return ""


def line(deleted, values):
    return "|".join([deleted] + [str(v) for v in values])


def date_of(value):
    if value is None or value == "":
        return ""
    if hasattr(value, "strftime"):
        return "%04d%02d%02d" % (value.year, value.month, value.day)
    return str(value).strip()


def read_dbfread(path, cp):
    from dbfread import DBF
    table = DBF(path, encoding=cp, ignore_missing_memofile=True, char_decode_errors="strict")
    out = []
    for deleted, records in (("0", table.records), ("1", table.deleted)):
        for r in records:
            out.append(line(deleted, [r["NAME"].rstrip(), num(str(r["AMOUNT"]) if r["AMOUNT"] is not None else ""),
                                      num(str(r["RATE"]) if r["RATE"] is not None else ""),
                                      num(str(r["COUNT"]) if r["COUNT"] is not None else ""),
                                      num(str(r["BIG"]) if r["BIG"] is not None else ""), date_of(r["BORN"]),
                                      logical(r["OK"])]))
    return out


def read_dbf(path, cp):
    import dbf
    table = dbf.Table(path, codepage=cp)
    table.open(dbf.READ_ONLY)
    out = []
    for r in table:
        vals = [r.name.rstrip()]
        for f in ("amount", "rate", "count", "big"):
            v = r[f]
            vals.append(num(str(v)) if v is not None else "")
        vals.append(date_of(r.born) if r.born else "")
        vals.append(logical(r.ok))
        out.append(line("1" if dbf.is_deleted(r) else "0", vals))
    table.close()
    return out


def read_dbfdump(path, cp):
    raw = subprocess.run(["dbfdump", "-m", "-r", path], check=True, capture_output=True).stdout
    out = []
    record = None
    deleted = "0"
    for text in raw.split(b"\n"):
        if text.startswith(b"Record:"):
            if record is not None:
                out.append((record, deleted))
            record = {}
            deleted = "0"
        elif text.startswith(b"(DELETED)"):
            deleted = "1"
        elif b": " in text and record is not None:
            key, value = text.split(b": ", 1)
            record[key.decode()] = value.decode(cp)
    if record is not None:
        out.append((record, deleted))
    # "(DELETED)" follows the fields of the record it marks.
    lines = []
    for r, d in out:
        lines.append(line(d, [r["NAME"].rstrip(), num(r["AMOUNT"]), num(r["RATE"]), num(r["COUNT"]), num(r["BIG"]),
                              r["BORN"].strip(), logical(r["OK"])]))
    return lines


def read_pgdbf(path, cp):
    memo = [os.path.splitext(path)[0] + ext for ext in (".dbt", ".DBT")]
    memo = [m for m in memo if os.path.exists(m)]
    args = ["pgdbf", "-s", cp] + (["-m", memo[0]] if memo else []) + [path]
    raw = subprocess.run(args, check=True, capture_output=True).stdout.decode("utf-8")
    out = []
    copying = False
    for text in raw.split("\n"):
        if text.startswith("\\COPY"):
            copying = True
            continue
        if text == "\\.":
            copying = False
        if not copying:
            continue
        cols = text.split("\t")
        born = cols[5].replace("-", "") if cols[5] != "\\N" else ""
        ok = {"t": "T", "f": "F"}.get(cols[6], "")
        out.append(line("-", [cols[0].rstrip(), num(cols[1]), num(cols[2]), num(cols[3]), num(cols[4]), born, ok]))
    return out


def read_xbase(path, cp):
    raw = subprocess.run(["dbf_dump", "--fs", "\x01", "--nomemo", path], check=True, capture_output=True).stdout
    out = []
    for text in raw.split(b"\n"):
        if not text:
            continue
        cols = text.decode(cp).split("\x01")
        born = cols[5].strip()
        out.append(line("-", [cols[0].rstrip(), num(cols[1]), num(cols[2]), num(cols[3]), num(cols[4]),
                              born.zfill(8) if born else "", logical(cols[6])]))
    return out


def read_libreoffice(path, cp):
    charset = {"cp437": "3", "cp850": "4"}[cp]
    with tempfile.TemporaryDirectory() as folder:
        profile = "file://" + os.path.join(folder, "profile")
        subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless", "--infilter=dBase:" + charset,
                        "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false",
                        "--outdir", folder, path], check=True, capture_output=True)
        name = os.path.join(folder, os.path.splitext(os.path.basename(path))[0] + ".csv")
        with open(name, encoding="utf-8") as f:
            rows = list(csv.reader(f))
    out = []
    for cols in rows[1:]:
        born = cols[5].strip()
        if born:
            m, d, y = born.split("/")
            born = "??%02d%02d%02d" % (int(y) % 100, int(m), int(d))
        # Spreadsheet cells are doubles: the 19-digit column keeps 15 significant digits.
        big = "~" + num(cols[4]) if cols[4].strip() else ""
        out.append(line("-", [cols[0].rstrip(), num(cols[1]), num(cols[2]), num(cols[3]), big, born,
                              logical(cols[6])]))
    return out


def write_dbf(path, cp):
    import dbf
    table = dbf.Table(path, "NAME C(20); AMOUNT N(12,2); RATE N(10,4); COUNT N(5,0); BIG N(19,0); BORN D; OK L",
                      codepage=cp, dbf_type="db3")
    table.open(dbf.READ_WRITE)
    for name, amount, rate, count, big, born, ok, deleted in ROWS:
        date = dbf.Date(int(born[:4]), int(born[4:6]), int(born[6:])) if born else None
        table.append((name, Decimal(amount), Decimal(rate), int(count), int(big), date, ok == "T"))
        if deleted:
            dbf.delete(table[-1])
    table.close()


def write_xbase(path, cp):
    script = r'''
use strict; use XBase;
my ($path, @rows) = @ARGV;
my $t = XBase->create("name" => $path,
    "field_names" => ["NAME","AMOUNT","RATE","COUNT","BIG","BORN","OK"],
    "field_types" => ["C","N","F","N","N","D","L"],
    "field_lengths" => [20,12,10,5,19,8,1],
    "field_decimals" => [undef,2,4,0,0,undef,undef]) or die XBase->errstr;
my $n = 0;
for my $row (@rows) {
    my @v = split /\x01/, $row, -1;
    my $del = pop @v;
    $t->set_record($n, @v) or die $t->errstr;
    $t->delete_record($n) if $del;
    $n++;
}
$t->close;
'''
    args = ["perl", "-e", script, path]
    for name, amount, rate, count, big, born, ok, deleted in ROWS:
        fields = [name.encode(cp), amount.encode(), rate.encode(), count.encode(), big.encode(), born.encode(),
                  b"1" if ok == "T" else b"0", b"1" if deleted else b""]
        args.append(b"\x01".join(fields))
    subprocess.run(args, check=True)


def write_shapelib(path, cp):
    subprocess.run(["dbfcreate", path, "-s", "NAME", "20", "-n", "AMOUNT", "12", "2", "-n", "RATE", "10", "4",
                    "-n", "COUNT", "5", "0", "-n", "BIG", "19", "0", "-s", "BORN", "8", "-s", "OK", "1"], check=True)
    for name, amount, rate, count, big, born, ok, deleted in ROWS:
        subprocess.run([b"dbfadd", path.encode(), name.encode(cp), amount.encode(), rate.encode(), count.encode(),
                        big.encode(), born.encode(), ok.encode()], check=True)


def main():
    if sys.argv[1] == "rows":
        for name, amount, rate, count, big, born, ok, deleted in ROWS:
            text = line("1" if deleted else "0", [name, num(amount), num(rate), num(count), num(big), born, ok])
            sys.stdout.buffer.write((text + "\n").encode("utf-8"))
        return
    mode, tool, path, cp = sys.argv[1:5]
    if mode == "read":
        for text in globals()["read_" + tool](path, cp):
            sys.stdout.buffer.write((text + "\n").encode("utf-8"))
    else:
        globals()["write_" + tool](path, cp)


if __name__ == "__main__":
    main()
