// Load and save dispatch: which readers and writers run, format recognition,
// the tag kinds of an extension, stripping and the result translation.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "tags/flac/flac_tag.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tests/bytes.h"
#include "tests/test_util.h"

namespace {

std::vector<TTagType> Kinds(const TTags& Tags) {
    std::vector<TTagType> out;
    for (const auto& s : Tags.LastSaveSteps()) out.push_back(s.Kind);
    return out;
}

// An empty version 2.3 tag of BodySize bytes (all padding).
std::vector<uint8_t> ID3v2Header(uint32_t BodySize) { return tbytes::Tag(3, {}, BodySize); }

using tbytes::Cat;

}  // namespace

TEST(Dispatch, DetectsAudioFormatsByContent) {
    struct TCase {
        std::vector<uint8_t> Bytes;
        int Expected;
    };
    auto pad = [](std::string s) {
        s.resize(64, '\0');
        return testutil::Bytes(s);
    };
    const TCase cases[] = {
        {pad("RIFF\x10\0\0\0WAVE"), 9},
        {pad("RF64"), 10},
        {pad("MAC \x96\x0f"), 1},
        {pad("OFR "), 15},
        {pad("MP+"), 16},
        {pad("MPCKSH"), 16},
        {pad("fLaC"), 2},
        {pad("DSD "), 14},
        {pad(std::string("FRM8\0\0\0\0\0\0\0\0DSD ", 16)), 13},
        {pad(std::string("FRM8\0\0\0\0\0\0\0\0XXXX", 16)), 0},
        {pad(std::string("FORM\0\0\0\0AIFF", 12)), 11},
        {pad(std::string("FORM\0\0\0\0AIFC", 12)), 12},
        {pad(std::string("\0\0\0\x20"
                         "ftypM4A ",
                         12)),
         5},
        {Cat(ID3v2Header(20), pad("fLaC")), 2},  // an ID3v2 tag in front does not hide the stream
        {Cat(std::vector<uint8_t>(100, 0), tbytes::MpegFrames(2)), 4},
        {{0x00, 0xFF, 0xFF, 0xFB, 0x90, 0x00}, 4},  // sync right after another FF
        {std::vector<uint8_t>(4096, 0xFF), 0},      // FF everywhere, never a valid second byte
        {std::vector<uint8_t>(4096, 0x00), 0},
        {{}, 0},
    };
    for (const auto& c : cases) {
        TMemoryStream s(c.Bytes);
        EXPECT_EQ(DetectAudioFormatOfStream(s), c.Expected)
            << std::string(c.Bytes.begin(), c.Bytes.begin() + std::min<size_t>(16, c.Bytes.size()));
    }
    // The search gives up after 1025 attempts.
    TMemoryStream late(Cat(std::vector<uint8_t>(2000, 0), tbytes::MpegFrames(1)));
    EXPECT_EQ(DetectAudioFormatOfStream(late), 0);
    EXPECT_EQ(DetectAudioFormatOfFile("/nonexistent/file.mp3"), 0);
}

TEST(Dispatch, DefaultTagKindsForExtension) {
    const std::pair<const char*, int> cases[] = {
        {"a.wav", 288}, {"a.BWF", 288}, {"b.ape", 4}, {"b.Wv", 4},    {"c.m4a", 64},       {"c.alac", 64},
        {"d.wma", 512}, {"e.flac", 8},  {"e.oga", 8}, {"f.ogg", 128}, {"f.opus", 128},     {"g.mp3", 32},
        {"g.aifc", 32}, {"g.dff", 32},  {"h.xyz", 4}, {"noext", 4},   {"dir.mp3/file", 4},
    };
    for (const auto& [name, bits] : cases) EXPECT_EQ(DefaultTagKindsForExtension(name), bits) << name;
}

