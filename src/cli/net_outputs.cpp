#include "cli/net_outputs.h"

#include <CLI/CLI.hpp>

#include "net/mqtt_output.h"

namespace pagora::cli {

void AddNetOptions(CLI::App& app, NetOptions& o) {
  app.add_option("--station", o.station,
                 "This receiver's name, carried with every page (MQTT topic, PagerMon source, "
                 "JSON \"station\"; default for the network outputs: the host name)");
  app.add_option("--mqtt", o.mqttUrl,
                 "Publish pages to an MQTT broker: mqtt://[user@]host[:port], mqtts:// for TLS");
  app.add_option("--mqtt-ca", o.mqttCa, "CA certificate file for mqtts:// (implies TLS)");
  app.add_option("--mqtt-password-file", o.mqttPasswordFile,
                 "File holding the broker password (else $PAGORA_MQTT_PASSWORD)");
  app.add_option("--mqtt-prefix", o.mqttPrefix, "Topic prefix (default pagora)");
  app.add_option("--mqtt-client-id", o.mqttClientId, "MQTT client id");
  app.add_option("--pagermon", o.pagermonUrl,
                 "Send pages to a PagerMon server: its base URL, http://host:port");
  app.add_option("--pagermon-key-file", o.pagermonKeyFile, "File holding the PagerMon API key");
  app.add_option("--net-queue", o.queue,
                 "Pages each network output keeps while its server is away (more are dropped "
                 "and counted)")
      ->default_val(o.queue)
      ->check(CLI::Range(1, 1000000));
}

std::optional<std::string> ApplyNetOptions(const NetOptions& o, AppSettings& settings) {
  if (!o.station.empty())
    settings.station = o.station;
  MqttSettings& mqtt = settings.mqtt;
  if (!o.mqttUrl.empty()) {
    net::MqttConfig parsed;
    if (std::optional<std::string> error = net::ParseMqttUrl(o.mqttUrl, parsed))
      return "--mqtt: " + *error;
    mqtt.enabled = 1;
    mqtt.host = parsed.host;
    mqtt.port = parsed.port;
    mqtt.tls = parsed.tls ? 1 : 0;
    mqtt.user = parsed.user;
  }
  if (!o.mqttCa.empty())
    mqtt.caFile = o.mqttCa;
  if (!o.mqttPasswordFile.empty())
    mqtt.passwordFile = o.mqttPasswordFile;
  if (!o.mqttPrefix.empty())
    mqtt.prefix = o.mqttPrefix;
  if (!o.mqttClientId.empty())
    mqtt.clientId = o.mqttClientId;
  if (!o.pagermonUrl.empty()) {
    settings.pagerMon.enabled = 1;
    settings.pagerMon.url = o.pagermonUrl;
    if (o.pagermonKeyFile.empty() && settings.pagerMon.keyFile.empty())
      return "--pagermon needs --pagermon-key-file (a file holding the API key)";
  }
  if (!o.pagermonKeyFile.empty())
    settings.pagerMon.keyFile = o.pagermonKeyFile;
  return std::nullopt;
}

}  // namespace pagora::cli
