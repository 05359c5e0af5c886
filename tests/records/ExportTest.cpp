// The exports against an independent reading of the same recording (RecordFileBuilder).
#include <gtest/gtest.h>
#include <hdf5.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "CsvExporter.h"
#include "Hdf5Exporter.h"
#include "RecordFileBuilder.h"
#include "WavExporter.h"
#include "WindowStats.h"

using namespace rollmode::records;
using rollmode::testing::StandardRecording;
using rollmode::testing::TExpectedInstant;
using rollmode::testing::TRecordFileBuilder;
namespace fs = std::filesystem;

namespace {

constexpr uint64_t kPs = TInstantClock::kPsPerSecond;

struct Folder {
    fs::path path;
    explicit Folder(const std::string& name) : path(fs::path(::testing::TempDir()) / ("export_" + name)) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, ec);
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

struct Outcome {
    TWordScanner::Status status = TWordScanner::Status::Whole;
    uint64_t errorOffset = 0;
    bool finished = false;
    std::string error;
    std::vector<std::string> notes;
};

// Runs an export as rmtool does: begin, walk, finish.
template <typename Exporter, typename... Args>
Outcome Export(const std::string& input, const std::string& output, TExportOptions options,
               std::size_t bufferBytes = 1 << 20, Args... args) {
    Outcome outcome;
    options.note = [&](const std::string& text) { outcome.notes.push_back(text); };
    Exporter exporter(output, options, args...);
    TWordScanner scanner(bufferBytes);
    EXPECT_TRUE(scanner.Open(input)) << scanner.Error();
    if (!exporter.Begin()) {
        outcome.error = exporter.Error();
        return outcome;
    }
    TMeasurementWalker walker(scanner, options.range, exporter);
    outcome.status = walker.Run();
    outcome.errorOffset = scanner.ErrorOffset();
    outcome.finished = exporter.Finish();
    outcome.error = exporter.Error();
    return outcome;
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> ExpectedCsv(const std::vector<TExpectedInstant>& rows) {
    std::vector<std::string> lines{"measurement,time_s,a_mV,b_mV"};
    for (const auto& e : rows) lines.push_back(TRecordFileBuilder::CsvLine(e));
    return lines;
}

TExportOptions Range(uint32_t measurement, double from, double to) {
    TExportOptions o;
    o.range.measurement = measurement;
    o.range.fromPs = static_cast<uint64_t>(std::llround(from * kPs));
    o.range.toPs = to < 0 ? TExportRange::kEnd : static_cast<uint64_t>(std::llround(to * kPs));
    return o;
}

}  // namespace

// Buffer sizes that cut records and words at every place.
TEST(ExportCsv, MatchesTheIndependentReadingAtAnyBufferSize) {
    Folder dir("csv_whole");
    const TRecordFileBuilder b = StandardRecording();
    b.Write(dir / "in.rmd");
    const auto expected = ExpectedCsv(b.SampleRows());
    for (std::size_t buffer : {64u, 66u, 70u, 74u, 1u << 20}) {
        const Outcome o = Export<TCsvExporter>(dir / "in.rmd", dir / "out.csv", TExportOptions{}, buffer);
        ASSERT_TRUE(o.finished) << o.error;
        EXPECT_EQ(o.status, TWordScanner::Status::Whole);
        EXPECT_EQ(Lines(dir / "out.csv"), expected) << "buffer " << buffer;
    }
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"in.rmd", "out.csv"}));  // no temporary file left
}

TEST(ExportCsv, KeepsTheRangeAndEveryNthRow) {
    Folder dir("csv_range");
    const TRecordFileBuilder b = StandardRecording();
    b.Write(dir / "in.rmd");
    auto select = [&](uint32_t m, double from, double to) {
        std::vector<TExpectedInstant> rows;
        for (const auto& e : b.SampleRows())
            if (e.measurement == m && e.ns >= from * 1e9 && (to < 0 || e.ns < to * 1e9)) rows.push_back(e);
        return rows;
    };
    // Across the rate change to 3/s and back, from an instant on to one off it.
    Outcome o = Export<TCsvExporter>(dir / "in.rmd", dir / "a.csv", Range(1, 1.0, 7.3001));
    ASSERT_TRUE(o.finished) << o.error;
    EXPECT_EQ(Lines(dir / "a.csv"), ExpectedCsv(select(1, 1.0, 7.3001)));
    EXPECT_EQ(o.notes, std::vector<std::string>{});

    o = Export<TCsvExporter>(dir / "in.rmd", dir / "b.csv", Range(2, 0.25, -1));
    ASSERT_TRUE(o.finished);
    EXPECT_EQ(Lines(dir / "b.csv"), ExpectedCsv(select(2, 0.25, -1)));

    TExportOptions every;
    every.every = 7;
    o = Export<TCsvExporter>(dir / "in.rmd", dir / "c.csv", every);
    ASSERT_TRUE(o.finished);
    std::vector<TExpectedInstant> kept;
    const auto all = b.SampleRows();
    for (std::size_t i = 0; i < all.size(); i += 7) kept.push_back(all[i]);
    EXPECT_EQ(Lines(dir / "c.csv"), ExpectedCsv(kept));
}

