// pagora: the desktop monitor.
#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QTimer>
#include <clocale>
#include <csignal>

#include "app/main_window.h"
#include "config/settings_file.h"
#include "engine/output_files.h"

namespace {

// Set by SIGHUP (log rotation), taken by a timer on the GUI thread.
volatile std::sig_atomic_t hangupRaised = 0;

// SIGHUP reopens the log, filter and statistics files instead of ending the program, so that
// files renamed or deleted by log rotation are replaced by new ones.
void WatchHangups(QApplication& app, pagora::MainWindow& window) {
  std::signal(SIGHUP, [](int) { hangupRaised = 1; });
  auto* poll = new QTimer(&app);
  QObject::connect(poll, &QTimer::timeout, &window, [&window] {
    if (hangupRaised == 0)
      return;
    hangupRaised = 0;
    pagora::ReopenOutputFiles(window.Engine());
    pagora::DeliverOutputReports(window.Engine());
  });
  poll->start(500);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("pagora");
  QApplication::setApplicationVersion(PAGORA_VERSION);
  QApplication::setWindowIcon(pagora::ApplicationIcon());
  std::setlocale(LC_TIME, "");

  QCommandLineParser parser;
  parser.setApplicationDescription("Monitor for FLEX, POCSAG and GSC paging traffic");
  parser.addHelpOption();
  parser.addVersionOption();
  QCommandLineOption ini("ini", "Settings file (default: ~/.config/pagora/Pagora.INI).", "path");
  QCommandLineOption screenshot("screenshot", "Save a picture of the window to FILE and exit.",
                                "file");
  QCommandLineOption after("after", "Seconds to run before the screenshot (default 10).", "seconds",
                           "10");
  QCommandLineOption dialog("dialog",
                            "With --screenshot: open the dialog of menu command ID (213: Filters) "
                            "and save a picture of it instead.",
                            "id");
  parser.addOptions({ini, screenshot, after, dialog});
  parser.process(app);

  std::string settingsPath =
      parser.isSet(ini) ? parser.value(ini).toStdString() : pagora::DefaultSettingsPath();
  pagora::MainWindow window(settingsPath, pagora::UiServices::Interactive());
  window.show();
  WatchHangups(app, window);

  if (parser.isSet(screenshot)) {
    const QString file = parser.value(screenshot);
    window.SetConfirmExit(false);
    const int command = parser.isSet(dialog) ? parser.value(dialog).toInt() : 0;
    QTimer::singleShot(
        static_cast<int>(parser.value(after).toDouble() * 1000), &window, [&window, file, command] {
          if (command == 0) {
            window.grab().save(file);
            window.close();
            return;
          }
          QTimer::singleShot(500, &window, [file] {
            if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
              open->grab().save(file);
              open->reject();
            }
          });
          window.Command(command);
          window.close();
        });
  }
  return app.exec();
}
