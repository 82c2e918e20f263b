// The same driver over TagLib (Debian's libtag1-dev), as an independent reference.
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string Mode = argv[1];
    std::ifstream List(argv[2]);
    long Files = 0, Failed = 0;
    double Sum = 0;
    for (std::string Path; std::getline(List, Path);) {
        if (Path.empty()) continue;
        ++Files;
        TagLib::FileRef F(Path.c_str(), true, TagLib::AudioProperties::Average);
        if (F.isNull() || !F.tag()) {
            ++Failed;
            continue;
        }
        if (Mode == "scan") {
            Sum += F.tag()->title().size() + (F.audioProperties() ? F.audioProperties()->lengthInMilliseconds() : 0);
        } else {
            F.tag()->setTitle(TagLib::String(argc > 3 ? argv[3] : "Benchmark title", TagLib::String::UTF8));
            if (!F.save()) ++Failed;
        }
    }
    std::printf("{\"files\":%ld,\"failed\":%ld,\"check\":%.0f}\n", Files, Failed, Sum);
}
