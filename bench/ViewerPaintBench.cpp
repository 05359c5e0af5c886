// The viewer's paint path on a large recording with a valid index: a 1920-column view
// redrawn at every zoom level, panned, and the first picture after opening.
// ROLLMODE_VIEWER_BENCH_FILE names a record to use; otherwise one of 200 M instants
// (400 MB, 40 s at 5 MS/s) is written to the temporary folder once.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "RecordIndex.h"
#include "WaveformView.h"

using rollmode::records::TRecordIndex;
using rollmode::viewer::TWaveformView;

namespace {

constexpr int kColumns = 1920;
constexpr uint64_t kInstants = 200'000'000;

void Put(std::vector<uint16_t>& w, std::initializer_list<uint16_t> words) { w.insert(w.end(), words); }

std::string MakeRecord() {
    if (const char* given = std::getenv("ROLLMODE_VIEWER_BENCH_FILE")) return given;
    const std::string path = (std::filesystem::temp_directory_path() / "viewer_bench.rmd").string();
    if (std::filesystem::exists(path) && std::filesystem::file_size(path) > kInstants * 2) return path;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::vector<uint16_t> w;
    Put(w, {0, 4, 1, 1, 0, 6, 2, 2000, 128, 0, 0, 6, 3, 2000, 100, 0});
    Put(w, {0, 4, 4, 1, 0, 4, 5, 1, 0, 4, 6, 1, 0, 4, 7, 1, 0, 4, 8, 0, 0, 4, 9, 0});
    Put(w, {0, 5, 10, 0x4B40, 0x004C, 0, 5, 11, 1000, 0, 0, 5, 12, 500, 0});  // 5,000,000 S/s
    uint32_t noise = 1;
    for (uint64_t i = 0; i < kInstants; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const auto a = static_cast<uint8_t>(128 + 60 * std::sin(i * 6.2831853 / 100000.0) + (noise >> 29));
        const auto b = static_cast<uint8_t>(((i / 700000) % 2 ? 150 : 50) + (noise >> 30));
        w.push_back(static_cast<uint16_t>(a | (b << 8)));
        if (i % 10'000'000 == 5'000'000) w.push_back(1);                   // an overflow now and then
        if (i % 50'000'000 == 25'000'000) Put(w, {0, 5, 11, 200, 0});       // A to 200 mV/div
        if (i % 50'000'000 == 40'000'000) Put(w, {0, 5, 11, 1000, 0});
        if (w.size() >= (1u << 20)) {
            std::fwrite(w.data(), 2, w.size(), out);
            w.clear();
        }
    }
    Put(w, {0, 4, 1, 0});
    std::fwrite(w.data(), 2, w.size(), out);
    std::fclose(out);
    return path;
}

std::shared_ptr<TRecordIndex> OpenIndex() {
    static const std::string path = MakeRecord();
    auto index = std::make_shared<TRecordIndex>();
    if (!index->Open(path)) std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), index->Error().c_str());
    return index;
}

struct Viewer {
    TWaveformView view;
    QImage image;
    Viewer() {
        view.resize(kColumns + 82, 1080);
        view.SetIndex(OpenIndex());
        image = QImage(view.size(), QImage::Format_ARGB32_Premultiplied);
    }
    void Paint() { view.render(&image); }
};

Viewer& Shared() {
    static Viewer viewer;
    return viewer;
}

// Zoom level k: the whole measurement divided by 16^k, around the middle.
void BM_ViewerRedraw(benchmark::State& state) {
    Viewer& v = Shared();
    v.view.ShowWhole();
    for (int k = 0; k < state.range(0); ++k) v.view.ZoomBy(1.0 / 16.0);
    state.counters["instants_per_column"] = v.view.Span().PerColumn();
    for (auto _ : state) v.Paint();
}
BENCHMARK(BM_ViewerRedraw)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);

void BM_ViewerPanRedraw(benchmark::State& state) {
    Viewer& v = Shared();
    v.view.ShowWhole();
    for (int k = 0; k < state.range(0); ++k) v.view.ZoomBy(1.0 / 16.0);
    double step = 37.0;
    for (auto _ : state) {
        v.view.PanBy(step);
        if (v.view.Span().AtEnd() || v.view.Span().First() <= v.view.Span().Begin()) step = -step;
        v.Paint();
    }
}
BENCHMARK(BM_ViewerPanRedraw)->Arg(1)->Arg(4)->Arg(7)->Unit(benchmark::kMillisecond);

// Opening a record whose index is valid, through the first picture.
void BM_ViewerFirstPicture(benchmark::State& state) {
    Shared();  // the index exists
    for (auto _ : state) {
        TWaveformView view;
        view.resize(kColumns + 82, 1080);
        view.SetIndex(OpenIndex());
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        view.render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
}
BENCHMARK(BM_ViewerFirstPicture)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
