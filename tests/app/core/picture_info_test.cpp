// Picture types by name and pictures recognised from their first bytes.
#include <gtest/gtest.h>

#include "app/core/picture_info.h"
#include "tests/bytes.h"

using namespace tbytes;

namespace {

TEST(PictureInfo, TypesByKeyNumberOrCaption) {
    struct TCase {
        const char* Text;
        int Want;  // -1: refused
    } const Cases[] = {
        {"front", 3},       {"FRONT", 3},
        {"back", 4},        {"artist", 8},
        {"lead-artist", 7}, {"publisher-logo", 20},
        {"0", 0},           {"20", 20},
        {"07", 7},          {"Cover (front)", 3},
        {"21", -1},         {"-1", -1},
        {"", -1},           {"3x", -1},
        {"frontcover", -1}, {"100", -1},
    };
    for (const TCase& C : Cases) {
        const std::optional<uint32_t> Got = pictureinfo::ParseType(C.Text);
        EXPECT_EQ(Got ? (int)*Got : -1, C.Want) << C.Text;
    }
    for (uint32_t T = 0; T < pictureinfo::TypeCount; ++T)
        EXPECT_EQ(pictureinfo::ParseType(pictureinfo::TypeKey(T)), T) << T;
    EXPECT_STREQ(pictureinfo::TypeKey(21), "");
}

TEST(PictureInfo, MimeAndPixelSizeFromTheHeader) {
    struct TCase {
        const char* What;
        Bytes Data;
        const char* Mime;
        uint32_t Width, Height;
    };
    // JPEG: SOI, an APP0 segment (length 16), then SOF0: length 17,
    // precision 8, height 0x0120, width 0x0200.
    const Bytes Jpeg = Concat({{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10},
                               Bytes(14, 0),
                               {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x01, 0x20, 0x02, 0x00},
                               Bytes(12, 0)});
    // A progressive frame (C2) behind fill bytes.
    const Bytes Progressive =
        Concat({{0xFF, 0xD8, 0xFF, 0xFF, 0xC2, 0x00, 0x11, 0x08, 0x00, 0x10, 0x00, 0x20}, Bytes(10, 0)});
    // The scan begins before any frame header: no size.
    const Bytes NoFrame = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x00};
    // A segment length running past the end.
    const Bytes Cut = {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 0x00};
    const Bytes Gif = Concat({Str("GIF89a"), {0x40, 0x01, 0xF0, 0x00}, Bytes(8, 0)});
    const Bytes Bmp = Concat({Str("BM"), Bytes(12, 0), LE32(40), LE32(17), LE32(0xFFFFFFF6u), Bytes(20, 0)});
    const Bytes BmpCore = Concat({Str("BM"), Bytes(12, 0), LE32(12), {0x09, 0x00, 0x07, 0x00}});
    const Bytes WebpLossy = Concat({Str("RIFF"),
                                    LE32(30),
                                    Str("WEBPVP8 "),
                                    LE32(20),
                                    Bytes(3, 0),
                                    {0x9D, 0x01, 0x2A, 0x80, 0x02, 0xE0, 0x01},
                                    Bytes(6, 0)});
    const Bytes WebpLossless =
        Concat({Str("RIFF"), LE32(20), Str("WEBPVP8L"), LE32(10), {0x2F}, LE32((99u) | (49u << 14)), Bytes(4, 0)});
    const Bytes WebpExtended =
        Concat({Str("RIFF"), LE32(30), Str("WEBPVP8X"), LE32(10), Bytes(4, 0), {0xFF, 0x00, 0x00, 0x7F, 0x00, 0x00}});
    const Bytes FullPng = Png(), CutPng(FullPng.begin(), FullPng.begin() + 20);
    const TCase Cases[] = {
        {"jpeg", Jpeg, "image/jpeg", 512, 288},
        {"progressive jpeg behind fill bytes", Progressive, "image/jpeg", 32, 16},
        {"jpeg without a frame header", NoFrame, "image/jpeg", 0, 0},
        {"jpeg segment past the end", Cut, "image/jpeg", 0, 0},
        {"png", Png(), "image/png", 256, 256},
        {"png cut in its header", CutPng, "image/png", 0, 0},
        {"gif", Gif, "image/gif", 320, 240},
        {"bmp, top-down", Bmp, "image/bmp", 17, 10},
        {"bmp with the old core header", BmpCore, "image/bmp", 9, 7},
        {"BM that is no bitmap", Concat({Str("BM"), Bytes(12, 0), LE32(5), Bytes(10, 0)}), "", 0, 0},
        {"webp lossy", WebpLossy, "image/webp", 640, 480},
        {"webp lossless", WebpLossless, "image/webp", 100, 50},
        {"webp extended", WebpExtended, "image/webp", 256, 128},
        {"text", Str("hello world, no picture"), "", 0, 0},
        {"empty", {}, "", 0, 0},
    };
    for (const TCase& C : Cases) {
        const pictureinfo::TImageInfo Info = pictureinfo::Inspect(C.Data.data(), C.Data.size());
        EXPECT_EQ(Info.Mime, C.Mime) << C.What;
        EXPECT_EQ(Info.Width, C.Width) << C.What;
        EXPECT_EQ(Info.Height, C.Height) << C.What;
    }
    EXPECT_STREQ(pictureinfo::ExtensionOfMime("image/JPEG"), "jpg");
    EXPECT_STREQ(pictureinfo::ExtensionOfMime("application/octet-stream"), "bin");
}

}  // namespace
