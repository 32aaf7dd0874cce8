// End to end: pages rendered by pagora-gen, decoded by pagora-decode --archive and found again
// by pagora-search; a decoder killed mid-run; two receivers publishing the same pages through
// two brokers to one pagora-archive, on an SQLite file and on PostgreSQL.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "archive/archive.h"
#include "cli_test_support.h"
#include "servers.h"

namespace pagora::testing {
namespace {

constexpr const char* kScenario = R"({"transmissions": [
 {"protocol": "POCSAG", "rate": 512, "pages": [
   {"capcode": 4444, "type": "alpha", "text": "Slow page at 512"},
   {"capcode": 8, "type": "numeric", "text": "0123456789"}]},
 {"protocol": "POCSAG", "rate": 1200, "pages": [
   {"capcode": 1234567, "type": "alpha", "text": "HELLO WORLD"},
   {"capcode": 1234500, "type": "alpha", "text": "Engine 5 respond, quick"},
   {"capcode": 300, "type": "tone", "function": 2}]},
 {"protocol": "FLEX", "mode": "1600/2", "pages": [
   {"capcode": 123456, "type": "alpha", "text": "FLEX alpha 1600/2"},
   {"capcode": 654321, "type": "numeric", "text": "12345"}]},
 {"protocol": "FLEX", "mode": "3200/4", "pages": [
   {"capcode": 8888, "type": "alpha", "text": "FLEX 3200/4 four level", "phase": 1}]},
 {"protocol": "GSC", "pages": [
   {"capcode": 123456, "function": 1, "type": "alpha",
    "text": "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG"}]}
]})";

std::string SearchPath() {
  return PAGORA_SEARCH_PATH;
}

// pagora-search's JSON lines, oldest first, with the archive's own fields taken off.
std::vector<nlohmann::json> Search(const std::string& archive, const std::string& options) {
  RunResult run = RunProgram(SearchPath() + " --archive '" + archive + "' --json " + options);
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<nlohmann::json> pages = ParsePages(run.out, false);
  for (nlohmann::json& page : pages) {
    EXPECT_TRUE(page.contains("archive_id"));
    page.erase("archive_id");
    page.erase("stations");
  }
  std::reverse(pages.begin(), pages.end());
  return pages;
}

template <class Keep>
std::vector<nlohmann::json> Only(const std::vector<nlohmann::json>& pages, Keep keep) {
  std::vector<nlohmann::json> kept;
  std::copy_if(pages.begin(), pages.end(), std::back_inserter(kept), keep);
  return kept;
}

TEST(ArchiveEndToEnd, DecodedPagesAreFoundBySearch) {
  std::string folder = MakeTempFolder("decode");
  std::string wav = folder + "/mixed.wav", db = folder + "/archive.db";
  std::vector<nlohmann::json> expected = RenderScenario(kScenario, wav);
  RunResult decode = RunProgram(DecodePath() + " --json --archive '" + db +
                                "' --start-time 2024-06-03T12:00:00 " + wav);
  ASSERT_EQ(decode.status, 0) << decode.err;
  std::vector<nlohmann::json> decoded = ParsePages(decode.out, false);
  ASSERT_EQ(decoded.size(), expected.size());

  // Every page, as pagora-decode printed it.
  EXPECT_EQ(Search(db, "--limit 1000"), decoded);

  auto text = [](const nlohmann::json& p) {
    std::string t = p.value("text", "");
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return std::tolower(c); });
    return t;
  };
  auto capcode = [](const nlohmann::json& p) {
    return p["capcode"].is_string() ? p["capcode"].get<std::string>() : std::string();
  };
  std::vector<nlohmann::json> quick =
      Only(decoded, [&](const auto& p) { return text(p).find("quick") != std::string::npos; });
  EXPECT_EQ(quick.size(), 2u);
  EXPECT_EQ(Search(db, "QuIcK"), quick);
  EXPECT_EQ(Search(db, "qui*"), quick);
  EXPECT_EQ(Search(db, "quick --protocol gsc"),
            Only(quick, [](const auto& p) { return p["protocol"] == "GSC"; }));

  std::vector<nlohmann::json> wildcard = Only(decoded, [&](const auto& p) {
    std::string c = capcode(p);
    return c.size() == 7 && c.rfind("12345", 0) == 0;
  });
  EXPECT_EQ(wildcard.size(), 2u);
  EXPECT_EQ(Search(db, "--capcode 12345??"), wildcard);

  std::vector<nlohmann::json> flex =
      Only(decoded, [](const auto& p) { return p["protocol"] == "FLEX"; });
  EXPECT_EQ(flex.size(), 3u);
  EXPECT_EQ(Search(db, "--protocol FLEX"), flex);

  // A time range: from the FLEX transmission's first page to the last FLEX page.
  std::string since = flex.front()["time"], until = flex.back()["time"];
  std::int64_t from = *archive::ParseIsoTime(since), to = *archive::ParseIsoTime(until);
  std::vector<nlohmann::json> window = Only(decoded, [&](const auto& p) {
    std::int64_t t = *archive::ParseIsoTime(p["time"].template get<std::string>());
    return t >= from && t <= to;
  });
  EXPECT_GE(window.size(), 3u);
  EXPECT_LT(window.size(), decoded.size());
  EXPECT_EQ(Search(db, "--since " + since + " --until " + until), window);

  // The text form: one line per page, newest first.
  RunResult lines = RunProgram(SearchPath() + " --archive '" + db + "' --protocol GSC");
  EXPECT_EQ(lines.status, 0);
  EXPECT_NE(lines.out.find("THE QUICK BROWN FOX"), std::string::npos);
  EXPECT_EQ(std::count(lines.out.begin(), lines.out.end(), '\n'), 1);
}

