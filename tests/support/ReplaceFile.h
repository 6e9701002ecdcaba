// Puts a copy of a file in another's place as a build does: written beside
// it, then renamed over it, so that a file a running program was mapped from
// stays whole and a watcher never reads half of the new one.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace wqtest {

inline void replaceFile(const std::string &from, const std::string &to) {
    const std::string part = to + ".part";
    {
        std::ifstream in(from, std::ios::binary);
        std::ofstream out(part, std::ios::binary);
        out << in.rdbuf();
    }
    // std::filesystem's rename replaces an existing file on Windows too.
    std::error_code error;
    std::filesystem::rename(part, to, error);
    ASSERT_FALSE(error) << to << ": " << error.message();
}

} // namespace wqtest
