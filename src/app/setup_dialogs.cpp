// The setup dialogs: options, interface (with the input choice of this platform), colours with
// their preview, scrollback, and the About box.
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

#include "app/dialogs.h"
#include "app/pane_widget.h"
#include "engine/bit_recovery.h"
#include "output/charset.h"
#include "sdr/iq_reader.h"

namespace pagora {

namespace {

template <typename T>
T* Named(T* widget, int id) {
  widget->setObjectName(QString::number(id));
  return widget;
}

}  // namespace

// --- Options ---------------------------------------------------------------------------------

OptionsDialog::OptionsDialog(AppContext& context, QWidget* parent)
    : PagoraDialog(context, "Pagora Options", "106", parent) {
  const AppSettings& s = context.Settings();
  const QString labels[8] = {"Confirm E&xit",       "&Timestamp",          "Show &Numeric/Tone",
                             "Show &Miscellaneous", "Enable &Filter Beep", "Decode POCSAG",
                             "Decode FLEX/ReFLEX",  "Decode Golay (GSC)"};
  const int values[8] = {s.confirmExit, s.timestamp,    s.showNumeric, s.showMisc,
                         s.filterBeep,  s.decodePocsag, s.decodeFlex,  s.decodeGolay};
  auto* layout = new QVBoxLayout(this);
  for (int i = 0; i < 8; ++i) {
    boxes_[i] = Named(new QCheckBox(labels[i]), 1020 + i);
    boxes_[i]->setChecked(values[i] != 0);
    layout->addWidget(boxes_[i]);
  }
  // Networks repeat pages: within this many seconds an exact repeat alerts only once.
  dedup_ = new QSpinBox;
  dedup_->setObjectName("dedupSeconds");
  dedup_->setRange(0, 86400);
  dedup_->setSuffix(" s");
  dedup_->setSpecialValueText("Off");
  dedup_->setValue(s.dedupSeconds);
  auto* repeatsLabel = new QLabel("Alert once for &repeats within:");
  repeatsLabel->setBuddy(dedup_);
  auto* repeats = new QHBoxLayout;
  repeats->addWidget(repeatsLabel);
  repeats->addWidget(dedup_);
  layout->addLayout(repeats);
  // Networks that send an ISO 646 national variant: their text is shown with its letters.
  charset_ = new QComboBox;
  charset_->setObjectName("charset");
  for (const CharsetInfo& info : Charsets())
    charset_->addItem(QString::fromUtf8(info.title), QString::fromUtf8(info.name));
  charset_->setCurrentIndex(std::max(
      0, charset_->findData(QString::fromUtf8(CharsetDetails(CharsetOrAscii(s.charset)).name))));
  auto* charsetLabel = new QLabel("Character &set of text:");
  charsetLabel->setBuddy(charset_);
  auto* charsetRow = new QHBoxLayout;
  charsetRow->addWidget(charsetLabel);
  charsetRow->addWidget(charset_);
  layout->addLayout(charsetRow);
  layout->addWidget(MakeButtons());
}

void OptionsDialog::OnOk() {
  AppSettings& s = context_.Settings();
  const AppSettings previous = s;
  int* fields[8] = {&s.confirmExit, &s.timestamp,    &s.showNumeric, &s.showMisc,
                    &s.filterBeep,  &s.decodePocsag, &s.decodeFlex,  &s.decodeGolay};
  for (int i = 0; i < 8; ++i)
    *fields[i] = boxes_[i]->isChecked() ? 1 : 0;
  s.dedupSeconds = dedup_->value();
  s.charset = charset_->currentData().toString().toStdString();
  context_.Apply(previous);
  context_.Save();
  accept();
}

// --- Interface -------------------------------------------------------------------------------

namespace {

struct PortEntry {
  const char* label;
  const char* device;
  const char* address;
  int addressValue;
  int irq;
};
constexpr PortEntry kPorts[4] = {{"COM1", "/dev/ttyS0", "0x3F8", 0x3F8, 4},
                                 {"COM2", "/dev/ttyS1", "0x2F8", 0x2F8, 3},
                                 {"COM3", "/dev/ttyS2", "0x3E8", 0x3E8, 4},
                                 {"COM4", "/dev/ttyS3", "0x2E8", 0x2E8, 3}};
constexpr int kIrqValues[9] = {2, 3, 4, 5, 6, 7, 10, 11, 12};
constexpr const char* kIrqLabels[9] = {"2/9", "3", "4", "5", "6", "7", "10", "11", "12"};

int IrqIndex(int value) {
  for (int i = 0; i < 9; ++i) {
    if (kIrqValues[i] == value)
      return i;
  }
  return -1;
}

}  // namespace

std::optional<int> ParsePortAddress(const QString& text) {
  QString digits = text.trimmed();
  if (digits.startsWith("0x", Qt::CaseInsensitive))
    digits = digits.mid(2);
  if (digits.isEmpty() || digits.size() > 5)
    return std::nullopt;
  bool ok = false;
  const int value = digits.toInt(&ok, 16);
  // toInt would also take a sign or blanks; an address is hexadecimal digits only.
  for (QChar c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c.toLatin1())))
      return std::nullopt;
  }
  return ok ? std::optional<int>(value) : std::nullopt;
}

