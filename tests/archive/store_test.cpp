// The archive's stores, SQLite file and PostgreSQL database alike: which copies of a page are
// one row, what a search finds (including what users type that looks like query syntax), and
// the forward migration of a version 1 archive.
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <pqxx/pqxx>
#include <set>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_sql.h"
#include "archive/archive_writer.h"
#include "cli_test_support.h"
#include "servers.h"

namespace pagora::testing {
namespace {

using archive::Query;
using archive::Row;
using archive::Store;
using archive::StoredPage;

constexpr std::int64_t kT0 = 1717408800;  // 2024-06-03 10:00:00 UTC

StoredPage Copy(const std::string& station, const std::string& text, std::int64_t dt = 0,
                bool errors = false, const std::string& capcode = "1234567",
                const std::string& protocol = "POCSAG", int function = 1) {
  StoredPage p;
  p.time = kT0 + dt;
  p.protocol = protocol;
  p.rate = 1200;
  p.capcode = capcode;
  p.function = function;
  p.type = "alpha";
  p.text = text;
  p.errors = errors;
  p.corrected = errors ? 3 : 0;
  p.station = station;
  nlohmann::ordered_json j;
  j["time"] = "2024-06-03T10:00:00Z";
  j["protocol"] = protocol;
  j["capcode"] = capcode;
  j["function"] = function;
  j["text"] = text;
  j["errors"] = errors;
  j["station"] = station;
  p.json = j.dump();
  return p;
}

class StoreTest : public ::testing::TestWithParam<std::string> {
 protected:
  bool Postgres() const { return GetParam() == "postgres"; }
  void SetUp() override {
    if (Postgres()) {
      if (!SharedPostgres().running())
        GTEST_SKIP() << SharedPostgres().skipReason();
      location_ = FreshPostgresDatabase();
    } else {
      location_ = MakeTempFolder("store") + "/archive.db";
    }
  }
  std::unique_ptr<Store> Open() {
    return Postgres() ? archive::OpenPostgres(location_) : archive::OpenSqlite(location_);
  }
  std::string location_;
};

std::vector<std::string> Texts(const std::vector<Row>& rows) {
  std::vector<std::string> texts;
  for (const Row& row : rows)
    texts.push_back(row.page.value("text", ""));
  return texts;
}

struct MergeCase {
  const char* name;
  std::vector<StoredPage> copies;  // in the order received
  // Per row, oldest first: the stations and the station of the kept copy.
  std::vector<std::pair<std::vector<std::string>, std::string>> rows;
};

std::vector<MergeCase> MergeCases() {
  StoredPage again = Copy("north", "Redelivered");
  again.sourceId = "north/1717408000/7";
  return {
      {"TwoStationsOneRow",
       {Copy("north", "Fire"), Copy("south", "Fire", 1)},
       {{{"north", "south"}, "north"}}},
      {"CleanCopyReplacesOneWithErrors",
       {Copy("north", "Fire", 0, true), Copy("south", "Fire", 2)},
       {{{"north", "south"}, "south"}}},
      {"CleanCopyStaysWhenOneWithErrorsFollows",
       {Copy("north", "Fire"), Copy("south", "Fire", 1, true)},
       {{{"north", "south"}, "north"}}},
      {"SameStationTwiceIsTwoTransmissions",
       {Copy("north", "Fire"), Copy("north", "Fire", 5)},
       {{{"north"}, "north"}, {{"north"}, "north"}}},
      {"OtherTextIsAnotherPage",
       {Copy("north", "Fire"), Copy("south", "Fire!")},
       {{{"north"}, "north"}, {{"south"}, "south"}}},
      {"OtherCapcodeIsAnotherPage",
       {Copy("north", "Fire"), Copy("south", "Fire", 0, false, "1234568")},
       {{{"north"}, "north"}, {{"south"}, "south"}}},
      {"OtherFunctionIsAnotherPage",
       {Copy("north", "Fire"), Copy("south", "Fire", 0, false, "1234567", "POCSAG", 2)},
       {{{"north"}, "north"}, {{"south"}, "south"}}},
      {"OtherProtocolIsAnotherPage",
       {Copy("north", "Fire"), Copy("south", "Fire", 0, false, "1234567", "FLEX")},
       {{{"north"}, "north"}, {{"south"}, "south"}}},
      {"OutsideTheWindowIsAnotherPage",
       {Copy("north", "Fire"), Copy("south", "Fire", 61)},
       {{{"north"}, "north"}, {{"south"}, "south"}}},
      // A repeat heard by north, then south's copy: south joins the nearer transmission.
      {"JoinsTheNearestTransmission",
       {Copy("north", "Fire"), Copy("north", "Fire", 30), Copy("south", "Fire", 31)},
       {{{"north"}, "north"}, {{"north", "south"}, "north"}}},
      {"RedeliveryIsStoredOnce", {again, again}, {{{"north"}, "north"}}},
  };
}

TEST_P(StoreTest, CopiesOfOnePageAreOneRow) {
  for (const MergeCase& c : MergeCases()) {
    SCOPED_TRACE(c.name);
    SetUp();
    std::unique_ptr<Store> store = Open();
    // Half the cases one copy per transaction, half all in one: both must merge alike.
    if (std::string(c.name).size() % 2 == 0) {
      store->Insert(c.copies);
    } else {
      for (const StoredPage& copy : c.copies)
        store->Insert({copy});
    }
    Query all;
    std::vector<Row> rows = store->Search(all);
    ASSERT_EQ(rows.size(), c.rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const Row& row = rows[rows.size() - 1 - i];  // newest first
      EXPECT_EQ(row.stations, c.rows[i].first);
      EXPECT_EQ(row.page.value("station", ""), c.rows[i].second);
    }
  }
}

// Pages for the search cases, oldest first.
std::vector<StoredPage> SearchPages() {
  return {
      Copy("north", "FIRE at Main St, near fire station", 0, false, "1234567"),
      Copy("north", "Ambulance to 12 Oak Rd", 60, false, "1234500"),
      Copy("north", "Fire drill cancelled", 120, false, "123456", "FLEX", 0),
      Copy("north", "'; DROP TABLE pages; -- \"quoted\" text", 180, false, "9234567", "GSC"),
      Copy("north", "numeric 555-1234", 240, false, "2100000", "FLEX", 0),
  };
}

struct SearchCase {
  const char* name;
  Query query;
  std::vector<int> found;  // indexes into SearchPages(), newest first
};

Query Words(const std::string& text) {
  Query q;
  q.text = text;
  return q;
}

std::vector<SearchCase> SearchCases() {
  Query capcode, capcodeFirst, flex, window, fireOnPocsag;
  capcode.capcode = "12345??";
  capcodeFirst.capcode = "?234567";
  flex.protocol = "FLEX";
  window.since = kT0 + 120;
  window.until = kT0 + 180;
  fireOnPocsag.text = "fire";
  fireOnPocsag.protocol = "POCSAG";
  return {
      {"Word", Words("fire"), {2, 0}},
      {"WordsAllRequired", Words("FIRE drill"), {2}},
      {"Prefix", Words("fir*"), {2, 0}},
      {"DigitsWithPunctuation", Words("555-1234"), {4}},
      {"QuotesAreNotSyntax", Words("\"quoted\""), {3}},
      {"UnbalancedQuote", Words("fire\""), {2, 0}},
      {"OperatorsAreWords", Words("fire OR ambulance"), {}},
      {"NearIsAWord", Words("near(fire"), {0}},
      {"LeadingMinusAndCaret", Words("-fire ^station"), {0}},
      {"SqlInText", Words("'; DROP TABLE pages; --"), {3}},
      {"StarAlone", Words("*"), {4, 3, 2, 1, 0}},
      {"ControlCharactersSeparateWords", Words(std::string("drill\0fire\x1b", 11)), {2}},
      {"ColonsAndAmpersands", Words("fire:* & !drill |"), {2}},
      {"CapcodeWildcard", capcode, {1, 0}},
      {"CapcodeWildcardFirstDigit", capcodeFirst, {3, 0}},
      {"Protocol", flex, {4, 2}},
      {"TimeRange", window, {3, 2}},
      {"WordAndProtocol", fireOnPocsag, {0}},
  };
}

TEST_P(StoreTest, SearchFindsWhatWasAskedAndNothingElse) {
  std::unique_ptr<Store> store = Open();
  std::vector<StoredPage> pages = SearchPages();
  store->Insert(pages);
  for (const SearchCase& c : SearchCases()) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> expected;
    for (int i : c.found)
      expected.push_back(pages[static_cast<std::size_t>(i)].text);
    EXPECT_EQ(Texts(store->Search(c.query)), expected);
  }
  EXPECT_EQ(store->PageCount(), 5);  // nothing a query held was run as SQL
}

TEST_P(StoreTest, PagesThroughResultsByArchiveId) {
  std::unique_ptr<Store> store = Open();
  std::vector<StoredPage> pages = SearchPages();
  store->Insert(pages);
  Query first;
  first.limit = 2;
  std::vector<Row> rows = store->Search(first);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Texts(rows), (std::vector<std::string>{pages[4].text, pages[3].text}));
  Query next = first;
  next.beforeId = rows.back().id;
  EXPECT_EQ(Texts(store->Search(next)), (std::vector<std::string>{pages[2].text, pages[1].text}));
}

