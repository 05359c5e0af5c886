#include "IndexStore.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rollmode::records {

using namespace indexformat;

namespace {

bool WriteAll(int fd, const void* data, uint64_t bytes, uint64_t offset) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t n = ::pwrite(fd, p, bytes, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        bytes -= static_cast<uint64_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

// Drops the whole pages inside [data, data + bytes) from this process; a shared file
// mapping keeps their contents in the file.
void DropPages(const uint8_t* data, uint64_t bytes) {
    const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + page - 1) / page * page;
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) / page * page;
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

}  // namespace

TIndexStore::~TIndexStore() { Unmap(); }

void TIndexStore::Unmap() {
    if (base_ != nullptr) ::munmap(base_, mappedBytes_);
    if (fd_ >= 0) ::close(fd_);
    base_ = nullptr;
    fd_ = -1;
    mappedBytes_ = 0;
}

bool TIndexStore::Create(const std::string& path, uint64_t capacityInstants, std::string& error) {
    Unmap();
    path_ = path;
    layout_ = Layout::For(capacityInstants);
    header_ = indexformat::Header{};
    header_.capacityInstants = capacityInstants;
    fd_ = path.empty() ? ::memfd_create("rollmode-index", MFD_CLOEXEC)
                       : ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    // The sections are sparse until written.
    if (::ftruncate(fd_, static_cast<off_t>(layout_.end)) != 0) {
        error = "cannot size " + path + ": " + std::strerror(errno);
        Unmap();
        return false;
    }
    void* p = ::mmap(nullptr, layout_.end, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (p == MAP_FAILED) {
        error = "cannot map " + path + ": " + std::strerror(errno);
        Unmap();
        return false;
    }
    base_ = static_cast<uint8_t*>(p);
    mappedBytes_ = layout_.end;
    released_ = 0;
    writable_ = true;
    return true;
}

bool TIndexStore::Load(const std::string& path, std::string& why) {
    Unmap();
    writable_ = false;
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        why = "no index";
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || st.st_size < static_cast<off_t>(kHeaderBytes)) {
        why = "index too short";
        Unmap();
        return false;
    }
    const auto fileBytes = static_cast<uint64_t>(st.st_size);
    header_ = indexformat::Header{};
    uint8_t raw[sizeof header_];
    if (::pread(fd_, raw, sizeof raw, 0) != static_cast<ssize_t>(sizeof raw)) {
        why = "index unreadable";
        Unmap();
        return false;
    }
    std::memcpy(&header_, raw, sizeof raw);
    const indexformat::Header& h = header_;
    if (h.magic != kMagic || h.headerBytes != kHeaderBytes) {
        why = "not an index";
    } else if (h.version != kVersion) {
        why = "index of version " + std::to_string(h.version);
    } else if (h.fileBytes != fileBytes || h.capacityInstants > kMaxInstants || h.instants > h.capacityInstants ||
               h.instants > h.recordBytes / 2 || h.resumeOffset > h.recordBytes || h.listsOffset % 8 != 0 ||
               h.eventCount > fileBytes / sizeof(EventEntry) || h.stretchCount > fileBytes / sizeof(StretchEntry)) {
        why = "index header damaged";
    } else {
        layout_ = Layout::For(h.capacityInstants);
        const uint64_t lists = h.eventCount * sizeof(EventEntry) + h.stretchCount * sizeof(StretchEntry);
        if (layout_.UsedEnd(h.instants) > h.listsOffset || h.listsOffset > fileBytes || lists > fileBytes - h.listsOffset)
            why = "index sections outside the file";
    }
    if (!why.empty()) {
        Unmap();
        return false;
    }
    void* p = ::mmap(nullptr, fileBytes, PROT_READ, MAP_SHARED, fd_, 0);
    if (p == MAP_FAILED) {
        why = "cannot map the index";
        Unmap();
        return false;
    }
    base_ = static_cast<uint8_t*>(p);
    mappedBytes_ = fileBytes;
    // The check reads every page; queries need only a few of them.
    if (Checksum(base_, header_, base_ + h.listsOffset, DropPages) != h.checksum) {
        why = "index checksum mismatch";
        Unmap();
        return false;
    }
    return true;
}

