#pragma once
// The ring buffer between the acquisition thread (writer) and the processing
// thread (reader). The writer hands the driver a pointer into the buffer, so a
// block lands in place with no copy; the reader takes every pending word at once.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "NotificationCodes.h"
#include "VirtualScopeLyraRM.h"
#include "platform/AutoResetEvent.h"

namespace rollmode::core {

class TDataSourceModuleLyraRM final : public TNotificationHandler {
public:
    static constexpr int32_t kBufferWords = 1048576;
    static constexpr int32_t kWrapPoint = 983040;     // an index reaching this returns to 0
    static constexpr int32_t kMaxBlockWords = 65536;  // the tail beyond the wrap point
    static constexpr uint32_t kReadWaitMs = 1000;

    TDataSourceModuleLyraRM();
    ~TDataSourceModuleLyraRM() override;
    TDataSourceModuleLyraRM(const TDataSourceModuleLyraRM&) = delete;
    TDataSourceModuleLyraRM& operator=(const TDataSourceModuleLyraRM&) = delete;

    // The module listens to the model only to detach at shutdown.
    TVirtualScopeLyraRM* VirtualScope() const { return scope_; }
    void SetVirtualScope(TVirtualScopeLyraRM* scope);
    int32_t ControlGroup() const { return controlGroup_; }
    void SetControlGroup(int32_t v) { controlGroup_ = v; }
    void HandleNotification(int32_t code, int32_t& group) override;

    void ResetBuffer();

    // Waits until a block of up to kMaxBlockWords fits without touching unread
    // words, then returns the write position. Returns nullptr only after AbortWaits().
    uint16_t* GetWriteBuffer();
    void CommitWrite(int32_t n);

    // Waits up to waitMs (a second by default) for data; nullptr when none came. n is every
    // pending word.
    const uint16_t* GetReadBuffer(int32_t& n, uint32_t waitMs = kReadWaitMs);
    void CommitRead(int32_t n);

    // Ends the reader's current wait at once (shutdown), with whatever is pending.
    void WakeReader() { dataEvent_.Set(); }

    // Releases a writer blocked in GetWriteBuffer for good (shutdown when the reader
    // is gone); ResetBuffer re-arms it.
    void AbortWaits();

    // Counters, for tests and diagnostics.
    int32_t ReadIndex() const;
    int32_t WriteIndex() const;
    int32_t PendingCount() const;
    int32_t WrappedCount() const;
    bool WriterWrapped() const;

private:
    bool RoomForBlock() const;  // under lock_

    TVirtualScopeLyraRM* scope_ = nullptr;
    int32_t controlGroup_ = kGroupDataSource;
    std::unique_ptr<uint16_t[]> words_;
    mutable std::mutex lock_;
    int32_t readIndex_ = 0;
    int32_t writeIndex_ = 0;
    int32_t pendingCount_ = 0;
    int32_t wrappedCount_ = 0;
    bool writerWrapped_ = false;
    std::atomic<bool> aborted_{false};
    platform::AutoResetEvent spaceEvent_;
    platform::AutoResetEvent dataEvent_;
};

}  // namespace rollmode::core
