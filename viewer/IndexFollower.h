#pragma once
// Opens a record's index in a worker thread and then follows the record as it grows,
// five times a second. A record truncated, replaced or deleted while open is reported
// and read again. The window only ever queries the index it was last handed; the
// worker never touches an index again once it handed on a newer one.
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "RecordIndex.h"

namespace rollmode::viewer {

class TIndexFollower : public QObject {
    Q_OBJECT
public:
    static constexpr int kFollowMilliseconds = 200;

    explicit TIndexFollower(QObject* parent = nullptr);
    ~TIndexFollower() override;

    void Start(const QString& recordPath);
    void Stop();

    // The index the window draws from (user-interface thread only).
    std::shared_ptr<const records::TRecordIndex> Index() const { return index_; }
    bool Loading() const { return loading_.load(); }
    // Bytes done and in total of the open in progress.
    uint64_t DoneBytes() const { return doneBytes_.load(); }
    uint64_t TotalBytes() const { return totalBytes_.load(); }

signals:
    // A new index object to draw from: the open has begun and queries see it grow.
    void indexChanged();
    // The open finished: `ok` false when the record cannot be read (`error` says why).
    void opened(bool ok, const QString& error);
    // New data arrived while following.
    void grown();
    // The record was truncated, replaced or deleted; `text` says which.
    void notice(const QString& text);

private:
    void Run(std::string path);
    bool Sleep(int milliseconds);
    void Post(std::function<void()> call);

    std::shared_ptr<const records::TRecordIndex> index_;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> loading_{false};
    std::atomic<uint64_t> doneBytes_{0}, totalBytes_{0};
};

}  // namespace rollmode::viewer