InterfaceDialog::InterfaceDialog(AppContext& context, QWidget* parent)
    : PagoraDialog(context, "Pagora Interface", "105", parent) {
  const AppSettings& s = context.Settings();
  input_ = new QComboBox;
  input_->setObjectName("inputSource");
  input_->addItems({"Serial Slicer", "Sound Card", "Audio File", "SDR Receiver"});
  input_->setCurrentIndex(std::clamp(s.inputSource, 0, 3));
  port_ = Named(new QComboBox, 1010);
  for (const PortEntry& p : kPorts) {
    port_->addItem(p.label);
    port_->setItemData(port_->count() - 1, p.device, Qt::ToolTipRole);
  }
  port_->addItem("Custom");
  port_->setCurrentIndex(s.comPort >= 1 && s.comPort <= 5 ? s.comPort - 1 : -1);
  address_ = Named(new QLineEdit, 1011);
  address_->setMaxLength(5);
  address_->setText(QString::asprintf("0x%03X", static_cast<unsigned>(s.comPortAddr)));
  irq_ = Named(new QComboBox, 1012);
  for (const char* label : kIrqLabels)
    irq_->addItem(label);
  irq_->setCurrentIndex(IrqIndex(s.comPortIrq));
  device_ = new QLineEdit(QString::fromStdString(s.customDevice));
  device_->setObjectName("customDevice");
  device_->setPlaceholderText("e.g. /dev/ttyUSB0");
  audioDevice_ = new QLineEdit(QString::fromStdString(s.audioDevice));
  audioDevice_->setObjectName("audioDevice");
  audioDevice_->setPlaceholderText("empty: the system's default input");
  audioFile_ = new QLineEdit(QString::fromStdString(s.audioFile));
  audioFile_->setObjectName("audioFile");
  audioBrowse_ = new QPushButton("&Browse...");
  audioBrowse_->setObjectName("audioBrowse");
  // An SDR receiver decodes one channel per window: the panes are built for one channel.
  sdrDevice_ = new QLineEdit(QString::fromStdString(s.sdrDevice));
  sdrDevice_->setObjectName("sdrDevice");
  sdrDevice_->setPlaceholderText("e.g. driver=rtlsdr; empty: the first found");
  sdrFrequency_ = new QLineEdit(QString::fromStdString(s.sdrFrequency));
  sdrFrequency_->setObjectName("sdrFrequency");
  sdrFrequency_->setPlaceholderText("e.g. 929.6125M");
  sdrGain_ = new QLineEdit(QString::fromStdString(s.sdrGain));
  sdrGain_->setObjectName("sdrGain");
  sdrGain_->setPlaceholderText("dB, or auto");
  sdrPpm_ = new QSpinBox;
  sdrPpm_->setObjectName("sdrPpm");
  sdrPpm_->setRange(-1000, 1000);
  sdrPpm_->setValue(s.sdrPpm);
  fourLevel_ = Named(new QCheckBox("&4 Level FSK Interface"), 1013);
  fourLevel_->setChecked(s.fourLevelInterface != 0);
  invert_ = Named(new QCheckBox("&Invert Data"), 1014);
  invert_->setChecked(s.invertData != 0);

  auto* form = new QFormLayout(this);
  form->addRow("Input:", input_);
  form->addRow("COM &Port:", port_);
  form->addRow("Port I/O Address (hex):", address_);
  form->addRow("Port IRQ Vector:", irq_);
  form->addRow("Custom Device:", device_);
  form->addRow("Sound Card:", audioDevice_);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(audioFile_);
  fileRow->addWidget(audioBrowse_);
  form->addRow("Audio File:", fileRow);
  form->addRow("SDR Device:", sdrDevice_);
  form->addRow("SDR Frequency:", sdrFrequency_);
  form->addRow("SDR Gain:", sdrGain_);
  form->addRow("SDR Correction (ppm):", sdrPpm_);
  form->addRow(fourLevel_);
  form->addRow(invert_);
  form->addRow(MakeButtons());
  audioFile_->setMinimumWidth(240);
  address_->setPlaceholderText("e.g. 0x3F8");

  UpdateEnabling();
  connect(port_, &QComboBox::activated, this, [this](int index) { PortChosen(index); });
  connect(input_, &QComboBox::currentIndexChanged, this, [this] { UpdateEnabling(); });
  connect(audioBrowse_, &QPushButton::clicked, this, [this] {
    QString chosen =
        context_.ui.openFile(this, {"Open Audio File...",
                                    audioFile_->text().isEmpty() ? "*.wav" : audioFile_->text(),
                                    {"Audio Files (*.wav *.flac)", "All Files (*)"}});
    if (!chosen.isEmpty()) {
      audioFile_->setText(chosen);
      fileChosen_ = true;
    }
  });
  connect(audioFile_, &QLineEdit::textEdited, this, [this] { fileChosen_ = true; });
}

