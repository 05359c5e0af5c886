// Opening, building, extending and following the index of a record file.
//
// The record is read with pread into a fixed buffer, never mapped: the program may
// truncate or clear it while we read, and a mapped page past a new end of file would
// raise SIGBUS, where pread just returns fewer bytes.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "IndexFileName.h"
#include "RecordIndexImpl.h"

namespace rollmode::records {

using namespace indexformat;

namespace {

constexpr std::size_t kChunkWords = std::size_t{1} << 19;  // 1 MiB of record per read

std::string Hex(uint64_t v) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

bool DirectoryWritable(const std::string& dir) { return ::access(dir.c_str(), W_OK | X_OK) == 0; }

// $XDG_CACHE_HOME/corvo-rollmode, else ~/.cache/corvo-rollmode; empty when neither is set.
std::string CacheFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/corvo-rollmode";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return std::string(home) + "/.cache/corvo-rollmode";
    return {};
}

// True when `path` holds something other than one of our indexes: a record named like an
// index ("x.ind", or a record called "ind" beside short names). It is never overwritten.
bool HoldsForeignData(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::array<char, 8> magic{};
    const ssize_t n = ::pread(fd, magic.data(), magic.size(), 0);
    ::close(fd);
    return n > 0 && (n < 8 || magic != kMagic);
}

// Where the index of `recordPath` lives: beside the record when its folder is writable or
// a valid index already lies there, else in the per-user cache folder under a name made
// from the record's absolute path, so that two records never share an index. Never the
// record itself nor a file that is not an index. Empty when there is no place at all:
// the index then lives in memory only.
std::string ChooseIndexPath(const std::string& recordPath) {
    namespace fs = std::filesystem;
    const fs::path record(recordPath);
    const fs::path dir = record.has_parent_path() ? record.parent_path() : fs::path(".");
    const std::string beside = (dir / IndexFileName(record.filename().string())).string();
    std::error_code ec;
    const bool usable = !fs::equivalent(beside, record, ec) && !HoldsForeignData(beside);
    if (usable && DirectoryWritable(dir.string())) return beside;
    TIndexStore probe;
    std::string why;
    if (usable && probe.Load(beside, why)) return beside;
    const std::string cache = CacheFolder();
    if (cache.empty()) return {};
    fs::create_directories(cache, ec);
    const std::string absolute = fs::absolute(record, ec).lexically_normal().string();
    const std::string cached = cache + "/" + Hex(Hash(absolute.data(), absolute.size())) + ".ind";
    if (fs::equivalent(cached, record, ec) || HoldsForeignData(cached) || !DirectoryWritable(cache)) return {};
    return cached;
}

// Removes the temporary files a killed build of the index at `indexPath` left behind.
void RemoveStaleTemporaries(const std::string& indexPath) {
    namespace fs = std::filesystem;
    const fs::path index(indexPath);
    const std::string prefix = index.filename().string() + ".tmp-";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(index.has_parent_path() ? index.parent_path() : ".", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        fs::remove(entry.path(), ec);
    }
}

}  // namespace

TRecordIndex::TRecordIndex() : impl_(std::make_unique<Impl>()) {}

TRecordIndex::~TRecordIndex() { impl_->Close(true); }

void TRecordIndex::Impl::Close(bool keep) {
    if (recordFd >= 0) {
        // What was followed since the last save is kept for the next open.
        if (keep && !replaced.load() && store && store->Writable() && builder.Offset() > persistedBytes) Persist();
        ::close(recordFd);
    }
    recordFd = -1;
    std::unique_lock lock(mutex);
    if (store && store->Writable() && !store->InMemory() && store->Path() != indexPath) ::unlink(store->Path().c_str());
    store.reset();
    lists.Clear();
    fault = RecordFault{};
    published.store(0);
    coveredBytes.store(0);
    replaced.store(false);
    persistedBytes = 0;
}

std::string TRecordIndex::Impl::TempPath() {
    if (indexPath.empty()) return {};  // in memory only
    return indexPath + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++tempCounter);
}

