#include "WavExporter.h"

#include <sndfile.h>

#include <cmath>
#include <limits>

namespace rollmode::records {

namespace {
constexpr std::size_t kFrames = 1 << 16;  // frames per write
}

TWavExporter::TWavExporter(std::string path, TExportOptions options)
    : options_(std::move(options)), path_(std::move(path)), frames_(new float[2 * kFrames]) {
    segments_.reserve(16);
}

TWavExporter::~TWavExporter() { Abandon(); }

void TWavExporter::SetError(std::string message) {
    if (error_.empty()) error_ = std::move(message);
}

bool TWavExporter::Begin() {
    // Whether the output's folder takes files is known before the first sample.
    TOutputFile probe(path_);
    if (!probe.Create()) {
        SetError(probe.Error());
        return false;
    }
    BuildTables(RecordSettings{});
    return true;
}

void TWavExporter::BuildTables(const RecordSettings& s) {
    for (int ch = 0; ch < 2; ++ch) {
        const bool known = s.zeroKnown[ch] && s.deflection[ch] != 0;
        for (int code = 0; code < 256; ++code)
            volts_[ch][code] = known ? static_cast<float>(s.Millivolts(ch, static_cast<uint8_t>(code)) / 1000.0)
                                     : std::numeric_limits<float>::quiet_NaN();
    }
}

bool TWavExporter::OpenSegment(uint32_t measurement, uint32_t rate) {
    Segment segment{TOutputFile(path_), measurement, ++segmentInMeasurement_};
    if (!segment.file.Create()) {
        SetError(segment.file.Error());
        return false;
    }
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 2;
    info.format = SF_FORMAT_RF64 | SF_FORMAT_FLOAT;
    // The descriptor stays ours: Commit() closes it after sf_close().
    SNDFILE* file = sf_open_fd(segment.file.Fd(), SFM_WRITE, &info, SF_FALSE);
    if (file == nullptr) {
        SetError("cannot write " + path_ + ": " + sf_strerror(nullptr));
        return false;
    }
    // Plain WAV unless the data outgrows 4 GB; asked before the first frame.
    if (sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE) != SF_TRUE) {
        sf_close(file);
        SetError("cannot write " + path_ + ": RF64 downgrade refused");
        return false;
    }
    sndfile_ = file;
    segments_.push_back(std::move(segment));
    return true;
}

void TWavExporter::WriteFrames() {
    if (framesUsed_ == 0 || sndfile_ == nullptr) return;
    auto* file = static_cast<SNDFILE*>(sndfile_);
    const sf_count_t done = sf_writef_float(file, frames_.get(), static_cast<sf_count_t>(framesUsed_));
    if (done != static_cast<sf_count_t>(framesUsed_))
        SetError("cannot write " + segments_.back().file.Path() + ": " + sf_strerror(file));
    framesUsed_ = 0;
}

void TWavExporter::EndSegment() {
    if (sndfile_ == nullptr) return;
    WriteFrames();
    auto* file = static_cast<SNDFILE*>(sndfile_);
    sf_write_sync(file);
    if (sf_error(file) != SF_ERR_NO_ERROR) SetError("cannot write " + segments_.back().file.Path() + ": " + sf_strerror(file));
    if (sf_close(file) != 0) SetError("cannot write " + segments_.back().file.Path());
    sndfile_ = nullptr;
}

void TWavExporter::OnMeasurement(uint32_t /*measurement*/) {
    EndSegment();
    segmentInMeasurement_ = 0;
}

void TWavExporter::OnSettings(const RecordItem& record, const RecordSettings& settings) {
    using namespace recordcode;
    if (record.code == kSampleRate) EndSegment();
    if (record.code == kLevelA || record.code == kLevelB || record.code == kDeflectionA || record.code == kDeflectionB) {
        WriteFrames();
        BuildTables(settings);
    }
}

void TWavExporter::OnOverflow(uint32_t, const TInstantClock&) { EndSegment(); }

void TWavExporter::OnSpan(const TSpan& span) {
    if (!error_.empty()) return;
    if (!span.clock.Known()) {
        if (!warnedNoRate_) options_.note("samples before the first rate record are left out of the WAV files");
        warnedNoRate_ = true;
        return;
    }
    if (sndfile_ == nullptr && !OpenSegment(span.measurement, span.clock.Rate())) return;
    const auto& a = volts_[0];
    const auto& b = volts_[1];
    for (std::size_t i = 0; i < span.count;) {
        const std::size_t n = std::min(span.count - i, kFrames - framesUsed_);
        float* out = frames_.get() + 2 * framesUsed_;
        const uint16_t* in = span.words + i;
        for (std::size_t k = 0; k < n; ++k) {
            const uint16_t w = in[k];
            const bool armed = w != 2;
            out[2 * k] = armed ? a[w & 0xFF] : 0.0f;
            out[2 * k + 1] = armed ? b[w >> 8] : 0.0f;
        }
        framesUsed_ += n;
        i += n;
        if (framesUsed_ == kFrames) WriteFrames();
    }
}

bool TWavExporter::Finish() {
    EndSegment();
    if (!error_.empty()) {
        Abandon();
        return false;
    }
    if (segments_.empty()) {
        SetError("no samples with a known rate to write");
        return false;
    }
    std::string stem = path_;
    if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".wav") == 0) stem.resize(stem.size() - 4);
    for (Segment& s : segments_) {
        if (segments_.size() > 1)
            s.file.Rename(stem + "-m" + std::to_string(s.measurement) + "-" + std::to_string(s.number) + ".wav");
        if (!s.file.Commit()) {
            SetError(s.file.Error());
            return false;
        }
        written_.push_back(s.file.Path());
        options_.note("wrote " + s.file.Path());
    }
    segments_.clear();
    return true;
}

void TWavExporter::Abandon() {
    if (sndfile_ != nullptr) sf_close(static_cast<SNDFILE*>(sndfile_));
    sndfile_ = nullptr;
    segments_.clear();  // each removes its temporary file
}

}  // namespace rollmode::records
