#include "web/embedded_files.h"

namespace pagora::web {

const EmbeddedFile* FindEmbeddedFile(std::string_view name) {
  for (std::size_t i = 0; i < kEmbeddedFileCount; ++i) {
    if (kEmbeddedFiles[i].name == name)
      return &kEmbeddedFiles[i];
  }
  return nullptr;
}

const char* ContentTypeFor(std::string_view name) {
  if (name.ends_with(".html"))
    return "text/html; charset=utf-8";
  if (name.ends_with(".js"))
    return "text/javascript; charset=utf-8";
  if (name.ends_with(".css"))
    return "text/css; charset=utf-8";
  if (name.ends_with(".svg"))
    return "image/svg+xml";
  if (name.ends_with(".png"))
    return "image/png";
  return "application/octet-stream";
}

}  // namespace pagora::web
