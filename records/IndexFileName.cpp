#include "IndexFileName.h"

namespace rollmode::records {

std::string IndexFileName(const std::string& recordFileName) {
    if (recordFileName.size() < 4) return "ind";
    return recordFileName.substr(0, recordFileName.size() - 3) + "ind";
}

}  // namespace rollmode::records