TEST(Dispatch, SaveChoosesTheWritersByStage) {
    testutil::TTempDir dir;
    struct TCase {
        const char* Name;
        std::vector<uint8_t> Content;
        std::vector<TTagType> Expected;
        bool Written;
    };
    const TCase cases[] = {
        // An untagged MP3: nothing loaded, MPEG recognised, only an ID3v2 tag is written.
        {"untagged.mp3", tbytes::MpegFrames(4), {ttID3v2}, true},
        // Unrecognised content named .ogg: stage 3 tries Ogg comments.
        {"x.ogg", std::vector<uint8_t>(300, 0x11), {ttOpusVorbis}, false},
        // Unknown extension and content: APEv2.
        {"x.unknown", std::vector<uint8_t>(300, 0x11), {ttAPEv2}, true},
        // A WAVE file with no tags: an ID3v2 tag and WAV chunks in stage 2.
        {"x.wav", testutil::Bytes(std::string("RIFF\x04\0\0\0WAVE", 12)), {ttID3v2, ttWAV}, true},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file(c.Name);
        testutil::WriteFile(path, c.Content);
        TTags t;
        ASSERT_EQ(t.LoadFromFile(path), 0);
        EXPECT_FALSE(t.Loaded);
        t.SetText("TITLE", "x");
        const int r = t.SaveToFile(path, ttAutomatic);
        EXPECT_EQ(Kinds(t), c.Expected) << c.Name;
        const auto after = testutil::ReadFile(path);
        if (!c.Written) {
            // Writers that cannot write report failure, never success, and change nothing.
            EXPECT_NE(r, 0) << c.Name;
            EXPECT_EQ(after, c.Content) << c.Name;
            continue;
        }
        EXPECT_NE(after, c.Content) << c.Name;
        TTags back;
        back.LoadFromFile(path);
        EXPECT_EQ(back.GetText("TITLE"), "x") << c.Name;
    }
    // The MP3's frames follow the new tag unchanged.
    const auto mp3 = testutil::ReadFile(dir.file("untagged.mp3"));
    const auto frames = tbytes::MpegFrames(4);
    ASSERT_GT(mp3.size(), frames.size());
    EXPECT_TRUE(std::equal(frames.begin(), frames.end(), mp3.end() - (long)frames.size()));
    EXPECT_EQ(std::string(mp3.begin(), mp3.begin() + 3), "ID3");
}

TEST(Dispatch, SaveSkipsStageOneForAnotherFileName) {
    testutil::TTempDir dir;
    testutil::WriteFile(dir.file("a.mp3"), tbytes::MpegFrames(4));
    testutil::WriteFile(dir.file("b.xyz"), std::vector<uint8_t>(300, 0x11));
    TTags t;
    t.LoadFromFile(dir.file("a.mp3"));
    t.SetText("TITLE", "x");
    ASSERT_EQ(t.SaveToFile(dir.file("a.mp3"), ttAutomatic), 0);
    t.LoadFromFile(dir.file("a.mp3"));
    ASSERT_TRUE(t.ID3v2Tag().Loaded);
    // Saving the container loaded from a.mp3 into b.xyz does not write the
    // loaded ID3v2 tag there: b.xyz gets the kind its content and name call for.
    t.SaveToFile(dir.file("b.xyz"), ttAutomatic);
    EXPECT_EQ(Kinds(t), std::vector<TTagType>{ttAPEv2});
}

TEST(Dispatch, SingleKindsAndStreams) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.mp3");
    testutil::WriteFile(path, tbytes::MpegFrames(2));
    TTags t;
    t.LoadFromFile(path);
    for (TTagType none : {ttNone, ttMP4Xtra, ttMKV}) {
        EXPECT_EQ(t.SaveToFile(path, none), 65535);
        EXPECT_TRUE(t.LastSaveSteps().empty());
    }
    t.SaveToFile(path, ttLyrics2);
    EXPECT_EQ(Kinds(t), std::vector<TTagType>{ttID3v1});
    TMemoryStream m(tbytes::MpegFrames(2));
    EXPECT_EQ(t.SaveToStream(m, true, ttWMA), 10);
    TMemoryStream unknown(std::vector<uint8_t>(100, 1));
    EXPECT_EQ(t.SaveToStream(unknown, true, ttAutomatic), 65535);
    EXPECT_TRUE(t.LastSaveSteps().empty());
}

