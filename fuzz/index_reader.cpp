// The record index reader on damaged and arbitrary index files beside a small record.
//
// Input: a mode byte, then either the whole index file (mode bit 0 set) or edits to a
// valid index of the record: 4 bytes each, a 24-bit position and a byte to xor there.
// Mode bit 1 truncates the result to the length in the next two bytes; mode bit 2
// repairs the checksum after the damage, so the checks behind it are reached too.
//
// Whatever the index holds, opening succeeds, queries never crash, never answer beyond
// the instants asked for, and an index that was rebuilt answers exactly as the record
// reader reads the record, as does the valid index itself.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "IndexFileName.h"
#include "IndexFormat.h"
#include "IndexTestRecords.h"
#include "RecordFileReader.h"
#include "RecordIndex.h"

namespace {

using namespace rollmode::records;
using rollmode::records::testing::BruteExtremes;
using rollmode::records::testing::ReadTruth;
using rollmode::records::testing::TruthInstant;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

void Put(std::vector<uint16_t>& w, std::initializer_list<uint16_t> words) { w.insert(w.end(), words); }

struct Fixture {
    std::string dir = "/dev/shm/rollmode-fuzz-index-" + std::to_string(::getpid());
    std::string record = dir + "/sdata.rmd";
    std::string index = dir + "/" + IndexFileName("sdata.rmd");
    std::string cache = dir + "/cache";  // where an index goes when sdata.ind is foreign
    std::vector<uint8_t> validIndex;
    std::vector<TruthInstant> truth;

    Fixture() {
        // libFuzzer may end without running destructors: clear what earlier runs left.
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ec)) {
            const std::string name = entry.path().filename().string();
            const std::string prefix = "rollmode-fuzz-index-";
            if (name.compare(0, prefix.size(), prefix) != 0) continue;
            const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
            if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) std::filesystem::remove_all(entry.path(), ec);
        }
        std::filesystem::create_directories(dir);
        ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        // Two measurements, settings changes inside buckets, not-armed runs, overflow
        // marks, and enough instants for two offset-table entries.
        std::vector<uint16_t> w;
        Put(w, {0, 4, 1, 1, 0, 6, 2, 2000, 120, 0, 0, 6, 3, 2100, 65516, 0, 0, 5, 10, 50000, 0, 0, 5, 11, 200, 0,
                0, 5, 12, 50, 0});
        for (int i = 0; i < 70000; ++i) {
            if (i % 9000 == 4500) Put(w, {0, 5, 11, static_cast<uint16_t>(100 + i % 7), 0});
            if (i % 13000 == 77) Put(w, {1});
            if (i % 20000 > 19800) {
                w.push_back(2);
                continue;
            }
            if (i == 40000) Put(w, {0, 4, 1, 0, 0, 4, 1, 1, 0, 6, 2, 2000, 130, 0});
            w.push_back(static_cast<uint16_t>(0x0303 + ((i * 37) % 250) + (((i * 11) % 240) << 8)));
        }
        std::ofstream(record, std::ios::binary).write(reinterpret_cast<const char*>(w.data()),
                                                      static_cast<std::streamsize>(w.size() * 2));
        truth = ReadTruth(record);
        Check(!truth.empty(), "cannot read the record");
        std::remove(index.c_str());
        {
            TRecordIndex built;
            Check(built.Open(record), "cannot index the record");
        }
        std::ifstream in(index, std::ios::binary);
        validIndex.assign(std::istreambuf_iterator<char>(in), {});
        Check(validIndex.size() > indexformat::kHeaderBytes, "no index written");
    }
    ~Fixture() { std::filesystem::remove_all(dir); }
};

