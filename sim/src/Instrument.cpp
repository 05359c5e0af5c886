#include "sim/Instrument.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <thread>

#include "SampleGenerator.h"
#include "platform/DeviceIo.h"

namespace rollmode::sim {

namespace {

constexpr uint32_t kSendCommands = 0x220018;
constexpr uint32_t kBulkWrite = 0x22001C;
constexpr uint32_t kBulkRead = 0x220024;
constexpr uint32_t kReadyProbe = 0x220028;
constexpr uint32_t kPacketSize = 0x22002C;
constexpr uint32_t kDeviceIdentifier = 0x220030;

constexpr uint8_t kRollFifo = 1;
// Announced transfers the host never collects are forgotten beyond this many.
constexpr size_t kMaxPending = 1024;
// Device-side waits of one command batch are capped, so a host cannot park the device.
constexpr uint32_t kWaitBudgetMs = 1000;
constexpr size_t kMaxLoopbackBytes = 1u << 20;
constexpr size_t kPieceWords = 4096;

constexpr std::array<int32_t, 16> kRateByCode = {5000000, 2500000, 1000000, 500000, 250000, 100000,
                                                 50000,   25000,   10000,   5000,   2500,   1000,
                                                 500,     250,     100,     50};

using Steady = std::chrono::steady_clock;

}  // namespace

int32_t SamplesPerSecondForCode(uint32_t code) { return kRateByCode[std::min<uint32_t>(code, 15)]; }

namespace {
constexpr uint8_t kFpgaMagic[8] = {'R', 'M', 'F', 'P', 'G', 'A', '0', '1'};

uint32_t GetBe32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

uint32_t PayloadSum(std::span<const uint8_t> image) {
    uint32_t sum = 0;
    for (size_t i = kFpgaHeaderBytes; i < image.size(); ++i) sum += image[i];
    return sum;
}
}  // namespace

bool FpgaImageValid(std::span<const uint8_t> image) {
    if (image.size() < kFpgaHeaderBytes) return false;
    if (!std::equal(std::begin(kFpgaMagic), std::end(kFpgaMagic), image.begin())) return false;
    return GetBe32(&image[8]) == image.size() - kFpgaHeaderBytes && GetBe32(&image[12]) == PayloadSum(image);
}

void StampFpgaHeader(std::span<uint8_t> image) {
    if (image.size() < kFpgaHeaderBytes) return;
    std::copy(std::begin(kFpgaMagic), std::end(kFpgaMagic), image.begin());
    const uint32_t length = static_cast<uint32_t>(image.size() - kFpgaHeaderBytes);
    const uint32_t sum = PayloadSum(image);
    for (int b = 0; b < 4; ++b) {
        image[8 + b] = static_cast<uint8_t>(length >> (24 - 8 * b));
        image[12 + b] = static_cast<uint8_t>(sum >> (24 - 8 * b));
    }
}

Instrument::Instrument(InstrumentConfig config)
    : config_(config),
      calibration_(SimulatedUnitCalibration(config.serial)),
      clock_([] { return Steady::now(); }),
      sleep_([](Steady::duration d) { std::this_thread::sleep_for(d); }),
      generator_(std::make_unique<SampleGenerator>(config.channels, config.seed)) {
    eeprom_.fill(0xFF);
    static constexpr char kName[] = "PELTA-4 RM";
    std::memcpy(eeprom_.data(), kName, sizeof(kName));
    const auto block = EncodeCalibrationBlock(calibration_, config_.validCalibration);
    std::copy(block.begin(), block.end(), eeprom_.begin() + kCalibrationAddress);
    epoch_.rate = previousEpoch_.rate = SamplesPerSecondForCode(0);
}

Instrument::~Instrument() = default;

void Instrument::SetClock(Clock clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

void Instrument::SetSleep(Sleep sleep) {
    std::lock_guard lock(mutex_);
    sleep_ = std::move(sleep);
}

void Instrument::SetRollWait(std::chrono::milliseconds wait) {
    std::lock_guard lock(mutex_);
    rollWait_ = wait;
}

uint16_t Instrument::Register(uint8_t reg) const {
    std::lock_guard lock(mutex_);
    return registers_[reg];
}

uint8_t Instrument::EepromByte(uint32_t address) const {
    std::lock_guard lock(mutex_);
    return address < kEepromBytes ? eeprom_[address] : 0xFF;
}

bool Instrument::FpgaConfigured() const {
    std::lock_guard lock(mutex_);
    return fpgaConfigured_;
}

uint32_t Instrument::FpgaImageBytes() const {
    std::lock_guard lock(mutex_);
    return fpgaImageBytes_;
}

uint32_t Instrument::Overflows() const {
    std::lock_guard lock(mutex_);
    return overflows_;
}

uint64_t Instrument::DeliveredSamples() const {
    std::lock_guard lock(mutex_);
    return deliveredSamples_;
}

std::array<uint8_t, 2> Instrument::Shift() const {
    std::lock_guard lock(mutex_);
    return shift_;
}

bool Instrument::HandleRequest(uint32_t code, std::span<const uint8_t> in, uint32_t outCapacity,
                               std::vector<uint8_t>& out) {
    switch (code) {
        case kSendCommands: {
            std::lock_guard lock(mutex_);
            RunCommands(in);
            return true;
        }
        case kBulkWrite: {
            std::lock_guard lock(mutex_);
            bool ok = false;
            BulkWrite(in, ok);
            return ok;
        }
        case kBulkRead: return BulkRead(outCapacity, out);
        case kReadyProbe: return true;
        case kPacketSize:
            out.resize(4);
            platform::PutLe32(out.data(), config_.packetSize);
            return true;
        case kDeviceIdentifier:
            out.resize(4);
            platform::PutLe32(out.data(), config_.deviceId);
            return true;
        default: return false;  // not a request this driver knows
    }
}

void Instrument::RunCommands(std::span<const uint8_t> in) {
    uint32_t waitBudget = kWaitBudgetMs;
    // Stray bytes after the last whole command are ignored.
    for (size_t i = 0; i + 4 <= in.size(); i += 4) Command(&in[i], waitBudget);
}

void Instrument::QueueAnswer(const uint8_t* bytes, uint8_t length) {
    if (reads_.size() >= kMaxPending) reads_.pop_front();
    PendingRead r;
    r.kind = ReadKind::Answer;
    r.length = length;
    std::memcpy(r.bytes.data(), bytes, length);
    reads_.push_back(r);
}

void Instrument::QueueAnswer32(uint32_t value) {
    uint8_t b[4];
    platform::PutLe32(b, value);
    QueueAnswer(b, 4);
}

void Instrument::Command(const uint8_t* c, uint32_t& waitBudgetMs) {
    const uint8_t op = c[0];
    const uint32_t address = uint32_t(c[1]) << 8 | c[2];
    const auto tdoBit = [this](uint32_t index) { return (kCpldIdcode >> (index % 32)) & 1u; };
    switch (op) {
        case 0x01:
            switch (c[3]) {
                case 0x04: {
                    const uint8_t b[4] = {address < kEepromBytes ? eeprom_[address] : uint8_t{0xFF}, 0, 0, 0};
                    QueueAnswer(b, 4);
                    break;
                }
                case 0x2A: QueueAnswer32(config_.deviceId); break;
                case 0x2C: QueueAnswer32(1); break;  // powered
                case 0x31: QueueAnswer32(tdoBit(tdoIndex_)); break;
                case 0x33: QueueAnswer(capture_.data(), 16); break;
                case 0x36: QueueAnswer32(kCpldId); break;
                default: QueueAnswer32(0); break;  // unknown query: zeros keep host and device in step
            }
            break;
        case 0x02: eepromWriteEnabled_ = c[1] == 0x13; break;
        case 0x03:
            if (eepromWriteEnabled_ && address < kEepromBytes) eeprom_[address] = c[3];
            eepromWriteEnabled_ = false;
            break;
        case 0x20:
            if (c[3] != 0x21) break;
            if (writes_.size() >= kMaxPending) writes_.pop_front();
            writes_.push_back({WriteKind::Fpga, 0, address});
            // Reconfiguration stops the logic until the new image is in.
            fpgaConfigured_ = false;
            running_ = false;
            frozenProduced_ = 0;
            segmentCount_ = 0;
            closedWords_ = 0;
            openBegin_ = 0;
            break;
        case 0x24: {
            const uint16_t v = registers_[c[1]];
            const uint8_t b[4] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v), 0, 0};
            QueueAnswer(b, 4);
            break;
        }
        case 0x26: WriteRegister(c[1], static_cast<uint16_t>(c[2] << 8 | c[3])); break;
        case 0x27:
        case 0x2B: {
            if (reads_.size() >= kMaxPending) reads_.pop_front();
            PendingRead r;
            r.kind = op == 0x2B ? ReadKind::RollFifo : ReadKind::Fifo;
            r.fifo = c[1];
            r.packets = static_cast<uint16_t>(c[2] << 8 | c[3]);
            r.announced = Now();
            reads_.push_back(r);
            break;
        }
        case 0x29:
            if (writes_.size() >= kMaxPending) writes_.pop_front();
            writes_.push_back({WriteKind::Fifo, c[1], uint32_t(c[2]) << 8 | c[3]});
            break;
        case 0x2C: shift_ = {c[1], c[2]}; break;
        case 0x30:
            cpldPort_ = c[1];
            tdoIndex_ = 0;
            break;
        case 0x32:
            captureCount_ = 0;
            capture_.fill(0);
            break;
        case 0x34: {
            const uint32_t bit = tdoBit(tdoIndex_++);
            if (captureCount_ < 128) {
                // Bits enter each byte from the top, so a full byte holds the first bit in bit 0.
                uint8_t& b = capture_[captureCount_ / 8];
                b = static_cast<uint8_t>((b >> 1) | (bit << 7));
                ++captureCount_;
            }
            break;
        }
        case 0x35: {
            const uint32_t ms = std::min<uint32_t>(c[1], waitBudgetMs);
            waitBudgetMs -= ms;
            if (ms) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            break;
        }
        default: break;  // unknown commands are ignored, as the firmware does
    }
}

