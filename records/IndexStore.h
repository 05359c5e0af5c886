#pragma once
// One index file, mapped: created writable under a temporary name and filled by the
// builder, or an existing one mapped read-only after its header, section bounds and
// checksum were checked. A store is never resized while mapped; growing past its
// capacity takes a new store.
#include <cstdint>
#include <string>
#include <vector>

#include "IndexFormat.h"

namespace rollmode::records {

class TIndexStore {
public:
    TIndexStore() = default;
    ~TIndexStore();
    TIndexStore(const TIndexStore&) = delete;
    TIndexStore& operator=(const TIndexStore&) = delete;

    // A new, writable store sized for `capacityInstants`, created exclusively at `path`,
    // or kept in memory only when `path` is empty.
    bool Create(const std::string& path, uint64_t capacityInstants, std::string& error);
    // Maps an existing index read-only. False with the reason when it is not one of ours,
    // of another version, or damaged (any section outside the file, a checksum mismatch).
    bool Load(const std::string& path, std::string& why);

    // Copies every used entry of `from` for its first `instants` instants.
    void CopyFrom(const TIndexStore& from, uint64_t instants);
    // Writes the lists and the header (with its checksum) and trims the file to its used
    // size. The store is read-only afterwards.
    bool Finalize(indexformat::Header header, const std::vector<indexformat::EventEntry>& events,
                  const std::vector<indexformat::StretchEntry>& stretches, std::string& error);
    // Lets the kernel drop the mapped pages of level 0 below `instants` from this process
    // (they stay in the file): the builder's memory stays constant for any record size.
    void ReleaseWritten(uint64_t instants);

    bool Writable() const { return writable_; }
    bool InMemory() const { return path_.empty(); }
    const std::string& Path() const { return path_; }
    void SetPath(std::string path) { path_ = std::move(path); }
    const indexformat::Layout& Layout() const { return layout_; }
    const indexformat::Header& Header() const { return header_; }
    uint64_t Capacity() const { return layout_.capacityInstants; }

    indexformat::BucketCodes* Level(int level) const {
        return reinterpret_cast<indexformat::BucketCodes*>(base_ + layout_.levelOffset[level]);
    }
    indexformat::Checkpoint* Checkpoints() const {
        return reinterpret_cast<indexformat::Checkpoint*>(base_ + layout_.checkpointOffset);
    }
    const indexformat::EventEntry* StoredEvents() const {
        return reinterpret_cast<const indexformat::EventEntry*>(base_ + header_.listsOffset);
    }
    const indexformat::StretchEntry* StoredStretches() const {
        return reinterpret_cast<const indexformat::StretchEntry*>(base_ + header_.listsOffset +
                                                                   header_.eventCount * sizeof(indexformat::EventEntry));
    }

private:
    void Unmap();
    void CopySection(const TIndexStore& from, uint64_t fromOffset, uint64_t toOffset, uint64_t bytes);

    int fd_ = -1;
    uint8_t* base_ = nullptr;
    uint64_t mappedBytes_ = 0;
    uint64_t released_ = 0;  // bytes of level 0 already given back
    bool writable_ = false;
    std::string path_;
    indexformat::Layout layout_;
    indexformat::Header header_;
};

}  // namespace rollmode::records
