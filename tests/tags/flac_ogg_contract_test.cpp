// The promises every format keeps, for the four Vorbis-comment carriers made
// by their real encoders: the container loads them, an unchanged save leaves
// the bytes as they are, ten saves of one change give the same bytes as one,
// and the decoded audio never changes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tags/stream.h"
#include "tags/tags.h"
#include "tests/test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct TCarrier {
    const char* Name;
    const char* Ext;
    const char* Encode;  // command: %W is the WAV, %O the output
    TTagType Kind;
};

const TCarrier Carriers[] = {
    {"FLAC", "flac", "flac -s -f -T TITLE=Orig -o %O %W", ttFlac},
    {"Ogg FLAC", "oga", "flac -s -f --ogg -T TITLE=Orig -o %O %W", ttFlac},
    {"Ogg Vorbis", "ogg", "oggenc -Q -t Orig -o %O %W", ttOpusVorbis},
    {"Opus", "opus", "opusenc --quiet --title Orig %W %O", ttOpusVorbis},
};

std::string Replace(std::string S, const std::string& From, const std::string& To) {
    for (size_t at; (at = S.find(From)) != std::string::npos;) S.replace(at, From.size(), To);
    return S;
}

// Two seconds of a 16-bit stereo tone as a WAV file.
void WriteWav(const std::string& Path) {
    Bytes w = testutil::Bytes("RIFF");
    const uint32_t data = 44100 * 4 * 2;
    auto le = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) w.push_back((uint8_t)(v >> (8 * i)));
    };
    le(36 + data, 4);
    for (uint8_t c : testutil::Bytes("WAVEfmt ")) w.push_back(c);
    le(16, 4);
    le(1, 2);
    le(2, 2);
    le(44100, 4);
    le(44100 * 4, 4);
    le(4, 2);
    le(16, 2);
    for (uint8_t c : testutil::Bytes("data")) w.push_back(c);
    le(data, 4);
    for (uint32_t i = 0; i < data / 2; ++i) le((uint32_t)(int16_t)(6000 * ((i / 40) % 2 ? 1 : -1)), 2);
    testutil::WriteFile(Path, w);
}

std::string AudioMd5(const std::string& Path) {
    std::string out;
    testutil::Run("ffmpeg -v quiet -i '" + Path + "' -map 0:a -f md5 - 2>/dev/null", &out);
    return out;
}

}  // namespace

TEST(FlacOggContract, LoadUnchangedSaveRepeatedSavesAudio) {
    for (const char* tool : {"flac", "oggenc", "opusenc", "ffmpeg"})
        if (!testutil::HaveCommand(tool)) GTEST_SKIP() << tool << " missing";
    testutil::TTempDir dir;
    const std::string wav = dir.file("in.wav");
    WriteWav(wav);
    for (const auto& c : Carriers) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir.file(std::string("a.") + c.Ext);
        ASSERT_EQ(testutil::Run(Replace(Replace(c.Encode, "%W", "'" + wav + "'"), "%O", "'" + path + "'")), 0);
        const Bytes original = testutil::ReadFile(path);
        const std::string audio = AudioMd5(path);
        ASSERT_FALSE(audio.empty());

        TTags tags;
        ASSERT_EQ(tags.LoadFromFile(path), 0);
        EXPECT_TRUE(tags.NativeLoaded(c.Kind));
        EXPECT_EQ(tags.GetText("TITLE"), "Orig");
        ASSERT_EQ(tags.SaveToFile(path), 0);
        EXPECT_EQ(testutil::ReadFile(path), original) << "an unchanged save changed the file";

        Bytes once;
        for (int i = 0; i < 10; ++i) {
            TTags t;
            ASSERT_EQ(t.LoadFromFile(path), 0);
            t.SetText("TITLE", "Changed title, ten times");
            t.SetText("ARTIST", "Someone");
            ASSERT_EQ(t.SaveToFile(path), 0);
            if (i == 0) once = testutil::ReadFile(path);
        }
        EXPECT_EQ(testutil::ReadFile(path), once) << "repeated saves differ";
        EXPECT_EQ(AudioMd5(path), audio);
        TTags again;
        ASSERT_EQ(again.LoadFromFile(path), 0);
        EXPECT_EQ(again.GetText("TITLE"), "Changed title, ten times");
        EXPECT_EQ(again.TypeCount("ARTIST"), 1);
    }
}
