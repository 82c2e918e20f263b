// The contract every format's reader and writer keeps, run against one row
// per format: loading never crashes, an unchanged save keeps every entry and
// picture, repeated saves give identical bytes, the audio bytes never change,
// an edit changes only the edited field, and a save that fails part-way (a
// write error, a full disk, a kill during a rewrite) leaves the file as it
// was or whole in its new form.
//
// Adding a format is one row in Rows below: a name, the file name extension,
// a factory that builds a small valid file of it (with the audio bytes it
// holds), and the tag kind written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "tags/file_edit.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tests/bytes.h"
#include "tests/tags/asf/asf_fixture.h"
#include "tests/tags/flac_ogg_fixtures.h"
#include "tests/tags/mp4/mp4_fixtures.h"
#include "tests/test_util.h"

namespace {

using namespace tbytes;
namespace fs = std::filesystem;

// A built file and the audio bytes inside it.
struct TBuilt {
    Bytes File;
    Bytes Audio;
};

struct TContractRow {
    const char* Name;
    const char* Extension;
    std::function<TBuilt()> Build;
    TTagType Kind;
    // Whether the kind is written to streams (WMA is written by file name only).
    bool StreamSaves = true;
};

// ---- factories ---------------------------------------------------------------------

// A tag with the frames a tagged file usually has: texts, a number with its
// total, a genre, the user's comment beside a player's described one, a TXXX,
// a play counter with a rating, and a front cover.
Bytes ID3v2Tag(int Version) {
    auto f = [&](const char* ID, const Bytes& Body) { return Frame(Version, ID, Body); };
    Bytes frames = Cat(f("TIT2", Text0("Title")), f("TPE1", Text0("Artist")), f("TALB", Text0("Album")),
                       f("TRCK", Text0("3/12")), f("TCON", Text0("Rock")), f("COMM", Content0("eng", "", "Comment")),
                       f("COMM", Content0("eng", "iTunNORM", " 0000044E")), f("TXXX", UserText0("MOOD", "Calm")),
                       f("POPM", Cat(Str("a@b.c"), Bytes{0, 196, 0, 0, 0, 7})),
                       f("APIC", Picture0("image/png", 3, "front", Png(400))));
    frames = Cat(frames, Version == 4 ? f("TDRC", Text0("2003-05-01")) : f("TYER", Text0("2003")));
    return Tag(Version, frames, 128);
}

TBuilt Mp3WithID3v2(int Version) {
    Bytes audio = MpegFrames(12);
    return {Cat(ID3v2Tag(Version), audio), audio};
}

TBuilt Mp3WithID3v1() {
    Bytes audio = MpegFrames(12);
    return {Cat(audio, ID3v1Block("Title", "Artist", "Album", "2003", "Comment", 3, 17)), audio};
}

TBuilt WaveWithID3v2() {
    Bytes audio = Audio(3000);
    return {Wave(Cat(FmtChunk(), Chunk("data", audio), Chunk("id3 ", ID3v2Tag(3)))), audio};
}

TBuilt AiffWithID3v2() {
    Bytes audio = Audio(3000);
    // COMM: 2 channels, 750 frames, 16 bits, 44100 Hz (80-bit float).
    Bytes comm = Cat(Bytes{0, 2}, BE32(750), Bytes{0, 16, 0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0});
    return {Aiff(Cat(Chunk("COMM", comm, true), Chunk("SSND", Cat(Bytes(8, 0), audio), true),
                     Chunk("ID3 ", ID3v2Tag(4), true))),
            audio};
}

TBuilt DsfWithID3v2() {
    Bytes audio = Audio(4096);
    return {Dsf(audio, ID3v2Tag(3)), audio};
}

TBuilt DffWithID3v2() {
    Bytes audio = Audio(3000);
    Bytes prop = Cat(Str("SND "), DffChunk("FS  ", BE32(2822400)), DffChunk("CHNL", Cat(Bytes{0, 2}, Str("SLFTSRGT"))),
                     DffChunk("CMPR", Cat(Str("DSD "), Bytes{0, 0})));
    return {Dff(Cat(DffChunk("FVER", BE32(0x01050000)), DffChunk("PROP", prop), DffChunk("DSD ", audio),
                    DffChunk("ID3 ", ID3v2Tag(4)))),
            audio};
}

// An APEv2 tag as other writers leave it: texts, two values of one key, a
// track with its total, a binary item of a player's own, a front cover.
Bytes APEv2Tag() {
    auto item = [](const std::string& Key, const Bytes& Value, uint32_t Kind) {
        return Cat(LE32((uint32_t)Value.size()), LE32(Kind << 1), Str(Key), Bytes{0}, Value);
    };
    const Bytes items =
        Cat(item("TITLE", Str("Title"), 0), item("ARTIST", Str(std::string("One\0Two", 7)), 0),
            item("ALBUM", Str("Album"), 0), item("TRACK", Str("3/12"), 0), item("YEAR", Str("2003"), 0),
            item("GENRE", Str("Rock"), 0), item("Cover Art (Front)", Cat(Str("front"), Bytes{0}, Png(400)), 1),
            item("PLAYER DATA", Bytes{1, 2, 3, 0, 4}, 1));
    auto header = [&](uint32_t Flags) {
        return Cat(Str("APETAGEX"), LE32(2000), LE32((uint32_t)items.size() + 32), LE32(8), LE32(Flags), Bytes(8, 0));
    };
    return Cat(header(0xA0000000u), items, header(0x80000000u));
}

TBuilt WavPackWithAPEv2() {
    Bytes audio = Cat(Str("wvpk"), Audio(3000));
    return {Cat(audio, APEv2Tag()), audio};
}

// MPEG audio, then the APEv2 tag, a Lyrics3 block and an ID3v1 block.
TBuilt Mp3WithAPEv2Lyrics3ID3v1() {
    Bytes audio = MpegFrames(12);
    const std::string lyrics = "LYRICSBEGININD0000210LYR00005hello";
    char size[8];
    std::snprintf(size, sizeof size, "%06zu", lyrics.size());
    return {Cat(audio, APEv2Tag(), Str(lyrics + size + "LYRICS200"),
                ID3v1Block("Title", "One", "Album", "2003", "Comment", 3, 17)),
            audio};
}

// RIFF INFO (with an odd-sized item and a number with its total), a
// broadcast extension and a cart chunk.
Bytes WaveTagChunks() {
    Bytes info = Cat(Str("INFO"), Chunk("INAM", Str(std::string("Title") + '\0')),
                     Chunk("IART", Str(std::string("Artist") + '\0')), Chunk("IPRD", Str(std::string("Album") + '\0')),
                     Chunk("ITRK", Str(std::string("3/12") + '\0')), Chunk("IGNR", Str(std::string("Rock") + '\0')),
                     Chunk("ICMT", Str(std::string("Comment") + '\0')));
    Bytes bext = Cat(Str("Description"), Bytes(338 - 11, 0), LE64(5000000000ull), Bytes{1, 0}, Bytes(254, 0),
                     Str("A=PCM,F=44100\r\n"));
    Bytes cart = Cat(Str("0101Cart title"), Bytes(2048 - 14, 0), Str("tag text"));
    return Cat(Chunk("LIST", info), Chunk("bext", bext), Chunk("cart", cart));
}

TBuilt WaveWithInfo() {
    Bytes audio = Audio(3000);
    return {Wave(Cat(FmtChunk(), WaveTagChunks(), Chunk("data", audio))), audio};
}

TBuilt Rf64WithInfo() {
    Bytes audio = Audio(3000);
    const Bytes rest = Cat(FmtChunk(), WaveTagChunks(), Str("data"), LE32(0xFFFFFFFF), audio);
    const Bytes ds64 = Chunk("ds64", Cat(LE64(4 + 36 + rest.size()), LE64(audio.size()), LE64(750), LE32(0)));
    return {Cat(Str("RF64"), LE32(0xFFFFFFFF), Str("WAVE"), ds64, rest), audio};
}

TBuilt WmaWithAttributes() {
    using namespace asffixture;
    const Bytes file = MakeAsf({{"Title", 0, U16z("Title")},
                                {"Author", 0, U16z("Artist")},
                                {"WM/AlbumTitle", 0, U16z("Album")},
                                {"WM/TrackNumber", 0, U16z("3/12")},
                                {"WM/Genre", 0, U16z("Rock")},
                                {"WM/SharedUserRating", 3, Dword(50)}},
                               512, 3000);
    Bytes audio(3000);
    for (size_t i = 0; i < audio.size(); ++i) audio[i] = uint8_t(i * 7);  // MakeAsf's packet bytes
    return {file, audio};
}

// An M4A file with its item list in front of the media data.
TBuilt M4aFastStart() {
    const auto t = mp4fx::TaggedM4a();
    return {t.File, t.Audio};
}

// FLAC, Ogg FLAC, Ogg Vorbis and Opus (tests/tags/flac_ogg_fixtures.h).
TBuilt VorbisCommentCarrier(flacoggfixtures::TFileAndAudio (*Make)()) {
    auto [file, audio] = Make();
    return {std::move(file), std::move(audio)};
}

void PrintTo(const TContractRow& Row, std::ostream* Out) { *Out << Row.Name; }

const TContractRow Rows[] = {
    {"Mp3ID3v1", ".mp3", Mp3WithID3v1, ttID3v1},
    {"Mp3ID3v23", ".mp3", [] { return Mp3WithID3v2(3); }, ttID3v2},
    {"Mp3ID3v24", ".mp3", [] { return Mp3WithID3v2(4); }, ttID3v2},
    {"WaveID3v2", ".wav", WaveWithID3v2, ttID3v2},
    {"AiffID3v2", ".aif", AiffWithID3v2, ttID3v2},
    {"DsfID3v2", ".dsf", DsfWithID3v2, ttID3v2},
    {"DffID3v2", ".dff", DffWithID3v2, ttID3v2},
    {"WavPackAPEv2", ".wv", WavPackWithAPEv2, ttAPEv2},
    {"Mp3APEv2Lyrics3ID3v1", ".mp3", Mp3WithAPEv2Lyrics3ID3v1, ttAPEv2},
    {"WaveInfo", ".wav", WaveWithInfo, ttWAV},
    {"Rf64Info", ".wav", Rf64WithInfo, ttWAV},
    {"Wma", ".wma", WmaWithAttributes, ttWMA, false},
    {"M4aMP4", ".m4a", M4aFastStart, ttMP4},
    {"Flac", ".flac", [] { return VorbisCommentCarrier(flacoggfixtures::NativeFlac); }, ttFlac},
    {"OggFlac", ".oga", [] { return VorbisCommentCarrier(flacoggfixtures::OggFlac); }, ttFlac},
    {"OggVorbis", ".ogg", [] { return VorbisCommentCarrier(flacoggfixtures::OggVorbis); }, ttOpusVorbis},
    {"Opus", ".opus", [] { return VorbisCommentCarrier(flacoggfixtures::Opus); }, ttOpusVorbis},
};

// ---- what a load gives ---------------------------------------------------------------

using TEntry = std::tuple<std::string, std::string, std::string, std::string>;
using TPicture = std::tuple<Bytes, uint32_t, std::string, std::string>;

struct TSnapshot {
    std::vector<TEntry> Entries;     // sorted
    std::vector<TPicture> Pictures;  // in order
    bool operator==(const TSnapshot&) const = default;
};

TSnapshot Snapshot(const TTags& Tags) {
    TSnapshot s;
    for (int i = 0; i < Tags.Count(); ++i) {
        const TTag& t = *Tags.TagAt(i);
        s.Entries.emplace_back(t.Name, t.Value, t.Description, t.Language);
    }
    std::sort(s.Entries.begin(), s.Entries.end());
    for (int i = 0; i < Tags.CoverArtCount(); ++i) {
        const TCoverArt& c = *Tags.CoverArtAt(i);
        s.Pictures.emplace_back(c.Data, c.CoverType, c.MIMEType, c.Description);
    }
    return s;
}

std::string Describe(const TSnapshot& S) {
    std::string out;
    for (const auto& [n, v, d, l] : S.Entries) out += n + "[" + d + "," + l + "]=" + v + "; ";
    return out + std::to_string(S.Pictures.size()) + " picture(s)";
}

size_t Occurrences(const Bytes& Haystack, const Bytes& Needle) {
    size_t n = 0;
    for (auto it = Haystack.begin();
         (it = std::search(it, Haystack.end(), Needle.begin(), Needle.end())) != Haystack.end(); ++it)
        ++n;
    return n;
}

class Contract : public ::testing::TestWithParam<TContractRow> {
protected:
    void SetUp() override {
        Built = GetParam().Build();
        Path = Dir.file(std::string("file") + GetParam().Extension);
        testutil::WriteFile(Path, Built.File);
    }

