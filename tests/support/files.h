// Files for the tests that write them: a directory of a test's own under the temporary directory, gone
// with all in it when the test ends, a file's whole text, and the race log's clock.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ctime>
#include <stdexcept>
#include <string>

// The race log's clock in the tests that name its files: 2026-12-08 20:41, local.
inline std::tm restartTime() {
    std::tm time{};
    time.tm_min = 41, time.tm_hour = 20, time.tm_mday = 8, time.tm_mon = 11, time.tm_year = 126;
    return time;
}

inline std::string fileText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

struct TempDir {
    const std::filesystem::path path;
    explicit TempDir(const std::string& name, const std::filesystem::path& base = std::filesystem::temp_directory_path())
        : path(made(base / ("stintkeeper-" + name + "-XXXXXX"))) {}
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

private:
    static std::filesystem::path made(const std::filesystem::path& where) {
        std::string pattern = where.string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no directory " + pattern);
        return std::filesystem::canonical(pattern);
    }
};
