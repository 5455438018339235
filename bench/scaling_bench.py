#!/usr/bin/env python3
"""Cost per MB of `morvel recover` at 1x, 2x and 4x inputs of each kind, whole commands.

Kinds: a generated Word 97 document (UTF-16 text, 64 / 128 / 256 MB by default) and generated
.docx packages with a main document of 10 / 20 / 40 MB, intact, with the central directory
zeroed and cut to 80 %. Within one round every input of every kind runs once, sizes in turn
(1x 2x 4x 1x 2x 4x ...), so that a change in the machine's load falls on all sizes alike; the
figure per input is the median over the rounds of CPU milliseconds (user + system of the child)
per MB of document: the .doc file, or the package's main document. A cost that grows linearly gives the same figure at every size; the
spread printed is the largest figure of a kind over its smallest.

Usage: bench/scaling_bench.py [--morvel build/cli/morvel] [--rounds 5] [--doc-mb 64,128,256]
       [--docx-mb 10,20,40] [--work DIR]
The generators are build/bench/bench_doc_recovery and build/bench/docx_vs_unzip beside the
command's build folder.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path


def cpu_of(argv, cwd):
    """Runs argv to the end; returns the child's CPU seconds, or None when it failed."""
    proc = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    code = os.waitstatus_to_exitcode(status)
    # 0 recovered, 1 text only: both are finished recoveries.
    if code not in (0, 1):
        return None
    return usage.ru_utime + usage.ru_stime


def make_inputs(args, build, work):
    """Writes the inputs; returns {kind: [(label, path, MB of document), ...]} in size order."""
    kinds = {}
    doc_gen = build / "bench" / "bench_doc_recovery"
    docs = []
    for mb in args.doc_mb:
        path = work / f"doc_{mb}MB.doc"
        if not path.exists():
            subprocess.run([str(doc_gen), "--write-document", str(path), str(mb)], check=True,
                           stdout=subprocess.DEVNULL)
        docs.append((f"{mb} MB", path, path.stat().st_size / (1 << 20)))
    kinds[".doc"] = docs
    packages = work / "docx"
    sizes = ",".join(str(mb) for mb in args.docx_mb)
    if not packages.exists():
        subprocess.run([str(build / "bench" / "docx_vs_unzip"), "--runs", "1", "--sizes", sizes,
                        "--no-images", "--no-corpus", "--keep", str(packages)], check=True,
                       stdout=subprocess.DEVNULL)
    for suffix, kind in (("", ".docx intact"), ("-cd-zeroed", ".docx cd zeroed"),
                         ("-cut80", ".docx cut 80%")):
        kinds[kind] = [(f"{mb} MB", packages / f"text {mb}MB{suffix}.docx", mb)
                       for mb in args.docx_mb]
    return kinds


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--morvel", default="build/cli/morvel")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--doc-mb", default="64,128,256")
    parser.add_argument("--docx-mb", default="10,20,40")
    parser.add_argument("--work", help="folder for the inputs, kept between runs")
    args = parser.parse_args()
    args.doc_mb = [int(x) for x in args.doc_mb.split(",")]
    args.docx_mb = [int(x) for x in args.docx_mb.split(",")]
    morvel = Path(args.morvel).resolve()
    build = morvel.parent.parent
    work = Path(args.work) if args.work else Path(tempfile.mkdtemp(prefix="morvel-scaling-"))
    work.mkdir(parents=True, exist_ok=True)
    try:
        kinds = make_inputs(args, build, work)
        out = work / "out"
        figures = {(k, label): [] for k, inputs in kinds.items() for label, _, _ in inputs}
        for _ in range(args.rounds):
            for kind, inputs in kinds.items():
                for label, path, mb in inputs:
                    shutil.rmtree(out, ignore_errors=True)
                    # The command runs from its own folder, where its template file lies.
                    cpu = cpu_of([str(morvel), "recover", str(path), "-o", str(out)],
                                 cwd=morvel.parent)
                    if cpu is None:
                        print(f"{kind} {label}: recovery failed", file=sys.stderr)
                        return 1
                    figures[(kind, label)].append(1000.0 * cpu / mb)
        print(f"CPU ms per MB of document, medians of {args.rounds} interleaved rounds")
        print(f"{'kind':<18} " + " ".join(f"{'x' + str(2 ** i):>9}" for i in range(3)) +
              "   spread")
        for kind, inputs in kinds.items():
            medians = [statistics.median(figures[(kind, label)]) for label, _, _ in inputs]
            spread = max(medians) / min(medians)
            sizes = ", ".join(label for label, _, _ in inputs)
            print(f"{kind:<18} " + " ".join(f"{m:9.2f}" for m in medians) +
                  f"   {spread:5.2f}  ({sizes})")
    finally:
        shutil.rmtree(work / "out", ignore_errors=True)
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
