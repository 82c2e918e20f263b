"""Helpers the script tests share: file builders, running veltrano-tags, and
mutagen's view of a file's tags (the independent reader every save is
checked against)."""
import hashlib
import json
import os
import shutil
import struct
import subprocess
import tempfile

SRC = os.environ.get("VELTRANO_SOURCE_DIR", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
# The build's programs: CTest names the folder; by hand the default build folder is used.
BIN = os.path.abspath(os.environ.get("VELTRANO_BIN") or os.path.join(SRC, "build", "bin"))
TOOL = os.path.join(BIN, "veltrano-tags")
SHARED = os.path.join(SRC, "..", "shared")
PEERS = os.path.join(SHARED, "corpus", "peers")


# ---- builders ------------------------------------------------------------------------

def mpeg_frames(count=40):
    """MPEG-1 Layer III frames, 128 kbit/s, 44.1 kHz stereo, silence: 417 bytes a frame."""
    return (b"\xff\xfb\x90\x00" + bytes(413)) * count


def png_bytes(size=400):
    """A PNG signature and an IHDR chunk, then filler: enough for type detection."""
    head = b"\x89PNG\r\n\x1a\n" + struct.pack(">I", 13) + b"IHDR" + struct.pack(">IIBBBBB", 300, 300, 8, 2, 0, 0, 0) + b"\0" * 4
    filler = bytes((i * 7 + 3) % 256 for i in range(size - len(head)))
    return head + filler


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def write_bytes(path, data):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def id3v2_size(data):
    """Bytes of the ID3v2 tag at the start of data (0 when there is none)."""
    if data[:3] != b"ID3" or len(data) < 10:
        return 0
    s = data[6:10]
    return 10 + ((s[0] & 0x7F) << 21 | (s[1] & 0x7F) << 14 | (s[2] & 0x7F) << 7 | (s[3] & 0x7F))


def audio_hash(path):
    """Hash of what follows the ID3v2 tag at the start of the file."""
    data = read_bytes(path)
    return hashlib.sha256(data[id3v2_size(data):]).hexdigest()


def mp3_by_mutagen(path, frames, version=4, audio=None, v1=0):
    """An MP3 whose ID3v2 tag (of version 3 or 4) mutagen writes with the given frames."""
    import mutagen.id3 as id3
    write_bytes(path, audio if audio is not None else mpeg_frames())
    t = id3.ID3()
    for f in frames:
        t.add(f)
    t.save(path, v2_version=version, v1=v1)
    return path


def silent_wave(path, seconds=0.2):
    """A 16-bit stereo PCM WAVE file of silence, written by Python's own wave module."""
    import wave
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(44100)
        w.writeframes(bytes(int(44100 * seconds) * 4))
    return path


def base_audio(path):
    """An untagged file of the format path's extension names: MP3 frames, WAVE from the wave
    module, AIFF from ffmpeg, DSF and DSDIFF copied from the peer files."""
    ext = os.path.splitext(path)[1].lower()
    if ext == ".mp3":
        return write_bytes(path, mpeg_frames())
    if ext == ".wav":
        return silent_wave(path)
    if ext in (".aif", ".aiff"):
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "anullsrc=r=44100:cl=stereo",
                        "-t", "0.2", path], check=True)
        return path
    peer = {".dsf": "mutagen/5644800-2ch-s01-silence.dsf", ".dff": "mutagen/5644800-2ch-s01-silence.dff"}[ext]
    shutil.copy(os.path.join(PEERS, peer), path)
    os.chmod(path, 0o644)
    return path


def tag_with_mutagen(path, frames, version=4):
    """Adds an ID3v2 tag with frames to path (any format mutagen writes ID3 into)."""
    import mutagen
    import mutagen.id3 as id3
    if path.lower().endswith(".mp3"):
        t = id3.ID3()
        for fr in frames:
            t.add(fr)
        t.save(path, v2_version=version)
        return path
    f = mutagen.File(path)
    f.add_tags()
    for fr in frames:
        f.tags.add(fr)
    f.save(v2_version=version)
    return path


# ---- running veltrano-tags ---------------------------------------------------------------

def require_tool(*programs):
    """The tool must be built: a missing tool is a failure, never a quiet skip. Other
    programs the test runs (encoders, readers) that are not installed skip it."""
    if not os.path.exists(TOOL):
        raise AssertionError("veltrano-tags is not built (VELTRANO_BIN=%r)" % BIN)
    for p in programs:
        if not shutil.which(p):
            import unittest
            raise unittest.SkipTest("%s not installed" % p)


def run(*args, check=True, timeout=120, stdin=None, text=False):
    """Runs a program (an encoder, a reader, the tool) with its output captured. With check, a
    failure raises with the program's error output, so the test says what went wrong."""
    p = subprocess.run([str(a) for a in args], capture_output=True, input=stdin, timeout=timeout, text=text)
    if check and p.returncode != 0:
        err = p.stderr if text else p.stderr.decode("utf-8", "replace")
        raise AssertionError("%s failed (%d): %s" % (" ".join(map(str, args)), p.returncode, err))
    return p


def tool(*args, timeout=120):
    """veltrano-tags ARGS..., text output; the caller checks the exit code."""
    return run(TOOL, *args, check=False, timeout=timeout, text=True)


def write(path, *args):
    """veltrano-tags write PATH ARGS...; raises when the save fails."""
    p = tool("write", path, *args)
    if p.returncode != 0:
        raise AssertionError("write %s %s failed: %s %s" % (path, args, p.stdout, p.stderr))
    return p


