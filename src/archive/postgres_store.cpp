// The archive in a PostgreSQL database, for a region whose receivers outgrow one file: the
// tables and the duplicate rule of the SQLite file, words found through a GIN index. Every
// value from a page or a user is a bound parameter.
#include <pqxx/pqxx>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_sql.h"

namespace pagora::archive {
namespace {

// The shared statements use '?'; PostgreSQL numbers its parameters.
std::string Numbered(const char* sql) {
  std::string out;
  int n = 0;
  for (const char* p = sql; *p; ++p) {
    if (*p == '?')
      out += "$" + std::to_string(++n);
    else
      out += *p;
  }
  return out;
}

// PostgreSQL text cannot hold NUL; radio text can. The character that stands for it keeps the
// duplicate key exact (the same page maps alike every time) and the JSON column keeps the
// original.
std::string Clean(const std::string& text) {
  if (text.find('\0') == std::string::npos)
    return text;
  std::string out;
  for (char c : text) {
    if (c == '\0')
      out += "\xEF\xBF\xBD";
    else
      out += c;
  }
  return out;
}

// A text query as a tsquery: the runs of letters and digits of every word, all required, a
// word's trailing * making its last run a prefix. Only letters and digits reach the query, so
// nothing a user types is read as tsquery syntax.
std::string TsQuery(const std::string& text) {
  std::string query;
  for (const std::string& word : QueryWords(text)) {
    bool prefix = word.size() > 1 && word.back() == '*';
    std::vector<std::string> runs(1);
    for (char c : word) {
      auto u = static_cast<unsigned char>(c);
      if (std::isalnum(u) || u >= 0x80)
        runs.back() += c;
      else if (!runs.back().empty())
        runs.emplace_back();
    }
    if (runs.back().empty())
      runs.pop_back();
    // The runs of one word follow each other in the text, as in the SQLite index's phrase.
    for (std::size_t i = 0; i < runs.size(); ++i) {
      if (i > 0)
        query += " <-> ";
      else if (!query.empty())
        query += " & ";
      query += runs[i];
      if (prefix && i + 1 == runs.size())
        query += ":*";
    }
  }
  return query;
}

class PostgresStore : public Store {
 public:
  explicit PostgresStore(const std::string& conninfo) try : connection_(conninfo) {
    Migrate();
    connection_.prepare("find_source", Numbered(sql::kFindSource));
    connection_.prepare("find_copy", Numbered(sql::kFindCopy));
    connection_.prepare("insert_page", Numbered(sql::kInsertPage));
    connection_.prepare("replace_page", Numbered(sql::kReplacePage));
    connection_.prepare("insert_station", Numbered(sql::kInsertStation));
    connection_.prepare("stations", Numbered(sql::kStations));
  } catch (const ArchiveError&) {
    throw;
  } catch (const std::exception& e) {
    throw ArchiveError(std::string("cannot open PostgreSQL archive: ") + e.what());
  }

  void Insert(const std::vector<StoredPage>& pages) override {
    try {
      pqxx::work w(connection_);
      for (const StoredPage& page : pages)
        InsertOne(w, page);
      w.commit();
    } catch (const std::exception& e) {
      throw ArchiveError(std::string("archive: ") + e.what());
    }
  }

