// A C file owned by the one who opened it: closed when its owner goes, on every way out.
// The deleter of every std::FILE the program opens.
#pragma once

#include <cstdio>
#include <memory>

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;
