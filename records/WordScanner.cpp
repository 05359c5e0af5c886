#include "WordScanner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>

namespace rollmode::records {

static_assert(std::endian::native == std::endian::little, "record files are little-endian words");

namespace {

// Non-zero when one of the four 16-bit lanes is 0 or 1 (lanes above such a lane may
// be flagged too; the exact place is found word by word).
inline uint64_t LowLanes(uint64_t x) {
    x &= 0xFFFEFFFEFFFEFFFEULL;
    return (x - 0x0001000100010001ULL) & ~x & 0x8000800080008000ULL;
}

}  // namespace

std::size_t TWordScanner::FindRecordOrMark(const uint16_t* words, std::size_t count) {
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        uint64_t q[4];
        std::memcpy(q, words + i, sizeof q);
        if ((LowLanes(q[0]) | LowLanes(q[1]) | LowLanes(q[2]) | LowLanes(q[3])) != 0) break;
    }
    for (; i < count; ++i)
        if (words[i] <= 1) return i;
    return count;
}

TWordScanner::TWordScanner(std::size_t bufferBytes) : buffer_(bufferBytes < 64 ? 32 : bufferBytes / 2) {}

TWordScanner::~TWordScanner() {
    if (fd_ >= 0) ::close(fd_);
}

bool TWordScanner::Open(const std::string& path) {
    if (fd_ >= 0) ::close(fd_);
    settings_ = RecordSettings{};
    status_ = Status::Whole;
    error_.clear();
    errorOffset_ = 0;
    stop_ = false;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        Fail(Status::OpenFailed, 0, "cannot open " + path + ": " + std::strerror(errno));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        Fail(Status::OpenFailed, 0, "cannot open " + path + ": " + std::strerror(EISDIR));
        return false;
    }
    fileSize_ = static_cast<uint64_t>(st.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    return true;
}

TWordScanner::Status TWordScanner::Fail(Status status, uint64_t offset, std::string message) {
    status_ = status;
    errorOffset_ = offset;
    error_ = std::move(message);
    return status;
}

// Reads behind the `keptBytes` already at the front; returns the bytes now held
// (fewer than the buffer only at the end of the file or on a read error).
std::size_t TWordScanner::Fill(std::size_t keptBytes) {
    auto* bytes = reinterpret_cast<char*>(buffer_.data());
    const std::size_t capacity = buffer_.size() * sizeof(uint16_t);
    std::size_t have = keptBytes;
    while (have < capacity) {
        const ssize_t got = ::read(fd_, bytes + have, capacity - have);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        have += static_cast<std::size_t>(got);
    }
    return have;
}

TWordScanner::Status TWordScanner::Scan(TWordSink& sink) {
    if (fd_ < 0) return status_;
    uint64_t base = 0;          // file offset of buffer_[0]
    std::size_t kept = 0;       // bytes carried over to the front of the buffer
    RecordItem record;
    record.kind = RecordItem::Kind::Settings;
    for (;;) {
        const std::size_t have = Fill(kept);
        const bool atEnd = have < buffer_.size() * sizeof(uint16_t);
        if (progress_) progress_(base + have);
        if (have == kept && kept == 0) return status_;
        const uint16_t* w = buffer_.data();
        const std::size_t words = have / 2;
        std::size_t i = 0;
        while (i < words && !stop_) {
            const std::size_t run = FindRecordOrMark(w + i, words - i);
            if (run != 0) {
                sink.OnRun(w + i, run);
                i += run;
                if (i == words) break;
            }
            const uint64_t at = base + 2 * i;
            if (w[i] == 1) {
                sink.OnOverflowMark(at);
                ++i;
                continue;
            }
            // A settings record: length, code, arguments. A record the buffer cuts
            // is carried to the next read unless the file ends there.
            if (i + 1 >= words) {
                if (atEnd) return Fail(Status::TornTail, at, "settings record cut off by the end of the file");
                break;
            }
            const uint16_t length = w[i + 1];
            if (length < 4 || length > 6)
                return Fail(Status::Malformed, at, "settings record length " + std::to_string(length) + " outside 4..6");
            if (i + 2 >= words) {
                if (atEnd) return Fail(Status::TornTail, at, "settings record cut off by the end of the file");
                break;
            }
            const uint16_t code = w[i + 2];
            const uint16_t expected = RecordLengthOfCode(code);
            if (expected == 0) return Fail(Status::Malformed, at, "unknown settings record code " + std::to_string(code));
            if (expected != length)
                return Fail(Status::Malformed, at,
                            "settings record code " + std::to_string(code) + " with length " + std::to_string(length) +
                                " instead of " + std::to_string(expected));
            if (i + length > words) {
                if (atEnd) return Fail(Status::TornTail, at, "settings record cut off by the end of the file");
                break;
            }
            record.offset = at;
            record.length = length;
            record.code = code;
            record.args = {};
            for (uint16_t a = 0; a + 3 < length; ++a) record.args[a] = w[i + 3 + a];
            ApplySettingsRecord(settings_, code, record.args);
            sink.OnRecord(record, settings_);
            i += length;
        }
        if (stop_) return status_;
        if (atEnd) {
            if (have % 2 != 0) return Fail(Status::TornTail, base + 2 * words, "truncated word (odd file size)");
            return status_;
        }
        // Carry what was not consumed (a cut record and a stray byte) to the front.
        kept = have - 2 * i;
        if (kept != 0) std::memmove(buffer_.data(), buffer_.data() + i, kept);
        base += 2 * i;
    }
}

}  // namespace rollmode::records
