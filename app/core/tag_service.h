// ITagService: the only way the application reads and writes tags.
//
// LoadTag fills a TAudioTag from a file through a fresh tag container;
// SaveTag writes a record back into its file; the tag library writes every
// kind of tag the file holds as one transaction, so a save that fails or is
// killed leaves the file as it was, without a copy of the file beside it. Each
// call creates and releases its own container; the service keeps nothing
// between calls but the last error text and the transactional switch.
// Failures are a false result plus GetLastError(); no exception escapes.
// Not thread-safe: one caller thread, one call at a time, but for
// LoadTagConcurrently, which any number of threads may call at once.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "app/core/audio_tag.h"

class TTags;

// Saves that reach the disk together: the saves run through Run (on any
// thread) write their files without flushing them; Finish flushes them all
// at once, and only then are they saved. A file whose flush failed is left
// as it was before, as far as the library can put it back.
class ISaveBatch {
public:
    virtual ~ISaveBatch() = default;
    virtual bool Run(const std::function<bool()>& Save) = 0;
    // False when a flush failed: Failed lists those files, Error says why.
    virtual bool Finish(QStringList& Failed, QString& Error) = 0;
};
using ISaveBatchPtr = std::shared_ptr<ISaveBatch>;

class ITagService {
public:
    virtual ~ITagService() = default;
    // Resets Tag, then fills it from FileName. On failure Tag stays the empty record.
    virtual bool LoadTag(const QString& FileName, TAudioTag& Tag) = 0;
    // LoadTag for the loading pool: safe to call from several threads at
    // once (while no save runs); the error text goes to Error.
    virtual bool LoadTagConcurrently(const QString& FileName, TAudioTag& Tag, QString& Error) const = 0;
    // Writes Tag into the file Tag.FileName names.
    virtual bool SaveTag(const TAudioTag& Tag) = 0;
    // SaveTag for the saving pool: safe to call from several threads at once
    // for different files; the error text goes to Error.
    virtual bool SaveTagConcurrently(const TAudioTag& Tag, QString& Error) const = 0;
    // A batch for SaveTagConcurrently calls; none (each save flushes on its
    // own) when the service has no use for one.
    virtual ISaveBatchPtr BeginSaveBatch() const { return nullptr; }
    // Message of the last LoadTag / SaveTag; empty after a success.
    virtual QString GetLastError() const = 0;
    // The switch of SaveTag's protection, kept for callers (on by default).
    // A save is always one transaction of the tag library; the application
    // never turns the switch off.
    virtual void SetTransactional(bool Value) = 0;
    virtual bool GetTransactional() const = 0;
};

// Services are handed out by shared reference and live as long as their last holder.
using ITagServicePtr = std::shared_ptr<ITagService>;

class TTagService final : public ITagService {
public:
    TTagService() = default;

    bool LoadTag(const QString& FileName, TAudioTag& Tag) override;
    bool LoadTagConcurrently(const QString& FileName, TAudioTag& Tag, QString& Error) const override;
    bool SaveTag(const TAudioTag& Tag) override;
    bool SaveTagConcurrently(const TAudioTag& Tag, QString& Error) const override;
    ISaveBatchPtr BeginSaveBatch() const override;
    QString GetLastError() const override { return FLastError; }
    void SetTransactional(bool Value) override { FTransactional = Value; }
    bool GetTransactional() const override { return FTransactional; }

    // The read and write mappings between a container and a record.
    static void CopyTagsToRecord(const TTags& Tags, TAudioTag& Tag);
    static void CopyRecordToTags(TTags& Tags, const TAudioTag& Tag);

private:
    bool WriteTags(const TAudioTag& Tag) const;  // the write scope; throws on failure

    QString FLastError;
    bool FTransactional = true;
};

inline ITagServicePtr CreateTagService() { return std::make_shared<TTagService>(); }
