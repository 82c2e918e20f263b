// Streams, the byte reader/writer and text encodings.
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "tags/byte_io.h"
#include "tags/file_edit.h"
#include "tags/file_util.h"
#include "tags/stream.h"
#include "tags/text.h"
#include "tests/test_util.h"

TEST(ByteReader, ReadsIntegersAndFailsVisiblyPastTheEnd) {
    const std::vector<uint8_t> b = {0x01, 0x02, 0x03, 0x04, 0x7F, 0x7F, 0x7F, 0x7F, 0xAA};
    TByteReader r(b);
    EXPECT_EQ(r.u16be(), 0x0102);
    EXPECT_EQ(r.u16le(), 0x0403);
    EXPECT_EQ(r.syncsafe32(), 0x0FFFFFFFu);
    EXPECT_EQ(r.remaining(), 1u);
    EXPECT_THROW(r.u16be(), ETagFormat);
    EXPECT_EQ(r.u8(), 0xAA);
    EXPECT_THROW(r.u8(), ETagFormat);

    TByteReader whole(b);
    TByteReader child = whole.sub(4);
    EXPECT_EQ(child.u32be(), 0x01020304u);
    EXPECT_THROW(child.u8(), ETagFormat);  // the child ends where its structure ends
    EXPECT_EQ(whole.position(), 4u);
    EXPECT_THROW(whole.sub(6), ETagFormat);
    EXPECT_THROW(whole.skip(SIZE_MAX), ETagFormat);
}

TEST(ByteWriter, MirrorsTheReader) {
    TByteWriter w;
    w.u32be(0xDEADBEEF).u32le(7).syncsafe32(0x0FFFFFFF).u64be(1).str("ab");
    w.patchU32be(0, 1);
    TByteReader r(w.data());
    EXPECT_EQ(r.u32be(), 1u);
    EXPECT_EQ(r.u32le(), 7u);
    EXPECT_EQ(r.syncsafe32(), 0x0FFFFFFFu);
    EXPECT_EQ(r.u64be(), 1u);
    EXPECT_EQ(r.str(2), "ab");
    EXPECT_THROW(w.patchU32be(w.size() - 2, 0), ETagFormat);
}

TEST(Streams, MemoryAndReadOnlyMemory) {
    TMemoryStream m;
    EXPECT_EQ(m.Write("hello", 5), 5);
    EXPECT_EQ(m.Seek(-4), 0);
    EXPECT_EQ(m.Seek(99), 5);  // clamped to the size
    m.Seek(1);
    char buf[8] = {};
    EXPECT_EQ(m.ReadZeroFilled(buf, 8), 4);
    EXPECT_STREQ(buf, "ello");
    EXPECT_TRUE(m.SetSize(2));
    EXPECT_EQ(m.Position(), 2);

    const char block[] = "abc";
    TReadMemoryStream r(block, 3);
    EXPECT_EQ(r.Write("x", 1), 0);
    EXPECT_FALSE(r.SetSize(1));
    EXPECT_EQ(r.ReadBytes(100), testutil::Bytes("abc"));
    TReadMemoryStream none(nullptr, 10);
    EXPECT_EQ(none.Size(), 0);
}

TEST(Streams, BufferedStreamMatchesTheUnderlyingBytes) {
    // A mix of small and large reads, writes and seeks through the window must
    // leave exactly the bytes a direct stream would hold.
    std::vector<uint8_t> initial(5000);
    for (size_t i = 0; i < initial.size(); ++i) initial[i] = (uint8_t)(i * 7);
    TMemoryStream direct(initial), inner(initial);
    {
        TBufferedStream b(inner);
        auto both = [&](auto op) {
            op(direct);
            op(b);
        };
        uint8_t x[3000], y[3000];
        both([](TStream& s) { s.Seek(10); });
        EXPECT_EQ(direct.Read(x, 100), b.Read(y, 100));
        EXPECT_EQ(0, memcmp(x, y, 100));
        both([](TStream& s) { s.Write("abcdef", 6); });
        both([](TStream& s) { s.Seek(4990); });
        both([](TStream& s) { s.Write("0123456789ABCDEF", 16); });  // extends the size
        EXPECT_EQ(b.Size(), 5006);
        both([](TStream& s) { s.Seek(100); });
        EXPECT_EQ(direct.Read(x, 2000), b.Read(y, 2000));  // a large read goes straight through
        EXPECT_EQ(0, memcmp(x, y, 2000));
        std::vector<uint8_t> big(1500, 0x5A);
        both([&](TStream& s) {
            s.Seek(50);
            s.Write(big.data(), (int64_t)big.size());
        });
        both([](TStream& s) { s.Seek(12); });
        EXPECT_EQ(direct.Read(x, 10), b.Read(y, 10));  // reads its own pending writes
        EXPECT_EQ(0, memcmp(x, y, 10));
        EXPECT_EQ(b.Seek(-5), 0);
    }
    EXPECT_EQ(inner.Data(), direct.Data());
}

