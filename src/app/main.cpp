// pagora: the desktop monitor.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <clocale>

#include "app/main_window.h"
#include "config/settings_file.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("pagora");
  QApplication::setApplicationVersion(PAGORA_VERSION);
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
  parser.addOptions({ini, screenshot, after});
  parser.process(app);

  std::string settingsPath =
      parser.isSet(ini) ? parser.value(ini).toStdString() : pagora::DefaultSettingsPath();
  pagora::MainWindow window(settingsPath, pagora::UiServices::Interactive());
  window.show();

  if (parser.isSet(screenshot)) {
    const QString file = parser.value(screenshot);
    window.SetConfirmExit(false);
    QTimer::singleShot(static_cast<int>(parser.value(after).toDouble() * 1000), &window,
                       [&window, file] {
                         window.grab().save(file);
                         window.close();
                       });
  }
  return app.exec();
}
