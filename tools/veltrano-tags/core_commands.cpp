// record and scan: the tag service's view of files (arrives with the tag service).
#include <cstdio>
#include "tools/veltrano-tags/commands.h"

int CmdRecord(const std::vector<std::string>&) { std::fprintf(stderr, "veltrano-tags: record is not available yet\n"); return 2; }
int CmdScan(const std::vector<std::string>&) { std::fprintf(stderr, "veltrano-tags: scan is not available yet\n"); return 2; }
