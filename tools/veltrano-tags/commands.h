// Sub-commands of veltrano-tags. Each returns the process exit status.
#pragma once
#include <string>
#include <vector>

int CmdRead(const std::vector<std::string>& Args);
int CmdWrite(const std::vector<std::string>& Args);
int CmdStrip(const std::vector<std::string>& Args);
int CmdRecord(const std::vector<std::string>& Args);
int CmdScan(const std::vector<std::string>& Args);
int CmdFormats(const std::vector<std::string>& Args);
int CmdLookup(const std::vector<std::string>& Args);
