// The dialogs: validation messages that keep a dialog open, enabling rules, and what OK stores.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstring>

#include "app/dialogs.h"
#include "app_test_support.h"
#include "config/settings_file.h"
#include "engine/keep_alive.h"

using namespace pagora;
using namespace pagora::testing;

namespace {

void Focus(QWidget* edit) {
  QFocusEvent event(QEvent::FocusIn, Qt::MouseFocusReason);
  QApplication::sendEvent(edit, &event);
  QCoreApplication::processEvents();  // the chooser opens once the focus change is over
}

void Choose(QComboBox* list, int index) {
  list->setCurrentIndex(index);
  emit list->activated(index);
}

bool Accepted(const QDialog& dialog) {
  return dialog.result() == QDialog::Accepted;
}

// Focuses a command's name: the chooser that opens offers programs, with no ".exe" anywhere.
void CheckCommandChooser(QLineEdit* edit, const RecordedUi& ui) {
  const std::size_t before = ui.fileChoices.size();
  Focus(edit);
  QCOMPARE(ui.fileChoices.size(), before + 1);
  QVERIFY(ui.fileChoices.back().programs);
  QVERIFY(!ui.fileChoices.back().initialName.contains("exe"));
  QVERIFY(ui.fileChoices.back().filters.filter("exe").isEmpty());
}

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void logfileEnabling();
  void logfileValidation();
  void filtersEnablingAndValidation();
  void filtersDeleteSelectsTheRightLine();
  void filtersEditAndBrowse();
  void addEditCapcode();
  void addEditEnabling();
  void filterListText();
  void statistics();
  void keepAlive();
  void optionsClearReceptionState();
  void interfaceValidation();
  void interfaceSdrReceiver();
  void scrollbackMinimums();
  void colours();
  void portAddress();
  void failedSaveIsReportedOnce();
  void captionsFitAndOneVersion();
};

void DialogsTest::logfileEnabling() {
  EngineFixture f;
  f.monitor.settings.logFileEnabled = 1;
  f.monitor.settings.logFileUseDate = 1;
  f.monitor.settings.logFlushTime = 0;
  f.monitor.settings.logFile = "/tmp/old.log";
  f.monitor.settings.filterFile = "/tmp/traffic.flt";
  LogfileDialog dialog(f.context);
  auto* enable = Control<QCheckBox>(dialog, 1001);
  auto* path = Control<QLineEdit>(dialog, 1002);
  auto* useDate = Control<QCheckBox>(dialog, 1003);
  auto* flush = Control<QCheckBox>(dialog, 1004);
  auto* interval = Control<QComboBox>(dialog, 1005);
  QCOMPARE(interval->currentText(), QString("60 Seconds"));  // stored 0 shows sixty seconds
  QVERIFY(!path->isEnabled());                               // date naming on
  QVERIFY(useDate->isEnabled());
  QVERIFY(flush->isEnabled());
  QVERIFY(!interval->isEnabled());  // flush off
  flush->click();
  QVERIFY(interval->isEnabled());
  useDate->click();
  QVERIFY(path->isEnabled());
  enable->click();
  for (QWidget* w : std::initializer_list<QWidget*>{path, useDate, flush, interval}) {
    QVERIFY(!w->isEnabled());
  }
  enable->click();
  QVERIFY(path->isEnabled() && useDate->isEnabled() && interval->isEnabled());

  // Browsing refuses the filter file and keeps the name there was.
  f.ui.fileAnswer = "/tmp/traffic.flt";
  Focus(path);
  QCOMPARE(f.ui.chooserTitles.size(), std::size_t{1});
  QCOMPARE(f.ui.messages.size(), std::size_t{1});
  QCOMPARE(f.ui.messages[0].first, QString("Log file can't be same as Filter file!"));
  QCOMPARE(path->text(), QString("/tmp/old.log"));
  f.ui.fileAnswer = "/tmp/new.log";
  Focus(path);
  QCOMPARE(path->text(), QString("/tmp/new.log"));
}