TEST(Dispatch, LoadResultsForBadInput) {
    testutil::TTempDir dir;
    TTags t;
    EXPECT_EQ(t.LoadFromFile(dir.file("missing.mp3")), 5);
    EXPECT_EQ(t.LoadFromFile(dir.path()), 5);  // a folder is not a file
    // Nor is a pipe: turned down at once, without waiting for a writer.
    ASSERT_EQ(::mkfifo(dir.file("pipe.mp3").c_str(), 0600), 0);
    EXPECT_EQ(t.LoadFromFile(dir.file("pipe.mp3")), 5);
    EXPECT_EQ(TFileStream::Open(dir.file("pipe.mp3"), TFileMode::fmOpenReadShared), nullptr);
    TMemoryStream empty;
    EXPECT_EQ(t.LoadFromStream(empty, true), 5);
    EXPECT_EQ(t.LoadFromMemory(nullptr, 10), 2);
    EXPECT_EQ(t.LoadFromMemory("abc", 0), 2);
    for (const auto& content : {std::vector<uint8_t>{}, std::vector<uint8_t>{0xFF}, std::vector<uint8_t>(128, 0xA5),
                                testutil::Bytes("TAG")}) {
        const std::string path = dir.file("bad.mp3");
        testutil::WriteFile(path, content);
        EXPECT_EQ(t.LoadFromFile(path), 0);
        EXPECT_EQ(t.FileName, path);
        EXPECT_EQ(testutil::ReadFile(path), content);
        EXPECT_EQ(t.LoadFromMemory(content.data(), (int64_t)content.size()), content.empty() ? 2 : 0);
        EXPECT_TRUE(t.FileName.empty());
    }
}

TEST(Dispatch, StripTagsFromFile) {
    testutil::TTempDir dir;
    EXPECT_EQ(StripTagsFromFile(dir.file("missing.mp3")), 2);
    const std::string path = dir.file("a.mp3");
    testutil::WriteFile(path, tbytes::MpegFrames(3));
    EXPECT_EQ(StripTagsFromFile(path, ttAutomatic), 0);
    EXPECT_EQ(testutil::ReadFile(path), tbytes::MpegFrames(3));
    EXPECT_EQ(StripTagsFromFile(path, ttNone), 65535);
}

TEST(Dispatch, ResultTranslation) {
    EXPECT_EQ(MapNativeResult(TNativeLibrary::ID3v2, 0), 0);
    EXPECT_EQ(MapNativeResult(TNativeLibrary::ID3v2, 2), 3);
    EXPECT_EQ(MapNativeResult(TNativeLibrary::ID3v2, 10), 13);
    EXPECT_EQ(MapNativeResult(TNativeLibrary::ID3v2, 12), 65535);
    EXPECT_EQ(MapNativeResult(TNativeLibrary::MP4, 7), 13);
    EXPECT_EQ(MapNativeResult(TNativeLibrary::MP4, 12), 20);
    EXPECT_EQ(MapNativeResult(TNativeLibrary::Flac, 9), 14);
    EXPECT_EQ(MapNativeResult(TNativeLibrary::ID3v1, 3), 5);
    EXPECT_EQ(MapNativeResult(TNativeLibrary::ID3v1, 6), 65535);
    EXPECT_EQ(MapNativeResult(TNativeLibrary::WMA, 1), 2);
    EXPECT_EQ(MapNativeResult(TNativeLibrary::WMA, 5), 18);
    EXPECT_EQ(MapNativeResult(TNativeLibrary::Ogg, 65535), 65535);
}

TEST(Dispatch, AnEarlierFailedWriterIsNotHiddenByALaterSuccess) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.mp3");
    testutil::WriteFile(path, tbytes::MpegFrames(4));
    TTags t;
    t.LoadFromFile(path);
    t.SetText("TITLE", "first");
    ASSERT_EQ(t.SaveToFile(path), 0);
    ASSERT_EQ(t.LoadFromFile(path), 0);
    // The container believes it also holds FLAC metadata, which cannot be
    // written into an MP3: the ID3v2 tag is written, the save still fails.
    t.FlacTag().Loaded = true;
    t.SetText("TITLE", "second");
    EXPECT_NE(t.SaveToFile(path), 0);
    EXPECT_EQ(Kinds(t), (std::vector<TTagType>{ttFlac, ttID3v2}));
}

