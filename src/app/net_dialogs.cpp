#include "app/net_dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace pagora {
namespace {

QLineEdit* Edit(const std::string& value, const char* name, const QString& placeholder = {}) {
  auto* edit = new QLineEdit(QString::fromStdString(value));
  edit->setObjectName(name);
  edit->setPlaceholderText(placeholder);
  return edit;
}

std::string Text(const QLineEdit* edit) {
  return edit->text().trimmed().toStdString();
}

// Runs the outputs with the settings just stored; a message when they could not be started.
bool Restart(AppContext& context, QWidget* dialog) {
  if (!context.restartNetOutputs)
    return true;
  QString problem = context.restartNetOutputs();
  if (problem.isEmpty())
    return true;
  context.ui.message(dialog, problem, "Pagora", MessageKind::kWarning);
  return false;
}

}  // namespace

MqttDialog::MqttDialog(AppContext& context, QWidget* parent)
    : PagoraDialog(context, "MQTT", "mqtt", parent) {
  const AppSettings& s = context.Settings();
  const MqttSettings& m = s.mqtt;
  enabled_ = new QCheckBox("&Publish pages to an MQTT broker");
  enabled_->setObjectName("mqttEnabled");
  enabled_->setChecked(m.enabled != 0);
  station_ = Edit(s.station, "station", "the host name");
  host_ = Edit(m.host, "mqttHost", "broker.lan");
  port_ = new QSpinBox;
  port_->setObjectName("mqttPort");
  port_->setRange(0, 65535);
  port_->setSpecialValueText("Default");
  port_->setValue(m.port);
  tls_ = new QCheckBox("&TLS");
  tls_->setObjectName("mqttTls");
  tls_->setChecked(m.tls != 0);
  caFile_ = Edit(m.caFile, "mqttCaFile", "the system's certificates");
  user_ = Edit(m.user, "mqttUser");
  passwordFile_ = Edit(m.passwordFile, "mqttPasswordFile", "$PAGORA_MQTT_PASSWORD");
  clientId_ = Edit(m.clientId, "mqttClientId", "pagora-<station>-<pid>");
  prefix_ = Edit(m.prefix, "mqttPrefix", "pagora");

  auto* form = new QFormLayout;
  form->addRow(enabled_);
  form->addRow("&Station:", station_);
  form->addRow("&Broker:", host_);
  form->addRow("P&ort:", port_);
  form->addRow(tls_);
  form->addRow("&CA file:", caFile_);
  form->addRow("&User:", user_);
  form->addRow("Pass&word file:", passwordFile_);
  form->addRow("Client &id:", clientId_);
  form->addRow("Topic p&refix:", prefix_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(MakeButtons());
  host_->setMinimumWidth(260);
  UpdateEnabling();
  connect(enabled_, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
  connect(tls_, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
}

void MqttDialog::UpdateEnabling() {
  const bool on = enabled_->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{host_, port_, tls_, user_, passwordFile_,
                                                    clientId_, prefix_})
    w->setEnabled(on);
  caFile_->setEnabled(on && tls_->isChecked());
}

void MqttDialog::OnOk() {
  if (enabled_->isChecked() && Text(host_).empty()) {
    Tell("Please enter the broker's host name or address.", "MQTT");
    host_->setFocus();
    return;
  }
  AppSettings& s = context_.Settings();
  s.station = Text(station_);
  MqttSettings& m = s.mqtt;
  m.enabled = enabled_->isChecked() ? 1 : 0;
  m.host = Text(host_);
  m.port = port_->value();
  m.tls = tls_->isChecked() ? 1 : 0;
  m.caFile = Text(caFile_);
  m.user = Text(user_);
  m.passwordFile = Text(passwordFile_);
  m.clientId = Text(clientId_);
  m.prefix = Text(prefix_).empty() ? "pagora" : Text(prefix_);
  context_.Save();
  if (Restart(context_, this))
    accept();
}

PagerMonDialog::PagerMonDialog(AppContext& context, QWidget* parent)
    : PagoraDialog(context, "PagerMon", "pagermon", parent) {
  const AppSettings& s = context.Settings();
  enabled_ = new QCheckBox("&Send pages to a PagerMon server");
  enabled_->setObjectName("pagerMonEnabled");
  enabled_->setChecked(s.pagerMon.enabled != 0);
  station_ = Edit(s.station, "station", "the host name");
  url_ = Edit(s.pagerMon.url, "pagerMonUrl", "http://pagermon.lan:3000");
  keyFile_ = Edit(s.pagerMon.keyFile, "pagerMonKeyFile", "a file holding the API key");
  auto* form = new QFormLayout;
  form->addRow(enabled_);
  form->addRow("&Station (source):", station_);
  form->addRow("Server &URL:", url_);
  form->addRow("API &key file:", keyFile_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(MakeButtons());
  url_->setMinimumWidth(260);
  UpdateEnabling();
  connect(enabled_, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
}

void PagerMonDialog::UpdateEnabling() {
  url_->setEnabled(enabled_->isChecked());
  keyFile_->setEnabled(enabled_->isChecked());
}

void PagerMonDialog::OnOk() {
  if (enabled_->isChecked()) {
    std::string url = Text(url_);
    if (!(url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0) || url.size() < 9) {
      Tell("Please enter the server's address, for example http://pagermon.lan:3000.", "PagerMon");
      url_->setFocus();
      return;
    }
    if (Text(keyFile_).empty()) {
      Tell("Please enter the file that holds the server's API key.", "PagerMon");
      keyFile_->setFocus();
      return;
    }
  }
  AppSettings& s = context_.Settings();
  s.station = Text(station_);
  s.pagerMon.enabled = enabled_->isChecked() ? 1 : 0;
  s.pagerMon.url = Text(url_);
  s.pagerMon.keyFile = Text(keyFile_);
  context_.Save();
  if (Restart(context_, this))
    accept();
}

}  // namespace pagora
