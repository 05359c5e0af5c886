#pragma once
// Runs a test in a fresh, empty current folder: the settings component reads and writes
// its files there, and a file left by an earlier run must not change the result.
#include <QDir>
#include <QTemporaryDir>

class TempWorkFolder {
public:
    TempWorkFolder() : saved_(QDir::currentPath()) { QDir::setCurrent(folder_.path()); }
    ~TempWorkFolder() { QDir::setCurrent(saved_); }
    TempWorkFolder(const TempWorkFolder&) = delete;
    TempWorkFolder& operator=(const TempWorkFolder&) = delete;
    bool IsValid() const { return folder_.isValid(); }

private:
    QTemporaryDir folder_;
    QString saved_;
};
