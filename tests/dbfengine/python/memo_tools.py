"""Outside dBase tools on memo tables, as lines the engine's tests compare.

  memo_tools.py read TOOL PATH     one line per record and memo field:
      RECNO|FIELD|LENGTH|FNV-1a 64 of the memo's bytes (hex), empty memos as 0|-
  TOOL: dbfread, dbf (python3-dbf), xbase (Perl's XBase module).
  memo_tools.py write KIND PATH    writes a table with python3-dbf (KIND db3 or fp)
      whose memos follow memo_of(); prints the same lines for what it wrote.
  memo_tools.py rows PATH          python3-dbfread's view of a table of NAME and
      NOTES: one line per record, RECNO|NAME|NOTES, the memo's control characters
      and bytes past ASCII escaped.
"""
import subprocess
import sys


def digest(data):
    if not data:
        return "0|-"
    h = 1469598103934665603
    for b in data:
        h = ((h ^ b) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return "%d|%016x" % (len(data), h)


def memo_of(recno, field):
    # Sizes around a 512-byte block, text only (the dBase III layout ends at 0x1A).
    sizes = [0, 1, 503, 504, 505, 512, 70000, 3]
    size = sizes[(recno * 2 + field) % len(sizes)]
    alphabet = b"abcdefghij KLMNOPQRST \xe9\xe0\xfc\xdf 0123456789\r\n"
    return bytes(alphabet[(recno * 7 + field * 3 + i) % len(alphabet)] for i in range(size))


def read_dbfread(path):
    from dbfread import DBF
    table = DBF(path, encoding="latin-1", raw=False, load=True)
    memo_fields = [f.name for f in table.fields if f.type in ("M",)]
    out = []
    for recno, record in enumerate(table.records, start=1):
        for field in memo_fields:
            value = record[field] or ""
            data = value.encode("latin-1") if isinstance(value, str) else bytes(value)
            out.append("%d|%s|%s" % (recno, field, digest(data)))
    return out


def rows_dbfread(path):
    from dbfread import DBF
    table = DBF(path, encoding="latin-1", load=True)
    # dbfread takes a dBase IV memo's length for its data alone, so it reads the 8
    # bytes after the memo too: the zeros its last block is padded with.
    dbase4 = table.header.dbversion in (0x8B, 0x8C)
    out = []
    for recno, record in enumerate(table.records, start=1):
        notes = record["NOTES"] or ""
        if dbase4:
            notes = notes.rstrip("\0")
        out.append("%d|%s|%s" % (recno, record["NAME"].rstrip(), notes.encode("unicode_escape").decode("ascii")))
    return out


def read_dbf(path):
    import dbf
    # The engine's tables name no code page; their memos hold Windows-1252 text.
    table = dbf.Table(path, codepage="cp1252")
    table.open(dbf.READ_ONLY)
    memo_fields = [name for name in table.field_names if chr(table.field_info(name)[0]) == "M"]
    out = []
    for recno, record in enumerate(table, start=1):
        for field in memo_fields:
            value = record[field] or ""
            data = value.encode("cp1252") if isinstance(value, str) else bytes(value)
            out.append("%d|%s|%s" % (recno, field.upper(), digest(data)))
    table.close()
    return out


PERL = r'''
use XBase;
my $t = new XBase($ARGV[0]) or die XBase->errstr;
my @memo = grep { $t->field_type($_) eq "M" } $t->field_names;
for my $i (0 .. $t->last_record) {
    my $r = $t->get_record_as_hash($i);
    next if $r->{_DELETED};
    for my $f (@memo) {
        my $v = $r->{$f};
        $v = "" unless defined $v;
        print $i + 1, "|$f|", unpack("H*", $v), "\n";
    }
}
'''


def read_xbase(path):
    text = subprocess.run(["perl", "-e", PERL, path], check=True, capture_output=True).stdout.decode()
    out = []
    for line in text.splitlines():
        recno, field, hexdata = line.split("|")
        out.append("%s|%s|%s" % (recno, field, digest(bytes.fromhex(hexdata))))
    return out


def write_dbf(kind, path):
    import dbf
    table = dbf.Table(path, "ID N(5,0); NOTES M; MORE M", dbf_type=kind, codepage="cp1252")
    table.open(dbf.READ_WRITE)
    out = []
    for recno in range(1, 9):
        notes, more = memo_of(recno, 0), memo_of(recno, 1)
        table.append((recno, notes.decode("latin-1"), more.decode("latin-1")))
        out.append("%d|NOTES|%s" % (recno, digest(notes)))
        out.append("%d|MORE|%s" % (recno, digest(more)))
    table.close()
    return out


def main():
    if sys.argv[1] == "rows":
        lines = rows_dbfread(sys.argv[2])
    elif sys.argv[1] == "read":
        lines = {"dbfread": read_dbfread, "dbf": read_dbf, "xbase": read_xbase}[sys.argv[2]](sys.argv[3])
    else:
        lines = write_dbf(sys.argv[2], sys.argv[3])
    for line in lines:
        print(line)


if __name__ == "__main__":
    main()
