#pragma once
// An output that appears under its name only when it is whole: written under a
// temporary name in the same folder and renamed at Commit(). Dropped (the temporary
// file removed) when destroyed before Commit(), so a failure never leaves a partial
// file behind a good name.
#include <cstdint>
#include <string>

namespace rollmode::records {

class TOutputFile {
public:
    explicit TOutputFile(std::string path) : path_(std::move(path)) {}
    ~TOutputFile() { Discard(); }
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;
    TOutputFile(TOutputFile&& other) noexcept;
    TOutputFile& operator=(TOutputFile&&) = delete;

    // Creates the temporary file (empty, open for writing through Fd()).
    bool Create();
    int Fd() const { return fd_; }
    const std::string& TempPath() const { return temp_; }
    const std::string& Path() const { return path_; }
    // A final name other than the one given at construction (before Commit()).
    void Rename(std::string path) { path_ = std::move(path); }

    // Closes the file if still open and renames it to its final name.
    bool Commit();
    void Discard();
    // Closes the descriptor; false on a deferred write error.
    bool Close();
    const std::string& Error() const { return error_; }

private:
    std::string path_, temp_, error_;
    int fd_ = -1;
    bool committed_ = false;
};

// A fixed buffer in front of a file descriptor; the first write error sticks.
class TBufferedWriter {
public:
    explicit TBufferedWriter(std::size_t bytes = 1 << 20);
    ~TBufferedWriter();
    TBufferedWriter(const TBufferedWriter&) = delete;
    TBufferedWriter& operator=(const TBufferedWriter&) = delete;

    void Attach(int fd) { fd_ = fd; }
    // Room for at least `bytes` at the returned place; hand it back with Advance().
    char* Reserve(std::size_t bytes) {
        if (static_cast<std::size_t>(end_ - pos_) < bytes) Flush();
        return pos_;
    }
    void Advance(char* to) { pos_ = to; }
    void Write(const char* data, std::size_t bytes);
    bool Flush();
    bool Failed() const { return errno_ != 0; }
    int ErrorNumber() const { return errno_; }
    uint64_t Written() const { return written_ + static_cast<uint64_t>(pos_ - begin_); }

private:
    char* begin_;
    char* pos_;
    char* end_;
    int fd_ = -1;
    int errno_ = 0;
    uint64_t written_ = 0;
};

// Writes out what `writer` still holds and renames `out` to its final name; on failure
// the output is dropped and `error` says why.
bool FlushAndCommit(TBufferedWriter& writer, TOutputFile& out, std::string& error);

}  // namespace rollmode::records
