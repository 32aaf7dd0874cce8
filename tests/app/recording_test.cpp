// Recordings in the window: a generated recording decoded on its own signal time at full
// speed, with the progress shown; Cancel; the start taken from the file's time stamp; the
// keep-alive quiet and the log of the recording's own day.
#include <sys/stat.h>
#include <utime.h>

#include <QAction>
#include <QDateTimeEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/recording_ui.h"
#include "app_test_support.h"
#include "engine/keep_alive.h"
#include "output/page.h"

using namespace pagora;
using namespace pagora::testing;

namespace {

struct Expected {
  std::string capcode;
  std::string text;
  std::time_t time = 0;  // local time the transmission began
};

std::time_t ParseIso(const std::string& iso) {
  std::tm parts{};
  std::sscanf(iso.c_str(), "%d-%d-%dT%d:%d:%d", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
              &parts.tm_hour, &parts.tm_min, &parts.tm_sec);
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  parts.tm_isdst = -1;
  return std::mktime(&parts);
}

// Renders a scenario with pagora-gen; the expected pages with the local time each was sent.
std::vector<Expected> Generate(const QString& dir, const std::string& scenario,
                               const std::string& output, const std::string& extra = {}) {
  const std::string base = dir.toStdString() + "/";
  { std::ofstream(base + "scenario.json") << scenario; }
  std::string command = std::string(PAGORA_GEN_PATH) + " " + base + "scenario.json -o " + base +
                        output + " --expected " + base + "expected.jsonl " + extra;
  if (std::system(command.c_str()) != 0)
    return {};
  std::vector<Expected> pages;
  std::ifstream in(base + "expected.jsonl");
  std::string line;
  while (std::getline(in, line)) {
    nlohmann::json j = nlohmann::json::parse(line);
    Expected e;
    e.capcode = j["capcode"].is_null() ? "" : j["capcode"].get<std::string>();
    e.text = j["text"].is_null() ? "" : j["text"].get<std::string>();
    e.time = ParseIso(j["time"].get<std::string>());
    pages.push_back(e);
  }
  return pages;
}

// Ten minutes of mixed traffic: every protocol and rate, one transmission every 50 seconds.
std::string TenMinuteScenario() {
  const char* kinds[] = {
      R"("protocol": "POCSAG", "rate": 1200)",
      R"("protocol": "FLEX", "mode": "1600/2")",
      R"("protocol": "POCSAG", "rate": 2400)",
      R"("protocol": "FLEX", "mode": "3200/4")",
      R"("protocol": "GSC")",
      R"("protocol": "POCSAG", "rate": 512)",
  };
  std::string s = R"({"transmissions": [)";
  for (int i = 0; i < 12; ++i) {
    if (i > 0)
      s += R"({"gap": 48}, )";
    std::string text = "RECORDED PAGE " + std::to_string(i) + " AT SIGNAL TIME";
    s += "{" + std::string(kinds[i % 6]) + R"(, "pages": [{"capcode": )" +
         std::to_string(10000 + i * 1111) + R"(, "type": "alpha", "text": ")" + text + "\"";
    if (i % 6 == 4)
      s += R"(, "function": 1)";
    s += "}]}";
    s += i < 11 ? ", " : "";
  }
  return s + "]}";
}

class PageLog : public PageOutput {
 public:
  void Write(const Page& page) override {
    pages.push_back({std::string(page.capcode.data()),
                     std::string(page.text.data(), static_cast<std::size_t>(page.textLength)),
                     page.time});
  }
  std::vector<Expected> pages;  // as the pages came
};

std::vector<QString> Rows(MainWindow& window) {
  std::vector<QString> rows;
  for (const std::string& row : PaneRows(window.Engine().lines.messagePane))
    rows.push_back(QString::fromLatin1(row));
  return rows;
}

// Seconds of the day of every hh:mm:ss shown in `row`.
std::vector<int> TimesShown(const QString& row) {
  std::vector<int> times;
  static const QRegularExpression kTime("(\\d\\d):(\\d\\d):(\\d\\d)");
  auto it = kTime.globalMatch(row);
  while (it.hasNext()) {
    auto m = it.next();
    times.push_back(m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 +
                    m.captured(3).toInt());
  }
  return times;
}

int SecondOfDay(std::time_t t) {
  std::tm parts{};
  localtime_r(&t, &parts);
  return parts.tm_hour * 3600 + parts.tm_min * 60 + parts.tm_sec;
}

