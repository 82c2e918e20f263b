// Walks the chunks of any input: every chunk the walker returns starts after
// the previous one, lies inside the stream unless it is reported as running
// past the end, and is the last one when it does.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_common.h"
#include "tags/riff/riff_chunks.h"
#include "tags/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TReadMemoryStream S(Data, (int64_t)Size);
    const riff::TFormHeader Form = riff::ProbeForm(S);
    FUZZ_REQUIRE(Form.FormEnd >= 0 && Form.FormEnd <= (int64_t)Size, "form end outside the stream");
    if (Form.Kind == riff::TFormKind::None) return 0;
    riff::TChunkWalker W(S, Form, Form.FirstChunk, (int64_t)Size);
    riff::TChunk C;
    int64_t Last = -1;
    bool Overran = false;
    while (W.Next(C)) {
        FUZZ_REQUIRE(!Overran, "a chunk after one that ran past the end");
        FUZZ_REQUIRE(C.Pos > Last, "chunks do not move forward");
        Last = C.Pos;
        FUZZ_REQUIRE(C.Span() >= 0 && C.End() <= (int64_t)Size, "chunk span outside the stream");
        if (C.Overruns)
            Overran = true;
        else
            FUZZ_REQUIRE(C.Size <= (uint64_t)((int64_t)Size - C.DataPos()), "chunk data outside the stream");
        TStreamBytes B = ReadAt(S, C.DataPos(), 64);
        FUZZ_REQUIRE(B.size() <= 64, "ReadAt read more than asked");
    }
    FUZZ_REQUIRE(W.Position() <= (int64_t)Size, "walk ended past the stream");
    return 0;
}