// A band of channels from one receiver: every channel's pages reach the one archive with their
// frequency, and each channel writes log and statistics files of its own.
TEST(ArchiveEndToEnd, EveryChannelOfABandIsArchivedAndLoggedApart) {
  std::string folder = MakeTempFolder("band");
  WriteFile(folder + "/low.json", R"([{"protocol": "POCSAG", "rate": 1200, "pages": [
    {"capcode": 1234567, "type": "alpha", "text": "LOW CHANNEL PAGE"}]}])");
  WriteFile(folder + "/high.json", R"([{"protocol": "FLEX", "mode": "1600/2", "pages": [
    {"capcode": 123456, "type": "alpha", "text": "HIGH CHANNEL PAGE"}]}])");
  std::string band = folder + "/band.cu8", db = folder + "/archive.db", ini = folder + "/p.ini";
  WriteFile(ini, "[Pagora]\nLogFileEnabled=1\nLogFile=" + folder + "/pages.log\n" +
                     "StatCSVFileEnabled=1\nStatCSVFile=" + folder + "/stats.csv\n");
  RunResult gen =
      RunProgram(GenPath() + " --iq -o " + band + " --iq-rate 250k --center 100M" +
                 " --channel -50k=" + folder + "/low.json --channel 50k=" + folder + "/high.json");
  ASSERT_EQ(gen.status, 0) << gen.err;
  RunResult decode = RunProgram(DecodePath() + " --json --ini " + ini + " --archive '" + db +
                                "' --start-time 2024-06-03T23:59:58 --iq " + band +
                                " --iq-rate 250k --center 100M --channels 99.95M,100.05M");
  ASSERT_EQ(decode.status, 0) << decode.err;
  std::vector<nlohmann::json> decoded = ParsePages(decode.out, false);
  ASSERT_EQ(decoded.size(), 2u);
  auto byText = [](const nlohmann::json& a, const nlohmann::json& b) {
    return a["text"] < b["text"];
  };
  std::sort(decoded.begin(), decoded.end(), byText);
  std::vector<nlohmann::json> stored = Search(db, "--limit 100");
  std::sort(stored.begin(), stored.end(), byText);
  EXPECT_EQ(stored, decoded);
  EXPECT_EQ(stored[0]["frequency"], 100050000);

  std::string low = ReadFile(folder + "/pages-99.9500MHz.log");
  std::string high = ReadFile(folder + "/pages-100.0500MHz.log");
  EXPECT_NE(low.find("LOW CHANNEL PAGE"), std::string::npos) << low;
  EXPECT_EQ(low.find("HIGH CHANNEL PAGE"), std::string::npos) << low;
  EXPECT_NE(high.find("HIGH CHANNEL PAGE"), std::string::npos) << high;
  EXPECT_FALSE(ReadFile(folder + "/stats-99.9500MHz.csv").empty());
  EXPECT_FALSE(ReadFile(folder + "/stats-100.0500MHz.csv").empty());
  EXPECT_FALSE(std::filesystem::exists(folder + "/pages.log"));
}