// The row that shows `text` and, on it or the two rows above (the header), a time stamp of
// when the transmission was sent.
bool ShownWithTime(const std::vector<QString>& rows, const Expected& page) {
  const QString text = QString::fromStdString(page.text);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].contains(text))
      continue;
    for (std::size_t j = i >= 2 ? i - 2 : 0; j <= i; ++j) {
      for (int shown : TimesShown(rows[j])) {
        // The stamp is taken as the page begins, which the rendering's own time may round
        // either way.
        int delay = shown - SecondOfDay(page.time);
        if (delay >= -2 && delay <= 10)
          return true;
      }
    }
  }
  return false;
}

bool WaitDone(MainWindow& window, int timeoutMs) {
  return QTest::qWaitFor([&] { return window.Recording() && window.Recording()->Progress().done; },
                         timeoutMs);
}

struct Window {
  RecordedUi ui;
  MainWindow window;
  PageLog log;

  Window() : window({}, ui.Services()) {
    window.Engine().settings.confirmExit = 0;
    window.resize(900, 600);
    window.show();
    window.Engine().pageOutputs.Add(log);
  }
  ~Window() { window.Engine().pageOutputs.Remove(log); }
};

QDateTime At(const char* iso) {
  return QDateTime::fromString(iso, Qt::ISODate);
}

RecordingOptions Options(const QString& path, const char* start = nullptr) {
  RecordingOptions options;
  options.path = path;
  if (start)
    options.start = At(start);
  return options;
}

}  // namespace

class RecordingTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void tenMinutesAtFullSpeedOnSignalTime();
  void cancelHalfwayKeepsThePagesSoFar();
  void startTimeComesFromTheFileTimeStamp();
  void keepAliveStaysQuietAndTheLogIsOfTheRecordingsDay();
  void droppedFileIsDecoded();
  void menuOpensTheChosenFileWithTheStartGiven();
  void realTimeKeepsThePaceOfTheSignal();
  void theLiveFileInputGivesWayToTheRecording();
  void unreadableFileIsReportedAndTheWindowCarriesOn();
  void progressText();

 private:
  QTemporaryDir dir_;
  std::vector<Expected> tenMinutes_;
  QString tenMinutePath_;
};

void RecordingTest::initTestCase() {
  QVERIFY(dir_.isValid());
  tenMinutes_ = Generate(dir_.path(), TenMinuteScenario(), "ten.wav",
                         "--start-time 2024-06-03T12:00:00 --lead-in 2 --tail 50");
  QCOMPARE(tenMinutes_.size(), std::size_t{12});
  tenMinutePath_ = dir_.path() + "/ten.wav";
}

void RecordingTest::tenMinutesAtFullSpeedOnSignalTime() {
  Window w;
  QVERIFY(w.window.OpenRecording(Options(tenMinutePath_, "2024-06-03T12:00:00")));
  auto* bar = w.window.findChild<QProgressBar*>("recordingProgress");
  QVERIFY(bar && bar->isVisible());
  int highest = 0;
  QVERIFY(QTest::qWaitFor(
      [&] {
        highest = std::max(highest, bar->value());
        return w.window.Recording()->Progress().done;
      },
      60000));
  const RecordingProgress& p = w.window.Recording()->Progress();
  QVERIFY(!p.cancelled);
  QCOMPARE(bar->value(), 100);
  QVERIFY2(p.duration > 600 && p.duration < 620, qPrintable(QString::number(p.duration)));
  QCOMPARE(p.position, p.duration);
  QCOMPARE(p.pages, 12);
  QVERIFY(w.window.findChild<QLabel*>("recordingStatus")->text().contains("12 pages (done)"));

  // Every page, with the time it was sent on the signal's clock, in the pane and as a record.
  const std::vector<QString> rows = Rows(w.window);
  QCOMPARE(w.log.pages.size(), tenMinutes_.size());
  for (std::size_t i = 0; i < tenMinutes_.size(); ++i) {
    const Expected& e = tenMinutes_[i];
    QVERIFY2(ShownWithTime(rows, e), e.text.c_str());
    QCOMPARE(w.log.pages[i].text, e.text);
    QCOMPARE(w.log.pages[i].capcode, e.capcode);
    QVERIFY2(w.log.pages[i].time >= e.time - 2 && w.log.pages[i].time <= e.time + 10,
             e.text.c_str());
  }
  // Back on the wall clock, and the engine free for the live input again.
  QVERIFY(!w.window.Engine().SourceOpen());
  QVERIFY(std::abs(w.window.Engine().host.CalendarSeconds() - std::time(nullptr)) < 5);
}

