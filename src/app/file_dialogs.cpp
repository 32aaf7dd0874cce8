// The dialogs that set up files and monitoring: log file, filters with the Add/Edit dialog,
// statistics and keep alive; and the base every dialog of the program shares.
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/dialogs.h"
#include "app/display_font.h"
#include "app/display_text.h"
#include "engine/filters.h"
#include "engine/keep_alive.h"

namespace pagora {

namespace {

const QStringList kFlushChoices = {"Message", "5 Seconds", "10 Seconds", "30 Seconds",
                                   "60 Seconds"};

template <typename T>
T* Named(T* widget, int id) {
  widget->setObjectName(QString::number(id));
  return widget;
}

QCheckBox* Check(int id, const QString& label, int value) {
  auto* box = Named(new QCheckBox(label), id);
  box->setChecked(value != 0);
  return box;
}

QLineEdit* LineEdit(int id, const std::string& value, int maxLength) {
  auto* edit = Named(new QLineEdit, id);
  edit->setMaxLength(maxLength);
  if (!value.empty())
    edit->setText(QString::fromStdString(value));
  return edit;
}

QComboBox* FlushList(int id, int stored) {
  auto* list = Named(new QComboBox, id);
  list->addItems(kFlushChoices);
  list->setCurrentIndex(stored >= 1 && stored <= 5 ? stored - 1 : 4);
  return list;
}

// The field's text in UTF-8, at most `limit` bytes, cut between characters.
std::string Text(const QLineEdit* edit, int limit) {
  return Utf8Prefix(edit->text(), static_cast<std::size_t>(limit));
}

}  // namespace

// ---------------------------------------------------------------------------------------------

PagoraDialog::PagoraDialog(AppContext& context, const QString& title, const QString& resourceId,
                           QWidget* parent)
    : QDialog(parent), context_(context) {
  setWindowTitle(title);
  setObjectName(resourceId);
  setModal(true);
  FitCaption(this);
}

void PagoraDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOnParent(this, parentWidget());
}

