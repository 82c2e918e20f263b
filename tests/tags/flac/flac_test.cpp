// Native FLAC metadata: the block walk, hostile lengths, in-place and
// rewritten saves, and the unified mapping.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tags/audio_properties.h"
#include "tags/flac/flac_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tests/bytes.h"
#include "tests/test_util.h"

namespace {

using tbytes::Append;
using tbytes::BE32;
using tbytes::Bytes;
using tbytes::LE32;
using tbytes::Str;

// STREAMINFO body: block sizes 4096, frame sizes 0, rate/channels/bits and a 36-bit sample count.
Bytes StreamInfo(uint32_t Rate, int Channels, int Bits, uint64_t Samples) {
    Bytes b = {0x10, 0x00, 0x10, 0x00, 0, 0, 0, 0, 0, 0};
    b.push_back((uint8_t)(Rate >> 12));
    b.push_back((uint8_t)(Rate >> 4));
    b.push_back((uint8_t)((Rate & 0x0F) << 4 | (Channels - 1) << 1 | ((Bits - 1) >> 4)));
    b.push_back((uint8_t)(((Bits - 1) & 0x0F) << 4 | (uint8_t)(Samples >> 32)));
    Append(b, BE32((uint32_t)Samples));
    b.resize(34, 0xAB);  // MD5
    return b;
}

Bytes Block(uint8_t Type, const Bytes& Body, bool Last = false, int64_t DeclaredLength = -1) {
    const uint32_t n = DeclaredLength < 0 ? (uint32_t)Body.size() : (uint32_t)DeclaredLength;
    Bytes b = {(uint8_t)(Type | (Last ? 0x80 : 0)), (uint8_t)(n >> 16), (uint8_t)(n >> 8), (uint8_t)n};
    Append(b, Body);
    return b;
}

Bytes Comments(const std::vector<std::string>& Entries, const std::string& Vendor = "test vendor") {
    return tbytes::VorbisComments(Entries, Vendor);
}

Bytes Picture(uint32_t Type, const std::string& Mime, const Bytes& Data) {
    Bytes b;
    Append(b, BE32(Type));
    Append(b, BE32((uint32_t)Mime.size()));
    Append(b, Str(Mime));
    Append(b, BE32(4));
    Append(b, Str("desc"));
    for (int i = 0; i < 4; ++i) Append(b, BE32(0));
    Append(b, BE32((uint32_t)Data.size()));
    Append(b, Data);
    return b;
}

const Bytes Png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 1, 2, 3, 4};
Bytes Audio() {
    Bytes a;
    for (int i = 0; i < 3000; ++i) a.push_back((uint8_t)(i * 7 + 1));
    return a;
}

// "fLaC", STREAMINFO and the given blocks (the last one gets the flag), then audio.
Bytes Flac(const std::vector<Bytes>& Blocks, uint64_t Samples = 441000) {
    Bytes f = Str("fLaC");
    Append(f, Block(0, StreamInfo(44100, 2, 16, Samples), Blocks.empty()));
    for (size_t i = 0; i < Blocks.size(); ++i) {
        Bytes b = Blocks[i];
        if (i + 1 == Blocks.size()) b[0] |= 0x80;
        Append(f, b);
    }
    Append(f, Audio());
    return f;
}

bool EndsWithAudio(const Bytes& F) {
    const Bytes a = Audio();
    return F.size() >= a.size() && std::equal(a.begin(), a.end(), F.end() - (ptrdiff_t)a.size());
}

int LoadBytes(TFlacTag& T, const Bytes& F) {
    TMemoryStream s(F);
    return T.LoadFromStream(s);
}

}  // namespace

