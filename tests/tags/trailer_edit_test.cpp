// The tags at the end of a file: finding APEv2, Lyrics3 and ID3v1, and
// replacing one while the others stay byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <string>

#include "tags/byte_io.h"
#include "tags/stream.h"
#include "tags/trailer_edit.h"
#include "tests/test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> Parts) {
    Bytes Out;
    for (const auto& P : Parts) Out.insert(Out.end(), P.begin(), P.end());
    return Out;
}

// An APEv2 tag with ItemBytes of items, with or without its header.
Bytes APE(size_t ItemBytes, bool Header, uint8_t Fill = 'a') {
    auto Frame = [&](bool IsHeader) {
        TByteWriter W;
        W.str("APETAGEX").u32le(2000).u32le(uint32_t(ItemBytes + 32)).u32le(1);
        W.u32le((Header ? trailer::APEv2HasHeaderFlag : 0) | (IsHeader ? 0x20000000u : 0)).zeros(8);
        return W.take();
    };
    Bytes Out;
    if (Header) Out = Frame(true);
    Out.resize(Out.size() + ItemBytes, Fill);
    return Cat({Out, Frame(false)});
}

Bytes Lyrics(const std::string& Words) {
    std::string Body = "LYRICSBEGINLYR" + std::string(5 - std::to_string(Words.size()).size(), '0') +
                       std::to_string(Words.size()) + Words;
    std::string Size = std::to_string(Body.size());
    Body += std::string(6 - Size.size(), '0') + Size + "LYRICS200";
    return Bytes(Body.begin(), Body.end());
}

Bytes ID3v1(char Title) {
    Bytes T(128, 0);
    T[0] = 'T', T[1] = 'A', T[2] = 'G', T[3] = uint8_t(Title);
    return T;
}

const Bytes Audio = [] {
    Bytes A(1000);
    for (size_t I = 0; I < A.size(); ++I) A[I] = uint8_t(I * 7 + 3);
    return A;
}();

// A full disk: writes stop at the byte position Limit, so the stream cannot
// grow past it (rewriting bytes it holds still works). Or SetSize fails.
class TFailingStream final : public TStream {
public:
    TFailingStream(Bytes Data, int64_t Limit, bool FailResize = false)
        : FInner(std::move(Data)), FLimit(Limit), FFailResize(FailResize) {}
    int64_t Read(void* B, int64_t N) override { return FInner.Read(B, N); }
    int64_t Write(const void* B, int64_t N) override {
        const int64_t Take = std::max<int64_t>(0, std::min(N, FLimit - FInner.Position()));
        return FInner.Write(B, Take);
    }
    int64_t Seek(int64_t P) override { return FInner.Seek(P); }
    int64_t Position() const override { return FInner.Position(); }
    int64_t Size() const override { return FInner.Size(); }
    bool SetSize(int64_t N) override {
        if (FFailResize && N < FInner.Size()) return false;
        return FInner.SetSize(N);
    }
    void Refill() {
        FLimit = 1 << 30;
        FFailResize = false;
    }
    const Bytes& Data() const { return FInner.Data(); }

private:
    TMemoryStream FInner;
    int64_t FLimit;
    bool FFailResize;
};

}  // namespace

// Every mix of members, each member replaced by a larger and a smaller one,
// removed, and added where missing: the result is the audio, then the
// members in their order, each either new or exactly as before.
TEST(TrailerEdit, ReplacesOneMemberAndKeepsTheOthersByteForByte) {
    const TTrailerKind Kinds[] = {TTrailerKind::APEv2, TTrailerKind::Lyrics3, TTrailerKind::ID3v1};
    for (int Mask = 0; Mask < 8; ++Mask) {
        for (bool Header : {false, true}) {
            Bytes Old[3] = {Mask & 1 ? APE(40, Header) : Bytes(), Mask & 2 ? Lyrics("old words") : Bytes(),
                            Mask & 4 ? ID3v1('o') : Bytes()};
            const Bytes File = Cat({Audio, Old[0], Old[1], Old[2]});
            for (TTrailerKind Kind : Kinds) {
                const int K = int(Kind);
                const Bytes Variants[] = {
                    K == 0   ? APE(90, !Header, 'b')
                    : K == 1 ? Lyrics("new and longer words")
                             : ID3v1('n'),
                    K == 0   ? APE(3, Header, 'c')
                    : K == 1 ? Lyrics("w")
                             : ID3v1('m'),
                    Bytes(),
                };
                for (const Bytes& New : Variants) {
                    SCOPED_TRACE("mask " + std::to_string(Mask) + " header " + std::to_string(Header) + " kind " +
                                 std::to_string(K) + " new size " + std::to_string(New.size()));
                    TMemoryStream S(File);
                    const TTrailerLayout Before = FindTrailer(S);
                    EXPECT_EQ(Before.Start, (int64_t)Audio.size());
                    EXPECT_EQ(Before.APEv2HasHeader, (Mask & 1) && Header);
                    ASSERT_EQ(ReplaceTrailerMember(S, Kind, New), TEditResult::Success);
                    Bytes Expected[3] = {Old[0], Old[1], Old[2]};
                    Expected[K] = New;
                    EXPECT_EQ(S.Data(), Cat({Audio, Expected[0], Expected[1], Expected[2]}));
                    const TTrailerLayout After = FindTrailer(S);
                    for (int M = 0; M < 3; ++M) EXPECT_EQ(After.Members[M].Size, (int64_t)Expected[M].size());
                }
            }
        }
    }
}