void DialogsTest::logfileValidation() {
  EngineFixture f;
  LogfileDialog dialog(f.context);
  Control<QCheckBox>(dialog, 1001)->click();
  ExpectRefused(dialog, f.ui, "You must select a log file!", "Pagora Log File");
  QCOMPARE(f.ui.messages.size(), std::size_t{1});
  QCOMPARE(f.monitor.settings.logFileEnabled, 0);
  // Date naming with an empty name is accepted.
  Control<QCheckBox>(dialog, 1003)->click();
  Control<QComboBox>(dialog, 1005)->setCurrentIndex(2);
  Control<QCheckBox>(dialog, 1004)->click();
  QTemporaryDir dir;
  QDir::setCurrent(dir.path());
  ClickOk(dialog);
  QVERIFY(Accepted(dialog));
  QCOMPARE(f.monitor.settings.logFileEnabled, 1);
  QCOMPARE(f.monitor.settings.logFileUseDate, 1);
  QCOMPARE(f.monitor.settings.logFileFlush, 1);
  QCOMPARE(f.monitor.settings.logFlushTime, 3);
  QVERIFY(f.monitor.files.log != nullptr);  // opened by the date name
  QVERIFY(QFileInfo::exists(dir.path() + "/24JUN05.LOG"));
  // Switching it off closes the file.
  LogfileDialog again(f.context);
  Control<QCheckBox>(again, 1001)->click();
  ClickOk(again);
  QVERIFY(Accepted(again));
  QVERIFY(f.monitor.files.log == nullptr);
  QDir::setCurrent(QDir::tempPath());
}

void DialogsTest::filtersEnablingAndValidation() {
  EngineFixture f;
  FiltersDialog dialog(f.context);
  auto* enable = Control<QCheckBox>(dialog, 1061);
  auto* path = Control<QLineEdit>(dialog, 1062);
  auto* useDate = Control<QCheckBox>(dialog, 1063);
  auto* flush = Control<QCheckBox>(dialog, 1064);
  auto* interval = Control<QComboBox>(dialog, 1065);
  auto* command = Control<QCheckBox>(dialog, 1066);
  auto* commandFile = Control<QLineEdit>(dialog, 1067);
  auto* arguments = Control<QLineEdit>(dialog, 1068);
  for (QWidget* w :
       std::initializer_list<QWidget*>{path, useDate, flush, interval, commandFile, arguments}) {
    QVERIFY(!w->isEnabled());
  }
  enable->click();
  QVERIFY(path->isEnabled() && useDate->isEnabled() && flush->isEnabled());
  QVERIFY(!interval->isEnabled());
  flush->click();
  QVERIFY(interval->isEnabled());
  useDate->click();
  QVERIFY(!path->isEnabled());
  useDate->click();
  command->click();
  QVERIFY(commandFile->isEnabled() && arguments->isEnabled());
  CheckCommandChooser(commandFile, f.ui);

  ExpectRefused(dialog, f.ui, "You must select a filter file!", "Pagora Filter");
  useDate->click();  // date naming needs no name
  ExpectRefused(dialog, f.ui, "You must select a command file!");
  QCOMPARE(f.monitor.settings.filterFileEnabled, 0);
  commandFile->setText("/usr/bin/true");
  arguments->setText("%c %m");
  QTemporaryDir dir;
  QDir::setCurrent(dir.path());
  ClickOk(dialog);
  QDir::setCurrent(QDir::tempPath());
  QVERIFY(Accepted(dialog));
  QCOMPARE(f.monitor.settings.filterFileEnabled, 1);
  QCOMPARE(f.monitor.settings.filterCmdFileEnabled, 1);
  QCOMPARE(f.monitor.settings.filterCmdFile, std::string("/usr/bin/true"));
  QCOMPARE(f.monitor.settings.filterCmdArgs, std::string("%c %m"));
  QCOMPARE(f.monitor.settings.filterFlushTime, 5);
}

void DialogsTest::filtersDeleteSelectsTheRightLine() {
  struct Case {
    int filters, selected, expectedRow;
    const char* remainingFirst;
  };
  const Case cases[] = {{3, 2, 1, "Text | \"one\""},  // the last of three
                        {3, 1, 1, "Text | \"one\""},  // the middle one
                        {3, 0, 0, "Text | \"two\""},  // the first one
                        {1, 0, -1, nullptr}};         // the only one
  for (const Case& c : cases) {
    EngineFixture f;
    const char* texts[] = {"one", "two", "three"};
    for (int i = 0; i < c.filters; ++i)
      f.monitor.settings.filters.push_back({kFilterText, "", 0, "", texts[i], 0, 0, 0});
    FiltersDialog dialog(f.context);
    auto* list = Control<QListWidget>(dialog, 1060);
    auto* remove = Control<QPushButton>(dialog, 1071);
    remove->click();
    QCOMPARE(f.ui.messages.back().first, QString("You must select a filter to delete!"));
    list->setCurrentRow(c.selected);
    f.ui.confirmAnswer = false;
    remove->click();
    QCOMPARE(f.monitor.settings.filters.size(), std::size_t(c.filters));
    f.ui.confirmAnswer = true;
    remove->click();
    QCOMPARE(f.ui.confirms.back().second, QString("Pagora Filter"));
    QCOMPARE(f.monitor.settings.filters.size(), std::size_t(c.filters - 1));
    QCOMPARE(list->count(), c.filters - 1);
    QCOMPARE(list->currentRow(), c.expectedRow);
    if (c.remainingFirst)
      QCOMPARE(list->item(0)->text(), QString(c.remainingFirst));
  }
}