  std::vector<Row> Search(const Query& query) override {
    if (std::optional<std::string> invalid = InvalidQuery(query))
      throw ArchiveError(*invalid);
    std::vector<std::string> params;
    std::string where;
    auto add = [&](const std::string& condition, std::string value) {
      params.push_back(std::move(value));
      where += where.empty() ? " WHERE " : " AND ";
      std::string numbered = condition;
      numbered.replace(numbered.find('?'), 1, "$" + std::to_string(params.size()));
      where += numbered;
    };
    std::string words = TsQuery(query.text);
    if (!words.empty())
      add("words @@ to_tsquery('simple', ?)", words);
    if (!query.capcode.empty()) {
      std::string like = query.capcode;  // digits and '?' only (checked above)
      for (char& c : like) {
        if (c == '?')
          c = '_';
      }
      add("capcode LIKE ?", like);
    }
    if (!query.protocol.empty())
      add("protocol = ?", query.protocol);
    if (query.since)
      add("time >= ?::bigint", std::to_string(*query.since));
    if (query.until)
      add("time <= ?::bigint", std::to_string(*query.until));
    if (query.beforeId)
      add("id < ?::bigint", std::to_string(*query.beforeId));
    params.push_back(std::to_string(query.limit));
    std::string sql = "SELECT id, json FROM pages" + where + " ORDER BY id DESC LIMIT $" +
                      std::to_string(params.size()) + "::bigint";
    try {
      pqxx::read_transaction w(connection_);
      pqxx::result result = w.exec_params(sql, pqxx::prepare::make_dynamic_params(params));
      std::vector<Row> rows;
      for (const auto& r : result) {
        Row row;
        row.id = r[0].as<std::int64_t>();
        row.page = nlohmann::ordered_json::parse(r[1].as<std::string>(), nullptr, false);
        for (const auto& s : w.exec_prepared("stations", row.id))
          row.stations.push_back(s[0].as<std::string>());
        rows.push_back(std::move(row));
      }
      return rows;
    } catch (const std::exception& e) {
      throw ArchiveError(std::string("archive: ") + e.what());
    }
  }

  std::int64_t PageCount() override {
    pqxx::read_transaction w(connection_);
    return w.exec("SELECT count(*) FROM pages")[0][0].as<std::int64_t>();
  }

 private:
  void Migrate() {
    pqxx::work w(connection_);
    // One migration at a time when several archivers start together.
    w.exec("SELECT pg_advisory_xact_lock(7406101)");
    int version = 0;
    if (w.exec("SELECT to_regclass('schema_version') IS NOT NULL")[0][0].as<bool>())
      version = w.exec("SELECT coalesce(max(version), 0) FROM schema_version")[0][0].as<int>();
    if (version > kSchemaVersion) {
      throw ArchiveError("PostgreSQL archive written by a newer Pagora (schema version " +
                         std::to_string(version) + ")");
    }
    if (version < 1)
      w.exec(sql::SchemaVersion1Postgres());
    if (version < 2) {
      w.exec(sql::ForStore(sql::kMigrateTo2Common, sql::Dialect::kPostgres));
      w.exec(sql::kMigrateTo2Postgres);
    }
    if (version < kSchemaVersion) {
      w.exec("DELETE FROM schema_version");
      w.exec_params("INSERT INTO schema_version(version) VALUES ($1)", kSchemaVersion);
    }
    w.commit();
  }

  void InsertOne(pqxx::work& w, const StoredPage& page) {
    std::string text = Clean(page.text);
    std::string station = Clean(page.station);
    if (!page.sourceId.empty() && !w.exec_prepared("find_source", Clean(page.sourceId)).empty())
      return;  // delivered again by a broker: stored already
    pqxx::result copy =
        w.exec_prepared("find_copy", Clean(page.capcode), page.time - window_, page.time + window_,
                        page.protocol, page.function, text, station, page.time);
    std::int64_t id = 0;
    if (!copy.empty()) {
      id = copy[0][0].as<std::int64_t>();
      if (sql::Better(page, copy[0][1].as<int>() != 0, copy[0][2].as<std::int64_t>())) {
        w.exec_prepared("replace_page", page.time, page.rate, Clean(page.type), int(page.errors),
                        page.corrected, int(page.repeat), Clean(page.filter), station,
                        page.frequency, Clean(page.json), id);
      }
    } else {
      id = w.exec_prepared("insert_page", page.time, page.protocol, page.rate, Clean(page.capcode),
                           page.function, Clean(page.type), text, int(page.errors), page.corrected,
                           int(page.repeat), Clean(page.filter), station, page.frequency,
                           Clean(page.json))[0][0]
               .as<std::int64_t>();
    }
    std::string source = Clean(page.sourceId);
    w.exec_prepared("insert_station", id, station, page.sourceId.empty() ? nullptr : source.c_str(),
                    int(page.errors));
  }

  pqxx::connection connection_;
};

}  // namespace

std::unique_ptr<Store> OpenPostgres(const std::string& conninfo) {
  return std::make_unique<PostgresStore>(conninfo);
}

}  // namespace pagora::archive