TEST(ExportCsv, SaysOnceWhenASpreadsheetCannotTakeItAll) {
    Folder dir("csv_limit");
    for (const uint64_t rows : {TCsvExporter::kSpreadsheetRows, TCsvExporter::kSpreadsheetRows + 3}) {
        std::vector<uint16_t> words(rows, 0x0505);
        std::ofstream(dir / "in.rmd", std::ios::binary)
            .write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(2 * words.size()));
        const Outcome o = Export<TCsvExporter>(dir / "in.rmd", dir / "out.csv", TExportOptions{});
        ASSERT_TRUE(o.finished);
        EXPECT_EQ(o.notes.size(), rows > TCsvExporter::kSpreadsheetRows ? 1u : 0u) << rows;
    }
}

TEST(ExportCsv, ExportsWhatComesBeforeATornTailOrAMalformedItem) {
    Folder dir("csv_faults");
    TRecordFileBuilder b = StandardRecording();
    const auto expected = ExpectedCsv(b.SampleRows());
    // A rate record cut after its code word, then an odd byte.
    b.Write(dir / "torn.rmd", {0, 0, 5, 0, 10, 0});
    b.Write(dir / "odd.rmd", {0x33});
    for (const char* name : {"torn.rmd", "odd.rmd"}) {
        const Outcome o = Export<TCsvExporter>(dir / name, dir / "out.csv", TExportOptions{}, 64);
        EXPECT_EQ(o.status, TWordScanner::Status::TornTail) << name;
        EXPECT_EQ(o.errorOffset, 2 * b.words.size()) << name;
        ASSERT_TRUE(o.finished);
        EXPECT_EQ(Lines(dir / "out.csv"), expected);
    }
    // A record of length 9 after the first 1000 instants of measurement 1.
    TRecordFileBuilder m;
    m.Start(1000, {0, 0}, {32, 32});
    m.Samples(1000);
    const std::size_t at = m.words.size();
    m.words.insert(m.words.end(), {0, 9, 10, 0, 0});
    m.Samples(10);
    m.Write(dir / "bad.rmd");
    const Outcome o = Export<TCsvExporter>(dir / "bad.rmd", dir / "out.csv", TExportOptions{});
    EXPECT_EQ(o.status, TWordScanner::Status::Malformed);
    EXPECT_EQ(o.errorOffset, 2 * at);
    auto rows = m.SampleRows();
    rows.resize(1000);
    EXPECT_EQ(Lines(dir / "out.csv"), ExpectedCsv(rows));
}

TEST(ExportOutput, FailuresLeaveNothingBehindAGoodName) {
    Folder dir("failures");
    StandardRecording().Write(dir / "in.rmd");
    // A folder that does not exist: nothing is begun.
    Outcome o = Export<TCsvExporter>(dir / "in.rmd", dir / "none/out.csv", TExportOptions{});
    EXPECT_FALSE(o.finished);
    EXPECT_NE(o.error.find("cannot write"), std::string::npos) << o.error;

    // A full disk, as a file-size limit: the write fails, the partial file goes. In a
    // child process, as the limit is the process's and HDF5 keeps what it had of a file
    // whose closing failed until the process ends.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small{};
        getrlimit(RLIMIT_FSIZE, &small);
        small.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &small);
        for (int format = 0; format < 3; ++format) {
            if (format == 0) o = Export<TCsvExporter>(dir / "in.rmd", dir / "out.csv", TExportOptions{});
            if (format == 1) o = Export<TWavExporter>(dir / "in.rmd", dir / "out.wav", TExportOptions{});
            if (format == 2) o = Export<THdf5Exporter>(dir / "in.rmd", dir / "out.h5", TExportOptions{});
            if (o.finished || o.error.find("cannot write") == std::string::npos) _exit(10 + format);
            if (dir.Names() != std::vector<std::string>{"in.rmd"}) _exit(20 + format);
        }
        _exit(0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1x: a format reported no failure, 2x: it left a file";
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"in.rmd"});
}

