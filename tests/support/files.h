// Files for the tests that write them: a directory of a test's own under the temporary directory, gone
// with all in it when the test ends, and a file's whole text.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

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
