"""Every day of years 1 to 9999 as "year month day julian-day day-of-week" lines.

The Julian day number is the proleptic Gregorian ordinal + 1721425; the day of week
counts 1 = Sunday to 7 = Saturday.
"""
import sys
from datetime import date

write = sys.stdout.write
ordinal = 1
for year in range(1, 10000):
    lines = []
    d = date.fromordinal(ordinal)
    while d.year == year:
        lines.append("%d %d %d %d %d\n" % (year, d.month, d.day, ordinal + 1721425, d.isoweekday() % 7 + 1))
        ordinal += 1
        if ordinal > 3652059:
            break
        d = date.fromordinal(ordinal)
    write("".join(lines))