// An inner stream that refuses writes: the bytes held in the window are lost
// when it moves on, and the writes that follow say so instead of reporting
// success until a Flush that a caller might never make.
TEST(Streams, BufferedStreamReportsAFailedInnerWriteAtTheNextWrite) {
    const std::vector<uint8_t> data(4000, 7);
    for (const bool large : {false, true}) {
        SCOPED_TRACE(large ? "large write" : "small write");
        TReadMemoryStream inner(data.data(), (int64_t)data.size());
        TBufferedStream b(inner);
        EXPECT_TRUE(b.WriteExact(testutil::Bytes("pending")));  // held in the window
        b.Seek(3000);                                           // leaves it: the inner write fails
        const std::vector<uint8_t> more(large ? 2000 : 10, 1);
        EXPECT_FALSE(b.WriteExact(more));
        EXPECT_FALSE(b.Flush());
    }
}

TEST(Streams, FileStreamOpenModes) {
    testutil::TTempDir dir;
    int err = 0;
    EXPECT_EQ(TFileStream::Open(dir.file("missing"), TFileMode::fmOpenReadShared, &err), nullptr);
    EXPECT_EQ(err, ENOENT);
    EXPECT_EQ(TFileStream::Open(dir.path(), TFileMode::fmOpenReadShared, &err), nullptr);
    EXPECT_EQ(err, EISDIR);
    auto f = TFileStream::Open(dir.file("a"), TFileMode::fmCreateExclusive, &err);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->WriteExact(testutil::Bytes("12345")));
    EXPECT_EQ(TFileStream::Open(dir.file("a"), TFileMode::fmCreateExclusive, &err), nullptr);
    EXPECT_EQ(err, EEXIST);
    EXPECT_TRUE(f->SetSize(2));
    EXPECT_EQ(f->Position(), 2);
    f.reset();
    EXPECT_EQ(testutil::ReadFile(dir.file("a")), testutil::Bytes("12"));
}

// A kept modification time comes back exactly, also one before 1970 (old
// archives and broken clocks leave such times behind).
TEST(FileUtil, ModificationTimeRoundTrips) {
    testutil::TTempDir dir;
    const std::string path = dir.file("a");
    testutil::WriteFile(path, "x");
    for (int64_t t :
         {INT64_C(1700000000123456789), INT64_C(0), INT64_C(-1), INT64_C(-1500000000), INT64_C(-86400000000001)}) {
        SCOPED_TRACE(t);
        EXPECT_TRUE(fileutil::SetModTime(path, t));
        EXPECT_EQ(fileutil::GetModTime(path), t);
    }
}

