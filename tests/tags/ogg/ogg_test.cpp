// Ogg pages, the Ogg Vorbis / Opus comment header, hostile headers, in-place
// and rewritten saves with renumbering, durations, and the unified mapping.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tags/audio_properties.h"
#include "tags/ogg/ogg_pages.h"
#include "tags/ogg/opus_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tests/bytes.h"
#include "tests/test_util.h"

namespace {

using tbytes::Append;
using tbytes::Bytes;
using tbytes::LE32;
using tbytes::Str;

Bytes CommentBody(const std::vector<std::string>& Fields, int64_t Count = -1, int64_t VendorLen = -1) {
    return tbytes::VorbisComments(Fields, "vendor", Count, VendorLen);
}

// One page holding the packet; Flags 2 first page, 4 last page.
Bytes Page(const Bytes& Packet, uint32_t Serial, uint32_t Seq, uint64_t Granule, uint8_t Flags = 0) {
    Bytes p = ogg::PackPackets({std::span<const uint8_t>(Packet)}, Serial, Seq, Granule, 1);
    p[5] |= Flags;
    ogg::SetSequence(p, Seq);
    return p;
}

struct TStreamPlan {
    bool Opus = true;
    std::vector<std::string> Fields = {"TITLE=Song", "artist=Someone"};
    Bytes CommentOverride;  // raw comment packet instead of the one built from Fields
    uint16_t PreSkip = 312;
    uint64_t LastGranule = 48000 * 2 + 312;
    int AudioPages = 6;
    uint32_t Serial = 0x1234;
};

Bytes AudioPacket(int I) {
    Bytes a(300);
    for (size_t k = 0; k < a.size(); ++k) a[k] = (uint8_t)(I * 13 + k);
    return a;
}

// First page with the identification header, the comment header packed by
// the page layer, then audio pages, the last one flagged as the end.
Bytes OggStream(const TStreamPlan& S) {
    Bytes id;
    if (S.Opus) {
        id = Str("OpusHead");
        id.push_back(1);
        id.push_back(2);
        id.push_back((uint8_t)S.PreSkip);
        id.push_back((uint8_t)(S.PreSkip >> 8));
        Append(id, LE32(44100));
        id.insert(id.end(), {0, 0, 0});
    } else {
        id = Str("\x01vorbis");
        Append(id, LE32(0));
        id.push_back(2);
        Append(id, LE32(44100));
        Append(id, LE32(0));
        Append(id, LE32(128000));
        Append(id, LE32(0));
        id.insert(id.end(), {0xB8, 1});
    }
    Bytes f = Page(id, S.Serial, 0, 0, ogg::FlagFirst);
    Bytes comment = S.CommentOverride;
    if (comment.empty()) {
        comment = Str(S.Opus ? "OpusTags" : "\x03vorbis");
        Append(comment, CommentBody(S.Fields));
        if (!S.Opus) comment.push_back(1);
    }
    std::vector<std::span<const uint8_t>> packets = {comment};
    Bytes setup = Str("\x05vorbis");
    setup.resize(255 * 3, 0x5A);  // a multiple of 255: it needs its closing 0
    if (!S.Opus) packets.emplace_back(setup);
    std::vector<int64_t> lengths;
    for (auto& p : packets) lengths.push_back((int64_t)p.size());
    const int pages = ogg::MinimumPages(lengths);
    Append(f, ogg::PackPackets(packets, S.Serial, 1, 0, pages));
    for (int i = 0; i < S.AudioPages; ++i) {
        const bool last = i + 1 == S.AudioPages;
        Append(f, Page(AudioPacket(i), S.Serial, 1 + pages + i, last ? S.LastGranule : (uint64_t)(i + 1) * 960,
                       last ? ogg::FlagLast : 0));
    }
    return f;
}

struct TPageInfo {
    int64_t Offset;
    uint32_t Serial, Seq;
    bool Crc;
};
std::vector<TPageInfo> Pages(const Bytes& F) {
    TMemoryStream s(F);
    std::vector<TPageInfo> out;
    ogg::TPage p;
    for (int64_t pos = 0; ogg::ReadPage(s, pos, p); pos += p.Size())
        out.push_back({pos, p.Serial, p.Sequence, p.CrcValid});
    return out;
}

int LoadBytes(TOpusTag& T, const Bytes& F) {
    TMemoryStream s(F);
    return T.LoadFromStream(s);
}

}  // namespace