void TIndexStore::CopySection(const TIndexStore& from, uint64_t fromOffset, uint64_t toOffset, uint64_t bytes) {
    // In the kernel where it can: the pages then never enter this process.
    while (bytes > 0) {
        auto in = static_cast<loff_t>(fromOffset), out = static_cast<loff_t>(toOffset);
        const ssize_t n = ::copy_file_range(from.fd_, &in, fd_, &out, bytes, 0);
        if (n <= 0) break;
        fromOffset += static_cast<uint64_t>(n);
        toOffset += static_cast<uint64_t>(n);
        bytes -= static_cast<uint64_t>(n);
    }
    if (bytes > 0) std::memcpy(base_ + toOffset, from.base_ + fromOffset, bytes);
}

void TIndexStore::CopyFrom(const TIndexStore& from, uint64_t instants) {
    const uint64_t checkpoints = (instants + (uint64_t{1} << kCheckpointShift) - 1) >> kCheckpointShift;
    CopySection(from, from.layout_.checkpointOffset, layout_.checkpointOffset, checkpoints * sizeof(Checkpoint));
    for (int level = 0; level < kLevels; ++level)
        CopySection(from, from.layout_.levelOffset[level], layout_.levelOffset[level],
                    (instants >> BucketShift(level)) * sizeof(BucketCodes));
}

bool TIndexStore::Finalize(indexformat::Header header, const std::vector<EventEntry>& events,
                           const std::vector<StretchEntry>& stretches, std::string& error) {
    header.capacityInstants = layout_.capacityInstants;
    header.listsOffset = layout_.UsedEnd(header.instants);
    header.eventCount = events.size();
    header.stretchCount = stretches.size();
    const uint64_t eventBytes = events.size() * sizeof(EventEntry);
    const uint64_t listBytes = eventBytes + stretches.size() * sizeof(StretchEntry);
    header.fileBytes = header.listsOffset + listBytes;
    std::vector<uint8_t> lists(listBytes);
    if (eventBytes > 0) std::memcpy(lists.data(), events.data(), eventBytes);
    if (!stretches.empty()) std::memcpy(lists.data() + eventBytes, stretches.data(), listBytes - eventBytes);
    header.checksum = Checksum(base_, header, lists.data(), DropPages);
    // The mapping ends at level 0's capacity; the lists may reach beyond it, so they go
    // through the file, and the store is not written through the mapping any more.
    writable_ = false;
    if (header.fileBytes > layout_.end && ::ftruncate(fd_, static_cast<off_t>(header.fileBytes)) != 0) {
        error = std::string("cannot grow the index: ") + std::strerror(errno);
        return false;
    }
    if (!WriteAll(fd_, lists.data(), listBytes, header.listsOffset) || !WriteAll(fd_, &header, sizeof header, 0) ||
        ::ftruncate(fd_, static_cast<off_t>(header.fileBytes)) != 0) {
        error = std::string("cannot write the index: ") + std::strerror(errno);
        return false;
    }
    header_ = header;
    return true;
}

void TIndexStore::ReleaseWritten(uint64_t instants) {
    constexpr uint64_t kStep = uint64_t{8} << 20;
    const uint64_t page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    const uint64_t begin = (layout_.levelOffset[0] + released_ + page - 1) / page * page;
    const uint64_t end = (layout_.levelOffset[0] + (instants >> kBucketShift) * sizeof(BucketCodes)) / page * page;
    if (end < begin + kStep) return;
    ::madvise(base_ + begin, end - begin, MADV_DONTNEED);
    released_ = end - layout_.levelOffset[0];
}

}  // namespace rollmode::records