void DialogsTest::filtersEditAndBrowse() {
  EngineFixture f;
  f.monitor.settings.logFile = "/tmp/x.log";
  f.monitor.settings.filters.push_back(
      {kFilterPocsag, "0001234", 2, "A very long label", "ALARM", 1, 2, 0});
  FiltersDialog dialog(f.context);
  auto* list = Control<QListWidget>(dialog, 1060);
  list->clearSelection();
  list->setCurrentRow(-1);
  Control<QPushButton>(dialog, 1070)->click();
  QCOMPARE(f.ui.messages.back().first, QString("You must select a filter to edit!"));

  // Edit hands a copy to the Add/Edit dialog; OK replaces the filter and its line.
  dialog.runAddEdit = [](FilterRecord& r) {
    r.label = "FIRE";
    return true;
  };
  list->setCurrentRow(0);
  Control<QPushButton>(dialog, 1070)->click();
  QCOMPARE(f.monitor.settings.filters[0].label, std::string("FIRE"));
  QCOMPARE(list->item(0)->text(), QString("POCSAG | FIRE | 0001234 | 2 | 1200 | \"ALARM\" | CMD"));
  // Cancel changes nothing; Add appends and selects the new line.
  dialog.runAddEdit = [](FilterRecord& r) {
    r.label = "LOST";
    return false;
  };
  Control<QPushButton>(dialog, 1070)->click();
  QCOMPARE(f.monitor.settings.filters[0].label, std::string("FIRE"));
  dialog.runAddEdit = [](FilterRecord& r) {
    r = {kFilterText, "", 0, "", "smoke", 0, 0, 0};
    return true;
  };
  Control<QPushButton>(dialog, 1069)->click();
  QCOMPARE(f.monitor.settings.filters.size(), std::size_t{2});
  QCOMPARE(list->currentRow(), 1);

  // The delete prompt cuts a long line.
  list->setCurrentRow(0);
  f.ui.confirmAnswer = false;
  Control<QPushButton>(dialog, 1071)->click();
  QCOMPARE(f.ui.confirms.back().first, QString("Delete POCSAG | FIRE | 0... ?"));

  f.ui.fileAnswer = "/tmp/x.log";
  Control<QCheckBox>(dialog, 1061)->click();
  Focus(Control<QLineEdit>(dialog, 1062));
  QCOMPARE(f.ui.messages.back().first, QString("Filter file can't be same as Log file!"));
  QCOMPARE(f.ui.messages.back().second, QString("Pagora Filter"));
  QCOMPARE(Control<QLineEdit>(dialog, 1062)->text(), QString());
  QCOMPARE(f.ui.chooserTitles.back(), QString("Open Filter File..."));
}

void DialogsTest::addEditCapcode() {
  struct Case {
    int kind;  // list position
    const char* entry;
    const char* message;  // empty: accepted
    const char* stored;
  };
  const Case cases[] = {
      {1, "12?4", "", "00012?4"},  // POCSAG wildcard padded
      {1, "12A4", "Invalid characters in capcode!", ""},
      {1, "", "You must enter a capcode!", ""},
      {3, "123", "", "000000123"},                        // FLEX long padded to nine
      {4, "77", "", "000077"},                            // Golay padded to six
      {2, "12 4", "Invalid characters in capcode!", ""},  // a blank is no digit
  };
  for (const Case& c : cases) {
    EngineFixture f;
    FilterRecord record;
    AddEditFilterDialog dialog(f.context, record);
    Choose(Control<QComboBox>(dialog, 1080), c.kind);
    Control<QLineEdit>(dialog, 1082)->setText(c.entry);
    if (*c.message == 0) {
      ClickOk(dialog);
      QVERIFY2(Accepted(dialog), c.entry);
      QCOMPARE(record.capcode, std::string(c.stored));
      QCOMPARE(record.type, c.kind + 1);
      QVERIFY(f.ui.messages.empty());
    } else {
      ExpectRefused(dialog, f.ui, c.message, "Pagora Filter");
      QCOMPARE(record.type, 0);  // the record is untouched
    }
  }
}