TEST(ArchiveEndToEnd, SearchReportsAMissingArchiveAndWrongOptions) {
  std::string folder = MakeTempFolder("missing");
  RunResult missing = RunProgram(SearchPath() + " --archive " + folder + "/none.db fire");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no archive"), std::string::npos);
  EXPECT_FALSE(std::ifstream(folder + "/none.db").good());  // a search creates nothing
  for (const char* options : {"--capcode 12*4", "--protocol XYZ", "--since yesterday", "--limit 0",
                              "--archive a --postgres b"}) {
    EXPECT_EQ(RunProgram(SearchPath() + " " + options).status, 2) << options;
  }
}

// Writes all of `data` to `fd`; false when the reader went away.
bool WriteAll(int fd, const std::string& data, std::size_t from, std::size_t to) {
  while (from < to) {
    ssize_t n = write(fd, data.data() + from, to - from);
    if (n <= 0)
      return false;
    from += static_cast<std::size_t>(n);
  }
  return true;
}

std::vector<std::string> StoredTexts(const std::string& db) {
  std::vector<std::string> texts;
  archive::Query all;
  all.limit = 100000;
  for (const archive::Row& row : archive::OpenSqlite(db)->Search(all))
    texts.push_back(row.page.value("text", ""));
  std::reverse(texts.begin(), texts.end());
  return texts;
}

