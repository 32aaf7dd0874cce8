// The archive under load: a million pages through the writer into an SQLite file (pages per
// second, commits included), then searches over them (words, a prefix, a capcode pattern, a
// time range). The file is kept in $PAGORA_BENCH_DIR (default: the temp folder) and removed at
// the end.
#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_writer.h"

namespace {

using pagora::archive::Query;
using pagora::archive::StoredPage;

constexpr int kPages = 1000000;
constexpr std::int64_t kStart = 1717408800;

const char* const kWords[] = {
    "fire",     "ambulance", "respond",    "engine",      "station",   "medic",  "alarm",  "smoke",
    "vehicle",  "accident",  "highway",    "north",       "south",     "report", "unit",   "call",
    "building", "structure", "commercial", "residential", "water",     "rescue", "ladder", "chief",
    "cancel",   "standby",   "priority",   "patient",     "breathing", "chest",  "pain",   "fall"};

std::string ArchivePath() {
  const char* dir = std::getenv("PAGORA_BENCH_DIR");
  std::string folder = dir ? dir : std::filesystem::temp_directory_path().string();
  return folder + "/pagora_archive_bench.db";
}

// A day's traffic of a busy region, compressed: about 20 pages a second of radio time, 5,000
// capcodes, texts of 4 to 12 words from a small vocabulary plus a unit number; one page in
// 10,000 carries the rare word "zeppelin".
StoredPage MakePage(int i, std::mt19937& random) {
  StoredPage p;
  p.time = kStart + i / 20;
  p.protocol = i % 3 == 0 ? "FLEX" : "POCSAG";
  p.rate = i % 3 == 0 ? 1600 : 1200;
  p.capcode = std::to_string(1000000 + random() % 5000);
  p.function = i % 3 == 0 ? 0 : static_cast<int>(random() % 4) + 1;
  p.type = "alpha";
  int words = 4 + static_cast<int>(random() % 9);
  for (int w = 0; w < words; ++w) {
    p.text += kWords[random() % (sizeof kWords / sizeof kWords[0])];
    p.text += ' ';
  }
  p.text += "unit " + std::to_string(random() % 1000);
  if (i % 10000 == 0)
    p.text += " zeppelin";
  p.station = i % 2 ? "north" : "south";
  char json[1400];
  std::snprintf(json, sizeof json,
                "{\"time\":\"2024-06-03T12:00:00+02:00\",\"protocol\":\"%s\",\"rate\":%d,"
                "\"capcode\":\"%s\",\"function\":%d,\"type\":\"alpha\",\"text\":\"%s\","
                "\"errors\":false,\"corrected\":0,\"filter\":null,\"station\":\"%s\"}",
                p.protocol.c_str(), p.rate, p.capcode.c_str(), p.function, p.text.c_str(),
                p.station.c_str());
  p.json = json;
  return p;
}

// CPU seconds of the whole process (the writer's thread included).
double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_ArchiveInsertMillion(benchmark::State& state) {
  std::string path = ArchivePath();
  double cpu = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (const char* suffix : {"", "-wal", "-shm"})
      std::filesystem::remove(path + suffix);
    std::mt19937 random(1);
    std::vector<StoredPage> pages;
    pages.reserve(kPages);
    for (int i = 0; i < kPages; ++i)
      pages.push_back(MakePage(i, random));
    state.ResumeTiming();

    double before = ProcessCpuSeconds();
    pagora::archive::Writer writer(pagora::archive::OpenSqlite(path), kPages);
    for (StoredPage& page : pages)
      writer.Add(std::move(page));
    writer.Close();
    cpu += ProcessCpuSeconds() - before;
    if (writer.stored() != kPages)
      state.SkipWithError(("stored " + std::to_string(writer.stored())).c_str());
  }
  state.SetItemsProcessed(state.iterations() * kPages);
  // On a shared machine the wall clock also counts other programs' turns; this is the rate
  // per second of CPU the archive got.
  state.counters["pages_per_cpu_s"] = static_cast<double>(kPages) * state.iterations() / cpu;
  state.counters["pages_per_s"] = benchmark::Counter(static_cast<double>(kPages),
                                                     benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ArchiveInsertMillion)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void Search(benchmark::State& state, const Query& query) {
  std::unique_ptr<pagora::archive::Store> store = pagora::archive::OpenSqlite(ArchivePath());
  std::size_t found = 0;
  for (auto _ : state) {
    found = store->Search(query).size();
    benchmark::DoNotOptimize(found);
  }
  state.counters["rows"] = static_cast<double>(found);
}

void BM_SearchRareWord(benchmark::State& state) {
  Query q;
  q.text = "zeppelin";
  Search(state, q);
}
void BM_SearchCommonWords(benchmark::State& state) {
  Query q;
  q.text = "fire ambulance chest";
  Search(state, q);
}
void BM_SearchPrefix(benchmark::State& state) {
  Query q;
  q.text = "zepp*";
  Search(state, q);
}
void BM_SearchWordOnCapcodePattern(benchmark::State& state) {
  Query q;
  q.text = "rescue";
  q.capcode = "10012??";
  Search(state, q);
}
void BM_SearchRareWordInTimeRange(benchmark::State& state) {
  Query q;
  q.text = "zeppelin";
  q.since = kStart + 10000;
  q.until = kStart + 30000;
  Search(state, q);
}
void BM_SearchCapcodeOnly(benchmark::State& state) {
  Query q;
  q.capcode = "1004321";
  Search(state, q);
}
BENCHMARK(BM_SearchRareWord)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SearchCommonWords)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SearchPrefix)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SearchWordOnCapcodePattern)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SearchRareWordInTimeRange)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SearchCapcodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RemoveArchive(benchmark::State& state) {
  for (auto _ : state) {
  }
  for (const char* suffix : {"", "-wal", "-shm"})
    std::filesystem::remove(ArchivePath() + suffix);
}
BENCHMARK(BM_RemoveArchive)->Iterations(1);

}  // namespace
