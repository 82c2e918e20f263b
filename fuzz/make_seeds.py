#!/usr/bin/python3
"""Writes small seed files for the fuzz targets into the folder given.

Each seed is a few MPEG frames with one tag layout written by mutagen (an
independent writer) or built here byte by byte (Lyrics3, odd ID3v1 blocks).
"""
import os
import struct
import sys

from mutagen.apev2 import APEv2
from mutagen.id3 import (APIC, COMM, ID3, TALB, TCON, TDRC, TIT2, TPE1, TPE2, TRCK, TXXX, USLT,
                         WXXX, CHAP, CTOC, CTOCFlags)


def frames(count=4):
    return b"".join(bytes([0xFF, 0xFB, 0x90, 0x64]) + bytes((i * 7 + j) & 0xFF for j in range(413))
                    for i in range(count))


def v1(title=b"Title", track=3, genre=17, comment=b"Comment"):
    def pad(b, n):
        return b[:n].ljust(n, b"\0")
    return (b"TAG" + pad(title, 30) + pad(b"Artist", 30) + pad(b"Album", 30) + b"1999"
            + pad(comment, 28) + b"\0" + bytes([track, genre]))


def lyrics3(fields):
    body = b"LYRICSBEGIN" + b"".join(f + b"%05d" % len(d) + d for f, d in fields)
    return body + b"%06d" % len(body) + b"LYRICS200"


def main(out):
    os.makedirs(out, exist_ok=True)

    def put(name, data):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        return os.path.join(out, name)

    put("v1.mp3", frames() + v1())
    put("v1_only.bin", v1(b"Caf\xe9", 0, 255, b"x" * 30))
    put("v1_lyrics.mp3", frames() + lyrics3([(b"IND", b"110"), (b"LYR", b"[00:01]la\r\nla"),
                                              (b"ETT", b"A long title beyond thirty bytes"),
                                              (b"EAL", b"Album"), (b"EAR", b"Artist")]) + v1())
    put("lyrics_no_v1.mp3", frames() + lyrics3([(b"LYR", b"words")]))

    pic = b"\x89PNG\r\n\x1a\n" + bytes(40)
    for version in (3, 4):
        p = put("id3v2%d.mp3" % version, frames())
        t = ID3()
        t.add(TIT2(encoding=1, text="Title é"))
        t.add(TPE1(encoding=3, text=["One", "Two"]))
        t.add(TALB(encoding=0, text="Album"))
        t.add(TDRC(encoding=3, text="2001-02-03"))
        t.add(TRCK(encoding=3, text="3/12"))
        t.add(TCON(encoding=3, text="(17)Rock"))
        t.add(TPE2(encoding=3, text="Band"))
        t.add(COMM(encoding=1, lang="eng", desc="", text="Comment"))
        t.add(USLT(encoding=3, lang="deu", desc="", text="Lyrics\nline"))
        t.add(TXXX(encoding=3, desc="CUSTOM", text="value"))
        t.add(WXXX(encoding=0, desc="", url="http://example.com/"))
        t.add(APIC(encoding=0, mime="image/png", type=3, desc="cover", data=pic))
        t.add(CHAP(element_id="ch1", start_time=0, end_time=1000, sub_frames=[TIT2(encoding=3, text="Ch")]))
        t.add(CTOC(element_id="toc", flags=CTOCFlags.TOP_LEVEL, child_element_ids=["ch1"]))
        t.save(p, v2_version=version, v1=2 if version == 3 else 0, padding=lambda info: 64)
        if version == 4:
            a = APEv2()
            a["Title"] = "APE title"
            a["Cover Art (Front)"] = b"front.png\0" + pic
            a.save(p)

    # RIFF WAVE and RF64 with INFO, bext, cart and EVNT chunks.
    def chunk(cid, data):
        return cid + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")
    fmt = chunk(b"fmt ", struct.pack("<HHIIHH", 1, 1, 8000, 16000, 2, 16))
    info = chunk(b"LIST", b"INFO" + chunk(b"INAM", b"Title\0") + chunk(b"ITRK", b"3/12\0") + chunk(b"IALB", b"Alb"))
    bext = chunk(b"bext", b"Desc".ljust(338, b"\0") + struct.pack("<QH", 2 ** 40, 1) + bytes(256) + b"A=PCM\r\n")
    cart = chunk(b"cart", b"0101Title".ljust(2048, b"\0") + b"text")
    evnt = chunk(b"EVNT", struct.pack("<HHIQII", 3, 0, 1, 0, 5, 0) + b"token\0\0\0\0")
    data = chunk(b"data", bytes(range(200)))
    body = b"WAVE" + fmt + info + bext + cart + evnt + data
    put("tags.wav", b"RIFF" + struct.pack("<I", len(body)) + body)
    ds64 = chunk(b"ds64", struct.pack("<QQQI", 4 + 36 + len(fmt) + len(info) + 208, 200, 100, 0))
    put("tags.rf64", b"RF64\xff\xff\xff\xffWAVE" + ds64 + fmt + info + b"data\xff\xff\xff\xff" + bytes(200))


if __name__ == "__main__":
    main(sys.argv[1])
