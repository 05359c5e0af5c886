#pragma once
// The open measurement record file: a plain sequence of 16-bit little-endian stream
// words, appended run by run by the processing thread and opened, cleared and
// closed by the user-interface thread.
//
// One lock keeps every append and flush apart from every open, clear and close, so
// the file is never closed or replaced under a write.
//
// Runs are gathered in a 1 MiB buffer, allocated once (on a huge page), and written with one
// pwrite(2) when it reaches the next 1 MiB boundary of the file, when its oldest run
// has waited kMaxHoldMs (then up to the last page boundary), on an explicit Flush
// (the processing thread's idle turn) and before every close, open and clear. The
// kernel takes large, page-aligned pieces about twice as fast as the processing
// thread's runs of a few kilobytes at arbitrary offsets.
//
// Written bytes bypass the page cache where the file system allows (a second descriptor with
// O_DIRECT): a piece that starts and ends on page boundaries goes straight from the
// page-aligned buffer to the medium, the rest (a file's unaligned start, a flushed tail)
// through the cache. Streaming 10 MB/s through the cache cost about three times the CPU
// (a copy into newly allocated cache pages, then their writeback), and the once-a-second
// sync below waits for the medium either way.
//
// Durability: written bytes are fdatasync'ed once the oldest of them has waited
// kSyncIntervalMs (checked at every append and every idle flush) and before every
// close, so a power cut loses at most about a second of what was written. The wait
// counts from the first write after a sync, not from the sync: data that comes after
// a pause (or long after the open) is not synced the moment it is written.
//
// Counting: every accepted run is counted at once (+bytes); when a write fails, the
// file is cut back to its last whole write and the runs that did not reach it are
// taken back (-bytes), so the count ends equal to the file.
//
// Lock order: the counting callbacks run while this unit's lock is held and may take
// the model's file-size lock; nothing takes this lock while holding that one.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/HugePageMemory.h"

namespace rollmode::core {

class TRecordFileLyraRM {
public:
    // NotRegular: the name leads to something other than a regular file (a device, a
    // FIFO, a folder); nothing is opened, written or cut.
    enum class OpenOutcome { OpenedExisting, Created, NotRegular, Failed };
    enum class AppendOutcome { Written, NotOpen, Failed };

    static constexpr std::size_t kBufferBytes = 1u << 20;
    static constexpr int64_t kMaxHoldMs = 50;
    static constexpr uint64_t kPageBytes = 4096;
    static constexpr int64_t kSyncIntervalMs = 1000;

    // `maxHold`: how long a gathered run may wait for more before it is written;
    // `syncInterval`: the longest time written bytes stay unsynced while data comes.
    explicit TRecordFileLyraRM(std::chrono::milliseconds maxHold = std::chrono::milliseconds(kMaxHoldMs),
                               std::chrono::milliseconds syncInterval = std::chrono::milliseconds(kSyncIntervalMs));
    ~TRecordFileLyraRM();
    TRecordFileLyraRM(const TRecordFileLyraRM&) = delete;
    TRecordFileLyraRM& operator=(const TRecordFileLyraRM&) = delete;

    // The viewer's index file beside a record file (records::IndexFileName):
    // "sdata.rmd" -> "sdata.ind"; a name without a three-character extension gets
    // ".ind" appended.
    static std::string IndexFileName(const std::string& recordFileName);

    // Writes what is gathered, then closes the open file, if any. `onClosed` runs
    // under the lock after the close, so no append can count bytes between the two.
    // False when the last write failed (see LastFailure()); the file is closed anyway.
    bool Close(const std::function<void()>& onClosed = {});

    // Closes any open file (as Close), then opens `name` for appending: an existing
    // file at its end (its index file is deleted, guarded as records::RemoveIndexFileOf
    // says), otherwise a new empty one, created exclusively. Only a regular file is
    // opened. Held exclusively: a file another holder has open counts as not openable. `onOpened`
    // receives the size in bytes under the lock, before any append can add to it. A
    // file with an odd size (a torn last word) is cut back to whole words first.
    OpenOutcome OpenForAppend(const std::string& name, const std::function<void(uint64_t)>& onOpened = {});

