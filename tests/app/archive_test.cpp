// The archive in the desktop monitor: Setup -> Archive turns the output on (pages the engine
// completes reach the file) and off, a file that cannot be opened leaves the dialog open with a
// message, and the search window finds pages by words, capcode pattern, protocol and time.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "app/archive_window.h"
#include "app_test_support.h"
#include "archive/archive.h"

namespace pagora::testing {

namespace {

archive::StoredPage Stored(const std::string& capcode, const std::string& protocol,
                           const std::string& text, std::int64_t time) {
  archive::StoredPage p;
  p.time = time;
  p.protocol = protocol;
  p.capcode = capcode;
  p.type = "alpha";
  p.text = text;
  p.station = "north";
  p.json = nlohmann::ordered_json{
      {"time", "2024-06-03T12:00:00+00:00"},
      {"protocol", protocol},
      {"capcode", capcode},
      {"text",
       text}}.dump();
  return p;
}

Page MakePage(const char* text) {
  Page page;
  page.protocol = Protocol::kPocsag;
  page.rate = 1200;
  std::snprintf(page.capcode.data(), page.capcode.size(), "1234567");
  page.function = 4;
  page.type = "alpha";
  for (const char* c = text; *c; ++c)
    AppendReceived(page, *c);
  page.time = 1717416000;
  return page;
}

}  // namespace

class ArchiveWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void SetupTurnsTheOutputOnAndOff() {
    QTemporaryDir dir;
    EngineFixture f;
    ArchiveLink link;
    std::string path = (dir.path() + "/pages.db").toStdString();
    {
      ArchiveSetupDialog dialog(f.context, link);
      dialog.findChild<QCheckBox*>("archiveEnabled")->setChecked(true);
      // A file that cannot be opened keeps the dialog open and the settings as they were.
      auto* file = dialog.findChild<QLineEdit*>("archiveFile");
      file->setText(dir.path() + "/no/such/folder/pages.db");
      ClickOk(dialog);
      QCOMPARE(dialog.result(), int(QDialog::Rejected));
      QCOMPARE(f.ui.messages.size(), std::size_t{1});
      QCOMPARE(f.monitor.settings.archiveEnabled, 0);
      QVERIFY(!link.open());
      file->setText(QString::fromStdString(path));
      ClickOk(dialog);
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    QCOMPARE(f.monitor.settings.archiveEnabled, 1);
    QCOMPARE(f.monitor.settings.archiveFile, path);
    QVERIFY(link.open());
    f.monitor.pageOutputs.Write(MakePage("Engine 5 respond"));
    {
      ArchiveSetupDialog dialog(f.context, link);
      dialog.findChild<QCheckBox*>("archiveEnabled")->setChecked(false);
      ClickOk(dialog);  // closing commits what was written
    }
    QVERIFY(!link.open());
    f.monitor.pageOutputs.Write(MakePage("Not stored"));
    std::vector<archive::Row> rows = archive::OpenSqlite(path)->Search({});
    QCOMPARE(rows.size(), std::size_t{1});
    QCOMPARE(rows[0].page.value("text", ""), std::string("Engine 5 respond"));
  }

  void SearchFindsByWordsCapcodeProtocolAndTime() {
    QTemporaryDir dir;
    std::string path = (dir.path() + "/pages.db").toStdString();
    const std::int64_t t0 = QDateTime(QDate(2024, 6, 3), QTime(12, 0)).toSecsSinceEpoch();
    archive::OpenSqlite(path)->Insert({
        Stored("1234567", "POCSAG", "Fire at Main St", t0),
        Stored("1234500", "POCSAG", "Ambulance <b>now</b>\x1b[2J", t0 + 3600),
        Stored("123456", "FLEX", "Fire drill", t0 + 7200),
    });
    AppSettings settings;
    settings.archiveFile = path;
    ArchiveSearchDialog dialog(settings);
    auto* words = dialog.findChild<QLineEdit*>("words");
    auto* capcode = dialog.findChild<QLineEdit*>("capcode");
    auto* protocol = dialog.findChild<QComboBox*>("protocol");
    auto* table = dialog.findChild<QTableWidget*>("results");

    words->setText("fire");
    QCOMPARE(dialog.Search(), 2);
    QCOMPARE(table->item(0, 5)->text(), QString("Fire drill"));  // newest first
    protocol->setCurrentText("POCSAG");
    QCOMPARE(dialog.Search(), 1);
    words->clear();
    capcode->setText("12345??");
    QCOMPARE(dialog.Search(), 2);
    // Markup and escape sequences in radio text are shown as characters, never interpreted.
    QCOMPARE(table->item(0, 5)->text(), QString("Ambulance <b>now</b>.[2J"));
    QCOMPARE(table->item(0, 4)->text(), QString("north"));
    capcode->clear();
    protocol->setCurrentIndex(0);
    dialog.findChild<QCheckBox*>("useSince")->setChecked(true);
    dialog.findChild<QDateTimeEdit*>("since")->setDateTime(
        QDateTime::fromSecsSinceEpoch(t0 + 1800));
    dialog.findChild<QCheckBox*>("useUntil")->setChecked(true);
    dialog.findChild<QDateTimeEdit*>("until")->setDateTime(
        QDateTime::fromSecsSinceEpoch(t0 + 5400));
    QCOMPARE(dialog.Search(), 1);
    QCOMPARE(table->item(0, 2)->text(), QString("1234500"));
    // A pattern the archive cannot take is reported, not run.
    capcode->setText("12*");
    QCOMPARE(dialog.Search(), 0);
    QVERIFY(dialog.findChild<QLabel*>("status")->text().contains("capcode"));
  }

  void SearchWithoutAnArchiveSaysSo() {
    QTemporaryDir dir;
    AppSettings settings;
    settings.archiveFile = (dir.path() + "/none.db").toStdString();
    ArchiveSearchDialog dialog(settings);
    QCOMPARE(dialog.Search(), 0);
    QVERIFY(dialog.findChild<QLabel*>("status")->text().contains("No archive"));
    QVERIFY(!QFileInfo::exists(dir.path() + "/none.db"));
  }
};

}  // namespace pagora::testing

QTEST_MAIN(pagora::testing::ArchiveWindowTest)
#include "archive_test.moc"
