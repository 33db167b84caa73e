#!/usr/bin/env python3
"""Checks that every #include "folder/..." in the product code points to the same layer or a
lower one, never up, and that the folders of one layer do not include each other.

The layers, lowest first; a folder may include its own files and anything in a lower layer.
Tests, benchmarks, fuzz targets and tools stand outside the layers and are not checked.
Exit status 1 lists every include that breaks the order.
"""
import pathlib
import re
import sys

LAYERS = [
    ["base"],                                    # text encodings, trace output, GUID text rule
    ["platform"],                                # the seam to the system
    ["log"],                                     # the daily log
    ["core"],                                    # settings, link state, GUID memory, notifier
    ["payload", "serial", "store", "discovery"],  # the domain, side by side
    ["exchange"],                                # copy path, transfer worker, receive loop
    ["ui"],                                      # main window, dialog, tray icon, link panel
    ["app"],                                     # supervisor, the computer, the program
]
# Headers outside the layers that every layer may use (plain macro ids shared with the .rc).
SHARED = {"resources"}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)


def main() -> int:
    root = pathlib.Path(__file__).resolve().parent.parent
    rank = {folder: level for level, group in enumerate(LAYERS) for folder in group}
    problems = []
    for folder, level in rank.items():
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for match in INCLUDE.finditer(path.read_text(encoding="utf-8")):
                target = match.group(1)
                if target == folder or target in SHARED:
                    continue
                relative = path.relative_to(root)
                if target not in rank:
                    problems.append(f"{relative}: includes {target}/, which is in no layer")
                elif rank[target] > level:
                    problems.append(f"{relative}: includes {target}/ (layer {rank[target]}) from layer {level}")
                elif rank[target] == level:
                    problems.append(f"{relative}: includes {target}/ beside it on layer {level}")
    for line in problems:
        print(line)
    checked = sum(len(group) for group in LAYERS)
    print(f"{checked} folders in {len(LAYERS)} layers: {len(problems)} include(s) out of order")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