void InterfaceDialog::UpdateEnabling() {
  bool custom = port_->currentIndex() == 4;
  address_->setEnabled(custom);
  irq_->setEnabled(custom);
  device_->setEnabled(custom);
  audioDevice_->setEnabled(input_->currentIndex() == 1);
  audioFile_->setEnabled(input_->currentIndex() == 2);
  audioBrowse_->setEnabled(input_->currentIndex() == 2);
  for (QWidget* w : std::initializer_list<QWidget*>{sdrDevice_, sdrFrequency_, sdrGain_, sdrPpm_})
    w->setEnabled(input_->currentIndex() == 3);
}

void InterfaceDialog::PortChosen(int index) {
  if (index >= 0 && index < 4) {
    address_->setText(kPorts[index].address);
    irq_->setCurrentIndex(IrqIndex(kPorts[index].irq));
  }
  UpdateEnabling();
}

void InterfaceDialog::OnOk() {
  AppSettings& s = context_.Settings();
  if (input_->currentIndex() == 3) {
    std::optional<double> hz = sdr::ParseFrequency(sdrFrequency_->text().trimmed().toStdString());
    if (!hz || *hz <= 0) {
      Tell("You must provide the channel's frequency (e.g. 929.6125M)!", "Pagora Setup");
      sdrFrequency_->setFocus();
      return;
    }
    QString gain = sdrGain_->text().trimmed();
    bool number = false;
    gain.toDouble(&number);
    if (!number && gain.compare("auto", Qt::CaseInsensitive) != 0 && !gain.isEmpty()) {
      Tell("The gain is a number of dB, or auto.", "Pagora Setup");
      sdrGain_->setFocus();
      return;
    }
  }
  int index = port_->currentIndex();
  if (index < 0) {
    s.comPort = 0;
  } else if (index < 4) {
    s.comPort = index + 1;
    s.comPortAddr = kPorts[index].addressValue;
    s.comPortIrq = kPorts[index].irq;
  } else {
    QString address = address_->text().trimmed();
    if (address.isEmpty()) {
      Tell("You must provide an I/O Address!", "Pagora Setup");
      return;
    }
    if (irq_->currentIndex() < 0) {
      Tell("You must select an IRQ vector!", "Pagora Setup");
      return;
    }
    std::optional<int> value = ParsePortAddress(address);
    if (!value) {
      Tell("You must provide an I/O Address!", "Pagora Setup");
      address_->setFocus();
      address_->selectAll();
      return;
    }
    s.comPort = 5;
    s.comPortAddr = *value;
    s.comPortIrq = kIrqValues[irq_->currentIndex()];
    s.customDevice = device_->text().trimmed().toStdString();
  }
  s.fourLevelInterface = fourLevel_->isChecked() ? 1 : 0;
  s.invertData = invert_->isChecked() ? 1 : 0;
  s.inputSource = input_->currentIndex();
  s.audioDevice = audioDevice_->text().trimmed().toStdString();
  s.audioFile = audioFile_->text().trimmed().toStdString();
  s.sdrDevice = sdrDevice_->text().trimmed().toStdString();
  s.sdrFrequency = sdrFrequency_->text().trimmed().toStdString();
  s.sdrGain =
      sdrGain_->text().trimmed().isEmpty() ? "auto" : sdrGain_->text().trimmed().toStdString();
  s.sdrPpm = sdrPpm_->value();
  context_.Save();
  accept();
}

// --- Colours ---------------------------------------------------------------------------------

