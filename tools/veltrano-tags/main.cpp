// veltrano-tags: the tag library and the tag service on the command line.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "app/version.h"
#include "tags/tag_formats.h"
#include "tools/veltrano-tags/commands.h"

namespace {

// The synopsis: on stdout when asked for (--help), on stderr after a mistake.
void Usage(std::FILE* Out) {
    std::fprintf(
        Out,
        "usage: veltrano-tags read [-j N] FILE...\n"
        "       veltrano-tags write FILE [--tag KIND] [--set NAME=VALUE]... [--delete NAME]...\n"
        "                           [--cover IMAGEFILE] [--no-cover]\n"
        "                           [--picture TYPE=IMAGEFILE[:DESCRIPTION]]... [--delete-picture TYPE]...\n"
        "       veltrano-tags strip FILE [--tag KIND]\n"
        "       veltrano-tags record FILE... | record FILE --set Field=Value... [--cover IMAGEFILE|--no-cover]\n"
        "       veltrano-tags scan DIR [-j N]\n"
        "       veltrano-tags pictures FILE [--extract DIR]\n"
        "       veltrano-tags formats [--json]\n"
        "       veltrano-tags lookup FILE... | lookup FILE --pick N | lookup FILE --release MBID\n"
        "       veltrano-tags guess PATTERN FILE... [--apply]\n"
        "       veltrano-tags export --csv|--m3u8 OUT DIR_OR_FILE... [-j N]\n"
        "       veltrano-tags --help | --version\n"
        "KIND: auto");
    for (const TTagFormat& f : TagFormats()) std::fprintf(Out, ", %s", f.CliName);
    std::fprintf(Out, "\nSee veltrano-tags(1) for the output and exit statuses.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage(stderr);
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
        if (command == "guess") return CmdGuess(args);
        if (command == "export") return CmdExport(args);
        if (command == "pictures") return CmdPictures(args);
        if (command == "--help" || command == "-h" || command == "help") {
            Usage(stdout);
            return 0;
        }
        if (command == "--version") {
            std::printf("veltrano-tags %s\n", kVersionText);
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veltrano-tags: %s\n", e.what());
        return 2;
    }
    std::fprintf(stderr, "veltrano-tags: unknown command '%s'\n", command.c_str());
    Usage(stderr);
    return 2;
}
