#pragma once
// Owns one HDF5 identifier (file, group, dataset, dataspace, property list, attribute)
// and closes it with the call its kind needs, on every path out.
#include <cstdint>

namespace rollmode::records {

class THdf5Handle {
public:
    THdf5Handle() = default;
    explicit THdf5Handle(int64_t id) : id_(id) {}
    ~THdf5Handle() { Close(); }
    THdf5Handle(const THdf5Handle&) = delete;
    THdf5Handle& operator=(const THdf5Handle&) = delete;
    THdf5Handle(THdf5Handle&& other) noexcept : id_(other.id_) { other.id_ = -1; }
    THdf5Handle& operator=(THdf5Handle&& other) noexcept;

    int64_t Get() const { return id_; }
    bool Valid() const { return id_ >= 0; }
    // Closes now; false when HDF5 reports a failure (for a file: its last writes).
    bool Close();

private:
    int64_t id_ = -1;
};

}  // namespace rollmode::records
