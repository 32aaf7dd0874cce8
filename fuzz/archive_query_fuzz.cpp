// What users type into a search and what receivers publish: arbitrary bytes as a text query (and
// capcode pattern) against a real SQLite archive must never be read as query syntax (no error
// from the full-text index), and as a published page object must never crash the reader.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/archive.h"

namespace {

pagora::archive::Store& Archive() {
  static std::unique_ptr<pagora::archive::Store> store = [] {
    auto s = pagora::archive::OpenSqlite(":memory:");
    std::vector<pagora::archive::StoredPage> pages;
    for (const char* text : {"FIRE at Main St", "Ambulance 555-1234", "near fire station"}) {
      pagora::archive::StoredPage p;
      p.time = 1717408800;
      p.protocol = "POCSAG";
      p.capcode = "1234567";
      p.text = text;
      p.json = "{}";
      pages.push_back(p);
    }
    s->Insert(pages);
    return s;
  }();
  return *store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  pagora::archive::FromJson(input, "station");

  pagora::archive::Query query;
  query.text = input;
  // Every word's tokens must be found alike whatever surrounds them: a query is never an error.
  Archive().Search(query);
  query.capcode = input.substr(0, 12);
  if (!pagora::archive::InvalidQuery(query))
    Archive().Search(query);
  return 0;
}
