#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace rollmode::records {

TOutputFile::TOutputFile(TOutputFile&& other) noexcept
    : path_(std::move(other.path_)), temp_(std::move(other.temp_)), error_(std::move(other.error_)),
      fd_(other.fd_), committed_(other.committed_) {
    other.fd_ = -1;
    other.temp_.clear();
}

bool TOutputFile::Create() {
    Discard();
    committed_ = false;
    // A hidden name beside the target, so the rename stays within one file system.
    const auto slash = path_.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    std::string pattern = folder + "." + name + ".partXXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    fd_ = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd_ < 0) {
        error_ = "cannot write " + path_ + ": " + std::strerror(errno);
        return false;
    }
    // mkstemp makes the file private; an output gets the usual rights.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    temp_ = buffer.data();
    return true;
}

bool TOutputFile::Close() {
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0) {
        error_ = "cannot write " + path_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool TOutputFile::Commit() {
    if (temp_.empty()) {
        error_ = "cannot write " + path_ + ": nothing written";
        return false;
    }
    if (!Close()) return false;
    if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
        error_ = "cannot write " + path_ + ": " + std::strerror(errno);
        return false;
    }
    temp_.clear();
    committed_ = true;
    return true;
}

void TOutputFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty() && !committed_) ::unlink(temp_.c_str());
    temp_.clear();
}

TBufferedWriter::TBufferedWriter(std::size_t bytes)
    : begin_(new char[bytes < 256 ? 256 : bytes]), pos_(begin_), end_(begin_ + (bytes < 256 ? 256 : bytes)) {}

TBufferedWriter::~TBufferedWriter() { delete[] begin_; }

void TBufferedWriter::Write(const char* data, std::size_t bytes) {
    while (bytes > 0) {
        if (pos_ == end_) Flush();
        const std::size_t n = std::min(bytes, static_cast<std::size_t>(end_ - pos_));
        std::memcpy(pos_, data, n);
        pos_ += n;
        data += n;
        bytes -= n;
    }
}

bool TBufferedWriter::Flush() {
    const char* p = begin_;
    while (p < pos_ && errno_ == 0) {
        const ssize_t done = ::write(fd_, p, static_cast<std::size_t>(pos_ - p));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            errno_ = done < 0 ? errno : ENOSPC;
            break;
        }
        p += done;
        written_ += static_cast<uint64_t>(done);
    }
    pos_ = begin_;  // after a failure the rest is dropped: the output is discarded anyway
    return errno_ == 0;
}

bool FlushAndCommit(TBufferedWriter& writer, TOutputFile& out, std::string& error) {
    if (!writer.Flush()) {
        error = "cannot write " + out.Path() + ": " + std::strerror(writer.ErrorNumber());
        out.Discard();
        return false;
    }
    if (!out.Commit()) {
        error = out.Error();
        return false;
    }
    return true;
}

}  // namespace rollmode::records