    TSnapshot Load(const std::string& P) {
        TTags t;
        t.ParseCoverArts = true;
        EXPECT_EQ(t.LoadFromFile(P), 0);
        return Snapshot(t);
    }

    // Loads, lets Edit change the container, saves the row's kind; the save's result.
    int Save(const std::function<void(TTags&)>& Edit = {}, const std::string& P = {}) {
        TTags t;
        t.ParseCoverArts = true;
        EXPECT_EQ(t.LoadFromFile(P.empty() ? Path : P), 0);
        if (Edit) Edit(t);
        return t.SaveToFile(P.empty() ? Path : P, GetParam().Kind);
    }

    // The file is byte-identical to Before, or whole in its new form: it
    // loads with the new title and holds the audio once.
    void ExpectOldOrNew(const Bytes& Before, const std::string& NewTitle) {
        // What the next load of the file finds: a save cut short is undone first.
        EXPECT_NE(RecoverInterruptedSave(Path), TRecovery::Failed);
        EXPECT_FALSE(fs::exists(JournalNameOf(Path)));
        const Bytes now = testutil::ReadFile(Path);
        if (now == Before) return;
        EXPECT_EQ(Occurrences(now, Built.Audio), 1u);
        TTags t;
        ASSERT_EQ(t.LoadFromFile(Path), 0);
        // An ID3v1 title is cut to its width.
        const std::string title = t.GetText("TITLE");
        EXPECT_TRUE(!title.empty() && NewTitle.compare(0, title.size(), title) == 0) << title.substr(0, 40);
    }

