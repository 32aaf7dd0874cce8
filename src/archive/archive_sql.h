// The archive's tables as both stores create them, and the statements they share. Version 1
// was one receiver's file: a row per page with its station. Version 2 adds the stations that
// heard each page (and the receivers' page ids, so that a redelivered page is not stored
// twice), the index the duplicate search uses, and the full-text index.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "archive/archive.h"

namespace pagora::archive::sql {

// The first version's tables. {KEY} and {BIG} stand for each store's own row key and 64-bit
// integer type (ForStore).
inline constexpr const char* kSchemaVersion1 = R"(
CREATE TABLE schema_version(version INTEGER NOT NULL);
INSERT INTO schema_version(version) VALUES (1);
CREATE TABLE pages(
  id {KEY},
  time {BIG} NOT NULL,
  protocol TEXT NOT NULL,
  rate INTEGER NOT NULL DEFAULT 0,
  capcode TEXT NOT NULL DEFAULT '',
  function INTEGER NOT NULL DEFAULT 0,
  type TEXT NOT NULL DEFAULT '',
  text TEXT NOT NULL DEFAULT '',
  errors INTEGER NOT NULL DEFAULT 0,
  corrected INTEGER NOT NULL DEFAULT 0,
  repeat INTEGER NOT NULL DEFAULT 0,
  filter TEXT NOT NULL DEFAULT '',
  station TEXT NOT NULL DEFAULT '',
  frequency {BIG} NOT NULL DEFAULT 0,
  json TEXT NOT NULL);
CREATE INDEX pages_time ON pages(time);
)";

enum class Dialect { kSqlite, kPostgres };

// `sql` with {KEY} and {BIG} written as the store's own row key and 64-bit integer.
inline std::string ForStore(const char* sql, Dialect dialect) {
  const bool lite = dialect == Dialect::kSqlite;
  std::string text = sql;
  for (auto [name, value] :
       {std::pair<std::string, std::string>{"{KEY}",
                                            lite ? "INTEGER PRIMARY KEY" : "BIGSERIAL PRIMARY KEY"},
        std::pair<std::string, std::string>{"{BIG}", lite ? "INTEGER" : "BIGINT"}}) {
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name))
      text.replace(at, name.size(), value);
  }
  return text;
}

inline std::string SchemaVersion1Sqlite() {
  return ForStore(kSchemaVersion1, Dialect::kSqlite);
}
inline std::string SchemaVersion1Postgres() {
  return ForStore(kSchemaVersion1, Dialect::kPostgres);
}

// Both stores (through ForStore): who heard each page. The station already on a version 1
// row comes along.
inline constexpr const char* kMigrateTo2Common = R"(
CREATE INDEX pages_key ON pages(capcode, time);
CREATE TABLE page_stations(
  id {KEY},
  page_id {BIG} NOT NULL REFERENCES pages(id) ON DELETE CASCADE,
  station TEXT NOT NULL,
  source_id TEXT,
  errors INTEGER NOT NULL DEFAULT 0,
  UNIQUE(page_id, station));
CREATE UNIQUE INDEX page_stations_source ON page_stations(source_id) WHERE source_id IS NOT NULL;
INSERT INTO page_stations(page_id, station, errors) SELECT id, station, errors FROM pages ORDER BY id;
)";

// SQLite's word index.
inline constexpr const char* kMigrateTo2Sqlite = R"(
CREATE VIRTUAL TABLE pages_fts USING fts5(text, content='pages', content_rowid='id',
  tokenize='unicode61 remove_diacritics 2');
INSERT INTO pages_fts(pages_fts) VALUES ('rebuild');
CREATE TRIGGER pages_fts_insert AFTER INSERT ON pages BEGIN
  INSERT INTO pages_fts(rowid, text) VALUES (new.id, new.text);
END;
CREATE TRIGGER pages_fts_delete AFTER DELETE ON pages BEGIN
  INSERT INTO pages_fts(pages_fts, rowid, text) VALUES ('delete', old.id, old.text);
END;
CREATE TRIGGER pages_fts_update AFTER UPDATE OF text ON pages BEGIN
  INSERT INTO pages_fts(pages_fts, rowid, text) VALUES ('delete', old.id, old.text);
  INSERT INTO pages_fts(rowid, text) VALUES (new.id, new.text);
END;
)";

// PostgreSQL's word index: the text split at every character that is not a letter or digit,
// as the SQLite index splits it, so that both answer a query alike.
inline constexpr const char* kMigrateTo2Postgres = R"(
ALTER TABLE pages ADD COLUMN words tsvector GENERATED ALWAYS AS
  (to_tsvector('simple', regexp_replace(text, '[^[:alnum:]]+', ' ', 'g'))) STORED;
CREATE INDEX pages_words ON pages USING GIN(words);
)";

// Statements with '?' parameters in order (PostgreSQL's are numbered from these).
inline constexpr const char* kFindSource = "SELECT 1 FROM page_stations WHERE source_id = ?";
// A stored copy of the page that this station has not reported: the nearest in time.
inline constexpr const char* kFindCopy =
    "SELECT id, errors, corrected FROM pages WHERE capcode = ? AND time BETWEEN ? AND ? AND "
    "protocol = ? AND function = ? AND text = ? AND NOT EXISTS (SELECT 1 FROM page_stations s "
    "WHERE s.page_id = pages.id AND s.station = ?) ORDER BY abs(time - ?), id LIMIT 1";
inline constexpr const char* kInsertPage =
    "INSERT INTO pages(time, protocol, rate, capcode, function, type, text, errors, corrected, "
    "repeat, filter, station, frequency, json) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
    "RETURNING id";
inline constexpr const char* kReplacePage =
    "UPDATE pages SET time = ?, rate = ?, type = ?, errors = ?, corrected = ?, repeat = ?, "
    "filter = ?, station = ?, frequency = ?, json = ? WHERE id = ?";
inline constexpr const char* kInsertStation =
    "INSERT INTO page_stations(page_id, station, source_id, errors) VALUES (?, ?, ?, ?)";
inline constexpr const char* kStations =
    "SELECT station FROM page_stations WHERE page_id = ? ORDER BY id";

// True when `page` is a better copy than the stored one: no errors where it had some, or as
// many errors with fewer corrections.
inline bool Better(const StoredPage& page, bool keptErrors, std::int64_t keptCorrected) {
  if (page.errors != keptErrors)
    return !page.errors;
  return page.corrected < keptCorrected;
}

}  // namespace pagora::archive::sql