TEST(TrailerEdit, FindsTheAPEv2FooterBehindLyricsAndID3v1) {
    const Bytes Tag = APE(50, true);
    const Bytes File = Cat({Audio, Tag, Lyrics("x"), ID3v1('t')});
    TMemoryStream S(File);
    const TTrailerLayout L = FindTrailer(S);
    EXPECT_EQ(L.APEv2().Pos, (int64_t)Audio.size());
    EXPECT_EQ(L.APEv2().Size, (int64_t)Tag.size());
    EXPECT_EQ(L.APEv2FooterPos, (int64_t)(Audio.size() + Tag.size() - 32));
    EXPECT_EQ(L.Lyrics3().Pos, L.APEv2().End());
    EXPECT_EQ(L.ID3v1().Pos, (int64_t)File.size() - 128);
    EXPECT_EQ(L.PosOf(TTrailerKind::APEv2), (int64_t)Audio.size());
}

// Item bytes of an APEv2 tag that ends the file may read "TAG" where an
// ID3v1 block would start: the tag is still the APEv2 tag.
TEST(TrailerEdit, AnAPEv2TagEndingTheFileWinsOverTAGInItsItems) {
    Bytes Tag = APE(200, true);
    Tag[Tag.size() - 128] = 'T', Tag[Tag.size() - 127] = 'A', Tag[Tag.size() - 126] = 'G';
    TMemoryStream S(Cat({Audio, Tag}));
    const TTrailerLayout L = FindTrailer(S);
    EXPECT_EQ(L.APEv2().Pos, (int64_t)Audio.size());
    EXPECT_FALSE(L.ID3v1().Present());
    ASSERT_EQ(ReplaceTrailerMember(S, TTrailerKind::ID3v1, ID3v1('n')), TEditResult::Success);
    EXPECT_EQ(S.Data(), Cat({Audio, Tag, ID3v1('n')}));
}

// Footers that lie about their size are no tags; their bytes stay with the
// audio and are never cut away.
TEST(TrailerEdit, HostileSizesAreNotTrusted) {
    auto FooterWithSize = [](uint32_t Size, uint32_t Flags) {
        TByteWriter W;
        W.str("APETAGEX").u32le(2000).u32le(Size).u32le(0).u32le(Flags).zeros(8);
        return W.take();
    };
    struct TCase {
        const char* Name;
        Bytes Tail;
        int64_t APEv2Size;
    } Cases[] = {
        {"size below the footer", FooterWithSize(31, 0), 0},
        {"size zero", FooterWithSize(0, 0), 0},
        {"size reaching before the file", FooterWithSize(1032 + 1, 0), 0},
        {"size of the whole file", FooterWithSize(1032, 0), 1032},
        {"header flag without a header", FooterWithSize(64, trailer::APEv2HasHeaderFlag), 64},
        {"header flag with the header before the file", FooterWithSize(1032, trailer::APEv2HasHeaderFlag), 1032},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        const Bytes File = Cat({Audio, C.Tail, ID3v1('t')});
        TMemoryStream S(File);
        const TTrailerLayout L = FindTrailer(S);
        EXPECT_EQ(L.APEv2().Size, C.APEv2Size);
        EXPECT_FALSE(L.APEv2HasHeader);
        EXPECT_EQ(L.Start, (int64_t)(File.size() - 128 - C.APEv2Size));
    }
    // Lyrics3 size fields: not digits, or reaching before the file.
    for (const char* Size : {"0000x9", "999999"}) {
        Bytes Block = Lyrics("abc");
        std::copy(Size, Size + 6, Block.end() - 15);
        TMemoryStream S(Cat({Audio, Block, ID3v1('t')}));
        EXPECT_FALSE(FindTrailer(S).Lyrics3().Present());
    }
    // Too short for anything.
    TMemoryStream Tiny(Bytes{'T', 'A', 'G'});
    EXPECT_EQ(FindTrailer(Tiny).Start, 3);
}

