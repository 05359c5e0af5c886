// The record file reader on arbitrary file contents, through a buffer of any small
// size so that items straddle its refills.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "RecordFileReader.h"

namespace {

struct TempFile {
    std::string path = "/dev/shm/rollmode-fuzz-record-" + std::to_string(::getpid()) + ".rmd";
    ~TempFile() { std::remove(path.c_str()); }
};

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempFile file;
    if (size == 0) return 0;
    const std::size_t bufferBytes = 1 + data[0] % 64;
    ++data;
    --size;
    std::FILE* f = std::fopen(file.path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);

    rollmode::records::TRecordFileReader reader(bufferBytes);
    Check(reader.Open(file.path), "cannot open");
    rollmode::records::RecordItem item;
    uint64_t lastOffset = 0;
    bool first = true;
    while (reader.Next(item)) {
        Check(first || item.offset > lastOffset, "item offsets do not advance");
        Check(item.offset + 2 <= size, "item beyond the end of the file");
        first = false;
        lastOffset = item.offset;
        if (item.kind == rollmode::records::RecordItem::Kind::Sample) {
            (void)reader.Settings().Millivolts(0, item.CodeA());
            (void)reader.Settings().Millivolts(1, item.CodeB());
        }
    }
    Check(reader.Offset() <= size, "read beyond the end of the file");
    if (reader.Failed()) Check(reader.ErrorOffset() <= size, "error beyond the end of the file");
    else Check(reader.Offset() == size, "stopped early without an error");
    (void)reader.ElapsedSeconds();

    // The tail scan used before appending agrees with the reader: whole items end
    // where the reader finds a cut-off record, and nothing is dropped otherwise.
    if (size % 2 == 0) {
        std::vector<uint16_t> words(size / 2);
        if (!words.empty()) std::memcpy(words.data(), data, size);
        const std::size_t fromStart = rollmode::records::WholeTailWords(words.data(), words.size(), true);
        const std::size_t fromTail = rollmode::records::WholeTailWords(words.data(), words.size(), false);
        if (reader.Failed() && reader.TornTail())
            Check(fromStart * 2 == reader.ErrorOffset(), "tail scan and reader disagree on a cut-off record");
        else
            Check(fromStart == words.size(), "tail scan drops words the reader takes");
        if (!reader.Failed() || reader.TornTail())
            Check(fromTail == fromStart || fromTail == words.size(), "tail scan from a sample point disagrees");
    }
    return 0;
}
