#!/usr/bin/env python3
"""The program's include graph, folder by folder.

Reads every `#include "..."` line of the product folders, resolves each
header to the folder that holds it and prints the folder-to-folder edges
with the number of include lines behind each. The libraries each folder's
CMakeLists.txt links are checked the same way. An edge from a lower layer to
a higher one, or between two folders of one layer that must not know each
other, is marked and makes the exit status 1. Tests, benches and tools are
not product code and are not read.

usage: includegraph.py [--root DIR] [--quiet]
"""

import argparse
import os
import re
import sys

# The layers from the bottom up. Folders of one layer stand side by side and
# include nothing of each other, unless the layer lets its folders share
# (the screens embed one another's panels). The engine's sub-folders are
# layers of their own inside the engine.
LAYERS = [
    (["platform"], False),
    (["engine/kernel"], False),
    (["engine/at", "engine/mmi"], False),
    (["engine/requests"], False),
    (["common"], False),
    (["store", "ui"], False),
    (["app"], False),
    (["phonebook", "sms", "melody", "clock", "security", "dataapps"], True),
    (["zorqmmi"], False),
]
# Folders that stand apart: they include no other folder and none includes
# them.
STANDALONE = ["uninstaller"]

# Edges that exist today and are to go; each is reported but does not fail
# the check. Empty once the tree keeps its order.
ALLOWED = set()

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
LINK = re.compile(r'target_link_libraries\s*\(\s*\S+([^)]*)\)', re.S)
# Library targets that are not named after their folder.
TARGETS = {"zorqmmi_main": "zorqmmi"}
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c")


def product_folders():
    folders = [f for layer, _ in LAYERS for f in layer]
    return folders + STANDALONE


def folder_of(path, root):
    """The product folder (deepest listed one) that holds `path`, or None."""
    rel = os.path.relpath(path, root).replace(os.sep, "/")
    best = None
    for folder in product_folders():
        if rel.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    if best is None and rel.startswith("engine/"):
        best = "engine"  # a file left at the engine's top: no layer of its own
    return best


def scan(root):
    """Every product source file: {path: folder}."""
    files = {}
    tops = sorted({f.split("/")[0] for f in product_folders()})
    for top in tops:
        base = os.path.join(root, top)
        for dirpath, _, names in os.walk(base):
            for name in names:
                if name.endswith(SOURCE_SUFFIXES):
                    path = os.path.join(dirpath, name)
                    folder = folder_of(path, root)
                    if folder:
                        files[path] = folder
    return files


def resolve(include, including, files, by_name, root):
    """The file an include line names, or None when it is not ours."""
    here = os.path.dirname(including)
    for candidate in (os.path.join(here, include), os.path.join(root, include)):
        candidate = os.path.normpath(candidate)
        if candidate in files:
            return candidate
    matches = [p for p in by_name.get(os.path.basename(include), [])
               if p.replace(os.sep, "/").endswith("/" + include)]
    if len(matches) == 1:
        return matches[0]
    if len(matches) > 1:
        # The compiler finds the including folder's own header first.
        for p in matches:
            if files[p] == files[including]:
                return p
        return ("ambiguous", matches)
    return None


def rank(folder):
    for i, (layer, shared) in enumerate(LAYERS):
        if folder in layer:
            return i, shared
    if folder == "engine":
        return 1, False
    return None, False


def wrong(src, dst):
    """Why the edge src -> dst breaks the layer order, or None."""
    if src in STANDALONE or dst in STANDALONE:
        return "stand-alone folder"
    rs, shared = rank(src)
    rd, _ = rank(dst)
    if rs is None or rd is None:
        return None
    if rd > rs:
        return "upward"
    if rd == rs and not shared:
        return "side by side"
    return None


def link_edges(root):
    """{(folder, linked folder): CMakeLists.txt} from each folder's build file."""
    folders = product_folders() + ["engine"]  # one library over every engine layer
    edges = {}
    for dirpath, _, names in os.walk(root):
        if "CMakeLists.txt" not in names:
            continue
        path = os.path.join(dirpath, "CMakeLists.txt")
        folder = os.path.relpath(dirpath, root).replace(os.sep, "/")
        if folder not in folders:
            continue
        with open(path, encoding="utf-8", errors="replace") as f:
            text = re.sub(r"#[^\n]*", "", f.read())
        for m in LINK.finditer(text):
            for word in m.group(1).split():
                dst = TARGETS.get(word, word)
                if dst in folders and dst != folder:
                    edges.setdefault((folder, dst), os.path.relpath(path, root))
    return edges


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    parser.add_argument("--quiet", action="store_true", help="print only the faults")
    args = parser.parse_args()
    root = os.path.normpath(os.path.abspath(args.root))

    files = scan(root)
    by_name = {}
    for path in files:
        by_name.setdefault(os.path.basename(path), []).append(path)

    edges = {}
    where = {}
    ambiguous = []
    for path, folder in sorted(files.items()):
        with open(path, encoding="utf-8", errors="replace") as f:
            for lineno, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = resolve(m.group(1), path, files, by_name, root)
                if target is None:
                    continue
                rel = os.path.relpath(path, root)
                if isinstance(target, tuple):
                    ambiguous.append(f"{rel}:{lineno}: \"{m.group(1)}\" names "
                                     + ", ".join(os.path.relpath(p, root) for p in target[1]))
                    continue
                dst = files[target]
                if dst == folder:
                    continue
                key = (folder, dst)
                edges[key] = edges.get(key, 0) + 1
                where.setdefault(key, f"{rel}:{lineno}")

    faults = 0
    for (src, dst), count in sorted(edges.items(), key=lambda e: (rank(e[0][0])[0] or 0, e[0])):
        why = wrong(src, dst)
        mark = ""
        if why and (src, dst) in ALLOWED:
            mark = f"  [{why}, allowed for now: {where[(src, dst)]}]"
        elif why:
            mark = f"  [{why}: {where[(src, dst)]}]"
            faults += 1
        if mark or not args.quiet:
            print(f"{src} -> {dst} ({count}){mark}")
    for line in ambiguous:
        print(f"ambiguous include: {line}")
    links = link_edges(root)
    link_faults = 0
    for (src, dst), path in sorted(links.items(), key=lambda e: (rank(e[0][0])[0] or 0, e[0])):
        why = wrong(src, dst)
        if why:
            link_faults += 1
        if why or not args.quiet:
            print(f"{src} links {dst}" + (f"  [{why}: {path}]" if why else ""))
    print(f"{len(edges)} edges, {faults} against the layer order, {len(ambiguous)} ambiguous includes")
    print(f"{len(links)} library links, {link_faults} against the layer order")
    return 1 if faults or ambiguous or link_faults else 0


if __name__ == "__main__":
    sys.exit(main())
