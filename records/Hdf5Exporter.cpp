#include "Hdf5Exporter.h"

#include <hdf5.h>

#include <cerrno>
#include <cmath>
#include <algorithm>
#include <cstring>
#include <limits>

namespace rollmode::records {

namespace {

constexpr std::size_t kCodeRows = THdf5Exporter::kChunkBytes / 2;   // two uint8 per row
constexpr std::size_t kFloatRows = THdf5Exporter::kChunkBytes / 4;  // one float32 per row
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// HDF5's exit handler closes the files still open, and crashes on one whose closing
// failed (a full disk). Every file here is closed explicitly, so it is switched off,
// before the library's first use.
[[maybe_unused]] const herr_t kNoExitHandler = H5dont_atexit();

bool WriteAttribute(hid_t owner, const char* name, hid_t type, hsize_t count, const void* data) {
    THdf5Handle space(count == 1 ? H5Screate(H5S_SCALAR) : H5Screate_simple(1, &count, nullptr));
    if (!space.Valid()) return false;
    THdf5Handle attribute(H5Acreate2(owner, name, type, space.Get(), H5P_DEFAULT, H5P_DEFAULT));
    return attribute.Valid() && H5Awrite(attribute.Get(), type, data) >= 0 && attribute.Close();
}

}  // namespace

THdf5Exporter::THdf5Exporter(std::string path, TExportOptions options)
    : options_(std::move(options)), out_(std::move(path)) {}

THdf5Exporter::~THdf5Exporter() { Abandon(); }

bool THdf5Exporter::Fail(const std::string& what) {
    if (error_.empty()) {
        const int err = errno;
        error_ = "cannot write " + out_.Path() + ": " + what + (err != 0 ? std::string(" (") + std::strerror(err) + ")" : "");
    }
    return false;
}

bool THdf5Exporter::Begin() {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);  // failures are reported here, once
    if (!out_.Create() || !out_.Close()) {
        error_ = out_.Error();
        return false;
    }
    errno = 0;
    file_ = THdf5Handle(H5Fcreate(out_.TempPath().c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT));
    if (!file_.Valid()) return Fail("HDF5 file not created");
    if (options_.millivolts) {
        aBuffer_.reset(new float[kFloatRows]);
        bBuffer_.reset(new float[kFloatRows]);
    } else {
        codeBuffer_.reset(new uint8_t[2 * kCodeRows]);
    }
    return true;
}

void THdf5Exporter::OnMeasurement(uint32_t measurement) {
    EndMeasurement();
    measurement_ = measurement;
}

void THdf5Exporter::OnSettings(const RecordItem&, const RecordSettings&) { EndSegment(); }

void THdf5Exporter::OnOverflow(uint32_t, const TInstantClock&) {
    EndSegment();
    ++overflows_;
}

