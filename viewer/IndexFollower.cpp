#include "IndexFollower.h"

#include <QMetaObject>

#include <sys/stat.h>

namespace rollmode::viewer {

namespace {

// Identity and size of the file at a path, so a replacement (a new file under the same
// name) or a truncation shows even though the index keeps the old file open.
struct FileState {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    uint64_t size = 0;
};

FileState StateOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    return {true, info.st_dev, info.st_ino, static_cast<uint64_t>(info.st_size)};
}

}  // namespace

TIndexFollower::TIndexFollower(QObject* parent) : QObject(parent) {}

TIndexFollower::~TIndexFollower() { Stop(); }

void TIndexFollower::Start(const QString& recordPath) {
    Stop();
    stop_ = false;
    worker_ = std::thread(&TIndexFollower::Run, this, recordPath.toStdString());
}

void TIndexFollower::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
    loading_ = false;
}

bool TIndexFollower::Sleep(int milliseconds) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return stop_.load(); });
}

void TIndexFollower::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void TIndexFollower::Run(std::string path) {
    bool reported = false;  // the present trouble was already reported
    while (!stop_) {
        auto index = std::make_shared<records::TRecordIndex>();
        const FileState atOpen = StateOf(path);
        loading_ = true;
        doneBytes_ = 0;
        totalBytes_ = atOpen.size;
        Post([this, index] {
            index_ = index;
            emit indexChanged();
        });
        const bool ok = index->Open(
            path,
            [this](uint64_t done, uint64_t total) {
                doneBytes_ = done;
                totalBytes_ = total;
            },
            &stop_);
        loading_ = false;
        if (stop_) return;
        const QString error = QString::fromStdString(index->Error());
        Post([this, ok, error] { emit opened(ok, error); });
        if (!ok) return;
        reported = false;

        // Follow until the record is replaced, truncated or the viewer stops.
        while (Sleep(kFollowMilliseconds)) {
            const FileState now = StateOf(path);
            QString trouble;
            if (!now.exists) {
                // The open index still reads the unlinked file; keep showing it and
                // read again when a file of that name comes back.
                if (!reported) {
                    Post([this] { emit notice(tr("The record file was deleted; showing what was read.")); });
                    reported = true;
                }
                continue;
            }
            if (now.device != atOpen.device || now.inode != atOpen.inode) {
                trouble = tr("The record file was replaced; read again from the start.");
            } else if (now.size < index->RecordBytes()) {
                trouble = tr("The record file was truncated; read again from the start.");
            } else if (index->Update()) {
                Post([this] { emit grown(); });
            }
            if (trouble.isEmpty() && index->Replaced()) trouble = tr("The record file changed; read again from the start.");
            if (!trouble.isEmpty()) {
                Post([this, trouble] { emit notice(trouble); });
                break;
            }
        }
    }
}

}  // namespace rollmode::viewer
