// How long the window takes to decode an hour of mixed traffic, against pagora-decode on the
// same file. Renders the recording with pagora-gen (or takes one given), times pagora-decode,
// then opens the recording in a window on the offscreen platform and times it to the end.
//
//   recording_window [--minutes 60] [--file rec.wav] [--screenshot docs/recording.png]
//
// With --screenshot the window is grabbed when the progress passes half way.
#include <sys/resource.h>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/main_window.h"
#include "app/recording_ui.h"

namespace {

using pagora::MainWindow;
using pagora::RecordingOptions;

// One cycle of every protocol and rate, three pages each; repeated for the length asked.
std::string MixedMinute() {
  const char* kinds[] = {
      R"("protocol": "POCSAG", "rate": 1200)",
      R"("protocol": "FLEX", "mode": "1600/2")",
      R"("protocol": "POCSAG", "rate": 2400)",
      R"("protocol": "FLEX", "mode": "3200/4")",
      R"("protocol": "GSC")",
      R"("protocol": "POCSAG", "rate": 512)",
      R"("protocol": "FLEX", "mode": "3200/2")",
      R"("protocol": "FLEX", "mode": "1600/4")",
  };
  std::string s = R"({"transmissions": [)";
  for (int i = 0; i < 8; ++i) {
    if (i > 0)
      s += ", ";
    s += "{" + std::string(kinds[i]) + R"(, "pages": [)";
    for (int p = 0; p < 3; ++p) {
      s += p > 0 ? ", " : "";
      s += R"({"capcode": )" + std::to_string(1000 + i * 10 + p) +
           R"(, "type": "alpha", "text": "Mixed traffic page )" + std::to_string(p) +
           R"( on a busy channel")";
      if (i == 4)
        s += R"(, "function": 1)";
      s += "}";
    }
    s += "]}";
  }
  return s + "]}";
}

double Seconds(QElapsedTimer& timer) {
  return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// Processor time (user and system) of this process or of its finished children. On a shared
// machine the wall clock says as much about the neighbours as about the program.
double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  QCommandLineParser parser;
  QCommandLineOption minutesOption("minutes", "Length of the generated recording.", "n", "60");
  QCommandLineOption fileOption("file", "Use this recording instead of generating one.", "path");
  QCommandLineOption shotOption("screenshot", "Grab the window half way through.", "png");
  parser.addOptions({minutesOption, fileOption, shotOption});
  parser.addHelpOption();
  parser.process(app);

  QTemporaryDir dir;
  QString file = parser.value(fileOption);
  if (file.isEmpty()) {
    const std::string base = dir.path().toStdString() + "/";
    std::ofstream(base + "scenario.json") << MixedMinute();
    // Each cycle of 24 pages takes about 64 s of signal.
    const int minutes = parser.value(minutesOption).toInt();
    std::string gen = std::string(PAGORA_GEN_PATH) + " " + base + "scenario.json -o " + base +
                      "mixed.wav --expected /dev/null --gap 5 --repeat " +
                      std::to_string(std::max(1, minutes * 60 / 64)) +
                      " --start-time 2024-06-03T12:00:00";
    std::printf("rendering: %s\n", gen.c_str());
    if (std::system(gen.c_str()) != 0)
      return 1;
    file = dir.path() + "/mixed.wav";
  }

  QElapsedTimer timer;
  const double childrenBefore = CpuSeconds(RUSAGE_CHILDREN);
  timer.start();
  const std::string decoded = dir.path().toStdString() + "/decode.jsonl";
  std::string decode = std::string(PAGORA_DECODE_PATH) +
                       " --json --start-time 2024-06-03T12:00:00 " + file.toStdString() + " > " +
                       decoded;
  if (std::system(decode.c_str()) != 0)
    return 1;
  const double cli = Seconds(timer);
  const double cliCpu = CpuSeconds(RUSAGE_CHILDREN) - childrenBefore;
  int cliPages = 0;
  {
    std::ifstream in(decoded);
    std::string line;
    while (std::getline(in, line))
      ++cliPages;
  }

  MainWindow window({}, pagora::UiServices::Interactive());
  window.SetConfirmExit(false);
  window.resize(1000, 640);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window))
    return 1;
  RecordingOptions options;
  options.path = file;
  options.start = QDateTime::fromString("2024-06-03T12:00:00", Qt::ISODate);
  const double selfBefore = CpuSeconds(RUSAGE_SELF);
  timer.restart();
  if (!window.OpenRecording(options))
    return 1;
  bool grabbed = !parser.isSet(shotOption);
  qint64 grabNs = 0;  // the grab is not part of the figure
  while (!window.Recording()->Progress().done) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!grabbed && window.Recording()->Progress().Percent() >= 50) {
      grabbed = true;
      QElapsedTimer grabbing;
      grabbing.start();
      window.grab().save(parser.value(shotOption));
      grabNs += grabbing.nsecsElapsed();
      std::printf("screenshot: %s\n", qPrintable(parser.value(shotOption)));
    }
  }
  const double gui = Seconds(timer) - static_cast<double>(grabNs) / 1e9;
  const double guiCpu = CpuSeconds(RUSAGE_SELF) - selfBefore;
  const pagora::RecordingProgress& p = window.Recording()->Progress();
  std::printf("recording: %s, %.0f s of signal, %d pages\n", qPrintable(file), p.duration, p.pages);
  std::printf("pagora-decode: %.2f s wall, %.2f s processor, %d pages\n", cli, cliCpu, cliPages);
  std::printf(
      "window:        %.2f s wall, %.2f s processor (%.1f / %.1f times pagora-decode; "
      "longest slice %lld ms)\n",
      gui, guiCpu, gui / cli, guiCpu / cliCpu,
      static_cast<long long>(window.Recording()->LongestSliceMs()));
  window.close();
  return 0;
}