class ColourPreview : public QFrame {
 public:
  ColourPreview(const std::array<Colour, kColourSlotCount>& colours, QWidget* parent)
      : QFrame(parent), colours_(colours), font_(ResolveDisplayFont(FontDescription{})) {
    setObjectName("1042");
    setFrameStyle(QFrame::Box | QFrame::Plain);
    PaneMetrics m = MeasureFont(font_);
    setMinimumSize(static_cast<int>(std::ceil(m.charWidth * 52)), m.lineHeight * 13 + 8);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    struct Run {
      int slot;
      const char* text;
    };
    // Thirteen sample rows, a run of one colour each.
    static const std::vector<std::vector<Run>> kLines = {
        {{kSlotCapcode, "{1809544} 1 1200 "}, {kSlotNumeric, "1-800-555-9999"}},
        {{kSlotCapcode, "{0403247} 3 2400 "},
         {kSlotFilterMatch, "TEST"},
         {kSlotAlphanumeric, "ING..."}},
        {{kSlotCapcode, "[001234567] "},
         {kSlotFlexPhase, "A "},
         {kSlotFlexFormat, "SH/TONE "},
         {kSlotNumeric, "555-"},
         {kSlotBitErrors, "12"},
         {kSlotNumeric, "34"}},
        {{kSlotCapcode, "[004597213] "},
         {kSlotFilterLabel, "XYZ "},
         {kSlotFlexPhase, "C "},
         {kSlotFlexFormat, " ALPHA  "},
         {kSlotFilterMatch, "test"},
         {kSlotAlphanumeric, " msg"}},
        {{kSlotCapcode, "[002874934] "},
         {kSlotFlexPhase, "C "},
         {kSlotFlexFormat, "ST NUM  "},
         {kSlotNumeric, "909-555-7777"}},
        {{kSlotTimestamp, "------- 1/17/99 8:45:00 AM -------"}},
        {{kSlotCapcode, "[001860257] "},
         {kSlotFlexPhase, "A "},
         {kSlotFlexFormat, "BINARY  "},
         {kSlotFlexBinary, "6E424F2037C4"}},
        {{kSlotCapcode, "[003858206] "},
         {kSlotFlexPhase, "C "},
         {kSlotFlexFormat, " ALPHA  "},
         {kSlotAlphanumeric, "Emer"},
         {kSlotBitErrors, "gency!"}},
        {{kSlotCapcode, "[004387003] "},
         {kSlotFlexPhase, "A "},
         {kSlotFlexFormat, "SH/TONE "},
         {kSlotNumeric, "777 *"}},
        {{kSlotCapcode, "{0317438} 3 1200 "}, {kSlotAlphanumeric, "Hey Bob, call me when"}},
        {{kSlotCapcode, "{0342785} 1 1200 "},
         {kSlotFilterLabel, "Fire Dept 1 "},
         {kSlotNumeric, "555-5555"}},
        {{kSlotCapcode, "{1045654} 2 1200 "}, {kSlotNumeric, "800-111-9876 911"}},
        {{kSlotCapcode, "{0582694} 2 512 "}, {kSlotNumeric, "1-1052-453-334"}},
    };
    QPainter painter(this);
    painter.fillRect(contentsRect(), ToQColor(colours_[kSlotBackground]));
    painter.setFont(font_);
    PaneMetrics m = MeasureFont(font_);
    QFontMetrics fm(font_);
    int y = contentsRect().top() + 2;
    for (const auto& line : kLines) {
      int x = contentsRect().left() + 2;
      for (const Run& run : line) {
        painter.setPen(ToQColor(colours_[run.slot]));
        painter.drawText(x, y + fm.ascent(), run.text);
        x += fm.horizontalAdvance(run.text);
      }
      y += m.lineHeight;
    }
    QFrame::paintEvent(event);
  }

 private:
  const std::array<Colour, kColourSlotCount>& colours_;
  QFont font_;
};

