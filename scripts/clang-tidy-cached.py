#!/usr/bin/env python3
"""Runs clang-tidy over the program's sources in BUILD_DIR's compile database,
skipping each file whose last check came out clean and whose preprocessed
text, compile flags, .clang-tidy and clang-tidy version are unchanged since.
The clean results are kept in CACHE_DIR (one empty file per clean check).
   clang-tidy-cached.py BUILD_DIR SOURCE_REGEX CACHE_DIR LOG
Exit status 1 when clang-tidy found something (its findings in LOG)."""
import hashlib
import json
import os
import re
import shlex
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

build, pattern, cache, log = sys.argv[1:5]
root = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
entries = [e for e in json.load(open(os.path.join(build, "compile_commands.json")))
           if re.search(pattern, e["file"])]
version = subprocess.run(["clang-tidy", "--version"], capture_output=True, text=True).stdout
config = open(os.path.join(root, ".clang-tidy"), "rb").read()


def key(entry):
    """What a clean check depends on, with this checkout's paths left out."""
    args = shlex.split(entry["command"])
    for flag in ("-o", "-MT", "-MF"):  # no object, no dependency file
        while flag in args:
            at = args.index(flag)
            del args[at:at + 2]
    args = [a for a in args if a != "-MD"]
    args[args.index("-c")] = "-E"
    text = subprocess.run(args + ["-P"], cwd=entry["directory"], capture_output=True, check=True).stdout
    digest = hashlib.sha256()
    for part in (version.encode(), config, " ".join(args).replace(root, "@").replace(build, "@build").encode(),
                 text.replace(root.encode(), b"@")):
        digest.update(hashlib.sha256(part).digest())
    return digest.hexdigest()


os.makedirs(cache, exist_ok=True)
with ThreadPoolExecutor(os.cpu_count()) as pool:
    keys = list(pool.map(key, entries))
todo = [(e, k) for e, k in zip(entries, keys) if not os.path.exists(os.path.join(cache, k))]
print(f"clang-tidy: {len(entries) - len(todo)} of {len(entries)} files unchanged since a clean check, "
      f"{len(todo)} to check")
if not todo:
    open(log, "w").close()
    sys.exit(0)
files = "|".join(re.escape(e["file"]) for e, _ in todo)
with open(log, "w") as out:
    status = subprocess.run(["run-clang-tidy", "-quiet", "-p", build, "-j", str(os.cpu_count()),
                             "-extra-arg=-Wno-unknown-warning-option", f"^({files})$"],
                            stdout=out, stderr=subprocess.STDOUT).returncode
findings = [line for line in open(log, errors="replace") if re.search(r"(warning|error):", line)]
if status != 0 or findings:
    sys.exit(1)
for _, k in todo:
    open(os.path.join(cache, k), "w").close()