    testutil::TTempDir Dir;
    TBuilt Built;
    std::string Path;
};

TEST_P(Contract, LoadNeverCrashesOnCutOrDamagedCopies) {
    const Bytes& file = Built.File;
    const size_t step = std::max<size_t>(1, file.size() / 48);
    const std::string p = Dir.file(std::string("damaged") + GetParam().Extension);
    for (size_t cut = 0; cut < file.size(); cut += step) {
        testutil::WriteFile(p, Bytes(file.begin(), file.begin() + (ptrdiff_t)cut));
        TTags t;
        t.LoadFromFile(p);
    }
    for (size_t at = 0; at < file.size(); at += step) {
        for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x7F)}) {
            Bytes damaged = file;
            damaged[at] = value;
            testutil::WriteFile(p, damaged);
            TTags t;
            t.LoadFromFile(p);
            t.SaveToFile(p, GetParam().Kind);  // whatever it says, it must not crash
        }
    }
}

TEST_P(Contract, AnUnchangedSaveKeepsEveryEntryAndPicture) {
    const TSnapshot before = Load(Path);
    ASSERT_FALSE(before.Entries.empty());
    ASSERT_EQ(Save(), 0);
    const TSnapshot after = Load(Path);
    EXPECT_EQ(after, before) << Describe(before) << "\n" << Describe(after);
}

