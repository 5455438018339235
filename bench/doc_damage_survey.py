#!/usr/bin/python3
"""Damages every Word 97 .doc of the corpus in the ways disks, downloads and mail damage
files, recovers each copy with `morvel recover` and prints, per kind of damage, how many
copies gave a full document and the share of the original's words the result still holds.

Beside it stands each kind's ceiling: the share of the original's words whose text bytes are
still in the damaged copy, unchanged, at their place or at a place they can be found (the
text's file positions come from the original's piece table through the WordDocument
stream's sectors). LibreOffice's text export of the flipped copies is a second baseline.

Usage: bench/doc_damage_survey.py [--before OLD_MORVEL] [--lo-all | --no-lo]
                                  [--heavy-flips N] [MORVEL_BINARY] [CORPUS_DOC_DIR]
  --before   also recover every copy with an older binary and print its figures first
  --lo-all   run LibreOffice's text export on every kind, not only the flipped copies
  --no-lo    no LibreOffice column
  --heavy-flips N  N more copies per file with 0.1 % of their bytes flipped
SURVEY_KEEP=DIR keeps the damaged copies and their results; SURVEY_DETAIL=1 lists each copy.
"""
import argparse
import collections
import shutil
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


WORD = re.compile(r"\w+")
# A run of text bytes this long is taken as found when it occurs anywhere in the damaged copy.
FINDABLE_RUN = 16
COMPRESSED_FC = 0x40000000
INTACT = "intact (no damage)"


def words(text):
    return collections.Counter(WORD.findall(text.lower()))


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


def text_places(path):
    """The original's text, character by character, with the file positions of each
    character's bytes; None when the text does not lie in whole sectors of the file."""
    ole = olefile.OleFileIO(path)
    try:
        entry = ole.direntries[ole._find("WordDocument")]
        if entry.size < ole.minisectorcutoff:
            return None
        size = ole.sectorsize
        sectors = chain(list(ole.fat), entry.isectStart)
        word = ole.openstream("WordDocument").read()
        table = "1Table" if struct.unpack_from("<H", word, 0x0A)[0] & 0x0200 else "0Table"
        tbl = ole.openstream(table).read()
    finally:
        ole.close()
    fc_clx, lcb_clx = struct.unpack_from("<II", word, 0x1A2)
    clx = tbl[fc_clx:fc_clx + lcb_clx]
    i = 0
    while i < len(clx) and clx[i] == 1:
        i += 3 + struct.unpack_from("<H", clx, i + 1)[0]
    if i + 5 > len(clx) or clx[i] != 2:
        return None
    lcb = struct.unpack_from("<I", clx, i + 1)[0]
    plc = clx[i + 5:i + 5 + lcb]
    n = (lcb - 4) // 12
    cps = struct.unpack_from(f"<{n + 1}i", plc, 0)

    def place(offset):
        k = offset // size
        return (sectors[k] + 1) * size + offset % size if k < len(sectors) else None

    chars, places = [], []
    for k in range(n):
        raw = struct.unpack_from("<I", plc, 4 * (n + 1) + 8 * k + 2)[0]
        wide = not raw & COMPRESSED_FC
        fc = raw if wide else (raw & ~COMPRESSED_FC) // 2
        width = 2 if wide else 1
        for c in range(max(0, cps[k + 1] - cps[k])):
            at = fc + width * c
            if at + width > len(word):
                break
            unit = word[at:at + width]
            chars.append(chr(struct.unpack("<H", unit)[0]) if wide
                         else unit.decode("cp1252", "replace"))
            places.append(tuple(place(at + b) for b in range(width)))
    return "".join(chars), places


def surviving_bytes(orig, damaged, places):
    """The file positions of text bytes the damaged copy still holds unchanged: at their own
    place, shifted by what was added in front, or anywhere as part of a findable run."""
    shifts = [0]
    if len(damaged) > len(orig):
        shifts.append(len(damaged) - len(orig))
    positions = sorted({p for ps in places for p in ps if p is not None})
    kept = set()
    run = []

    def settle(run):
        a, b = run[0], run[-1] + 1
        for shift in shifts:
            if damaged[a + shift:b + shift] == orig[a:b]:
                kept.update(run)
                return
        if b - a >= FINDABLE_RUN and damaged.find(orig[a:b]) >= 0:
            kept.update(run)
            return
        kept.update(p for p in run if p < len(damaged) and damaged[p] == orig[p])

    for p in positions:
        if run and (p != run[-1] + 1 or p % SECTOR == 0):
            settle(run)
            run = []
        run.append(p)
    if run:
        settle(run)
    return kept


def ceiling_words(text, places, kept):
    """The original's words whose every byte survived."""
    out = collections.Counter()
    for m in WORD.finditer(text):
        if all(p in kept for ps in places[m.start():m.end()] for p in ps):
            out[m.group().lower()] += 1
    return out


def libreoffice_words(damaged, scratch):
    """Words of LibreOffice's text export of a copy of the damaged file."""
    work = tempfile.mkdtemp(dir=scratch)
    copy = os.path.join(work, "damaged.doc")
    shutil.copyfile(damaged, copy)
    try:
        subprocess.run(["soffice", f"-env:UserInstallation=file://{scratch}/lo-profile",
                        "--headless", "--convert-to", "txt:Text (encoded):UTF8", "--outdir",
                        work, copy], capture_output=True, timeout=180)
    except subprocess.TimeoutExpired:
        return collections.Counter()
    out = os.path.join(work, "damaged.txt")
    if not os.path.exists(out):
        return collections.Counter()
    return words(open(out, "rb").read().decode("utf-8", "replace"))