void Instrument::WriteRegister(uint8_t reg, uint16_t value) {
    registers_[reg] = value;
    if (reg != 1) return;
    const auto now = Now();
    const bool run = value & 0x8000;
    const double rate = SamplesPerSecondForCode(value & 0x7FFF);
    if (run && !running_) {
        // Without a configured FPGA there is no acquisition logic to start.
        epoch_.rate = rate;
        if (fpgaConfigured_) StartRun(now);
    } else if (run && running_ && rate != epoch_.rate) {
        const uint64_t produced = Produced(now);
        previousEpoch_ = epoch_;
        epoch_.seconds += std::chrono::duration<double>(now - epoch_.start).count();
        epoch_.index = produced;
        epoch_.start = now;
        epoch_.rate = rate;
        epoch_.immediate = false;
    } else if (!run && running_) {
        frozenProduced_ = Produced(now);
        running_ = false;
        epoch_.rate = rate;
    } else {
        epoch_.rate = rate;
    }
}

void Instrument::StartRun(Steady::time_point now) {
    segmentCount_ = 0;
    segmentHead_ = 0;
    closedWords_ = 0;
    openBegin_ = 0;
    frozenProduced_ = 0;
    epoch_.index = 0;
    epoch_.start = now;
    epoch_.seconds = 0;
    epoch_.immediate = true;
    previousEpoch_ = epoch_;
    running_ = true;
}

