#!/usr/bin/python3
"""Damages every .docx of the corpus in the ways disks, downloads and mail damage files,
recovers each copy with `morvel recover --json` and prints, per kind of damage, how many
full documents were written, how many of those LibreOffice opens, the share of the
original's words the full and the text-only documents keep in order, and the ceiling: the
share of words whose compressed bytes the damage left readable.

Usage: bench/docx_damage_survey.py [MORVEL_BINARY] [CORPUS_DOCX_DIR]
           [--seeds N] [--kinds TEXT] [--no-lo] [--lo-jobs N] [--json] [--detail]
           [--keep DIR]

--kinds keeps only the kinds whose name holds TEXT (case-insensitive; a comma separates
alternatives), for example --kinds flipped for the three kinds of flipped bytes.

Kinds of damage (the random ones are made once per seed, 3 seeds by default):
  truncated 50% / 80% / 95%      the file cut at that share of its length
  central directory zeroed       every byte from the central directory's start to the end
  document.xml 8 bytes flipped   8 distinct bytes of the entry's compressed data XORed
  styles.xml 8 bytes flipped       with a random non-zero value (random)
  image 8 bytes flipped          the same in one word/media/ entry picked at random; a file
                                   without an image gives no copy of this kind
  first 4 KiB zeroed
  1 KiB prepended                1024 random bytes before the file (random)
  document.xml signature zeroed  the 4-byte signature of the entry's local header
  [Content_Types].xml cut        the entry's local record (header, data and data
                                   descriptor if any) removed; later bytes move up

Words: the lower-cased \\w+ runs of the <w:t> text of word/document.xml, the runs of one
paragraph joined as they are, paragraphs, tabs and breaks separating words. "Kept in order"
is the longest common subsequence of the original's and the output's word lists divided by
the original's word count (exact, bit-parallel). "full words" and "text-only words" are
means over all copies of a kind, a copy without that output counting 0; documents whose
document.xml holds no words (image-only ones) count in the copies, full-written and
LibreOffice columns only.

LibreOffice opens a full document when `soffice --headless --infilter="MS Word 2007 XML"
--convert-to txt:Text` of a copy of it, in a private profile and within the timeout, writes
the text file (it writes none when the load fails, and exits 0 either way). The import
filter is forced because LibreOffice otherwise reads an unreadable .docx as plain text.

Ceiling: the original word/document.xml entry is inflated by a tracing decoder that records,
for every output byte, the compressed bytes holding the symbol that produced it (first to
last bit, extra bits included), the bytes of its deflate block's header (which hold the
Huffman tables needed to read it), and the output byte it was copied from (for
back-references). A compressed byte is damaged when the damaged file no longer holds it at
its place (the kinds that shift the file, prepend and record cut, move it as a whole): it
differs from the original or lies past the end. An output byte survives when neither its
block header nor its own symbol's bytes are damaged, and, for a copied byte, its source
survives (a byte copied from lost output is lost: nothing in the file says what it was). A word survives
when every XML byte from its first to its last character survives, markup between split
runs included. The ceiling is the share of the original's words that survive; kinds that do
not touch document.xml's compressed bytes score 1.0. For a stored (uncompressed) entry every
byte stands alone.

Skips with a message and exit status 0 when the binary or the corpus is missing.
"""
import argparse
import concurrent.futures
import html
import json
import os
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zipfile
import zlib

LOCAL_SIG = 0x04034B50
DESCRIPTOR_SIG = 0x08074B50
ZIP64_EXTRA = 0x0001
END_SIG = b"PK\x05\x06"
LOCAL_HEADER_SIZE = 30
FLIPS = 8
PREPEND = 1024
ZEROED_HEAD = 4096
TRUNCATIONS = (50, 80, 95)
DOCUMENT = "word/document.xml"
STYLES = "word/styles.xml"
CONTENT_TYPES = "[Content_Types].xml"
RECOVER_TIMEOUT = 300
LO_TIMEOUT = 120
LO_FILTER = "MS Word 2007 XML"

