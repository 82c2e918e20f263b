#!/usr/bin/python3
"""The real main window's command set, off screen.

Every menu item, pop-up item and toolbar button has a handler (the
auto-tag command only once the online lookup is built in, and is disabled
until then), the window's keys are where they belong, a focused text field
keeps Ctrl+Z for itself, message boxes show names as plain text, and a preset whose name holds "&" shows it as
written and carries the name itself in the item's data. Renaming the shown
folder through the Folder menu (in letter case only, and to a name like an
archive's) leaves the tree and the list on the renamed folder, scanned once.
"""
import json
import os
import shutil
import sys
import tempfile

import testlib

BIN = testlib.BIN


def main():
    if testlib.program_missing(BIN):
        return 0
    check = testlib.Checks()

    tmp = tempfile.mkdtemp(prefix="veltrano-cmds-")
    try:
        home = os.path.join(tmp, "home")
        os.makedirs(os.path.join(home, "Music"))
        config = os.path.join(tmp, "config")
        os.makedirs(os.path.join(config, "Veltrano"))
        with open(os.path.join(config, "Veltrano", "QuickActionPresets.json"), "w", encoding="utf-8") as f:
            f.write('{"lastPreset":"Rock & Roll","presets":[{"name":"Rock & Roll","actions":[{"kind":"UpperCase"}]},'
                    '{"name":"<b>bold</b>","actions":[]}]}')
        out = os.path.join(tmp, "commands.json")
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=config, QT_QPA_PLATFORM="offscreen",
                   VELTRANO_TEST_HOOK="commands=" + out)
        testlib.run_program(BIN, env)
        with open(out, encoding="utf-8") as f:
            dump = json.load(f)

        items = dump["items"]
        check(len(items) >= 30, "items walked: %d" % len(items))
        for item in items:
            if item["name"] == "actAutoTag" and not item["handler"]:
                check(not item["enabled"], "auto-tag without its command is disabled")
                continue
            check(item["handler"], "no handler: %s" % item["path"])
        for button in dump["buttons"]:
            if button["name"] != "btnAutoTag":
                check(button["handler"], "no handler: %s" % button["name"])
        check(len(dump["buttons"]) == 15, "15 toolbar buttons: %d" % len(dump["buttons"]))
        check([b["name"] for b in dump["buttons"] if b["dropdown"]] == ["btnQuickAction"], "quick action drop-down")

        keys = {i["name"]: i["shortcut"] for i in items if i["shortcut"]}
        check(keys == {"actRenameFile": "F2", "actSave": "Ctrl+S", "actRemove": "Ctrl+R", "actUndo": "Ctrl+Z",
                       "actQuickAction": "Ctrl+Q"}, "keys: %r" % keys)
        k = dump["keys"]
        check(k["fieldClaimsCtrlZ"] and k["fieldAfterCtrlZ"] == "before", "text field keeps Ctrl+Z: %r" % k)
        check(k["ctrlQContext"] and k["ctrlQOnWindow"], "Ctrl+Q window-wide: %r" % k)

        check(dump["message"] == {"plain": True, "text": "Preset not found: <b>x</b>"},
              "message boxes show plain text: %r" % dump["message"])
        presets = [i for i in items if i["path"].startswith("pmQuickActions/") and i["data"]]
        check([p["data"] for p in presets] == ["Rock & Roll", "<b>bold</b>"], "preset data: %r" % presets)
        check(presets and presets[0]["text"] == "Rock && Roll", "ampersand shown as written: %r" % presets)
        sub = [i for i in items if i["path"].startswith("mmTags/mmQuickAction/") and i["data"]]
        check([p["data"] for p in sub] == ["Rock & Roll", "<b>bold</b>"], "Tags submenu copies: %r" % sub)

        music = os.path.join(home, "Music")
        for old, new in (("Album", "album"), ("album", "Album.zip")):
            os.makedirs(os.path.join(music, old), exist_ok=True)
            with open(os.path.join(music, old, "a.mp3"), "wb") as f:
                f.write(b"not really audio")
            with open(os.path.join(config, "Veltrano", "set.ini"), "w", encoding="utf-8") as f:
                f.write("[Main]\nFolder=%s\n" % os.path.join(music, old))
            out = os.path.join(tmp, "rename.json")
            env["VELTRANO_TEST_HOOK"] = "folderrename=%s|%s" % (out, new)
            testlib.run_program(BIN, env)
            with open(out, encoding="utf-8") as f:
                r = json.load(f)
            want = os.path.join(music, new)
            check(os.path.isdir(want) and not os.path.exists(os.path.join(music, old)), "renamed on disk: " + new)
            check(r["modelFolder"] == want and r["treeFolder"] == want, "%s: tree and list follow: %r" % (new, r))
            check(r["rows"] == 1 and r["firstRow"] == os.path.join(want, "a.mp3") and r["scans"] == 1,
                  "%s: scanned once: %r" % (new, r))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    return check.report()


if __name__ == "__main__":
    sys.exit(main())
