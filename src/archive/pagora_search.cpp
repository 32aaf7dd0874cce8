// pagora-search: finds pages in the archive (an SQLite file or a PostgreSQL database) by words,
// capcode, protocol and time, newest first, as text lines or JSON objects.
#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "archive/archive.h"

namespace pagora::archive {
namespace {

enum ExitStatus { kExitOk = 0, kExitArchive = 1, kExitUsage = 2 };

int Run(int argc, char** argv) {
  CLI::App app{"Finds pages in the Pagora archive, newest first.", "pagora-search"};
  app.set_version_flag("--version", std::string("pagora-search ") + PAGORA_VERSION);
  app.footer(
      "WORDS must all appear in a page's text (any case); a word ending in * matches any\n"
      "ending. Quotes and other query syntax are taken as part of the words.\n\n"
      "Times are ISO 8601 local time (2024-06-03T12:00:00, with +02:00 or Z for another zone),\n"
      "a date alone (--since: from its start, --until: to its end), or Unix seconds.\n\n"
      "Exit status: 0 when the search ran (found or not), 1 when the archive could not be\n"
      "opened or read, 2 for wrong options.");
  std::vector<std::string> words;
  std::string archivePath, postgres, format = "text", since, until;
  Query query;
  bool json = false;
  std::int64_t beforeId = 0;
  app.add_option("WORDS", words, "Words to find in the page text");
  app.add_option("--archive", archivePath,
                 "SQLite archive file (default: $XDG_DATA_HOME/pagora/archive.db)");
  app.add_option("--postgres", postgres, "PostgreSQL connection string instead of a file");
  app.add_option("--capcode", query.capcode,
                 "Capcode, ? for any one digit: 12345?? is 1234500 to 1234599");
  app.add_option("--protocol", query.protocol, "POCSAG, FLEX or GSC")
      ->transform([](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return text;
      })
      ->check(CLI::IsMember({"POCSAG", "FLEX", "GSC"}));
  app.add_option("--since", since, "Pages at or after this time");
  app.add_option("--until", until, "Pages at or before this time");
  app.add_option("--limit", query.limit, "At most this many pages")
      ->default_val(50)
      ->check(CLI::Range(1, 1000000));
  app.add_option("--before-id", beforeId, "Only pages stored before this archive id (paging)")
      ->check(CLI::PositiveNumber);
  app.add_flag("--json", json, "One JSON object per page (--format json)");
  app.add_option("--format", format, "text or json")
      ->default_val("text")
      ->check(CLI::IsMember({"text", "json"}));
  app.get_option("--postgres")->excludes(app.get_option("--archive"));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kExitOk : kExitUsage;
  }
  for (const std::string& word : words)
    query.text += (query.text.empty() ? "" : " ") + word;
  if (!since.empty() && !(query.since = ParseUserTime(since, false))) {
    std::cerr << "pagora-search: --since: not a time: " << since << "\n";
    return kExitUsage;
  }
  if (!until.empty() && !(query.until = ParseUserTime(until, true))) {
    std::cerr << "pagora-search: --until: not a time: " << until << "\n";
    return kExitUsage;
  }
  if (beforeId > 0)
    query.beforeId = beforeId;
  if (std::optional<std::string> invalid = InvalidQuery(query)) {
    std::cerr << "pagora-search: " << *invalid << "\n";
    return kExitUsage;
  }

  std::vector<Row> rows;
  try {
    std::unique_ptr<Store> store;
    if (!postgres.empty()) {
      store = OpenPostgres(postgres);
    } else {
      if (archivePath.empty())
        archivePath = DefaultArchivePath();
      // A search never creates an archive: a mistyped name is an error, not an empty result.
      std::error_code error;
      if (archivePath.empty() || !std::filesystem::is_regular_file(archivePath, error)) {
        std::cerr << "pagora-search: no archive at "
                  << (archivePath.empty() ? "(no home folder)" : archivePath) << "\n";
        return kExitArchive;
      }
      store = OpenSqlite(archivePath);
    }
    rows = store->Search(query);
  } catch (const std::exception& e) {
    std::cerr << "pagora-search: " << e.what() << "\n";
    return kExitArchive;
  }
  bool asJson = json || format == "json";
  for (const Row& row : rows) {
    if (asJson)
      std::cout << RowJson(row).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    else
      std::cout << RowText(row);
    std::cout << '\n';
  }
  std::cout.flush();
  return std::cout ? kExitOk : kExitArchive;
}

}  // namespace
}  // namespace pagora::archive

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
  return pagora::archive::Run(argc, argv);
}
