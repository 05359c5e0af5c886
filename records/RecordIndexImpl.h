#pragma once
// TRecordIndex's state, shared by the unit that builds and follows (RecordIndex.cpp)
// and the unit that answers queries (RecordIndexQuery.cpp).
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "IndexBuilder.h"
#include "IndexLists.h"
#include "IndexStore.h"
#include "RecordIndex.h"

namespace rollmode::records {

struct TRecordIndex::Impl {
    // --- owned by the thread that opens and updates -------------------------------
    std::string recordPath;
    std::atomic<int> recordFd{-1};  // queries pread it too
    dev_t recordDevice = 0;
    ino_t recordInode = 0;
    uint64_t recordSize = 0;  // at the last look
    std::string indexPath;
    std::string error;
    Origin origin = Origin::Built;
    TIndexBuilder builder;
    uint64_t persistedBytes = 0;  // record bytes the file under indexPath covers
    uint64_t headFingerprint = 0;
    uint64_t headBytes = 0;
    std::unique_ptr<uint16_t[]> buffer;  // not zeroed: every word is read into before use
    std::size_t bufferWords = 0;
    unsigned tempCounter = 0;

    // --- shared with the query thread ---------------------------------------------
    // Guards `store` (swapped when it grows), `lists` and `fault`. The builder writes
    // level entries and checkpoints beyond the published instants without it.
    mutable std::shared_mutex mutex;
    std::unique_ptr<TIndexStore> store;
    TIndexLists lists;
    RecordFault fault;
    std::atomic<uint64_t> published{0};
    std::atomic<uint64_t> coveredBytes{0};
    std::atomic<bool> replaced{false};

    // RecordIndex.cpp
    void Close(bool keep);
    bool Advance(uint64_t end, const Progress& progress, const std::atomic<bool>* cancel, uint64_t total);
    void Publish();
    bool Persist();
    std::string TempPath();
    uint64_t FingerprintAt(uint64_t begin, uint64_t bytes) const;
    bool TryReuse(std::unique_ptr<TIndexStore>& old, std::string& why);
    bool Grow(uint64_t capacity);

    // RecordIndexQuery.cpp; the caller holds `mutex` shared.
    RecordSettings SettingsLocked(uint64_t instant, uint64_t published) const;
};

}  // namespace rollmode::records