TEST(ArchiveEndToEnd, KillDuringARunKeepsEveryCommittedPage) {
  std::string folder = MakeTempFolder("kill");
  std::string raw = folder + "/pages.raw", db = folder + "/archive.db";
  std::vector<std::string> texts;
  std::string scenario = R"({"transmissions": [)";
  for (int i = 0; i < 40; ++i) {
    texts.push_back("Unit " + std::to_string(100 + i) + " call the station");
    scenario += std::string(i ? "," : "") + R"({"protocol": "POCSAG", "rate": 1200, "pages": [)" +
                R"({"capcode": )" + std::to_string(200000 + i) + R"(, "type": "alpha", "text": ")" +
                texts.back() + R"("}]})";
  }
  scenario += "]}";
  RenderScenario(scenario, raw, "--format raw --gap 0.5");
  std::string samples = ReadFile(raw);
  ASSERT_GT(samples.size(), 100000u);

  int in[2];
  ASSERT_EQ(pipe(in), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    close(in[0]);
    close(in[1]);
    int null = ::open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execl(PAGORA_DECODE_PATH, PAGORA_DECODE_PATH, "--archive", db.c_str(), "--start-time",
          "2024-06-03T12:00:00", "-", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  signal(SIGPIPE, SIG_IGN);
  // About half the signal: the pages in it complete and are committed, the rest never come.
  std::size_t half = samples.size() / 2 & ~std::size_t{1};
  ASSERT_TRUE(WriteAll(in[1], samples, 0, half));
  std::vector<std::string> committed;
  ASSERT_TRUE(WaitFor(
      [&] {
        std::vector<std::string> now = StoredTexts(db);
        bool settled = !now.empty() && now == committed;
        committed = now;
        if (!settled)
          std::this_thread::sleep_for(std::chrono::milliseconds(700));
        return settled;
      },
      60));
  kill(pid, SIGKILL);
  EXPECT_EQ(WaitChild(pid), 128 + SIGKILL);
  close(in[1]);

  EXPECT_GE(committed.size(), 10u);
  EXPECT_LT(committed.size(), texts.size());
  // The file opens, is whole, and holds every committed page, in order.
  std::vector<std::string> after = StoredTexts(db);
  EXPECT_EQ(after, committed);
  EXPECT_EQ(after, std::vector<std::string>(texts.begin(), texts.begin() + after.size()));
  RunResult check = RunProgram("sqlite3 '" + db + "' 'PRAGMA integrity_check'");
  if (check.status == 0) {
    EXPECT_EQ(check.out, "ok\n");
  }
}

// Two receivers, each behind its own broker, publish the same 200 pages; one copy of each has
// errors (north's for even pages, south's for odd ones). pagora-archive subscribes to both.
class TwoReceiversTest : public ::testing::TestWithParam<std::string> {};

std::string PageObject(int i, const std::string& station, bool errors, int dt) {
  nlohmann::ordered_json page;
  char time[40];
  std::snprintf(time, sizeof time, "2024-06-03T12:%02d:%02d+02:00", (i * 3 + dt) / 60,
                (i * 3 + dt) % 60);
  page["time"] = time;
  page["protocol"] = i % 3 == 0 ? "FLEX" : "POCSAG";
  page["rate"] = i % 3 == 0 ? 1600 : 1200;
  page["capcode"] = std::to_string(1000000 + i % 7);  // capcodes shared by many pages
  page["function"] =
      i % 3 == 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(i % 4 + 1);
  page["type"] = "alpha";
  page["text"] = "Call " + std::to_string(i) + ": report to \"station\" <b>now</b>";
  page["errors"] = errors;
  page["corrected"] = errors ? 4 : 1;
  page["filter"] = nullptr;
  page["station"] = station;
  page["id"] = station + "/1717408000/" + std::to_string(i + 1);
  return page.dump();
}

TEST_P(TwoReceiversTest, EachPageIsStoredOnceWithBothStationsAndTheCleanCopy) {
  bool postgres = GetParam() == "postgres";
  if (postgres && !SharedPostgres().running())
    GTEST_SKIP() << SharedPostgres().skipReason();
  if (Broker::Binary().empty())
    GTEST_SKIP() << "mosquitto is not installed (scripts/install-deps installs it)";
  Broker north(MakeTempFolder("north")), south(MakeTempFolder("south"));
  ASSERT_TRUE(north.Start() && south.Start());
  std::string folder = MakeTempFolder("region");
  std::string location = postgres ? FreshPostgresDatabase() : folder + "/archive.db";
  std::string log = folder + "/archive.log";
  int httpPort = FreePort();
  pid_t archiver =
      Spawn({PAGORA_ARCHIVE_PATH, "--mqtt", north.Url(), "--mqtt", south.Url(),
             postgres ? "--postgres" : "--archive", location, "--http", std::to_string(httpPort)},
            log);
  ASSERT_TRUE(WaitFor(
      [&] {
        std::string text = ReadFile(log);
        std::size_t first = text.find("subscribed");
        return first != std::string::npos &&
               text.find("subscribed", first + 1) != std::string::npos;
      },
      20))
      << ReadFile(log);

  std::vector<std::pair<std::string, std::string>> fromNorth, fromSouth;
  for (int i = 0; i < 200; ++i) {
    fromNorth.emplace_back("pagora/north/pages", PageObject(i, "north", i % 2 == 0, 0));
    fromSouth.emplace_back("pagora/south/pages", PageObject(i, "south", i % 2 == 1, 1));
  }
  ASSERT_TRUE(PublishAll(north.port(), fromNorth));
  ASSERT_TRUE(PublishAll(south.port(), fromSouth));
  // A broker delivering a page again (QoS 1 after a lost acknowledgement): stored once.
  ASSERT_TRUE(PublishAll(north.port(), {fromNorth[5]}));

  auto open = [&] {
    return postgres ? archive::OpenPostgres(location) : archive::OpenSqlite(location);
  };
  archive::Query all;
  all.limit = 1000;
  std::vector<archive::Row> rows;
  WaitFor(
      [&] {
        rows = open()->Search(all);
        return rows.size() == 200 && std::all_of(rows.begin(), rows.end(), [](const auto& r) {
                 return r.stations.size() == 2;
               });
      },
      30);
  // The web page's search reads the same rows: one page, both stations.
  httplib::Client web("127.0.0.1", httpPort);
  httplib::Result found = web.Get("/api/pages?q=Call%2017&limit=5");
  ASSERT_TRUE(found && found->status == 200);
  nlohmann::json pages = nlohmann::json::parse(found->body)["pages"];
  ASSERT_EQ(pages.size(), 1u) << found->body;
  EXPECT_EQ(pages[0]["text"], "Call 17: report to \"station\" <b>now</b>");
  EXPECT_EQ(pages[0]["stations"], nlohmann::json({"north", "south"}));
  kill(archiver, SIGTERM);
  EXPECT_EQ(WaitChild(archiver), 0) << ReadFile(log);
  EXPECT_NE(ReadFile(log).find("401 pages received, 401 stored"), std::string::npos)
      << ReadFile(log);

  rows = open()->Search(all);
  ASSERT_EQ(rows.size(), 200u);
  std::set<std::string> texts;
  for (const archive::Row& row : rows) {
    EXPECT_EQ(row.stations, (std::vector<std::string>{"north", "south"})) << row.page.dump();
    EXPECT_EQ(row.page["errors"], false) << row.page.dump();
    EXPECT_EQ(row.page["corrected"], 1);
    texts.insert(row.page["text"].get<std::string>());
  }
  EXPECT_EQ(texts.size(), 200u);
}

INSTANTIATE_TEST_SUITE_P(Stores, TwoReceiversTest, ::testing::Values("sqlite", "postgres"),
                         [](const auto& param) { return param.param; });

}  // namespace
}  // namespace pagora::testing
