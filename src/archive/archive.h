// The page archive: every completed page stored once, searchable by words, capcode, protocol
// and time. Two stores share one schema and one query: an SQLite file (the embedded default)
// and a PostgreSQL database (a region's many receivers). A page heard by several receivers is
// one row with every station that heard it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "output/page.h"

namespace pagora::archive {

// One copy of a page as a receiver reported it: the columns searched and matched on, and the
// page's JSON object as it was written (radio text inside, escaped by the JSON writer).
struct StoredPage {
  std::int64_t time = 0;  // Unix seconds
  std::string protocol;   // "POCSAG", "FLEX", "GSC"
  int rate = 0;
  std::string capcode;  // digits as shown; empty when not known
  int function = 0;     // 0 when the protocol has none
  std::string type;
  std::string text;
  bool errors = false;
  int corrected = 0;
  bool repeat = false;
  std::string filter;
  std::string station;  // empty for a receiver without a station name
  std::int64_t frequency = 0;
  std::string sourceId;  // "<station>/<run start>/<sequence>" when the receiver sent one
  std::string json;      // the page's JSON object, one line
};

// A completed page record as the archive stores it.
StoredPage FromPage(const Page& page);
// A page's JSON object as a receiver published it; nullopt when it is not one (no protocol, no
// time that can be read). `fallbackStation` names the receiver when the object does not.
std::optional<StoredPage> FromJson(const std::string& payload, const std::string& fallbackStation);

// "2024-06-03T12:34:56+02:00" (or "Z", or no zone = local time) to Unix seconds.
std::optional<std::int64_t> ParseIsoTime(const std::string& text);

// A moment as a user gives it: ISO 8601 as above, "2024-06-03T12:34", a date alone (the
// start of that day, or its last second when `endOfDay`), or Unix seconds.
std::optional<std::int64_t> ParseUserTime(const std::string& text, bool endOfDay);

// What a search asks for; every part is optional. Rows come newest first (highest id first);
// `beforeId` continues a listing after its last row.
struct Query {
  std::string text;     // words that must all appear (a trailing * on a word: any ending)
  std::string capcode;  // digits, '?' for any one digit
  std::string protocol;
  std::optional<std::int64_t> since;  // Unix seconds, inclusive
  std::optional<std::int64_t> until;  // Unix seconds, inclusive
  int limit = 100;
  std::optional<std::int64_t> beforeId;
};

struct Row {
  std::int64_t id = 0;
  nlohmann::ordered_json page;        // the stored copy's JSON object
  std::vector<std::string> stations;  // every station that heard it, in the order heard
};

// Thrown for a query that cannot be run as given (a capcode pattern with other characters, an
// unknown protocol) and for a store that cannot be opened or written.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Checks a query's parts a user typed; the reason when one is wrong.
std::optional<std::string> InvalidQuery(const Query& query);

// The words of a text query as an FTS5 expression in which every word is a quoted string, so
// that nothing a user types is read as query syntax. Empty when there are no words.
std::string FtsExpression(const std::string& text);
// The words of a text query, split as above (quotes and the trailing * removed).
std::vector<std::string> QueryWords(const std::string& text);

// A row as one JSON object: the page's object with "archive_id" and "stations" added.
nlohmann::ordered_json RowJson(const Row& row);
// A row as one line for a terminal: time, protocol, capcode, function, stations, text. Control
// characters (C0, DEL, C1) in the radio text are shown as '.', so a page cannot drive the
// terminal.
std::string RowText(const Row& row);

class Store {
 public:
  // Copies of one page from different stations within this many seconds are one row.
  static constexpr std::int64_t kDefaultWindowSeconds = 60;

  virtual ~Store() = default;
  // Stores the pages in one transaction (all or none). A page equal to a stored one in
  // protocol, capcode, function and text, within the window, that a station not yet on that
  // row heard, joins that row; the copy without errors is the one kept. A page whose source id
  // is already stored (a broker's redelivery) is dropped.
  virtual void Insert(const std::vector<StoredPage>& pages) = 0;
  virtual std::vector<Row> Search(const Query& query) = 0;
  virtual std::int64_t PageCount() = 0;
  void SetWindow(std::int64_t seconds) { window_ = seconds; }

 protected:
  std::int64_t window_ = kDefaultWindowSeconds;
};

// The schema version this program writes; older files are migrated forward when opened.
constexpr int kSchemaVersion = 2;

// Opens (creating when absent) an SQLite archive file.
std::unique_ptr<Store> OpenSqlite(const std::string& path);
// Connects to a PostgreSQL database (libpq connection string) and creates or migrates the
// tables.
std::unique_ptr<Store> OpenPostgres(const std::string& conninfo);

// $XDG_DATA_HOME/pagora/archive.db, or ~/.local/share/pagora/archive.db; the folder is
// created. Empty when neither variable names a folder.
std::string DefaultArchivePath();

}  // namespace pagora::archive