TEST(Dispatch, StripRefusesAReadOnlyFile) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.mp3");
    testutil::WriteFile(path, tbytes::MpegFrames(4));
    TTags t;
    t.LoadFromFile(path);
    t.SetText("TITLE", "x");
    ASSERT_EQ(t.SaveToFile(path), 0);
    const auto tagged = testutil::ReadFile(path);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    // Every removal routine would refuse on its own, and automatic stripping
    // ignores their results: it must not report the file as stripped.
    EXPECT_NE(StripTagsFromFile(path, ttAutomatic), 0);
    EXPECT_EQ(testutil::ReadFile(path), tagged);
}

// A removal that cannot write the file without its tag (here: the process
// may not write files that large) leaves the file as it was and is reported;
// a file with no tag at all still strips to success.
TEST(Dispatch, StripReportsARemovalThatCouldNotWrite) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.mp3");
    testutil::WriteFile(path, tbytes::MpegFrames(40));
    EXPECT_EQ(StripTagsFromFile(path, ttAutomatic), 0);
    TTags t;
    t.LoadFromFile(path);
    t.SetText("TITLE", "x");
    ASSERT_EQ(t.SaveToFile(path), 0);
    const auto tagged = testutil::ReadFile(path);

    struct TFileSizeLimit {
        rlimit Old{};
        void (*OldHandler)(int) = SIG_DFL;
        bool Set = false;
        explicit TFileSizeLimit(rlim_t Bytes) {
            if (::getrlimit(RLIMIT_FSIZE, &Old) != 0) return;
            rlimit Small = Old;
            Small.rlim_cur = Bytes;
            OldHandler = std::signal(SIGXFSZ, SIG_IGN);
            Set = ::setrlimit(RLIMIT_FSIZE, &Small) == 0;
        }
        ~TFileSizeLimit() {
            if (Set) ::setrlimit(RLIMIT_FSIZE, &Old);
            std::signal(SIGXFSZ, OldHandler);
        }
    };
    int result = 0;
    {
        TFileSizeLimit limit(4096);
        if (!limit.Set) GTEST_SKIP() << "cannot limit the file size";
        result = StripTagsFromFile(path, ttAutomatic);
    }
    EXPECT_NE(result, 0);
    EXPECT_EQ(testutil::ReadFile(path), tagged);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

