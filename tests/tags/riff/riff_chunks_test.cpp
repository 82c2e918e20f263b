// The chunk walker of RIFF, RF64, AIFF, DSF and DSDIFF files, and ReadAt.
#include <gtest/gtest.h>

#include <limits>

#include "tags/byte_io.h"
#include "tags/riff/riff_chunks.h"
#include "tags/stream.h"

namespace {

using riff::TFormKind;

// A chunk as the walker should report it.
struct TSeen {
    std::string ID;
    uint64_t Size;
    bool Overruns;
    bool operator==(const TSeen&) const = default;
};

std::ostream& operator<<(std::ostream& Out, const TSeen& S) {
    return Out << S.ID << ":" << S.Size << (S.Overruns ? "!" : "");
}

std::vector<TSeen> Walk(const std::vector<uint8_t>& File, int64_t* EndPos = nullptr,
                        riff::TFormHeader* Form = nullptr) {
    TReadMemoryStream S(File.data(), (int64_t)File.size());
    const riff::TFormHeader F = riff::ProbeForm(S);
    if (Form) *Form = F;
    if (F.Kind == TFormKind::None) return {};
    riff::TChunkWalker W(S, F, F.FirstChunk, S.Size());
    std::vector<TSeen> Out;
    riff::TChunk C;
    while (W.Next(C)) Out.push_back({C.ID, C.Size, C.Overruns});
    if (EndPos) *EndPos = W.Position();
    return Out;
}

// Chunk builders, one per byte order and width. Size overrides the
// declared size; the data is Len zero bytes, padded when Pad is set.
std::vector<uint8_t> LE32Chunk(const char* ID, uint32_t Len, bool Pad = true, int64_t Size = -1) {
    TByteWriter W;
    W.str(std::string_view(ID, 4)).u32le(Size < 0 ? Len : uint32_t(Size)).zeros(Len);
    if (Pad && (Len & 1)) W.u8(0);
    return W.take();
}
std::vector<uint8_t> BE32Chunk(const char* ID, uint32_t Len, bool Pad = true, int64_t Size = -1) {
    TByteWriter W;
    W.str(std::string_view(ID, 4)).u32be(Size < 0 ? Len : uint32_t(Size)).zeros(Len);
    if (Pad && (Len & 1)) W.u8(0);
    return W.take();
}
std::vector<uint8_t> BE64Chunk(const char* ID, uint32_t Len, bool Pad = true, uint64_t Size = ~0ull) {
    TByteWriter W;
    W.str(std::string_view(ID, 4)).u64be(Size == ~0ull ? Len : Size).zeros(Len);
    if (Pad && (Len & 1)) W.u8(0);
    return W.take();
}
// DSF sizes count the 12-byte header.
std::vector<uint8_t> DSFChunk(const char* ID, uint32_t Len, uint64_t Size = ~0ull) {
    TByteWriter W;
    W.str(std::string_view(ID, 4)).u64le(Size == ~0ull ? Len + 12 : Size).zeros(Len);
    return W.take();
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> Parts) {
    std::vector<uint8_t> Out;
    for (const auto& P : Parts) Out.insert(Out.end(), P.begin(), P.end());
    return Out;
}

std::vector<uint8_t> Riff(const std::vector<uint8_t>& Chunks, const char* Magic = "RIFF") {
    TByteWriter W;
    W.str(Magic).u32le(uint32_t(Chunks.size() + 4)).str("WAVE").bytes(Chunks);
    return W.take();
}
std::vector<uint8_t> Aiff(const std::vector<uint8_t>& Chunks) {
    TByteWriter W;
    W.str("FORM").u32be(uint32_t(Chunks.size() + 4)).str("AIFF").bytes(Chunks);
    return W.take();
}
std::vector<uint8_t> Dff(const std::vector<uint8_t>& Chunks) {
    TByteWriter W;
    W.str("FRM8").u64be(Chunks.size() + 4).str("DSD ").bytes(Chunks);
    return W.take();
}
std::vector<uint8_t> Dsf(const std::vector<uint8_t>& After, uint64_t MetadataPointer = 0) {
    TByteWriter W;
    W.str("DSD ").u64le(28).u64le(28 + After.size()).u64le(MetadataPointer).bytes(After);
    return W.take();
}

// A "DSD " header that stops 4 bytes short of its metadata pointer.
std::vector<uint8_t> Bytes24Dsf() {
    TByteWriter W;
    W.str("DSD ").u64le(28).u64le(24).u32le(0);
    return W.take();
}

struct TWalkCase {
    const char* Name;
    std::vector<uint8_t> File;
    TFormKind Kind;
    std::vector<TSeen> Chunks;
};

}  // namespace