void DialogsTest::addEditEnabling() {
  EngineFixture f;
  FilterRecord fresh;
  AddEditFilterDialog dialog(f.context, fresh);
  auto* kind = Control<QComboBox>(dialog, 1080);
  auto* reject = Control<QCheckBox>(dialog, 1081);
  auto* capcode = Control<QLineEdit>(dialog, 1082);
  auto* function = Control<QComboBox>(dialog, 1083);
  auto* baud = Control<QComboBox>(dialog, 1084);
  auto* label = Control<QLineEdit>(dialog, 1085);
  auto* text = Control<QLineEdit>(dialog, 1086);
  auto* command = Control<QCheckBox>(dialog, 1087);
  QVERIFY(kind->isEnabled());
  QCOMPARE(kind->currentText(), QString("Text"));
  QVERIFY(!capcode->isEnabled() && !function->isEnabled() && !baud->isEnabled() &&
          !reject->isEnabled());
  Choose(kind, 1);  // POCSAG
  QVERIFY(capcode->isEnabled() && function->isEnabled() && baud->isEnabled() &&
          reject->isEnabled());
  QCOMPARE(capcode->maxLength(), 7);
  Choose(kind, 3);  // FLEX long: a nine-digit capcode, no function or speed
  QCOMPARE(capcode->maxLength(), 9);
  capcode->setText("123456789");
  QVERIFY(!function->isEnabled() && !baud->isEnabled());
  QCOMPARE(function->currentIndex(), -1);
  Choose(kind, 1);  // back to POCSAG: what was typed stays
  QCOMPARE(capcode->text(), QString("123456789"));
  label->setText("L");
  text->setText("T");
  command->setChecked(true);
  reject->click();
  QVERIFY(label->text().isEmpty() && text->text().isEmpty() && !command->isChecked());
  QVERIFY(!label->isEnabled() && !text->isEnabled() && !command->isEnabled());
  reject->click();
  QVERIFY(label->isEnabled() && text->isEnabled() && command->isEnabled());
  Choose(kind, 0);
  QVERIFY(!reject->isEnabled() && !reject->isChecked() && !capcode->isEnabled());
  // A text filter needs its text.
  label->setText("label only");
  ExpectRefused(dialog, f.ui, "You must enter a text string!");
  QCOMPARE(fresh.type, 0);
  text->setText("FIRE");
  ClickOk(dialog);
  QVERIFY(Accepted(dialog));
  QCOMPARE(fresh.type, int{kFilterText});
  QCOMPARE(fresh.text, std::string("FIRE"));
  QCOMPARE(fresh.label, std::string("label only"));

  // An existing reject filter: the kind is fixed and label, text and command are off.
  FilterRecord existing{kFilterGolay, "001234", 3, "", "", 0, 0, 1};
  AddEditFilterDialog edit(f.context, existing);
  QVERIFY(!Control<QComboBox>(edit, 1080)->isEnabled());
  QCOMPARE(Control<QComboBox>(edit, 1080)->currentText(), QString("Golay (GSC) Capcode"));
  QCOMPARE(Control<QComboBox>(edit, 1083)->currentIndex(), 3);
  QVERIFY(!Control<QComboBox>(edit, 1084)->isEnabled());
  QVERIFY(!Control<QLineEdit>(edit, 1085)->isEnabled());
  QVERIFY(Control<QCheckBox>(edit, 1081)->isChecked());
}

void DialogsTest::filterListText() {
  struct Case {
    FilterRecord filter;
    const char* text;
  };
  const Case cases[] = {
      {{kFilterPocsag, "0001234", 2, "FIRE", "ALARM", 1, 2, 0},
       "POCSAG | FIRE | 0001234 | 2 | 1200 | \"ALARM\" | CMD"},
      {{kFilterFlexLong, "000001234", 0, "", "x", 1, 0, 1}, "Long FLEX | 000001234 | REJECT"},
      {{kFilterGolay, "001234", 0, "", "", 0, 0, 0}, "Golay | 001234 | Any"},
      {{kFilterText, "", 0, "", "smoke", 0, 0, 0}, "Text | \"smoke\""},
  };
  for (const Case& c : cases)
    QCOMPARE(FilterListText(c.filter), QString(c.text));
}