// A save with nothing edited writes nothing: not a byte, not the file's
// modification time, and the file is not replaced by a new one. Both the
// row's kind and a save of every kind the file holds.
TEST_P(Contract, AnUnchangedSaveWritesNothing) {
    for (TTagType kind : {GetParam().Kind, ttAutomatic}) {
        SCOPED_TRACE(kind);
        const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, Path.c_str(), old, 0), 0);
        struct stat before {};
        ASSERT_EQ(::stat(Path.c_str(), &before), 0);
        TTags t;
        ASSERT_EQ(t.LoadFromFile(Path), 0);
        ASSERT_EQ(t.SaveToFile(Path, kind), 0);
        struct stat after {};
        ASSERT_EQ(::stat(Path.c_str(), &after), 0);
        EXPECT_EQ(testutil::ReadFile(Path), Built.File);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    }
}

TEST_P(Contract, TenSavesInARowGiveIdenticalBytes) {
    ASSERT_EQ(Save(), 0);
    const Bytes first = testutil::ReadFile(Path);
    for (int i = 2; i <= 10; ++i) {
        ASSERT_EQ(Save(), 0);
        ASSERT_EQ(testutil::ReadFile(Path), first) << "save " << i;
    }
}

TEST_P(Contract, TheAudioBytesNeverChange) {
    ASSERT_EQ(Occurrences(Built.File, Built.Audio), 1u);
    ASSERT_EQ(Save(), 0);
    EXPECT_EQ(Occurrences(testutil::ReadFile(Path), Built.Audio), 1u);
    // A tag that outgrows its room moves the audio (a rewrite), never changes it.
    ASSERT_EQ(Save([](TTags& t) { t.SetText("ALBUM", std::string(5000, 'a')); }), 0);
    EXPECT_EQ(Occurrences(testutil::ReadFile(Path), Built.Audio), 1u);
    ASSERT_EQ(Save([](TTags& t) { t.SetText("ALBUM", "Short"); }), 0);
    EXPECT_EQ(Occurrences(testutil::ReadFile(Path), Built.Audio), 1u);
}

