#!/usr/bin/env python3
"""Writes the benchmark inputs: a site list of 1,000,000 lines (about 40 MB)
and a web page of about 100 MB holding about 870,000 links."""
import random
import sys

out = sys.argv[1] if len(sys.argv) > 1 else "."
rng = random.Random(7)

with open(f"{out}/sites.txt", "wb") as f:
    for i in range(1_000_000):
        f.write(b"https://www.site%07d.example.org/path/%04d\r\n" % (i, rng.randrange(10000)))

words = b"lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor".split()
with open(f"{out}/page.html", "wb") as f:
    f.write(b"<!DOCTYPE html><html><head><title>links</title></head><body>\n")
    size = 0
    i = 0
    while size < 100_000_000:
        text = b" ".join(rng.choice(words) for _ in range(4))
        if i % 3 == 0:
            line = b'<p class="x"><a href="https://cdn%d.example.net/a/b/%d.html" data-id="%d">%s</a> see https://plain.example.com/%d too</p>\n' % (i % 97, i, i, text, i)
        elif i % 3 == 1:
            line = b'<li><a HREF="/section/%d/page-%d.html" title="%s">%s</a></li>\n' % (i % 50, i, text, text)
        else:
            line = b'<div style="color:red">%s <a href="rel/%d.htm">more</a></div>\n' % (text, i)
        f.write(line)
        size += len(line)
        i += 1
    f.write(b"</body></html>\n")