// Recomputes the checksum of `bytes` when its header describes sections inside it.
void RepairChecksum(std::vector<uint8_t>& bytes) {
    using namespace indexformat;
    if (bytes.size() < kHeaderBytes) return;
    Header h;
    std::memcpy(&h, bytes.data(), sizeof h);
    h.fileBytes = bytes.size();
    if (h.capacityInstants > kMaxInstants || h.instants > h.capacityInstants || h.listsOffset > bytes.size()) return;
    const Layout l = Layout::For(h.capacityInstants);
    if (l.UsedEnd(h.instants) > h.listsOffset || h.eventCount > bytes.size() || h.stretchCount > bytes.size()) return;
    if (h.eventCount * sizeof(EventEntry) + h.stretchCount * sizeof(StretchEntry) > bytes.size() - h.listsOffset)
        return;
    std::memcpy(bytes.data(), &h, sizeof h);
    h.checksum = Checksum(bytes.data(), h, bytes.data() + h.listsOffset);
    std::memcpy(bytes.data(), &h, sizeof h);
}

bool Same(const MinMaxMv& x, const MinMaxMv& y) { return x.valid == y.valid && (!x.valid || (x.min == y.min && x.max == y.max)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture fx;
    if (size == 0) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    std::vector<uint8_t> bytes;
    if ((mode & 1) != 0) {
        bytes.assign(data, data + size);
    } else {
        bytes = fx.validIndex;
        for (; size >= 4; data += 4, size -= 4) {
            const std::size_t at = (data[0] | (data[1] << 8) | (data[2] << 16)) % bytes.size();
            bytes[at] ^= data[3];
        }
    }
    if ((mode & 2) != 0 && size >= 2) bytes.resize(std::min<std::size_t>(bytes.size(), data[0] | (data[1] << 8)));
    if ((mode & 4) != 0) RepairChecksum(bytes);
    std::filesystem::remove_all(fx.cache);
    {
        std::ofstream out(fx.index, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    TRecordIndex index;
    Check(index.Open(fx.record), "open failed");
    const uint64_t n = index.PublishedInstants();
    Check(n <= fx.truth.size(), "more instants than the record holds");
    // Rebuilt, or reused untouched: then every answer must be the record's.
    const bool exact = index.HowOpened() == TRecordIndex::Origin::Built || bytes == fx.validIndex;
    if (exact) Check(n == fx.truth.size(), "a rebuilt index misses instants");

    std::vector<MinMaxMv> env(2 * 97);
    for (double perColumn : {0.7, 37.0, 300.0, 5000.0, 80000.0}) {
        index.Envelope(1234, perColumn, 97, env.data());
        for (const MinMaxMv& m : env) Check(!m.valid || (std::isfinite(m.min) && m.min <= m.max), "bad envelope");
    }
    MinMaxMv got[2], want[2];
    for (uint64_t a : {0ull, 255ull, 4097ull, 65535ull}) {
        const uint64_t b = a + 3000 + a / 3;
        index.Extremes(a, b, got);
        if (exact) {
            BruteExtremes(fx.truth, a, b, want);
            Check(Same(got[0], want[0]) && Same(got[1], want[1]), "extremes differ from the record");
        }
    }
    std::vector<RawInstant> raw(600);
    for (uint64_t a : {0ull, 65530ull, 69990ull}) {
        const std::size_t count = index.ReadInstants(a, raw.size(), raw.data());
        Check(count <= raw.size(), "more instants than asked for");
        for (std::size_t k = 0; k < count; ++k) {
            Check(raw[k].instant >= a && raw[k].instant < n, "an instant outside the range");
            if (exact) Check(raw[k].notArmed == (fx.truth[a + k].word == 2), "raw instants differ from the record");
        }
    }
    for (const auto& m : index.Measurements()) {
        Check(m.firstInstant <= n + 1, "measurement outside the record");
        (void)index.SecondsAt(m, m.endInstant);
        (void)index.InstantAtSeconds(m, 0.5);
    }
    (void)index.Events(0, n);
    (void)index.NotArmed(0, n);
    (void)index.SettingsAt(n / 2);
    index.Update();
    return 0;
}
