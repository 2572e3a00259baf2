#!/usr/bin/env python3
"""Runs scripts/check-layers on small trees and checks which includes it lets through."""
import os
import subprocess
import sys
import tempfile
import unittest

CHECKER = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check-layers")

# Headers every tree below has, so that the includes of the cases name real files.
HEADERS = [
    "platform/basekit/object.h",
    "platform/winkit/window.h",
    "core/preferences.h",
    "document/movie_document.h",
    "player/window/window_controller.h",
    "fullscreen/presentation_window_controller.h",
    "inspectors/pane_interface.h",
    "inspectors/movie_info.h",
    "app/application_delegate.h",
    "tests/support/test_support.h",
]

# (what the case shows, the file that includes, what it includes, whether the checker lets it through)
CASES = [
    ("a subsystem includes one below it", "player/window/movie_view.cpp", "document/movie_document.h", True),
    ("a subsystem includes its own folder", "player/controls/image_button.cpp",
     "player/window/window_controller.h", True),
    ("a header found beside the including file", "player/window/movie_view.cpp", "window_controller.h", True),
    ("the document includes the player", "document/movie_document.cpp",
     "player/window/window_controller.h", False),
    ("core includes the application", "core/preferences.cpp", "app/application_delegate.h", False),
    ("the platform includes a subsystem", "platform/winkit/window.cpp", "core/preferences.h", False),
    ("a lower platform library includes a higher one", "platform/basekit/object.cpp",
     "platform/winkit/window.h", False),
    ("a test includes what its subject includes", "tests/player/window_test.cpp",
     "document/movie_document.h", True),
    ("a test includes a layer above its subject", "tests/document/open_test.cpp",
     "fullscreen/presentation_window_controller.h", False),
    ("a test includes the shared test support", "tests/platform/basekit/object_test.cpp",
     "test_support.h", True),
    ("the shared test support includes a subsystem", "tests/support/test_support.cpp",
     "document/movie_document.h", False),
    ("a pane includes the pane interface", "panes/SoundPane/sound_pane.h", "inspectors/pane_interface.h", True),
    ("a pane includes the platform", "panes/SoundPane/sound_pane.h", "platform/winkit/window.h", True),
    ("a pane includes another header of the inspectors", "panes/SoundPane/sound_pane.h",
     "inspectors/movie_info.h", False),
    ("the launcher includes a subsystem", "launcher/chooser.cpp", "core/preferences.h", False),
    ("the program's entry point includes the application", "app/program/main.cpp",
     "app/application_delegate.h", True),
    ("a header that is no file of the tree", "document/movie_document.cpp", "generated/version.h", True),
]


def make_tree(root, files):
    for path, text in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as out:
            out.write(text)


def run_checker(root):
    return subprocess.run([sys.executable, CHECKER, "--root", root], capture_output=True, text=True)


class CheckLayersTest(unittest.TestCase):
    def test_includes(self):
        for what, including, included, passes in CASES:
            with self.subTest(what), tempfile.TemporaryDirectory() as root:
                files = {header: "#pragma once\n" for header in HEADERS}
                files[including] = f'// {what}\n#include <vector>\n#include "{included}"\n'
                make_tree(root, files)
                result = run_checker(root)
                if passes:
                    self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                    self.assertEqual(result.stdout, "")
                else:
                    self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
                    self.assertIn(f"{including}:3:", result.stdout)

    def test_every_upward_include_is_reported(self):
        with tempfile.TemporaryDirectory() as root:
            files = {header: "#pragma once\n" for header in HEADERS}
            files["document/a.cpp"] = '#include "player/window/window_controller.h"\n'
            files["document/b.cpp"] = '#include "core/preferences.h"\n#include "app/application_delegate.h"\n'
            make_tree(root, files)
            result = run_checker(root)
            self.assertEqual(result.returncode, 1)
            self.assertEqual(sorted(result.stdout.splitlines()), [
                "document/a.cpp:1: document may not include player/window/window_controller.h",
                "document/b.cpp:2: document may not include app/application_delegate.h",
            ])

    def test_build_folders_are_not_read(self):
        with tempfile.TemporaryDirectory() as root:
            files = {header: "#pragma once\n" for header in HEADERS}
            files["build-test/document/a.cpp"] = '#include "player/window/window_controller.h"\n'
            make_tree(root, files)
            self.assertEqual(run_checker(root).returncode, 0)


if __name__ == "__main__":
    unittest.main()