TEST(FlacRead, CommentsPicturesAndStreamInfo) {
    const Bytes f = Flac({Block(4, Comments({"title=Hello", "ARTIST=A", "ARTIST=B", "=empty name", "no equals",
                                             "COMMENT=tab\there\r\nline2", "X=a=b"})),
                          Block(6, Picture(4, "image/png", Png)), Block(1, Bytes(100, 0))},
                         (1ull << 33) + 5);
    TFlacTag t;
    ASSERT_EQ(LoadBytes(t, f), flacresult::Success);
    EXPECT_TRUE(t.Loaded);
    EXPECT_EQ(t.VendorString, "test vendor");
    ASSERT_EQ(t.Count(), 6);  // the entry without "=" is dropped
    EXPECT_EQ(t.Tags[0].Name, "TITLE");
    EXPECT_EQ(t.Tags[2].GetText(), "B");
    EXPECT_EQ(t.Tags[3].Name, "");
    EXPECT_EQ(t.GetText("comment"), "tab here\r\nline2");
    EXPECT_EQ(t.GetText("X"), "a=b");
    ASSERT_EQ(t.CoverArtCount(), 1);
    EXPECT_EQ(t.CoverArts[0].Info.PictureType, 4u);
    EXPECT_EQ(t.CoverArts[0].Data, Png);
    EXPECT_EQ(t.SampleRate, 44100u);
    EXPECT_EQ(t.Channels, 2);
    EXPECT_EQ(t.BitsPerSample, 16);
    EXPECT_EQ(t.SampleCount, (1ull << 33) + 5);  // all 36 bits
    EXPECT_EQ(t.AudioSize(), 3000);
}

// Every hostile length gives a result code and no load; nothing is allocated
// beyond what the block holds.
TEST(FlacRead, HostileInputs) {
    struct TCase {
        const char* Name;
        Bytes File;
        int Expected;
    };
    Bytes hugeCount;
    Append(hugeCount, LE32(1));
    hugeCount.push_back('v');
    Append(hugeCount, LE32(0xFFFFFFFF));
    Bytes hugeVendor;
    Append(hugeVendor, LE32(0xFFFFFFFF));
    Bytes longEntry = Comments({});
    longEntry[longEntry.size() - 4] = 1;
    Append(longEntry, LE32(1000));
    Bytes badPicture = Picture(3, "image/png", Png);
    badPicture[7] = 200;  // MIME length past the block
    const TCase cases[] = {
        {"block past the end", Flac({Block(2, Bytes(8, 1), false, 1 << 20)}), flacresult::NotFlac},
        {"comment count 2^32-1", Flac({Block(4, hugeCount)}), flacresult::NotFlac},
        {"vendor length 4 GiB", Flac({Block(4, hugeVendor)}), flacresult::NotFlac},
        {"entry past the block", Flac({Block(4, longEntry)}), flacresult::NotFlac},
        {"invalid block type 127", Flac({Block(127, Bytes(4, 0))}), flacresult::NotFlac},
        {"no last-block flag",
         [] {
             Bytes f = Str("fLaC");
             Append(f, Block(0, StreamInfo(44100, 2, 16, 1)));
             Append(f, Block(2, Bytes(4, 0)));
             return f;
         }(),
         flacresult::NotFlac},
        {"not FLAC", Str("RIFF----WAVEfmt "), flacresult::NotFlac},
        {"empty", Bytes(), flacresult::CannotOpen},
    };
    for (const auto& c : cases) {
        TFlacTag t;
        EXPECT_EQ(LoadBytes(t, c.File), c.Expected) << c.Name;
        EXPECT_FALSE(t.Loaded) << c.Name;
    }
    // A picture whose fields run past its block is kept as it is, not shown.
    TFlacTag t;
    ASSERT_EQ(LoadBytes(t, Flac({Block(6, badPicture), Block(4, Comments({"A=1"}))})), flacresult::Success);
    EXPECT_EQ(t.CoverArtCount(), 0);
}

