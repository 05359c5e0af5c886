#include "RecordFileLyraRM.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "IndexFileName.h"
#include "RecordFileReader.h"

namespace rollmode::core {

// Stream words go to the file as they lie in memory; the file is little-endian.
static_assert(std::endian::native == std::endian::little, "record file words are written in host order");

namespace {

// The size of the file up to its last whole item: a settings record that a crash
// cut off is dropped, or every later word would be read as part of it. Only the
// tail is read, so opening a long recording stays quick.
uint64_t WholeItemsSize(int fd, uint64_t size) {
    constexpr uint64_t kTailBytes = 64 * 1024;
    const uint64_t bytes = std::min(size, kTailBytes);
    std::vector<uint16_t> tail(static_cast<std::size_t>(bytes / 2));
    const auto got = ::pread(fd, tail.data(), bytes, static_cast<off_t>(size - bytes));
    if (got != static_cast<ssize_t>(bytes)) return size;
    const std::size_t keep = records::WholeTailWords(tail.data(), tail.size(), bytes == size);
    const uint64_t whole = size - (tail.size() - keep) * 2;
    if (whole != size && ::ftruncate(fd, static_cast<off_t>(whole)) != 0) return size;
    return whole;
}

// The open file once more, for direct writes; through /proc, so it is the same file even
// if its name has been replaced since. -1 where the file system (or a missing /proc)
// allows none: then every write goes through the cache.
int OpenDirect(int fd) {
    char path[40];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    return ::open(path, O_WRONLY | O_DIRECT | O_CLOEXEC | O_NOCTTY);
}

}  // namespace

TRecordFileLyraRM::TRecordFileLyraRM(std::chrono::milliseconds maxHold, std::chrono::milliseconds syncInterval)
    : maxHold_(maxHold), syncInterval_(syncInterval) {}

TRecordFileLyraRM::~TRecordFileLyraRM() {
    std::lock_guard<std::mutex> guard(lock_);
    CloseLocked();
}

std::string TRecordFileLyraRM::IndexFileName(const std::string& recordFileName) {
    return records::IndexFileName(recordFileName);
}

int TRecordFileLyraRM::OpenExclusive(const std::string& name, int flags, bool& irregular) {
    // The file is held without sharing: a second holder (another instance, the
    // viewer) is refused rather than interleaving its writes with ours.
    // A name with a NUL in it (pasted) is no path: open() would take only the part before
    // the NUL and write to another file than the one named.
    irregular = false;
    if (name.find('\0') != std::string::npos) {
        errno = EINVAL;
        return -1;
    }
    // Not blocking: a FIFO or a device must not hold the opening thread; the check
    // below refuses it.
    const int fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) return -1;
    // Only a regular file is a record: /dev/zero would swallow the recording, a block
    // device would be overwritten from its start, a FIFO would block the writer.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        irregular = true;
        ::close(fd);
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void TRecordFileLyraRM::DropLocked() {
    if (directFd_ >= 0) ::close(directFd_);
    directFd_ = -1;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
    gathered_ = 0;
    unsynced_ = false;
}

bool TRecordFileLyraRM::SyncIfDueLocked(bool force) {
    if (fd_ < 0 || !unsynced_) return true;
    const Clock::time_point now = Clock::now();
    if (!force && now - unsyncedSince_ < syncInterval_) return true;
    const int rc = ::fdatasync(fd_);
    const Clock::time_point done = Clock::now();
    ++syncCount_;
    syncTime_ += done - now;
    unsynced_ = false;
    // EINVAL: a file that cannot be synced (a pipe, some special files) is still written.
    if (rc == 0 || errno == EINVAL) return true;
    failure_ = errno;
    DropLocked();
    return false;
}

bool TRecordFileLyraRM::CloseLocked() {
    uint64_t lost = 0;
    const bool ok = fd_ < 0 || (FlushLocked(lost) && SyncIfDueLocked(true));
    DropLocked();
    return ok;
}

bool TRecordFileLyraRM::Close(const std::function<void()>& onClosed) {
    std::lock_guard<std::mutex> guard(lock_);
    const bool ok = CloseLocked();
    if (onClosed) onClosed();
    return ok;
}

TRecordFileLyraRM::OpenOutcome TRecordFileLyraRM::OpenForAppend(const std::string& name,
                                                                const std::function<void(uint64_t)>& onOpened) {
    std::lock_guard<std::mutex> guard(lock_);
    CloseLocked();
    name_ = name;
    OpenOutcome outcome = OpenOutcome::OpenedExisting;
    bool irregular = false;
    int fd = OpenExclusive(name, O_RDWR, irregular);
    if (irregular) return OpenOutcome::NotRegular;
    uint64_t size = 0;
    if (fd >= 0) {
        // Opened: from here on a failure must not fall back to creating, which would
        // empty a file that holds a recording.
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return OpenOutcome::Failed;
        }
        size = static_cast<uint64_t>(st.st_size);
        // An odd size means a torn last word (a crash mid-write); appending after it
        // would shift every later word by a byte.
        if (size % 2 != 0 && ::ftruncate(fd, static_cast<off_t>(size - 1)) == 0) --size;
        if (size % 2 == 0) size = WholeItemsSize(fd, size);
        if (size % 2 != 0 || ::lseek(fd, static_cast<off_t>(size), SEEK_SET) < 0) {
            ::close(fd);
            return OpenOutcome::Failed;
        }
        (void)records::RemoveIndexFileOf(name);
    } else {
        // Missing, locked or not accessible: create it, exclusively. A file that exists
        // after all (locked by another holder, or a link planted since the first open)
        // is refused, never emptied.
        outcome = OpenOutcome::Created;
        fd = OpenExclusive(name, O_RDWR | O_CREAT | O_EXCL, irregular);
        if (fd < 0) return irregular ? OpenOutcome::NotRegular : OpenOutcome::Failed;
    }
    AdoptLocked(fd, size);
    if (onOpened) onOpened(size);
    return outcome;
}

