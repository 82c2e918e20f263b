#!/usr/bin/python3
"""What the package ships, checked in the build folder: one version everywhere,
one application id, valid software-centre and menu entries, manual pages that
render cleanly and tell of every command and kind, and the bash completion of
veltrano-tags offering what the program takes.

The package itself (built, installed with apt, started, purged) is checked by
scripts/package-test.sh, which needs root.
"""
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ET

import testlib

SRC = os.path.abspath(testlib.SRC)
BUILD = os.path.dirname(os.path.abspath(testlib.BIN))
APP_ID = "example.veltrano.Veltrano"
METAINFO = os.path.join(SRC, "share", "metainfo", APP_ID + ".metainfo.xml")
DESKTOP = os.path.join(SRC, "share", "applications", APP_ID + ".desktop")
COMPLETION = os.path.join(SRC, "share", "bash-completion", "veltrano-tags")
COMMANDS = ["read", "write", "strip", "record", "scan", "formats", "lookup", "guess", "export", "pictures"]


def project_version():
    with open(os.path.join(SRC, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(\s*Veltrano\s+VERSION\s+([0-9.]+)", f.read()).group(1)


def without_display():
    env = dict(os.environ)
    for key in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
        env.pop(key, None)
    return env


class OneVersion(unittest.TestCase):
    def test_every_place_shows_the_project_version(self):
        version = project_version()
        shown = {}
        for program in ("veltrano-tags", "veltrano"):
            path = os.path.join(testlib.BIN, program)
            if not os.path.exists(path):
                continue
            # No display: --version is answered before any window exists.
            r = subprocess.run([path, "--version"], capture_output=True, text=True, env=without_display(), timeout=30)
            self.assertEqual(r.returncode, 0, r.stderr)
            shown[program + " --version"] = r.stdout.strip()
        newest = ET.parse(METAINFO).getroot().find("releases/release")
        shown["metainfo release"] = "veltrano %s" % newest.get("version")
        with open(os.path.join(SRC, "share", "doc", "changelog"), encoding="utf-8") as f:
            shown["changelog"] = "veltrano %s" % re.match(r"veltrano \(([^)]+)\)", f.readline()).group(1)
        for page in glob.glob(os.path.join(BUILD, "man", "*.1")):
            with open(page, encoding="utf-8") as f:
                shown[os.path.basename(page)] = "veltrano %s" % re.search(r'"Veltrano ([^"]+)"', f.readline()).group(1)
        self.assertIn("veltrano-tags --version", shown)
        self.assertGreaterEqual(len(shown), 5, shown)
        for where, text in shown.items():
            self.assertRegex(text, r"^veltrano(-tags)? %s$" % re.escape(version), where)


class Entries(unittest.TestCase):
    def test_metainfo_and_desktop_entry_share_the_id_and_validate(self):
        root = ET.parse(METAINFO).getroot()
        self.assertEqual(root.findtext("id"), APP_ID)
        self.assertEqual(root.findtext("launchable"), APP_ID + ".desktop")
        self.assertEqual(sorted(b.text for b in root.iter("binary")), ["veltrano", "veltrano-tags"])
        self.assertTrue(os.path.isfile(DESKTOP))
        for caption in root.iter("caption"):
            self.assertTrue(caption.text.strip())
        if shutil.which("appstreamcli"):
            r = subprocess.run(["appstreamcli", "validate", "--no-net", METAINFO], capture_output=True, text=True)
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        if shutil.which("desktop-file-validate"):
            r = subprocess.run(["desktop-file-validate", DESKTOP], capture_output=True, text=True)
            self.assertEqual((r.returncode, r.stdout), (0, ""))


class ManualPages(unittest.TestCase):
    def render(self, name):
        page = os.path.join(BUILD, "man", name + ".1")
        self.assertTrue(os.path.isfile(page), page)
        # groff's warnings (bad requests, lines that cannot be set) go to stderr.
        env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8")
        r = subprocess.run(["man", "--warnings", "-l", page], capture_output=True, text=True, env=env)
        self.assertEqual((r.returncode, r.stderr), (0, ""))
        return r.stdout

    @unittest.skipUnless(shutil.which("man"), "man-db not installed")
    def test_pages_render_without_warnings_and_name_every_command_and_kind(self):
        self.assertIn("--version", self.render("veltrano"))
        text = self.render("veltrano-tags")
        kinds = testlib.tool("formats").stdout.split()
        self.assertTrue(kinds)
        for word in COMMANDS + kinds + ["--help", "--version"]:
            self.assertRegex(text, r"(?<![\w-])%s(?![\w-])" % re.escape(word), word)


class Completion(testlib.ToolCase, unittest.TestCase):
    """The completion function run as bash runs it on Tab, on a command line given as words."""

    def complete(self, *words):
        script = r'''
source /usr/share/bash-completion/bash_completion
source "$1"; shift
compopt() { :; }
COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
_veltrano_tags
printf '%s\n' "${COMPREPLY[@]}"
'''
        r = subprocess.run(["bash", "-c", script, "bash", COMPLETION, testlib.TOOL, *words],
                           capture_output=True, text=True, cwd=self.dir, timeout=60)
        self.assertEqual(r.returncode, 0, r.stderr)
        return [w for w in r.stdout.split("\n") if w]

    @unittest.skipUnless(os.path.isfile("/usr/share/bash-completion/bash_completion"), "bash-completion not installed")
    def test_offers_commands_kinds_names_and_fields(self):
        testlib.require_tool()
        song = self.path("song.mp3", testlib.mpeg_frames())
        testlib.write(song, "--set", "TITLE=Song", "--set", "MYNOTE=kept")

        self.assertEqual(set(self.complete("")), set(COMMANDS + ["--help", "--version"]))
        self.assertEqual(self.complete("wr"), ["write"])
        kinds = testlib.tool("formats").stdout.split()
        self.assertEqual(self.complete("write", "song.mp3", "--tag", ""), ["auto"] + kinds)
        self.assertEqual(self.complete("strip", "song.mp3", "--tag", "id3v"), ["id3v1", "id3v2"])
        self.assertEqual(set(self.complete("write", "song.mp3", "--set", "ALBUM")),
                         {"ALBUM=", "ALBUMARTIST=", "ALBUMSORT=", "ALBUMARTISTSORT="})
        self.assertEqual(self.complete("write", "song.mp3", "--set", "TITLE=So"), [])
        # --delete offers the names the file holds beside the common ones.
        self.assertIn("MYNOTE", self.complete("write", "song.mp3", "--delete", "MY"))
        self.assertIn("--no-cover", self.complete("write", "song.mp3", "--"))
        self.assertEqual(self.complete("write", ""), ["song.mp3"])

        # record --set offers exactly the fields record prints, in its spelling.
        fields = list(json.loads(testlib.record(song).stdout.splitlines()[0]))[1:17]
        self.assertEqual(self.complete("record", "song.mp3", "--set", ""), [f + "=" for f in fields])
        self.assertEqual(self.complete("record", "song.mp3", "--set", "Title=x", "Al"), ["Album=", "AlbumArtist="])
        self.assertEqual(self.complete("record", "song.mp3", "--no-cover", ""), ["song.mp3"])
        self.assertEqual(self.complete("formats", ""), ["--json"])
        self.assertEqual(self.complete("guess", "%title%", "--"), ["--apply"])
        self.assertEqual(self.complete("guess", "%title%", ""), ["song.mp3"])
        self.assertEqual(self.complete("export", "--"), ["--csv", "--m3u8"])
        # Picture types by name; pictures takes a folder after --extract.
        self.assertEqual(self.complete("write", "song.mp3", "--delete-picture", "ba"), ["back", "band", "band-logo"])
        self.assertEqual(self.complete("write", "song.mp3", "--picture", "fr"), ["front="])
        self.assertEqual(self.complete("pictures", "song.mp3", "--"), ["--extract"])


class Help(testlib.ToolCase, unittest.TestCase):
    def test_help_on_stdout_and_usage_after_a_mistake_on_stderr(self):
        testlib.require_tool()
        r = self.tool("--help")
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        self.assertIn(b"usage: veltrano-tags read [-j N] FILE...", r.stdout)
        r = self.tool("frobnicate")
        self.assertEqual((r.returncode, r.stdout), (2, b""))
        self.assertIn(b"unknown command 'frobnicate'", r.stderr)
        self.assertIn(b"usage:", r.stderr)


if __name__ == "__main__":
    sys.exit(0 if unittest.main(exit=False, verbosity=1).result.wasSuccessful() else 1)
