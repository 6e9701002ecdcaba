// FileStamp - what tells that a file was replaced or rewritten: whether it
// exists, its size and its last write time. Two stamps of the same file that
// differ mean it changed in between; a build that writes the file anew gives
// it a new stamp even when the size stays.
#pragma once

#include <cstdint>
#include <string>

namespace wqhost {

struct FileStamp {
    bool exists = false;
    uintmax_t size = 0;
    int64_t writeTime = 0; // in the file system's own clock ticks

    bool operator==(const FileStamp &o) const noexcept {
        return exists == o.exists && size == o.size && writeTime == o.writeTime;
    }
    bool operator!=(const FileStamp &o) const noexcept { return !(*this == o); }
};

// The stamp of the file at `path` (UTF-8); a missing or unreadable file has
// exists == false.
FileStamp fileStamp(const std::string &path);

} // namespace wqhost