void Instrument::BulkWrite(std::span<const uint8_t> in, bool& ok) {
    ok = false;
    if (writes_.empty()) return;  // nothing announced this transfer
    const PendingWrite w = writes_.front();
    writes_.pop_front();
    ok = true;
    if (w.kind == WriteKind::Fpga) {
        const uint32_t size = config_.packetSize ? config_.packetSize : 64;
        // The transfer must fill exactly the announced packets, and the FPGA takes only an
        // intact image: a garbled or unrestored image leaves it unconfigured.
        const bool accepted = !in.empty() && (in.size() + size - 1) / size == w.packets && FpgaImageValid(in);
        fpgaConfigured_ = accepted;
        fpgaImageBytes_ = static_cast<uint32_t>(in.size());
        QueueAnswer32(accepted ? 1 : 0);
        return;
    }
    auto& data = loopback_[w.fifo];
    data.assign(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(std::min(in.size(), kMaxLoopbackBytes)));
}

bool Instrument::BulkRead(uint32_t capacity, std::vector<uint8_t>& out) {
    std::unique_lock lock(mutex_);
    if (reads_.empty()) return false;  // nothing announced: the host is out of step
    const PendingRead r = reads_.front();
    reads_.pop_front();
    switch (r.kind) {
        case ReadKind::Answer: out.assign(r.bytes.begin(), r.bytes.begin() + std::min<uint32_t>(r.length, capacity)); return true;
        case ReadKind::Fifo: {
            out.assign(capacity, 0);
            const auto it = loopback_.find(r.fifo);
            if (it != loopback_.end()) std::copy_n(it->second.begin(), std::min<size_t>(capacity, it->second.size()), out.begin());
            return true;
        }
        case ReadKind::RollFifo: break;
    }
    if (r.fifo != kRollFifo) {
        out.assign(capacity, 0);
        return true;
    }
    const size_t words = capacity / 2;
    if (const auto wait = RollWait(r, words, Now()); wait > Steady::duration::zero()) {
        const Sleep sleep = sleep_;
        lock.unlock();
        sleep(wait);
        lock.lock();
    }
    out.reserve(capacity);
    Drain(words, [&out](size_t n) {
        const size_t at = out.size();
        out.resize(at + 2 * n);
        return out.data() + at;
    });
    out.resize(capacity);  // no sample: zero words
    return true;
}

