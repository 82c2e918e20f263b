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
int CmdGuess(const std::vector<std::string>& Args);
int CmdExport(const std::vector<std::string>& Args);
int CmdPictures(const std::vector<std::string>& Args);

// Takes "-j N" (also "-jN" and "--jobs N") out of Args: the number of files
// loaded at once, 1 to 64. Returns false with Error set when it is malformed;
// Jobs keeps its value when the option is absent.
bool TakeJobsOption(std::vector<std::string>& Args, int& Jobs, std::string& Error);
// The number of files loaded at once when -j is not given, for files at
// Path (as the window chooses it).
int DefaultJobs(const std::string& Path);
