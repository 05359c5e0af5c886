#pragma once
// The name of the viewer's index file beside a record file.
#include <string>

namespace rollmode::records {

// A name of at least 4 characters loses its last 3 and gets "ind" ("sdata.rmd" gives
// "sdata.ind"); a shorter name gives "ind".
std::string IndexFileName(const std::string& recordFileName);

}  // namespace rollmode::records
