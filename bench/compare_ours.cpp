// Benchmark driver over the tag library: reads a list of files (one path a
// line) and, per mode, loads every file (scan) or changes its title and saves
// it (save). Prints one JSON line: files, failures, files with tags loaded.
//   compare_ours scan LIST | compare_ours save LIST TITLE
#include <cstdio>
#include <fstream>
#include <string>

#include "tags/tags.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string Mode = argv[1];
    std::ifstream List(argv[2]);
    long Files = 0, Failed = 0, Loaded = 0;
    double Sum = 0;
    for (std::string Path; std::getline(List, Path);) {
        if (Path.empty()) continue;
        ++Files;
        TTags Tags;
        if (Tags.LoadFromFile(Path) != 0) {
            ++Failed;
            continue;
        }
        if (Mode == "scan") {
            Loaded += Tags.Loaded ? 1 : 0;
            Sum += (double)Tags.GetText("TITLE").size() + Tags.CoverArtCount();
        } else {
            Tags.SetText("TITLE", argc > 3 ? argv[3] : "Benchmark title");
            int R = Tags.SaveToFile(Path);
            if (R != 0 && R != 3) ++Failed;
        }
    }
    std::printf("{\"files\":%ld,\"failed\":%ld,\"loaded\":%ld,\"check\":%.0f}\n", Files, Failed, Loaded, Sum);
}