TEST(FileEdit, ReplacesARegionInPlaceOrThroughANewFile) {
    testutil::TTempDir dir;
    const std::string path = dir.file("f.bin");
    testutil::WriteFile(path, "SIZE:HEADER-audio-bytes");
    auto edit = [](int64_t Pos, int64_t OldLen, const std::string& Bytes) {
        TFileEdit e;
        e.Pos = Pos;
        e.OldLen = OldLen;
        e.Bytes = testutil::Bytes(Bytes);
        return e;
    };
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ASSERT_EQ(ApplyEditToFile(path, edit(5, 6, "header")), TEditResult::Success);
    struct stat inPlace {};
    ASSERT_EQ(::stat(path.c_str(), &inPlace), 0);
    EXPECT_EQ(inPlace.st_ino, before.st_ino);  // same length: written in place
    EXPECT_EQ(testutil::ReadFile(path), testutil::Bytes("SIZE:header-audio-bytes"));

    TFileEdit longer = edit(5, 6, "a much longer tag");
    longer.Patches.push_back({0, testutil::Bytes("size")});
    ASSERT_EQ(ApplyEditToFile(path, longer), TEditResult::Success);
    EXPECT_EQ(testutil::ReadFile(path), testutil::Bytes("size:a much longer tag-audio-bytes"));
    EXPECT_FALSE(fileutil::FileExists(path + ".tmp"));

    // A stale temporary file is neither overwritten nor removed, and does not block the edit.
    testutil::WriteFile(path + ".tmp", "someone else's");
    testutil::WriteFile(path + ".tmp.1", "and another");
    EXPECT_EQ(ApplyEditToFile(path, edit(0, 4, "S")), TEditResult::Success);
    EXPECT_EQ(testutil::ReadFile(path), testutil::Bytes("S:a much longer tag-audio-bytes"));
    EXPECT_EQ(testutil::ReadFile(path + ".tmp"), testutil::Bytes("someone else's"));
    EXPECT_EQ(testutil::ReadFile(path + ".tmp.1"), testutil::Bytes("and another"));
    EXPECT_FALSE(fileutil::FileExists(path + ".tmp.2"));
    EXPECT_EQ(ApplyEditToFile(path, edit(30, 50, "x")), TEditResult::BadRange);
    EXPECT_EQ(ApplyEditToFile(dir.file("missing"), edit(0, 0, "x")), TEditResult::OpenFailed);

    // The same edits on a stream.
    TMemoryStream m(testutil::Bytes("0123456789"));
    EXPECT_EQ(ApplyEditToStream(m, edit(2, 3, "ab")), TEditResult::Success);
    EXPECT_EQ(m.Data(), testutil::Bytes("01ab56789"));
    EXPECT_EQ(ApplyEditToStream(m, edit(8, 5, "")), TEditResult::BadRange);
}

namespace {

// A stream whose FailAt-th write call stops half-way (an I/O error); the
// writes after it work again.
class TOneFailedWrite final : public TStream {
public:
    TOneFailedWrite(std::vector<uint8_t> Data, int FailAt) : FInner(std::move(Data)), FFailAt(FailAt) {}
    int64_t Read(void* B, int64_t N) override { return FInner.Read(B, N); }
    int64_t Write(const void* B, int64_t N) override {
        if (++FCalls == FFailAt) return FInner.Write(B, N / 2);
        return FInner.Write(B, N);
    }
    int64_t Seek(int64_t P) override { return FInner.Seek(P); }
    int64_t Position() const override { return FInner.Position(); }
    int64_t Size() const override { return FInner.Size(); }
    bool SetSize(int64_t N) override { return FInner.SetSize(N); }
    const std::vector<uint8_t>& Data() const { return FInner.Data(); }
    int Calls() const { return FCalls; }

private:
    TMemoryStream FInner;
    int FFailAt, FCalls = 0;
};

}  // namespace

// Whichever write of an edit fails (the region, the moved tail, a patch),
// the stream reads as before afterwards.
TEST(FileEdit, AFailedStreamEditPutsEveryByteBack) {
    const std::vector<uint8_t> Before = testutil::Bytes("SIZE:HEADER-audio-bytes");
    for (const char* New : {"header", "a much longer header", "h"}) {
        TFileEdit e;
        e.Pos = 5;
        e.OldLen = 6;
        e.Bytes = testutil::Bytes(New);
        e.Patches.push_back({0, testutil::Bytes("size")});
        TOneFailedWrite Probe(Before, 0);
        ASSERT_EQ(ApplyEditToStream(Probe, e), TEditResult::Success);
        for (int FailAt = 1; FailAt <= Probe.Calls(); ++FailAt) {
            SCOPED_TRACE(std::string(New) + " write " + std::to_string(FailAt));
            TOneFailedWrite S(Before, FailAt);
            EXPECT_EQ(ApplyEditToStream(S, e), TEditResult::WriteFailed);
            EXPECT_EQ(S.Data(), Before);
        }
    }
}

