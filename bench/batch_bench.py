#!/usr/bin/env python3
"""Times `morvel recover` over a whole batch.

1. The corpus copied COPIES times into a temporary folder, recovered with -j 1 and with -j 2
   in turn (A B A B ...); the medians and the ratio of each pair are printed.
2. The corpus once, recovered by morvel and converted to .docx by LibreOffice headless
   (on a copy, with a profile of its own), for a whole-batch comparison.
3. The fixed cost of one document: TINY copies of the smallest .doc of the corpus, CPU time
   (user + system) divided by their number.

Times are whole-process figures from the kernel's accounting of each finished child.
Every run writes into an output folder of its own, and the outputs are deleted only when the
bench ends: a file system that avoids reusing recently freed inodes (ext4) makes each file
created just after thousands were deleted search past them, which would time the previous
run's clean-up rather than this one (--reuse-output measures that way, deleting the output
folder before each run).
Usage: bench/batch_bench.py [--morvel build/cli/morvel] [--corpus DIR] [--copies 50]
       [--runs 3] [--tiny 1000] [--no-office] [--reuse-output]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path


def run_timed(argv, cwd=None):
    """Runs argv to the end; returns (wall seconds, cpu seconds, exit status)."""
    start = time.monotonic()
    proc = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    return wall, usage.ru_utime + usage.ru_stime, proc.returncode


def corpus_files(corpus):
    files = []
    for sub in ("doc", "docx"):
        folder = corpus / sub
        if folder.is_dir():
            files += sorted(p for p in folder.iterdir() if p.is_file() and not p.name.startswith("."))
    return files


def copy_corpus(files, dest, copies):
    for k in range(copies):
        folder = dest / f"copy{k:03d}"
        folder.mkdir(parents=True)
        for f in files:
            shutil.copyfile(f, folder / f.name)


class Outputs:
    """Names the output folder of each run: a new one each time, or one reused (emptied)."""

    def __init__(self, reuse):
        self.reuse = reuse
        self.count = 0

    def folder(self, base):
        if self.reuse:
            shutil.rmtree(base, ignore_errors=True)
            return base
        self.count += 1
        return base.with_name(f"{base.name}-{self.count:03d}")


def recover(morvel, jobs, inputs, out):
    return run_timed([str(morvel), "recover", "-q", "-j", str(jobs), "-o", str(out)] + inputs)


def fmt(values):
    return f"median {statistics.median(values):.3f} (min {min(values):.3f}, max {max(values):.3f})"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--morvel", default="build/cli/morvel")
    ap.add_argument("--corpus", default=os.environ.get("MORVEL_CORPUS", "/work/shared/corpus"))
    ap.add_argument("--copies", type=int, default=50)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--tiny", type=int, default=1000)
    ap.add_argument("--no-office", action="store_true", help="leave out LibreOffice")
    ap.add_argument("--reuse-output", action="store_true",
                    help="delete and reuse one output folder per section")
    args = ap.parse_args()
    outs = Outputs(args.reuse_output)

    morvel = Path(args.morvel).resolve()
    files = corpus_files(Path(args.corpus))
    if not files:
        print(f"no corpus in {args.corpus}", file=sys.stderr)
        return 2

    with tempfile.TemporaryDirectory(prefix="morvel-batch-bench-") as tmp:
        tmp = Path(tmp)
        batch = tmp / "batch"
        copy_corpus(files, batch, args.copies)
        n = len(files) * args.copies
        print(f"1. {n} documents ({len(files)} corpus files x {args.copies}), {args.runs} runs each")
        recover(morvel, 1, [str(batch)], outs.folder(tmp / "out"))  # warm-up: page cache
        walls = {1: [], 2: []}
        cpus = {1: [], 2: []}
        ratios = []
        for _ in range(args.runs):
            pair = {}
            for jobs in (1, 2):
                wall, cpu, _ = recover(morvel, jobs, [str(batch)], outs.folder(tmp / "out"))
                walls[jobs].append(wall)
                cpus[jobs].append(cpu)
                pair[jobs] = wall
            ratios.append(pair[1] / pair[2])
        for jobs in (1, 2):
            print(f"   -j {jobs}: wall {fmt(walls[jobs])} s, cpu {fmt(cpus[jobs])} s, "
                  f"{statistics.median(walls[jobs]) / n * 1000:.2f} ms wall per document")
        print(f"   wall -j 1 / -j 2: {fmt(ratios)} (cores: {os.cpu_count()})")

        once = tmp / "once"
        copy_corpus(files, once, 1)
        docs = sorted(str(p) for p in (once / "copy000").iterdir())
        print(f"2. the corpus once ({len(docs)} files)")
        once_cpu = {}
        for jobs in (1, 2):
            once_walls, once_cpus = [], []
            for _ in range(args.runs):
                wall, cpu, _ = recover(morvel, jobs, docs, outs.folder(tmp / "out-once"))
                once_walls.append(wall)
                once_cpus.append(cpu)
            once_cpu[jobs] = statistics.median(once_cpus)
            print(f"   morvel -j {jobs}: wall {fmt(once_walls)} s, cpu {fmt(once_cpus)} s")
        soffice = shutil.which("soffice")
        if soffice and not args.no_office:
            profile = tmp / "office-profile"
            base = [soffice, f"-env:UserInstallation=file://{profile}", "--headless",
                    "--convert-to", "docx"]
            run_timed(base + ["--outdir", str(tmp / "office-warm"), docs[0]])  # makes the profile
            # .doc and .docx of one name would land on one .docx: a folder for each.
            total_wall = total_cpu = 0.0
            for ext in (".doc", ".docx"):
                group = [d for d in docs if d.lower().endswith(ext)]
                if group:
                    wall, cpu, _ = run_timed(base + ["--outdir", str(tmp / f"office{ext}")] + group)
                    total_wall += wall
                    total_cpu += cpu
            print(f"   LibreOffice headless: wall {total_wall:.3f} s, cpu {total_cpu:.3f} s")
            if once_cpu[1] > 0:
                print(f"   cpu LibreOffice / morvel -j 1: {total_cpu / once_cpu[1]:.0f}x")
        else:
            print("   LibreOffice headless: left out")

        docs_only = [f for f in files if f.suffix.lower() == ".doc"]
        if docs_only and args.tiny > 0:
            smallest = min(docs_only, key=lambda p: p.stat().st_size)
            tiny = tmp / "tiny"
            tiny.mkdir()
            for k in range(args.tiny):
                shutil.copyfile(smallest, tiny / f"t{k:05d}.doc")
            recover(morvel, 1, [str(tiny)], outs.folder(tmp / "out-tiny"))
            cpu_each = []
            for _ in range(args.runs):
                _, cpu, _ = recover(morvel, 1, [str(tiny)], outs.folder(tmp / "out-tiny"))
                cpu_each.append(cpu / args.tiny * 1000)
            print(f"3. fixed cost: {args.tiny} copies of {smallest.name} "
                  f"({smallest.stat().st_size} bytes), -j 1: cpu per document {fmt(cpu_each)} ms")
    return 0


if __name__ == "__main__":
    sys.exit(main())
