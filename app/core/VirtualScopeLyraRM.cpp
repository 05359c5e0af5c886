#include "VirtualScopeLyraRM.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "RateTables.h"
#include "ResourceStringsLyraRM.h"
#include "ports/ValueSink.h"

namespace rollmode::core {

namespace {

// Nearest integer, halves to even (the default rounding mode).
double RoundHalfEven(double v) { return std::nearbyint(v); }

constexpr uint16_t kMinDensity = 1;
constexpr uint16_t kMaxDensity = 9;
constexpr uint16_t kMinLevel = 1;
constexpr uint16_t kMaxLevel = 4095;

uint16_t ClampDensity(uint16_t v) { return std::clamp(v, kMinDensity, kMaxDensity); }

int32_t ScaledLevel(uint16_t level, int32_t maxChannel) {
    // 64-bit product: a wide slide must not overflow before the division.
    return static_cast<int32_t>(static_cast<int64_t>(level) * maxChannel / 4096);
}

// True when `v` is a valid scaled level for the slide; `level` then receives it.
bool LevelFromScaled(int32_t v, int32_t maxChannel, uint16_t& level) {
    if (maxChannel <= 0 || v < 0 || v > maxChannel) return false;
    level = static_cast<uint16_t>(static_cast<int64_t>(v) * 4095 / maxChannel);
    return true;
}

}  // namespace

TVirtualScopeLyraRM::TVirtualScopeLyraRM() {
    // There is no form description to load: the constructor gives every property the
    // value the main window would assign at creation. The settings component
    // overwrites most of them at start-up; links (driver, labels) stay null until
    // the main window wires them.
    savingActivated_.set(false);
    fileSize_.set(0.0);
    densityChannelA_.set(7);
    densityChannelB_.set(7);
    maxChannelA_.set(100);
    maxChannelB_.set(100);
    verticalLevelChannelA_.set(1392);
    verticalLevelChannelB_.set(1474);
    colorChannelA_.set(0x0040FF00u);
    colorChannelB_.set(0x0000FFFFu);  // yellow
    colorGrid_.set(0x00FFFFFFu);      // white
    backgroundColor_.set(0x00000000u);
    modeLine_.set(true);
    modeBF_.set(false);
    modeEKG_.set(true);
    displayActive_.set(true);
    makeMaximum_.set(true);
    makeMinimum_.set(true);
    makeAvg_.set(false);
    singleMode_.set(false);
    clearScreenRequested_.set(false);
    grid_.set(true);
    SetGridBrightness(72);  // also derives RealGridColor
    mainScreenMaximized_.set(false);
    mainWindowHeight_.set(0);
    mainWindowWidth_.set(0);
    triggerSourceA_.set(false);
    triggerSourceB_.set(false);
    triggerLevelA_.set(200.0);
    triggerLevelB_.set(2000.0);
    triggerUnderA_.set(false);
    triggerUnderB_.set(false);
    triggerLEDStatus_.set(0);
    dataAcquisitionStatus_.set(0);
    triggerRelation_.set(false);
    armSourceA_.set(false);
    armSourceB_.set(false);
    armSourceExternal_.set(false);
    armLevelA_.set(0.0);
    armLevelB_.set(0.0);
    armUnderA_.set(false);
    armUnderB_.set(false);
    armUnderExternal_.set(false);
    armLEDStatus_.set(0);
    sourceACDC_A_.set(true);
    sourceACDC_B_.set(true);
    sourceProbeA_.set(1);
    sourceProbeB_.set(1);
    groundA_.set(false);
    groundB_.set(false);
    recordTriggered_.set(false);
    recordFree_.set(true);
    measurementStarted_.set(false);
    measurementLength_.set(5000);
    measurementDefined_.set(false);
    smpSetting_.set(10);
    dspSetting_.set(3);
    statusChannelA_.set(true);
    statusChannelB_.set(true);
    zeroChannelA_.set(0);
    zeroChannelB_.set(0);
    showComixHelp_.set(true);
    boostThread_.set(true);
    periodA_.set(1000);
    periodB_.set(2000);
    amplitudeA_.set(3000);
    amplitudeB_.set(2000);
    noiseA_.set(0);
    noiseB_.set(0);
    actualVoltage_.set(0);
    settingsToFile_.set(true);
    cachedDataStatus_.set(0);
    applicationInitialized_.set(false);
}

TVirtualScopeLyraRM::~TVirtualScopeLyraRM() {
    // ShutdownApplication normally closed the file already; a model destroyed without
    // it must not leak the open stream.
    TVirtualScopeLyraRM::CloseRecordFile();
}

// ---------------------------------------------------------------------------------
// Listener registry

void TVirtualScopeLyraRM::RegisterListener(int32_t group, TNotificationHandler* callback,
                                           const void* listener) {
    listeners_.push_back(ListenerEntry{group, callback, listener, nextSerial_++});
}

void TVirtualScopeLyraRM::UnregisterListener(TNotificationHandler* callback, const void* /*listener*/) {
    auto it = std::find_if(listeners_.begin(), listeners_.end(),
                           [callback](const ListenerEntry& e) { return e.callback == callback; });
    if (it != listeners_.end()) listeners_.erase(it);
}

std::ptrdiff_t TVirtualScopeLyraRM::FindSerial(uint64_t serial) const noexcept {
    for (std::size_t i = 0; i < listeners_.size(); ++i)
        if (listeners_[i].serial == serial) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

void TVirtualScopeLyraRM::NotifyListeners(int32_t code, int32_t group) {
    // The flag drops the first notification before start-up and one nested
    // notification per delivery; peers rely on that, so it stays.
    if (!deliveryFlag_) {
        deliveryFlag_ = true;
        return;
    }
    deliveryFlag_ = false;
    if (code == kNotifyShutdown)
        DeliverShutdown(group);
    else
        DeliverInOrder(code, group);
    deliveryFlag_ = true;
}

void TVirtualScopeLyraRM::DeliverShutdown(int32_t& group) {
    // Last registered first. Every listener is expected to unregister itself; one
    // that does not is removed here, so the loop always ends.
    while (!listeners_.empty()) {
        const ListenerEntry last = listeners_.back();
        last.callback->HandleNotification(kNotifyShutdown, group);
        const std::ptrdiff_t still = FindSerial(last.serial);
        if (still >= 0) listeners_.erase(listeners_.begin() + still);
    }
}

void TVirtualScopeLyraRM::DeliverInOrder(int32_t code, int32_t& group) {
    // The entries present at the start, in registration order. A handler may
    // register or unregister listeners (itself included): entries removed before
    // their turn are skipped, entries added are not told, and nobody is told twice
    // or indexed past the end of the list.
    std::vector<uint64_t> serials;
    serials.reserve(listeners_.size());
    for (const ListenerEntry& e : listeners_) serials.push_back(e.serial);
    for (uint64_t serial : serials) {
        const std::ptrdiff_t i = FindSerial(serial);
        if (i < 0) continue;
        TNotificationHandler* callback = listeners_[static_cast<std::size_t>(i)].callback;
        callback->HandleNotification(code, group);
    }
}

// ---------------------------------------------------------------------------------
// Start and stop

void TVirtualScopeLyraRM::InitializeApplication() {
    deliveryFlag_ = true;
    NotifyListeners(kNotifyLoadStartupSettings, kGroupScope);
    NotifyListeners(kNotifyStartup, kGroupScope);
    // Only now: no record file is opened while code 1 is delivered.
    applicationInitialized_.set(true);
}

void TVirtualScopeLyraRM::ShutdownApplication() {
    SetMeasurementStarted(false);
    NotifyListeners(kNotifySettingsChanged, kGroupScope);
    NotifyListeners(kNotifyShutdown, kGroupScope);
    CloseRecordFile();
}

// ---------------------------------------------------------------------------------
// Record file

void TVirtualScopeLyraRM::OpenRecordFile(const std::string& name) {
    const std::string target = name;  // `name` may be RecordFileName() itself
    // The size is reset under the record file's lock, so an append that was under
    // way cannot add its bytes after the reset.
    if (!recordFile_.Close([this] { StoreFileSizeValue(0.0); })) OnRecordFileFailure();
    recordFileName_ = target;
    if (!applicationInitialized_.get() || !savingActivated_.get()) return;
    const auto outcome = recordFile_.OpenForAppend(
        target, [this](uint64_t size) { StoreFileSizeValue(static_cast<double>(size)); });
    if (outcome == TRecordFileLyraRM::OpenOutcome::OpenedExisting || outcome == TRecordFileLyraRM::OpenOutcome::Created)
        return;
    if (messages_ != nullptr) {
        if (outcome == TRecordFileLyraRM::OpenOutcome::NotRegular)
            messages_->Show(strings::FormatText(strings::kRecordFileNotRegular, target), MsgButtons::Ok, MsgIcon::Error);
        else
            messages_->Show(strings::kCannotCreateFile, MsgButtons::Ok, MsgIcon::Error);
    }
    savingActivated_.set(false);  // the field: no reopening
}

void TVirtualScopeLyraRM::ClearRecordFile() {
    if (!recordFile_.Close()) OnRecordFileFailure();
    SetFileSize(0.0);
    if (recordFile_.CreateEmpty(recordFileName_)) return;
    if (messages_ != nullptr)
        messages_->Show(strings::FormatText(strings::kCannotCreateFileNamed, recordFileName_), MsgButtons::Ok,
                        MsgIcon::Error);
}

void TVirtualScopeLyraRM::CloseRecordFile() {
    if (!recordFile_.Close()) OnRecordFileFailure();
}

void TVirtualScopeLyraRM::AppendToRecordFile(const uint16_t* words, uint32_t count) {
    if (!savingActivated_.get() || count == 0) return;
    const auto outcome = recordFile_.Append(words, count, [this](int64_t bytes) {
        AddToFileSize(static_cast<double>(bytes));
    });
    if (outcome == TRecordFileLyraRM::AppendOutcome::Failed) OnRecordFileFailure();
}

void TVirtualScopeLyraRM::FlushRecordFile() {
    const auto outcome = recordFile_.Flush([this](int64_t bytes) { AddToFileSize(static_cast<double>(bytes)); });
    if (outcome == TRecordFileLyraRM::AppendOutcome::Failed) OnRecordFileFailure();
}

void TVirtualScopeLyraRM::OnRecordFileFailure() {
    // Any thread: no dialog here. Saving stops; the user-interface thread reports.
    savingActivated_.set(false);
    if (recordFailurePending_.exchange(true, std::memory_order_relaxed)) return;
    if (uiPost_) uiPost_([this] { ReportRecordFileFailure(); });
}

void TVirtualScopeLyraRM::ReportRecordFileFailure() {
    if (!recordFailurePending_.exchange(false, std::memory_order_relaxed)) return;
    const std::string name = recordFile_.FileName();
    recordFile_.ClearFailure();
    if (messages_ != nullptr)
        messages_->Show(strings::FormatText(strings::kRecordWriteFailed, name), MsgButtons::Ok, MsgIcon::Error);
    NotifyListeners(kNotifySettingsChanged, kGroupScope);
}

void TVirtualScopeLyraRM::SetLostDataMarks(uint64_t v) {
    lostDataMarks_.store(v, std::memory_order_relaxed);
    PostLostDataMarks();
}

void TVirtualScopeLyraRM::AddLostDataMarks(uint64_t n) {
    lostDataMarks_.fetch_add(n, std::memory_order_relaxed);
    PostLostDataMarks();
}

void TVirtualScopeLyraRM::PostLostDataMarks() {
    // Any thread. While a post waits, the count it will read already includes this change.
    if (lostDataShowPending_.exchange(true, std::memory_order_acq_rel)) return;
    if (uiPost_) uiPost_([this] { ShowLostDataMarks(); });
}

void TVirtualScopeLyraRM::ShowLostDataMarks() {
    // Taken back before the count is read: a mark counted after this read posts again.
    lostDataShowPending_.exchange(false, std::memory_order_acq_rel);
    if (ValueSink* label = lostDataLabel_.get()) label->SetMainValue(static_cast<double>(LostDataMarks()));
}

std::string TVirtualScopeLyraRM::IndexFileName(const std::string& recordFileName) {
    return TRecordFileLyraRM::IndexFileName(recordFileName);
}

void TVirtualScopeLyraRM::SetSavingActivated(bool v) {
    savingActivated_.set(v);
    OpenRecordFile(recordFileName_);
}

void TVirtualScopeLyraRM::SetFileSize(double v) {
    std::lock_guard<std::mutex> guard(fileSizeLock_);
    fileSize_.set(v);
    if (ValueSink* label = fileSizeLabel_.get()) label->SetMainValue(v);
}

void TVirtualScopeLyraRM::StoreFileSizeValue(double v) {
    std::lock_guard<std::mutex> guard(fileSizeLock_);
    fileSize_.set(v);
}

void TVirtualScopeLyraRM::AddToFileSize(double bytes) {
    std::lock_guard<std::mutex> guard(fileSizeLock_);
    const double v = fileSize_.get() + bytes;
    fileSize_.set(v);
    if (ValueSink* label = fileSizeLabel_.get()) label->SetMainValue(v);
}

// ---------------------------------------------------------------------------------
// Derived values

std::string TVirtualScopeLyraRM::ProbeText(int32_t channel) const {
    const int32_t probe = channel == kChannelB ? SourceProbeB() : SourceProbeA();
    switch (probe) {
        case 1: return "    1:1";
        case 2: return "  1:10";
        case 3: return "1:100";
        case 4: return "1:1000";
        default: return {};
    }
}

int32_t TVirtualScopeLyraRM::DeflectionFactor(int32_t channel) const {
    if (channel == kChannelB) return Deflection(SourceProbeB(), DensityChannelB());
    return Deflection(SourceProbeA(), DensityChannelA());
}

uint32_t TVirtualScopeLyraRM::ScaleColor(uint32_t color, double factor) {
    uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double scaled = RoundHalfEven(static_cast<double>((color >> shift) & 0xFFu) * factor);
        // A factor above 1 (or below 0) must not carry into the neighbouring byte.
        const uint32_t byte = static_cast<uint32_t>(std::clamp(scaled, 0.0, 255.0));
        result |= byte << shift;
    }
    return result;
}

int32_t TVirtualScopeLyraRM::DeviceModelIndex() const noexcept {
    // The driver library writes the field in its own byte order; read it the same way.
    int32_t index = 0;
    std::memcpy(&index, rangeTable_.data() + kDeviceModelIndexOffset, sizeof index);
    return index;
}

// ---------------------------------------------------------------------------------
// Vertical position and sensitivity

void TVirtualScopeLyraRM::SetDensityChannelA(uint16_t v) { StoreLocked(densityChannelA_, ClampDensity(v)); }
void TVirtualScopeLyraRM::SetDensityChannelB(uint16_t v) { StoreLocked(densityChannelB_, ClampDensity(v)); }

void TVirtualScopeLyraRM::SetVerticalLevelChannelA(uint16_t v) {
    if (v >= kMinLevel && v <= kMaxLevel) StoreLocked(verticalLevelChannelA_, v);
}

void TVirtualScopeLyraRM::SetVerticalLevelChannelB(uint16_t v) {
    if (v >= kMinLevel && v <= kMaxLevel) StoreLocked(verticalLevelChannelB_, v);
}

int32_t TVirtualScopeLyraRM::ScaledLevelChannelA() const noexcept {
    return ScaledLevel(VerticalLevelChannelA(), MaxChannelA());
}

int32_t TVirtualScopeLyraRM::ScaledLevelChannelB() const noexcept {
    return ScaledLevel(VerticalLevelChannelB(), MaxChannelB());
}

// The slide writes here while it is dragged: stored directly, no range check, no lock.
void TVirtualScopeLyraRM::SetScaledLevelChannelA(int32_t v) noexcept {
    uint16_t level = 0;
    if (LevelFromScaled(v, MaxChannelA(), level)) verticalLevelChannelA_.set(level);
}

void TVirtualScopeLyraRM::SetScaledLevelChannelB(int32_t v) noexcept {
    uint16_t level = 0;
    if (LevelFromScaled(v, MaxChannelB(), level)) verticalLevelChannelB_.set(level);
}

void TVirtualScopeLyraRM::SetStatusChannelA(bool v) { StoreLocked(statusChannelA_, v); }
void TVirtualScopeLyraRM::SetStatusChannelB(bool v) { StoreLocked(statusChannelB_, v); }

// ---------------------------------------------------------------------------------
// Colours and display

void TVirtualScopeLyraRM::SetColorGrid(uint32_t v) noexcept {
    colorGrid_.set(v);
    realGridColor_.set(ScaleColor(v, GridBrightness() / 100.0));
}

void TVirtualScopeLyraRM::SetGridBrightness(int32_t v) noexcept {
    gridBrightness_.set(v);
    realGridColor_.set(ScaleColor(ColorGrid(), v / 100.0));
}

void TVirtualScopeLyraRM::SetDisplayActive(bool v) noexcept {
    displayActive_.set(v);
    if (!v) clearScreenRequested_.set(true);
}

// ---------------------------------------------------------------------------------
// Trigger and ARM

void TVirtualScopeLyraRM::SetTriggerSourceA(bool v) { StoreLocked(triggerSourceA_, v); }
void TVirtualScopeLyraRM::SetTriggerSourceB(bool v) { StoreLocked(triggerSourceB_, v); }
void TVirtualScopeLyraRM::SetTriggerLevelA(double v) { StoreLocked(triggerLevelA_, v); }
void TVirtualScopeLyraRM::SetTriggerLevelB(double v) { StoreLocked(triggerLevelB_, v); }
void TVirtualScopeLyraRM::SetTriggerUnderA(bool v) { StoreLocked(triggerUnderA_, v); }
void TVirtualScopeLyraRM::SetTriggerUnderB(bool v) { StoreLocked(triggerUnderB_, v); }
void TVirtualScopeLyraRM::SetTriggerRelation(bool v) { StoreLocked(triggerRelation_, v); }
void TVirtualScopeLyraRM::SetARMSourceA(bool v) { StoreLocked(armSourceA_, v); }
void TVirtualScopeLyraRM::SetARMSourceB(bool v) { StoreLocked(armSourceB_, v); }
void TVirtualScopeLyraRM::SetARMSourceExternal(bool v) { StoreLocked(armSourceExternal_, v); }
void TVirtualScopeLyraRM::SetARMLevelA(double v) { StoreLocked(armLevelA_, v); }
void TVirtualScopeLyraRM::SetARMLevelB(double v) { StoreLocked(armLevelB_, v); }
void TVirtualScopeLyraRM::SetARMUnderA(bool v) { StoreLocked(armUnderA_, v); }
void TVirtualScopeLyraRM::SetARMUnderB(bool v) { StoreLocked(armUnderB_, v); }
void TVirtualScopeLyraRM::SetARMUnderExternal(bool v) { StoreLocked(armUnderExternal_, v); }

// Called by the acquisition thread with the status byte of every block.
void TVirtualScopeLyraRM::SetDataAcquisitionStatus(uint8_t s) noexcept {
    if (s == 0)
        measurementStarted_.set(false);  // the field: the driver already stopped
    else if (!measurementStarted_.get())
        return;  // a late status after the stop
    dataAcquisitionStatus_.set(s);
    triggerLEDStatus_.set(s & 0x0F);
    armLEDStatus_.set(s >> 4);
}

// ---------------------------------------------------------------------------------
// Input source

void TVirtualScopeLyraRM::SetSourceACDC_A(bool v) { StoreLocked(sourceACDC_A_, v); }
void TVirtualScopeLyraRM::SetSourceACDC_B(bool v) { StoreLocked(sourceACDC_B_, v); }
void TVirtualScopeLyraRM::SetSourceProbeA(int32_t v) { StoreLocked(sourceProbeA_, v); }
void TVirtualScopeLyraRM::SetSourceProbeB(int32_t v) { StoreLocked(sourceProbeB_, v); }
void TVirtualScopeLyraRM::SetGroundA(bool v) { StoreLocked(groundA_, v); }
void TVirtualScopeLyraRM::SetGroundB(bool v) { StoreLocked(groundB_, v); }

// ---------------------------------------------------------------------------------
// Measurement record mode

void TVirtualScopeLyraRM::SetRecordFree(bool v) { StoreLocked(recordFree_, v); }

void TVirtualScopeLyraRM::SetMeasurementStarted(bool v) {
    std::lock_guard<std::mutex> guard(settingsLock_);
    measurementStarted_.set(v);
    if (v) {
        // Differs from any real status, so the indicators repaint on the next pass.
        cachedDataStatus_.set(17);
    } else {
        dataAcquisitionStatus_.set(0);
        triggerLEDStatus_.set(0);
        armLEDStatus_.set(0);
    }
}

void TVirtualScopeLyraRM::SetMeasurementLength(uint32_t v) { StoreLocked(measurementLength_, v); }
void TVirtualScopeLyraRM::SetMeasurementDefined(bool v) { StoreLocked(measurementDefined_, v); }

// ---------------------------------------------------------------------------------
// Time base: the coupling keeps SMP + DSP >= 3 whenever either is 0, 1 or 2.

void TVirtualScopeLyraRM::SetSMPSetting(int32_t v) {
    std::lock_guard<std::mutex> guard(settingsLock_);
    smpSetting_.set(v);
    const int32_t dsp = dspSetting_.get();
    if (v >= 0 && v <= 2 && dsp < 3 - v) dspSetting_.set(3 - v);
}

void TVirtualScopeLyraRM::SetDSPSetting(int32_t v) {
    // The display rate is not transferred to the driver and takes no lock; the
    // sampling rate it may raise is, so that one store goes under the lock.
    dspSetting_.set(v);
    if (v < 0 || v > 2) return;
    std::lock_guard<std::mutex> guard(settingsLock_);
    if (smpSetting_.get() < 3 - v) smpSetting_.set(3 - v);
}

// ---------------------------------------------------------------------------------
// Demo signal

void TVirtualScopeLyraRM::SetPeriodA(int32_t v) { StoreLocked(periodA_, v); }
void TVirtualScopeLyraRM::SetPeriodB(int32_t v) { StoreLocked(periodB_, v); }
void TVirtualScopeLyraRM::SetAmplitudeA(int32_t v) { StoreLocked(amplitudeA_, v); }
void TVirtualScopeLyraRM::SetAmplitudeB(int32_t v) { StoreLocked(amplitudeB_, v); }
void TVirtualScopeLyraRM::SetNoiseA(int32_t v) { StoreLocked(noiseA_, v); }
void TVirtualScopeLyraRM::SetNoiseB(int32_t v) { StoreLocked(noiseB_, v); }

// ---------------------------------------------------------------------------------
// Links, live values and options

void TVirtualScopeLyraRM::SetVirtualDriver(TVirtualDriverLyraRM* v) noexcept {
    if (v != nullptr) virtualDriver_.set(v);
}

// Called by the processing thread with the last word of every run.
void TVirtualScopeLyraRM::SetActualVoltage(uint16_t w) {
    ValueSink* labelA = actualVoltageA_.get();
    ValueSink* labelB = actualVoltageB_.get();
    if ((w >> 8) == 0) {
        // Not a sample (a settings record or a marker): keep the word, only repaint.
        if (labelA != nullptr) {
            labelA->SetMainValue(labelA->MainValue());
            if (labelB != nullptr) labelB->SetMainValue(labelB->MainValue());
        }
        return;
    }
    actualVoltage_.set(w);
    const double codesB = static_cast<double>((w >> 8) - ZeroChannelB());
    const double codesA = static_cast<double>((w & 0xFF) - ZeroChannelA());
    const double millivoltsB = RoundHalfEven(codesB * DeflectionFactor(kChannelB) / kCodesPerDivision);
    const double millivoltsA = RoundHalfEven(codesA * DeflectionFactor(kChannelA) / kCodesPerDivision);
    if (labelB != nullptr) labelB->SetMainValue(millivoltsB);
    if (labelA != nullptr) labelA->SetMainValue(millivoltsA);
}

void TVirtualScopeLyraRM::SetSettingsToFile(bool v) { StoreLocked(settingsToFile_, v); }

}  // namespace rollmode::core
