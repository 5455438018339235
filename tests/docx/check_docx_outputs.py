#!/usr/bin/python3
"""Checks recovered packages against their originals.

Reads a manifest of tab-separated lines: output path, original path, mode. Mode "words"
requires every word of the original's main document in the output's, in order; "open"
only requires that the output opens. Prints one line per failure; exit status 1 if any.
"""
import re
import sys
import zipfile

import docx
from lxml import etree

W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"


def words_of_part(xml_bytes):
    root = etree.fromstring(xml_bytes)
    text = " ".join(t.text or "" for t in root.iter(W + "t"))
    return re.findall(r"\w+", text)


def in_order(needles, haystack):
    it = iter(haystack)
    missing = [w for w in needles if not any(w == h for h in it)]
    return not missing


def main(manifest):
    failures = 0
    for line in open(manifest, encoding="utf-8"):
        out, original, mode = line.rstrip("\n").split("\t")
        try:
            document = docx.Document(out)
            got = words_of_part(etree.tostring(document.element))
            if mode == "words":
                want = words_of_part(zipfile.ZipFile(original).read("word/document.xml"))
                if not in_order(want, got):
                    print(f"{out}: words of the original missing or out of order")
                    failures += 1
        except Exception as e:  # any failure to open is a finding
            print(f"{out}: does not open: {e}")
            failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
