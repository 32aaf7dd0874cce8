#include "iq_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <nlohmann/json.hpp>

namespace pagora::gen {
namespace {
bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

std::string IqFormatFor(const std::string& path, const std::string& format) {
  if (!format.empty())
    return format;
  for (const char* f : {"cu8", "cs16", "cf32"}) {
    if (EndsWith(path, std::string(".") + f))
      return f;
  }
  if (EndsWith(path, ".sigmf-data"))
    return "cf32";
  return {};
}

bool WriteIqFile(const std::string& path, const std::string& format,
                 const std::vector<IqChannel>& channels, const IqRenderOptions& options, bool sigmf,
                 double centreHz, std::string& error) {
  std::FILE* out = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
  if (!out) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<unsigned char> bytes;
  bool ok = true;
  RenderIq(channels, options, [&](const std::complex<float>* samples, std::size_t count) {
    bytes.clear();
    for (std::size_t k = 0; k < count; ++k) {
      float v[2] = {samples[k].real(), samples[k].imag()};
      if (format == "cu8") {
        for (float x : v) {
          long q = std::lround(127.5 + 127.5 * static_cast<double>(x));
          bytes.push_back(static_cast<unsigned char>(std::clamp(q, 0L, 255L)));
        }
      } else if (format == "cs16") {
        for (float x : v) {
          long q = std::lround(32767.0 * static_cast<double>(x));
          auto s = static_cast<std::int16_t>(std::clamp(q, -32768L, 32767L));
          unsigned char b[2];
          std::memcpy(b, &s, 2);
          bytes.insert(bytes.end(), b, b + 2);
        }
      } else {
        unsigned char b[8];
        std::memcpy(b, v, 8);
        bytes.insert(bytes.end(), b, b + 8);
      }
    }
    if (ok && std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
      ok = false;
  });
  if (std::fflush(out) != 0)
    ok = false;
  if (out != stdout && std::fclose(out) != 0)
    ok = false;
  if (!ok) {
    error = path + ": " + std::strerror(errno != 0 ? errno : EIO);
    return false;
  }
  if (sigmf && path != "-") {
    std::string stem = EndsWith(path, ".sigmf-data") ? path.substr(0, path.size() - 11) : path;
    std::string meta = stem + ".sigmf-meta";
    nlohmann::ordered_json doc;
    doc["global"] = {{"core:datatype", format == "cu8"    ? "cu8"
                                       : format == "cs16" ? "ci16_le"
                                                          : "cf32_le"},
                     {"core:sample_rate", options.sampleRate},
                     {"core:version", "1.0.0"},
                     {"core:description", "paging channels rendered by pagora-gen"}};
    doc["captures"] =
        nlohmann::ordered_json::array({{{"core:sample_start", 0}, {"core:frequency", centreHz}}});
    doc["annotations"] = nlohmann::ordered_json::array();
    std::ofstream metaOut(meta);
    metaOut << doc.dump(2) << '\n';
    if (!metaOut) {
      error = "cannot write " + meta;
      return false;
    }
  }
  return true;
}

}  // namespace pagora::gen