TEST(OggPages, Base64) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}};
    for (const auto& [plain, coded] : cases) {
        EXPECT_EQ(vorbis::Base64Encode(Str(plain)), coded);
        EXPECT_EQ(vorbis::Base64Decode(coded), Str(plain));
    }
    EXPECT_EQ(vorbis::Base64Decode("Zm9v\r\nYm Fy"), Str("foobar"));  // characters outside the alphabet are skipped
    // Every length, whole groups and the ones that end early, with and
    // without a line break somewhere inside (the fast path stops there).
    for (size_t len = 0; len < 200; ++len) {
        Bytes data(len);
        for (size_t i = 0; i < len; ++i) data[i] = (uint8_t)(i * 37 + len);
        const std::string coded = vorbis::Base64Encode(data);
        EXPECT_EQ(vorbis::Base64Decode(coded), data) << len;
        std::string broken = coded;
        broken.insert(broken.size() * 2 / 3, "\n");
        EXPECT_EQ(vorbis::Base64Decode(broken), data) << len;
    }
}

// The page checksum agrees with its bit-by-bit definition (polynomial
// 0x04C11DB7, no reflection, starting from 0) at every length, whatever
// way it is computed for the length.
TEST(OggPages, ChecksumsFollowTheirDefinition) {
    auto bitwise = [](const Bytes& B) {
        uint32_t c = 0;
        for (uint8_t b : B) {
            c ^= (uint32_t)b << 24;
            for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        }
        return c;
    };
    for (size_t len : {0, 1, 15, 16, 17, 63, 64, 65, 100, 255, 4096, 65025, 100003}) {
        Bytes data(len);
        for (size_t i = 0; i < len; ++i) data[i] = (uint8_t)(i * 131 + (i >> 8));
        EXPECT_EQ(ogg::Crc(data), bitwise(data)) << len;
    }
    EXPECT_EQ(ogg::Crc(Str("123456789")), 0x89A1897Fu);
}

// Packets come back whole from the pages they were packed into; every packet
// gets its closing lacing value (0 after a multiple of 255), also when that
// value has to go onto a page of its own.
TEST(OggPages, PackingRoundTrip) {
    for (int64_t len : {0, 1, 254, 255, 510, 4335, 255 * 255 - 1, 255 * 255, 255 * 255 + 1, 200000}) {
        Bytes a((size_t)len, 0x11), b(510, 0x22);
        std::vector<std::span<const uint8_t>> packets = {a, b};
        const std::vector<int64_t> lengths = {len, 510};
        const int pages = ogg::MinimumPages(lengths);
        const Bytes packed = ogg::PackPackets(packets, 7, 1, 0, pages);
        ASSERT_EQ((int64_t)packed.size(), ogg::PackedSize(lengths, pages)) << len;
        TMemoryStream s(packed);
        ogg::TPackets read;
        ASSERT_TRUE(ogg::ReadPackets(s, 0, 7, 2, read)) << len;
        EXPECT_EQ(read.Packets[0], a) << len;
        EXPECT_EQ(read.Packets[1], b) << len;
        EXPECT_TRUE(read.EndsOnPageEnd);
        EXPECT_FALSE(read.BadChecksum);
        EXPECT_EQ(read.Pages, pages);
    }
    // 510 bytes: lacing 255, 255, 0 on one page of 27 + 3 + 510 bytes.
    Bytes p510(510, 1);
    const Bytes page = ogg::PackPackets({std::span<const uint8_t>(p510)}, 1, 0, 0, 1);
    ASSERT_EQ(page.size(), 27u + 3 + 510);
    EXPECT_EQ(page[26], 3);
    EXPECT_EQ(page[29], 0);
}

