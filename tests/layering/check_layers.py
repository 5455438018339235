#!/usr/bin/env python3
"""Checks that the source tree keeps its layers.

Layers, low to high: platform < doc, docx, convert < docwriter < core < discovery < cli, ui.
A file may include headers of its own layer and of lower ones, never of a higher one nor of a
sibling on the same level (doc, docx and convert know nothing of each other, nor do cli and ui).
zlib and libdeflate belong to platform/ and docx/; Qt belongs to ui/.

Every header is included by its path from the repository root ("platform/le_reader.h"), so the
first folder of an include names the layer it comes from. A test suite tests/<layer>/ stands on
its layer. A fixture builder in tests/support/, a tool, a benchmark or a fuzz target stands on
the layers it includes (through other fixture builders too), so a suite may only use the
builders that stand no higher than itself, and only builders that stand on platform/ or docx/
alone may drive zlib to craft compressed fixtures.

Usage: check_layers.py [REPO_ROOT]. Prints each breach and exits 1 when there is one.
"""

import pathlib
import re
import sys

RANK = {
    "platform": 0,
    "doc": 1,
    "docx": 1,
    "convert": 1,
    "docwriter": 2,
    "core": 3,
    "discovery": 4,
    "cli": 5,
    "ui": 5,
}
# Test suites that run the programs rather than one library stand on the top layer.
SUITE_LAYER = {"install": "cli"}
COMPRESSION_LAYERS = {"platform", "docx"}
QT_HOMES = ("ui/", "tests/ui/")
LEAF_FOLDERS = ("tools", "bench", "fuzz")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)
COMPRESSION_HEADERS = re.compile(r"^(zlib\.h|libdeflate\.h)$")
QT_HEADER = re.compile(r"^(Q[A-Za-z]+|Qt[A-Za-z]*/.*|q[a-z_]+\.h)$")
SOURCE_SUFFIXES = {".h", ".cpp"}


def may_use(home, layer):
    """True when a file standing on `home` may include a header of `layer`."""
    return layer == home or RANK[layer] < RANK[home]


def includes_of(path):
    text = path.read_text(encoding="utf-8", errors="replace")
    return [(m.group(1), m.group(2)) for m in INCLUDE.finditer(text)]


def project_layer(name):
    head = name.split("/", 1)[0]
    return head if head in RANK and "/" in name else None


class Tree:
    def __init__(self, root):
        self.root = root
        self._support_needs = {}

    def rel(self, path):
        return path.relative_to(self.root).as_posix()

    def support_needs(self, stem):
        """The layers a fixture builder (header and source together) includes, transitively."""
        if stem in self._support_needs:
            return self._support_needs[stem]
        self._support_needs[stem] = set()  # breaks include cycles
        needs = set()
        for suffix in (".h", ".cpp"):
            path = self.root / "tests" / "support" / (stem + suffix)
            if path.exists():
                needs |= self.needs_of(path)
        self._support_needs[stem] = needs
        return needs

    def needs_of(self, path):
        """The layers one file includes, through fixture builders too."""
        needs = set()
        for kind, name in includes_of(path):
            if kind != '"':
                continue
            layer = project_layer(name)
            if layer:
                needs.add(layer)
            elif name.startswith("tests/support/"):
                needs |= self.support_needs(pathlib.PurePosixPath(name).stem)
        return needs

    def home_of(self, rel):
        """The layer a file stands on, or None when it stands on what it includes."""
        parts = rel.split("/")
        if parts[0] in RANK:
            return parts[0]
        if parts[0] == "tests" and len(parts) > 2 and parts[1] != "support":
            return SUITE_LAYER.get(parts[1], parts[1] if parts[1] in RANK else None)
        return None

    def folders(self):
        return [*RANK, "tests", *LEAF_FOLDERS]

    def cmake_files(self):
        yield self.root / "CMakeLists.txt"
        for folder in self.folders():
            base = self.root / folder
            if base.is_dir():
                yield from sorted(base.rglob("CMakeLists.txt"))

    def sources(self):
        for folder in self.folders():
            base = self.root / folder
            if base.is_dir():
                for path in sorted(base.rglob("*")):
                    if path.suffix in SOURCE_SUFFIXES and path.is_file():
                        yield path

    def check(self):
        problems = []
        for path in self.sources():
            rel = self.rel(path)
            home = self.home_of(rel)
            in_library = rel.split("/", 1)[0] in RANK
            for kind, name in includes_of(path):
                if kind == '"':
                    layer = project_layer(name)
                    if layer and home and not may_use(home, layer):
                        problems.append(f"{rel}: includes {name}, above or beside {home}/")
                    if name.startswith("tests/") and in_library:
                        problems.append(f"{rel}: a library includes test code {name}")
                    if name.startswith("tests/support/") and home:
                        stem = pathlib.PurePosixPath(name).stem
                        for need in sorted(self.support_needs(stem)):
                            if not may_use(home, need):
                                problems.append(
                                    f"{rel}: includes {name}, which stands on {need}/, "
                                    f"above or beside {home}/")
                if COMPRESSION_HEADERS.match(name):
                    stands_on = {home} if home else self.needs_of(path)
                    if rel.startswith("tests/support/"):
                        stands_on = self.support_needs(path.stem)
                    if not stands_on or not stands_on <= COMPRESSION_LAYERS:
                        problems.append(f"{rel}: uses {name} outside platform/ and docx/")
                if kind == "<" and QT_HEADER.match(name) and not rel.startswith(QT_HOMES):
                    problems.append(f"{rel}: uses Qt ({name}) outside ui/")
        for cmake in self.cmake_files():
            rel = self.rel(cmake)
            text = cmake.read_text(encoding="utf-8", errors="replace")
            if "Qt6::" in text and not rel.startswith(QT_HOMES):
                problems.append(f"{rel}: links Qt outside ui/")
        return problems


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    problems = Tree(root).check()
    for line in problems:
        print(line)
    if problems:
        print(f"{len(problems)} layering breach(es)")
        return 1
    print("layers kept")
    return 0


if __name__ == "__main__":
    sys.exit(main())