def heavy_flips(path, copies):
    """Copies with ten times as many flipped bytes, each with its own seed: at 0.01 % a small
    file gets a handful of flips that seldom meet its structures."""
    orig = open(path, "rb").read()
    out = []
    for seed in range(copies):
        rng = random.Random(seed * 7919 + 1)
        d = bytearray(orig)
        for _ in range(max(1, len(orig) // 1000)):
            i = rng.randrange(len(d)); d[i] ^= 1 << rng.randrange(8)
        out.append(("0.1% bytes flipped", bytes(d)))
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


def share(ref, got):
    return sum((ref & got).values()) / sum(ref.values()) if ref else 0.0


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("morvel", nargs="?", default="build/cli/morvel")
    ap.add_argument("corpus", nargs="?", default="/work/shared/corpus/doc")
    ap.add_argument("--before", help="an older morvel binary to compare with")
    lo = ap.add_mutually_exclusive_group()
    lo.add_argument("--lo-all", action="store_true", help="LibreOffice on every kind")
    lo.add_argument("--no-lo", action="store_true", help="no LibreOffice column")
    ap.add_argument("--heavy-flips", type=int, default=0, metavar="N",
                    help="N more copies per file with 0.1%% of their bytes flipped")
    args = ap.parse_args()
    binaries = ([("before", args.before)] if args.before else []) + [("after", args.morvel)]
    files = sorted(f for f in os.listdir(args.corpus) if f.endswith(".doc")
                   and not f.startswith(("w6_", "wordml_")))
    # Sums per kind. "words" counts all the words antiword reads in the original; the text
    # columns count only those its text bytes make (antiword adds placeholders such as "pic"
    # and misreads some files), which is what the ceiling is measured on.
    stats = collections.defaultdict(lambda: collections.defaultdict(float))
    detail = []
    keep = os.environ.get("SURVEY_KEEP")  # a folder that keeps the damaged copies
    with tempfile.TemporaryDirectory() as scratch:
        tmp = keep or scratch
        for f in files:
            path = os.path.join(args.corpus, f)
            ref = words(antiword(path))
            if not ref:
                print(f"skip {f}: antiword reads no text", file=sys.stderr)
                continue
            try:
                # The undamaged file first: what the measurement itself gives, the cap every
                # kind of damage is read against.
                kinds = [(INTACT, open(path, "rb").read()), *damages(path).items(),
                         *heavy_flips(path, args.heavy_flips)]
                placed = text_places(path)
            except Exception as e:  # not a readable compound file to begin with
                print(f"skip {f}: {e}", file=sys.stderr)
                continue
            orig = open(path, "rb").read()
            ref_text = ref & words(placed[0]) if placed else collections.Counter()
            for n, (kind, data) in enumerate(kinds):
                base = os.path.join(tmp, f"{n}_{f}")
                with open(base, "wb") as fh:
                    fh.write(data)
                s = stats[kind]
                s["copies"] += 1
                s["text copies"] += bool(ref_text)
                line = f"{kind:28} {f:32}"
                for label, binary in binaries:
                    full, got = recovered_words(binary, base, f"{base}.{label}.out")
                    s[f"{label} full"] += full
                    s[f"{label} words"] += share(ref, got)
                    s[f"{label} text"] += share(ref_text, got)
                    line += (f" {label}: full={'yes' if full else 'no ':3} "
                             f"words={share(ref, got):.2f} text={share(ref_text, got):.2f}")
                if ref_text:
                    text, places = placed
                    kept = surviving_bytes(orig, bytes(data), places)
                    top = share(ref_text, ceiling_words(text, places, kept))
                    s["ceiling"] += top
                    line += f" ceiling={top:.2f}"
                if not args.no_lo and (args.lo_all or "flipped" in kind):
                    got = libreoffice_words(base, scratch)
                    s["lo copies"] += 1
                    s["lo words"] += share(ref, got)
                    s["lo text"] += share(ref_text, got)
                    line += f" libreoffice: words={share(ref, got):.2f} text={share(ref_text, got):.2f}"
                detail.append(line)
    if os.environ.get("SURVEY_DETAIL"):
        print("\n".join(detail))
    head = f"{'damage':26} {'copies':>6}"
    for label, _ in binaries:
        head += f" {label[:3] + ' full':>8} {label[:3] + ' words':>9} {label[:3] + ' text':>8}"
    head += f" {'ceiling':>7} {'of ceil':>7} {'LO words':>8} {'LO text':>7}"
    print(head)
    rows = list(stats.items())
    total = collections.defaultdict(float)
    for kind, s in rows:
        if kind == INTACT:
            continue
        for key, value in s.items():
            total[key] += value
    for kind, s in rows + [("all", total)]:
        n, nt, nl = s["copies"], s["text copies"], s["lo copies"]
        line = f"{kind:26} {int(n):6}"
        for label, _ in binaries:
            line += (f" {int(s[label + ' full']):8} {s[label + ' words'] / n:9.0%}"
                     f" {s[label + ' text'] / nt if nt else 0:8.0%}")
        line += f" {s['ceiling'] / nt if nt else 0:7.0%}"
        line += f" {s['after text'] / s['ceiling'] if s['ceiling'] else 0:7.0%}"
        line += (f" {s['lo words'] / nl:8.0%} {s['lo text'] / nl:7.0%}" if nl
                 else f" {'-':>8} {'-':>7}")
        print(line)


if __name__ == "__main__":
    main()