bool TRecordFileLyraRM::CreateEmpty(const std::string& name) {
    std::lock_guard<std::mutex> guard(lock_);
    CloseLocked();
    name_ = name;
    bool irregular = false;
    int fd = OpenExclusive(name, O_RDWR | O_CREAT, irregular);
    if (fd >= 0 && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        fd = -1;
    }
    if (fd < 0) return false;
    AdoptLocked(fd, 0);
    return true;
}

void TRecordFileLyraRM::AdoptLocked(int fd, uint64_t size) {
    // The gathering buffer is taken when a file is first opened: a model that never
    // records does not hold it.
    if (buffer_.Data() == nullptr) {
        buffer_ = platform::HugePageMemory(kBufferBytes);
        if (buffer_.Data() == nullptr) throw std::bad_alloc();
    }
    fd_ = fd;
    size_ = size;
    directFd_ = OpenDirect(fd);
    directBytes_ = 0;
}

bool TRecordFileLyraRM::WriteLocked(const char* data, uint64_t bytes) {
    uint64_t done = 0;
    while (done < bytes) {
        // Whole pages from a page boundary of the file go direct, a tail below a page
        // through the cache.
        const uint64_t at = size_ + done;
        const uint64_t left = bytes - done;
        const bool direct = directFd_ >= 0 && at % kPageBytes == 0 && left >= kPageBytes &&
                            reinterpret_cast<std::uintptr_t>(data + done) % kPageBytes == 0;
        const uint64_t piece = direct ? left - left % kPageBytes : left;
        const ssize_t n = ::pwrite(direct ? directFd_ : fd_, data + done, static_cast<size_t>(piece),
                                   static_cast<off_t>(at));
        if (n > 0) {
            done += static_cast<uint64_t>(n);
            if (direct) directBytes_ += static_cast<uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && direct && errno == EINVAL) {
            // The medium wants a coarser alignment than a page: the cache takes the rest.
            ::close(directFd_);
            directFd_ = -1;
            continue;
        }
        failure_ = n < 0 ? errno : ENOSPC;  // a write of 0 bytes makes no progress
        // Cut the torn tail back to the last whole write, so the file still splits
        // into whole words and records. If even that fails (medium gone) the torn
        // bytes stay; the next open cuts an odd size back to whole words.
        if (done > 0) (void)::ftruncate(fd_, static_cast<off_t>(size_));
        DropLocked();
        return false;
    }
    size_ += bytes;
    if (bytes > 0 && !unsynced_) {
        unsynced_ = true;
        unsyncedSince_ = Clock::now();
    }
    return true;
}