TEST(OggRead, OpusFieldsPicturesAndDuration) {
    vorbis::TPictureInfo front;
    front.PictureType = 3;
    front.MIMEType = "image/png";
    const Bytes pic = vorbis::BuildPictureBlock(front, Bytes{0x89, 'P', 'N', 'G'});
    TStreamPlan plan;
    plan.Fields = {"TITLE=Song", "artist=Someone", "no equals", "METADATA_BLOCK_PICTURE=" + vorbis::Base64Encode(pic),
                   "COVERART=not a picture block"};
    const Bytes f = OggStream(plan);
    TOpusTag t;
    t.ParsePlayTime = true;
    ASSERT_EQ(LoadBytes(t, f), oggresult::Success);
    EXPECT_EQ(t.Format, ofOpus);
    EXPECT_EQ(t.VendorString, "vendor");
    ASSERT_EQ(t.Count(), 4);
    EXPECT_EQ(t.Frames[1].Name, "ARTIST");
    EXPECT_EQ(t.CoverArtCount(), 1);
    EXPECT_EQ(t.Frames[3].Format, vcfBinary);  // kept as it is, not a picture
    vorbis::TPictureInfo info;
    Bytes data;
    ASSERT_TRUE(t.GetCoverArtFromFrame(2, info, data));
    EXPECT_EQ(info.PictureType, 3u);
    EXPECT_EQ(info.MIMEType, "image/png");
    EXPECT_EQ(data, (Bytes{0x89, 'P', 'N', 'G'}));
    EXPECT_DOUBLE_EQ(t.Info.PlayTime, 2.0);  // pre-skip taken off
    EXPECT_EQ(t.Info.Channels, 2);

    // The last page is found behind 70,000 bytes that are not pages; a last
    // page with a bad checksum does not count, the one before it does.
    Bytes trailing = f;
    trailing.insert(trailing.end(), 70000, 0x4F);
    TOpusTag far;
    far.ParsePlayTime = true;
    ASSERT_EQ(LoadBytes(far, trailing), oggresult::Success);
    EXPECT_DOUBLE_EQ(far.Info.PlayTime, 2.0);
    Bytes damaged = f;
    damaged[damaged.size() - 5] ^= 0x20;
    TOpusTag before;
    before.ParsePlayTime = true;
    ASSERT_EQ(LoadBytes(before, damaged), oggresult::Success);
    EXPECT_DOUBLE_EQ(before.Info.PlayTime, (5 * 960 - 312) / 48000.0);

    TOpusTag quick;
    ASSERT_EQ(LoadBytes(quick, f), oggresult::Success);
    EXPECT_EQ(quick.Info.PlayTime, 0);  // play time only on request

    // Vorbis without a granule position: the play time comes from the nominal bit rate, in seconds.
    TStreamPlan v;
    v.Opus = false;
    v.LastGranule = ogg::NoGranule;
    v.AudioPages = 1;
    const Bytes vf = OggStream(v);
    TOpusTag vt;
    vt.ParsePlayTime = true;
    ASSERT_EQ(LoadBytes(vt, vf), oggresult::Success);
    EXPECT_EQ(vt.Format, ofVorbis);
    EXPECT_NEAR(vt.Info.PlayTime, vf.size() * 8.0 / 128000, 1e-9);
    EXPECT_EQ(vt.Info.BitRate, 128u);

    TMemoryStream s(f);
    EXPECT_EQ(DetectOggStreamFormat(s, 0), 6);
    TMemoryStream vs(vf);
    EXPECT_EQ(DetectOggStreamFormat(vs, 0), 7);
}