ColoursDialog::ColoursDialog(AppContext& context, QWidget* parent)
    : PagoraDialog(context, "Pagora Colors", "107", parent), working_(context.Settings().colours) {
  struct Button {
    int id;
    const char* label;
    int slot;
    const char* title;
  };
  static const Button kButtons[] = {
      {1030, "&Background", kSlotBackground, "Pagora Background"},
      {1031, "&Capcode", kSlotCapcode, "Pagora Capcode"},
      {1033, "FLEX &Phase", kSlotFlexPhase, "Pagora FLEX Phase"},
      {1032, "FLEX &Format", kSlotFlexFormat, "Pagora FLEX Format"},
      {1034, "&Timestamp", kSlotTimestamp, "Pagora Timestamp"},
      {1035, "Bit &Errors", kSlotBitErrors, "Pagora Bit Errors"},
      {1036, "&Numeric", kSlotNumeric, "Pagora Numeric"},
      {1037, "&Alphanumeric", kSlotAlphanumeric, "Pagora Alphanumeric"},
      {1038, "FLEX B&inary", kSlotFlexBinary, "Pagora FLEX Binary"},
      {1039, "Filter &Match", kSlotFilterMatch, "Pagora Filter Match"},
      {1040, "Filter &Label", kSlotFilterLabel, "Pagora Filter Label"},
  };
  auto* layout = new QGridLayout(this);
  auto* buttons = new QVBoxLayout;
  for (const Button& b : kButtons) {
    auto* button = Named(new QPushButton(b.label), b.id);
    connect(button, &QPushButton::clicked, this, [this, b] { Choose(b.slot, b.title); });
    buttons->addWidget(button);
  }
  auto* defaults = Named(new QPushButton("&Default Colors"), 1041);
  connect(defaults, &QPushButton::clicked, this, [this] { Defaults(); });
  buttons->addWidget(defaults);
  buttons->addStretch();
  preview_ = new ColourPreview(working_, this);
  layout->addLayout(buttons, 0, 0);
  layout->addWidget(preview_, 0, 1);
  layout->addWidget(MakeButtons(), 1, 0, 1, 2);
}

QWidget* ColoursDialog::Preview() const {
  return preview_;
}

void ColoursDialog::Choose(int slot, const QString& title) {
  std::optional<QColor> chosen = context_.ui.chooseColour(this, ToQColor(working_[slot]), title);
  if (!chosen)
    return;
  working_[slot] = FromQColor(*chosen);
  preview_->update();
}

void ColoursDialog::Defaults() {
  if (!context_.ui.confirm(this, "Reset ALL Colors to Default?", "Pagora Colors"))
    return;
  AppSettings defaults;
  InitialiseDefaults(defaults);
  for (int slot = 0; slot < kColourSlotCount; ++slot) {
    if (slot != kSlotDiagnostic)
      working_[slot] = defaults.colours[slot];
  }
  preview_->update();
}

void ColoursDialog::OnOk() {
  AppSettings& s = context_.Settings();
  for (int slot = 0; slot < kColourSlotCount; ++slot) {
    if (slot != kSlotDiagnostic)
      s.colours[slot] = working_[slot];
  }
  if (context_.repaintPanes)
    context_.repaintPanes();
  context_.Save();
  accept();
}

// --- Scrollback ------------------------------------------------------------------------------

ScrollbackDialog::ScrollbackDialog(AppContext& context, QWidget* parent)
    : PagoraDialog(context, "Pagora Scrollback", "114", parent),
      shownMessage_(context.Settings().pane1Size),
      shownFilter_(context.Settings().pane2Size) {
  message_ = Named(new QLineEdit(QString::number(shownMessage_)), 1050);
  filter_ = Named(new QLineEdit(QString::number(shownFilter_)), 1051);
  for (QLineEdit* edit : {message_, filter_}) {
    edit->setMaxLength(4);
    edit->setValidator(new QIntValidator(0, 9999, edit));
  }
  auto* form = new QFormLayout(this);
  form->addRow("Message Pane Lines:", message_);
  form->addRow("Filter Pane Lines:", filter_);
  form->addRow(MakeButtons());
}

void ScrollbackDialog::OnOk() {
  AppSettings& s = context_.Settings();
  int message = message_->text().toInt();
  if (message < 1000) {
    Tell(QString("Message scrollback minimum is %1!").arg(1000), "Pagora Scroll");
    return;
  }
  if (message != shownMessage_) {
    // Applied at once: a second OK after a refused filter size keeps the new store.
    const AppSettings previous = s;
    s.pane1Size = message;
    context_.Apply(previous);
    shownMessage_ = message;
  }
  int filter = filter_->text().toInt();
  if (filter < 200) {
    Tell(QString("Filter scrollback minimum is %1!").arg(200), "Pagora Scroll");
    return;
  }
  if (filter != shownFilter_) {
    const AppSettings previous = s;
    s.pane2Size = filter;
    context_.Apply(previous);
    shownFilter_ = filter;
  }
  context_.Save();
  accept();
}

// --- About -----------------------------------------------------------------------------------

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About Pagora");
  setObjectName("100");
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* icon = new QLabel;
  icon->setObjectName("icon");
  icon->setPixmap(ApplicationIcon().pixmap(64, 64));
  auto* text = new QLabel(
      QString("Pagora Version %1\nFLEX, POCSAG and GSC paging monitor").arg(PAGORA_VERSION));
  text->setObjectName("version");
  top->addWidget(icon);
  top->addWidget(text, 1);
  layout->addLayout(top);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  FitCaption(this);
}

void AboutDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOnParent(this, parentWidget());
}

}  // namespace pagora
