#pragma once
// A label the core sets from any thread (record size, live voltages). The value is
// stored atomically; the text follows on the user-interface thread, and a burst of
// values collapses into one repaint. Shows the plain number: the unit prefixes and
// "N/A" of the information panels' unit-value labels are theirs.
#include <atomic>

#include <QLabel>

#include "ports/ValueSink.h"

namespace rollmode::shell {

class QtValueLabel : public QLabel, public core::ValueSink {
    Q_OBJECT
public:
    explicit QtValueLabel(QWidget* parent = nullptr);

    double MainValue() const override { return value_.load(std::memory_order_relaxed); }
    void SetMainValue(double value) override;

protected:
    // The text shown for a value.
    virtual QString FormatValue(double value) const;

private:
    void RefreshText();

    std::atomic<double> value_{0.0};
    std::atomic<bool> refreshPending_{false};
};

}  // namespace rollmode::shell
