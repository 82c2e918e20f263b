// TParallelLoader: loads the records of many files on a bounded pool of
// worker threads and hands them to its owner in list order.
//
// The list is a folder walk (TFolderWalk, on a thread of its own, so the
// first records arrive while the walk goes on) or a given list of files.
// Workers take the files in list order and load each through the load
// function, which must be safe to call from several threads at once. At
// most Window files are loaded ahead of the first one not yet taken by the
// owner: that bounds the records held, and on a network share it is the
// number of files in flight.
//
// The owner takes the records in order, either blocking in Next() (a
// command-line run), or from its event loop: the ready notice runs on the
// owner's thread, queued, whenever the next record is ready (one notice at a
// time), and takes what is ready with TakeReady().
//
// Stop() asks everything to end at once: the walk stops at its next entry,
// each worker after its current file, and Next() returns false. The
// destructor stops and joins every thread; no notice runs after it, even
// when a notice destroys the loader.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/core/audio_tag.h"

class QObject;

struct TLoadedFile {
    QString Path;
    TAudioTag Tag;
    bool Ok = false;
    QString Error;  // why the load failed
};

// Loads Path into Tag; on failure returns false with Error set.
using TLoadFunction = std::function<bool(const QString& Path, TAudioTag& Tag, QString& Error)>;

class TParallelLoader final {
public:
    // Walks the folder Root.
    TParallelLoader(const QString& Root, TLoadFunction Load, int Threads);
    // Loads Files, in this order.
    TParallelLoader(const QStringList& Files, TLoadFunction Load, int Threads);
    ~TParallelLoader();
    TParallelLoader(const TParallelLoader&) = delete;
    TParallelLoader& operator=(const TParallelLoader&) = delete;

    // The ready notice, run on Context's thread; set it before Start().
    void SetReadyNotice(QObject* Context, std::function<void()> OnReady);
    void Start();
    void Stop();

    // Blocks until the next record is ready; false once every record has
    // been taken, or after Stop().
    bool Next(TLoadedFile& Out);
    // Appends the records that are ready, in order, up to Max of them;
    // returns true once the list has ended and every record has been taken.
    bool TakeReady(std::vector<TLoadedFile>& Out, size_t Max);

    // Files in flight by default for files below Folder: one per core on a
    // local disk, where loading is processor work, and 32 on a network file
    // system (NFS, SMB, sshfs ...), where each load mostly waits on round
    // trips. The environment variable VELTRANO_LOAD_THREADS (1 to 64)
    // overrides it.
    static int DefaultThreads(const QString& Folder = QString());
    // Whether Folder lies on a network file system.
    static bool OnNetworkFileSystem(const QString& Folder);

private:
    struct TState;
    void Init(TLoadFunction Load, int Threads);
    void WorkerLoop();

    std::shared_ptr<TState> FState;
    int FWorkers = 1;  // loading threads Start() creates (the walk has one more)
    std::vector<std::thread> FThreads;
    bool FStarted = false;
};
