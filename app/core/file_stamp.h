// TFileStamp: what tells one state of a file on disk from a later one.
//
// A record remembers the stamp of its file when it was read; before a save
// writes the record back, the file is stamped again, and a different stamp
// means another program (a player counting plays, another tagger) wrote or
// replaced the file meanwhile, so the record read earlier must not simply be
// written over it. Size, modification time to the nanosecond, inode and
// device together catch a rewrite in place as well as a file replaced by a
// renamed copy.
#pragma once

#include <QString>
#include <cstdint>

struct TFileStamp {
    int64_t Size = -1;  // -1: not known (no file, or a record made up in code)
    int64_t MTimeSec = 0;
    int64_t MTimeNsec = 0;
    uint64_t Inode = 0;
    uint64_t Device = 0;

    bool IsKnown() const { return Size >= 0; }
    bool operator==(const TFileStamp& Other) const = default;
};

// The stamp of the file Path names now; an unknown stamp when it cannot be read.
TFileStamp ReadFileStamp(const QString& Path);
