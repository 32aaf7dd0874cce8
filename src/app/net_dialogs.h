// The Outputs menu's dialogs: the MQTT broker and the PagerMon server that pages go to, and
// the station name they carry. OK stores the settings, saves them and restarts the network
// outputs with them (AppContext::restartNetOutputs); a problem starting them (an unreadable
// password or key file) is told and leaves the dialog open. Controls are found by object name.
#pragma once

#include "app/dialogs.h"

class QSpinBox;

namespace pagora {

class MqttDialog : public PagoraDialog {
  Q_OBJECT
 public:
  MqttDialog(AppContext& context, QWidget* parent = nullptr);

 private:
  void OnOk() override;
  void UpdateEnabling();
  QCheckBox* enabled_;
  QLineEdit* station_;
  QLineEdit* host_;
  QSpinBox* port_;
  QCheckBox* tls_;
  QLineEdit* caFile_;
  QLineEdit* user_;
  QLineEdit* passwordFile_;
  QLineEdit* clientId_;
  QLineEdit* prefix_;
};

class PagerMonDialog : public PagoraDialog {
  Q_OBJECT
 public:
  PagerMonDialog(AppContext& context, QWidget* parent = nullptr);

 private:
  void OnOk() override;
  void UpdateEnabling();
  QCheckBox* enabled_;
  QLineEdit* station_;
  QLineEdit* url_;
  QLineEdit* keyFile_;
};

}  // namespace pagora
