// Finds the tags at the end of any input and replaces each in turn: the
// bytes before the trailer and every other member stay byte for byte, and
// the new member is found again where it belongs.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "tags/stream.h"
#include "tags/trailer_edit.h"

namespace {

std::vector<uint8_t> Slice(const std::vector<uint8_t>& B, const TTrailerMember& M) {
    if (!M.Present()) return {};
    return std::vector<uint8_t>(B.begin() + M.Pos, B.begin() + M.End());
}

// A new member of each kind that the trailer reader recognises.
std::vector<uint8_t> NewMember(TTrailerKind Kind) {
    switch (Kind) {
        case TTrailerKind::APEv2: {
            std::vector<uint8_t> F = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X', 0xD0, 0x07, 0, 0, 40, 0, 0, 0};
            F.resize(32, 0);
            std::vector<uint8_t> Out(8, 'i');
            Out.insert(Out.end(), F.begin(), F.end());
            return Out;
        }
        case TTrailerKind::Lyrics3: {
            const std::string B = "LYRICSBEGININD00003000000022LYRICS200";
            return std::vector<uint8_t>(B.begin(), B.end());
        }
        case TTrailerKind::ID3v1: {
            std::vector<uint8_t> T(128, 0);
            T[0] = 'T', T[1] = 'A', T[2] = 'G';
            return T;
        }
    }
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::vector<uint8_t> Input(Data, Data + Size);
    TMemoryStream Probe(Input);
    const TTrailerLayout L = FindTrailer(Probe);
    FUZZ_REQUIRE(L.Start >= 0 && L.Start <= (int64_t)Size, "trailer start outside the stream");
    for (int K = 0; K < TrailerKindCount; ++K) {
        const TTrailerMember& M = L.Members[K];
        if (M.Present()) FUZZ_REQUIRE(M.Pos >= L.Start && M.End() <= (int64_t)Size, "member outside the trailer");
    }
    for (int K = 0; K < TrailerKindCount; ++K) {
        for (bool Remove : {false, true}) {
            TMemoryStream S(Input);
            const std::vector<uint8_t> New = Remove ? std::vector<uint8_t>() : NewMember(TTrailerKind(K));
            FUZZ_REQUIRE(ReplaceTrailerMember(S, TTrailerKind(K), New) == TEditResult::Success, "edit failed");
            const std::vector<uint8_t>& Out = S.Data();
            const int64_t Kept = std::min<int64_t>(L.Start, L.PosOf(TTrailerKind(K)));
            FUZZ_REQUIRE((int64_t)Out.size() >= Kept && std::equal(Input.begin(), Input.begin() + Kept, Out.begin()),
                         "bytes before the trailer changed");
            std::vector<uint8_t> Expected(Input.begin(), Input.begin() + L.Start);
            for (int M = 0; M < TrailerKindCount; ++M) {
                const std::vector<uint8_t> Part = M == K ? New : Slice(Input, L.Members[M]);
                Expected.insert(Expected.end(), Part.begin(), Part.end());
            }
            FUZZ_REQUIRE(Out == Expected, "members not kept byte for byte");
        }
    }
    return 0;
}