namespace {

TFileEdit MakeEdit(int64_t Pos, int64_t OldLen, const std::string& Bytes, std::vector<TFilePatch> Patches = {}) {
    TFileEdit e;
    e.Pos = Pos;
    e.OldLen = OldLen;
    e.Bytes = testutil::Bytes(Bytes);
    e.Patches = std::move(Patches);
    return e;
}

// Runs Edits in a transaction in a child process that dies before the
// commit, as a killed save does: the file holds the edits, and the journal
// beside it what they overwrote.
void CrashAfter(const std::string& Path, const std::vector<TFileEdit>& Edits) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TSaveTransaction t(Path);
        for (const auto& e : Edits)
            if (t.Apply(e) != TEditResult::Success) ::_exit(1);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

ino_t InodeOf(const std::string& Path) {
    struct stat st {};
    ::stat(Path.c_str(), &st);
    return st.st_ino;
}

}  // namespace

// Edits made in place, the last of them cut short, are undone by the next
// load from the journal they left; a journal that no longer fits the file
// (another program changed it since, or the file was replaced) is dropped
// and the file left alone.
TEST(SaveTransaction, AnInterruptedSaveIsUndoneAtTheNextLoad) {
    testutil::TTempDir dir;
    const std::string path = dir.file("f.bin");
    const std::string before = "SIZE:HEADER-audio-bytes|TRAILER";
    const std::vector<TFileEdit> edits = {
        MakeEdit(5, 6, "header"),                                             // same length, in place
        MakeEdit(24, 7, "a longer trailer", {{0, testutil::Bytes("size")}}),  // a trailer that grows
        MakeEdit(24, 16, "t"),                                                // and shrinks
    };
    testutil::WriteFile(path, before);
    const ino_t inode = InodeOf(path);
    CrashAfter(path, edits);
    EXPECT_EQ(testutil::ReadFile(path), testutil::Bytes("size:header-audio-bytes|t"));
    // The journal holds bytes of the file: it is open to its owner alone.
    ASSERT_TRUE(fileutil::FileExists(JournalNameOf(path)));
    EXPECT_EQ(std::filesystem::status(JournalNameOf(path)).permissions() & std::filesystem::perms::mask,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(RecoverInterruptedSave(path), TRecovery::RolledBack);
    EXPECT_EQ(testutil::ReadFile(path), testutil::Bytes(before));
    EXPECT_FALSE(fileutil::FileExists(JournalNameOf(path)));
    EXPECT_EQ(InodeOf(path), inode);
    EXPECT_EQ(RecoverInterruptedSave(path), TRecovery::NothingToDo);

    // Another program wrote the file after the crash.
    CrashAfter(path, edits);
    testutil::WriteFile(path, "someone else's tags-audio-bytes");
    EXPECT_EQ(RecoverInterruptedSave(path), TRecovery::Discarded);
    EXPECT_EQ(testutil::ReadFile(path), testutil::Bytes("someone else's tags-audio-bytes"));
    EXPECT_FALSE(fileutil::FileExists(JournalNameOf(path)));

    // The file was replaced by another one (same bytes, another inode).
    testutil::WriteFile(path, before);
    CrashAfter(path, edits);
    const std::vector<uint8_t> edited = testutil::ReadFile(path);
    testutil::WriteFile(dir.file("copy"), edited);
    std::filesystem::rename(dir.file("copy"), path);
    EXPECT_EQ(RecoverInterruptedSave(path), TRecovery::Discarded);
    EXPECT_EQ(testutil::ReadFile(path), edited);
}

// Several edits of one save land together or not at all: one that fails
// takes back the ones before it, also when one of them moved the audio into
// a new file; nothing is left beside the file either way.
TEST(SaveTransaction, EditsLandTogetherOrNotAtAll) {
    testutil::TTempDir dir;
    const std::string path = dir.file("f.bin");
    const std::string audio(InPlaceTailLimit + 10, 'a');
    const std::string before = "HEAD" + audio + "TAIL";
    testutil::WriteFile(path, before);
    const int64_t size = (int64_t)before.size();
    auto listing = [&] {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++n;
        return n;
    };
    {
        TSaveTransaction t(path);
        ASSERT_EQ(t.Apply(MakeEdit(size - 4, 4, "tail")), TEditResult::Success);       // in place
        ASSERT_EQ(t.Apply(MakeEdit(0, 4, "A LONGER HEAD")), TEditResult::Success);     // moves the audio
        ASSERT_EQ(t.Apply(MakeEdit(size + 9 - 4, 4, "TAIL!")), TEditResult::Success);  // into the new file
        EXPECT_EQ(fileutil::FileSize(path), size + 10);                                // the writers see the new file
        EXPECT_EQ(t.Apply(MakeEdit(size + 100, 1, "x")), TEditResult::BadRange);
        EXPECT_FALSE(t.Commit());
    }
    EXPECT_EQ(testutil::ReadFile(path), testutil::Bytes(before));
    EXPECT_EQ(listing(), 1u);
    {
        TSaveTransaction t(path);
        ASSERT_EQ(t.Apply(MakeEdit(size - 4, 4, "tail")), TEditResult::Success);
        ASSERT_EQ(t.Apply(MakeEdit(0, 4, "A LONGER HEAD")), TEditResult::Success);
        ASSERT_EQ(t.Apply(MakeEdit(size + 9 - 4, 4, "TAIL!")), TEditResult::Success);
        EXPECT_TRUE(t.Commit());
    }
    EXPECT_EQ(testutil::ReadFile(path), testutil::Bytes("A LONGER HEAD" + audio + "TAIL!"));
    EXPECT_EQ(listing(), 1u);
    // A transaction begun inside another for the same file joins it.
    {
        TSaveTransaction outer(path);
        ASSERT_EQ(ApplyEditToFile(path, MakeEdit(0, 1, "a")), TEditResult::Success);
        outer.Rollback();
    }
    EXPECT_EQ(testutil::ReadFile(path), testutil::Bytes("A LONGER HEAD" + audio + "TAIL!"));
}

// The writers of one save read the file through one handle the save holds:
// each reader sees the edits made before it (bytes and size), a reader
// closed early does not close the handle for the next, and after the save
// the file opens on its own again.
TEST(SaveTransaction, ReadersInsideASaveSeeEveryEditBeforeThem) {
    testutil::TTempDir dir;
    const std::string path = dir.file("f.bin");
    testutil::WriteFile(path, "HEAD-body-TAIL");
    auto readAll = [&] {
        auto f = TFileStream::Open(path, TFileMode::fmOpenReadShared);
        EXPECT_TRUE(f);
        if (!f) return std::string();
        std::string text((size_t)f->Size(), '\0');
        f->Seek(0);
        text.resize((size_t)f->Read(text.data(), (int64_t)text.size()));
        return text;
    };
    {
        TSaveTransaction t(path);
        EXPECT_TRUE(fileutil::FileExists(path));
        EXPECT_FALSE(fileutil::IsReadOnly(path));
        EXPECT_EQ(readAll(), "HEAD-body-TAIL");
        ASSERT_EQ(t.Apply(MakeEdit(10, 4, "TAIL, LONGER")), TEditResult::Success);  // grows at the end
        EXPECT_EQ(readAll(), "HEAD-body-TAIL, LONGER");
        ASSERT_EQ(t.Apply(MakeEdit(0, 4, "head")), TEditResult::Success);
        EXPECT_EQ(readAll(), "head-body-TAIL, LONGER");
        ASSERT_EQ(t.Apply(MakeEdit(10, 12, "T")), TEditResult::Success);  // shrinks
        EXPECT_EQ(readAll(), "head-body-T");
        t.Rollback();
        EXPECT_EQ(readAll(), "HEAD-body-TAIL");
    }
    EXPECT_EQ(readAll(), "HEAD-body-TAIL");
    // A file the save has not found yet is looked for again, not remembered
    // as missing: a writer may create it.
    const std::string fresh = dir.file("new.bin");
    TSaveTransaction t(fresh);
    EXPECT_FALSE(fileutil::FileExists(fresh));
    testutil::WriteFile(fresh, "x");
    EXPECT_TRUE(fileutil::FileExists(fresh));
    EXPECT_EQ(fileutil::FileSize(fresh), 1);
}

TEST(Text, EncodingsRoundTrip) {
    EXPECT_EQ(text::AnsiToUtf8("\xE9\xDF\x80\x9F"), "éß€Ÿ");
    EXPECT_EQ(text::Utf8ToAnsi("éß€Ÿ"), "\xE9\xDF\x80\x9F");
    EXPECT_EQ(text::Utf8ToAnsi("Ж日"), "??");
    EXPECT_EQ(text::Latin1ToUtf8("\x80"), "\xC2\x80");
    EXPECT_TRUE(text::FitsAnsi("café €"));
    EXPECT_FALSE(text::FitsLatin1("€"));
    const std::string mixed = "Ωmega 日本 🎵";
    for (bool be : {false, true}) {
        auto bytes = text::Utf8ToUtf16(mixed, be, true);
        EXPECT_EQ(text::Utf16BomToUtf8(bytes, !be), mixed);
    }
    // An unpaired surrogate and an odd trailing byte do not break decoding.
    EXPECT_EQ(text::Utf16ToUtf8(std::vector<uint8_t>{0x00, 0xD8, 0x41, 0x00, 0x42}, false),
              "\xEF\xBF\xBD"
              "A");
    EXPECT_FALSE(text::IsValidUtf8("\xC3"));
    EXPECT_TRUE(text::IsValidUtf8("\xEF\xBF\xBD ok"));
    EXPECT_EQ(text::Utf8OrAnsi("\xE9t\xE9"), "été");
    EXPECT_EQ(text::Utf8Truncate("aé", 2), "a");
}

TEST(Text, TrimCaseAndIntegers) {
    EXPECT_EQ(text::Trim(std::string("\x01 a b\t\r\n ", 9)), "a b");
    EXPECT_EQ(text::Trim(std::string("\0x\0", 3)), "x");
    EXPECT_TRUE(text::SameText("Title", "TITLE"));
    EXPECT_FALSE(text::SameText("TITLE", "TITLES"));
    EXPECT_EQ(text::ParseInt(" 42"), 42);
    EXPECT_EQ(text::ParseInt("-7"), -7);
    EXPECT_FALSE(text::ParseInt("3/12").has_value());
    EXPECT_FALSE(text::ParseInt("").has_value());
    EXPECT_FALSE(text::ParseInt("99999999999999999999").has_value());
}

namespace {

// Counts the flushes of the save path and fails them with FailWith.
std::atomic<int> JournalSyncs, FileSyncs, FileSystemSyncs, FailWith;
int CountSync(TSaveSync What) {
    (What == TSaveSync::Journal ? JournalSyncs : What == TSaveSync::File ? FileSyncs : FileSystemSyncs)++;
    return FailWith;
}
struct TCountedSyncs {
    TCountedSyncs() {
        JournalSyncs = FileSyncs = FileSystemSyncs = FailWith = 0;
        SetSaveSyncHookForTesting(CountSync);
    }
    ~TCountedSyncs() {
        SetSaveSyncHookForTesting(nullptr);
        SetSaveDurability(TSaveDurability::KillSafe);
    }
};

bool Save(const std::string& Path, const std::vector<TFileEdit>& Edits) {
    TSaveTransaction t(Path);
    for (const auto& e : Edits)
        if (t.Apply(e) != TEditResult::Success) return false;
    return t.Commit();
}

}  // namespace

// An in-place save flushes the file once; the journal reaches the disk
// before the file is touched only in the strict mode.
TEST(SaveTransaction, OnlyTheStrictModeFlushesTheJournal) {
    testutil::TTempDir dir;
    const std::string path = dir.file("f.bin");
    testutil::WriteFile(path, "HEADER-audio|TRAILER");
    TCountedSyncs counted;
    ASSERT_TRUE(Save(path, {MakeEdit(0, 6, "header"), MakeEdit(13, 7, "trailer")}));
    EXPECT_EQ(JournalSyncs, 0);
    EXPECT_EQ(FileSyncs, 1);
    SetSaveDurability(TSaveDurability::Strict);
    ASSERT_TRUE(Save(path, {MakeEdit(0, 6, "HEADER"), MakeEdit(13, 7, "TRAILER!")}));
    EXPECT_EQ(JournalSyncs, 2);
    EXPECT_EQ(FileSyncs, 2);
    EXPECT_EQ(testutil::ReadFile(path), testutil::Bytes("HEADER-audio|TRAILER!"));
    EXPECT_FALSE(fileutil::FileExists(JournalNameOf(path)));
}

// Saves of many threads in one batch flush nothing on their way; the batch
// flushes the file system once (it holds more than a few files).
TEST(SaveBatch, SavesOfManyThreadsReachTheDiskOnceAtTheEnd) {
    testutil::TTempDir dir;
    const std::string audio(InPlaceTailLimit + 10, 'a');
    std::vector<std::string> paths;
    for (int i = 0; i < 48; ++i) {
        paths.push_back(dir.file("f" + std::to_string(i)));
        testutil::WriteFile(paths.back(), "HEAD" + audio + "TAIL");
    }
    TCountedSyncs counted;
    TSaveBatch batch;
    std::atomic<size_t> next = 0, failed = 0;
    std::vector<std::thread> pool;
    for (int t = 0; t < 8; ++t)
        pool.emplace_back([&] {
            TSaveBatch::TJoin join(batch);
            for (size_t i; (i = next++) < paths.size();) {
                // Every third file moves its audio into a new file.
                const bool rewrite = i % 3 == 0;
                const int64_t tail = (int64_t)audio.size() + 4;
                if (!Save(paths[i], {MakeEdit(tail, 4, "tail!"), MakeEdit(0, 4, rewrite ? "LONGER HEAD" : "head")}))
                    ++failed;
            }
        });
    for (auto& t : pool) t.join();
    EXPECT_EQ(failed, 0u);
    EXPECT_EQ(FileSyncs + JournalSyncs + FileSystemSyncs, 0);
    // A committed save's journal is gone at once (kill-safe mode): nothing
    // beside the files waits for the flush.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), (long)paths.size());
    EXPECT_EQ(batch.Finish(), 0);
    EXPECT_EQ(FileSystemSyncs, 1);
    EXPECT_EQ(FileSyncs, 0);
    for (size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(testutil::ReadFile(paths[i]),
                  testutil::Bytes((i % 3 == 0 ? "LONGER HEAD" : "head") + audio + "tail!"));
        EXPECT_FALSE(fileutil::FileExists(JournalNameOf(paths[i])));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), (long)paths.size());
}