void DialogsTest::statistics() {
  struct Cell {
    std::int32_t count;
    bool daily;
    const char* shown;
  };
  const Cell cells[] = {{999999, false, "999999"},
                        {1000000, false, "******"},
                        {9999999, true, "9999999"},
                        {10000000, true, "******"},
                        {0, false, "0"}};
  for (const Cell& c : cells)
    QCOMPARE(StatisticsCell(c.count, c.daily), QString(c.shown));

  QTemporaryDir dir;
  QDir::setCurrent(dir.path());
  EngineFixture f;
  f.monitor.counters.hourlyMessages[kRowPocsag1200][kKindAlpha] = 42;
  f.monitor.counters.hourlyCharacters[kRowPocsag1200][kKindAlpha] = 900;
  f.monitor.counters.dailyMessages[kRowGsc][kKindNumeric] = 10000000;
  f.monitor.settings.statCsvFileEnabled = 1;
  f.monitor.settings.statCsvFileUseDate = 1;
  StatisticsDialog dialog(f.context);
  QCOMPARE(Control<QLabel>(dialog, 1099)->text(), QString("42"));  // hourly POCSAG 1200 alpha
  QCOMPARE(Control<QLabel>(dialog, 1116)->text(), QString("******"));
  auto* statOn = Control<QCheckBox>(dialog, 1118);
  auto* statPath = Control<QLineEdit>(dialog, 1119);
  auto* statDate = Control<QCheckBox>(dialog, 1120);
  QVERIFY(!statPath->isEnabled() && !statDate->isEnabled());
  QVERIFY(!Control<QLineEdit>(dialog, 1122)->isEnabled());  // CSV date-named
  QVERIFY(Control<QCheckBox>(dialog, 1123)->isEnabled());
  statOn->click();
  QVERIFY(statPath->isEnabled() && statDate->isEnabled());
  ExpectRefused(dialog, f.ui, "You must select a statistics file!", "Pagora Monitor Stats");
  QCOMPARE(f.monitor.settings.statFileEnabled, 0);
  statDate->click();
  QVERIFY(!statPath->isEnabled());
  Control<QCheckBox>(dialog, 1123)->click();  // CSV without date and without a path
  ClickOk(dialog);
  QVERIFY(!Accepted(dialog));
  QCOMPARE(f.ui.messages.size(), std::size_t{2});
  Control<QLineEdit>(dialog, 1122)->setText(dir.path() + "/rows.csv");
  ClickOk(dialog);
  QVERIFY(Accepted(dialog));
  QVERIFY(f.monitor.files.csv != nullptr);
  QVERIFY(f.monitor.files.stat != nullptr);
  QCOMPARE(f.monitor.settings.statFileEnabled, 1);
  QVERIFY(QFileInfo::exists(dir.path() + "/24JUN05.ST"));
  CloseOutputFiles(f.monitor);
  QDir::setCurrent(QDir::tempPath());
}

void DialogsTest::keepAlive() {
  EngineFixture f;
  KeepAliveDialog dialog(f.context);
  auto list = [&](int id) { return Control<QComboBox>(dialog, id); };
  QCOMPARE(list(1130)->count(), 25);
  QCOMPARE(list(1130)->itemText(23), QString("10:00 pm"));
  QCOMPARE(list(1131)->itemText(2), QString("1:59 am"));
  QCOMPARE(list(1132)->itemText(11), QString("15 minutes"));
  QVERIFY(!Control<QLineEdit>(dialog, 1140)->isEnabled());
  // Window 1: 10 pm .. 1:59 am, 5 minutes. Window 2 touches only its stop hour 22.
  list(1130)->setCurrentIndex(23);
  list(1131)->setCurrentIndex(2);
  list(1132)->setCurrentIndex(5);
  list(1133)->setCurrentIndex(20);
  list(1134)->setCurrentIndex(23);
  list(1135)->setCurrentIndex(1);
  ExpectRefused(dialog, f.ui, "Time ranges overlap!", "Pagora Monitor");
  QCOMPARE(f.monitor.settings.keepAlive[0].start, 0);
  // "Disabled" in one list disables the whole window.
  Choose(list(1135), 0);
  QCOMPARE(list(1133)->currentIndex(), 0);
  QCOMPARE(list(1134)->currentIndex(), 0);
  Control<QCheckBox>(dialog, 1139)->click();
  QVERIFY(Control<QLineEdit>(dialog, 1140)->isEnabled());
  CheckCommandChooser(Control<QLineEdit>(dialog, 1140), f.ui);
  ExpectRefused(dialog, f.ui, "You must select a command file!");
  Control<QLineEdit>(dialog, 1140)->setText("/usr/bin/true");
  Control<QLineEdit>(dialog, 1141)->setText("off air");
  f.monitor.keepAlive.alarmOn = 1;
  ClickOk(dialog);
  QVERIFY(Accepted(dialog));
  const AppSettings& s = f.monitor.settings;
  QCOMPARE(s.keepAlive[0], (KeepAliveWindow{23, 2, 5}));
  QCOMPARE(s.keepAliveCmdArgs, std::string("off air"));
  QCOMPARE(f.monitor.keepAlive.alarmOn, 0);
  for (int hour : {22, 23, 0, 1})
    QCOMPARE(f.monitor.keepAlive.hourTimeout[hour], 5);
  QCOMPARE(f.monitor.keepAlive.hourTimeout[2], 0);
}

