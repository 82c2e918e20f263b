// The shared view a load reads through: the same bytes as the stream below
// it, with the two end blocks read once.
#include <gtest/gtest.h>

#include <random>

#include "tags/file_view.h"
#include "tags/stream.h"
#include "tests/test_util.h"

namespace {

std::vector<uint8_t> Pattern(size_t Size) {
    std::vector<uint8_t> Bytes(Size);
    for (size_t i = 0; i < Size; ++i) Bytes[i] = (uint8_t)(i * 7 + i / 251);
    return Bytes;
}

}  // namespace

// Reads at every kind of place (inside a block, across a block's edge,
// between the blocks, over the end) give the stream's own bytes, for sizes
// around the point where the blocks meet.
TEST(FileView, ReadsGiveTheStreamsBytesEverywhere) {
    const int64_t Block = TFileView::BlockBytes;
    std::mt19937 Random(17);
    for (int64_t Size : {int64_t(0), int64_t(1), int64_t(128), Block - 1, Block, Block + 1, 3 * Block + 7,
                         TFileView::DirectBytes + 5, int64_t(1) << 20}) {
        SCOPED_TRACE(Size);
        const std::vector<uint8_t> Bytes = Pattern((size_t)Size);
        TMemoryStream Memory(Bytes);
        testutil::TCountingStream Inner(Memory);
        TFileView View(Inner);
        ASSERT_EQ(View.Size(), Size);
        EXPECT_EQ(View.ReadAll(), Bytes);
        for (int i = 0; i < 300; ++i) {
            const int64_t Pos = Size ? (int64_t)(Random() % (uint64_t)(Size + 10)) : 0;
            // Mostly small reads as the readers make them, now and then a large one.
            const int64_t Count = (int64_t)(Random() % (i % 10 ? 3 * Block : 200000));
            std::vector<uint8_t> Got((size_t)Count + 1, 0xEE);
            EXPECT_EQ(View.Seek(Pos), std::min(Pos, Size));
            const int64_t Want = std::max<int64_t>(0, std::min(Count, Size - Pos));
            ASSERT_EQ(View.Read(Got.data(), Count), Want) << Pos << "+" << Count;
            EXPECT_TRUE(std::equal(Got.begin(), Got.begin() + Want, Bytes.begin() + std::min(Pos, Size)))
                << Pos << "+" << Count;
            EXPECT_EQ(View.Position(), std::min(Pos, Size) + Want);
        }
        EXPECT_EQ(View.Write("x", 1), 0);
        EXPECT_FALSE(View.SetSize(0));
    }
}

// Each block reaches the stream once, however often the readers come back
// to it; the blocks one read misses arrive with one read; a large read goes
// straight through.
TEST(FileView, EachBlockIsReadOnce) {
    const int64_t Block = TFileView::BlockBytes;
    TMemoryStream Memory(Pattern(1 << 20));
    testutil::TCountingStream Inner(Memory);
    TFileView View(Inner);
    EXPECT_EQ(Inner.Reads, 0);
    uint8_t Bytes[3 * 4096];
    for (int i = 0; i < 20; ++i) {
        View.Seek(0);
        View.Read(Bytes, 10);
        View.Seek(View.Size() - 128);
        View.Read(Bytes, 128);
    }
    EXPECT_EQ(Inner.Reads, 2);
    EXPECT_EQ(Inner.BytesRead, 2 * Block);
    // Blocks 0 (kept) to 2: the two missing ones in one read.
    View.Seek(100);
    EXPECT_EQ(View.Read(Bytes, 2 * Block), 2 * Block);
    EXPECT_EQ(Inner.Reads, 3);
    EXPECT_EQ(Inner.BytesRead, 4 * Block);
    std::vector<uint8_t> Large(TFileView::DirectBytes);
    View.Seek(0);
    EXPECT_EQ(View.Read(Large.data(), (int64_t)Large.size()), (int64_t)Large.size());
    EXPECT_EQ(Inner.Reads, 4);
    const std::vector<uint8_t> File = Pattern(1 << 20);
    EXPECT_TRUE(std::equal(Large.begin(), Large.end(), File.begin()));
}

// A reader walking a large file in small steps does not make the view hold
// the file: past the kept limit, reads go straight through.
TEST(FileView, KeepsAtMostItsLimitOfBlocks) {
    const int64_t Block = TFileView::BlockBytes;
    const int64_t Size = TFileView::MaxKeptBytes + 100 * Block;
    TMemoryStream Memory(Pattern((size_t)Size));
    testutil::TCountingStream Inner(Memory);
    TFileView View(Inner);
    uint8_t Bytes[16];
    for (int64_t Pos = 0; Pos + 16 <= Size; Pos += Block) {
        View.Seek(Pos);
        ASSERT_EQ(View.Read(Bytes, 16), 16);
    }
    // The walk reads ahead: far fewer reads than blocks until the limit.
    const int Walk = Inner.Reads;
    EXPECT_LT(Walk, (int)(Size / Block) / 2);
    // The first blocks are kept, the last ones were read straight through.
    View.Seek(0);
    View.Read(Bytes, 16);
    EXPECT_EQ(Inner.Reads, Walk);
    View.Seek(Size - Block);
    View.Read(Bytes, 16);
    EXPECT_EQ(Inner.Reads, Walk + 1);
    const std::vector<uint8_t> File = Pattern((size_t)Size);
    EXPECT_TRUE(std::equal(Bytes, Bytes + 16, File.begin() + (Size - Block)));
}
