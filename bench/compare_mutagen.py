"""The same driver over mutagen, as an independent reference. A line
"PATH<TAB>TITLE" gives that entry its own title; batch is save (one file after
another; mutagen does not flush what it wrote).
   compare_mutagen.py scan LIST | compare_mutagen.py save|batch LIST TITLE"""
import sys
import time

import mutagen
from mutagen.id3 import ID3, TIT2

mode, listing = sys.argv[1], sys.argv[2]
default_title = sys.argv[3] if len(sys.argv) > 3 else "Benchmark title"
files = failed = 0
check = 0.0
with open(listing, encoding="utf-8") as fh:
    paths = [l.rstrip("\n") for l in fh if l.strip()]
start = time.monotonic()
for entry in paths:
    path, _, own = entry.partition("\t")
    title = own or default_title
    files += 1
    try:
        if mode == "scan":
            f = mutagen.File(path)
            check += (f.info.length if f is not None and f.info else 0) + len(f.tags or {}) if f else 0
        else:
            f = mutagen.File(path, easy=True)
            if f is None:
                failed += 1
                continue
            try:
                f["title"] = title
            except Exception:
                # No easy interface (WAVE, AIFF, ASF, APEv2): the native one.
                f = mutagen.File(path)
                if f.tags is None:
                    f.add_tags()
                if isinstance(f.tags, ID3):
                    f.tags.setall("TIT2", [TIT2(encoding=3, text=title)])
                else:
                    f.tags["Title"] = title
            f.save()
    except Exception:
        failed += 1
print('{"files":%d,"failed":%d,"check":%.0f,"seconds":%.6f}' % (files, failed, check, time.monotonic() - start))