void DialogsTest::optionsClearReceptionState() {
  EngineFixture f;
  QTemporaryDir dir;
  f.context.settingsPath = (dir.path() + "/Pagora.INI").toStdString();
  f.monitor.recovery.flexActive = 1;
  f.monitor.recovery.gscActive = 1;
  f.monitor.recovery.pocsagWindow = 600;
  OptionsDialog dialog(f.context);
  QVERIFY(Control<QCheckBox>(dialog, 1026)->isChecked());
  Control<QCheckBox>(dialog, 1026)->click();  // Decode FLEX/ReFLEX off
  Control<QCheckBox>(dialog, 1020)->click();  // Confirm Exit off
  dialog.findChild<QSpinBox*>("dedupSeconds")->setValue(60);
  auto* charset = dialog.findChild<QComboBox*>("charset");
  QCOMPARE(charset->currentData().toString(), QString("ascii"));
  charset->setCurrentIndex(charset->findData(QString("german")));
  ClickOk(dialog);
  QVERIFY(Accepted(dialog));
  QCOMPARE(f.monitor.settings.decodeFlex, 0);
  QCOMPARE(f.monitor.settings.confirmExit, 0);
  QCOMPARE(f.monitor.recovery.flexActive, 0);
  QCOMPARE(f.monitor.recovery.gscActive, 1);  // decoders left on keep their state
  QCOMPARE(f.monitor.recovery.pocsagWindow, 600);
  // Every confirmed dialog saves the whole record.
  AppSettings saved;
  QVERIFY(LoadSettings(saved, f.context.settingsPath));
  QCOMPARE(saved.decodeFlex, 0);
  QCOMPARE(saved.confirmExit, 0);
  QCOMPARE(saved.dedupSeconds, 60);
  QCOMPARE(saved.charset, std::string("german"));
}

void DialogsTest::interfaceValidation() {
  EngineFixture f;
  f.monitor.settings.comPortAddr = 0x2E8;
  f.monitor.settings.comPortIrq = 9;  // not in the list
  {
    InterfaceDialog dialog(f.context);
    QCOMPARE(Control<QComboBox>(dialog, 1010)->currentIndex(), -1);
    QCOMPARE(Control<QComboBox>(dialog, 1012)->currentIndex(), -1);
    QCOMPARE(Control<QLineEdit>(dialog, 1011)->text(), QString("0x2E8"));
    QVERIFY(!Control<QLineEdit>(dialog, 1011)->isEnabled());
    ClickOk(dialog);  // nothing selected: no port, address and IRQ kept
    QVERIFY(Accepted(dialog));
    QCOMPARE(f.monitor.settings.comPort, 0);
    QCOMPARE(f.monitor.settings.comPortAddr, 0x2E8);
  }
  {
    InterfaceDialog dialog(f.context);
    Choose(Control<QComboBox>(dialog, 1010), 4);  // Custom
    QVERIFY(Control<QLineEdit>(dialog, 1011)->isEnabled());
    QVERIFY(dialog.findChild<QLineEdit*>("customDevice")->isEnabled());
    Control<QLineEdit>(dialog, 1011)->clear();
    ExpectRefused(dialog, f.ui, "You must provide an I/O Address!", "Pagora Setup");
    QCOMPARE(f.ui.messageKinds.back(), MessageKind::kWarning);
    Control<QLineEdit>(dialog, 1011)->setText("2F0");
    ExpectRefused(dialog, f.ui, "You must select an IRQ vector!");
    QCOMPARE(f.monitor.settings.comPort, 0);
    Control<QComboBox>(dialog, 1012)->setCurrentIndex(6);  // "10"
    Control<QLineEdit>(dialog, 1011)->setText("zz!9q");    // junk is no address either
    ExpectRefused(dialog, f.ui, "You must provide an I/O Address!");
    QCOMPARE(f.monitor.settings.comPortAddr, 0x2E8);
    Control<QLineEdit>(dialog, 1011)->setText("2F0");
    dialog.findChild<QLineEdit*>("customDevice")->setText("/dev/ttyUSB0");
    ClickOk(dialog);
    QVERIFY(Accepted(dialog));
    QCOMPARE(f.monitor.settings.comPort, 5);
    QCOMPARE(f.monitor.settings.comPortAddr, 0x2F0);
    QCOMPARE(f.monitor.settings.comPortIrq, 10);
    QCOMPARE(f.monitor.settings.customDevice, std::string("/dev/ttyUSB0"));
  }
  {
    InterfaceDialog dialog(f.context);
    Choose(Control<QComboBox>(dialog, 1010), 2);  // COM3
    QCOMPARE(Control<QLineEdit>(dialog, 1011)->text(), QString("0x3E8"));
    QCOMPARE(Control<QComboBox>(dialog, 1012)->currentText(), QString("4"));
    auto* input = dialog.findChild<QComboBox*>("inputSource");
    input->setCurrentIndex(2);
    QVERIFY(dialog.findChild<QLineEdit*>("audioFile")->isEnabled());
    dialog.findChild<QLineEdit*>("audioFile")->setText("/tmp/demo.wav");
    Control<QCheckBox>(dialog, 1013)->click();
    ClickOk(dialog);
    QCOMPARE(f.monitor.settings.comPort, 3);
    QCOMPARE(f.monitor.settings.comPortAddr, 0x3E8);
    QCOMPARE(f.monitor.settings.comPortIrq, 4);
    QCOMPARE(f.monitor.settings.inputSource, 2);
    QCOMPARE(f.monitor.settings.audioFile, std::string("/tmp/demo.wav"));
    QCOMPARE(f.monitor.settings.fourLevelInterface, 1);
  }
}

