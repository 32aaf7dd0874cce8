// The archive in one SQLite file: WAL journal (readers never wait for the writer), every commit
// synced, an FTS5 index over the page text kept by triggers, and a version row that says which
// layout the file has. Every value from a page or a user is a bound parameter.
#include <sqlite3.h>

#include <string>
#include <utility>

#include "archive/archive.h"
#include "archive/archive_sql.h"

namespace pagora::archive {
namespace {

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) != SQLITE_OK)
      throw ArchiveError(std::string("archive: ") + sqlite3_errmsg(db));
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { sqlite3_finalize(stmt_); }

  Statement& Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    next_ = 1;
    return *this;
  }
  Statement& Bind(const std::string& text) {
    Check(sqlite3_bind_text(stmt_, next_++, text.data(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  Statement& Bind(std::int64_t value) {
    Check(sqlite3_bind_int64(stmt_, next_++, value));
    return *this;
  }
  Statement& BindNull() {
    Check(sqlite3_bind_null(stmt_, next_++));
    return *this;
  }
  // True while there is a row.
  bool Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
      return true;
    if (rc != SQLITE_DONE)
      throw ArchiveError(std::string("archive: ") + sqlite3_errmsg(db_));
    return false;
  }
  std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) const {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    int size = sqlite3_column_bytes(stmt_, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size))
                : std::string();
  }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK)
      throw ArchiveError(std::string("archive: ") + sqlite3_errmsg(db_));
  }
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  int next_ = 1;
};