// The walk continues at a comment block's declared end, even when its
// decoded entries end earlier; a reserved block type travels unchanged.
TEST(FlacRead, DeclaredEndsAndReservedBlocks) {
    Bytes vc = Comments({"TITLE=T"});
    vc.resize(vc.size() + 10, 0x55);  // trailing bytes inside the block
    const Bytes reserved = Str("reserved block body");
    const Bytes f = Flac({Block(4, vc), Block(9, reserved), Block(6, Picture(3, "image/png", Png))});
    testutil::TTempDir dir;
    const std::string path = dir.file("a.flac");
    testutil::WriteFile(path, f);
    TFlacTag t;
    ASSERT_EQ(t.LoadFromFile(path), flacresult::Success);
    EXPECT_EQ(t.CoverArtCount(), 1);
    t.SetText("TITLE", "A much longer title than before, to force a rewrite of the metadata blocks");
    ASSERT_EQ(t.SaveToFile(path), flacresult::Success);
    const Bytes after = testutil::ReadFile(path);
    EXPECT_TRUE(EndsWithAudio(after));
    Bytes needle = Block(9, reserved);
    EXPECT_NE(std::search(after.begin(), after.end(), needle.begin(), needle.end()), after.end());
    TFlacTag again;
    ASSERT_EQ(again.LoadFromFile(path), flacresult::Success);
    EXPECT_EQ(again.GetText("TITLE").substr(0, 6), "A much");
    EXPECT_EQ(again.CoverArtCount(), 1);
}

TEST(FlacWrite, InPlaceWithPaddingAndRewriteWithout) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.flac");
    const Bytes original =
        Flac({Block(3, Bytes(18, 0x33)), Block(4, Comments({"TITLE=Old"})), Block(1, Bytes(200, 0))});
    testutil::WriteFile(path, original);

    TFlacTag t;
    ASSERT_EQ(t.LoadFromFile(path), flacresult::Success);
    t.SetText("TITLE", "New longer title");
    ASSERT_EQ(t.SaveToFile(path), flacresult::Success);
    Bytes after = testutil::ReadFile(path);
    EXPECT_EQ(after.size(), original.size());  // the padding took the difference
    EXPECT_TRUE(EndsWithAudio(after));
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + 4 + 38 + 22, after.begin()));  // STREAMINFO, SEEKTABLE

    // Growing past the padding rewrites with the configured padding.
    t.Padding = TPaddingOption::Exactly(4096);
    t.SetText("COMMENT", std::string(1000, 'c'));
    ASSERT_EQ(t.SaveToFile(path), flacresult::Success);
    after = testutil::ReadFile(path);
    EXPECT_GT(after.size(), original.size() + 4096);
    EXPECT_TRUE(EndsWithAudio(after));
    TFlacTag again;
    ASSERT_EQ(again.LoadFromFile(path), flacresult::Success);
    EXPECT_EQ(again.GetText("TITLE"), "New longer title");
    EXPECT_EQ(again.GetText("COMMENT").size(), 1000u);

    // Unchanged saves leave the bytes as they are.
    const Bytes before = testutil::ReadFile(path);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(again.SaveToFile(path), flacresult::Success);
    EXPECT_EQ(testutil::ReadFile(path), before);
    EXPECT_FALSE(std::filesystem::exists(path + "~"));
}

TEST(FlacWrite, StreamInfoOnlyPrefixReadOnlyAndTooLarge) {
    testutil::TTempDir dir;
    // A file whose only block is STREAMINFO can be tagged; an ID3v2 tag in
    // front stays byte for byte.
    Bytes id3 = Str("ID3");
    id3.insert(id3.end(), {4, 0, 0, 0, 0, 0, 20});
    id3.resize(30, 0x41);
    Bytes f = id3;
    Append(f, Flac({}));
    const std::string path = dir.file("bare.flac");
    testutil::WriteFile(path, f);
    TFlacTag t;
    EXPECT_EQ(t.LoadFromFile(path), flacresult::NoTag);
    EXPECT_DOUBLE_EQ(t.Playtime(), 10.0);
    t.AddTextTag("TITLE", "Tagged");
    ASSERT_EQ(t.SaveToFile(path), flacresult::Success);
    Bytes after = testutil::ReadFile(path);
    EXPECT_TRUE(std::equal(id3.begin(), id3.end(), after.begin()));
    EXPECT_TRUE(EndsWithAudio(after));
    TFlacTag again;
    ASSERT_EQ(again.LoadFromFile(path), flacresult::Success);
    EXPECT_EQ(again.GetText("TITLE"), "Tagged");

    // A read-only file is refused before anything is written.
    ::chmod(path.c_str(), 0444);
    again.SetText("TITLE", "x");
    EXPECT_EQ(again.SaveToFile(path), flacresult::ReadOnly);
    EXPECT_EQ(testutil::ReadFile(path), after);
    ::chmod(path.c_str(), 0644);

    // A comment block of 16 MiB cannot be declared in 24 bits: refused, unchanged.
    again.SetText("LYRICS", std::string(1 << 24, 'x'));
    EXPECT_EQ(again.SaveToFile(path), flacresult::TooLarge);
    EXPECT_EQ(testutil::ReadFile(path), after);
}