uint64_t TRecordIndex::Impl::FingerprintAt(uint64_t begin, uint64_t bytes) const {
    std::vector<uint8_t> data(bytes);
    uint64_t got = 0;
    while (got < bytes) {
        const ssize_t n = ::pread(recordFd, data.data() + got, bytes - got, static_cast<off_t>(begin + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<uint64_t>(n);
    }
    // A short read (the record shrank) fingerprints fewer bytes and so mismatches.
    return Hash(data.data(), got) ^ (got == bytes ? 0 : 1);
}

void TRecordIndex::Impl::Publish() {
    std::unique_lock lock(mutex);
    for (const EventEntry& e : builder.PendingEvents()) lists.AddEvent(e);
    for (const StretchEntry& s : builder.PendingStretches()) lists.AddNotArmed(s.first, s.count);
    builder.PendingEvents().clear();
    builder.PendingStretches().clear();
    if (builder.Stopped() == TIndexBuilder::Stop::Malformed) {
        fault.malformed = true;
        fault.offset = builder.Offset();
        fault.message = builder.Message();
        fault.tornBytes = 0;
    } else {
        fault = RecordFault{};
        if (recordSize > builder.Offset()) {
            fault.offset = builder.Offset();
            fault.tornBytes = recordSize - builder.Offset();
            fault.message = "not yet written";
        }
    }
    coveredBytes.store(builder.Offset(), std::memory_order_release);
    published.store(builder.Instants(), std::memory_order_release);
}

bool TRecordIndex::Impl::Advance(uint64_t end, const Progress& progress, const std::atomic<bool>* cancel,
                                 uint64_t total) {
    // Small records get a small buffer; large ones 1 MiB.
    const std::size_t words = static_cast<std::size_t>(std::min<uint64_t>(kChunkWords, end / 2 + 16));
    if (bufferWords < words) {
        buffer.reset(new uint16_t[words]);
        bufferWords = words;
    }
    uint64_t at = builder.Offset();
    const uint64_t start = at;
    unsigned chunks = 0;
    while (at + 2 <= end && builder.Stopped() != TIndexBuilder::Stop::Malformed) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return false;
        const uint64_t want = std::min<uint64_t>(bufferWords * 2, end - at) & ~uint64_t{1};
        const ssize_t n = ::pread(recordFd, buffer.get(), want, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 2) break;
        const auto got = static_cast<std::size_t>(n) / 2;
        const std::size_t used = builder.Parse(buffer.get(), got);
        at += used * 2;
        // Publishing takes the lock the queries hold: once per 4 MiB is often enough.
        if (++chunks % 4 == 0) {
            Publish();
            if (store->Writable()) store->ReleaseWritten(builder.Instants());
        }
        if (progress) progress(at - start, total);
        // A record cut off by the end of what we read: re-read from its start, unless
        // it is cut off by the end of the file.
        if (used == 0) break;
    }
    Publish();
    return true;
}

bool TRecordIndex::Impl::Persist() {
    if (!store || !store->Writable() || store->InMemory()) return false;
    Header h;
    h.recordBytes = builder.Offset();
    h.instants = builder.Instants();
    h.resumeOffset = builder.ResumeOffset();
    h.headFingerprint = FingerprintAt(0, std::min(h.recordBytes, kFingerprintBytes));
    const uint64_t tail = std::min(h.recordBytes, kFingerprintBytes);
    h.tailFingerprint = FingerprintAt(h.recordBytes - tail, tail);
    std::string why;
    const bool written = store->Finalize(h, lists.Events(), lists.Stretches(), why);
    if (!written || ::rename(store->Path().c_str(), indexPath.c_str()) != 0) {
        ::unlink(store->Path().c_str());
        return false;
    }
    store->SetPath(indexPath);
    persistedBytes = h.recordBytes;
    return true;
}

bool TRecordIndex::Impl::Grow(uint64_t capacity) {
    auto next = std::make_unique<TIndexStore>();
    std::string why;
    if (!next->Create(TempPath(), capacity, why) && !next->Create({}, capacity, why)) {
        error = why;
        return false;
    }
    if (store) next->CopyFrom(*store, builder.Instants());
    builder.SetStore(next.get());
    std::unique_ptr<TIndexStore> old;
    {
        std::unique_lock lock(mutex);
        old = std::move(store);
        store = std::move(next);
    }
    if (old && old->Writable() && !old->InMemory()) ::unlink(old->Path().c_str());
    return true;
}

// Checks a loaded index against the record and its own lists, and restores the builder
// to where the index's last whole bucket ends.
bool TRecordIndex::Impl::TryReuse(std::unique_ptr<TIndexStore>& old, std::string& why) {
    const Header& h = old->Header();
    if (h.recordBytes > recordSize) {
        why = "record shorter than its index";
        return false;
    }
    if (FingerprintAt(0, std::min(h.recordBytes, kFingerprintBytes)) != h.headFingerprint) {
        why = "record head changed";
        return false;
    }
    const uint64_t tail = std::min(h.recordBytes, kFingerprintBytes);
    if (FingerprintAt(h.recordBytes - tail, tail) != h.tailFingerprint) {
        why = "record changed";
        return false;
    }
    // The sections are inside the file (Load checked that); now their contents.
    const uint64_t checkpoints = (h.instants + (uint64_t{1} << kCheckpointShift) - 1) >> kCheckpointShift;
    const Checkpoint* cps = old->Checkpoints();
    for (uint64_t j = 0; j < checkpoints; ++j) {
        if (cps[j].offset < (j << kCheckpointShift) * 2 || cps[j].offset + 2 > h.recordBytes ||
            (j > 0 && cps[j].offset <= cps[j - 1].offset)) {
            why = "index offset table damaged";
            return false;
        }
    }
    const uint64_t resumeInstants = h.instants & ~uint64_t{(1u << kBucketShift) - 1};
    if (h.resumeOffset < resumeInstants * 2) {
        why = "index header damaged";
        return false;
    }
    TIndexLists restored;
    const EventEntry* events = old->StoredEvents();
    for (uint64_t i = 0; i < h.eventCount; ++i) {
        const EventEntry& e = events[i];
        const uint16_t length = e.code == 0 ? 1 : RecordLengthOfCode(e.code);
        if (length == 0 || e.instant > h.instants || e.offset + 2u * length > h.recordBytes || e.anchor > e.offset ||
            e.anchor < (e.instant & ~uint64_t{(1u << kBucketShift) - 1}) * 2 ||
            (i > 0 && (e.offset <= events[i - 1].offset || e.instant < events[i - 1].instant))) {
            why = "index event list damaged";
            return false;
        }
        restored.AddEvent(e);
    }
    const StretchEntry* stretches = old->StoredStretches();
    for (uint64_t i = 0; i < h.stretchCount; ++i) {
        const StretchEntry& s = stretches[i];
        if (s.count == 0 || s.first > h.instants || s.count > h.instants - s.first ||
            (i > 0 && s.first < stretches[i - 1].first + stretches[i - 1].count)) {
            why = "index stretch list damaged";
            return false;
        }
        restored.AddNotArmed(s.first, s.count);
    }
    // Resume at the end of the last whole level-0 bucket: the few items after it are read
    // again, so the builder knows them exactly as if it had read the whole record.
    RecordSettings settings;
    if (resumeInstants > 0) {
        const uint64_t last = resumeInstants - 1;
        settings = Unpack(cps[last >> kCheckpointShift].settings);
        restored.ApplyEvents(settings, (last >> kCheckpointShift) << kCheckpointShift, last);
    }
    restored.CutAt(h.resumeOffset, resumeInstants);
    builder.Resume(old.get(), resumeInstants, h.resumeOffset, settings);
    std::unique_lock lock(mutex);
    lists = std::move(restored);
    store = std::move(old);
    return true;
}

bool TRecordIndex::Open(const std::string& recordPath, const Progress& progress, const std::atomic<bool>* cancel) {
    Impl& d = *impl_;
    d.Close(true);
    d.error.clear();
    d.recordPath = recordPath;
    d.recordFd = ::open(recordPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (d.recordFd < 0) {
        d.error = "cannot open " + recordPath + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(d.recordFd, &st) != 0 || !S_ISREG(st.st_mode)) {
        d.error = "not a regular file: " + recordPath;
        ::close(d.recordFd);
        d.recordFd = -1;
        return false;
    }
    d.recordDevice = st.st_dev;
    d.recordInode = st.st_ino;
    d.recordSize = static_cast<uint64_t>(st.st_size);
    d.indexPath = ChooseIndexPath(recordPath);
    if (!d.indexPath.empty()) RemoveStaleTemporaries(d.indexPath);

    auto old = std::make_unique<TIndexStore>();
    std::string why;
    bool loaded = old->Load(d.indexPath, why) && d.TryReuse(old, why);
    uint64_t reusedBytes = 0;
    if (loaded) {
        const Header h = d.store->Header();
        reusedBytes = h.recordBytes;
        d.persistedBytes = reusedBytes;
        // The tail after the last whole bucket completes no bucket: read it again into
        // the read-only store. It must end exactly where the header says.
        d.Advance(reusedBytes, {}, nullptr, 0);
        if (d.builder.Instants() != h.instants || d.builder.Offset() != h.recordBytes) {
            std::unique_lock lock(d.mutex);
            d.store.reset();
            d.published.store(0);
            d.coveredBytes.store(0);
            d.persistedBytes = 0;
            loaded = false;
        }
    }
    if (loaded) {
        if (d.recordSize > reusedBytes) {
            if (!d.Grow(std::max(d.recordSize / 2, d.store->Capacity()))) return false;
        }
        d.origin = Origin::Reused;
    } else {
        {
            std::unique_lock lock(d.mutex);
            d.lists.Clear();
        }
        if (!d.Grow(d.recordSize / 2)) return false;
        d.builder.Reset(d.store.get());
        d.origin = Origin::Built;
    }
    if (!d.Advance(d.recordSize, progress, cancel, d.recordSize - d.builder.Offset())) {
        d.error = "cancelled";
        d.Close(false);
        return false;
    }
    if (loaded && d.builder.Offset() > reusedBytes) d.origin = Origin::Extended;
    if (d.store->Writable()) {
        if (d.builder.Offset() > d.persistedBytes || d.origin == Origin::Built) d.Persist();
    }
    d.headBytes = std::min(d.builder.Offset(), kFingerprintBytes);
    d.headFingerprint = d.FingerprintAt(0, d.headBytes);
    return true;
}

bool TRecordIndex::Update() {
    Impl& d = *impl_;
    if (d.recordFd < 0 || d.replaced.load()) return false;
    struct stat byName {}, byHandle {};
    if (::stat(d.recordPath.c_str(), &byName) != 0 || byName.st_ino != d.recordInode ||
        byName.st_dev != d.recordDevice || ::fstat(d.recordFd, &byHandle) != 0 ||
        static_cast<uint64_t>(byHandle.st_size) < d.builder.Offset() ||
        d.FingerprintAt(0, d.headBytes) != d.headFingerprint) {
        d.replaced.store(true);
        return false;
    }
    const auto size = static_cast<uint64_t>(byHandle.st_size);
    if (size == d.recordSize) return false;
    d.recordSize = size;
    const uint64_t before = d.published.load();
    const std::size_t eventsBefore = d.lists.Events().size();
    if (!d.store->Writable() || d.store->Capacity() < size / 2) {
        if (!d.Grow(std::max(size / 2, d.store->Capacity() * 2))) return false;
    }
    d.Advance(size, {}, nullptr, 0);
    if (d.headBytes < kFingerprintBytes) {
        d.headBytes = std::min(d.builder.Offset(), kFingerprintBytes);
        d.headFingerprint = d.FingerprintAt(0, d.headBytes);
    }
    return d.published.load() != before || d.lists.Events().size() != eventsBefore;
}

bool TRecordIndex::Replaced() const { return impl_->replaced.load(); }
TRecordIndex::Origin TRecordIndex::HowOpened() const { return impl_->origin; }
const std::string& TRecordIndex::Error() const { return impl_->error; }
const std::string& TRecordIndex::IndexPath() const { return impl_->indexPath; }

RecordFault TRecordIndex::Fault() const {
    std::shared_lock lock(impl_->mutex);
    return impl_->fault;
}

uint64_t TRecordIndex::RecordBytes() const { return impl_->coveredBytes.load(std::memory_order_acquire); }
uint64_t TRecordIndex::PublishedInstants() const { return impl_->published.load(std::memory_order_acquire); }

}  // namespace rollmode::records
