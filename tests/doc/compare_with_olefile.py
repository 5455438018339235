"""Checks `morvel inspect` against python3-olefile on one compound file.

compare_with_olefile.py MORVEL ORIGINAL            every stream inspect reports for ORIGINAL has
                                                   olefile's path, size and bytes, and none is
                                                   missing when the tree walk completed
compare_with_olefile.py MORVEL ORIGINAL DAMAGED    the WordDocument, table and Data streams that
                                                   inspect finds in DAMAGED have ORIGINAL's bytes
Exit status 0 when they agree, 1 with the differences printed, 77 when olefile cannot read
ORIGINAL.
"""
import hashlib
import json
import subprocess
import sys

import olefile


def olefile_streams(path):
    ole = olefile.OleFileIO(path)
    out = {}
    for parts in ole.listdir(streams=True, storages=False):
        data = ole.openstream(parts).read()
        out["/".join(parts)] = (len(data), hashlib.sha256(data).hexdigest())
    return out


def inspect(morvel, path):
    text = subprocess.run([morvel, "inspect", path], check=True, capture_output=True,
                          text=True).stdout
    return json.loads(text)


def main():
    morvel, original = sys.argv[1], sys.argv[2]
    damaged = sys.argv[3] if len(sys.argv) > 3 else None
    try:
        expected = olefile_streams(original)
    except Exception as e:  # olefile refuses the file: nothing to compare with
        print(f"olefile cannot read {original}: {e}")
        return 77
    report = inspect(morvel, damaged or original)
    problems = []
    entries = report.get("entries", [])
    if damaged is None:
        seen = set()
        for e in entries:
            if e["type"] != 2:
                continue
            seen.add(e["path"])
            want = expected.get(e["path"])
            got = (e["size"], e["sha256"])
            if want is None:
                problems.append(f"{e['path']}: not a stream for olefile")
            elif want != got or e["bytesRead"] != e["size"]:
                problems.append(f"{e['path']}: olefile {want}, inspect {got} "
                                f"({e['bytesRead']} bytes read)")
        # A completed tree walk reaches every stream.
        if report.get("treeWalked"):
            for path in sorted(set(expected) - seen):
                problems.append(f"{path}: missing from inspect")
    else:
        roles = report.get("roles", {})
        for role in ("WordDocument", "1Table", "0Table", "Data"):
            if role not in expected:
                continue
            index = roles.get(role, -1)
            if index < 0:
                problems.append(f"{role}: not found in the damaged file")
                continue
            e = entries[index]
            if e.get("sha256") != expected[role][1]:
                problems.append(f"{role}: bytes differ ({e.get('bytesRead')} read, "
                                f"{expected[role][0]} expected)")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