namespace {

struct H5Segment {
    std::string name;
    double start = 0, rate = 0;
    std::array<int32_t, 2> zero{};
    std::array<double, 2> mvPerCode{};
    std::vector<uint8_t> codes;
    std::vector<float> a, b;
};

template <typename T>
void ReadAttribute(hid_t group, const char* name, hid_t type, T* into) {
    const hid_t attribute = H5Aopen(group, name, H5P_DEFAULT);
    ASSERT_GE(attribute, 0) << name;
    EXPECT_GE(H5Aread(attribute, type, into), 0);
    H5Aclose(attribute);
}

template <typename T>
std::vector<T> ReadDataset(hid_t group, const char* name, hid_t type) {
    const hid_t ds = H5Dopen2(group, name, H5P_DEFAULT);
    if (ds < 0) return {};
    const hid_t space = H5Dget_space(ds);
    hsize_t dims[2] = {0, 1};
    const int rank = H5Sget_simple_extent_dims(space, dims, nullptr);
    std::vector<T> data(dims[0] * (rank == 2 ? dims[1] : 1));
    if (!data.empty()) {
        EXPECT_GE(H5Dread(ds, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, data.data()), 0);
    }
    H5Sclose(space);
    H5Dclose(ds);
    return data;
}

// Every segment of every measurement group, in the order s1, s2, ...
std::map<std::string, std::vector<H5Segment>> ReadHdf5(const std::string& path) {
    std::map<std::string, std::vector<H5Segment>> file;
    const hid_t f = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    EXPECT_GE(f, 0);
    for (int m = 0; m < 4; ++m) {
        const std::string group = "m" + std::to_string(m);
        if (H5Lexists(f, group.c_str(), H5P_DEFAULT) <= 0) continue;
        const hid_t g = H5Gopen2(f, group.c_str(), H5P_DEFAULT);
        for (int s = 1;; ++s) {
            const std::string name = "s" + std::to_string(s);
            if (H5Lexists(g, name.c_str(), H5P_DEFAULT) <= 0) break;
            const hid_t sg = H5Gopen2(g, name.c_str(), H5P_DEFAULT);
            H5Segment seg;
            seg.name = group + "/" + name;
            ReadAttribute(sg, "start_s", H5T_NATIVE_DOUBLE, &seg.start);
            ReadAttribute(sg, "rate_hz", H5T_NATIVE_DOUBLE, &seg.rate);
            ReadAttribute(sg, "zero_code", H5T_NATIVE_INT32, seg.zero.data());
            ReadAttribute(sg, "mv_per_code", H5T_NATIVE_DOUBLE, seg.mvPerCode.data());
            seg.codes = ReadDataset<uint8_t>(sg, "codes", H5T_NATIVE_UINT8);
            seg.a = ReadDataset<float>(sg, "a_mV", H5T_NATIVE_FLOAT);
            seg.b = ReadDataset<float>(sg, "b_mV", H5T_NATIVE_FLOAT);
            file[group].push_back(std::move(seg));
            H5Gclose(sg);
        }
        H5Gclose(g);
    }
    H5Fclose(f);
    return file;
}

// The builder's instants cut where the settings or an overflow mark change.
std::vector<std::vector<TExpectedInstant>> Stretches(const TRecordFileBuilder& b, bool byRateOnly) {
    std::vector<std::vector<TExpectedInstant>> out;
    for (const auto& e : b.instants) {
        const auto key = [&](const TExpectedInstant& x) {
            return std::make_pair(x.measurement, byRateOnly ? x.wavSegment : x.segment);
        };
        if (out.empty() || key(out.back().back()) != key(e)) out.emplace_back();
        out.back().push_back(e);
    }
    return out;
}

}  // namespace