void RecordingTest::cancelHalfwayKeepsThePagesSoFar() {
  Window w;
  QVERIFY(w.window.OpenRecording(Options(tenMinutePath_, "2024-06-03T12:00:00")));
  QVERIFY(QTest::qWaitFor([&] { return w.window.Recording()->Progress().Percent() >= 50; }, 60000));
  auto* button = w.window.findChild<QPushButton*>("recordingCancel");
  QCOMPARE(button->text(), QString("Cancel"));
  QTest::mouseClick(button, Qt::LeftButton);
  const RecordingProgress& p = w.window.Recording()->Progress();
  QVERIFY(p.done && p.cancelled);
  QVERIFY(!w.window.Recording()->Running());
  QVERIFY(!w.window.Engine().SourceOpen());
  QVERIFY(p.Percent() >= 50 && p.Percent() < 100);
  // The pages sent before the position reached, all of them, and none after it.
  std::size_t before = 0;
  for (const Expected& e : tenMinutes_)
    before += static_cast<double>(e.time - ParseIso("2024-06-03T12:00:00")) + 8 < p.position;
  QVERIFY(before >= 5);
  QVERIFY(w.log.pages.size() >= before && w.log.pages.size() < tenMinutes_.size());
  QCOMPARE(p.pages, static_cast<int>(w.log.pages.size()));
  const std::vector<QString> rows = Rows(w.window);
  for (std::size_t i = 0; i < w.log.pages.size(); ++i)
    QVERIFY2(ShownWithTime(rows, tenMinutes_[i]), tenMinutes_[i].text.c_str());
  // Nothing goes on after the cancel.
  const std::size_t pages = w.log.pages.size();
  QTest::qWait(300);
  QCOMPARE(w.log.pages.size(), pages);
  QCOMPARE(button->text(), QString("Close"));
  QTest::mouseClick(button, Qt::LeftButton);
  QVERIFY(!w.window.RecordingBar()->isVisible());
}

void RecordingTest::startTimeComesFromTheFileTimeStamp() {
  QTemporaryDir dir;
  std::vector<Expected> expected = Generate(
      dir.path(),
      R"({"transmissions": [{"protocol": "POCSAG", "rate": 1200, "pages": [{"capcode": 4321, )"
      R"("type": "alpha", "text": "STAMPED BY THE FILE"}]}]})",
      "stamp.wav", "--lead-in 30 --tail 5");
  QCOMPARE(expected.size(), std::size_t{1});
  const QString path = dir.path() + "/stamp.wav";
  // Recorded on 1 March 2023: the file was last written when the recording ended.
  const std::time_t end = ParseIso("2023-03-01T08:30:00");
  utimbuf times{end, end};
  QCOMPARE(utime(path.toLocal8Bit().constData(), &times), 0);

  Window w;
  QVERIFY(w.window.OpenRecording(Options(path)));
  QVERIFY(WaitDone(w.window, 30000));
  const RecordingProgress& p = w.window.Recording()->Progress();
  QVERIFY(std::abs(p.startEpoch - (static_cast<double>(end) - p.duration)) < 0.01);
  QCOMPARE(w.log.pages.size(), std::size_t{1});
  // Sent 30 s into a recording of about 36 s that ended at 08:30:00.
  const std::int64_t sent = static_cast<std::int64_t>(p.startEpoch) + 30;
  QVERIFY2(w.log.pages[0].time >= sent - 2 && w.log.pages[0].time <= sent + 3,
           qPrintable(QString::number(w.log.pages[0].time - sent)));
  Expected e = expected[0];
  e.time = static_cast<std::time_t>(sent);
  QVERIFY(ShownWithTime(Rows(w.window), e));
}

