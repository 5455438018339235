#!/usr/bin/python3
"""Damages every Word 97 .doc of the corpus in the ways disks, downloads and mail damage
files, recovers each copy with `morvel recover` and prints, per kind of damage, how many
copies gave a full document and the share of the original's words the result still holds.

Usage: bench/doc_damage_survey.py [MORVEL_BINARY] [CORPUS_DOC_DIR]
"""
import collections
import json
import os
import random
import re
import struct
import subprocess
import sys
import tempfile

import olefile

SECTOR = 512


def words(text):
    return collections.Counter(re.findall(r"\w+", text.lower()))


def antiword(path):
    r = subprocess.run(["antiword", path], capture_output=True, timeout=60)
    return r.stdout.decode("utf-8", "replace") if r.returncode == 0 else ""


def sector_pos(s):
    return (s + 1) * SECTOR


def chain(fat, start):
    out, seen = [], set()
    while 0 <= start < len(fat) and start not in seen:
        seen.add(start)
        out.append(start)
        start = fat[start]
    return out


def stream_pos(ole, fat, name, offset):
    """File position of a byte of a (big-sector) stream, or None."""
    entry = ole.direntries[ole._find(name)]
    sectors = chain(fat, entry.isectStart)
    i = offset // SECTOR
    return sector_pos(sectors[i]) + offset % SECTOR if i < len(sectors) else None


def layout(path, data):
    ole = olefile.OleFileIO(path)
    fat = list(ole.fat)
    fat_sectors = [s for s in struct.unpack_from("<109i", data, 0x4C) if s >= 0]
    dir_start = struct.unpack_from("<i", data, 0x30)[0]
    word = ole.openstream("WordDocument").read()
    table = "1Table" if struct.unpack_from("<H", word, 0x0A)[0] & 0x0200 else "0Table"
    fc, lcb = struct.unpack_from("<II", word, 0xFA)
    tbl = ole.openstream(table).read()
    fkp = None
    if lcb >= 12:
        n = (lcb - 4) // 8
        pn = struct.unpack_from("<I", tbl, fc + 4 * (n + 1))[0] & 0x3FFFFF
        fkp = stream_pos(ole, fat, "WordDocument", pn * SECTOR)
    word_pos = stream_pos(ole, fat, "WordDocument", 0)
    ole.close()
    return fat_sectors, chain(fat, dir_start), word_pos, fkp


def zero(data, pos, n=SECTOR):
    data[pos:pos + n] = bytes(min(n, len(data) - pos))


def damages(path):
    orig = open(path, "rb").read()
    fat_sectors, dir_chain, word_pos, fkp = layout(path, orig)
    rng = random.Random(1234)
    out = {}
    d = bytearray(orig); zero(d, 0); out["header zeroed"] = d
    d = bytearray(orig); zero(d, sector_pos(fat_sectors[len(fat_sectors) // 2])); out["FAT sector zeroed"] = d
    d = bytearray(orig)
    for s in dir_chain:
        zero(d, sector_pos(s))
    out["directory zeroed"] = d
    out["truncated 70%"] = orig[: len(orig) * 70 // 100]
    out["truncated 90%"] = orig[: len(orig) * 90 // 100]
    d = bytearray(orig)
    for _ in range(max(1, len(orig) // 10000)):
        i = rng.randrange(len(d)); d[i] ^= 1 << rng.randrange(8)
    out["0.01% bytes flipped"] = d
    out["1 KiB prepended"] = bytes(rng.randrange(256) for _ in range(1024)) + orig
    if word_pos is not None:
        d = bytearray(orig); zero(d, word_pos); out["WordDocument start zeroed"] = d
    if fkp is not None:
        d = bytearray(orig); d[fkp:fkp + SECTOR] = bytes(rng.randrange(256) for _ in range(SECTOR))
        out["FKP page overwritten"] = d
    return out


def recovered_words(morvel, damaged, outdir):
    os.makedirs(outdir)
    r = subprocess.run([morvel, "recover", "--json", "-o", outdir, damaged],
                       capture_output=True, timeout=300)
    full = None
    filtered = None
    for line in r.stdout.decode("utf-8", "replace").splitlines():
        try:
            rec = json.loads(line)
        except ValueError:
            continue
        for o in rec.get("outputs", []):
            if o["kind"] == "full":
                full = o["path"]
            elif o["kind"] == "filtered":
                filtered = o["path"]
    if full:
        return True, words(antiword(full))
    if filtered:
        return False, words(open(filtered, "rb").read().decode("utf-8", "replace"))
    return False, collections.Counter()


def main():
    morvel = sys.argv[1] if len(sys.argv) > 1 else "build/cli/morvel"
    corpus = sys.argv[2] if len(sys.argv) > 2 else "/work/shared/corpus/doc"
    files = sorted(f for f in os.listdir(corpus) if f.endswith(".doc")
                   and not f.startswith(("w6_", "wordml_")))
    stats = collections.defaultdict(lambda: [0, 0, 0.0])  # copies, full, word share sum
    detail = []
    keep = os.environ.get("SURVEY_KEEP")  # a folder that keeps the damaged copies
    with tempfile.TemporaryDirectory() as scratch:
        tmp = keep or scratch
        for f in files:
            path = os.path.join(corpus, f)
            ref = words(antiword(path))
            if not ref:
                print(f"skip {f}: antiword reads no text", file=sys.stderr)
                continue
            try:
                kinds = damages(path)
            except Exception as e:  # not a readable compound file to begin with
                print(f"skip {f}: {e}", file=sys.stderr)
                continue
            for n, (kind, data) in enumerate(kinds.items()):
                base = os.path.join(tmp, f"{n}_{f}")
                with open(base, "wb") as fh:
                    fh.write(data)
                full, got = recovered_words(morvel, base, base + ".out")
                share = sum((ref & got).values()) / sum(ref.values())
                s = stats[kind]
                s[0] += 1; s[1] += full; s[2] += share
                detail.append(f"{kind:28} {f:40} full={'yes' if full else 'no ':3} words={share:.2f}")
    if os.environ.get("SURVEY_DETAIL"):
        print("\n".join(detail))
    print(f"{'damage':28} {'copies':>6} {'full':>5} {'words':>6}")
    for kind, (n, full, share) in stats.items():
        print(f"{kind:28} {n:6} {full:5} {share / n:6.0%}")
    tn = sum(s[0] for s in stats.values())
    print(f"{'all':28} {tn:6} {sum(s[1] for s in stats.values()):5} "
          f"{sum(s[2] for s in stats.values()) / tn:6.0%}")


if __name__ == "__main__":
    main()
