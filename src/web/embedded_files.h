// The web page's files (src/web/assets), built into the program by a CMake step: the page
// needs no files on disk and no download at run time, and nothing outside this table can be
// served.
#pragma once

#include <cstddef>
#include <string_view>

namespace pagora::web {

struct EmbeddedFile {
  std::string_view name;  // "index.html", "app.js", ...
  std::string_view data;
};

// Generated from the assets folder.
extern const EmbeddedFile kEmbeddedFiles[];
extern const std::size_t kEmbeddedFileCount;

// The file of that exact name, or null. Names are compared whole: there are no folders.
const EmbeddedFile* FindEmbeddedFile(std::string_view name);
// The Content-Type for a file name by its extension.
const char* ContentTypeFor(std::string_view name);

}  // namespace pagora::web