TEST_P(Contract, AnEditChangesOnlyTheEditedField) {
    TSnapshot expected = Load(Path);
    for (auto& [n, v, d, l] : expected.Entries)
        if (n == "TITLE") v = "Edited";
    std::sort(expected.Entries.begin(), expected.Entries.end());
    ASSERT_EQ(Save([](TTags& t) { t.SetText("TITLE", "Edited"); }), 0);
    const TSnapshot after = Load(Path);
    EXPECT_EQ(after, expected) << Describe(expected) << "\n" << Describe(after);
}

// A stream whose writes fail in one of two ways: the write call number
// FailAt refuses its bytes (an I/O error; later writes work again), or,
// with NoGrowth, no write may go beyond the stream's first size (a full disk).
class TFailingStream final : public TStream {
public:
    TFailingStream(Bytes Data, int FailAt, bool NoGrowth)
        : FInner(std::move(Data)), FFailAt(FailAt), FNoGrowth(NoGrowth), FLimit(FInner.Size()) {}
    int64_t Read(void* B, int64_t N) override { return FInner.Read(B, N); }
    int64_t Write(const void* B, int64_t N) override {
        if (FCalls++ == FFailAt) return 0;
        if (FNoGrowth) N = std::max<int64_t>(0, std::min(N, FLimit - FInner.Position()));
        return FInner.Write(B, N);
    }
    int64_t Seek(int64_t P) override { return FInner.Seek(P); }
    int64_t Position() const override { return FInner.Position(); }
    int64_t Size() const override { return FInner.Size(); }
    bool SetSize(int64_t N) override { return (!FNoGrowth || N <= FLimit) && FInner.SetSize(N); }
    const Bytes& Data() const { return FInner.Data(); }
    int Calls() const { return FCalls; }

private:
    TMemoryStream FInner;
    int FFailAt;
    bool FNoGrowth;
    int64_t FLimit;
    int FCalls = 0;
};

