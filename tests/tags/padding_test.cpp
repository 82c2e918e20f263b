// The padding rule (tags/padding.h) and what it buys: after a first save, a
// run of edits that grow and shrink a title by up to 2 KB keeps every
// format's file in place (same inode, the audio where it was, untouched), and
// each edit writes no more than the tag and 64 KiB.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tags/padding.h"
#include "tags/tags.h"
#include "tests/bytes.h"
#include "tests/tags/asf/asf_fixture.h"
#include "tests/tags/flac_ogg_fixtures.h"
#include "tests/tags/mp4/mp4_fixtures.h"
#include "tests/test_util.h"

namespace {

using namespace tbytes;

TEST(PaddingRule, GrowsWithTheFileBetweenItsBounds) {
    struct TCase {
        int64_t FileSize, Written;
    };
    const TCase cases[] = {
        {0, 4096},  // at least 4 KiB
        {300 * 1024, 4096},
        {5'000'000, 50'000},  // one hundredth of the file
        {98'800'000, 988'000},
        {500'000'000, 1024 * 1024},  // at most 1 MiB
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.FileSize);
        EXPECT_EQ(padding::PaddingFor(c.FileSize), c.Written);
        EXPECT_EQ(padding::MostKept(c.FileSize), 2 * c.Written);
    }
}

TEST(PaddingRule, AShrunkTagKeepsItsPlaceWithinTheBound) {
    struct TCase {
        const char* Name;
        int64_t New, Old, FileSize;
        bool Kept;
    };
    const TCase cases[] = {
        {"freed bytes within twice the padding", 12'000, 6'000, 600'000, true},
        {"freed bytes beyond it", 12'001, 6'000, 600'000, false},
        {"a small file keeps twice 4 KiB", 8192, 4096, 30'000, true},
        {"a large file allows more", 90'000, 50'000, 5'000'000, true},
        {"grown or unchanged: never moved for its padding", 3'000'000, 3'000'000, 5'000'000, true},
        {"less than before", 2'999'000, 3'000'000, 5'000'000, true},
        {"no room at all", -1, 4096, 600'000, false},
    };
    for (const auto& c : cases) EXPECT_EQ(padding::MayKeep(c.New, c.Old, c.FileSize), c.Kept) << c.Name;
}

// ---- a run of edits on every format -------------------------------------------------------

constexpr size_t AudioBytes = 1'200'000;  // a rewrite would write all of it

struct TBuilt {
    Bytes File;
    Bytes Audio;
};

struct TRow {
    const char* Name;
    const char* Extension;
    std::function<TBuilt()> Build;
    TTagType Kind;
};

void PrintTo(const TRow& Row, std::ostream* Out) { *Out << Row.Name; }

Bytes SmallID3v2(int Version) {
    return Tag(Version, Cat(Frame(Version, "TIT2", Text0("Title")), Frame(Version, "TPE1", Text0("Artist"))));
}

TBuilt Mp3() {
    const Bytes audio = MpegFrames((int)(AudioBytes / 417));
    return {Cat(SmallID3v2(3), audio), audio};
}

TBuilt WaveID3() {
    const Bytes audio = Audio(AudioBytes);
    return {Wave(Cat(FmtChunk(), Chunk("data", audio), Chunk("id3 ", SmallID3v2(3)))), audio};
}

Bytes InfoList() {
    return Chunk("LIST", Cat(Str("INFO"), Chunk("INAM", Str(std::string("Title") + '\0')),
                             Chunk("IART", Str(std::string("Artist") + '\0'))));
}

TBuilt WaveInfo() {
    const Bytes audio = Audio(AudioBytes);
    return {Wave(Cat(FmtChunk(), InfoList(), Chunk("data", audio))), audio};
}

// INFO behind the audio, as many writers leave it: a length change there
// moves no audio, but the file is still written whole unless the tag fits.
TBuilt WaveInfoAtTheEnd() {
    const Bytes audio = Audio(AudioBytes);
    return {Wave(Cat(FmtChunk(), Chunk("data", audio), InfoList())), audio};
}

TBuilt Rf64Info() {
    const Bytes audio = Audio(AudioBytes);
    const Bytes rest = Cat(FmtChunk(), InfoList(), Str("data"), LE32(0xFFFFFFFF), audio);
    const Bytes ds64 =
        Chunk("ds64", Cat(LE64(4 + 36 + rest.size()), LE64(audio.size()), LE64(AudioBytes / 4), LE32(0)));
    return {Cat(Str("RF64"), LE32(0xFFFFFFFF), Str("WAVE"), ds64, rest), audio};
}

TBuilt AiffID3() {
    const Bytes audio = Audio(AudioBytes);
    const Bytes comm = Cat(Bytes{0, 2}, BE32(AudioBytes / 4), Bytes{0, 16, 0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0});
    return {Aiff(Cat(Chunk("COMM", comm, true), Chunk("SSND", Cat(Bytes(8, 0), audio), true),
                     Chunk("ID3 ", SmallID3v2(4), true))),
            audio};
}

TBuilt DsfID3() {
    const Bytes audio = Audio(AudioBytes);
    return {Dsf(audio, SmallID3v2(3)), audio};
}

TBuilt DffID3() {
    const Bytes audio = Audio(AudioBytes);
    const Bytes prop =
        Cat(Str("SND "), DffChunk("FS  ", BE32(2822400)), DffChunk("CHNL", Cat(Bytes{0, 2}, Str("SLFTSRGT"))),
            DffChunk("CMPR", Cat(Str("DSD "), Bytes{0, 0})));
    return {Dff(Cat(DffChunk("FVER", BE32(0x01050000)), DffChunk("PROP", prop), DffChunk("DSD ", audio),
                    DffChunk("ID3 ", SmallID3v2(4)))),
            audio};
}

TBuilt NativeFlac() {
    using namespace flacoggfixtures;
    const Bytes audio = Audio(AudioBytes);
    return {Cat(Str("fLaC"), FlacBlock(0, StreamInfo()), FlacBlock(4, CommentBody()), FlacBlock(1, Bytes(100, 0), true),
                audio),
            audio};
}

// The audio in pages of their own after the header pages (whose bytes a save
// may renumber; the pages' bodies are the audio bytes that must stay).
Bytes AudioPages(const Bytes& Audio, uint32_t FirstSequence, Bytes& Bodies) {
    Bytes out;
    constexpr size_t PerPage = 60000;
    for (size_t at = 0, n = 0; at < Audio.size(); at += PerPage, ++n) {
        const Bytes part(Audio.begin() + (ptrdiff_t)at,
                         Audio.begin() + (ptrdiff_t)std::min(Audio.size(), at + PerPage));
        const bool last = at + PerPage >= Audio.size();
        out = Cat(out, flacoggfixtures::OggPage({part}, FirstSequence + (uint32_t)n, 1000 * (n + 1),
                                                last ? ogg::FlagLast : 0));
        Bodies = Cat(Bodies, part);
    }
    return out;
}

TBuilt OggFlac() {
    using namespace flacoggfixtures;
    Bytes bodies;
    const Bytes first = Cat(Bytes{0x7F}, Str("FLAC"), Bytes{1, 0, 0, 2}, Str("fLaC"), FlacBlock(0, StreamInfo()));
    const Bytes pages = AudioPages(Audio(AudioBytes), 3, bodies);
    return {Cat(OggPage({first}, 0, 0, ogg::FlagFirst), OggPage({FlacBlock(4, CommentBody())}, 1, 0),
                OggPage({FlacBlock(1, Bytes(100, 0), true)}, 2, 0), pages),
            bodies};
}

TBuilt OggVorbis() {
    using namespace flacoggfixtures;
    Bytes bodies;
    const Bytes id =
        Cat(Str("\x01vorbis"), LE32(0), Bytes{2}, LE32(44100), LE32(0), LE32(128000), LE32(0), Bytes{0xB8, 1});
    const Bytes comment = Cat(Str("\x03vorbis"), CommentBody(), Bytes{1});
    const Bytes setup = Cat(Str("\x05vorbis"), Bytes(500, 0x42));
    const Bytes pages = AudioPages(Audio(AudioBytes), 2, bodies);
    return {Cat(OggPage({id}, 0, 0, ogg::FlagFirst), OggPage({comment, setup}, 1, 0), pages), bodies};
}

TBuilt Opus() {
    using namespace flacoggfixtures;
    Bytes bodies;
    const Bytes id = Cat(Str("OpusHead"), Bytes{1, 2, 0x38, 0x01}, LE32(48000), Bytes{0, 0, 0});
    const Bytes comment = Cat(Str("OpusTags"), CommentBody());
    const Bytes pages = AudioPages(Audio(AudioBytes), 2, bodies);
    return {Cat(OggPage({id}, 0, 0, ogg::FlagFirst), OggPage({comment}, 1, 0), pages), bodies};
}

// The item list in front of the media data; more media data behind it.
TBuilt M4a() {
    const Bytes audio = Audio(AudioBytes);
    const Bytes f = mp4fx::FastStart(mp4fx::Udta(mp4fx::TextItem("©nam", "Title")));
    return {Cat(f, mp4fx::Atom("mdat", audio)), audio};
}

TBuilt Wma() {
    using namespace asffixture;
    const Bytes file = MakeAsf({{"Title", 0, U16z("Title")}, {"Author", 0, U16z("Artist")}}, 0, AudioBytes);
    Bytes audio(AudioBytes);
    for (size_t i = 0; i < audio.size(); ++i) audio[i] = uint8_t(i * 7);  // MakeAsf's packet bytes
    return {file, audio};
}

const TRow Rows[] = {
    {"Mp3ID3v2", ".mp3", Mp3, ttAutomatic},      {"WaveID3v2", ".wav", WaveID3, ttID3v2},
    {"WaveInfo", ".wav", WaveInfo, ttWAV},       {"WaveInfoAtTheEnd", ".wav", WaveInfoAtTheEnd, ttWAV},
    {"WaveBoth", ".wav", WaveID3, ttAutomatic},  {"Rf64Info", ".wav", Rf64Info, ttWAV},
    {"AiffID3v2", ".aif", AiffID3, ttAutomatic}, {"DsfID3v2", ".dsf", DsfID3, ttAutomatic},
    {"DffID3v2", ".dff", DffID3, ttAutomatic},   {"Flac", ".flac", NativeFlac, ttAutomatic},
    {"OggFlac", ".oga", OggFlac, ttAutomatic},   {"OggVorbis", ".ogg", OggVorbis, ttAutomatic},
    {"Opus", ".opus", Opus, ttAutomatic},        {"M4a", ".m4a", M4a, ttAutomatic},
    {"Wma", ".wma", Wma, ttAutomatic},
};

// Bytes this process has handed to write() so far.
int64_t BytesWritten() {
    std::ifstream io("/proc/self/io");
    std::string key;
    int64_t value = 0;
    while (io >> key >> value)
        if (key == "wchar:") return value;
    return -1;
}

ino_t Inode(const std::string& Path) {
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Where the audio lies in the file (-1 when it is not there whole).
int64_t AudioAt(const Bytes& File, const Bytes& Audio, const char* Extension) {
    if (std::string(Extension) == ".oga" || std::string(Extension) == ".ogg" || std::string(Extension) == ".opus") {
        // Page by page: the first page's body marks the place, the rest must follow in order.
        const Bytes head(Audio.begin(), Audio.begin() + 60000);
        auto at = std::search(File.begin(), File.end(), head.begin(), head.end());
        if (at == File.end()) return -1;
        size_t found = 0;
        for (auto it = at; found < Audio.size();) {
            const size_t n = std::min<size_t>(60000, Audio.size() - found);
            it = std::search(it, File.end(), Audio.begin() + (ptrdiff_t)found, Audio.begin() + (ptrdiff_t)(found + n));
            if (it == File.end()) return -1;
            it += (ptrdiff_t)n;
            found += n;
        }
        return at - File.begin();
    }
    auto at = std::search(File.begin(), File.end(), Audio.begin(), Audio.end());
    return at == File.end() ? -1 : at - File.begin();
}

class InPlaceRun : public ::testing::TestWithParam<TRow> {};

// A first save (which may move the audio once), then titles that grow and
// shrink by up to 2 KB, in one and in several bytes a character.
TEST_P(InPlaceRun, EditsAfterTheFirstSaveStayInPlace) {
    const TRow& row = GetParam();
    testutil::TTempDir dir;
    const std::string path = dir.file(std::string("file") + row.Extension);
    const TBuilt built = row.Build();
    testutil::WriteFile(path, built.File);

    auto save = [&](const std::string& Title) {
        TTags t;
        ASSERT_EQ(t.LoadFromFile(path), 0);
        t.SetText("TITLE", Title);
        ASSERT_EQ(t.SaveToFile(path, row.Kind), 0);
    };
    save(std::string(1000, 'f'));
    const ino_t inode = Inode(path);
    const int64_t audioAt = AudioAt(testutil::ReadFile(path), built.Audio, row.Extension);
    ASSERT_GE(audioAt, 0);

    std::string east;
    while (east.size() < 2000) east += "Ночь 東京 🎵 ";
    east.pop_back();
    const std::string titles[] = {std::string(2000, 'g'),
                                  "s",
                                  "Ночь 東京 🎵",
                                  "short",
                                  std::string(2000, 'h'),
                                  "x",
                                  east,
                                  std::string(1500, 'i'),
                                  "",
                                  "Title",
                                  std::string(999, 'j')};
    for (const std::string& title : titles) {
        SCOPED_TRACE(title.size());
        const int64_t before = BytesWritten();
        save(title);
        const int64_t written = BytesWritten() - before;
        const Bytes after = testutil::ReadFile(path);
        EXPECT_EQ(Inode(path), inode);
        EXPECT_EQ(AudioAt(after, built.Audio, row.Extension), audioAt);
        // The tag: everything the file holds beside the audio.
        const int64_t tag = (int64_t)after.size() - (int64_t)built.Audio.size();
        EXPECT_LE(written, tag + 64 * 1024);
        TTags again;
        ASSERT_EQ(again.LoadFromFile(path), 0);
        EXPECT_EQ(again.GetText("TITLE"), title);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, InPlaceRun, ::testing::ValuesIn(Rows),
                         [](const ::testing::TestParamInfo<TRow>& Info) { return std::string(Info.param.Name); });

}  // namespace
