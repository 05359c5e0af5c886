#include "platform/ProcessStats.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace rollmode::platform {

double ProcessCpuSeconds(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/stat");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name may hold blanks and parentheses: fields are counted after the last ')'.
    const auto close = text.rfind(')');
    if (close == std::string::npos || close + 2 > text.size()) return -1;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 13; ++i) rest >> field;  // fields 3..13 precede utime (14) and stime (15)
    if (!(rest >> utime >> stime)) return -1;
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

}  // namespace rollmode::platform