TEST(FlacMapping, TrackListsPicturesAndTypes) {
    testutil::TTempDir dir;
    const std::string path = dir.file("m.flac");
    testutil::WriteFile(path, Flac({Block(4, Comments({"TRACKNUMBER=3/12", "artist=One", "ARTIST=Two",
                                                       "TIPL=producer\r\nA\r\nengineer\r\nB\r\n"})),
                                    Block(6, Picture(4, "image/png", Png)), Block(6, Picture(3, "image/png", Png)),
                                    Block(1, Bytes(64, 0))}));
    TTags tags;
    ASSERT_EQ(tags.LoadFromFile(path), 0);
    EXPECT_EQ(tags.GetText("TRACKNUMBER"), "3");
    EXPECT_EQ(tags.GetText("TOTALTRACKS"), "12");
    EXPECT_EQ(tags.TypeCount("ARTIST"), 2);
    EXPECT_EQ(tags.GetText("TIPL"), "producer=A\r\nengineer=B\r\n");
    ASSERT_EQ(tags.CoverArtCount(), 2);
    EXPECT_EQ(tags.CoverArtAt(1)->Name, "Cover art 2");
    EXPECT_EQ(tags.CoverArtAt(0)->CoverType, 4u);
    EXPECT_DOUBLE_EQ(tags.SourceAudioAttributes().PlayTime(), 10.0);
    EXPECT_EQ(tags.SourceAudioAttributes().SamplesPerSec(), 44100u);

    // A new picture without a type is written as the front cover; the
    // file's pictures keep theirs; a missing MIME type comes from the bytes.
    TCoverArt* added = tags.AddCoverArt("Cover art 3");
    added->Data = Png;
    added->Data.push_back(0x42);  // not one of the file's pictures
    tags.SetText("TITLE", "T");
    ASSERT_EQ(tags.SaveToFile(path), 0);
    TFlacTag t;
    ASSERT_EQ(t.LoadFromFile(path), flacresult::Success);
    ASSERT_EQ(t.CoverArtCount(), 3);
    EXPECT_EQ(t.CoverArts[0].Info.PictureType, 4u);
    EXPECT_EQ(t.CoverArts[1].Info.PictureType, 3u);
    EXPECT_EQ(t.CoverArts[2].Info.PictureType, 3u);
    EXPECT_EQ(t.CoverArts[2].Info.MIMEType, "image/png");
    // The number keeps the n/m form the file gave it.
    EXPECT_EQ(t.GetText("TRACKNUMBER"), "3/12");
    EXPECT_EQ(t.FrameExists("TOTALTRACKS"), -1);
    std::vector<std::string> artists;
    t.GetMultipleValues("ARTIST", artists);
    EXPECT_EQ(artists, (std::vector<std::string>{"One", "Two"}));
    std::vector<std::string> people;
    t.Tags[t.FrameExists("TIPL")].GetList(people);
    EXPECT_EQ(people, (std::vector<std::string>{"producer=A", "engineer=B"}));

    // Deleting a unified entry removes it from the file.
    TTags again;
    ASSERT_EQ(again.LoadFromFile(path), 0);
    again.Delete("TITLE");
    ASSERT_EQ(again.SaveToFile(path), 0);
    TFlacTag last;
    ASSERT_EQ(last.LoadFromFile(path), flacresult::Success);
    EXPECT_EQ(last.FrameExists("TITLE"), -1);
}