void RecordingTest::keepAliveStaysQuietAndTheLogIsOfTheRecordingsDay() {
  QTemporaryDir dir;
  // Two pages three minutes apart, on a day that is not today.
  std::vector<Expected> expected = Generate(
      dir.path(),
      R"({"transmissions": [{"protocol": "POCSAG", "rate": 1200, "pages": [{"capcode": 111, )"
      R"("type": "alpha", "text": "FIRST OF THE DAY"}]}, {"gap": 180}, {"protocol": "POCSAG", )"
      R"("rate": 1200, "pages": [{"capcode": 222, "type": "alpha", "text": "SECOND"}]}]})",
      "gap.cap", "--start-time 2023-07-14T09:00:00");
  QCOMPARE(expected.size(), std::size_t{2});

  Window w;
  Monitor& m = w.window.Engine();
  // Every hour supervised with a one-minute timeout: the gap in the recording is longer.
  m.settings.keepAlive[0] = {1, 24, 1};
  BuildKeepAliveHourTable(m);
  const QString logDir = dir.path() + "/logs";
  QVERIFY(QDir().mkpath(logDir));
  QVERIFY(QDir::setCurrent(logDir));
  CloseOutputFile(m, OutputFileKind::kLog);
  m.settings.logFileEnabled = 1;
  m.settings.logFileUseDate = 1;
  OpenOutputFile(m, OutputFileKind::kLog);

  QVERIFY(w.window.OpenRecording(Options(dir.path() + "/gap.cap", "2023-07-14T09:00:00")));
  QVERIFY(WaitDone(w.window, 30000));
  QCOMPARE(w.log.pages.size(), std::size_t{2});
  for (const auto& [text, caption] : w.ui.messages)
    QVERIFY2(text != kOffAirText, qPrintable(caption));
  QCOMPARE(m.keepAlive.alarmOn, 0);
  // The pages went to the log named by the recording's day; today's log holds none of them.
  const QStringList logs = QDir(logDir).entryList(QDir::Files);
  const QStringList dayLogs = logs.filter(QRegularExpression("^23JUL14"));
  QVERIFY2(dayLogs.size() == 1, qPrintable(logs.join(",")));
  const QString dayLog = dayLogs[0];
  QFile file(logDir + "/" + dayLog);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QByteArray content = file.readAll();
  QVERIFY(content.contains("FIRST OF THE DAY") && content.contains("SECOND"));
  for (const QString& name : logs) {
    if (name == dayLog)
      continue;
    QFile other(logDir + "/" + name);
    QVERIFY(other.open(QIODevice::ReadOnly));
    QVERIFY(!other.readAll().contains("FIRST OF THE DAY"));
  }
  CloseOutputFile(m, OutputFileKind::kLog);
  QVERIFY(QDir::setCurrent(QDir::tempPath()));
}

void RecordingTest::droppedFileIsDecoded() {
  Window w;
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(tenMinutePath_)});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&w.window, &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&w.window, &drop);
  QVERIFY(QTest::qWaitFor([&] { return w.window.Recording() != nullptr; }, 2000));
  QVERIFY(w.window.Recording()->Running());
  QVERIFY(QTest::qWaitFor([&] { return !w.log.pages.empty(); }, 30000));
  w.window.Recording()->Cancel();
}

void RecordingTest::menuOpensTheChosenFileWithTheStartGiven() {
  Window w;
  w.ui.fileAnswer = tenMinutePath_;
  bool dialogSeen = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<RecordingDialog*>(QApplication::activeModalWidget());
    if (!dialog)
      return;
    dialogSeen = true;
    dialog->findChild<QRadioButton*>("startGiven")->setChecked(true);
    dialog->findChild<QDateTimeEdit*>("startTime")->setDateTime(At("2022-12-31T23:59:30"));
    QTest::mouseClick(dialog->findChild<QPushButton*>("1"), Qt::LeftButton);
  });
  auto* action = w.window.menuBar()->findChild<QAction*>("230");
  QVERIFY(action);
  QCOMPARE(action->text(), QString("Open &Recording..."));
  QCOMPARE(action->shortcut(), QKeySequence("Ctrl+R"));
  action->trigger();
  QVERIFY(dialogSeen);
  QCOMPARE(w.ui.chooserTitles.back(), QString("Open Recording..."));
  QVERIFY(w.window.Recording() && w.window.Recording()->Running());
  QCOMPARE(w.window.Recording()->Options().path, tenMinutePath_);
  QVERIFY(WaitDone(w.window, 60000));
  // The first page, sent 2 s in, on the clock given; the next ones already in the new year,
  // under a separator with the new date.
  QCOMPARE(w.log.pages.size(), std::size_t{12});
  QVERIFY(w.log.pages[0].time - At("2022-12-31T23:59:30").toSecsSinceEpoch() < 5);
  bool newYear = false;
  for (const QString& row : Rows(w.window))
    newYear = newYear || (row.contains("01/01/23") && row.contains("---"));
  QVERIFY(newYear);
}