// An SDR receiver: one channel, its frequency required and kept as typed, gain dB or auto.
void DialogsTest::interfaceSdrReceiver() {
  EngineFixture f;
  InterfaceDialog dialog(f.context);
  auto* input = dialog.findChild<QComboBox*>("inputSource");
  auto* frequency = dialog.findChild<QLineEdit*>("sdrFrequency");
  auto* gain = dialog.findChild<QLineEdit*>("sdrGain");
  QVERIFY(!frequency->isEnabled());
  input->setCurrentIndex(3);
  QVERIFY(frequency->isEnabled());
  QVERIFY(!dialog.findChild<QLineEdit*>("audioFile")->isEnabled());
  ClickOk(dialog);
  QVERIFY(!Accepted(dialog));
  QVERIFY(f.ui.messages.back().first.startsWith("You must provide the channel's frequency"));
  frequency->setText("929.6125M");
  gain->setText("loud");
  ExpectRefused(dialog, f.ui, "The gain is a number of dB, or auto.");
  gain->setText("38.6");
  dialog.findChild<QLineEdit*>("sdrDevice")->setText("driver=rtlsdr");
  dialog.findChild<QSpinBox*>("sdrPpm")->setValue(-12);
  ClickOk(dialog);
  QVERIFY(Accepted(dialog));
  QCOMPARE(f.monitor.settings.inputSource, 3);
  QCOMPARE(f.monitor.settings.sdrFrequency, std::string("929.6125M"));
  QCOMPARE(f.monitor.settings.sdrGain, std::string("38.6"));
  QCOMPARE(f.monitor.settings.sdrDevice, std::string("driver=rtlsdr"));
  QCOMPARE(f.monitor.settings.sdrPpm, -12);
}

void DialogsTest::scrollbackMinimums() {
  EngineFixture f;
  ScrollbackDialog dialog(f.context);
  auto* message = Control<QLineEdit>(dialog, 1050);
  auto* filter = Control<QLineEdit>(dialog, 1051);
  QCOMPARE(message->text(), QString("1000"));
  QCOMPARE(filter->maxLength(), 4);
  message->setText("999");
  ExpectRefused(dialog, f.ui, "Message scrollback minimum is 1000!", "Pagora Scroll");
  message->setText("2500");
  filter->setText("199");
  ExpectRefused(dialog, f.ui, "Filter scrollback minimum is 200!");
  QCOMPARE(f.monitor.settings.pane1Size, 2500);  // the message pane's change stands
  QCOMPARE(f.monitor.lines.messagePane.capacity, 2500);
  QCOMPARE(f.monitor.settings.pane2Size, 200);
  filter->setText("300");
  ClickOk(dialog);
  QVERIFY(Accepted(dialog));
  QCOMPARE(f.monitor.settings.pane2Size, 300);
  QCOMPARE(f.monitor.lines.filterPane.capacity, 300);
}

