#!/usr/bin/python3
"""The real main window, started twice off screen with its own settings folder.

First run: no settings, so it opens maximised on the user's music folder and
gives the list columns their percentage widths; it walks the Language menu
through every language, recording all captions, then closes (writing
set.ini). Second run: the folder, the column widths and the last language
chosen come back.
"""
import json
import os
import shutil
import sys
import tempfile

import testlib

BIN = testlib.BIN
SOURCE = os.environ.get("VELTRANO_SOURCE_DIR", ".")
PERCENT = [18, 20, 15, 10, 8, 10, 7, 7, 5]


def table():
    with open(os.path.join(SOURCE, "share", "transl.dt"), encoding="utf-8-sig") as f:
        lines = f.read().splitlines()
    n = int(lines[0])
    rows = (len(lines) - 1) // n
    cols = [[lines[1 + r * n + c] for r in range(rows)] for c in range(n)]
    return {cols[1][0]: cols[0]} | {c[1]: c for c in cols}, cols[0]


def run(env, out):
    env = dict(env, VELTRANO_TEST_HOOK="captions=" + out, QT_QPA_PLATFORM="offscreen")
    testlib.run_program(BIN, env)
    with open(out, encoding="utf-8") as f:
        return json.load(f)


def round_half_even(num, den):
    q, r = divmod(num, den)
    return q + 1 if 2 * r > den or (2 * r == den and q % 2) else q


def main():
    if testlib.program_missing(BIN):
        return 0
    check = testlib.Checks()

    tmp = tempfile.mkdtemp(prefix="veltrano-gui-")
    try:
        home = os.path.join(tmp, "home")
        music = os.path.join(home, "Music")
        os.makedirs(music)
        for name in ("a.mp3", "b.flac", "notes.txt"):
            with open(os.path.join(music, name), "wb") as f:
                f.write(b"not really audio")
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(tmp, "config"))
        env.pop("XDG_MUSIC_DIR", None)

        first = run(env, os.path.join(tmp, "first.json"))
        start = first["start"]
        check(start["folder"] == music, "first run scans the music folder: %r" % start["folder"])
        check(start["maximized"], "first run opens maximised")
        check(start["rows"] == 2, "two audio files listed: %r" % start["rows"])
        width = start["listWidth"]
        # (the header keeps every column at least 24 pixels wide)
        want = [max(24, round_half_even(width * p, 100)) for p in PERCENT]
        check(start["columns"] == want, "default column widths %r, want %r" % (start["columns"], want))

        toggle = first["treeToggle"]
        check(not toggle["hiddenVisible"] and toggle["hiddenListLeft"] == 0, "hidden tree: %r" % toggle)
        check(toggle["checked"] and toggle["handleVisible"], "tree shown again: %r" % toggle)
        check(toggle["panelWidth"] == start["panels"][0], "tree width restored: %r" % toggle)
        check(toggle["handleLeft"] == toggle["panelRight"] + 1, "splitter right of the tree: %r" % toggle)

        columns, english = table()
        codes = list(columns)[1:]  # en, de, fr ... in column order
        check(set(first) - {"start", "treeToggle"} == set(codes), "languages: %r" % sorted(first))
        check(len(codes) == 16, "sixteen languages: %r" % codes)
        en = first["en"]
        for code in codes:
            texts = first[code]
            want = "rtl" if code == "ar" else "ltr"
            check(texts.get("direction:window") == want, "%s written %r" % (code, texts.get("direction:window")))
            check(texts.get("layout:editorFits") is True, "%s: the editor's fields fit its panel" % code)
            if code == "en":
                continue
            for key, text in en.items():
                if key.startswith("label:lblHomePage") or key.startswith("label:lblStatus"):
                    continue
                if key.startswith(("direction:", "layout:")):
                    continue
                if key.startswith("action:actLanguage_"):
                    continue
                base = text[:-len(" [Ctrl+Q]")] if text.endswith(" [Ctrl+Q]") else text
                check(base in english, "%s: %r is not in the table" % (key, text))
                if base in english:
                    row = english.index(base)
                    expected = columns[code][row] + text[len(base):]
                    check(texts.get(key) == expected, "%s %s: %r, want %r" % (code, key, texts.get(key), expected))
            check(texts["menu:mmQuickAction"].endswith(" [Ctrl+Q]"), code + ": quick action keeps [Ctrl+Q]")
        de = first["de"]
        for key, text in {"menu:mmFolder": "Ordner", "action:actSave": "Speichern",
                          "tooltip:actSave": "Tags speichern", "column:1": "Verzeichnis",
                          "button:btnLoadCover": "Cover laden", "label:lblFilter": "Filter:",
                          "menu:mmQuickAction": "Schnellaktion [Ctrl+Q]"}.items():
            check(de.get(key) == text, "German %s: %r" % (key, de.get(key)))

        ini = os.path.join(tmp, "config", "Veltrano", "set.ini")
        check(os.path.exists(ini), "set.ini written on close")
        # Second run: what the first one stored comes back.
        second = run(env, os.path.join(tmp, "second.json"))["start"]
        check(second["folder"] == music, "folder restored: %r" % second["folder"])
        check(second["columns"] == start["columns"], "column widths restored: %r" % second["columns"])
        check(second["language"] == codes[-1], "last chosen language restored: %r" % second["language"])
        check(second["maximized"], "a run that ended maximised opens maximised")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    return check.report()


if __name__ == "__main__":
    sys.exit(main())