void RecordingTest::realTimeKeepsThePaceOfTheSignal() {
  Window w;
  RecordingOptions options = Options(tenMinutePath_);
  options.realTime = true;
  QElapsedTimer wall;
  wall.start();
  QVERIFY(w.window.OpenRecording(options));
  QVERIFY(QTest::qWaitFor([&] { return w.window.Recording()->Progress().position > 0.5; }, 10000));
  QTest::qWait(500);
  // Never ahead of the wall clock (however slow the machine, it may only fall behind).
  const double position = w.window.Recording()->Progress().position;
  QVERIFY2(position <= static_cast<double>(wall.elapsed()) / 1000.0 + 0.3,
           qPrintable(QString::number(position)));
  QVERIFY(w.window.Recording()->Running());
  w.window.Recording()->Cancel();
}

void RecordingTest::theLiveFileInputGivesWayToTheRecording() {
  Window w;
  w.window.Engine().settings.inputSource = 2;
  w.window.Engine().settings.audioFile = tenMinutePath_.toStdString();
  w.window.OpenInput();
  QVERIFY(w.window.TimerRunning());
  QCOMPARE(w.window.Input(), InputState::kRunning);
  // Well into the first page of the file (sent 2 s in) when the recording is opened.
  QTest::qWait(2300);

  QTemporaryDir dir;
  Generate(
      dir.path(),
      R"({"transmissions": [{"protocol": "POCSAG", "rate": 2400, "pages": [{"capcode": 123456, )"
      R"("type": "alpha", "text": "WHILE THE FILE PLAYED"}]}]})",
      "short.wav");
  QVERIFY(w.window.OpenRecording(Options(dir.path() + "/short.wav")));
  w.log.pages.clear();  // the file's page in progress was shown as far as it came
  // The file played as if live stops: one engine, one input at a time.
  QVERIFY(!w.window.TimerRunning());
  QCOMPARE(w.window.Input(), InputState::kEnded);
  QVERIFY(WaitDone(w.window, 30000));
  QCOMPARE(w.log.pages.size(), std::size_t{1});
  QVERIFY2(w.log.pages[0].text == "WHILE THE FILE PLAYED", w.log.pages[0].text.c_str());
  // It is not started again from its beginning behind the user's back.
  QTest::qWait(200);
  QVERIFY(!w.window.Engine().SourceOpen());
  QVERIFY(!w.window.TimerRunning());
  QVERIFY(w.window.StatusText().startsWith("End of audio file"));
}

void RecordingTest::unreadableFileIsReportedAndTheWindowCarriesOn() {
  QTemporaryDir dir;
  const QString path = dir.path() + "/not-audio.wav";
  {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("this is not a recording");
  }
  // A FIFO would keep the window waiting for a writer: refused at once.
  const QString fifo = dir.path() + "/fifo.wav";
  QCOMPARE(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  Window w;
  const std::pair<QString, const char*> refused[] = {{path, "not-audio.wav"},
                                                     {dir.path() + "/missing.wav", "missing.wav"},
                                                     {fifo, "not a regular file"}};
  for (std::size_t i = 0; i < std::size(refused); ++i) {
    QVERIFY(!w.window.OpenRecording(Options(refused[i].first)));
    QCOMPARE(w.ui.messages.size(), i + 1);
    QVERIFY2(w.ui.messages[i].first.contains(refused[i].second), refused[i].second);
    QVERIFY(!w.window.Engine().SourceOpen());
  }
  QVERIFY(!w.window.Recording());
}

void RecordingTest::progressText() {
  struct Case {
    double position, duration;
    int pages;
    bool done, cancelled;
    const char* text;
    int percent;
  };
  const Case cases[] = {
      {0.0, 600.0, 0, false, false, "0:00 of 10:00, 0 pages", 0},
      {300.5, 600.0, 1, false, false, "5:00 of 10:00, 1 page", 50},
      {3599.0, 3725.0, 4711, false, false, "59:59 of 1:02:05, 4711 pages", 96},
      {600.0, 600.0, 3, false, false, "10:00 of 10:00, 3 pages", 99},  // at the end, not done
      {600.0, 600.0, 3, true, false, "10:00 of 10:00, 3 pages (done)", 100},
      {120.0, 600.0, 2, true, true, "2:00 of 10:00, 2 pages (cancelled)", 20},
      {12.0, -1.0, 0, false, false, "0:12, 0 pages", 0},  // length unknown
  };
  for (const Case& c : cases) {
    RecordingProgress p;
    p.position = c.position;
    p.duration = c.duration;
    p.pages = c.pages;
    p.done = c.done;
    p.cancelled = c.cancelled;
    QCOMPARE(RecordingProgressText(p), QString(c.text));
    QCOMPARE(p.Percent(), c.percent);
  }
}

QTEST_MAIN(RecordingTest)
#include "recording_test.moc"