TEST(RiffChunks, WalksEveryFormAndReportsSizesPastTheEnd) {
    constexpr uint64_t Huge = std::numeric_limits<uint64_t>::max() - 3;
    const std::vector<TWalkCase> Cases = {
        {"riff-odd-padded",
         Riff(Join({LE32Chunk("fmt ", 3), LE32Chunk("data", 4)})),
         TFormKind::RIFF,
         {{"fmt ", 3, false}, {"data", 4, false}}},
        {"riff-odd-at-end-without-pad", Riff(LE32Chunk("data", 5, false)), TFormKind::RIFF, {{"data", 5, false}}},
        {"riff-size-past-end",
         Riff(Join({LE32Chunk("fmt ", 2), LE32Chunk("data", 4, true, 400)})),
         TFormKind::RIFF,
         {{"fmt ", 2, false}, {"data", 400, true}}},
        {"riff-size-all-ones",
         Riff(LE32Chunk("junk", 4, true, 0xFFFFFFFF)),
         TFormKind::RIFF,
         {{"junk", 0xFFFFFFFF, true}}},
        {"riff-size-one-past", Riff(LE32Chunk("junk", 4, true, 5)), TFormKind::RIFF, {{"junk", 5, true}}},
        {"riff-header-cut", Join({Riff(LE32Chunk("data", 2)), {'L', 'I', 'S'}}), TFormKind::RIFF, {{"data", 2, false}}},
        {"aiff-odd-padded",
         Aiff(Join({BE32Chunk("COMM", 3), BE32Chunk("SSND", 8)})),
         TFormKind::AIFF,
         {{"COMM", 3, false}, {"SSND", 8, false}}},
        {"aiff-size-past-end",
         Aiff(BE32Chunk("SSND", 8, true, 0x7FFFFFF0)),
         TFormKind::AIFF,
         {{"SSND", 0x7FFFFFF0, true}}},
        {"dff-odd-padded",
         Dff(Join({BE64Chunk("FVER", 3), BE64Chunk("ID3 ", 2)})),
         TFormKind::DSDIFF,
         {{"FVER", 3, false}, {"ID3 ", 2, false}}},
        {"dff-size-beyond-int64", Dff(BE64Chunk("DSD ", 4, true, Huge)), TFormKind::DSDIFF, {{"DSD ", Huge, true}}},
        {"dsf-chunks",
         Dsf(Join({DSFChunk("fmt ", 40), DSFChunk("data", 5)})),
         TFormKind::DSF,
         {{"DSD ", 16, false}, {"fmt ", 40, false}, {"data", 5, false}}},
        {"dsf-size-below-header",
         Dsf(DSFChunk("data", 4, 3)),
         TFormKind::DSF,
         {{"DSD ", 16, false}, {"data", 0, false}}},
        {"dsf-header-cut", Bytes24Dsf(), TFormKind::None, {}},
        {"dsf-size-past-end",
         Dsf(DSFChunk("data", 4, 1ull << 62)),
         TFormKind::DSF,
         {{"DSD ", 16, false}, {"data", (1ull << 62) - 12, true}}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        riff::TFormHeader F;
        int64_t End = 0;
        EXPECT_EQ(Walk(C.File, &End, &F), C.Chunks);
        EXPECT_EQ(F.Kind, C.Kind);
        EXPECT_LE(End, (int64_t)C.File.size());
    }
}

TEST(RiffChunks, ProbeReadsSizeFieldsAndRF64DataSize) {
    // RF64: the real sizes live in ds64; a "data" chunk size of all ones
    // stands for the ds64 data size.
    TByteWriter DS;
    DS.str("ds64").u32le(28).u64le(0).u64le(6).u64le(0).u32le(0);
    std::vector<uint8_t> Chunks = Join({DS.take(), LE32Chunk("data", 6, true, 0xFFFFFFFF)});
    std::vector<uint8_t> File = Riff(Chunks, "RF64");
    // Patch the ds64 form size to the real one.
    const uint64_t FormSize = File.size() - 8;
    for (int I = 0; I < 8; ++I) File[20 + I] = uint8_t(FormSize >> (8 * I));
    riff::TFormHeader F;
    EXPECT_EQ(Walk(File, nullptr, &F), (std::vector<TSeen>{{"ds64", 28, false}, {"data", 6, false}}));
    EXPECT_EQ(F.Kind, TFormKind::RF64);
    EXPECT_TRUE(F.HasDS64);
    EXPECT_EQ(F.FormSize, FormSize);
    EXPECT_EQ(F.SizeFieldPos, 20);
    EXPECT_EQ(F.FormEnd, (int64_t)File.size());
    std::vector<uint8_t> Field;
    ASSERT_TRUE(riff::EncodeFormSize(F, 0x123456789ull, Field));
    EXPECT_EQ(Field.size(), 8u);

    // A RIFF whose declared size runs past the end ends at the stream; one
    // too small to hold the form type too.
    std::vector<uint8_t> Long = Riff(LE32Chunk("data", 4));
    Long[4] = 0xF0;
    TReadMemoryStream S(Long.data(), (int64_t)Long.size());
    EXPECT_EQ(riff::ProbeForm(S).FormEnd, (int64_t)Long.size());
    riff::TFormHeader Small = riff::ProbeForm(S);
    EXPECT_FALSE(riff::EncodeFormSize(Small, 0x100000000ull, Field));

    // Not a container, and a RIFF that holds no WAVE.
    for (const std::vector<uint8_t>& Other :
         {std::vector<uint8_t>{'I', 'D', '3'}, Join({{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}})}) {
        TReadMemoryStream O(Other.data(), (int64_t)Other.size());
        EXPECT_EQ(riff::ProbeForm(O).Kind, TFormKind::None);
    }
}

TEST(RiffChunks, BuildChunkFollowsTheFormsByteOrderAndPadding) {
    riff::TFormHeader Wave, Dsdiff, Dsd;
    Dsdiff.BigEndian = true;
    Dsdiff.ChunkHeaderSize = 12;
    Dsd.ChunkHeaderSize = 12;
    Dsd.SizeIncludesHeader = true;
    Dsd.PadOdd = false;
    EXPECT_EQ(riff::BuildChunk(Wave, "id3 ", {0, 0, 0}), LE32Chunk("id3 ", 3));
    EXPECT_EQ(riff::BuildChunk(Dsdiff, "ID3 ", {0, 0, 0}), BE64Chunk("ID3 ", 3));
    EXPECT_EQ(riff::BuildChunk(Dsd, "data", {0, 0, 0}), DSFChunk("data", 3));
    // Built chunks walk back to what was built.
    std::vector<uint8_t> Built = riff::BuildChunk(Wave, "id3 ", std::vector<uint8_t>(7, 0));
    EXPECT_EQ(Walk(Riff(Built)), (std::vector<TSeen>{{"id3 ", 7, false}}));
}

// The one rule for chunks past a form's declared end: inside it any chunk
// counts and one cut short by the stream ends the walk; past it only whole
// chunks with a printable ID count, and the form ends after the last one
// unless the declared end fell on a chunk boundary.
TEST(RiffChunks, FormWalkFollowsOneRulePastTheDeclaredEnd) {
    // A form whose declared size counts only its first Declared chunk bytes.
    auto Sized = [](const std::vector<uint8_t>& Form, uint32_t Declared) {
        std::vector<uint8_t> F = Form;
        for (int I = 0; I < 4; ++I) F[4 + I] = uint8_t((Declared + 4) >> (8 * I));
        return F;
    };
    const std::vector<uint8_t> Fmt = LE32Chunk("fmt ", 16), Data = LE32Chunk("data", 7);
    const std::vector<uint8_t> Id3 = LE32Chunk("id3 ", 10), V1 = {'T', 'A', 'G', 0, 0, 0, 0, 0, 0, 0};
    const uint32_t Inside = uint32_t(Fmt.size() + Data.size());
    struct TCase {
        const char* Name;
        std::vector<uint8_t> File;
        std::vector<TSeen> Inside, Past;
        bool Boundary;
        int64_t End;  // -1: the walk never passed the declared end
    };
    const std::vector<TCase> Cases = {
        {"appended-tag-chunk-then-v1",
         Join({Sized(Riff(Join({Fmt, Data, Id3})), Inside), V1}),
         {{"fmt ", 16, false}, {"data", 7, false}},
         {{"id3 ", 10, false}},
         true,
         int64_t(12 + Inside + Id3.size())},
        {"size-ends-inside-a-chunk",
         Sized(Riff(Join({Fmt, Data, Id3})), uint32_t(Fmt.size() + 10)),
         {{"fmt ", 16, false}, {"data", 7, false}},
         {{"id3 ", 10, false}},
         false,
         int64_t(12 + Inside + Id3.size())},
        {"size-short-then-bytes-that-are-no-chunk",
         Join({Sized(Riff(Join({Fmt, Data})), uint32_t(Fmt.size() + 10)), {1, 2, 3, 4, 5, 6, 7, 8, 9}}),
         {{"fmt ", 16, false}, {"data", 7, false}},
         {},
         false,
         int64_t(12 + Inside)},
        {"appended-chunk-past-the-stream",
         Join({Sized(Riff(Join({Fmt, Data})), Inside), LE32Chunk("id3 ", 4, true, 100)}),
         {{"fmt ", 16, false}, {"data", 7, false}},
         {},
         true,
         int64_t(12 + Inside)},
        {"chunk-inside-past-the-stream",
         Join({Riff(Join({Fmt, LE32Chunk("data", 4, true, 100)})), Id3}),
         {{"fmt ", 16, false}, {"data", 100, true}},
         {},
         false,
         -1},
        {"dff-appended-tag-chunk",
         Join({Dff(BE64Chunk("FVER", 4)), BE64Chunk("ID3 ", 6)}),
         {{"FVER", 4, false}},
         {{"ID3 ", 6, false}},
         true,
         int64_t(16 + 16 + 18)},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TReadMemoryStream S(C.File.data(), (int64_t)C.File.size());
        const riff::TFormHeader F = riff::ProbeForm(S);
        riff::TFormWalk W(S, F);
        std::vector<TSeen> In, Past;
        riff::TChunk Ch;
        while (W.Next(Ch)) (W.PastDeclaredEnd() ? Past : In).push_back({Ch.ID, Ch.Size, Ch.Overruns});
        EXPECT_EQ(In, C.Inside);
        EXPECT_EQ(Past, C.Past);
        EXPECT_EQ(W.PastDeclaredEnd(), C.End >= 0);
        if (C.End < 0) continue;
        EXPECT_EQ(W.EndsOnBoundary(), C.Boundary);
        EXPECT_EQ(W.End(), C.End);
    }
}

TEST(RiffChunks, WalkStopsAfterTheChunkLimit) {
    std::vector<uint8_t> Chunks;
    for (int I = 0; I < riff::MaxChunks + 10; ++I) {
        auto C = LE32Chunk("junk", 0);
        Chunks.insert(Chunks.end(), C.begin(), C.end());
    }
    EXPECT_EQ(Walk(Riff(Chunks)).size(), (size_t)riff::MaxChunks);
}

TEST(ReadAt, ReadsWhatTheStreamHoldsAndFailsVisiblyPastIt) {
    const std::vector<uint8_t> Data = {1, 2, 3, 4, 5, 6};
    TReadMemoryStream S(Data.data(), (int64_t)Data.size());
    TStreamBytes R = ReadAt(S, 2, 3);
    ASSERT_EQ(R.size(), 3u);
    EXPECT_EQ(R.u16le(), 0x0403);
    // A move keeps the bytes and the position.
    TStreamBytes Moved = std::move(R);
    EXPECT_EQ(Moved.u8(), 5);
    EXPECT_THROW(Moved.u8(), ETagFormat);

    // A count far beyond the stream is cut to what remains, not allocated.
    TStreamBytes Big = ReadAt(S, 4, std::numeric_limits<int64_t>::max());
    EXPECT_EQ(Big.size(), 2u);
    EXPECT_THROW(Big.u32le(), ETagFormat);
    for (int64_t Pos : {int64_t(-1), int64_t(7), std::numeric_limits<int64_t>::max()}) {
        TStreamBytes None = ReadAt(S, Pos, 4);
        EXPECT_EQ(None.size(), 0u);
        EXPECT_THROW(None.u8(), ETagFormat);
    }
    EXPECT_EQ(ReadAt(S, 6, 4).size(), 0u);
}
