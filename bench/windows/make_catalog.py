#!/usr/bin/env python3
"""Writes the benchmark document: a catalog of records, about 5 MB of UTF-8.
Usage: make_catalog.py <output file> [megabytes]"""
import random
import sys

out, megabytes = sys.argv[1], float(sys.argv[2]) if len(sys.argv) > 2 else 5.0
rng = random.Random(7)
words = ["alpha", "beta", "gamma", "delta", "omega", "caf\u00e9", "\u65e5\u672c"]
parts = ['<?xml version="1.0" encoding="utf-8"?>\n<catalog>\n']
size, i = 0, 0
while size < megabytes * 1024 * 1024:
    record = (
        f'  <record id="{i}" kind="{rng.choice(["book", "disc", "tool"])}">\n'
        f'    <name>Item {i}</name>\n'
        f'    <price currency="EUR">{rng.randint(1, 999)}.{rng.randint(0, 99):02d}</price>\n'
        f'    <notes>{" ".join(rng.choice(words) for _ in range(6))}</notes>\n'
        f'  </record>\n')
    parts.append(record)
    size += len(record.encode("utf-8"))
    i += 1
parts.append("</catalog>\n")
with open(out, "w", encoding="utf-8") as f:
    f.write("".join(parts))
