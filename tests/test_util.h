// Helpers shared by the C++ tests: temporary folders, files, commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tags/stream.h"
#include "tests/bytes.h"

namespace testutil {

// A fresh folder under the system's temporary folder, removed with its content on destruction.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::string& path() const { return FPath; }
    std::string file(const std::string& Name) const { return FPath + "/" + Name; }

private:
    std::string FPath;
};

void WriteFile(const std::string& Path, const std::vector<uint8_t>& Bytes);
void WriteFile(const std::string& Path, const std::string& Bytes);
std::vector<uint8_t> ReadFile(const std::string& Path);
std::vector<uint8_t> Bytes(const std::string& Text);
// Runs a shell command; returns its exit status and fills Output with its stdout.
int Run(const std::string& Command, std::string* Output = nullptr);
bool HaveCommand(const std::string& Name);
// Folder of the built executables (VELTRANO_BIN, set by CTest).
std::string BinDir();
std::string SourceDir();
// MPEG frames for tests that still reach them here; the builder lives in tests/bytes.h.
inline std::vector<uint8_t> MpegFrames(int Count) { return tbytes::MpegFrames(Count); }

// Passes everything to the stream below and counts the reads that reach it
// and the bytes they give: what a reader touches.
class TCountingStream final : public TStream {
public:
    explicit TCountingStream(TStream& Inner) : FInner(Inner) {}
    int Reads = 0;
    int64_t BytesRead = 0;
    int64_t Read(void* Buffer, int64_t Count) override {
        ++Reads;
        const int64_t N = FInner.Read(Buffer, Count);
        BytesRead += N > 0 ? N : 0;
        return N;
    }
    int64_t Write(const void* Buffer, int64_t Count) override { return FInner.Write(Buffer, Count); }
    int64_t Seek(int64_t Position) override { return FInner.Seek(Position); }
    int64_t Position() const override { return FInner.Position(); }
    int64_t Size() const override { return FInner.Size(); }
    bool SetSize(int64_t NewSize) override { return FInner.SetSize(NewSize); }

private:
    TStream& FInner;
};

}  // namespace testutil
