"""Reference results for the expression language's number and text functions.

Reads lines "kind|arguments" and prints one result a line as "<type>:<value>":
numbers as Python's repr of the double, texts as they are, logicals .T./.F.
Arithmetic is IEEE double arithmetic on the literals; STR rounds the shortest
decimal form of the value half away from zero (decimal.ROUND_HALF_UP); ROUND cuts
digits as the engine's double steps do and must stay within one unit of the
last kept digit of the exact decimal cut; the text functions follow Python str.
"""
import math
import re
import sys
from decimal import Decimal, ROUND_DOWN, ROUND_HALF_UP, getcontext

getcontext().prec = 800


def trunc(text):
    return math.trunc(float(text))


def number(value):
    return "N:" + repr(float(value))


def text(value):
    return "C:" + value


def logical(value):
    return "L:" + (".T." if value else ".F.")


def str_fn(n, w, k):
    q = Decimal(repr(float(n))).quantize(Decimal(1).scaleb(-k), rounding=ROUND_HALF_UP)
    t = format(q, "f")
    if q == 0:
        t = t.lstrip("-")
    return "*" * w if len(t) > w else t.rjust(w)


def round_fn(n, k):
    whole = float(math.trunc(n))
    part = n - whole
    if k <= 0:
        return whole + math.trunc(part)
    steps = 0
    while steps < k and part != math.trunc(part):
        part *= 10
        steps += 1
    part = float(math.trunc(part))
    for _ in range(steps):
        part /= 10
    result = whole + part
    exact = Decimal(n).quantize(Decimal(1).scaleb(-k), rounding=ROUND_DOWN)
    # The double steps may land one unit of the last digit beside the exact cut.
    assert abs(Decimal(result) - exact) <= Decimal(1).scaleb(-k) * Decimal("1.000001"), (n, k, result, exact)
    return result


def copy(s, start, count):
    start = max(start, 1)
    if count <= 0 or start > len(s):
        return ""
    return s[start - 1:start - 1 + count]


def stuff(s, p, k, r):
    if 1 <= p <= len(s) and k > 0:
        s = s[:p - 1] + s[p - 1 + k:]
    at = min(max(p, 1), len(s) + 1)
    return s[:at - 1] + r + s[at - 1:]


NUMBER_PREFIX = re.compile(r"-?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?")


def val(s):
    s = s.rstrip(" ").lstrip(" ")
    if s.startswith("+"):
        s = s[1:]
    m = NUMBER_PREFIX.match(s)
    if not m:
        return 0.0
    v = float(m.group(0))
    return v if math.isfinite(v) else 0.0


def relation(op, a, b):
    if op == "=":
        return b != "" and a.startswith(b)
    if op == "==":
        return a == b
    if op == "$":
        return a != "" and a in b
    ab, bb = a.encode("latin-1"), b.encode("latin-1")
    return {"<": ab < bb, ">": ab > bb, "<=": ab <= bb, ">=": ab >= bb, "<>": ab != bb}[op]


def answer(kind, args):
    if kind == "arith":
        op, a, b = args[0], float(args[1]), float(args[2])
        return number({"+": a + b, "-": a - b, "*": a * b, "/": a / b if b else 0}[op])
    if kind == "round":
        return number(round_fn(float(args[0]), int(args[1])))
    if kind == "str":
        return text(str_fn(args[0], int(args[1]), int(args[2])))
    if kind == "mod":
        a, b = trunc(args[0]), trunc(args[1])
        r = abs(a) % abs(b)
        return number(-r if a < 0 else r)
    if kind == "int":
        return number(trunc(args[0]))
    if kind == "substr":
        return text(copy(args[0], trunc(args[1]), trunc(args[2])))
    if kind in ("left", "right"):
        s, n = args[0], float(args[1])
        if n >= len(s):
            return text(s)
        keep = max(math.trunc(n), 0)
        return text(s[:keep] if kind == "left" else s[len(s) - keep:])
    if kind == "stuff":
        return text(stuff(args[0], trunc(args[1]), trunc(args[2]), args[3]))
    if kind == "at":
        return number(0 if args[0] == "" else args[1].find(args[0]) + 1)
    if kind == "replicate":
        result = args[0] * max(trunc(args[1]), 0)
        return "nil" if len(result) > 255 else text(result)
    if kind == "trims":
        return text("[" + args[0].lstrip(" ") + "|" + args[0].rstrip(" ") + "]")
    if kind == "case":
        return text(args[0].upper() + args[0].lower())
    if kind == "minus":
        a, b = args
        kept = a.rstrip(" ")
        return text(kept + b + a[len(kept):])
    if kind == "rel":
        return logical(relation(args[0], args[1], args[2]))
    if kind == "val":
        return number(val(args[0]))
    raise ValueError(kind)


def main():
    for line in sys.stdin:
        parts = line.rstrip("\n").split("|")
        print(answer(parts[0], parts[1:]))


if __name__ == "__main__":
    main()
