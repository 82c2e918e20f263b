// The same driver over TagLib (Debian's libtag1-dev), as an independent
// reference: a line "PATH<TAB>TITLE" gives that entry its own title; batch
// is save (one file after another; TagLib does not flush what it wrote).
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string Mode = argv[1];
    std::ifstream List(argv[2]);
    long Files = 0, Failed = 0;
    double Sum = 0;
    const auto Start = std::chrono::steady_clock::now();
    for (std::string Path; std::getline(List, Path);) {
        if (Path.empty()) continue;
        std::string Title = argc > 3 ? argv[3] : "Benchmark title";
        if (const size_t Tab = Path.find('\t'); Tab != std::string::npos) {
            Title = Path.substr(Tab + 1);
            Path.resize(Tab);
        }
        ++Files;
        TagLib::FileRef F(Path.c_str(), true, TagLib::AudioProperties::Average);
        if (F.isNull() || !F.tag()) {
            ++Failed;
            continue;
        }
        if (Mode == "scan") {
            Sum += F.tag()->title().size() + (F.audioProperties() ? F.audioProperties()->lengthInMilliseconds() : 0);
        } else {
            F.tag()->setTitle(TagLib::String(Title, TagLib::String::UTF8));
            if (!F.save()) ++Failed;
        }
    }
    const double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    std::printf("{\"files\":%ld,\"failed\":%ld,\"check\":%.0f,\"seconds\":%.6f}\n", Files, Failed, Sum, Seconds);
}
