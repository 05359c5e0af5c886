#pragma once
// How often the stream carried a lost-data mark (the instrument's memory overflowed
// and words were lost before they reached the computer). Blank while nothing was
// lost, so the window looks as usual; red text otherwise, like the marks on the
// screens. The model hands it the count on the user-interface thread.
#include <QLabel>
#include <cstdint>
#include <string>

#include "ports/ValueSink.h"

namespace rollmode::display {

// "" for no marks, else the table's "Data lost" text with the count.
std::string LostDataText(std::uint64_t marks);

class TLostDataLabel : public QLabel, public core::ValueSink {
    Q_OBJECT

public:
    explicit TLostDataLabel(QWidget* parent = nullptr);

    // User-interface thread only.
    double MainValue() const override { return static_cast<double>(marks_); }
    void SetMainValue(double value) override;
    std::uint64_t Marks() const noexcept { return marks_; }

private:
    std::uint64_t marks_ = 0;
};

}  // namespace rollmode::display