class SqliteStore : public Store {
 public:
  explicit SqliteStore(const std::string& path) {
    int rc =
        sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw ArchiveError("cannot open archive " + path + ": " + message);
    }
    sqlite3_busy_timeout(db_, 10000);
    try {
      // WAL: searches run while pages are written. FULL: a commit is on the disk before the
      // writer goes on, so a power cut loses no committed page.
      Exec("PRAGMA journal_mode=WAL");
      Exec("PRAGMA synchronous=FULL");
      Exec("PRAGMA foreign_keys=ON");
      // Room for the indexes' upper pages: inserts into a big archive stay fast.
      Exec("PRAGMA cache_size=-32768");
      Migrate();
      findSource_ = std::make_unique<Statement>(db_, sql::kFindSource);
      findCopy_ = std::make_unique<Statement>(db_, sql::kFindCopy);
      insertPage_ = std::make_unique<Statement>(db_, sql::kInsertPage);
      replacePage_ = std::make_unique<Statement>(db_, sql::kReplacePage);
      insertStation_ = std::make_unique<Statement>(db_, sql::kInsertStation);
    } catch (const ArchiveError& e) {
      Close();
      throw ArchiveError("cannot open archive " + path + ": " + e.what());
    }
  }
  ~SqliteStore() override { Close(); }

  void Insert(const std::vector<StoredPage>& pages) override {
    Exec("BEGIN IMMEDIATE");
    try {
      for (const StoredPage& page : pages)
        InsertOne(page);
      Exec("COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  std::vector<Row> Search(const Query& query) override {
    if (std::optional<std::string> invalid = InvalidQuery(query))
      throw ArchiveError(*invalid);
    std::string fts = FtsExpression(query.text);
    std::string where;
    auto add = [&where](const char* condition) {
      where += where.empty() ? " WHERE " : " AND ";
      where += condition;
    };
    std::string sql = "SELECT p.id, p.json FROM pages p";
    if (!fts.empty()) {
      sql = "SELECT p.id, p.json FROM pages_fts f JOIN pages p ON p.id = f.rowid";
      add("pages_fts MATCH ?");
    }
    if (!query.capcode.empty())
      add("p.capcode GLOB ?");
    if (!query.protocol.empty())
      add("p.protocol = ?");
    if (query.since)
      add("p.time >= ?");
    if (query.until)
      add("p.time <= ?");
    if (query.beforeId)
      add("p.id < ?");
    sql += where + (fts.empty() ? " ORDER BY p.id DESC LIMIT ?" : " ORDER BY f.rowid DESC LIMIT ?");

    Statement select(db_, sql.c_str());
    if (!fts.empty())
      select.Bind(fts);
    if (!query.capcode.empty())
      select.Bind(query.capcode);  // digits and '?' only (checked above): no other GLOB syntax
    if (!query.protocol.empty())
      select.Bind(query.protocol);
    if (query.since)
      select.Bind(*query.since);
    if (query.until)
      select.Bind(*query.until);
    if (query.beforeId)
      select.Bind(*query.beforeId);
    select.Bind(static_cast<std::int64_t>(query.limit));

    std::vector<Row> rows;
    Statement stations(db_, sql::kStations);
    while (select.Step()) {
      Row row;
      row.id = select.Int(0);
      row.page = nlohmann::ordered_json::parse(select.Text(1), nullptr, false);
      stations.Reset().Bind(row.id);
      while (stations.Step())
        row.stations.push_back(stations.Text(0));
      rows.push_back(std::move(row));
    }
    return rows;
  }

  std::int64_t PageCount() override {
    Statement count(db_, "SELECT count(*) FROM pages");
    count.Step();
    return count.Int(0);
  }

 private:
  void Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
      std::string text = message ? message : sqlite3_errmsg(db_);
      sqlite3_free(message);
      throw ArchiveError("archive: " + text);
    }
  }

  int Version() {
    Statement exists(db_,
                     "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                     "name = 'schema_version'");
    exists.Step();
    if (exists.Int(0) == 0)
      return 0;
    Statement version(db_, "SELECT max(version) FROM schema_version");
    return version.Step() ? static_cast<int>(version.Int(0)) : 0;
  }

  // Brings the file to the current layout, one version at a time, each step in a transaction
  // of its own so that an interrupted migration leaves the file at the version before it.
  void Migrate() {
    // Reading the version takes no write lock: a search opens the file while a writer works.
    int found = Version();
    if (found > kSchemaVersion) {
      throw ArchiveError("written by a newer Pagora (schema version " + std::to_string(found) +
                         ")");
    }
    if (found == kSchemaVersion)
      return;
    Exec("BEGIN IMMEDIATE");
    try {
      int version = Version();
      if (version > kSchemaVersion) {
        throw ArchiveError("written by a newer Pagora (schema version " + std::to_string(version) +
                           ")");
      }
      if (version < 1)
        Exec(sql::SchemaVersion1Sqlite().c_str());
      if (version < 2) {
        Exec(sql::ForStore(sql::kMigrateTo2Common, sql::Dialect::kSqlite).c_str());
        Exec(sql::kMigrateTo2Sqlite);
      }
      if (version < kSchemaVersion) {
        Exec(("DELETE FROM schema_version; INSERT INTO schema_version(version) VALUES (" +
              std::to_string(kSchemaVersion) + ")")
                 .c_str());
      }
      Exec("COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  void InsertOne(const StoredPage& page) {
    if (!page.sourceId.empty()) {
      findSource_->Reset().Bind(page.sourceId);
      bool seen = findSource_->Step();
      findSource_->Reset();
      if (seen)
        return;  // delivered again by a broker: stored already
    }
    findCopy_->Reset()
        .Bind(page.capcode)
        .Bind(page.time - window_)
        .Bind(page.time + window_)
        .Bind(page.protocol)
        .Bind(static_cast<std::int64_t>(page.function))
        .Bind(page.text)
        .Bind(page.station)
        .Bind(page.time);
    std::int64_t id = 0;
    if (findCopy_->Step()) {
      id = findCopy_->Int(0);
      bool keptErrors = findCopy_->Int(1) != 0;
      std::int64_t keptCorrected = findCopy_->Int(2);
      findCopy_->Reset();
      if (sql::Better(page, keptErrors, keptCorrected)) {
        BindColumns(replacePage_->Reset(), page, false).Bind(id);
        replacePage_->Step();
      }
    } else {
      findCopy_->Reset();
      BindColumns(insertPage_->Reset(), page, true);
      insertPage_->Step();
      id = insertPage_->Int(0);
      insertPage_->Reset();
    }
    insertStation_->Reset().Bind(id).Bind(page.station);
    if (page.sourceId.empty())
      insertStation_->BindNull();
    else
      insertStation_->Bind(page.sourceId);
    insertStation_->Bind(static_cast<std::int64_t>(page.errors));
    insertStation_->Step();
  }

  // The page's columns in the order of the insert and replace statements.
  static Statement& BindColumns(Statement& s, const StoredPage& p, bool withKey) {
    s.Bind(p.time);
    if (withKey)
      s.Bind(p.protocol);
    s.Bind(static_cast<std::int64_t>(p.rate));
    if (withKey)
      s.Bind(p.capcode).Bind(static_cast<std::int64_t>(p.function));
    s.Bind(p.type);
    if (withKey)
      s.Bind(p.text);
    return s.Bind(static_cast<std::int64_t>(p.errors))
        .Bind(static_cast<std::int64_t>(p.corrected))
        .Bind(static_cast<std::int64_t>(p.repeat))
        .Bind(p.filter)
        .Bind(p.station)
        .Bind(p.frequency)
        .Bind(p.json);
  }

  void Close() {
    findSource_.reset();
    findCopy_.reset();
    insertPage_.reset();
    replacePage_.reset();
    insertStation_.reset();
    if (db_)
      sqlite3_close(db_);
    db_ = nullptr;
  }

  sqlite3* db_ = nullptr;
  std::unique_ptr<Statement> findSource_, findCopy_, insertPage_, replacePage_, insertStation_;
};

}  // namespace

std::unique_ptr<Store> OpenSqlite(const std::string& path) {
  return std::make_unique<SqliteStore>(path);
}

}  // namespace pagora::archive
