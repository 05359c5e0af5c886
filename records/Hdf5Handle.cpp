#include "Hdf5Handle.h"

#include <hdf5.h>

namespace rollmode::records {

THdf5Handle& THdf5Handle::operator=(THdf5Handle&& other) noexcept {
    if (this != &other) {
        Close();
        id_ = other.id_;
        other.id_ = -1;
    }
    return *this;
}

bool THdf5Handle::Close() {
    if (id_ < 0) return true;
    const hid_t id = id_;
    id_ = -1;
    herr_t rc = 0;
    switch (H5Iget_type(id)) {
        case H5I_FILE: rc = H5Fclose(id); break;
        case H5I_GROUP: rc = H5Gclose(id); break;
        case H5I_DATASET: rc = H5Dclose(id); break;
        case H5I_DATASPACE: rc = H5Sclose(id); break;
        case H5I_GENPROP_LST: rc = H5Pclose(id); break;
        case H5I_ATTR: rc = H5Aclose(id); break;
        case H5I_DATATYPE: rc = H5Tclose(id); break;
        default: rc = -1; break;
    }
    return rc >= 0;
}

}  // namespace rollmode::records