TEST_P(StoreTest, WrongQueriesAreRefused) {
  std::unique_ptr<Store> store = Open();
  for (const char* capcode : {"12*", "1[2]3", "12%", "12_4", "12345678901"}) {
    Query q;
    q.capcode = capcode;
    EXPECT_THROW(store->Search(q), archive::ArchiveError) << capcode;
  }
  Query protocol;
  protocol.protocol = "pocsag'; --";
  EXPECT_THROW(store->Search(protocol), archive::ArchiveError);
}

TEST_P(StoreTest, Version1ArchiveMigratesForward) {
  // A version 1 archive: one receiver's rows with their station in the row.
  if (Postgres()) {
    pqxx::connection c(location_);
    pqxx::work w(c);
    w.exec(archive::sql::SchemaVersion1Postgres());
    w.exec(
        "INSERT INTO pages(time, protocol, capcode, function, text, station, json) VALUES "
        "(1717408800, 'POCSAG', '1234567', 1, 'Fire at the old mill', 'north', '{}')");
    w.commit();
  } else {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(location_.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, archive::sql::SchemaVersion1Sqlite().c_str(), nullptr, nullptr, nullptr),
        SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "INSERT INTO pages(time, protocol, capcode, function, text, station, "
                           "json) VALUES (1717408800, 'POCSAG', '1234567', 1, "
                           "'Fire at the old mill', 'north', '{}')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  {
    std::unique_ptr<Store> store = Open();
    std::vector<Row> rows = store->Search(Words("mill"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].stations, std::vector<std::string>{"north"});
    // The old row takes part in the duplicate rule like a new one.
    store->Insert({Copy("south", "Fire at the old mill", 3)});
    rows = store->Search(Words("mill"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].stations, (std::vector<std::string>{"north", "south"}));
  }
  // Opening again finds the current version and changes nothing.
  std::unique_ptr<Store> again = Open();
  EXPECT_EQ(again->PageCount(), 1);
  EXPECT_EQ(again->Search(Words("mill")).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreTest, ::testing::Values("sqlite", "postgres"),
                         [](const auto& param) { return param.param; });

TEST(SqliteArchiveTest, RefusesAFileFromANewerVersion) {
  std::string path = MakeTempFolder("newer") + "/archive.db";
  archive::OpenSqlite(path).reset();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "UPDATE schema_version SET version = 99", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  EXPECT_THROW(archive::OpenSqlite(path), archive::ArchiveError);
}

TEST(SqliteArchiveTest, NotAnArchiveIsAnError) {
  std::string path = MakeTempFolder("garbage") + "/archive.db";
  WriteFile(path, std::string(8192, 'x'));
  EXPECT_THROW(archive::OpenSqlite(path), archive::ArchiveError);
}

TEST(ArchiveWriterTest, QueueOverflowIsCountedWhileTheFileIsLocked) {
  std::string path = MakeTempFolder("locked") + "/archive.db";
  archive::OpenSqlite(path).reset();
  // Another program holds the write lock: the writer waits, its queue fills.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  constexpr std::size_t kLimit = 50;
  constexpr int kPages = 2 * kLimit + 20;
  {
    archive::Writer writer(archive::OpenSqlite(path), kLimit);
    int refused = 0;
    for (int i = 0; i < kPages; ++i) {
      if (!writer.Add(Copy("north", "Page " + std::to_string(i), i)))
        ++refused;
    }
    EXPECT_GE(refused, 20);
    EXPECT_EQ(writer.dropped(), static_cast<std::uint64_t>(refused));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    writer.Close();
    EXPECT_EQ(writer.failed(), 0u) << writer.error();
    EXPECT_EQ(writer.stored() + writer.dropped(), static_cast<std::uint64_t>(kPages));
  }
  sqlite3_close(other);
}

}  // namespace
}  // namespace pagora::testing
