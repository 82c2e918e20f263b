// veltrano-tags: the tag library and the tag service on the command line.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "tags/tag_formats.h"
#include "tools/veltrano-tags/commands.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: veltrano-tags read [-j N] FILE...\n"
                 "       veltrano-tags write FILE [--tag KIND] [--set NAME=VALUE]... [--delete NAME]...\n"
                 "                           [--cover IMAGEFILE] [--no-cover]\n"
                 "       veltrano-tags strip FILE [--tag KIND]\n"
                 "       veltrano-tags record FILE... | record FILE --set Field=Value... [--cover IMAGEFILE|--no-cover]\n"
                 "       veltrano-tags scan DIR [-j N]\n"
                 "       veltrano-tags formats [--json]\n"
                 "       veltrano-tags lookup FILE... | lookup FILE --pick N | lookup FILE --release MBID\n"
                 "KIND: auto");
    for (const TTagFormat& f : TagFormats()) std::fprintf(stderr, ", %s", f.CliName);
    std::fprintf(stderr, "\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage();
        return 2;
    }
    const std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "read") return CmdRead(args);
        if (command == "write") return CmdWrite(args);
        if (command == "strip") return CmdStrip(args);
        if (command == "record") return CmdRecord(args);
        if (command == "scan") return CmdScan(args);
        if (command == "formats") return CmdFormats(args);
        if (command == "lookup") return CmdLookup(args);
        if (command == "--help" || command == "-h" || command == "help") {
            Usage();
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veltrano-tags: %s\n", e.what());
        return 2;
    }
    std::fprintf(stderr, "veltrano-tags: unknown command '%s'\n", command.c_str());
    Usage();
    return 2;
}