TEST(ExportHdf5, OneSubGroupPerStretchOfConstantSettingsWithCodesAndAttributes) {
    Folder dir("hdf5");
    const TRecordFileBuilder b = StandardRecording();
    b.Write(dir / "in.rmd");
    for (const int deflate : {0, 4}) {
        TExportOptions options;
        options.deflate = deflate;
        const Outcome o = Export<THdf5Exporter>(dir / "in.rmd", dir / "out.h5", options, 70);
        ASSERT_TRUE(o.finished) << o.error;
        auto file = ReadHdf5(dir / "out.h5");
        std::size_t index = 0;
        std::map<uint32_t, std::size_t> next;
        for (const auto& stretch : Stretches(b, false)) {
            const TExpectedInstant& first = stretch.front();
            const std::string group = "m" + std::to_string(first.measurement);
            ASSERT_LT(next[first.measurement], file[group].size()) << "stretch " << index;
            const H5Segment& seg = file[group][next[first.measurement]++];
            SCOPED_TRACE(seg.name);
            if (first.timed) {
                EXPECT_NEAR(seg.start, first.ns * 1e-9, 1e-9);
                EXPECT_EQ(seg.rate, first.rate);
            } else {
                EXPECT_TRUE(std::isnan(seg.start));
            }
            ASSERT_EQ(seg.codes.size(), 2 * stretch.size());
            for (int ch = 0; ch < 2; ++ch) {
                if (first.known[ch]) {
                    EXPECT_EQ(seg.zero[ch], first.zero[ch]);
                    EXPECT_EQ(seg.mvPerCode[ch], first.deflection[ch] / 32.0);
                } else {
                    EXPECT_TRUE(std::isnan(seg.mvPerCode[ch]));
                }
            }
            for (std::size_t i = 0; i < stretch.size(); ++i) {
                const uint16_t w = stretch[i].word == 2 ? 0 : stretch[i].word;
                ASSERT_EQ(seg.codes[2 * i], w & 0xFF) << i;
                ASSERT_EQ(seg.codes[2 * i + 1], w >> 8) << i;
                // The documented way back to millivolts.
                if (w != 0 && first.known[0]) {
                    ASSERT_EQ((seg.codes[2 * i] - seg.zero[0]) * seg.mvPerCode[0], stretch[i].mv[0]);
                }
            }
            ++index;
        }
        std::size_t segments = 0;
        for (const auto& [name, list] : file) segments += list.size();
        EXPECT_EQ(segments, index);
        // Short segments take their own size, not a 1 MiB chunk each.
        EXPECT_LT(fs::file_size(dir / "out.h5"), 20 * fs::file_size(dir / "in.rmd"));
    }
}

TEST(ExportHdf5, MillivoltsAreNaNWhereNotArmedOrUnknown) {
    Folder dir("hdf5_mv");
    const TRecordFileBuilder b = StandardRecording();
    b.Write(dir / "in.rmd");
    TExportOptions options = Range(1, 2.0, 8.0);  // from the deflection change into the 3/s stretch
    options.millivolts = true;
    const Outcome o = Export<THdf5Exporter>(dir / "in.rmd", dir / "mv.h5", options);
    ASSERT_TRUE(o.finished) << o.error;
    auto file = ReadHdf5(dir / "mv.h5");
    ASSERT_EQ(file.size(), 1u);
    std::vector<float> a, b2;
    for (const auto& seg : file["m1"]) {
        EXPECT_TRUE(seg.codes.empty());
        a.insert(a.end(), seg.a.begin(), seg.a.end());
        b2.insert(b2.end(), seg.b.begin(), seg.b.end());
    }
    std::vector<TExpectedInstant> rows;
    for (const auto& e : b.instants)
        if (e.measurement == 1 && e.ns >= 2'000'000'000 && e.ns < 8'000'000'000) rows.push_back(e);
    ASSERT_EQ(a.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].word == 2) {
            EXPECT_TRUE(std::isnan(a[i]) && std::isnan(b2[i])) << i;
        } else {
            EXPECT_EQ(a[i], static_cast<float>(rows[i].mv[0])) << i;
            EXPECT_EQ(b2[i], static_cast<float>(rows[i].mv[1])) << i;
        }
    }
}

