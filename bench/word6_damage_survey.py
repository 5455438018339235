#!/usr/bin/python3
"""Damages Word 6.0/95 documents the way doc_damage_survey.py damages Word 97 ones, recovers
each copy with `morvel recover` and prints, per kind of damage, the share of LibreOffice's
words (its text export of the intact file) that the recovered document holds, read back by
LibreOffice's text export too, so the written document is also checked to open.

Usage: bench/word6_damage_survey.py [--morvel BINARY] [--files FILE...]
"""
import argparse
import collections
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import olefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import doc_damage_survey as survey  # noqa: E402

MINI = 64


def libreoffice_text(path, workdir):
    """LibreOffice's text export of a copy of `path`, or None when it cannot convert it."""
    os.makedirs(workdir, exist_ok=True)
    copy = os.path.join(workdir, "copy.doc")
    shutil.copyfile(path, copy)
    subprocess.run(["soffice", "-env:UserInstallation=file:///tmp/lo-w6text", "--headless",
                    "--convert-to", "txt:Text", "--outdir", workdir, copy],
                   capture_output=True, timeout=180)
    out = os.path.join(workdir, "copy.txt")
    if not os.path.exists(out):
        return None
    return open(out, "rb").read().decode("utf-8-sig", "replace")


def word6_layout(path, data):
    """The layout survey.damages() needs, for a Word 6.0/95 file (no table stream; the FKP
    pointers are 16-bit page numbers in the WordDocument stream, which may live in the
    mini stream)."""
    ole = olefile.OleFileIO(path)
    fat = list(ole.fat)
    fat_sectors = [s for s in struct.unpack_from("<109i", data, 0x4C) if s >= 0]
    dir_start = struct.unpack_from("<i", data, 0x30)[0]
    entry = ole.direntries[ole._find("WordDocument")]
    word = ole.openstream("WordDocument").read()

    def position(offset):
        if entry.size >= ole.minisectorcutoff:
            return survey.stream_pos(ole, fat, "WordDocument", offset)
        minifat = list(ole.minifat)
        minis = survey.chain(minifat, entry.isectStart)
        i = offset // MINI
        if i >= len(minis):
            return None
        root = survey.chain(fat, ole.root.isectStart)
        at = minis[i] * MINI + offset % MINI
        k = at // survey.SECTOR
        return survey.sector_pos(root[k]) + at % survey.SECTOR if k < len(root) else None

    fkp = None
    fc, lcb = struct.unpack_from("<II", word, 0xB8)
    if lcb >= 10:
        n = (lcb - 4) // 6
        pn = struct.unpack_from("<H", word, fc + 4 * (n + 1))[0]
        fkp = position(pn * survey.SECTOR)
    word_pos = position(0)
    ole.close()
    return fat_sectors, survey.chain(fat, dir_start), word_pos, fkp


def recovered_text(morvel, damaged, outdir):
    """(result, LibreOffice's text of the full document or None)."""
    r = subprocess.run([morvel, "recover", "--json", "-o", outdir, damaged],
                       capture_output=True, timeout=300)
    verdict, full = "?", None
    for line in r.stdout.decode("utf-8", "replace").splitlines():
        try:
            rec = json.loads(line)
        except ValueError:
            continue
        verdict = rec.get("result", "?")
        for o in rec.get("outputs", []):
            if o["kind"] == "full":
                full = o["path"]
    if not full:
        return verdict, None
    return verdict, libreoffice_text(full, outdir + ".lo")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--morvel", default="build/cli/morvel")
    ap.add_argument("--files", nargs="+",
                    default=["/work/shared/corpus/doc/w6_testword6.doc"])
    args = ap.parse_args()
    survey.layout = word6_layout
    print(f"{'file':24} {'damage':28} {'result':10} {'words':>6}")
    with tempfile.TemporaryDirectory() as tmp:
        for path in args.files:
            name = os.path.basename(path)
            ref_text = libreoffice_text(path, os.path.join(tmp, "ref_" + name))
            ref = survey.words(ref_text or "")
            if not ref:
                print(f"skip {name}: LibreOffice reads no text", file=sys.stderr)
                continue
            kinds = {"intact": open(path, "rb").read()}
            kinds.update(survey.damages(path))
            for n, (kind, data) in enumerate(kinds.items()):
                base = os.path.join(tmp, f"{n}_{name}")
                with open(base, "wb") as fh:
                    fh.write(data)
                verdict, text = recovered_text(args.morvel, base, base + ".out")
                got = survey.words(text or "")
                share = sum((ref & got).values()) / sum(ref.values())
                opened = "" if text is not None else " (no full document)"
                print(f"{name:24} {kind:28} {verdict:10} {share:6.0%}{opened}")


if __name__ == "__main__":
    main()
