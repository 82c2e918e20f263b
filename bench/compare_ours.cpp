// Benchmark driver over the tag library: reads a list of files (one path a
// line) and, per mode, loads every file (scan) or changes its title and saves
// it (save). A line "PATH<TAB>TITLE" gives that entry its own title, so one
// list can save the same file again and again with titles that differ.
// Prints one JSON line: files, failures, files with tags loaded, and the
// seconds the work took (start-up left out).
//   compare_ours scan LIST | compare_ours save LIST TITLE
//   compare_ours batch LIST TITLE THREADS
// batch saves the files of the list with THREADS workers at once, as the
// window's save pool does. Both save modes run their saves in one save batch,
// as the window and the command-line tool do: each save is the library's
// whole transaction, not flushed on its own; the batch flushes once at the
// end, inside the timed span, so every file is on disk when the time is
// taken. A failed flush counts every file as failed.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tags/file_edit.h"
#include "tags/tags.h"

namespace {

// One entry of the list: its path, and its own title when it names one.
std::pair<std::string, std::string> SplitEntry(const std::string& Line, const std::string& Title) {
    const size_t Tab = Line.find('\t');
    if (Tab == std::string::npos) return {Line, Title};
    return {Line.substr(0, Tab), Line.substr(Tab + 1)};
}

// Loads the file and saves it with the title; false when either failed.
bool SaveTitle(const std::string& Path, const std::string& Title) {
    TTags Tags;
    if (Tags.LoadFromFile(Path) != 0) return false;
    Tags.SetText("TITLE", Title);
    const int R = Tags.SaveToFile(Path);
    return R == 0 || R == 3;  // 3: nothing to write
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string Mode = argv[1];
    const std::string Title = argc > 3 ? argv[3] : "Benchmark title";
    std::ifstream List(argv[2]);
    std::vector<std::string> Lines;
    for (std::string Line; std::getline(List, Line);)
        if (!Line.empty()) Lines.push_back(Line);
    long Files = 0, Loaded = 0;
    std::atomic<long> Failed = 0;
    double Sum = 0;
    const auto Start = std::chrono::steady_clock::now();
    TSaveBatch Batch;
    if (Mode == "batch") {
        const int Threads = std::clamp(argc > 4 ? std::atoi(argv[4]) : 2, 1, 64);
        std::atomic<size_t> Next = 0;
        auto Work = [&] {
            TSaveBatch::TJoin Join(Batch);
            for (size_t I; (I = Next++) < Lines.size();) {
                const auto [Path, Text] = SplitEntry(Lines[I], Title);
                if (!SaveTitle(Path, Text)) ++Failed;
            }
        };
        std::vector<std::thread> Pool;
        for (int I = 0; I < Threads; ++I) Pool.emplace_back(Work);
        for (std::thread& T : Pool) T.join();
        Files = (long)Lines.size();
    } else {
        for (const std::string& Line : Lines) {
            const auto [Path, Text] = SplitEntry(Line, Title);
            ++Files;
            if (Mode != "scan") {
                if (!SaveTitle(Path, Text)) ++Failed;
                continue;
            }
            TTags Tags;
            if (Tags.LoadFromFile(Path) != 0) {
                ++Failed;
                continue;
            }
            Loaded += Tags.Loaded ? 1 : 0;
            Sum += (double)Tags.GetText("TITLE").size() + Tags.CoverArtCount();
        }
    }
    if (Batch.Finish() != 0) Failed = Files;
    const double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    std::printf("{\"files\":%ld,\"failed\":%ld,\"loaded\":%ld,\"check\":%.0f,\"seconds\":%.6f}\n", Files, Failed.load(),
                Loaded, Sum, Seconds);
}
