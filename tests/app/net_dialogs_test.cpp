// The Outputs menu's dialogs: what OK stores and saves, what it refuses, and the restart of the
// network outputs it asks for.
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include "app/main_window.h"
#include "app/net_dialogs.h"
#include "app_test_support.h"
#include "config/settings_file.h"

using namespace pagora;
using namespace pagora::testing;

namespace {

template <typename T>
T* Named(QWidget& dialog, const char* name) {
  T* control = dialog.findChild<T*>(name);
  if (!control)
    qFatal("no control %s", name);
  return control;
}

void Type(QWidget& dialog, const char* name, const QString& text) {
  Named<QLineEdit>(dialog, name)->setText(text);
}

}  // namespace

class NetDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void mqttRoundTrip();
  void mqttNeedsABroker();
  void pagerMonRoundTripAndValidation();
  void outputsMenu();
};

void NetDialogsTest::mqttRoundTrip() {
  QTemporaryDir dir;
  EngineFixture f;
  f.context.settingsPath = dir.filePath("Pagora.INI").toStdString();
  int restarts = 0;
  f.context.restartNetOutputs = [&restarts] {
    ++restarts;
    return QString();
  };
  {
    MqttDialog dialog(f.context);
    Named<QCheckBox>(dialog, "mqttEnabled")->setChecked(true);
    Type(dialog, "station", "north hill");
    Type(dialog, "mqttHost", " broker.lan ");
    Named<QSpinBox>(dialog, "mqttPort")->setValue(8883);
    Named<QCheckBox>(dialog, "mqttTls")->setChecked(true);
    Type(dialog, "mqttCaFile", "/etc/ssl/ca.pem");
    Type(dialog, "mqttUser", "pager");
    Type(dialog, "mqttPasswordFile", "/run/pw");
    Type(dialog, "mqttClientId", "rx-1");
    Type(dialog, "mqttPrefix", "");
    ClickOk(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }
  QCOMPARE(restarts, 1);
  const MqttSettings expected{1,       "broker.lan", 8883,   1,        "/etc/ssl/ca.pem",
                              "pager", "/run/pw",    "rx-1", "pagora", 60};
  QVERIFY(f.monitor.settings.mqtt == expected);
  QCOMPARE(f.monitor.settings.station, std::string("north hill"));
  // Saved: the file reads back the same.
  AppSettings loaded;
  QVERIFY(LoadSettings(loaded, f.context.settingsPath));
  QVERIFY(loaded.mqtt == expected);
  QCOMPARE(loaded.station, std::string("north hill"));
  // And the dialog opens on what was stored.
  MqttDialog again(f.context);
  QCOMPARE(Named<QLineEdit>(again, "mqttHost")->text(), QString("broker.lan"));
  QVERIFY(Named<QCheckBox>(again, "mqttTls")->isChecked());
  QVERIFY(Named<QLineEdit>(again, "mqttCaFile")->isEnabled());
}

// A blank broker, or outputs that fail to start, keep the dialog open with a message.
void NetDialogsTest::mqttNeedsABroker() {
  EngineFixture f;
  MqttDialog dialog(f.context);
  Named<QCheckBox>(dialog, "mqttEnabled")->setChecked(true);
  Type(dialog, "mqttHost", "  ");
  ClickOk(dialog);
  QCOMPARE(f.ui.messages.size(), size_t(1));
  QVERIFY(dialog.result() != QDialog::Accepted);
  QCOMPARE(f.monitor.settings.mqtt.enabled, 0);
  f.context.restartNetOutputs = [] { return QString("MQTT password file: cannot read /x"); };
  Type(dialog, "mqttHost", "broker");
  ExpectRefused(dialog, f.ui, "MQTT password file: cannot read /x");
  QCOMPARE(f.ui.messages.size(), size_t(2));
  // Switched off, the broker may stay empty; the fields are disabled.
  f.context.restartNetOutputs = [] { return QString(); };
  Type(dialog, "mqttHost", "");
  Named<QCheckBox>(dialog, "mqttEnabled")->setChecked(false);
  QVERIFY(!Named<QLineEdit>(dialog, "mqttHost")->isEnabled());
  ClickOk(dialog);
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void NetDialogsTest::pagerMonRoundTripAndValidation() {
  EngineFixture f;
  PagerMonDialog dialog(f.context);
  Named<QCheckBox>(dialog, "pagerMonEnabled")->setChecked(true);
  Type(dialog, "pagerMonUrl", "pagermon:3000");
  Type(dialog, "pagerMonKeyFile", "/etc/key");
  ClickOk(dialog);
  QCOMPARE(f.ui.messages.size(), size_t(1));  // not an http(s) address
  Type(dialog, "pagerMonUrl", "http://pagermon:3000");
  Type(dialog, "pagerMonKeyFile", "");
  ClickOk(dialog);
  QCOMPARE(f.ui.messages.size(), size_t(2));  // no key file
  QCOMPARE(f.monitor.settings.pagerMon.enabled, 0);
  Type(dialog, "pagerMonKeyFile", "/etc/key");
  Type(dialog, "station", "south");
  ClickOk(dialog);
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QVERIFY((f.monitor.settings.pagerMon == PagerMonSettings{1, "http://pagermon:3000", "/etc/key"}));
  QCOMPARE(f.monitor.settings.station, std::string("south"));
}

// The window's Outputs menu opens the dialogs, and a key file that cannot be read is told
// when the outputs are started.
void NetDialogsTest::outputsMenu() {
  RecordedUi ui;
  MainWindow window({}, ui.Services());
  QVERIFY(window.findChild<QAction*>("240"));
  QVERIFY(window.findChild<QAction*>("241"));
  window.Engine().settings.pagerMon = PagerMonSettings{1, "http://127.0.0.1:9", "/nonexistent"};
  QString problem = window.Context().restartNetOutputs();
  QVERIFY2(problem.contains("cannot read /nonexistent"), qPrintable(problem));
  window.Engine().settings.pagerMon.enabled = 0;
  QCOMPARE(window.Context().restartNetOutputs(), QString());
  window.SetConfirmExit(false);
}

QTEST_MAIN(NetDialogsTest)
#include "net_dialogs_test.moc"
