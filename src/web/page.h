// The page's files, embedded in the program when it is built (the web/ folder of the sources): the one
// executable serves them, and nothing of the file system is ever read for a request.
#pragma once

#include <string_view>

struct EmbeddedFile {
    std::string_view path;          // "/index.html" is served at "/" too
    std::string_view contentType;
    std::string_view bytes;
};

// The file served at `path`; nullptr for any other path.
const EmbeddedFile* embeddedFile(std::string_view path);
