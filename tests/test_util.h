// Helpers shared by the C++ tests: temporary folders, files, commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

}  // namespace testutil