    // Closes any open file (as Close), then creates `name` empty (truncating an
    // existing one) and holds it open. The index file is left alone. False when it
    // cannot be created or is not a regular file; nothing is open then.
    bool CreateEmpty(const std::string& name);

    // Processing thread: adds `count` words at the end of the file; `onCount(delta)`
    // runs under the lock with +bytes for the run, or with -bytes for gathered runs
    // lost to a failed write. A failed write (disk full, medium gone) cuts the file
    // back to its last whole write, closes it and keeps the failure for
    // LastFailure(). No allocation.
    template <class OnCount>
    AppendOutcome Append(const uint16_t* words, uint32_t count, OnCount&& onCount) {
        std::lock_guard<std::mutex> guard(lock_);
        if (fd_ < 0) return AppendOutcome::NotOpen;
        const uint64_t bytes = static_cast<uint64_t>(count) * sizeof(uint16_t);
        uint64_t dropped = 0;  // counted or handed-over bytes that never reached the file
        const bool ok = AppendLocked(words, bytes, dropped) && SyncIfDueLocked();
        const int64_t delta = static_cast<int64_t>(bytes) - static_cast<int64_t>(dropped);
        if (delta != 0) onCount(delta);
        return ok ? AppendOutcome::Written : AppendOutcome::Failed;
    }

    // Writes what is gathered now. Same counting and failure rules as Append.
    template <class OnCount>
    AppendOutcome Flush(OnCount&& onCount) {
        std::lock_guard<std::mutex> guard(lock_);
        if (fd_ < 0) return AppendOutcome::NotOpen;
        uint64_t dropped = 0;
        if (FlushLocked(dropped) && SyncIfDueLocked()) return AppendOutcome::Written;
        if (dropped > 0) onCount(-static_cast<int64_t>(dropped));
        return AppendOutcome::Failed;
    }

    bool IsOpen() const;
    // Bytes of the open file including those still gathered (0 when none is open).
    uint64_t Size() const;
    // The name of the open file, or of the file whose write failed last.
    std::string FileName() const;
    // errno of the last failed write (0 when none).
    int LastFailure() const;
    void ClearFailure();

    // The cost of durability: fdatasync calls so far and the seconds spent in them.
    uint64_t SyncCount() const;
    double SyncSeconds() const;
    // Bytes written past the page cache since the open (0 where the file system refuses it).
    uint64_t DirectBytes() const;

private:
    using Clock = std::chrono::steady_clock;

    bool AppendLocked(const uint16_t* words, uint64_t bytes, uint64_t& dropped);
    bool FlushLocked(uint64_t& dropped);
    // Writes the first `n` gathered bytes and keeps the rest at the buffer's front.
    bool WriteGatheredLocked(std::size_t n, uint64_t& dropped);
    bool WriteLocked(const char* data, uint64_t bytes);
    char* Buffer() const { return static_cast<char*>(buffer_.Data()); }
    // fdatasync when the oldest unsynced written bytes have waited syncInterval_ (or
    // always when `force`); a failure drops the file as a failed write does.
    bool SyncIfDueLocked(bool force = false);
    bool CloseLocked();  // writes what is gathered, syncs, then closes
    void DropLocked();   // closes without writing
    // `irregular` tells a name that leads to something other than a regular file.
    static int OpenExclusive(const std::string& name, int flags, bool& irregular);
    void AdoptLocked(int fd, uint64_t size);

    mutable std::mutex lock_;
    int fd_ = -1;
    int directFd_ = -1;  // the same file opened for direct writes, or -1
    uint64_t directBytes_ = 0;
    uint64_t size_ = 0;  // bytes written to the file; its write position
    const std::chrono::milliseconds maxHold_;
    const std::chrono::milliseconds syncInterval_;
    bool unsynced_ = false;  // bytes written since the last fdatasync
    Clock::time_point unsyncedSince_{};  // the first write after the last fdatasync
    uint64_t syncCount_ = 0;
    Clock::duration syncTime_{};
    // On a huge page: a direct write pins it in one step rather than 256 small pages.
    platform::HugePageMemory buffer_;
    std::size_t gathered_ = 0;
    Clock::time_point gatheredSince_{};
    std::string name_;
    int failure_ = 0;
};

}  // namespace rollmode::core