namespace {

// One second of a 16-bit stereo WAV, encoded by the flac tool (native or Ogg).
std::string EncodeFlac(const testutil::TTempDir& Dir, const std::string& Name, const std::string& Options) {
    Bytes wav = Str("RIFF");
    const uint32_t data = 44100 * 4;
    auto le = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) wav.push_back((uint8_t)(v >> (8 * i)));
    };
    le(36 + data, 4);
    Append(wav, Str("WAVEfmt "));
    le(16, 4);
    le(1, 2);
    le(2, 2);
    le(44100, 4);
    le(44100 * 4, 4);
    le(4, 2);
    le(16, 2);
    Append(wav, Str("data"));
    le(data, 4);
    for (uint32_t i = 0; i < data / 2; ++i) le((uint32_t)(int16_t)(8000 * ((i / 50) % 2 ? 1 : -1)), 2);
    testutil::WriteFile(Dir.file("in.wav"), wav);
    const std::string out = Dir.file(Name);
    testutil::Run("flac -s -f " + Options + " -o '" + out + "' '" + Dir.file("in.wav") + "' 2>/dev/null");
    return out;
}

}  // namespace

// FLAC in Ogg: the blocks come from the pages after the mapping header; a
// save fills the old pages when the padding allows, otherwise the metadata
// pages are rebuilt and the audio pages renumbered; the audio stays intact.
TEST(OggFlac, ReadInPlaceAndRewrite) {
    if (!testutil::HaveCommand("flac")) GTEST_SKIP() << "flac tool missing";
    testutil::TTempDir dir;
    const std::string path = EncodeFlac(dir, "a.oga", "--ogg -T TITLE=Orig -T ARTIST=X");
    const Bytes original = testutil::ReadFile(path);
    TFlacTag t;
    ASSERT_EQ(t.LoadFromFile(path), flacresult::Success);
    EXPECT_EQ(t.StreamType, fstOggFlac);
    EXPECT_EQ(t.GetText("TITLE"), "Orig");
    EXPECT_EQ(t.SampleCount, 44100u);
    EXPECT_DOUBLE_EQ(t.Playtime(), 1.0);

    t.SetText("TITLE", "New title");
    ASSERT_EQ(t.SaveToFile(path), flacresult::Success);
    EXPECT_EQ(testutil::ReadFile(path).size(), original.size());  // in place
    t.SetText("COMMENT", std::string(20000, 'c'));
    ASSERT_EQ(t.SaveToFile(path), flacresult::Success);
    TFlacTag again;
    ASSERT_EQ(again.LoadFromFile(path), flacresult::Success);
    EXPECT_EQ(again.GetText("TITLE"), "New title");
    EXPECT_EQ(again.GetText("COMMENT").size(), 20000u);
    EXPECT_EQ(again.GetText("ARTIST"), "X");
    if (testutil::HaveCommand("oggz-validate")) {
        EXPECT_EQ(testutil::Run("oggz-validate '" + path + "' >/dev/null 2>&1"), 0);
    }
    EXPECT_EQ(testutil::Run("flac -t -s '" + path + "' 2>/dev/null"), 0);

    // The container recognises the stream and writes its comments there.
    EXPECT_EQ(DetectAudioFormatOfFile(path), 3);
    TTags tags;
    ASSERT_EQ(tags.LoadFromFile(path), 0);
    tags.SetText("ALBUM", "Album");
    ASSERT_EQ(tags.SaveToFile(path), 0);
    ASSERT_EQ(again.LoadFromFile(path), flacresult::Success);
    EXPECT_EQ(again.GetText("ALBUM"), "Album");
}