TEST(ExportWav, OneFilePerConstantRateStretchWithoutGaps) {
    Folder dir("wav");
    const TRecordFileBuilder b = StandardRecording();
    b.Write(dir / "in.rmd");
    Outcome o = Export<TWavExporter>(dir / "in.rmd", dir / "out.wav", TExportOptions{});
    ASSERT_TRUE(o.finished) << o.error;
    std::map<uint32_t, int> k;
    std::size_t files = 0;
    for (const auto& stretch : Stretches(b, true)) {
        const TExpectedInstant& first = stretch.front();
        if (!first.timed) continue;  // measurement 0 has no rate
        const std::string name = dir / ("out-m" + std::to_string(first.measurement) + "-" +
                                        std::to_string(++k[first.measurement]) + ".wav");
        SCOPED_TRACE(name);
        SF_INFO info{};
        SNDFILE* f = sf_open(name.c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(static_cast<uint32_t>(info.samplerate), first.rate);
        // The RF64 writer's downgrade gives the extensible WAV header.
        EXPECT_TRUE(info.format == (SF_FORMAT_WAVEX | SF_FORMAT_FLOAT) || info.format == (SF_FORMAT_WAV | SF_FORMAT_FLOAT))
            << std::hex << info.format;
        ASSERT_EQ(info.frames, static_cast<sf_count_t>(stretch.size()));
        std::vector<float> frames(2 * stretch.size());
        sf_readf_float(f, frames.data(), info.frames);
        sf_close(f);
        for (std::size_t i = 0; i < stretch.size(); ++i)
            for (int ch = 0; ch < 2; ++ch) {
                const float want = stretch[i].word == 2 ? 0.0f : static_cast<float>(stretch[i].mv[ch] / 1000.0);
                ASSERT_EQ(frames[2 * i + ch], want) << i;
            }
        ++files;
    }
    EXPECT_EQ(o.notes.size(), files + 1);  // each file, and the samples without a rate
    EXPECT_EQ(dir.Names().size(), files + 1);

    // One stretch only: the name given.
    Folder one("wav_one");
    b.Write(one / "in.rmd");
    o = Export<TWavExporter>(one / "in.rmd", one / "part.wav", Range(2, 0.1, 0.2));
    ASSERT_TRUE(o.finished) << o.error;
    EXPECT_EQ(one.Names(), (std::vector<std::string>{"in.rmd", "part.wav"}));
    SF_INFO info{};
    SNDFILE* f = sf_open((one / "part.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.frames, 200);
    sf_close(f);
}

TEST(WindowStats, MinMaxMeanRmsAndCountsPerWindow) {
    Folder dir("stats");
    const TRecordFileBuilder b = StandardRecording();
    b.Write(dir / "in.rmd");
    const Outcome o = Export<TWindowStats>(dir / "in.rmd", dir / "s.csv", Range(1, 0, -1), 1 << 20, kPs / 2);
    ASSERT_TRUE(o.finished) << o.error;
    const auto lines = Lines(dir / "s.csv");
    // Independent: bucket measurement 1's instants by their time.
    struct W {
        uint64_t samples = 0, notArmed = 0;
        std::array<std::vector<double>, 2> mv;
    };
    std::map<uint64_t, W> windows;
    for (const auto& e : b.instants) {
        if (e.measurement != 1) continue;
        W& w = windows[e.ns / 500'000'000];
        if (e.word == 2) {
            ++w.notArmed;
            continue;
        }
        ++w.samples;
        for (int ch = 0; ch < 2; ++ch) w.mv[ch].push_back(e.mv[ch]);
    }
    ASSERT_EQ(lines.size(), windows.size() + 1);
    std::size_t row = 1;
    uint64_t overflows = 0;
    for (const auto& [index, w] : windows) {
        std::stringstream line(lines[row++]);
        std::vector<std::string> f;
        for (std::string field; std::getline(line, field, ',');) f.push_back(field);
        if (lines[row - 1].back() == ',') f.emplace_back();
        ASSERT_EQ(f.size(), 13u) << lines[row - 1];
        EXPECT_EQ(f[0], "1");
        EXPECT_DOUBLE_EQ(std::stod(f[1]), index * 0.5);
        EXPECT_EQ(std::stoull(f[2]), w.samples);
        EXPECT_EQ(std::stoull(f[3]), w.notArmed);
        overflows += std::stoull(f[4]);
        for (int ch = 0; ch < 2; ++ch) {
            if (w.mv[ch].empty()) {  // only not-armed instants: no values
                EXPECT_EQ(f[5 + 4 * ch] + f[6 + 4 * ch] + f[7 + 4 * ch] + f[8 + 4 * ch], "");
                continue;
            }
            double sum = 0, squares = 0;
            for (double v : w.mv[ch]) sum += v, squares += v * v;
            const double n = static_cast<double>(w.mv[ch].size());
            EXPECT_NEAR(std::stod(f[5 + 4 * ch]), *std::min_element(w.mv[ch].begin(), w.mv[ch].end()), 1e-9);
            EXPECT_NEAR(std::stod(f[6 + 4 * ch]), *std::max_element(w.mv[ch].begin(), w.mv[ch].end()), 1e-9);
            EXPECT_NEAR(std::stod(f[7 + 4 * ch]), sum / n, 0.0006);
            EXPECT_NEAR(std::stod(f[8 + 4 * ch]), std::sqrt(squares / n), 0.0006);
        }
    }
    EXPECT_EQ(overflows, 1u);  // measurement 1 has one overflow mark
}