TEST(OggRead, HostileHeaders) {
    auto withComment = [](Bytes Packet) {
        TStreamPlan s;
        s.CommentOverride = std::move(Packet);
        return OggStream(s);
    };
    Bytes longField = Str("OpusTags");
    Append(longField, CommentBody({"A=1"}));
    longField[longField.size() - 7] = 0xFF;  // field length far past the end
    Bytes hugeCount = Str("OpusTags");
    Append(hugeCount, CommentBody({}, 0xFFFFFFFF));
    Bytes hugeVendor = Str("OpusTags");
    Append(hugeVendor, CommentBody({}, 0, 0xFFFFFFFF));
    Bytes badCrc = OggStream(TStreamPlan());
    badCrc[Pages(badCrc)[1].Offset + 40] ^= 1;
    // A comment packet that never ends: every lacing value 255 to the end of the data.
    Bytes open = Page(Str("OpusHead\x01\x02\0\0\x44\xAC\0\0\0\0\0"), 5, 0, 0, ogg::FlagFirst);
    Bytes body = Str("OpusTags");
    body.resize(255 * 3, 'x');
    Bytes endless = Page(body, 5, 1, 0);      // lacing 255, 255, 255, 0
    endless.erase(endless.begin() + 27 + 3);  // without the closing 0 the packet goes on
    endless[26] = 3;
    ogg::SetSequence(endless, 1);
    Append(open, endless);
    struct TCase {
        const char* Name;
        Bytes File;
        int Expected;
    };
    const TCase cases[] = {
        {"not Ogg", Str("fLaC and more bytes than a page header needs......"), oggresult::Failure},
        {"field past the end", withComment(longField), oggresult::BadHeader},
        {"count 2^32-1", withComment(hugeCount), oggresult::BadHeader},
        {"vendor 4 GiB", withComment(hugeVendor), oggresult::BadHeader},
        {"bad checksum", badCrc, oggresult::BadHeader},
        {"lacing never ends", open, oggresult::BadHeader},
    };
    for (const auto& c : cases) {
        TOpusTag t;
        EXPECT_EQ(LoadBytes(t, c.File), c.Expected) << c.Name;
        EXPECT_FALSE(t.Loaded) << c.Name;
    }
}

// In place when the header pages keep their size; otherwise the header grows
// and only the stream's own pages after it are renumbered. A page of another
// stream and bytes behind the last page stay as they were.
TEST(OggWrite, InPlaceRewriteRenumberAndTrailingBytes) {
    TStreamPlan plan;
    plan.Fields = {"TITLE=A rather long title to shorten later", "ARTIST=Someone"};
    Bytes f = OggStream(plan);
    // Another logical stream's page among the audio pages, and an APE-like tag at the end.
    const auto pages = Pages(f);
    const Bytes other = Page(Str("other stream data"), 0x9999, 5, 0);
    f.insert(f.begin() + pages[4].Offset, other.begin(), other.end());
    const Bytes trailer = Str("APETAGEX trailing tag bytes that are not a page");
    Append(f, trailer);
    testutil::TTempDir dir;
    const std::string path = dir.file("a.opus");
    testutil::WriteFile(path, f);

    TOpusTag t;
    ASSERT_EQ(t.LoadFromFile(path), oggresult::Success);
    t.SetText("TITLE", "Short");
    ASSERT_EQ(t.SaveToFile(path), oggresult::Success);
    Bytes after = testutil::ReadFile(path);
    EXPECT_EQ(after.size(), f.size());
    EXPECT_TRUE(std::equal(f.begin() + pages[2].Offset, f.end(), after.begin() + pages[2].Offset));

    t.SetText("COMMENT", std::string(70000, 'c'));  // two pages more
    ASSERT_EQ(t.SaveToFile(path), oggresult::Success);
    after = testutil::ReadFile(path);
    EXPECT_TRUE(std::equal(trailer.begin(), trailer.end(), after.end() - (ptrdiff_t)trailer.size()));
    const auto now = Pages(after);
    uint32_t expected = 0;
    bool sawOther = false;
    for (const auto& p : now) {
        EXPECT_TRUE(p.Crc);
        if (p.Serial == 0x9999) {
            sawOther = true;
            EXPECT_EQ(p.Seq, 5u);
            EXPECT_TRUE(std::equal(other.begin(), other.end(), after.begin() + p.Offset));
            continue;
        }
        EXPECT_EQ(p.Seq, expected++);
    }
    EXPECT_TRUE(sawOther);
    TOpusTag again;
    again.ParsePlayTime = true;
    ASSERT_EQ(again.LoadFromFile(path), oggresult::Success);
    EXPECT_EQ(again.GetText("TITLE"), "Short");
    EXPECT_EQ(again.GetText("COMMENT").size(), 70000u);
    EXPECT_DOUBLE_EQ(again.Info.PlayTime, 2.0);

    // Unchanged saves write nothing.
    for (int i = 0; i < 3; ++i) ASSERT_EQ(again.SaveToFile(path), oggresult::Success);
    EXPECT_EQ(testutil::ReadFile(path), after);
    EXPECT_FALSE(std::filesystem::exists(path + "~"));

    ::chmod(path.c_str(), 0444);
    again.SetText("TITLE", "x");
    EXPECT_EQ(again.SaveToFile(path), oggresult::ReadOnly);
    EXPECT_EQ(testutil::ReadFile(path), after);
}

