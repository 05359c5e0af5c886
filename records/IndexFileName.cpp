#include "IndexFileName.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cctype>

namespace rollmode::records {

namespace {

constexpr std::size_t kExtensionChars = 3;

// Where the file's own name starts in a path.
std::size_t BaseStart(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

bool IsIndExtension(const std::string& name, std::size_t at) {
    static constexpr char kInd[] = "ind";
    for (std::size_t i = 0; i < kExtensionChars; ++i)
        if (std::tolower(static_cast<unsigned char>(name[at + i])) != kInd[i]) return false;
    return true;
}

}  // namespace

std::string IndexFileName(const std::string& recordFileName) {
    const std::size_t base = BaseStart(recordFileName);
    const std::size_t length = recordFileName.size() - base;
    const bool hasExtension = length > kExtensionChars && recordFileName[recordFileName.size() - 4] == '.';
    if (hasExtension && !IsIndExtension(recordFileName, recordFileName.size() - kExtensionChars))
        return recordFileName.substr(0, recordFileName.size() - kExtensionChars) + "ind";
    return recordFileName + ".ind";
}

IndexRemoval RemoveIndexFileOf(const std::string& recordPath) {
    if (recordPath.find('\0') != std::string::npos) return IndexRemoval::Kept;
    const std::string index = IndexFileName(recordPath);
    const std::size_t base = BaseStart(index);
    // Looked up and unlinked relative to the record's folder, so no name can reach
    // outside it.
    const std::string folder = base == 0 ? std::string(".") : index.substr(0, base);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return IndexRemoval::Absent;
    const char* name = index.c_str() + base;
    IndexRemoval result = IndexRemoval::Kept;
    struct stat indexInfo {};
    if (::fstatat(dir, name, &indexInfo, AT_SYMLINK_NOFOLLOW) != 0) {
        result = errno == ENOENT ? IndexRemoval::Absent : IndexRemoval::Kept;
    } else if (S_ISREG(indexInfo.st_mode)) {
        // The record as it is opened, links followed: an index name that leads to the
        // record's own data is never unlinked.
        struct stat recordInfo {};
        const bool recordKnown = ::stat(recordPath.c_str(), &recordInfo) == 0;
        const bool same = recordKnown && recordInfo.st_dev == indexInfo.st_dev && recordInfo.st_ino == indexInfo.st_ino;
        if (recordKnown && !same && ::unlinkat(dir, name, 0) == 0) result = IndexRemoval::Removed;
    }
    ::close(dir);
    return result;
}

}  // namespace rollmode::records
