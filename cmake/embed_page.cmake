# Writes the page's files (every file of the web/ folder) into one C++ source as byte arrays, with the
# lookup web/page.h declares. Run at build time: cmake -DPAGE_DIR=... -DOUTPUT=... -P embed_page.cmake
file(GLOB page_files RELATIVE ${PAGE_DIR} ${PAGE_DIR}/*)
list(SORT page_files)
set(arrays "")
set(rows "")
set(index 0)
foreach(name ${page_files})
  if(IS_DIRECTORY ${PAGE_DIR}/${name})
    continue()
  endif()
  file(READ ${PAGE_DIR}/${name} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND arrays "constexpr char kFile${index}[] = {${bytes} 0};\n")
  set(type "application/octet-stream")
  if(name MATCHES "\\.html$")
    set(type "text/html; charset=utf-8")
  elseif(name MATCHES "\\.css$")
    set(type "text/css; charset=utf-8")
  elseif(name MATCHES "\\.m?js$")
    set(type "text/javascript; charset=utf-8")
  elseif(name MATCHES "\\.svg$")
    set(type "image/svg+xml")
  elseif(name MATCHES "\\.png$")
    set(type "image/png")
  elseif(name MATCHES "\\.ico$")
    set(type "image/x-icon")
  endif()
  string(APPEND rows "    {\"/${name}\", \"${type}\", {kFile${index}, ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.new "// Written by cmake/embed_page.cmake from the web/ folder: do not edit.
#include \"web/page.h\"

namespace {

${arrays}
constexpr EmbeddedFile kFiles[] = {
${rows}};

}  // namespace

const EmbeddedFile* embeddedFile(std::string_view path) {
    if (path == \"/\") path = \"/index.html\";
    for (const EmbeddedFile& file : kFiles) {
        if (file.path == path) return &file;
    }
    return nullptr;
}
")
# Touched only when it changed, so that an unchanged page builds nothing again.
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
