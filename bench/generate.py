#!/usr/bin/env python3
"""Writes the benchmark inputs into OUT: site lists of 100 k, 1 M and 10 M
lines (about 47 bytes a line) and web pages of about 10 MB, 100 MB and 1 GB
(one link on each line), plus counts.json with the number of href links on
each page, which the benchmark checks its results against.
   generate.py OUT [--small|--medium]   (--small: only the 100 k list and
   10 MB page; --medium: only the 1 M list and 100 MB page, and a dense page
   of 3.7 M links in about 240 MB)"""
import json
import random
import sys

out = sys.argv[1] if len(sys.argv) > 1 else "."
small = "--small" in sys.argv
medium = "--medium" in sys.argv
rng = random.Random(7)

for name, lines in [("100k", 100_000), ("1m", 1_000_000), ("10m", 10_000_000)]:
    if (small and name != "100k") or (medium and name != "1m"):
        continue
    with open(f"{out}/sites-{name}.txt", "wb") as f:
        step = 100_000
        for start in range(0, lines, step):
            f.write(b"".join(b"https://www.site%07d.example.org/path/%04d\r\n" % (i, rng.randrange(10000))
                             for i in range(start, start + step)))

# For the list helpers: 10 M lines, about a tenth blank and a quarter
# repeating an earlier address, at random places; the counts they must find.
helper_counts = {}
if not small and not medium:
    uniques, blanks, repeats = [], 0, 0
    with open(f"{out}/mixed-10m.txt", "wb") as f:
        for start in range(0, 10_000_000, 100_000):
            chunk = []
            for i in range(start, start + 100_000):
                r = rng.random()
                if r < 0.1:
                    chunk.append(b"\r\n")
                    blanks += 1
                elif r < 0.35 and uniques:
                    chunk.append(b"https://www.site%07d.example.org/\r\n" % rng.choice(uniques))
                    repeats += 1
                else:
                    uniques.append(i)
                    chunk.append(b"https://www.site%07d.example.org/\r\n" % i)
            f.write(b"".join(chunk))
    # Blank lines repeat each other: the first stays, and is then the one blank.
    helper_counts = {"duplicates": repeats + blanks - 1, "blanks": 1 if blanks else 0,
                     "left": 10_000_000 - repeats - blanks}

# One block of about 10 MB, repeated: every line holds exactly one href.
words = b"lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor".split()
block = []
size = 0
i = 0
while size < 10_000_000:
    text = b" ".join(rng.choice(words) for _ in range(4))
    if i % 3 == 0:
        line = b'<p class="x"><a href="https://cdn%d.example.net/a/b/%d.html" data-id="%d">%s</a> see https://plain.example.com/%d too</p>\n' % (i % 97, i, i, text, i)
    elif i % 3 == 1:
        line = b'<li><a HREF="/section/%d/page-%d.html" title="%s">%s</a></li>\n' % (i % 50, i, text, text)
    else:
        line = b'<div style="color:red">%s <a href="rel/%d.htm">more</a></div>\n' % (text, i)
    block.append(line)
    size += len(line)
    i += 1
block = b"".join(block)
counts = {}
for name, repeats in [("10mb", 1), ("100mb", 10), ("1gb", 100)]:
    if (small and name != "10mb") or (medium and name != "100mb"):
        continue
    with open(f"{out}/page-{name}.html", "wb") as f:
        f.write(b"<!DOCTYPE html><html><head><title>links</title></head><body>\n")
        for _ in range(repeats):
            f.write(block)
        f.write(b"</body></html>\n")
    counts[f"page-{name}.html"] = i * repeats
# Dense: a link every 65 bytes, absolute and each its own host, as on a
# directory of sites; the list then weighs as much as the transfer.
if medium:
    with open(f"{out}/page-dense.html", "wb") as f:
        f.write(b"<html><body>\n")
        for start in range(0, 3_700_000, 100_000):
            f.write(b"".join(b'<a href="https://s%07d.example.org/p/%06d">link %07d</a>\n'
                             % (n, rng.randrange(1_000_000), n) for n in range(start, start + 100_000)))
        f.write(b"</body></html>\n")
    counts["page-dense.html"] = 3_700_000
# A hostile page: nothing but empty links, fifteen million items' worth.
with open(f"{out}/hostile.html", "wb") as f:
    f.write(b'href=""' * ((10_000_000 if small else 100_000_000) // 7))
counts["helpers"] = helper_counts
with open(f"{out}/counts.json", "w") as f:
    json.dump(counts, f)
