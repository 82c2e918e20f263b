// Benchmark floor: reads each listed file's first and last 64 KiB, the bytes
// a tag reader cannot do without, and nothing else.
//   compare_ends scan LIST
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::ifstream List(argv[2]);
    std::vector<char> Buffer(64 * 1024);
    long Files = 0, Failed = 0;
    unsigned long Sum = 0;
    for (std::string Path; std::getline(List, Path);) {
        if (Path.empty()) continue;
        ++Files;
        const int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat St {};
        if (Fd < 0 || ::fstat(Fd, &St) != 0) {
            ++Failed;
            if (Fd >= 0) ::close(Fd);
            continue;
        }
        const off_t Head = std::min<off_t>(St.st_size, (off_t)Buffer.size());
        Sum += (unsigned long)std::max<ssize_t>(0, ::pread(Fd, Buffer.data(), (size_t)Head, 0));
        if (St.st_size > Head) {
            const off_t Tail = std::min<off_t>(St.st_size - Head, (off_t)Buffer.size());
            Sum += (unsigned long)std::max<ssize_t>(0, ::pread(Fd, Buffer.data(), (size_t)Tail, St.st_size - Tail));
        }
        ::close(Fd);
    }
    std::printf("{\"files\":%ld,\"failed\":%ld,\"loaded\":%ld,\"check\":%lu}\n", Files, Failed, Files - Failed, Sum);
}