def record(path, *args):
    """veltrano-tags record PATH ARGS... (the editor's record and tag service)."""
    p = tool("record", path, *args)
    if p.returncode != 0:
        raise AssertionError("record %s %s failed: %s %s" % (path, args, p.stdout, p.stderr))
    return p


def read_entries(path):
    p = tool("read", path)
    assert p.returncode == 0, p.stderr
    return json.loads(p.stdout.splitlines()[0])


def entry(doc, name):
    for e in doc["entries"]:
        if e["name"].upper() == name.upper():
            return e
    return None


# ---- mutagen's view ----------------------------------------------------------------------

def mutagen_view(path, load_v1=True):
    """What mutagen sees: {frame key: printed value}, and pictures as (type, MIME, size).
    Text encodings are not part of the view (a re-encoded frame with the same value is the same).
    Without load_v1, an MP3's view is its ID3v2 tag alone (mutagen otherwise fills in ID3v1 fields)."""
    import mutagen
    import mutagen.id3 as id3
    f = mutagen.File(path) if load_v1 or not path.lower().endswith((".mp3", ".id3")) else None
    if f is None:
        f = type("Tagged", (), {"tags": id3.ID3(path, load_v1=load_v1)})()
    items, pictures = {}, []
    t = f.tags
    if t is not None and hasattr(t, "getall"):
        for k in t.keys():
            if k.startswith("APIC"):
                continue
            items[k] = t[k].pprint()
        pictures = sorted((p.type, p.mime, len(p.data)) for p in t.getall("APIC"))
    return items, pictures


def view_diff(before, after):
    """Keys whose values differ between two views (added, removed or changed), and
    whether the pictures differ."""
    (a, pa), (b, pb) = before, after
    keys = sorted(k for k in set(a) | set(b) if a.get(k) != b.get(k))
    return keys, pa != pb


class TempDir:
    def __init__(self, prefix="veltrano_"):
        self.path = tempfile.mkdtemp(prefix=prefix)

    def file(self, name):
        return os.path.join(self.path, name)

    def copy(self, src, name=None):
        dst = self.file(name or os.path.basename(src))
        shutil.copy(src, dst)
        os.chmod(dst, 0o644)   # shared samples are kept read-only
        return dst

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


def peer_files(formats):
    """(relative path, format) of the peer files whose MANIFEST format starts with one of formats."""
    out = []
    with open(os.path.join(PEERS, "MANIFEST.tsv"), encoding="utf-8") as f:
        next(f)
        for line in f:
            cols = line.rstrip("\n").split("\t")
            if len(cols) > 2 and cols[1] in formats:
                out.append((cols[0], cols[2]))
    return out


class ToolCase:
    """Mixed into a unittest.TestCase: a temporary folder per test (self.dir), files in it,
    and veltrano-tags run on them with its raw output. A run that dies by a signal or
    that a sanitizer reports on fails the test."""
    prefix = "veltrano_"

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix=self.prefix)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name, data=None):
        p = os.path.join(self.dir, name)
        if data is not None:
            write_bytes(p, data)
        return p

    def tool(self, *args):
        r = subprocess.run([TOOL, *args], capture_output=True, timeout=60)
        self.assertGreaterEqual(r.returncode, 0, "veltrano-tags died by signal: %r\n%s" % (args, r.stderr))
        self.assertNotIn(b"AddressSanitizer", r.stderr)
        return r

    def read(self, p):
        r = self.tool("read", p)
        self.assertEqual(r.returncode, 0, r.stderr)
        return json.loads(r.stdout.decode("utf-8"))

    @staticmethod
    def content(p):
        return read_bytes(p)


# ---- the window program -------------------------------------------------------------------

def program_missing(bin_dir):
    """True (having said so) when the window program is not built: the script then skips."""
    if os.path.exists(os.path.join(bin_dir, "veltrano")):
        return False
    print("veltrano not built; 0 passed, 0 failed, 1 skipped")
    return True


def run_program(bin_dir, env, timeout=120, check=True):
    """Runs the window program once with env (its output is dropped)."""
    return subprocess.run([os.path.join(bin_dir, "veltrano")], env=env, timeout=timeout, check=check,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def on_screen(command, env):
    """command and env to run the window under Xvfb when xvfb-run is installed
    (a real X display, for pictures of the screen), else off screen."""
    env = dict(env)
    if not shutil.which("xvfb-run"):
        env["QT_QPA_PLATFORM"] = "offscreen"
        return command, env
    env["QT_QPA_PLATFORM"] = "xcb"
    # In a sanitizer build, the X libraries' own string copies trip the
    # strict string checks; our code is checked offscreen.
    if "ASAN_OPTIONS" in env:
        env["ASAN_OPTIONS"] += ":strict_string_checks=0"
    return ["xvfb-run", "-a", "-s", "-screen 0 1280x800x24"] + list(command), env


class Checks:
    """The failed checks of a script that runs the program: call it with a condition and
    what it checks; report() prints them and gives the exit code."""
    def __init__(self):
        self.failures = []

    def __call__(self, cond, what):
        if not cond:
            self.failures.append(what)

    def report(self):
        for f in self.failures:
            print("FAIL:", f)
        print("%d passed, %d failed" % (0 if self.failures else 1, 1 if self.failures else 0))
        return 1 if self.failures else 0


def decoded_md5(path):
    """ffmpeg's MD5 of the decoded audio: the same before and after a save that kept the audio."""
    return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "md5", "-"], capture_output=True,
                          check=True).stdout