// An ID3v2 tag the reader cannot read is not replaced by a save: it would
// take every frame it holds (here a picture) with it. The caller learns that
// the save failed, and the file keeps its bytes.
TEST(Dispatch, AnUnreadableID3v2TagIsNotOverwritten) {
    // A title and a picture frame (version 2.3 layout).
    std::vector<uint8_t> frames = {'T', 'I', 'T', '2', 0, 0, 0, 4, 0, 0, 0, 'O', 'l', 'd'};
    const std::vector<uint8_t> apic = {'A', 'P', 'I', 'C', 0,   0, 0, 20, 0,    0,   0,   'i', 'm', 'a', 'g',
                                       'e', '/', 'p', 'n', 'g', 0, 3, 0,  0x89, 'P', 'N', 'G', 1,   2,   3};
    frames.insert(frames.end(), apic.begin(), apic.end());
    auto tag = [&](uint8_t Version, uint8_t Flags, const std::vector<uint8_t>& Body) {
        std::vector<uint8_t> t = ID3v2Header((uint32_t)Body.size() + 64);
        t[3] = Version;
        t[5] = Flags;
        std::copy(Body.begin(), Body.end(), t.begin() + 10);
        return t;
    };
    auto le32 = [](uint32_t V) {
        return std::vector<uint8_t>{(uint8_t)V, (uint8_t)(V >> 8), (uint8_t)(V >> 16), (uint8_t)(V >> 24)};
    };
    // A WAVE file whose "id3 " chunk holds the tag.
    auto wave = [&](const std::vector<uint8_t>& Tag) {
        std::vector<uint8_t> body = {'W',  'A',  'V', 'E', 'f',  'm',  't', ' ', 16, 0, 0,  0, 1,   0,   1,   0,
                                     0x40, 0x1F, 0,   0,   0x80, 0x3E, 0,   0,   2,  0, 16, 0, 'd', 'a', 't', 'a'};
        body = Cat(Cat(body, le32(1600)), std::vector<uint8_t>(1600, 0));
        body = Cat(Cat(Cat(body, {'i', 'd', '3', ' '}), le32((uint32_t)Tag.size())), Tag);
        if (Tag.size() % 2) body.push_back(0);
        return Cat(Cat({'R', 'I', 'F', 'F'}, le32((uint32_t)body.size())), body);
    };
    struct TCase {
        const char* Name;
        const char* FileName;
        std::vector<uint8_t> Bytes;
    };
    const TCase cases[] = {
        {"a version this library does not know", "a.mp3", Cat(tag(5, 0, frames), tbytes::MpegFrames(20))},
        {"an extended header too small to be one", "a.mp3",
         Cat(tag(3, 0x40, Cat({0, 0, 0, 1, 0, 0}, frames)), tbytes::MpegFrames(20))},
        {"an unknown version in a WAVE file's tag chunk", "a.wav", wave(tag(5, 0, frames))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        testutil::TTempDir dir;
        const std::string path = dir.file(c.FileName);
        testutil::WriteFile(path, c.Bytes);
        TTags t;
        ASSERT_EQ(t.LoadFromFile(path), 0);
        ASSERT_FALSE(t.NativeLoaded(ttID3v2));
        t.SetText("TITLE", "New");
        const int result = t.SaveToFile(path);
        if (std::string(c.FileName) == "a.wav") {
            // The refusal is reported; the WAVE file's tag chunk stays as it was
            // (its INFO list may take the title).
            EXPECT_NE(result, 0);
            const auto after = testutil::ReadFile(path);
            const auto old = tag(5, 0, frames);
            EXPECT_NE(std::search(after.begin(), after.end(), old.begin(), old.end()), after.end());
            continue;
        }
        EXPECT_NE(result, 0);
        EXPECT_EQ(testutil::ReadFile(path), c.Bytes);
    }
}

// A file whose audio format is recognised but whose own tag cannot be
// written gets no other kind of tag instead, whatever its name asks for.
TEST(Dispatch, ARecognisedFileWhoseTagCannotBeWrittenGetsNoOtherKind) {
    using namespace tbytes;
    // STREAMINFO, then a block of the invalid type 127 (the last one).
    const Bytes streamInfo =
        Cat(Bytes{0x00, 0, 0, 34}, Bytes{0x10, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0x0A, 0xC4, 0x40, 0xF0, 0, 0, 0, 0, 0, 0},
            Bytes(16, 0));
    const Bytes flac = Cat(Str("fLaC"), streamInfo, Bytes{0xFF, 0, 0, 4}, Bytes(4, 0), Audio(400));
    for (const char* name : {"a.mp3", "a.xyz"}) {
        SCOPED_TRACE(name);
        testutil::TTempDir dir;
        const std::string path = dir.file(name);
        testutil::WriteFile(path, flac);
        TTags t;
        t.LoadFromFile(path);
        t.SetText("TITLE", "New");
        EXPECT_NE(t.SaveToFile(path), 0);
        EXPECT_EQ(testutil::ReadFile(path), flac);
    }
}

// Deleting every entry and picture of a loaded ID3v2 tag and saving leaves a
// file without that tag, rather than the old tag under a result of success.
TEST(Dispatch, SavingAnEmptiedID3v2TagRemovesIt) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a.mp3");
    const auto audio = tbytes::MpegFrames(8);
    testutil::WriteFile(path, audio);
    {
        TTags t;
        t.LoadFromFile(path);
        t.SetText("TITLE", "x");
        t.AddCoverArt("Cover art 1", std::vector<uint8_t>{0x89, 'P', 'N', 'G'}, "image/png");
        ASSERT_EQ(t.SaveToFile(path), 0);
    }
    TTags t;
    ASSERT_EQ(t.LoadFromFile(path), 0);
    ASSERT_TRUE(t.NativeLoaded(ttID3v2));
    EXPECT_EQ(t.Clear("TITLE"), 1);
    t.DeleteAllCoverArts();
    const int result = t.SaveToFile(path);
    EXPECT_TRUE(result == 0 || result == 3) << result;
    EXPECT_EQ(testutil::ReadFile(path), audio);
}