// The same growing save into a stream: the later pages are renumbered
// where they lie after the move.
TEST(OggWrite, GrowingSaveIntoAStream) {
    TStreamPlan plan;
    plan.AudioPages = 3;
    TMemoryStream s(OggStream(plan));
    TOpusTag t;
    ASSERT_EQ(t.LoadFromStream(s), oggresult::Success);
    t.SetText("COMMENT", std::string(70000, 'c'));
    ASSERT_EQ(t.SaveToStream(s), oggresult::Success);
    uint32_t expected = 0;
    for (const auto& p : Pages(s.Data())) {
        EXPECT_TRUE(p.Crc);
        EXPECT_EQ(p.Seq, expected++);
    }
    TOpusTag again;
    ASSERT_EQ(again.LoadFromStream(s), oggresult::Success);
    EXPECT_EQ(again.GetText("COMMENT").size(), 70000u);
}

// A Vorbis setup header whose length is a multiple of 255 keeps its closing
// lacing value through a save.
TEST(OggWrite, VorbisSetupKeepsClosingLacing) {
    TStreamPlan plan;
    plan.Opus = false;
    Bytes f = OggStream(plan);
    testutil::TTempDir dir;
    const std::string path = dir.file("v.ogg");
    testutil::WriteFile(path, f);
    TOpusTag t;
    ASSERT_EQ(t.LoadFromFile(path), oggresult::Success);
    for (size_t title = 1; title < 300; title += 37) {
        t.SetText("TITLE", std::string(title, 't'));
        ASSERT_EQ(t.SaveToFile(path), oggresult::Success);
        auto s = TFileStream::Open(path, TFileMode::fmOpenReadShared);
        ogg::TPackets p;
        ASSERT_TRUE(ogg::ReadPackets(*s, 0, plan.Serial, 4, p));
        EXPECT_EQ(p.Packets[2].size(), 765u);
        EXPECT_EQ(p.Packets[3], AudioPacket(0));
    }
}

TEST(OggMapping, PicturesReachTheContainerAndStay) {
    TStreamPlan plan;
    plan.Fields = {"TITLE=Song", "TRACKNUMBER=4/10", "COVERART=bm90IGEgYmxvY2s="};
    testutil::TTempDir dir;
    const std::string path = dir.file("m.opus");
    testutil::WriteFile(path, OggStream(plan));
    const Bytes png = {0x89, 'P', 'N', 'G', 1, 2, 3};
    {
        TTags tags;
        ASSERT_EQ(tags.LoadFromFile(path), 0);
        EXPECT_EQ(tags.GetText("TRACKNUMBER"), "4");
        EXPECT_EQ(tags.GetText("TOTALTRACKS"), "10");
        EXPECT_EQ(tags.Exists("COVERART"), -1);
        tags.AddCoverArt("Cover art 1")->Data = png;
        ASSERT_EQ(tags.SaveToFile(path), 0);
    }
    TTags tags;
    tags.OggVorbisAndOpusTag().ParsePlayTime = true;
    ASSERT_EQ(tags.LoadFromFile(path), 0);
    ASSERT_EQ(tags.CoverArtCount(), 1);
    EXPECT_EQ(tags.CoverArtAt(0)->Name, "Cover art 1");
    EXPECT_EQ(tags.CoverArtAt(0)->CoverType, 3u);  // a new picture is the front cover
    EXPECT_EQ(tags.CoverArtAt(0)->MIMEType, "image/png");
    EXPECT_EQ(tags.CoverArtAt(0)->Data, png);
    EXPECT_DOUBLE_EQ(tags.SourceAudioAttributes().PlayTime(), 2.0);
    // A title-only save keeps the picture and the undecodable COVERART field.
    tags.SetText("TITLE", "New");
    ASSERT_EQ(tags.SaveToFile(path), 0);
    TOpusTag t;
    ASSERT_EQ(t.LoadFromFile(path), oggresult::Success);
    EXPECT_EQ(t.CoverArtCount(), 1);
    EXPECT_EQ(t.GetText("TITLE"), "New");
    const int legacy = t.FrameExists("COVERART");
    ASSERT_GE(legacy, 0);
    EXPECT_EQ(t.Frames[legacy].Value, "bm90IGEgYmxvY2s=");
}