bool TRecordFileLyraRM::WriteGatheredLocked(std::size_t n, uint64_t& dropped) {
    if (n == 0) return true;
    const std::size_t had = gathered_;
    if (!WriteLocked(Buffer(), n)) {
        dropped += had;  // the whole buffer is gone with the file
        return false;
    }
    gathered_ = had - n;
    if (gathered_ > 0) {
        std::memmove(Buffer(), Buffer() + n, gathered_);
        gatheredSince_ = Clock::now();
    }
    return true;
}

bool TRecordFileLyraRM::FlushLocked(uint64_t& dropped) { return WriteGatheredLocked(gathered_, dropped); }

bool TRecordFileLyraRM::AppendLocked(const uint16_t* words, uint64_t bytes, uint64_t& dropped) {
    const auto* p = reinterpret_cast<const char*>(words);
    uint64_t left = bytes;
    const Clock::time_point now = Clock::now();
    while (left > 0) {
        // Fill up to the next buffer-size boundary of the file, so full writes stay
        // aligned even after an existing file of any size.
        const std::size_t toBoundary = kBufferBytes - static_cast<std::size_t>((size_ + gathered_) % kBufferBytes);
        const std::size_t room = std::min(toBoundary, kBufferBytes - gathered_);
        const std::size_t n = left < room ? static_cast<std::size_t>(left) : room;
        if (gathered_ == 0) gatheredSince_ = now;
        std::memcpy(Buffer() + gathered_, p, n);
        gathered_ += n;
        p += n;
        left -= n;
        if (n == room && !FlushLocked(dropped)) {
            dropped += left;  // the rest of the run never got in
            return false;
        }
    }
    if (gathered_ > 0 && now - gatheredSince_ >= maxHold_) {
        // Up to the last page boundary; a remainder below a page waits one more turn,
        // unless nothing else would be written.
        const uint64_t end = size_ + gathered_;
        const uint64_t pageEnd = end - end % kPageBytes;
        const std::size_t n = pageEnd > size_ ? static_cast<std::size_t>(pageEnd - size_) : gathered_;
        if (!WriteGatheredLocked(n, dropped)) return false;
    }
    return true;
}

bool TRecordFileLyraRM::IsOpen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return fd_ >= 0;
}

uint64_t TRecordFileLyraRM::Size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return size_ + gathered_;
}

std::string TRecordFileLyraRM::FileName() const {
    std::lock_guard<std::mutex> guard(lock_);
    return name_;
}

int TRecordFileLyraRM::LastFailure() const {
    std::lock_guard<std::mutex> guard(lock_);
    return failure_;
}

uint64_t TRecordFileLyraRM::SyncCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return syncCount_;
}

uint64_t TRecordFileLyraRM::DirectBytes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return directBytes_;
}

double TRecordFileLyraRM::SyncSeconds() const {
    std::lock_guard<std::mutex> guard(lock_);
    return std::chrono::duration<double>(syncTime_).count();
}

void TRecordFileLyraRM::ClearFailure() {
    std::lock_guard<std::mutex> guard(lock_);
    failure_ = 0;
}

}  // namespace rollmode::core