// A file saved twice in a batch, the batch cut short before it finished:
// the next load finds the file as its last committed save left it (kill-safe
// mode) or as it was before the batch (strict mode, unless the last save
// replaced the file); never a mix. A save that fails in the batch takes back
// its own edits only.
void SavedTwiceAndKilled() {
    testutil::TTempDir dir;
    const std::string path = dir.file("f.bin");
    const std::string audio(InPlaceTailLimit + 10, 'a');
    const std::string before = "HEAD" + audio + "TAIL";
    const int64_t tail = (int64_t)audio.size() + 4;
    struct TCase {
        const char* Name;
        std::vector<std::vector<TFileEdit>> Saves;  // the last one fails when it ends in a bad edit
        bool Finish;
        std::string After;  // the file after recovery
    };
    // In the strict mode a kill before the batch's flush takes every save of
    // the batch back; in the kill-safe mode a committed save stays.
    const bool strict = SaveDurability() == TSaveDurability::Strict;
    const std::vector<TCase> cases = {
        {"two in-place saves, killed",
         {{MakeEdit(0, 4, "head")}, {MakeEdit(tail, 4, "a longer tail")}},
         false,
         strict ? before : "head" + audio + "a longer tail"},
        {"the second fails, killed",
         {{MakeEdit(0, 4, "head")}, {MakeEdit(tail, 4, "tail"), MakeEdit(1 << 30, 1, "x")}},
         false,
         strict ? before : "head" + audio + "TAIL"},
        {"the second moves the audio, killed",
         {{MakeEdit(tail, 4, "tail")}, {MakeEdit(0, 4, "A LONGER HEAD")}},
         false,
         "A LONGER HEAD" + audio + "tail"},
        {"the second fails, finished",
         {{MakeEdit(0, 4, "head")}, {MakeEdit(tail, 4, "tail"), MakeEdit(1 << 30, 1, "x")}},
         true,
         "head" + audio + "TAIL"},
        {"two in-place saves, finished",
         {{MakeEdit(0, 4, "head")}, {MakeEdit(tail, 4, "a longer tail")}},
         true,
         "head" + audio + "a longer tail"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        testutil::WriteFile(path, before);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TSaveBatch batch;
            for (size_t i = 0; i < c.Saves.size(); ++i) {
                const bool expected = i + 1 < c.Saves.size() || c.Saves[i].back().Pos < (1 << 30);
                if (Save(path, c.Saves[i]) != expected) ::_exit(1);
            }
            if (c.Finish && batch.Finish() != 0) ::_exit(2);
            ::_exit(0);  // the batch is abandoned as a kill leaves it
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        RecoverInterruptedSave(path);
        EXPECT_EQ(testutil::ReadFile(path), testutil::Bytes(c.After));
        EXPECT_FALSE(fileutil::FileExists(JournalNameOf(path)));
    }
}

TEST(SaveBatch, AFileSavedTwiceAndKilledBeforeTheEndIsWhole) {
    {
        SCOPED_TRACE("kill-safe");
        SavedTwiceAndKilled();
    }
    SCOPED_TRACE("strict");
    TCountedSyncs restores;  // the kill-safe mode again at the end
    SetSaveDurability(TSaveDurability::Strict);
    SavedTwiceAndKilled();
}

// A flush that fails is reported with the files it left unsaved, and their
// in-place edits are taken back: from the journals in the strict mode, from
// memory in the kill-safe mode (the journals went at each commit). A later
// batch works again.
void FailedFlush(bool Strict) {
    testutil::TTempDir dir;
    const std::string path = dir.file("f.bin");
    testutil::WriteFile(path, "HEADER-audio|TRAILER");
    // Enough files for the batch to flush the file system as a whole.
    std::vector<std::string> others;
    for (int i = 0; i < 20; ++i) {
        others.push_back(dir.file("other" + std::to_string(i)));
        testutil::WriteFile(others.back(), "HEADER-audio|TRAILER");
    }
    TCountedSyncs counted;
    if (Strict) SetSaveDurability(TSaveDurability::Strict);
    const int journalSyncs = Strict ? 22 : 0;  // each save's journal, in the strict mode
    {
        TSaveBatch batch;
        ASSERT_TRUE(Save(path, {MakeEdit(0, 6, "header")}));
        ASSERT_TRUE(Save(path, {MakeEdit(13, 7, "trailer")}));
        for (const auto& o : others) ASSERT_TRUE(Save(o, {MakeEdit(0, 6, "header")}));
        FailWith = EIO;
        EXPECT_EQ(batch.Finish(), EIO);
        std::vector<std::string> all = {path};
        all.insert(all.end(), others.begin(), others.end());
        EXPECT_EQ(batch.FailedFiles(), all);
        EXPECT_EQ(FileSystemSyncs, 1);
        EXPECT_EQ(FileSyncs, 21);  // each file alone was tried too
        for (const auto& f : all) {
            EXPECT_EQ(testutil::ReadFile(f), testutil::Bytes("HEADER-audio|TRAILER"));
            EXPECT_FALSE(fileutil::FileExists(JournalNameOf(f)));
        }
        EXPECT_EQ(JournalSyncs, journalSyncs);
        FailWith = 0;
        ASSERT_TRUE(Save(path, {MakeEdit(0, 6, "Header")}));
        EXPECT_EQ(batch.Finish(), 0);
        EXPECT_TRUE(batch.FailedFiles().empty());
        EXPECT_EQ(FileSystemSyncs, 1);  // a batch of one file flushes that file
        EXPECT_EQ(FileSyncs, 22);
    }
    EXPECT_EQ(testutil::ReadFile(path), testutil::Bytes("Header-audio|TRAILER"));
}

TEST(SaveBatch, AFailedFlushIsReportedAndTakesTheSavesBack) {
    {
        SCOPED_TRACE("kill-safe");
        FailedFlush(false);
    }
    SCOPED_TRACE("strict");
    FailedFlush(true);
}