QDialogButtonBox* PagoraDialog::MakeButtons() {
  auto* buttons = new QDialogButtonBox;
  ok_ = Named(buttons->addButton("&OK", QDialogButtonBox::AcceptRole), 1);
  auto* cancel = Named(buttons->addButton("&Cancel", QDialogButtonBox::RejectRole), 2);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, [this] { OnOk(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  return buttons;
}

void PagoraDialog::Tell(const QString& text, const QString& caption) {
  context_.ui.message(this, text, caption, MessageKind::kWarning);
}

void PagoraDialog::BrowseOnFocus(QLineEdit* edit, std::function<void()> choose) {
  for (int i = 0; i < 4; ++i) {
    if (!browseEdit_[i]) {
      browseEdit_[i] = edit;
      browse_[i] = std::move(choose);
      edit->installEventFilter(this);
      return;
    }
  }
}

bool PagoraDialog::eventFilter(QObject* watched, QEvent* event) {
  // Only a focus the user moved there opens the chooser, not the window becoming active again
  // when a chooser or message box closes.
  if (event->type() == QEvent::FocusIn && !browsing_ &&
      static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason &&
      static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
    for (int i = 0; i < 4; ++i) {
      if (watched == browseEdit_[i]) {
        // The chooser opens after the focus change has finished, so that its own focus
        // handling does not re-enter this one.
        browsing_ = true;
        QTimer::singleShot(0, this, [this, i] {
          browse_[i]();
          if (ok_)
            ok_->setFocus();
          browsing_ = false;
        });
        break;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

// --- Log file --------------------------------------------------------------------------------

LogfileDialog::LogfileDialog(AppContext& context, QWidget* parent)
    : PagoraDialog(context, "Pagora Logfile", "104", parent) {
  const AppSettings& s = context.Settings();
  enable_ = Check(1001, "Enable Log File:", s.logFileEnabled);
  path_ = LineEdit(1002, s.logFile, 256);
  useDate_ = Check(1003, "Use Date For Log File Name (YYMMMDD.LOG)", s.logFileUseDate);
  flush_ = Check(1004, "Flush Log File Output To Disk Every: ", s.logFileFlush);
  flushTime_ = FlushList(1005, s.logFlushTime);

  auto* grid = new QGridLayout(this);
  grid->addWidget(enable_, 0, 0);
  grid->addWidget(path_, 0, 1);
  grid->addWidget(useDate_, 1, 0, 1, 2);
  grid->addWidget(flush_, 2, 0);
  grid->addWidget(flushTime_, 2, 1);
  grid->addWidget(MakeButtons(), 3, 0, 1, 2);
  path_->setMinimumWidth(260);

  UpdateEnabling();
  connect(enable_, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
  connect(useDate_, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
  connect(flush_, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
  BrowseOnFocus(path_, [this] {
    const AppSettings& st = context_.Settings();
    QString chosen = context_.ui.openFile(
        this, {"Open Log File...",
               st.logFile.empty() ? QString("*.log") : QString::fromStdString(st.logFile),
               {"Log Files (*.log)", "All Files (*)"}});
    if (chosen.isEmpty())
      return;
    if (chosen.toStdString() == st.filterFile) {
      Tell("Log file can't be same as Filter file!", "Pagora Log File");
    } else {
      path_->setText(chosen);
    }
  });
}

void LogfileDialog::UpdateEnabling() {
  bool on = enable_->isChecked();
  path_->setEnabled(on && !useDate_->isChecked());
  useDate_->setEnabled(on);
  flush_->setEnabled(on);
  flushTime_->setEnabled(on && flush_->isChecked());
}

void LogfileDialog::OnOk() {
  AppSettings& s = context_.Settings();
  std::string path = Text(path_, 256);
  bool on = enable_->isChecked();
  bool useDate = useDate_->isChecked();
  if (on && path.empty() && !useDate) {
    Tell("You must select a log file!", "Pagora Log File");
    return;
  }
  const AppSettings previous = s;
  if (!path.empty())
    s.logFile = path;
  s.logFileEnabled = on ? 1 : 0;
  s.logFileUseDate = useDate ? 1 : 0;
  s.logFileFlush = flush_->isChecked() ? 1 : 0;
  s.logFlushTime = flushTime_->currentIndex() + 1;
  context_.Apply(previous, kRenewLogFile);  // OK always starts the file afresh
  context_.Save();
  accept();
}

// --- Filters ---------------------------------------------------------------------------------

QString FilterListText(const FilterRecord& f) {
  static const char* const kKinds[] = {"UNUSED",     "Text",      "POCSAG",
                                       "Short FLEX", "Long FLEX", "Golay"};
  static const char* const kFunctions[] = {"Any", "1", "2", "3", "4"};
  static const char* const kSpeeds[] = {"Any", "2400", "1200", "512"};
  QString out = (f.type >= 0 && f.type <= 5) ? kKinds[f.type] : kKinds[0];
  if (!f.label.empty())
    out += " | " + QString::fromStdString(f.label);
  if (!f.capcode.empty())
    out += " | " + QString::fromStdString(f.capcode);
  if (f.type == kFilterPocsag || f.type == kFilterGolay) {
    out += QString(" | ") + kFunctions[(f.function >= 0 && f.function <= 4) ? f.function : 0];
  }
  if (f.type == kFilterPocsag) {
    out += QString(" | ") + kSpeeds[(f.baud >= 0 && f.baud <= 3) ? f.baud : 0];
  }
  if (f.reject) {
    out += " | REJECT";
  } else if (!f.text.empty()) {
    out += " | \"" + QString::fromStdString(f.text) + "\"";
    if (f.command)
      out += " | CMD";
  }
  return out;
}

FiltersDialog::FiltersDialog(AppContext& context, QWidget* parent)
    : PagoraDialog(context, "Pagora Filters", "110", parent) {
  const AppSettings& s = context.Settings();
  list_ = Named(new QListWidget, 1060);
  for (const FilterRecord& f : s.filters)
    list_->addItem(FilterListText(f));
  enable_ = Check(1061, "Enable Output File:", s.filterFileEnabled);
  path_ = LineEdit(1062, s.filterFile, 256);
  useDate_ = Check(1063, "Use Date For Output File Name (YYMMMDD.FLT)", s.filterFileUseDate);
  flush_ = Check(1064, "Flush Filter Output To Disk Every: ", s.filterFileFlush);
  flushTime_ = FlushList(1065, s.filterFlushTime);
  commandEnable_ = Check(1066, "Enable Command File:", s.filterCmdFileEnabled);
  command_ = LineEdit(1067, s.filterCmdFile, 256);
  arguments_ = LineEdit(1068, s.filterCmdArgs, 256);
  auto* add = Named(new QPushButton("&Add"), 1069);
  auto* edit = Named(new QPushButton("&Edit"), 1070);
  auto* del = Named(new QPushButton("&Delete"), 1071);

  auto* grid = new QGridLayout(this);
  grid->addWidget(list_, 0, 0, 4, 2);
  grid->addWidget(add, 0, 2);
  grid->addWidget(edit, 1, 2);
  grid->addWidget(del, 2, 2);
  grid->addWidget(enable_, 4, 0);
  grid->addWidget(path_, 4, 1, 1, 2);
  grid->addWidget(useDate_, 5, 0, 1, 3);
  grid->addWidget(flush_, 6, 0);
  grid->addWidget(flushTime_, 6, 1);
  grid->addWidget(commandEnable_, 7, 0);
  grid->addWidget(command_, 7, 1, 1, 2);
  grid->addWidget(new QLabel("Command File Arguments:"), 8, 0);
  grid->addWidget(arguments_, 8, 1, 1, 2);
  grid->addWidget(MakeButtons(), 9, 0, 1, 3);
  // The filter lines are columns of fields: a fixed-pitch font keeps them on a grid.
  list_->setFont(ResolveDisplayFont(context.Settings().font));
  list_->setMinimumWidth(380);

  UpdateEnabling();
  for (QCheckBox* box : {enable_, useDate_, flush_, commandEnable_}) {
    connect(box, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
  }
  connect(add, &QPushButton::clicked, this, [this] { Add(); });
  connect(edit, &QPushButton::clicked, this, [this] { Edit(); });
  connect(del, &QPushButton::clicked, this, [this] { Delete(); });
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { Edit(); });

  runAddEdit = [this](FilterRecord& record) {
    AddEditFilterDialog dialog(context_, record, this);
    return dialog.exec() == QDialog::Accepted;
  };
  BrowseOnFocus(path_, [this] {
    const AppSettings& st = context_.Settings();
    QString chosen = context_.ui.openFile(
        this, {"Open Filter File...",
               st.filterFile.empty() ? QString("*.flt") : QString::fromStdString(st.filterFile),
               {"Filter Log Files (*.flt)", "All Files (*)"}});
    if (chosen.isEmpty())
      return;
    if (chosen.toStdString() == st.logFile) {
      Tell("Filter file can't be same as Log file!", "Pagora Filter");
    } else {
      path_->setText(chosen);
    }
  });
  BrowseOnFocus(command_, [this] {
    const AppSettings& st = context_.Settings();
    QString chosen = context_.ui.openFile(
        this, {"Open Filter Command...", QString::fromStdString(st.filterCmdFile), {}, true});
    if (!chosen.isEmpty())
      command_->setText(chosen);
  });
}

void FiltersDialog::UpdateEnabling() {
  bool on = enable_->isChecked();
  path_->setEnabled(on && !useDate_->isChecked());
  useDate_->setEnabled(on);
  flush_->setEnabled(on);
  flushTime_->setEnabled(on && flush_->isChecked());
  command_->setEnabled(commandEnable_->isChecked());
  arguments_->setEnabled(commandEnable_->isChecked());
}

void FiltersDialog::Add() {
  FilterRecord record;
  if (!runAddEdit(record) || record.type == kFilterUnused)
    return;
  context_.Settings().filters.push_back(record);
  list_->addItem(FilterListText(record));
  list_->setCurrentRow(list_->count() - 1);
}

void FiltersDialog::Edit() {
  int row = list_->currentRow();
  auto& filters = context_.Settings().filters;
  if (row < 0 || row >= static_cast<int>(filters.size()) || !list_->item(row)->isSelected()) {
    Tell("You must select a filter to edit!", "Pagora Filter");
    return;
  }
  FilterRecord copy = filters[row];
  if (!runAddEdit(copy) || copy.type == kFilterUnused)
    return;
  filters[row] = copy;
  list_->item(row)->setText(FilterListText(copy));
  list_->setCurrentRow(row);
}

void FiltersDialog::Delete() {
  int row = list_->currentRow();
  auto& filters = context_.Settings().filters;
  if (row < 0 || row >= static_cast<int>(filters.size()) || !list_->item(row)->isSelected()) {
    Tell("You must select a filter to delete!", "Pagora Filter");
    return;
  }
  QString text = FilterListText(filters[row]);
  if (text.size() > 20)
    text = text.left(17) + "...";
  if (!context_.ui.confirm(this, QString("Delete %1 ?").arg(text), "Pagora Filter"))
    return;
  filters.erase(filters.begin() + row);
  delete list_->takeItem(row);
  if (list_->count() == 0) {
    list_->setCurrentRow(-1);
  } else {
    list_->setCurrentRow(std::min(row, list_->count() - 1));
  }
}

void FiltersDialog::OnOk() {
  AppSettings& s = context_.Settings();
  std::string path = Text(path_, 256);
  bool on = enable_->isChecked();
  bool useDate = useDate_->isChecked();
  if (on && path.empty() && !useDate) {
    Tell("You must select a filter file!", "Pagora Filter");
    return;
  }
  std::string command = Text(command_, 256);
  bool commandOn = commandEnable_->isChecked();
  if (commandOn && command.empty()) {
    Tell("You must select a command file!", "Pagora Filter");
    return;
  }
  const AppSettings previous = s;
  if (!path.empty())
    s.filterFile = path;
  s.filterFileEnabled = on ? 1 : 0;
  s.filterFileUseDate = useDate ? 1 : 0;
  s.filterCmdFileEnabled = commandOn ? 1 : 0;
  s.filterCmdFile = command;
  s.filterFileFlush = flush_->isChecked() ? 1 : 0;
  s.filterFlushTime = flushTime_->currentIndex() + 1;
  s.filterCmdArgs = Text(arguments_, 256);
  context_.Apply(previous, kRenewFilterFile);
  context_.Save();
  accept();
}

// --- Add/Edit filter -------------------------------------------------------------------------

AddEditFilterDialog::AddEditFilterDialog(AppContext& context, FilterRecord& record, QWidget* parent)
    : PagoraDialog(context, "Pagora Add/Edit Filter", "111", parent), record_(record) {
  kind_ = Named(new QComboBox, 1080);
  kind_->addItems(
      {"Text", "POCSAG Capcode", "FLEX Short Capcode", "FLEX Long Capcode", "Golay (GSC) Capcode"});
  reject_ = Check(1081, "Reject Capcode", record.reject);
  capcode_ = LineEdit(1082, {}, 9);
  function_ = Named(new QComboBox, 1083);
  function_->addItems({"Any", "1", "2", "3", "4"});
  function_->setCurrentIndex(-1);
  baud_ = Named(new QComboBox, 1084);
  baud_->addItems({"Any", "2400", "1200", "512"});
  baud_->setCurrentIndex(-1);
  label_ = LineEdit(1085, {}, static_cast<int>(FilterRecord::kLabelMax));
  text_ = LineEdit(1086, {}, static_cast<int>(FilterRecord::kTextMax));
  command_ = Check(1087, "Enable Filter Command File", record.command);
  capcode_->setEnabled(false);
  function_->setEnabled(false);
  baud_->setEnabled(false);
  reject_->setEnabled(false);

  if (record.type == kFilterUnused) {
    kind_->setCurrentIndex(0);
  } else {
    kind_->setEnabled(false);
    kind_->setCurrentIndex(std::clamp(record.type, 1, 5) - 1);
    int length = FilterCapcodeLength(record.type);
    if (length > 0) {
      capcode_->setEnabled(true);
      capcode_->setMaxLength(length);
      capcode_->setText(QString::fromStdString(record.capcode));
      if (record.type == kFilterPocsag || record.type == kFilterGolay) {
        function_->setEnabled(true);
        function_->setCurrentIndex(std::clamp(record.function, 0, 4));
      }
      if (record.type == kFilterPocsag) {
        baud_->setEnabled(true);
        baud_->setCurrentIndex(std::clamp(record.baud, 0, 3));
      }
      reject_->setEnabled(true);
      if (record.reject) {
        label_->setEnabled(false);
        text_->setEnabled(false);
        command_->setEnabled(false);
      }
    }
  }
  if (!record.label.empty())
    label_->setText(QString::fromStdString(record.label));
  if (!record.text.empty())
    text_->setText(QString::fromStdString(record.text));

  auto* form = new QFormLayout(this);
  form->addRow("Filter:", kind_);
  form->addRow("Capcode:", capcode_);
  form->addRow(QString(), reject_);
  form->addRow("Function Code:", function_);
  form->addRow("Baud Rate:", baud_);
  form->addRow("Label:", label_);
  form->addRow("Text:", text_);
  form->addRow(QString(), command_);
  form->addRow(MakeButtons());

  connect(kind_, &QComboBox::activated, this, [this](int index) { KindChosen(index); });
  connect(reject_, &QCheckBox::clicked, this, [this](bool checked) { RejectToggled(checked); });
}

void AddEditFilterDialog::KindChosen(int index) {
  int type = index + 1;
  int length = FilterCapcodeLength(type);
  if (length > 0) {
    capcode_->setEnabled(true);
    // A shorter limit would cut what was already typed, and that text stays.
    capcode_->setMaxLength(std::max(length, static_cast<int>(capcode_->text().size())));
    bool hasFunction = type == kFilterPocsag || type == kFilterGolay;
    if (!hasFunction)
      function_->setCurrentIndex(-1);
    function_->setEnabled(hasFunction);
    if (type != kFilterPocsag)
      baud_->setCurrentIndex(-1);
    baud_->setEnabled(type == kFilterPocsag);
    reject_->setEnabled(true);
  } else {
    reject_->setChecked(false);
    reject_->setEnabled(false);
    capcode_->setEnabled(false);
    function_->setEnabled(false);
    baud_->setEnabled(false);
    if (!record_.label.empty())
      label_->setText(QString::fromStdString(record_.label));
    if (!record_.text.empty())
      text_->setText(QString::fromStdString(record_.text));
    command_->setChecked(record_.command != 0);
    label_->setEnabled(true);
    text_->setEnabled(true);
    command_->setEnabled(true);
  }
}

void AddEditFilterDialog::RejectToggled(bool checked) {
  if (checked) {
    label_->clear();
    text_->clear();
    command_->setChecked(false);
  } else {
    if (!record_.label.empty())
      label_->setText(QString::fromStdString(record_.label));
    if (!record_.text.empty())
      text_->setText(QString::fromStdString(record_.text));
    command_->setChecked(record_.command != 0);
  }
  label_->setEnabled(!checked);
  text_->setEnabled(!checked);
  command_->setEnabled(!checked);
}

void AddEditFilterDialog::OnOk() {
  FilterRecord r = record_;
  r.type = kind_->currentIndex() + 1;
  int length = FilterCapcodeLength(r.type);
  if (length > 0) {
    std::string entry = Text(capcode_, static_cast<int>(FilterRecord::kCapcodeMax));
    if (entry.empty()) {
      Tell("You must enter a capcode!", "Pagora Filter");
      return;
    }
    if (static_cast<int>(entry.size()) < length)
      entry.insert(0, length - entry.size(), '0');
    for (char c : entry) {
      if (!((c >= '0' && c <= '9') || c == '?')) {
        Tell("Invalid characters in capcode!", "Pagora Filter");
        return;
      }
    }
    r.capcode = entry;
  } else {
    r.capcode.clear();
  }
  r.function = std::max(0, function_->currentIndex());
  r.baud = std::max(0, baud_->currentIndex());
  r.reject = reject_->isChecked() ? 1 : 0;
  r.label = Text(label_, static_cast<int>(FilterRecord::kLabelMax));
  r.text = Text(text_, static_cast<int>(FilterRecord::kTextMax));
  if (r.type == kFilterText && r.text.empty()) {
    Tell("You must enter a text string!", "Pagora Filter");
    return;
  }
  r.command = command_->isChecked() ? 1 : 0;
  record_ = r;
  accept();
}

// --- Statistics ------------------------------------------------------------------------------

QString StatisticsCell(std::int32_t count, bool daily) {
  if (count >= (daily ? 10000000 : 1000000))
    return "******";
  return QString::number(count);
}

StatisticsDialog::StatisticsDialog(AppContext& context, QWidget* parent)
    : PagoraDialog(context, "Pagora Statistics", "112", parent) {
  const AppSettings& s = context.Settings();
  const TrafficCounters& counters = context.monitor.counters;
  static const char* const kRows[] = {"FLEX 6400",   "FLEX 3200",  "FLEX 1600",  "POCSAG 2400",
                                      "POCSAG 1200", "POCSAG 512", "Golay (GSC)"};
  auto* layout = new QGridLayout(this);
  for (int group = 0; group < 2; ++group) {
    bool daily = group == 1;
    auto* box = new QGroupBox(daily ? "Daily Statistics" : "Hourly Statistics");
    auto* grid = new QGridLayout(box);
    grid->addWidget(new QLabel("Numeric"), 0, 1);
    grid->addWidget(new QLabel("Alpha"), 0, 2);
    const CounterTable& table = daily ? counters.dailyMessages : counters.hourlyMessages;
    for (int row = 0; row < kStatisticsRows; ++row) {
      grid->addWidget(new QLabel(kRows[row]), row + 1, 0);
      for (int kind = 0; kind < 2; ++kind) {
        auto* value = Named(new QLabel(StatisticsCell(table[row][kind], daily)),
                            (daily ? 1104 : 1090) + row * 2 + kind);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        value->setMinimumWidth(70);
        grid->addWidget(value, row + 1, kind + 1);
      }
    }
    layout->addWidget(box, 0, group);
  }
  statEnable_ = Check(1118, "Write Statistics to Text File:", s.statFileEnabled);
  statPath_ = LineEdit(1119, s.statFile, 256);
  statDate_ = Check(1120, "Use Date For Statistics Text File Name (YYMMMDD.ST)", s.statFileUseDate);
  csvEnable_ = Check(1121, "Write Statistics to CSV File:", s.statCsvFileEnabled);
  csvPath_ = LineEdit(1122, s.statCsvFile, 256);
  csvDate_ =
      Check(1123, "Use Date For Statistics CSV File Name (YYMMMDD.CSV)", s.statCsvFileUseDate);
  auto* files = new QGridLayout;
  files->addWidget(statEnable_, 0, 0);
  files->addWidget(statPath_, 0, 1);
  files->addWidget(statDate_, 1, 0, 1, 2);
  files->addWidget(csvEnable_, 2, 0);
  files->addWidget(csvPath_, 2, 1);
  files->addWidget(csvDate_, 3, 0, 1, 2);
  layout->addLayout(files, 1, 0, 1, 2);
  layout->addWidget(MakeButtons(), 2, 0, 1, 2);

  UpdateEnabling();
  for (QCheckBox* box : {statEnable_, statDate_, csvEnable_, csvDate_}) {
    connect(box, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
  }
  auto browse = [this](QLineEdit* edit, const std::string& setting, const char* pattern,
                       QStringList filters) {
    QString chosen = context_.ui.openFile(
        this, {"Open Statistics File...",
               setting.empty() ? QString(pattern) : QString::fromStdString(setting), filters});
    if (!chosen.isEmpty())
      edit->setText(chosen);
  };
  BrowseOnFocus(statPath_, [this, browse] {
    browse(statPath_, context_.Settings().statFile, "*.st",
           {"Statistics Files (*.st)", "All Files (*)"});
  });
  BrowseOnFocus(csvPath_, [this, browse] {
    browse(csvPath_, context_.Settings().statCsvFile, "*.csv",
           {"CSV Files (*.csv)", "All Files (*)"});
  });
}

void StatisticsDialog::UpdateEnabling() {
  statPath_->setEnabled(statEnable_->isChecked() && !statDate_->isChecked());
  statDate_->setEnabled(statEnable_->isChecked());
  csvPath_->setEnabled(csvEnable_->isChecked() && !csvDate_->isChecked());
  csvDate_->setEnabled(csvEnable_->isChecked());
}

void StatisticsDialog::OnOk() {
  AppSettings& s = context_.Settings();
  std::string statPath = Text(statPath_, 256);
  std::string csvPath = Text(csvPath_, 256);
  bool statOn = statEnable_->isChecked();
  bool csvOn = csvEnable_->isChecked();
  bool statDate = statDate_->isChecked();
  bool csvDate = csvDate_->isChecked();
  if ((statOn && statPath.empty() && !statDate) || (csvOn && csvPath.empty() && !csvDate)) {
    Tell("You must select a statistics file!", "Pagora Monitor Stats");
    return;
  }
  const AppSettings previous = s;
  s.statFile = statPath;
  s.statFileEnabled = statOn ? 1 : 0;
  s.statFileUseDate = statDate ? 1 : 0;
  s.statCsvFile = csvPath;
  s.statCsvFileEnabled = csvOn ? 1 : 0;
  s.statCsvFileUseDate = csvDate ? 1 : 0;
  context_.Apply(previous, kRenewStatisticsFiles);
  context_.Save();
  accept();
}

// --- Keep alive ------------------------------------------------------------------------------

namespace {

QStringList HourList(const char* minute) {
  QStringList list{"Disabled"};
  for (int hour = 0; hour < 24; ++hour) {
    int shown = hour % 12 == 0 ? 12 : hour % 12;
    list << QString("%1:%2 %3").arg(shown).arg(minute).arg(hour < 12 ? "am" : "pm");
  }
  return list;
}

const QStringList kTimeouts = {"Disabled",   "1 minute",   "2 minutes",  "3 minutes", "4 minutes",
                               "5 minutes",  "6 minutes",  "7 minutes",  "8 minutes", "9 minutes",
                               "10 minutes", "15 minutes", "20 minutes", "30 minutes"};

}  // namespace

KeepAliveDialog::KeepAliveDialog(AppContext& context, QWidget* parent)
    : PagoraDialog(context, "Pagora Keep Alive", "113", parent) {
  const AppSettings& s = context.Settings();
  const QStringList starts = HourList("00");
  const QStringList stops = HourList("59");
  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel("Start"), 0, 1);
  grid->addWidget(new QLabel("Stop"), 0, 2);
  grid->addWidget(new QLabel("Timeout"), 0, 3);
  for (int w = 0; w < 3; ++w) {
    const KeepAliveWindow& window = s.keepAlive[w];
    const int values[3] = {window.start, window.stop, window.timeout};
    grid->addWidget(new QLabel(QString("Window %1:").arg(w + 1)), w + 1, 0);
    for (int k = 0; k < 3; ++k) {
      auto* list = Named(new QComboBox, 1130 + w * 3 + k);
      list->addItems(k == 0 ? starts : k == 1 ? stops : kTimeouts);
      list->setCurrentIndex(values[k] >= 0 && values[k] < list->count() ? values[k] : -1);
      lists_[w * 3 + k] = list;
      grid->addWidget(list, w + 1, k + 1);
    }
    for (int k = 0; k < 3; ++k) {
      // "Disabled" in any list of a window disables the whole window.
      connect(lists_[w * 3 + k], &QComboBox::activated, this, [this, w](int index) {
        if (index != 0)
          return;
        for (int j = 0; j < 3; ++j)
          lists_[w * 3 + j]->setCurrentIndex(0);
      });
    }
  }
  commandEnable_ = Check(1139, "Enable Command File:", s.keepAliveCmdFileEnabled);
  command_ = LineEdit(1140, s.keepAliveCmdFile, 256);
  arguments_ = LineEdit(1141, s.keepAliveCmdArgs, 256);
  grid->addWidget(commandEnable_, 4, 0);
  grid->addWidget(command_, 4, 1, 1, 3);
  grid->addWidget(new QLabel("Command File Arguments:"), 5, 0);
  grid->addWidget(arguments_, 5, 1, 1, 3);
  grid->addWidget(MakeButtons(), 6, 0, 1, 4);
  command_->setEnabled(s.keepAliveCmdFileEnabled != 0);
  arguments_->setEnabled(s.keepAliveCmdFileEnabled != 0);
  connect(commandEnable_, &QCheckBox::toggled, this, [this](bool on) {
    command_->setEnabled(on);
    arguments_->setEnabled(on);
  });
  BrowseOnFocus(command_, [this] {
    const std::string& current = context_.Settings().keepAliveCmdFile;
    QString chosen = context_.ui.openFile(
        this, {"Open Keep Alive Command...", QString::fromStdString(current), {}, true});
    if (!chosen.isEmpty())
      command_->setText(chosen);
  });
}

void KeepAliveDialog::OnOk() {
  std::array<KeepAliveWindow, 3> windows;
  for (int w = 0; w < 3; ++w) {
    windows[w] = {std::max(0, lists_[w * 3]->currentIndex()),
                  std::max(0, lists_[w * 3 + 1]->currentIndex()),
                  std::max(0, lists_[w * 3 + 2]->currentIndex())};
  }
  if (!BuildCheckedKeepAliveTable(windows)) {
    Tell("Time ranges overlap!", kKeepAliveCaption);
    return;
  }
  std::string command = Text(command_, 256);
  bool commandOn = commandEnable_->isChecked();
  if (commandOn && command.empty()) {
    Tell("You must select a command file!", kKeepAliveCaption);
    return;
  }
  AppSettings& s = context_.Settings();
  const AppSettings previous = s;
  s.keepAlive = windows;
  s.keepAliveCmdFileEnabled = commandOn ? 1 : 0;
  s.keepAliveCmdFile = command;
  s.keepAliveCmdArgs = Text(arguments_, 256);
  context_.Apply(previous, kRenewKeepAlive);  // re-armed and silenced on every OK
  context_.Save();
  accept();
}

}  // namespace pagora
