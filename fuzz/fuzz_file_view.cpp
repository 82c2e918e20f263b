// The view every load reads through gives the file's own bytes, whatever
// the order and size of the reads: a run of seeks and reads taken from the
// input, over a file of up to a few MiB made from the rest of the input,
// each read checked against the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "tags/file_view.h"
#include "tags/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 4) return 0;
    const size_t Ops = std::min<size_t>(Data[0], (Size - 3) / 5);
    const uint8_t* Op = Data + 3;
    const uint8_t* Seed = Op + Ops * 5;
    const size_t SeedSize = (size_t)(Data + Size - Seed);
    const size_t FileSize = ((size_t)Data[1] << 8 | Data[2]) * 37 + SeedSize;
    std::vector<uint8_t> File(FileSize);
    for (size_t i = 0; i < FileSize; ++i) File[i] = (uint8_t)((SeedSize ? Seed[i % SeedSize] : 0) ^ (i >> 8));

    TMemoryStream Inner(File);
    TFileView View(Inner);
    FUZZ_REQUIRE(View.Size() == (int64_t)FileSize, "the view's size is not the file's");
    std::vector<uint8_t> Got;
    for (size_t k = 0; k < Ops; ++k, Op += 5) {
        const int64_t Pos = (int64_t)(((size_t)Op[0] << 16 | (size_t)Op[1] << 8 | Op[2]) % (FileSize + 16));
        // Mostly small reads as the readers make them; the top bit makes a large one.
        const int64_t Count =
            (Op[3] & 0x80) ? (int64_t)((Op[3] & 0x7F) << 8 | Op[4]) * 64 : (int64_t)((Op[3] & 0x7F) << 8 | Op[4]);
        const int64_t At = View.Seek(Pos);
        FUZZ_REQUIRE(At == std::min<int64_t>(Pos, (int64_t)FileSize), "seek went elsewhere");
        Got.assign((size_t)Count, 0xEE);
        const int64_t N = View.Read(Got.data(), Count);
        const int64_t Want = std::max<int64_t>(0, std::min<int64_t>(Count, (int64_t)FileSize - At));
        FUZZ_REQUIRE(N == Want, "read gave another count than the file holds");
        FUZZ_REQUIRE(N == 0 || std::memcmp(Got.data(), File.data() + At, (size_t)N) == 0, "read gave other bytes");
        FUZZ_REQUIRE(View.Position() == At + N, "position not after the bytes read");
    }
    return 0;
}
