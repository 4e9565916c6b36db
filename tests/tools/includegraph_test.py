#!/usr/bin/env python3
"""The include-graph check fails on an include or a library link against the
layer order.

Each case copies the product folders' sources and build files into a
temporary tree, plants one include line or link and runs
tools/includegraph.py on the copy.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SCRIPT = os.path.join(ROOT, "tools", "includegraph.py")
TOPS = ["platform", "engine", "common", "store", "ui", "app", "phonebook", "sms",
        "melody", "clock", "security", "dataapps", "zorqmmi", "uninstaller"]


def copy_sources(dest):
    for top in TOPS:
        src = os.path.join(ROOT, top)
        if os.path.isdir(src):
            shutil.copytree(src, os.path.join(dest, top),
                            ignore=shutil.ignore_patterns("*.md", "*.in", "*.ui"))


def first_header(root, folder):
    base = os.path.join(root, folder)
    for dirpath, _, names in sorted(os.walk(base)):
        for name in sorted(names):
            if name.endswith(".h"):
                return os.path.join(dirpath, name)
    raise AssertionError(f"no header under {folder}")


def plant(path, include):
    with open(path, "a", encoding="utf-8") as f:
        f.write(f'\n#include "{include}"\n')


def run(root):
    proc = subprocess.run([sys.executable, SCRIPT, "--root", root, "--quiet"],
                          capture_output=True, text=True)
    return proc.returncode, proc.stdout


class IncludeGraph(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="includegraph-")
        copy_sources(self.tmp)

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def test_copy_of_the_tree_passes(self):
        code, out = run(self.tmp)
        self.assertEqual(code, 0, out)
        self.assertIn("0 against the layer order, 0 ambiguous", out)
        self.assertIn("0 against the layer order", out.splitlines()[-1])

    def test_engine_including_the_document_fails(self):
        target = first_header(self.tmp, "engine")
        plant(target, "zorqmmidoc.h")
        code, out = run(self.tmp)
        self.assertEqual(code, 1, out)
        self.assertRegex(out, r"engine(/\w+)? -> app \(1\)  \[upward: engine/")
        self.assertIn("1 against the layer order", out)

    def test_platform_including_a_screen_fails(self):
        plant(first_header(self.tmp, "platform"), "shortmsg.h")
        code, out = run(self.tmp)
        self.assertEqual(code, 1, out)
        self.assertIn("platform -> sms (1)  [upward", out)

    def test_screen_including_the_program_fails(self):
        plant(first_header(self.tmp, "clock"), "zorqprogram.h")
        code, out = run(self.tmp)
        self.assertEqual(code, 1, out)
        self.assertIn("clock -> zorqmmi", out)

    def test_uninstaller_stands_apart(self):
        plant(first_header(self.tmp, "uninstaller"), "strutil.h")
        code, out = run(self.tmp)
        self.assertEqual(code, 1, out)
        self.assertIn("[stand-alone folder", out)

    def test_screens_may_include_one_another(self):
        plant(first_header(self.tmp, "melody"), "pbdatabase.h")
        plant(first_header(self.tmp, "dataapps"), "shortmsg.h")
        code, out = run(self.tmp)
        self.assertEqual(code, 0, out)

    def test_store_including_an_interface_component_fails(self):
        plant(first_header(self.tmp, "store"), "dlgbase.h")
        code, out = run(self.tmp)
        self.assertEqual(code, 1, out)
        self.assertIn("store -> ui (1)  [side by side", out)

    def test_store_linking_the_application_core_fails(self):
        with open(os.path.join(self.tmp, "store", "CMakeLists.txt"), "a", encoding="utf-8") as f:
            f.write("\ntarget_link_libraries(store PUBLIC app)\n")
        code, out = run(self.tmp)
        self.assertEqual(code, 1, out)
        self.assertIn("store links app  [upward: store/CMakeLists.txt]", out)
        self.assertIn("1 against the layer order", out.splitlines()[-1])

    def test_header_name_in_two_folders_is_reported(self):
        shutil.copy(first_header(self.tmp, "ui"), os.path.join(self.tmp, "platform", "twice.h"))
        shutil.copy(first_header(self.tmp, "ui"), os.path.join(self.tmp, "engine", "twice.h"))
        plant(first_header(self.tmp, "app"), "twice.h")
        code, out = run(self.tmp)
        self.assertEqual(code, 1, out)
        self.assertIn("ambiguous include", out)


if __name__ == "__main__":
    unittest.main()