Steady::duration Instrument::RollWait(const PendingRead& r, size_t words, Steady::time_point now) {
    // As a bulk transfer does, a roll read completes when its block is full, or short a while
    // after it was announced: at high rates the host gets few full blocks instead of many
    // nearly empty ones (each one a whole block on the wire), and an idle host does not spin.
    if (rollWait_.count() <= 0) return {};
    const uint64_t held = HeldWords(now);
    if (held >= words) return {};
    Steady::duration wait = r.announced + rollWait_ - now;
    if (running_) {
        const auto fill = std::chrono::duration<double>(double(words - held) / epoch_.rate);
        wait = std::min(wait, std::chrono::duration_cast<Steady::duration>(fill) + std::chrono::microseconds(50));
    }
    return std::max(wait, Steady::duration::zero());
}

Steady::duration Instrument::PauseBeforeNextRequest() {
    // A roll read announced and not yet fillable will wait for its samples anyway; waiting
    // before its request is read makes the request's arrival and the wait one wake-up.
    std::lock_guard lock(mutex_);
    if (reads_.empty()) return {};
    const PendingRead& r = reads_.front();
    if (r.kind != ReadKind::RollFifo || r.fifo != kRollFifo) return {};
    const size_t words = size_t{r.packets} * (config_.packetSize ? config_.packetSize : 64) / 2;
    return RollWait(r, words, Now());
}

Steady::time_point Instrument::Now() const { return clock_(); }

uint64_t Instrument::Produced(Steady::time_point now) const {
    if (!running_) return frozenProduced_;
    if (now < epoch_.start) return epoch_.index;
    // Whole samples due by now, in integers so that period boundaries are exact.
    const auto ns = static_cast<unsigned __int128>(std::chrono::duration_cast<std::chrono::nanoseconds>(now - epoch_.start).count());
    const auto due = ns * static_cast<uint64_t>(epoch_.rate) / 1000000000u;
    return epoch_.index + static_cast<uint64_t>(due) + (epoch_.immediate ? 1 : 0);
}

void Instrument::UpdateFifo(Steady::time_point now) {
    const uint64_t produced = Produced(now);
    if (produced < openBegin_) return;
    const uint64_t held = closedWords_ + (produced - openBegin_);
    const uint64_t depth = std::max<uint32_t>(config_.fifoDepth, 2);
    if (held <= depth) return;
    ++overflows_;
    if (segmentCount_ < kMaxSegments) {
        // The FIFO kept what fitted (one place is the mark); later samples were lost
        // until this read made room again.
        const uint64_t keep = depth > closedWords_ + 1 ? depth - closedWords_ - 1 : 0;
        segments_[(segmentHead_ + segmentCount_) % kMaxSegments] = {openBegin_, openBegin_ + keep};
        ++segmentCount_;
        closedWords_ += keep + 1;
    }
    // With every mark slot taken, the loss joins the last marked gap.
    openBegin_ = produced;
}

uint64_t Instrument::HeldWords(Steady::time_point now) {
    UpdateFifo(now);
    return closedWords_ + (Produced(now) - openBegin_);
}

uint64_t Instrument::Available() {
    std::lock_guard lock(mutex_);
    return HeldWords(Now());
}

void Instrument::ReadRoll(uint16_t* words, size_t maxWords) {
    std::lock_guard lock(mutex_);
    size_t at = 0;
    const size_t n = Drain(maxWords, [words, &at](size_t count) {
        auto* place = reinterpret_cast<uint8_t*>(words + at);
        at += count;
        return place;
    });
    if constexpr (std::endian::native == std::endian::big) {
        for (size_t i = 0; i < n; ++i) words[i] = static_cast<uint16_t>(words[i] >> 8 | words[i] << 8);
    }
    std::fill(words + n, words + maxWords, uint16_t{0});
}