bool THdf5Exporter::OpenSegment(const TSpan& span) {
    errno = 0;
    if (!measurementOpen_) {
        const std::string name = "m" + std::to_string(measurement_);
        measurementGroup_ = THdf5Handle(H5Gcreate2(file_.Get(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
        if (!measurementGroup_.Valid()) return Fail("group " + name + " not created");
        measurementOpen_ = true;
        segments_ = 0;
    }
    const std::string name = "s" + std::to_string(++segments_);
    segmentGroup_ = THdf5Handle(H5Gcreate2(measurementGroup_.Get(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
    if (!segmentGroup_.Valid()) return Fail("group " + name + " not created");

    const RecordSettings& s = *span.settings;
    const double start = span.clock.Known() ? span.clock.Seconds() : std::numeric_limits<double>::quiet_NaN();
    const double rate = span.clock.Rate();
    std::array<int32_t, 2> zero{};
    std::array<double, 2> mvPerCode{};
    for (int ch = 0; ch < 2; ++ch) {
        const bool known = s.zeroKnown[ch] && s.deflection[ch] != 0;
        zero[ch] = s.zeroCode[ch];
        mvPerCode[ch] = known ? static_cast<double>(s.deflection[ch]) / RecordSettings::kCodesPerDivision
                              : std::numeric_limits<double>::quiet_NaN();
        for (int code = 0; code < 256; ++code)
            mv_[ch][code] = known ? static_cast<float>(s.Millivolts(ch, static_cast<uint8_t>(code))) : kNaN;
    }
    const hid_t g = segmentGroup_.Get();
    if (!WriteAttribute(g, "start_s", H5T_NATIVE_DOUBLE, 1, &start) ||
        !WriteAttribute(g, "rate_hz", H5T_NATIVE_DOUBLE, 1, &rate) ||
        !WriteAttribute(g, "zero_code", H5T_NATIVE_INT32, 2, zero.data()) ||
        !WriteAttribute(g, "mv_per_code", H5T_NATIVE_DOUBLE, 2, mvPerCode.data()))
        return Fail("attributes not written");

    return true;
}

// A segment that ends within its first buffer gets datasets of its own size; longer
// ones grow in chunks of 1 MiB. (HDF5 allocates whole chunks: 1 MiB chunks for a
// few rows between two settings records would make the export far larger than the
// record file.)
bool THdf5Exporter::CreateDatasets(hsize_t chunkRows) {
    THdf5Handle plist(H5Pcreate(H5P_DATASET_CREATE));
    const int rank = options_.millivolts ? 1 : 2;
    const hsize_t chunk[2] = {chunkRows, 2};
    const hsize_t dims[2] = {0, 2};
    const hsize_t maxDims[2] = {H5S_UNLIMITED, 2};
    errno = 0;
    if (!plist.Valid() || H5Pset_chunk(plist.Get(), rank, chunk) < 0) return Fail("chunk layout refused");
    if (options_.deflate > 0) {
        // Shuffle only helps elements of more than one byte.
        if (options_.millivolts && H5Pset_shuffle(plist.Get()) < 0) return Fail("shuffle filter refused");
        if (H5Pset_deflate(plist.Get(), static_cast<unsigned>(options_.deflate)) < 0) return Fail("deflate refused");
    }
    THdf5Handle space(H5Screate_simple(rank, dims, maxDims));
    if (!space.Valid()) return Fail("dataspace not created");
    const hid_t g = segmentGroup_.Get();
    auto create = [&](const char* dsName, hid_t type, Dataset& into) {
        into.rows = 0;
        into.id = THdf5Handle(H5Dcreate2(g, dsName, type, space.Get(), H5P_DEFAULT, plist.Get(), H5P_DEFAULT));
        return into.id.Valid() || Fail(std::string("dataset ") + dsName + " not created");
    };
    if (options_.millivolts) return create("a_mV", H5T_IEEE_F32LE, a_) && create("b_mV", H5T_IEEE_F32LE, b_);
    return create("codes", H5T_STD_U8LE, codes_);
}

bool THdf5Exporter::Append(Dataset& dataset, const void* data, uint64_t rows, hid_t type, int columns) {
    const int rank = columns == 1 ? 1 : 2;
    const hsize_t size[2] = {dataset.rows + rows, 2};
    const hsize_t start[2] = {dataset.rows, 0};
    const hsize_t count[2] = {rows, 2};
    errno = 0;
    if (H5Dset_extent(dataset.id.Get(), size) < 0) return Fail("dataset not extended");
    THdf5Handle fileSpace(H5Dget_space(dataset.id.Get()));
    THdf5Handle memSpace(H5Screate_simple(rank, count, nullptr));
    if (!fileSpace.Valid() || !memSpace.Valid() ||
        H5Sselect_hyperslab(fileSpace.Get(), H5S_SELECT_SET, start, nullptr, count, nullptr) < 0 ||
        H5Dwrite(dataset.id.Get(), type, memSpace.Get(), fileSpace.Get(), H5P_DEFAULT, data) < 0)
        return Fail("data not written");
    dataset.rows += rows;
    return true;
}

void THdf5Exporter::FlushBuffers(bool segmentEnds) {
    if (buffered_ == 0 || !error_.empty()) {
        buffered_ = 0;
        return;
    }
    const bool created = options_.millivolts ? a_.id.Valid() : codes_.id.Valid();
    if (!created && !CreateDatasets(segmentEnds ? buffered_ : (options_.millivolts ? kFloatRows : kCodeRows))) {
        buffered_ = 0;
        return;
    }
    if (options_.millivolts) {
        if (Append(a_, aBuffer_.get(), buffered_, H5T_NATIVE_FLOAT, 1))
            Append(b_, bBuffer_.get(), buffered_, H5T_NATIVE_FLOAT, 1);
    } else {
        Append(codes_, codeBuffer_.get(), buffered_, H5T_NATIVE_UINT8, 2);
    }
    buffered_ = 0;
}

void THdf5Exporter::EndSegment() {
    if (!segmentGroup_.Valid()) return;
    FlushBuffers(true);
    codes_.id.Close();
    a_.id.Close();
    b_.id.Close();
    segmentGroup_.Close();
}

void THdf5Exporter::EndMeasurement() {
    EndSegment();
    if (!measurementOpen_) {
        overflows_ = 0;
        return;
    }
    if (error_.empty() && !WriteAttribute(measurementGroup_.Get(), "overflow_marks", H5T_NATIVE_UINT64, 1, &overflows_))
        Fail("attributes not written");
    measurementGroup_.Close();
    measurementOpen_ = false;
    overflows_ = 0;
}

void THdf5Exporter::OnSpan(const TSpan& span) {
    if (!error_.empty()) return;
    if (!segmentGroup_.Valid() && !OpenSegment(span)) return;
    const std::size_t capacity = options_.millivolts ? kFloatRows : kCodeRows;
    for (std::size_t i = 0; i < span.count && error_.empty();) {
        const std::size_t n = std::min(span.count - i, capacity - buffered_);
        const uint16_t* in = span.words + i;
        if (options_.millivolts) {
            float* a = aBuffer_.get() + buffered_;
            float* b = bBuffer_.get() + buffered_;
            for (std::size_t k = 0; k < n; ++k) {
                const uint16_t w = in[k];
                a[k] = w == 2 ? kNaN : mv_[0][w & 0xFF];
                b[k] = w == 2 ? kNaN : mv_[1][w >> 8];
            }
        } else {
            // A row is the word's two bytes, A first: a not-armed word becomes code 0, 0.
            uint8_t* out = codeBuffer_.get() + 2 * buffered_;
            for (std::size_t k = 0; k < n; ++k) {
                const uint16_t w = in[k] == 2 ? 0 : in[k];
                std::memcpy(out + 2 * k, &w, 2);
            }
        }
        buffered_ += n;
        i += n;
        if (buffered_ == capacity) FlushBuffers(false);
    }
}

bool THdf5Exporter::Finish() {
    EndMeasurement();
    errno = 0;
    if (error_.empty() && !file_.Close()) Fail("HDF5 file not completed");
    if (!error_.empty()) {
        Abandon();
        return false;
    }
    if (!out_.Commit()) {
        error_ = out_.Error();
        return false;
    }
    return true;
}

void THdf5Exporter::Abandon() {
    codes_.id.Close();
    a_.id.Close();
    b_.id.Close();
    segmentGroup_.Close();
    measurementGroup_.Close();
    file_.Close();
    out_.Discard();
}

}  // namespace rollmode::records
