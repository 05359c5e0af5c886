#pragma once
// The name of the viewer's index file beside a record file, and its guarded removal.
#include <string>

namespace rollmode::records {

// The index file always sits in the record's own folder; the rule applies to the
// file's own name only, never to the folder part of the path:
//   a name ending in a three-character extension keeps its stem and gets "ind"
//     ("sdata.rmd" -> "sdata.ind", "/data/run 1.rmd" -> "/data/run 1.ind");
//   any other name gets ".ind" appended ("wind" -> "wind.ind", "ab" -> "ab.ind",
//     "d/x" -> "d/x.ind", "" -> ".ind");
//   a name whose extension already is "ind" (any case) would name the record itself,
//     so it also gets ".ind" appended ("x.ind" -> "x.ind.ind").
std::string IndexFileName(const std::string& recordFileName);

enum class IndexRemoval {
    Removed,  // the index file was unlinked
    Absent,   // there was none
    Kept      // something is there but it is not ours to delete (see RemoveIndexFileOf)
};

// Deletes the index file of `recordPath`, when it is a regular file (not a link, a
// folder or a device), lies in the record's folder and is not the record file itself
// (the same device and inode, as through a hard link or a case-folding file system).
IndexRemoval RemoveIndexFileOf(const std::string& recordPath);

}  // namespace rollmode::records