// Removing the tags keeps only ENCODER; the stream stays a sound Opus stream.
TEST(OggWrite, StripKeepsEncoderOnly) {
    TStreamPlan plan;
    plan.Fields = {"TITLE=Song", "ENCODER=enc 1.0", "ARTIST=A"};
    testutil::TTempDir dir;
    const std::string path = dir.file("s.opus");
    testutil::WriteFile(path, OggStream(plan));
    EXPECT_EQ(StripTagsFromFile(path, ttOpusVorbis), 0);
    TOpusTag t;
    ASSERT_EQ(t.LoadFromFile(path), oggresult::Success);
    ASSERT_EQ(t.Count(), 1);
    EXPECT_EQ(t.Frames[0].Name, "ENCODER");
}

// A picture comment of 200 KB runs over several pages, with a page of another
// stream among them: the packet is put together whole, the fields before and
// after it read, the picture comes back byte for byte. Cut anywhere inside
// the comment header, or with a page that claims more bytes than the file
// holds, the header is refused cleanly.
TEST(OggRead, PictureOverManyPagesAndCutShort) {
    Bytes picture(200000);
    for (size_t k = 0; k < picture.size(); ++k) picture[k] = (uint8_t)(k * 7 + k / 251);
    vorbis::TPictureInfo front;
    front.PictureType = 3;
    front.MIMEType = "image/jpeg";
    const std::string text = vorbis::Base64Encode(vorbis::BuildPictureBlock(front, picture));
    TStreamPlan plan;
    plan.Fields = {"TITLE=Before", "METADATA_BLOCK_PICTURE=" + text, "ARTIST=After"};
    const Bytes f = OggStream(plan);
    const std::vector<TPageInfo> pages = Pages(f);
    ASSERT_GT(pages.size(), 4u + 6u);  // the comment packet takes several pages

    // Another stream's page between the first and second comment pages.
    Bytes mixed(f.begin(), f.begin() + pages[2].Offset);
    Append(mixed, Page(Str("other stream"), 0x9999, 0, 0, ogg::FlagFirst));
    mixed.insert(mixed.end(), f.begin() + pages[2].Offset, f.end());

    for (const Bytes* file : {&f, (const Bytes*)&mixed}) {
        TOpusTag t;
        ASSERT_EQ(LoadBytes(t, *file), oggresult::Success);
        ASSERT_EQ(t.Count(), 3);
        EXPECT_EQ(t.GetText("TITLE"), "Before");
        EXPECT_EQ(t.GetText("ARTIST"), "After");
        EXPECT_EQ(t.Frames[1].Value, text);
        vorbis::TPictureInfo info;
        Bytes data;
        ASSERT_TRUE(t.GetCoverArtFromFrame(1, info, data));
        EXPECT_EQ(info.MIMEType, "image/jpeg");
        EXPECT_TRUE(data == picture);
    }

    // The comment header's pages are pages[1] up to the first audio page.
    const size_t audio = pages.size() - 6;
    const int64_t lastHeaderPage = pages[audio - 1].Offset;
    for (int64_t cut : {pages[1].Offset + 10, pages[2].Offset, pages[2].Offset + 27 + 100, lastHeaderPage + 5,
                        pages[audio].Offset - 1}) {
        Bytes shortFile(f.begin(), f.begin() + cut);
        TOpusTag t;
        EXPECT_EQ(LoadBytes(t, shortFile), oggresult::BadHeader) << cut;
        EXPECT_FALSE(t.Loaded) << cut;
        EXPECT_EQ(t.Count(), 0) << cut;
    }
    // A middle page whose lacing claims a body past the end of the file.
    Bytes lying(f.begin(), f.begin() + pages[3].Offset + 27);
    lying.insert(lying.end(), 255, 255);
    lying[pages[3].Offset + 26] = 255;
    TOpusTag t;
    EXPECT_EQ(LoadBytes(t, lying), oggresult::BadHeader);
    EXPECT_FALSE(t.Loaded);
}
