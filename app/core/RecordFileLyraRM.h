#pragma once
// The open measurement record file: a plain sequence of 16-bit little-endian stream
// words, appended run by run by the processing thread and opened, cleared and
// closed by the user-interface thread.
//
// One lock keeps every append apart from every open, clear and close, so the file
// is never closed or replaced under a write. Appends go straight to the file
// descriptor with write(2): no allocation and no copy per run, and nothing is held
// back in a user-space buffer that a crash could lose.
//
// Lock order: the callbacks below run while this unit's lock is held and may take
// the model's file-size lock; nothing takes this lock while holding that one.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace rollmode::core {

class TRecordFileLyraRM {
public:
    enum class OpenOutcome { OpenedExisting, Created, Failed };
    enum class AppendOutcome { Written, NotOpen, Failed };

    TRecordFileLyraRM() = default;
    ~TRecordFileLyraRM();
    TRecordFileLyraRM(const TRecordFileLyraRM&) = delete;
    TRecordFileLyraRM& operator=(const TRecordFileLyraRM&) = delete;

    // The viewer's index file beside a record file: the name without its last three
    // characters, then "ind" ("sdata.rmd" -> "sdata.ind"); a name shorter than four
    // characters gives "ind".
    static std::string IndexFileName(const std::string& recordFileName);

    // Closes the open file, if any. `onClosed` runs under the lock after the close,
    // so no append can count bytes between the two.
    void Close(const std::function<void()>& onClosed = {});

    // Closes any open file, then opens `name` for appending: an existing file at its
    // end (its index file is deleted), otherwise a new empty one. Opened exclusively:
    // a file another holder has open counts as not openable. `onOpened` receives the
    // size in bytes under the lock, before any append can add to it. A file with an
    // odd size (a torn last word) is cut back to whole words first.
    OpenOutcome OpenForAppend(const std::string& name, const std::function<void(uint64_t)>& onOpened = {});

    // Closes any open file, then creates `name` empty (truncating an existing one)
    // and holds it open. The index file is left alone. False when it cannot be
    // created; nothing is open then.
    bool CreateEmpty(const std::string& name);

    // Processing thread: writes `count` words at the end of the file. On success
    // `onWritten(bytes)` runs under the lock. On a failed write (disk full, medium
    // gone) the run's torn tail is cut off again where possible, the file is closed
    // and the failure is kept for LastFailure(); nothing is counted.
    template <class OnWritten>
    AppendOutcome Append(const uint16_t* words, uint32_t count, OnWritten&& onWritten) {
        std::lock_guard<std::mutex> guard(lock_);
        if (fd_ < 0) return AppendOutcome::NotOpen;
        const uint64_t bytes = static_cast<uint64_t>(count) * sizeof(uint16_t);
        if (!WriteWholeRun(words, bytes)) return AppendOutcome::Failed;
        onWritten(bytes);
        return AppendOutcome::Written;
    }

    bool IsOpen() const;
    // Bytes in the open file (0 when none is open).
    uint64_t Size() const;
    // The name of the open file, or of the file whose append failed last.
    std::string FileName() const;
    // errno of the last failed append (0 when none), and the file it concerned.
    int LastFailure() const;
    void ClearFailure();

private:
    bool WriteWholeRun(const uint16_t* words, uint64_t bytes);
    void CloseLocked();
    static int OpenExclusive(const std::string& name, int flags);

    mutable std::mutex lock_;
    int fd_ = -1;
    uint64_t size_ = 0;  // bytes of whole runs in the file; the write position
    std::string name_;
    int failure_ = 0;
};

}  // namespace rollmode::core
