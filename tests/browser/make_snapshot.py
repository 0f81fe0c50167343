#!/usr/bin/env python3
"""Writes a stand-in browser snapshot archive: chrome-linux/chrome starts the system Chromium, and a
2 MB resource file gives the download several chunks.

usage: make_snapshot.py OUTPUT.zip
"""
import random
import sys
import zipfile

with zipfile.ZipFile(sys.argv[1], "w") as z:
    exe = zipfile.ZipInfo("chrome-linux/chrome", (2024, 1, 1, 0, 0, 0))
    exe.create_system = 3
    exe.external_attr = 0o100755 << 16
    z.writestr(exe, '#!/bin/sh\nexec /usr/bin/chromium "$@"\n')
    pak = zipfile.ZipInfo("chrome-linux/resources.pak", (2024, 1, 1, 0, 0, 0))
    z.writestr(pak, random.Random(7).randbytes(2000000))