void DialogsTest::colours() {
  EngineFixture f;
  const Colour red = MakeColour(255, 0, 0);
  f.monitor.settings.colours[kSlotCapcode] = MakeColour(1, 2, 3);
  {
    ColoursDialog dialog(f.context);
    f.ui.colourAnswer = QColor(255, 0, 0);
    Control<QPushButton>(dialog, 1033)->click();
    QCOMPARE(f.ui.chooserTitles.back(), QString("Pagora FLEX Phase"));
    QCOMPARE(dialog.Working()[kSlotFlexPhase], red);
    Control<QPushButton>(dialog, 1041)->click();
    QCOMPARE(f.ui.confirms.back().first, QString("Reset ALL Colors to Default?"));
    QCOMPARE(f.ui.confirms.back().second, QString("Pagora Colors"));
    QCOMPARE(dialog.Working()[kSlotCapcode], MakeColour(0, 128, 0));
    Control<QPushButton>(dialog, 2)->click();  // Cancel
  }
  QCOMPARE(f.monitor.settings.colours[kSlotCapcode], MakeColour(1, 2, 3));
  {
    ColoursDialog dialog(f.context);
    f.ui.colourAnswer = QColor(0, 0, 255);
    Control<QPushButton>(dialog, 1035)->click();
    QCOMPARE(f.ui.chooserTitles.back(), QString("Pagora Bit Errors"));
    // The preview paints the working colours.
    dialog.Preview()->resize(dialog.Preview()->minimumSize());
    const QImage image = dialog.Preview()->grab().toImage();
    QVERIFY(CountPixels(image, Qt::blue, image.rect()) > 0);
    ClickOk(dialog);
    QVERIFY(Accepted(dialog));
  }
  QCOMPARE(f.monitor.settings.colours[kSlotBitErrors], MakeColour(0, 0, 255));
}

void DialogsTest::portAddress() {
  struct Case {
    const char* text;
    int value;  // -1: refused
  };
  const Case cases[] = {{"0x2E8", 0x2E8}, {"2e8", 0x2E8}, {" 0x3F8 ", 0x3F8}, {"FFFFF", 0xFFFFF},
                        {"zz!9q", -1},    {"2E8z", -1},   {"0x", -1},         {"-2E8", -1},
                        {"2 E8", -1},     {"123456", -1}};
  for (const Case& c : cases)
    QCOMPARE(ParsePortAddress(c.text).value_or(-1), c.value);
}

void DialogsTest::failedSaveIsReportedOnce() {
  QTemporaryDir dir;
  const std::string unwritable = UnwritableSettingsPath(dir);
  EngineFixture f;
  f.context.settingsPath = unwritable;
  {
    OptionsDialog dialog(f.context);
    ClickOk(dialog);
    QVERIFY(Accepted(dialog));  // the program carries on with the settings it holds
  }
  QCOMPARE(f.ui.messages.size(), std::size_t{1});
  QCOMPARE(f.ui.messages[0].second, QString("Pagora Settings"));
  QVERIFY(f.ui.messages[0].first.contains(QString::fromStdString(unwritable)));
  QVERIFY(f.ui.messages[0].first.contains(QString::fromLocal8Bit(std::strerror(ENOTDIR))));
  QCOMPARE(f.ui.messageKinds[0], MessageKind::kError);
  QVERIFY(!f.context.Save());  // the same failure again is not repeated
  QCOMPARE(f.ui.messages.size(), std::size_t{1});
  f.context.settingsPath = (dir.path() + "/Pagora.INI").toStdString();
  QVERIFY(f.context.Save());
  QVERIFY(QFileInfo::exists(dir.path() + "/Pagora.INI"));
  f.context.settingsPath = unwritable;  // after a save that worked, a failure is news again
  QVERIFY(!f.context.Save());
  QCOMPARE(f.ui.messages.size(), std::size_t{2});
}

void DialogsTest::captionsFitAndOneVersion() {
  EngineFixture f;
  QFont titleFont = QApplication::font();
  titleFont.setBold(true);
  auto check = [&](QDialog& dialog) {
    const int caption = QFontMetrics(titleFont).horizontalAdvance(dialog.windowTitle());
    QVERIFY2(dialog.minimumWidth() > caption, qPrintable(dialog.windowTitle()));
  };
  OptionsDialog options(f.context);
  ScrollbackDialog scrollback(f.context);
  InterfaceDialog interface(f.context);
  FilterRecord record;
  AddEditFilterDialog addEdit(f.context, record);
  AboutDialog about;
  for (QDialog* dialog :
       std::initializer_list<QDialog*>{&options, &scrollback, &interface, &addEdit, &about}) {
    check(*dialog);
  }
  QCOMPARE(about.findChild<QLabel*>("version")->text(),
           QString("Pagora Version %1\nFLEX, POCSAG and GSC paging monitor").arg(PAGORA_VERSION));
  QVERIFY(!about.findChild<QLabel*>("icon")->pixmap().isNull());
  QVERIFY(!ApplicationIcon().isNull());
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