// A write or a truncation that fails part-way puts every old byte back.
TEST(TrailerEdit, AFailedWriteLeavesTheOldBytes) {
    const Bytes File = Cat({Audio, APE(60, true), Lyrics("words"), ID3v1('t')});
    const Bytes Shorter = APE(5, false);
    for (int64_t Room : {0, 1, 31, 100, 200}) {
        SCOPED_TRACE(Room);
        TFailingStream S(File, (int64_t)File.size() + Room);
        EXPECT_EQ(ReplaceTrailerMember(S, TTrailerKind::APEv2, APE(400, true)), TEditResult::WriteFailed);
        EXPECT_EQ(S.Data(), File);
    }
    TFailingStream S(File, 1 << 30, true);
    EXPECT_EQ(ReplaceTrailerMember(S, TTrailerKind::APEv2, Shorter), TEditResult::WriteFailed);
    EXPECT_EQ(S.Data(), File);
    S.Refill();
    ASSERT_EQ(ReplaceTrailerMember(S, TTrailerKind::APEv2, Shorter), TEditResult::Success);
    EXPECT_EQ(S.Data(), Cat({Audio, Shorter, Lyrics("words"), ID3v1('t')}));
}

TEST(TrailerEdit, SeveralMembersInOneEditOnAFile) {
    testutil::TTempDir D;
    const std::string P = D.file("a.mp3");
    testutil::WriteFile(P, Cat({Audio, APE(10, false), Lyrics("old"), ID3v1('o')}));
    const TTrailerChange Change = TTrailerChange().Remove(TTrailerKind::Lyrics3).Set(TTrailerKind::ID3v1, ID3v1('n'));
    ASSERT_EQ(ReplaceTrailerMembersInFile(P, Change), TEditResult::Success);
    EXPECT_EQ(testutil::ReadFile(P), Cat({Audio, APE(10, false), ID3v1('n')}));
    // Removing what is not there changes nothing.
    ASSERT_EQ(ReplaceTrailerMemberInFile(P, TTrailerKind::Lyrics3, {}), TEditResult::Success);
    EXPECT_EQ(testutil::ReadFile(P), Cat({Audio, APE(10, false), ID3v1('n')}));
    EXPECT_EQ(ReplaceTrailerMemberInFile(D.file("missing.mp3"), TTrailerKind::ID3v1, ID3v1('x')),
              TEditResult::OpenFailed);
}

// By name, a trailer is edited in place whether it keeps its length, grows
// or shrinks: the audio in front of it is not copied, and nothing is left
// beside the file.
TEST(TrailerEdit, AFileWhoseTrailerChangesLengthIsEditedInPlace) {
    testutil::TTempDir D;
    const std::string P = D.file("a.wv");
    testutil::WriteFile(P, Cat({Audio, APE(10, true), ID3v1('o')}));
    auto Inode = [&] {
        struct stat St {};
        ::stat(P.c_str(), &St);
        return St.st_ino;
    };
    auto Before = Inode();
    ASSERT_EQ(ReplaceTrailerMemberInFile(P, TTrailerKind::ID3v1, ID3v1('n')), TEditResult::Success);
    EXPECT_EQ(Inode(), Before);
    EXPECT_EQ(testutil::ReadFile(P), Cat({Audio, APE(10, true), ID3v1('n')}));
    for (const int Items : {300, 2}) {
        ASSERT_EQ(ReplaceTrailerMemberInFile(P, TTrailerKind::APEv2, APE(Items, true)), TEditResult::Success);
        EXPECT_EQ(testutil::ReadFile(P), Cat({Audio, APE(Items, true), ID3v1('n')}));
        EXPECT_EQ(Inode(), Before);
    }
    size_t Entries = 0;
    for ([[maybe_unused]] const auto& E : std::filesystem::directory_iterator(D.path())) ++Entries;
    EXPECT_EQ(Entries, 1u);
}
