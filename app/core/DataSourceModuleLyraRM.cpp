#include "DataSourceModuleLyraRM.h"

namespace rollmode::core {

TDataSourceModuleLyraRM::TDataSourceModuleLyraRM() : words_(new uint16_t[kBufferWords]()) {}

TDataSourceModuleLyraRM::~TDataSourceModuleLyraRM() {
    if (scope_) scope_->UnregisterListener(this, this);
}

void TDataSourceModuleLyraRM::SetVirtualScope(TVirtualScopeLyraRM* scope) {
    if (scope_) scope_->UnregisterListener(this, this);
    scope_ = scope;
    if (scope_) scope_->RegisterListener(controlGroup_, this, this);
}

void TDataSourceModuleLyraRM::HandleNotification(int32_t code, int32_t& /*group*/) {
    if (code != kNotifyShutdown || !scope_) return;
    TVirtualScopeLyraRM* scope = scope_;
    scope_ = nullptr;
    scope->UnregisterListener(this, this);
}

void TDataSourceModuleLyraRM::ResetBuffer() {
    std::lock_guard guard(lock_);
    readIndex_ = writeIndex_ = pendingCount_ = wrappedCount_ = 0;
    writerWrapped_ = false;
    aborted_.store(false, std::memory_order_relaxed);
    dataEvent_.Reset();
    spaceEvent_.Set();
}

// Once the writer has wrapped, the unread words of the old lap lie ahead of it:
// a whole block must fit below the read index. Before it wraps, everything ahead
// of the write index is free (the tail beyond the wrap point takes the overhang).
bool TDataSourceModuleLyraRM::RoomForBlock() const {
    return !writerWrapped_ || writeIndex_ + kMaxBlockWords <= readIndex_;
}

uint16_t* TDataSourceModuleLyraRM::GetWriteBuffer() {
    for (;;) {
        if (aborted_.load(std::memory_order_relaxed)) return nullptr;
        // Bounded slices so that AbortWaits is seen even without a Set.
        if (spaceEvent_.Wait(100)) break;
    }
    if (aborted_.load(std::memory_order_relaxed)) return nullptr;
    std::lock_guard guard(lock_);
    return words_.get() + writeIndex_;
}

void TDataSourceModuleLyraRM::CommitWrite(int32_t n) {
    // The events change under the buffer lock so that a concurrent commit on the
    // other side cannot be overtaken by a stale Set or Reset.
    std::lock_guard guard(lock_);
    writeIndex_ += n;
    if (writerWrapped_)
        wrappedCount_ += n;
    else
        pendingCount_ += n;
    if (writeIndex_ >= kWrapPoint) {
        writeIndex_ = 0;
        writerWrapped_ = true;
    }
    if (pendingCount_ + wrappedCount_ < kWrapPoint && RoomForBlock())
        spaceEvent_.Set();
    else
        spaceEvent_.Reset();
    if (pendingCount_ > 0) dataEvent_.Set();
}

const uint16_t* TDataSourceModuleLyraRM::GetReadBuffer(int32_t& n, uint32_t waitMs) {
    n = 0;
    if (!dataEvent_.Wait(waitMs)) return nullptr;
    std::lock_guard guard(lock_);
    n = pendingCount_;
    return words_.get() + readIndex_;
}

void TDataSourceModuleLyraRM::CommitRead(int32_t n) {
    std::lock_guard guard(lock_);
    pendingCount_ -= n;
    readIndex_ += n;
    if (readIndex_ >= kWrapPoint) {
        readIndex_ = 0;
        writerWrapped_ = false;
        pendingCount_ += wrappedCount_;
        wrappedCount_ = 0;
    }
    if (pendingCount_ < kWrapPoint && RoomForBlock()) spaceEvent_.Set();
    if (pendingCount_ > 0)
        dataEvent_.Set();
    else
        dataEvent_.Reset();
}

void TDataSourceModuleLyraRM::AbortWaits() {
    aborted_.store(true, std::memory_order_relaxed);
    spaceEvent_.Set();
}

int32_t TDataSourceModuleLyraRM::ReadIndex() const { std::lock_guard g(lock_); return readIndex_; }
int32_t TDataSourceModuleLyraRM::WriteIndex() const { std::lock_guard g(lock_); return writeIndex_; }
int32_t TDataSourceModuleLyraRM::PendingCount() const { std::lock_guard g(lock_); return pendingCount_; }
int32_t TDataSourceModuleLyraRM::WrappedCount() const { std::lock_guard g(lock_); return wrappedCount_; }
bool TDataSourceModuleLyraRM::WriterWrapped() const { std::lock_guard g(lock_); return writerWrapped_; }

}  // namespace rollmode::core
