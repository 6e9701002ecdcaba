#include "host/platform/FileStamp.h"

#include <filesystem>
#include <system_error>

namespace wqhost {

FileStamp fileStamp(const std::string &path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path file = fs::u8path(path);
    FileStamp stamp;
    const uintmax_t size = fs::file_size(file, error);
    if (error)
        return stamp;
    const fs::file_time_type time = fs::last_write_time(file, error);
    if (error)
        return stamp;
    stamp.exists = true;
    stamp.size = size;
    stamp.writeTime = static_cast<int64_t>(time.time_since_epoch().count());
    return stamp;
}

} // namespace wqhost
