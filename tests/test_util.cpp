#include "tests/test_util.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testutil {

TTempDir::TTempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "veltrano-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    FPath = tmpl;
}

TTempDir::~TTempDir() {
    std::error_code ec;
    // Restore write permission on anything a test locked down, then remove.
    for (auto it = std::filesystem::recursive_directory_iterator(FPath, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ec);
    std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(FPath, ec);
}

void WriteFile(const std::string& Path, const std::vector<uint8_t>& Bytes) {
    std::ofstream f(Path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(Bytes.data()), (std::streamsize)Bytes.size());
    if (!f) throw std::runtime_error("cannot write " + Path);
}

void WriteFile(const std::string& Path, const std::string& Bytes) {
    WriteFile(Path, std::vector<uint8_t>(Bytes.begin(), Bytes.end()));
}

std::vector<uint8_t> ReadFile(const std::string& Path) {
    std::ifstream f(Path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> Bytes(const std::string& Text) { return std::vector<uint8_t>(Text.begin(), Text.end()); }

int Run(const std::string& Command, std::string* Output) {
    FILE* p = ::popen(Command.c_str(), "r");
    if (!p) return -1;
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = ::pclose(p);
    if (Output) *Output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveCommand(const std::string& Name) { return Run("command -v " + Name + " >/dev/null 2>&1") == 0; }

std::string BinDir() {
    const char* v = std::getenv("VELTRANO_BIN");
    return v ? v : "build/bin";
}

std::string SourceDir() {
#ifdef VELTRANO_SOURCE_DIR
    return VELTRANO_SOURCE_DIR;
#else
    return ".";
#endif
}

}  // namespace testutil