template <typename Sink>
size_t Instrument::Drain(size_t maxWords, Sink&& sink) {
    const auto now = Now();
    UpdateFifo(now);
    const uint64_t produced = Produced(now);
    const std::array<FrontEndSetting, 2> fe = {FrontEndFor(0), FrontEndFor(1)};
    size_t n = 0;
    while (n < maxWords && segmentCount_ > 0) {
        Segment& seg = segments_[segmentHead_];
        const size_t run = static_cast<size_t>(std::min<uint64_t>(maxWords - n, seg.end - seg.begin));
        Synthesize(seg.begin, run, fe, sink);
        n += run;
        seg.begin += run;
        closedWords_ -= run;
        deliveredSamples_ += run;
        if (n == maxWords) break;
        uint8_t* mark = sink(1);
        mark[0] = static_cast<uint8_t>(kOverflowMark);
        mark[1] = static_cast<uint8_t>(kOverflowMark >> 8);
        ++n;
        --closedWords_;
        segmentHead_ = (segmentHead_ + 1) % kMaxSegments;
        --segmentCount_;
    }
    if (n < maxWords && openBegin_ < produced) {
        const size_t run = static_cast<size_t>(std::min<uint64_t>(maxWords - n, produced - openBegin_));
        Synthesize(openBegin_, run, fe, sink);
        n += run;
        openBegin_ += run;
        deliveredSamples_ += run;
    }
    return n;
}

template <typename Sink>
void Instrument::Synthesize(uint64_t first, size_t count, const std::array<FrontEndSetting, 2>& fe, Sink&& sink) {
    const uint16_t reg2 = registers_[2];
    const bool external = (reg2 & 0x0F) == 4;
    const bool under = (reg2 >> 4 & 0x0F) == 2;
    while (count > 0) {
        // Samples taken before the last rate change keep that epoch's timing.
        const bool current = first >= epoch_.index;
        const Epoch& e = current ? epoch_ : previousEpoch_;
        const uint64_t left = current ? count : std::min<uint64_t>(count, epoch_.index - first);
        // Pieces small enough to stay in the cache between the sink and the synthesis.
        const size_t run = static_cast<size_t>(std::min<uint64_t>(left, kPieceWords));
        const SampleClock clock{e.index, e.seconds, e.rate, e.immediate};
        uint8_t* bytes = sink(run);
        generator_->Generate(first, run, clock, fe, bytes);
        if (external) {
            // Samples on the unarmed side of the external input are withheld.
            const auto withhold = [bytes](size_t i) {
                bytes[2 * i] = static_cast<uint8_t>(kNotArmedMark);
                bytes[2 * i + 1] = static_cast<uint8_t>(kNotArmedMark >> 8);
            };
            if (config_.externalArm.frequency > 0) {
                for (size_t i = 0; i < run; ++i)
                    if (ExternalArmHigh(clock.TimeOf(first + i)) == under) withhold(i);
            } else if (config_.externalArm.level == under) {
                for (size_t i = 0; i < run; ++i) withhold(i);
            }
        }
        first += run;
        count -= run;
    }
}

FrontEndSetting Instrument::FrontEndFor(int channel) const {
    FrontEndSetting fe;
    const uint16_t control = channel == 0 ? registers_[15] & 0xFF : registers_[15] >> 8;
    const int32_t gain = registers_[channel == 0 ? 8 : 11];
    const int32_t level = registers_[channel == 0 ? 9 : 12];
    int32_t decade = 0;
    switch (control & 0x0E) {
        case 0x02: decade = 10; break;
        case 0x04: decade = 100; break;
        case 0x0C: decade = 1000; break;
        default: return fe;  // no range selected: the input is not connected
    }
    int32_t step = 5;
    if (control & 0x10) {
        // 1- and 2-steps share the range bits and differ by gain.
        const int32_t g1 = CalibratedGain(calibration_, channel, decade);
        const int32_t g2 = CalibratedGain(calibration_, channel, decade * 2);
        step = std::abs(gain - g1) <= std::abs(gain - g2) ? 1 : 2;
    }
    const int32_t nominal = decade * step;
    const int32_t calibrated = CalibratedGain(calibration_, channel, nominal);
    // The calibrated gain gives the nominal deflection; the deflection follows the gain value.
    const double deflection = gain > 0 && calibrated > 0 ? double(nominal) * gain / calibrated : nominal;
    fe.connected = true;
    fe.ac = control & 0x01;
    fe.zero = ZeroCode(calibration_, channel, nominal, level);
    fe.mvPerCode = deflection * 8.0 / 255.0;
    return fe;
}

double Instrument::CodeFor(int channel, double volts) {
    std::lock_guard lock(mutex_);
    const FrontEndSetting fe = FrontEndFor(channel);
    return fe.zero + volts * 1000.0 / fe.mvPerCode;
}

bool Instrument::ExternalArmHigh(double t) const {
    const auto& ext = config_.externalArm;
    if (ext.frequency <= 0) return ext.level;
    return t * ext.frequency - std::floor(t * ext.frequency) < 0.5;
}

}  // namespace rollmode::sim