TEST(OggFlac, OtherOggStreamsAreNotFlac) {
    testutil::TTempDir dir;
    if (!testutil::HaveCommand("oggenc") || !testutil::HaveCommand("flac")) GTEST_SKIP() << "encoders missing";
    const std::string wavSource = EncodeFlac(dir, "x.flac", "");
    const std::string ogg = dir.file("v.ogg");
    testutil::Run("flac -s -d -f -o '" + dir.file("d.wav") + "' '" + wavSource + "' 2>/dev/null && oggenc -Q -o '" +
                  ogg + "' '" + dir.file("d.wav") + "'");
    TFlacTag t;
    EXPECT_EQ(t.LoadFromFile(ogg), flacresult::NotOggFlac);
    EXPECT_FALSE(t.Loaded);
}

// The year goes where players read it: DATE. A full date that starts with
// the year stays whole; a tag that keeps its own YEAR comment keeps it.
TEST(FlacMapping, YearGoesIntoDate) {
    struct TCase {
        std::vector<std::string> Comments;
        std::string Year, Date, YearComment;
    };
    const TCase cases[] = {
        {{"DATE=2004-05-03"}, "2004", "2004-05-03", ""},
        {{"DATE=2004-05-03"}, "2024", "2024", ""},
        {{"TITLE=x"}, "1999", "1999", ""},
        {{"YEAR=2001", "DATE=2001"}, "2002", "2001", "2002"},
    };
    testutil::TTempDir dir;
    const std::string path = dir.file("y.flac");
    for (const auto& c : cases) {
        testutil::WriteFile(path, Flac({Block(4, Comments(c.Comments)), Block(1, Bytes(64, 0))}));
        TTags tags;
        ASSERT_EQ(tags.LoadFromFile(path), 0);
        tags.SetText("YEAR", c.Year);
        ASSERT_EQ(tags.SaveToFile(path), 0);
        TFlacTag t;
        ASSERT_EQ(t.LoadFromFile(path), flacresult::Success);
        EXPECT_EQ(t.GetText("DATE"), c.Date) << c.Year;
        EXPECT_EQ(t.GetText("YEAR"), c.YearComment) << c.Year;
        std::vector<std::string> dates;
        t.GetMultipleValues("DATE", dates);
        EXPECT_EQ(dates.size(), 1u);
    }
}

// Removing the tags leaves an empty comment block, no pictures, the other blocks.
TEST(FlacWrite, StripKeepsOtherBlocks) {
    testutil::TTempDir dir;
    const std::string path = dir.file("s.flac");
    const Bytes seek = Block(3, Bytes(18, 0x33));
    testutil::WriteFile(path, Flac({seek, Block(4, Comments({"TITLE=x"})), Block(6, Picture(3, "image/png", Png))}));
    EXPECT_EQ(StripTagsFromFile(path, ttFlac), 0);
    TFlacTag t;
    ASSERT_EQ(t.LoadFromFile(path), flacresult::Success);
    EXPECT_EQ(t.Count(), 0);
    EXPECT_EQ(t.CoverArtCount(), 0);
    EXPECT_EQ(t.VendorString, "test vendor");
    const Bytes after = testutil::ReadFile(path);
    EXPECT_NE(std::search(after.begin(), after.end(), seek.begin() + 1, seek.end()), after.end());
    EXPECT_TRUE(EndsWithAudio(after));
}

// A comment keeps the file's spelling of its name when it is written back;
// names new to the tag are upper-cased.
TEST(FlacMapping, NamesKeepTheirSpelling) {
    testutil::TTempDir dir;
    const std::string path = dir.file("n.flac");
    testutil::WriteFile(path, Flac({Block(4, Comments({"title=Old", "Artist=A"})), Block(1, Bytes(64, 0))}));
    TTags tags;
    ASSERT_EQ(tags.LoadFromFile(path), 0);
    tags.SetText("TITLE", "New");
    tags.SetText("album", "Album");
    ASSERT_EQ(tags.SaveToFile(path), 0);
    const std::string raw = [&] {
        Bytes b = testutil::ReadFile(path);
        return std::string(b.begin(), b.end());
    }();
    EXPECT_NE(raw.find("title=New"), std::string::npos);
    EXPECT_NE(raw.find("Artist=A"), std::string::npos);
    EXPECT_NE(raw.find("ALBUM=Album"), std::string::npos);
}