TEST_P(Contract, AWriteErrorLeavesTheOldBytesOrTheWholeNewFile) {
    if (!GetParam().StreamSaves) GTEST_SKIP() << "written by file name only";
    for (const size_t titleSize : {size_t(3), size_t(6000)}) {  // in place, and outgrowing the tag
        const std::string title(titleSize, 'n');
        TMemoryStream whole(Built.File);
        {
            TTags t;
            ASSERT_EQ(t.LoadFromStream(whole), 0);
            t.SetText("TITLE", title);
            ASSERT_EQ(t.SaveToStream(whole, false, GetParam().Kind), 0);
        }
        // Every write call of the save fails once, in turn; then the disk is full.
        for (int failAt = 0;; ++failAt) {
            SCOPED_TRACE("title " + std::to_string(titleSize) + ", failing write " + std::to_string(failAt));
            TFailingStream s(Built.File, failAt, false);
            TTags t;
            ASSERT_EQ(t.LoadFromStream(s), 0);
            t.SetText("TITLE", title);
            const int result = t.SaveToStream(s, false, GetParam().Kind);
            if (result != 0) {
                EXPECT_EQ(s.Data(), Built.File) << "a failed save changed the stream";
            } else {
                EXPECT_EQ(s.Data(), whole.Data());
            }
            if (s.Calls() <= failAt) break;  // every write has failed once
        }
        TFailingStream full(Built.File, -1, true);
        TTags t;
        ASSERT_EQ(t.LoadFromStream(full), 0);
        t.SetText("TITLE", title);
        if (t.SaveToStream(full, false, GetParam().Kind) != 0) {
            EXPECT_EQ(full.Data(), Built.File);
        } else {
            EXPECT_EQ(full.Data(), whole.Data());
        }
    }
}

// Killed at any moment, a save leaves the old file or the new one, whether
// the edit is written in place (the tag keeps its room, or it is a trailer)
// or the tag outgrows its room. Trailers, edited in place even when their
// length changes, are killed forty times.
TEST_P(Contract, AKillDuringASaveLeavesTheOldOrTheNewFile) {
    const bool trailer = GetParam().Kind == ttAPEv2 || GetParam().Kind == ttID3v1;
    for (const std::string& title : {std::string(20000, 'k'), std::string("Killed")})
        for (int attempt = 0; attempt < (trailer ? 40 : 12); ++attempt) {
            testutil::WriteFile(Path, Built.File);
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                TTags t;
                t.LoadFromFile(Path);
                t.SetText("TITLE", title);
                t.SaveToFile(Path, GetParam().Kind);
                ::_exit(0);
            }
            ::usleep((useconds_t)((attempt % 12) * (attempt % 12) * 150 + attempt * 7));
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            SCOPED_TRACE("title of " + std::to_string(title.size()) + ", attempt " + std::to_string(attempt));
            ExpectOldOrNew(Built.File, title);
        }
}

TEST_P(Contract, AFullDiskLeavesTheOldBytes) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small disk needs root";
    testutil::TTempDir mount;
    if (::mount("tmpfs", mount.path().c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    struct TUnmount {
        std::string P;
        ~TUnmount() { ::umount2(P.c_str(), MNT_DETACH); }
    } unmount{mount.path()};
    Path = mount.file(std::string("file") + GetParam().Extension);
    // The file, then filler until too little room is left for a rewritten copy.
    testutil::WriteFile(Path, Built.File);
    const size_t pages = (Built.File.size() + 4095) / 4096;
    testutil::WriteFile(mount.file("filler"), Bytes(64 * 1024 - (pages + 1) * 4096, 0));
    const Bytes before = testutil::ReadFile(Path);
    const std::string title(40000, 'f');
    const int result = Save([&](TTags& t) { t.SetText("TITLE", title); });
    if (result == 0) {
        ExpectOldOrNew(before, title);
    } else {
        EXPECT_EQ(testutil::ReadFile(Path), before);
    }
    for (const auto& e : fs::directory_iterator(mount.path()))
        EXPECT_TRUE(e.path() == Path || e.path().filename() == "filler") << "left behind: " << e.path();
}

INSTANTIATE_TEST_SUITE_P(Formats, Contract, ::testing::ValuesIn(Rows),
                         [](const ::testing::TestParamInfo<TContractRow>& Info) {
                             return std::string(Info.param.Name);
                         });

}  // namespace