TRUNCATED = [f"truncated {pct}%" for pct in TRUNCATIONS]
CD_ZEROED = "central directory zeroed"
DOCUMENT_FLIPPED = "document.xml 8 bytes flipped"
STYLES_FLIPPED = "styles.xml 8 bytes flipped"
IMAGE_FLIPPED = "image 8 bytes flipped"
HEAD_ZEROED = "first 4 KiB zeroed"
PREPENDED = "1 KiB prepended"
SIGNATURE_ZEROED = "document.xml signature zeroed"
CONTENT_TYPES_CUT = "[Content_Types].xml cut"
KINDS = TRUNCATED + [CD_ZEROED, DOCUMENT_FLIPPED, STYLES_FLIPPED, IMAGE_FLIPPED, HEAD_ZEROED,
                     PREPENDED, SIGNATURE_ZEROED, CONTENT_TYPES_CUT]


# ---------------------------------------------------------------- words


TOKEN = re.compile(rb"<w:t(?:\s[^>]*)?>([^<]*)</w:t>|</w:p>|<w:(?:tab|br|cr)\b[^>]*/>")
ENTITY = re.compile(rb"&(#[0-9]+|#x[0-9a-fA-F]+|[A-Za-z]+);")
WORD = re.compile(r"\w+")


def text_with_offsets(xml):
    """The <w:t> text of a document.xml with, per character, the span of XML bytes it came
    from; separators between paragraphs, tabs and breaks have no span."""
    chars, starts, ends = [], [], []
    for m in TOKEN.finditer(xml):
        if m.group(1) is None:
            chars.append(" "); starts.append(-1); ends.append(-1)
            continue
        content, base, pos = m.group(1), m.start(1), 0
        pieces = []
        for e in ENTITY.finditer(content):
            pieces.append((pos, e.start(), None))
            pieces.append((e.start(), e.end(), html.unescape(e.group(0).decode("ascii"))))
            pos = e.end()
        pieces.append((pos, len(content), None))
        for a, b, decoded in pieces:
            if decoded is not None:
                for c in decoded:
                    chars.append(c); starts.append(base + a); ends.append(base + b)
                continue
            at = base + a
            for c in content[a:b].decode("utf-8", "surrogateescape"):
                n = len(c.encode("utf-8", "surrogateescape"))
                chars.append(c); starts.append(at); ends.append(at + n)
                at += n
        chars.append("")  # runs of one paragraph join without a separator
        starts.append(-1); ends.append(-1)
    # Drop the empty joiners but keep the offsets aligned with the text.
    text, s2, e2 = [], [], []
    for c, s, e in zip(chars, starts, ends):
        if c:
            text.append(c); s2.append(s); e2.append(e)
    return "".join(text), s2, e2


def words_with_spans(xml):
    text, starts, ends = text_with_offsets(xml)
    return [(m.group(0).lower(), starts[m.start()], ends[m.end() - 1])
            for m in WORD.finditer(text)]


def docx_words(path):
    """Words of a .docx's word/document.xml, or None when the package or entry is unreadable."""
    try:
        with zipfile.ZipFile(path) as z:
            xml = z.read(DOCUMENT)
    except Exception:
        return None
    return [w for w, _, _ in words_with_spans(xml)]


def lcs_length(a, b):
    """Exact longest common subsequence length of two lists (bit-parallel, one big-integer
    step per element of b)."""
    if not a or not b:
        return 0
    masks = {}
    for i, w in enumerate(a):
        masks[w] = masks.get(w, 0) | (1 << i)
    full = (1 << len(a)) - 1
    v = full
    for w in b:
        m = masks.get(w)
        if m is None:
            continue
        u = v & m
        v = ((v + u) | (v - u)) & full
    return len(a) - bin(v).count("1")


# ---------------------------------------------------------------- tracing inflate

LEN_BASE = [3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99,
            115, 131, 163, 195, 227, 258]
LEN_EXTRA = [0] * 8 + [1] * 4 + [2] * 4 + [3] * 4 + [4] * 4 + [5] * 4 + [0]
DIST_BASE = [1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513, 769,
             1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577]
