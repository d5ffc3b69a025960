#!/usr/bin/python3
"""Reference CRCs from crcmod for the published models the stand uses.

Reads one buffer per line (hexadecimal, possibly empty) and prints, per line, the
CRC-16/UMTS, CRC-16/CCITT-FALSE, CRC-16/ARC and CRC-32 values in hexadecimal.
"""
import sys

import crcmod.predefined

MODELS = ["crc-16-buypass", "crc-ccitt-false", "crc-16", "crc-32"]
funcs = [crcmod.predefined.mkPredefinedCrcFun(m) for m in MODELS]
with open(sys.argv[1]) as f:
    for line in f:
        data = bytes.fromhex(line.strip())
        print(" ".join("%x" % fn(data) for fn in funcs))
