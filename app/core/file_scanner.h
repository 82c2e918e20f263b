// TFileScanner: walks a folder tree on a worker thread and hands every audio
// file it finds to its owner's thread, one at a time.
//
// The scanner object is created, started, stopped, waited for and destroyed
// on one thread, the owner's (the user-interface thread). The handlers run
// on that thread, synchronously: the worker waits until each has returned,
// so the owner's data needs no locks. The worker's only shared state is its
// stop flag and the hand-over slot.
//
// Walk: depth first, each folder's files and subfolders together in natural
// name order (digit runs compared as numbers, letters by the user's locale),
// hidden entries included; a subfolder's files are handed over before the
// remaining entries of its parent. A folder that cannot be opened is skipped
// silently. Symbolic links to folders are followed, but each real folder
// (device and inode) is walked at most once per scan: that breaks link
// cycles and keeps two links to one folder from listing its files twice.
// Links to files count as files; dangling links are skipped.
//
// Stopping: Terminate() sets the stop flag, read before each folder and each
// entry; the finished notice is still handed over. WaitFor() runs any
// hand-over the worker is blocked in while it waits, so the owner never
// deadlocks waiting for a worker that waits for it; a late progress call and
// the finished notice can therefore still arrive during WaitFor(). The
// destructor stops and waits for a running worker.
#pragma once

#include <QCollator>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <functional>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>
#include <set>
#include <sys/types.h>
#include <utility>

// The walk itself, on whichever thread calls Walk: every audio file below a
// folder in the order described above, handed to OnFile as it is found,
// until Stop is set. One object per scan (it remembers the folders walked).
// With ListThreads above one, that many threads read folder listings ahead
// of the walk (every subfolder of a folder as soon as the folder is read),
// which on a network share hides the round trip of each folder; the order
// of the files is the same.
struct TDirEntry {
    QString Name;
    QByteArray NativeName;
    bool IsDir = false;   // a folder, or a link to one
    bool IsFile = false;  // a regular file, or a link to one
};

class TFolderWalk {
public:
    TFolderWalk(const std::atomic<bool>& Stop, std::function<void(const QString& APath)> OnFile, int ListThreads = 1);
    ~TFolderWalk();
    TFolderWalk(const TFolderWalk&) = delete;
    TFolderWalk& operator=(const TFolderWalk&) = delete;
    void Walk(const QString& Dir);

private:
    struct TListing;
    std::shared_ptr<TListing> Request(const QByteArray& NativePath);
    void List(const QByteArray& NativePath, TListing& Listing);
    void ListLoop();
    void WalkListed(const QString& Path, const std::shared_ptr<TListing>& Listing);

    const std::atomic<bool>& FStop;
    std::function<void(const QString&)> FOnFile;
    QCollator FCollator;  // the user's locale, numbers by value
    // Real folders walked (device, inode): the cycle guard.
    std::set<std::pair<dev_t, ino_t>> FVisited;
    // Listings asked for and not yet taken by a listing thread.
    std::mutex FQueueMutex;
    std::condition_variable FQueueChanged;
    std::deque<std::pair<QByteArray, std::shared_ptr<TListing>>> FQueue;
    bool FQuit = false;
    std::vector<std::thread> FListers;
};

using TScanProgressEvent = std::function<void(const QString& AFileName)>;
using TScanFinishedEvent = std::function<void()>;

class TFileScanner final : public QThread {
    Q_OBJECT
public:
    // Created suspended: nothing happens until Start().
    TFileScanner(const QString& ARoot, TScanProgressEvent AOnProgress, TScanFinishedEvent AOnFinished,
                 QObject* AParent = nullptr);
    ~TFileScanner() override;

    void Start();
    // Asks the walk to stop at the next folder or entry.
    void Terminate();
    bool Terminated() const;
    // Blocks until the worker has ended, running its pending hand-overs meanwhile.
    void WaitFor();
    // Blocks until the worker waits in a hand-over the owner has not taken
    // yet, or has ended: the point where the owner holds the walk up.
    void WaitUntilHandOverPending();

    // Full paths of the audio files found, in the order found. Read it only
    // after WaitFor() (or from a handler).
    const QStringList& Files() const { return FFiles; }

    // ".mp3", ".flac", ".ogg", ".ape", ".m4a", ".wma", ".wav" and the other
    // files the tag library reads (".opus", ".oga", ".wv", ".mpc", ".aif",
    // ".aiff", ".aifc", ".dsf", ".dff", ".m4b"), compared after lower-casing
    // the extension (from the last dot of the name).
    static bool IsSupportedAudioFile(const QString& Name);
    // Those extensions, lower case with their dot.
    static QStringList SupportedExtensions();

protected:
    void run() override;

private:
    struct THandOverState;
    void DoScan(const QString& Dir);
    void DoProgress(const QString& Path);
    void DoFinished();
    // Runs Fn on the owner's thread and waits until it has returned.
    void RunOnOwner(std::function<void()> Fn);
    static void ServicePending(const std::shared_ptr<THandOverState>& State);

    QString FRoot;
    QStringList FFiles;
    TScanProgressEvent FOnProgress;
    TScanFinishedEvent FOnFinished;
    std::shared_ptr<THandOverState> FState;
    QObject* FRelay;  // owner-thread receiver of the queued hand-over calls
};