DIST_EXTRA = [0, 0, 0, 0] + [i // 2 for i in range(2, 28)]
CL_ORDER = [16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15]


class DeflateError(Exception):
    pass


def huffman_table(lengths):
    """A lookup table indexed by the next max-length bits (LSB first): (symbol, length)."""
    maxlen = max(lengths) if lengths else 0
    if maxlen == 0:
        return [], 0
    count = [0] * (maxlen + 1)
    for n in lengths:
        if n:
            count[n] += 1
    code, next_code = 0, [0] * (maxlen + 1)
    for n in range(1, maxlen + 1):
        code = (code + count[n - 1]) << 1
        next_code[n] = code
    table = [None] * (1 << maxlen)
    for sym, n in enumerate(lengths):
        if not n:
            continue
        c = next_code[n]; next_code[n] += 1
        r = int(format(c, f"0{n}b")[::-1], 2)
        for k in range(r, 1 << maxlen, 1 << n):
            table[k] = (sym, n)
    return table, maxlen


FIXED_LIT = huffman_table([8] * 144 + [9] * 112 + [7] * 24 + [8] * 8)
FIXED_DIST = huffman_table([5] * 30)


def trace_inflate(comp):
    """Inflates raw deflate data, returning (output, symbol, block, copied_from): per output
    byte the (first, last) indices of the compressed bytes holding its symbol, the (first,
    last) indices of its block header's bytes, and the output index it copies (-1 for a
    literal)."""
    out = bytearray()
    prod, blk, src = [], [], []
    state = {"pos": 0, "buf": 0, "cnt": 0}
    n_in = len(comp)

    def need(n):
        while state["cnt"] < n:
            if state["pos"] >= n_in:
                raise DeflateError("input ends inside the stream")
            state["buf"] |= comp[state["pos"]] << state["cnt"]
            state["pos"] += 1
            state["cnt"] += 8

    def bits(n):
        if n == 0:
            return 0
        need(n)
        v = state["buf"] & ((1 << n) - 1)
        state["buf"] >>= n
        state["cnt"] -= n
        return v

    def decode(tab):
        table, maxlen = tab
        while state["cnt"] < maxlen and state["pos"] < n_in:
            state["buf"] |= comp[state["pos"]] << state["cnt"]
            state["pos"] += 1
            state["cnt"] += 8
        e = table[state["buf"] & ((1 << maxlen) - 1)] if table else None
        if e is None or e[1] > state["cnt"]:
            raise DeflateError("bad or cut Huffman code")
        state["buf"] >>= e[1]
        state["cnt"] -= e[1]
        return e[0]

    def last_byte():
        return (state["pos"] * 8 - state["cnt"] - 1) // 8

    def next_byte():
        return (state["pos"] * 8 - state["cnt"]) // 8

    final = False
    while not final:
        start = (state["pos"] * 8 - state["cnt"]) // 8
        final = bits(1) == 1
        kind = bits(2)
        if kind == 0:
            state["buf"] >>= state["cnt"] % 8
            state["cnt"] -= state["cnt"] % 8
            length, nlength = bits(16), bits(16)
            if length != (~nlength & 0xFFFF):
                raise DeflateError("stored block length check fails")
            header = (start, last_byte())
            for _ in range(length):
                first = next_byte()
                out.append(bits(8)); prod.append((first, last_byte())); blk.append(header)
                src.append(-1)
            continue
        if kind == 1:
            lit, dist = FIXED_LIT, FIXED_DIST
        elif kind == 2:
            hlit, hdist, hclen = bits(5) + 257, bits(5) + 1, bits(4) + 4
            cl = [0] * 19
            for i in range(hclen):
                cl[CL_ORDER[i]] = bits(3)
            cltab = huffman_table(cl)
            lengths = []
            while len(lengths) < hlit + hdist:
                s = decode(cltab)
                if s < 16:
                    lengths.append(s)
                elif s == 16:
                    if not lengths:
                        raise DeflateError("repeat with no previous length")
                    lengths += [lengths[-1]] * (3 + bits(2))
                elif s == 17:
                    lengths += [0] * (3 + bits(3))
                else:
                    lengths += [0] * (11 + bits(7))
            lit, dist = huffman_table(lengths[:hlit]), huffman_table(lengths[hlit:hlit + hdist])
        else:
            raise DeflateError("reserved block type")
        header = (start, last_byte())
        while True:
            first = next_byte()
            s = decode(lit)
            if s < 256:
                out.append(s); prod.append((first, last_byte())); blk.append(header)
                src.append(-1)
                continue
            if s == 256:
                break
            s -= 257
            if s >= len(LEN_BASE):
                raise DeflateError("bad length code")
            length = LEN_BASE[s] + bits(LEN_EXTRA[s])
            d = decode(dist)
            if d >= len(DIST_BASE):
                raise DeflateError("bad distance code")
            distance = DIST_BASE[d] + bits(DIST_EXTRA[d])
            if distance > len(out):
                raise DeflateError("distance before the start")
            at, b = (first, last_byte()), len(out) - distance
            for i in range(length):
                out.append(out[b + i]); prod.append(at); blk.append(header); src.append(b + i)
    return bytes(out), prod, blk, src


# ---------------------------------------------------------------- the original's layout


def extra_ids(extra):
    ids, i = [], 0
    while i + 4 <= len(extra):
        tag, size = struct.unpack_from("<HH", extra, i)
        ids.append(tag)
        i += 4 + size
    return ids


def local_record(data, info):
    """(header start, data start, data end, record end) of an entry's local record."""
    off = info.header_offset
    sig, _, flags, _, _, _, _, _, _, n, e = struct.unpack_from("<IHHHHHIIIHH", data, off)
    if sig != LOCAL_SIG:
        raise ValueError(f"{info.filename}: no local header at {off}")
    start = off + LOCAL_HEADER_SIZE + n + e
    end = start + info.compress_size
    rec_end = end
    if flags & 0x08:  # a data descriptor follows: optional signature, CRC and two sizes
        has_sig = end + 4 <= len(data) and data[end:end + 4] == DESCRIPTOR_SIG.to_bytes(4, "little")
        wide = ZIP64_EXTRA in extra_ids(data[start - e:start])
        rec_end = end + (4 if has_sig else 0) + (20 if wide else 12)
    return off, start, end, min(rec_end, len(data))


def central_directory_start(data, z):
    pos = data.rfind(END_SIG)
    if pos >= 0 and pos + 20 <= len(data):
        cd = struct.unpack_from("<I", data, pos + 16)[0]
        if cd != 0xFFFFFFFF:
            return cd
    return z.start_dir  # zip64: let zipfile's own reading say


class Original:
    """What the survey needs to know of an intact corpus .docx."""

    def __init__(self, path):
        self.path = path
        self.name = os.path.basename(path)
        self.data = open(path, "rb").read()
        with zipfile.ZipFile(path) as z:
            infos = {i.filename: i for i in z.infolist()}
            if DOCUMENT not in infos:
                raise ValueError("no word/document.xml")
            self.records = {name: local_record(self.data, i) for name, i in infos.items()}
            self.cd_start = central_directory_start(self.data, z)
            self.xml = z.read(DOCUMENT)
            self.doc_info = infos[DOCUMENT]
        self.images = sorted(n for n in infos if n.startswith("word/media/")
                             and self.records[n][2] > self.records[n][1])
        self.words = words_with_spans(self.xml)
        self.word_list = [w for w, _, _ in self.words]
        self.trace = None
        if self.doc_info.compress_type == zipfile.ZIP_DEFLATED:
            _, s, e, _ = self.records[DOCUMENT]
            comp = self.data[s:e]
            try:
                traced = trace_inflate(comp)
                if traced[0] != zlib.decompress(comp, -15) or traced[0] != self.xml:
                    raise DeflateError("traced output differs from zlib's")
                self.trace = traced
            except DeflateError as e:
                print(f"{self.name}: no ceiling ({e})", file=sys.stderr)
        elif self.doc_info.compress_type == zipfile.ZIP_STORED:
            n = len(self.xml)
            # A stored byte stands alone: its own byte is its symbol, and there is no header.
            self.trace = (self.xml, [(i, i) for i in range(n)], [(0, -1)] * n, [-1] * n)

    def ceiling(self, damaged, shift):
        """Share of the original's words whose document.xml bytes survive in `damaged`, where
        the entry's data now begins `shift` bytes from its original place."""
        if not self.words:
            return 1.0
        if self.trace is None:
            return None
        _, s, e, _ = self.records[DOCUMENT]
        comp_len = e - s
        lost_before = [0] * (comp_len + 1)  # damaged compressed bytes before index i
        for i in range(comp_len):
            j = s + shift + i
            hit = j < 0 or j >= len(damaged) or damaged[j] != self.data[s + i]
            lost_before[i + 1] = lost_before[i] + (1 if hit else 0)
        if lost_before[comp_len] == 0:
            return 1.0

        def intact(span):
            return lost_before[span[1] + 1] == lost_before[span[0]]

        _, prod, blk, src = self.trace
        n = len(prod)
        ok = bytearray(n)
        for o in range(n):
            if intact(blk[o]) and intact(prod[o]) and (src[o] < 0 or ok[src[o]]):
                ok[o] = 1
        bad_before = [0] * (n + 1)
        for o in range(n):
            bad_before[o + 1] = bad_before[o] + (0 if ok[o] else 1)
        kept = sum(1 for _, a, b in self.words if bad_before[b] == bad_before[a])
        return kept / len(self.words)


# ---------------------------------------------------------------- damage


def flip(orig, start, end, rng):
    d = bytearray(orig)
    for i in rng.sample(range(start, end), min(FLIPS, end - start)):
        d[i] ^= rng.randrange(1, 256)
    return bytes(d)


def damages(o, seeds):
    """(kind, seed or None, damaged bytes, shift of document.xml's data) for every copy."""
    data = o.data
    out = []
    for kind, pct in zip(TRUNCATED, TRUNCATIONS):
        out.append((kind, None, data[: len(data) * pct // 100], 0))
    d = bytearray(data)
    d[o.cd_start:] = bytes(len(data) - o.cd_start)
    out.append((CD_ZEROED, None, bytes(d), 0))
    for seed in range(seeds):
        for kind, entry in ((DOCUMENT_FLIPPED, DOCUMENT), (STYLES_FLIPPED, STYLES)):
            if entry in o.records:
                rng = random.Random(f"{seed}:{kind}:{o.name}")
                _, s, e, _ = o.records[entry]
                out.append((kind, seed, flip(data, s, e, rng), 0))
        if o.images:
            rng = random.Random(f"{seed}:{IMAGE_FLIPPED}:{o.name}")
            _, s, e, _ = o.records[rng.choice(o.images)]
            out.append((IMAGE_FLIPPED, seed, flip(data, s, e, rng), 0))
    d = bytearray(data)
    d[:ZEROED_HEAD] = bytes(min(ZEROED_HEAD, len(data)))
    out.append((HEAD_ZEROED, None, bytes(d), 0))
    for seed in range(seeds):
        rng = random.Random(f"{seed}:{PREPENDED}:{o.name}")
        out.append((PREPENDED, seed, rng.randbytes(PREPEND) + data, PREPEND))
    d = bytearray(data)
    h = o.records[DOCUMENT][0]
    d[h:h + 4] = bytes(4)
    out.append((SIGNATURE_ZEROED, None, bytes(d), 0))
    if CONTENT_TYPES in o.records:
        h, _, _, r = o.records[CONTENT_TYPES]
        shift = -(r - h) if h < o.records[DOCUMENT][0] else 0
        out.append((CONTENT_TYPES_CUT, None, data[:h] + data[r:], shift))
    return out


# ---------------------------------------------------------------- recovery and LibreOffice


def recover(morvel, damaged_path, outdir):
    """Paths of the full and text-only documents `morvel recover` wrote (None when not) and
    the errors it reported."""
    os.makedirs(outdir)
    try:
        r = subprocess.run([morvel, "recover", "--json", "-o", outdir, damaged_path],
                           capture_output=True, timeout=RECOVER_TIMEOUT)
    except subprocess.TimeoutExpired:
        return None, None, "recovery timed out"
    full = text = None
    errors = []
    for line in r.stdout.decode("utf-8", "replace").splitlines():
        try:
            rec = json.loads(line)
        except ValueError:
            continue
        errors += rec.get("errors", [])
        for out in rec.get("outputs", []):
            if out["kind"] == "full":
                full = out["path"]
            elif out["kind"] in ("text", "filtered"):
                text = out["path"]
    if r.returncode not in (0, 1, 2):
        errors.append(f"exit status {r.returncode}")
    return full, text, "; ".join(errors)


class LibreOffice:
    """Converts copies of documents to text, one private profile per worker thread."""

    def __init__(self, scratch):
        self.scratch = scratch
        self.local = threading.local()
        self.count = 0
        self.lock = threading.Lock()

    def _profile(self):
        if not hasattr(self.local, "profile"):
            with self.lock:
                self.count += 1
                n = self.count
            self.local.profile = os.path.join(self.scratch, f"lo-profile-{n}")
        return self.local.profile

    def opens(self, path):
        work = tempfile.mkdtemp(dir=self.scratch, prefix="lo-")
        try:
            copy = os.path.join(work, "in.docx")
            shutil.copyfile(path, copy)
            outdir = os.path.join(work, "out")
            os.makedirs(outdir)
            cmd = ["soffice", "--headless", "--norestore",
                   f"-env:UserInstallation=file://{self._profile()}",
                   f"--infilter={LO_FILTER}", "--convert-to", "txt:Text", "--outdir", outdir, copy]
            p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                 start_new_session=True)
            try:
                rc = p.wait(timeout=LO_TIMEOUT)
            except subprocess.TimeoutExpired:
                os.killpg(p.pid, signal.SIGKILL)
                p.wait()
                del self.local.profile  # a killed instance may leave its profile locked
                return False
            produced = os.path.join(outdir, "in.txt")
            if not os.path.exists(produced):
                return False
            return os.path.getsize(produced) > 0 or rc == 0
        finally:
            shutil.rmtree(work, ignore_errors=True)


def check_libreoffice(lo, sample, scratch):
    """LibreOffice must open an intact document and refuse garbage, else its column lies."""
    garbage = os.path.join(scratch, "garbage.docx")
    with open(garbage, "wb") as f:
        f.write(random.Random(7).randbytes(20000))
    plain = os.path.join(scratch, "plain.docx")
    with open(plain, "w") as f:
        f.write("plain words that are not a package\n")
    good, bad, text = lo.opens(sample), lo.opens(garbage), lo.opens(plain)
    if not good or bad or text:
        print(f"LibreOffice check failed: intact opened={good}, garbage opened={bad}, "
              f"plain text opened={text}", file=sys.stderr)
        return False
    return True


# ---------------------------------------------------------------- survey


def share(ref, got):
    """Share of ref's words that got keeps in order; None when ref has no words."""
    if not ref:
        return None
    return lcs_length(ref, got) / len(ref) if got else 0.0


def mean(values):
    return sum(values) / len(values) if values else None


def pct(value):
    return "n/a" if value is None else f"{value:.0%}"


def two(value):
    return "n/a" if value is None else f"{value:.2f}"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("morvel", nargs="?", default="build/cli/morvel")
    ap.add_argument("corpus", nargs="?", default="/work/shared/corpus/docx")
    ap.add_argument("--seeds", type=int, default=3, help="copies of each random kind (3)")
    ap.add_argument("--kinds", metavar="TEXT",
                    help="only kinds whose name holds TEXT (comma: alternatives)")
    ap.add_argument("--no-lo", action="store_true", help="skip the LibreOffice check")
    ap.add_argument("--lo-jobs", type=int, default=2, help="parallel conversions, 1 or 2 (2)")
    ap.add_argument("--json", action="store_true", help="print the results as JSON")
    ap.add_argument("--detail", action="store_true", help="also print one line per copy")
    ap.add_argument("--keep", metavar="DIR", help="keep the damaged copies and outputs in DIR")
    args = ap.parse_args()

    if not (os.path.isfile(args.morvel) and os.access(args.morvel, os.X_OK)):
        print(f"skip: no morvel binary at {args.morvel}")
        return 0
    if not os.path.isdir(args.corpus):
        print(f"skip: no corpus folder {args.corpus}")
        return 0
    files = sorted(f for f in os.listdir(args.corpus)
                   if f.lower().endswith(".docx") and not f.startswith("."))
    if not files:
        print(f"skip: no .docx in {args.corpus}")
        return 0
    use_lo = not args.no_lo and shutil.which("soffice") is not None
    if not args.no_lo and not use_lo:
        print("soffice not found: LibreOffice column left out", file=sys.stderr)
    morvel = os.path.abspath(args.morvel)
    wanted = [w.strip().lower() for w in args.kinds.split(",")] if args.kinds else None
    started = time.monotonic()

    copies = []  # one dict per damaged copy
    with tempfile.TemporaryDirectory(prefix="docx-survey-") as scratch:
        work = args.keep or scratch
        os.makedirs(work, exist_ok=True)
        for f in files:
            try:
                o = Original(os.path.join(args.corpus, f))
            except Exception as e:  # not a readable package to begin with
                print(f"skip {f}: {e}", file=sys.stderr)
                continue
            for n, (kind, seed, data, shift) in enumerate(damages(o, args.seeds)):
                if wanted and not any(w in kind.lower() for w in wanted):
                    continue
                folder = os.path.join(work, f"{os.path.splitext(f)[0]}-{n}")
                os.makedirs(folder)
                damaged = os.path.join(folder, f)
                with open(damaged, "wb") as fh:
                    fh.write(data)
                full, text, note = recover(morvel, damaged, os.path.join(folder, "out"))
                full_words = docx_words(full) if full else None
                text_words = docx_words(text) if text else None
                copies.append({
                    "file": f, "kind": kind, "seed": seed, "full": full, "text": text,
                    "note": note,
                    "full_unreadable": bool(full) and full_words is None,
                    "full_words": share(o.word_list, full_words),
                    "text_words": share(o.word_list, text_words),
                    "ceiling": o.ceiling(data, shift) if o.words else None,
                    "lo": None,
                })
        if use_lo:
            lo = LibreOffice(scratch)
            sample = os.path.join(args.corpus, next(c["file"] for c in copies)) if copies else None
            if sample and not check_libreoffice(lo, sample, scratch):
                use_lo = False
        if use_lo:
            todo = [c for c in copies if c["full"]]
            jobs = max(1, min(2, args.lo_jobs))
            with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
                for c, opened in zip(todo, pool.map(lambda c: lo.opens(c["full"]), todo)):
                    c["lo"] = opened
        for c in copies:  # the temporary paths mean nothing once the run is over
            c["full"] = bool(c["full"])
            c["text"] = bool(c["text"])

    kinds = [k for k in KINDS if any(c["kind"] == k for c in copies)]
    rows = []
    for kind in kinds + ["all kinds"]:
        cs = [c for c in copies if kind == "all kinds" or c["kind"] == kind]
        ceilings = [c["ceiling"] for c in cs if c["ceiling"] is not None]
        scored = [c for c in cs if c["full_words"] is not None]
        rows.append({
            "kind": kind,
            "copies": len(cs),
            "full_written": sum(c["full"] for c in cs),
            "lo_opens": sum(bool(c["lo"]) for c in cs) if use_lo else None,
            "full_words": mean([c["full_words"] for c in scored]),
            "text_words": mean([c["text_words"] for c in scored]),
            "ceiling": mean(ceilings),
        })
    seconds = time.monotonic() - started

    if args.json:
        print(json.dumps({"rows": rows, "copies": copies, "seconds": round(seconds, 1),
                          "seeds": args.seeds, "libreoffice": use_lo}, indent=1))
        return 0
    if args.detail:
        for c in copies:
            lo = "-" if c["lo"] is None else "yes" if c["lo"] else "no"
            seed = "-" if c["seed"] is None else c["seed"]
            print(f"{c['kind']:30} {c['file']:32} seed={seed} "
                  f"full={'yes' if c['full'] else 'no '} lo={lo:3} "
                  f"full_words={two(c['full_words'])} text_words={two(c['text_words'])} "
                  f"ceiling={two(c['ceiling'])}"
                  + (" full-unreadable" if c["full_unreadable"] else "")
                  + (f" {c['note']}" if c["note"] else ""))
        print()
    head = ("kind", "copies", "full written", "LO opens", "full words", "text-only words",
            "ceiling")
    print("| " + " | ".join(head) + " |")
    print("|" + "|".join(["---"] + ["---:"] * (len(head) - 1)) + "|")
    for r in rows:
        lo = "-" if r["lo_opens"] is None else str(r["lo_opens"])
        print(f"| {r['kind']} | {r['copies']} | {r['full_written']} | {lo} | "
              f"{pct(r['full_words'])} | {pct(r['text_words'])} | {pct(r['ceiling'])} |")
    unreadable = sum(c["full_unreadable"] for c in copies)
    if unreadable:
        print(f"\n{unreadable} full documents whose word/document.xml python's zipfile "
              f"cannot read", file=sys.stderr)
    print(f"\n{len(copies)} copies, {seconds:.0f} s", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
