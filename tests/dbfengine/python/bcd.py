"""Reads lines "a|b" of number texts and writes the sign of a - b for each line,
comparing both on their first 20 significant digits (cut, not rounded)."""
import sys
from decimal import Decimal, Context, ROUND_DOWN

ctx = Context(prec=20, rounding=ROUND_DOWN, Emax=999999, Emin=-999999)
out = []
with open(sys.argv[1]) as f:
    for line in f:
        a, b = line.rstrip("\n").split("|")
        da = ctx.plus(Decimal(a.strip()))
        db = ctx.plus(Decimal(b.strip()))
        out.append("1" if da > db else "-1" if da < db else "0")
with open(sys.argv[2], "w") as f:
    f.write("\n".join(out) + "\n")
