#include "app/archive_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace pagora {

std::string ArchivePathFor(const AppSettings& settings) {
  return settings.archiveFile.empty() ? archive::DefaultArchivePath() : settings.archiveFile;
}

// --- the output --------------------------------------------------------------------------

ArchiveLink::~ArchiveLink() {
  if (monitor_)
    Close(*monitor_);
}

std::uint64_t ArchiveLink::lost() const {
  return writer_ ? writer_->dropped() + writer_->failed() : 0;
}

void ArchiveLink::Close(Monitor& monitor) {
  if (!writer_)
    return;
  monitor.pageOutputs.Remove(*joiner_);
  joiner_->Flush();
  writer_->Close();
  joiner_.reset();
  output_.reset();
  writer_.reset();
}

std::optional<std::string> ArchiveLink::Apply(Monitor& monitor) {
  Close(monitor);
  monitor_ = &monitor;
  if (monitor.settings.archiveEnabled == 0)
    return std::nullopt;
  std::string path = ArchivePathFor(monitor.settings);
  if (path.empty())
    return "no archive file given and no home folder";
  try {
    writer_ = std::make_unique<archive::Writer>(archive::OpenSqlite(path));
  } catch (const std::exception& e) {
    return std::string(e.what());
  }
  output_ = std::make_unique<archive::ArchiveOutput>(*writer_);
  joiner_ = std::make_unique<FragmentJoiner>(*output_);
  monitor.pageOutputs.Add(*joiner_);
  return std::nullopt;
}

// --- Setup -> Archive ----------------------------------------------------------------------

ArchiveSetupDialog::ArchiveSetupDialog(AppContext& context, ArchiveLink& link, QWidget* parent)
    : PagoraDialog(context, "Pagora Archive", "archiveSetup", parent), link_(link) {
  const AppSettings& s = context.Settings();
  enable_ = new QCheckBox("&Store every page in the archive");
  enable_->setObjectName("archiveEnabled");
  enable_->setChecked(s.archiveEnabled != 0);
  path_ = new QLineEdit(QString::fromStdString(s.archiveFile));
  path_->setObjectName("archiveFile");
  path_->setMaxLength(static_cast<int>(AppSettings::kPathMax));
  path_->setPlaceholderText(QString::fromStdString(archive::DefaultArchivePath()));
  path_->setMinimumWidth(320);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(enable_);
  auto* form = new QFormLayout;
  form->addRow("Archive &file:", path_);
  layout->addLayout(form);
  layout->addWidget(new QLabel("An empty name keeps the archive in the default file."));
  layout->addWidget(MakeButtons());
}

void ArchiveSetupDialog::OnOk() {
  AppSettings& s = context_.Settings();
  AppSettings before = s;
  s.archiveEnabled = enable_->isChecked() ? 1 : 0;
  s.archiveFile = path_->text().trimmed().toStdString();
  if (std::optional<std::string> problem = link_.Apply(context_.monitor)) {
    s = before;
    link_.Apply(context_.monitor);
    Tell("Cannot open the archive:\n" + QString::fromStdString(*problem), "Pagora Archive");
    return;  // the dialog stays open
  }
  context_.Save();
  accept();
}

// --- File -> Search Archive --------------------------------------------------------------

ArchiveSearchDialog::ArchiveSearchDialog(const AppSettings& settings, QWidget* parent)
    : QDialog(parent), path_(ArchivePathFor(settings)) {
  setWindowTitle("Search Archive");
  setObjectName("archiveSearch");
  words_ = new QLineEdit;
  words_->setObjectName("words");
  words_->setPlaceholderText("words, all must appear (ambul* = any ending)");
  capcode_ = new QLineEdit;
  capcode_->setObjectName("capcode");
  capcode_->setMaxLength(10);
  capcode_->setPlaceholderText("digits, ? for any one");
  protocol_ = new QComboBox;
  protocol_->setObjectName("protocol");
  protocol_->addItems({"Any", "POCSAG", "FLEX", "GSC"});
  QDateTime now = QDateTime::currentDateTime();
  useSince_ = new QCheckBox("From");
  useSince_->setObjectName("useSince");
  since_ = new QDateTimeEdit(now.addDays(-1));
  since_->setObjectName("since");
  since_->setCalendarPopup(true);
  useUntil_ = new QCheckBox("To");
  useUntil_->setObjectName("useUntil");
  until_ = new QDateTimeEdit(now);
  until_->setObjectName("until");
  until_->setCalendarPopup(true);
  auto* find = new QPushButton("&Search");
  find->setObjectName("search");
  find->setDefault(true);

  table_ = new QTableWidget(0, 6);
  table_->setObjectName("results");
  table_->setHorizontalHeaderLabels(
      {"Time", "Protocol", "Capcode", "Function", "Stations", "Text"});
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  status_ = new QLabel;
  status_->setObjectName("status");

  auto* form = new QFormLayout;
  form->addRow("&Words:", words_);
  auto* row = new QHBoxLayout;
  row->addWidget(capcode_);
  row->addWidget(new QLabel("Protocol:"));
  row->addWidget(protocol_);
  form->addRow("&Capcode:", row);
  auto* times = new QHBoxLayout;
  times->addWidget(useSince_);
  times->addWidget(since_);
  times->addWidget(useUntil_);
  times->addWidget(until_);
  times->addWidget(find);
  form->addRow("Time:", times);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(table_, 1);
  layout->addWidget(status_);
  resize(760, 460);

  connect(find, &QPushButton::clicked, this, [this] { Search(); });
  connect(words_, &QLineEdit::returnPressed, this, [this] { Search(); });
  connect(capcode_, &QLineEdit::returnPressed, this, [this] { Search(); });
}

int ArchiveSearchDialog::Search() {
  table_->setRowCount(0);
  archive::Query query;
  query.text = words_->text().toStdString();
  query.capcode = capcode_->text().trimmed().toStdString();
  if (protocol_->currentIndex() > 0)
    query.protocol = protocol_->currentText().toStdString();
  if (useSince_->isChecked())
    query.since = since_->dateTime().toSecsSinceEpoch();
  if (useUntil_->isChecked())
    query.until = until_->dateTime().toSecsSinceEpoch();
  query.limit = 1000;
  if (std::optional<std::string> invalid = archive::InvalidQuery(query)) {
    status_->setText(QString::fromStdString(*invalid));
    return 0;
  }
  if (path_.empty() || !QFileInfo(QString::fromStdString(path_)).isFile()) {
    status_->setText("No archive yet: enable it under Setup -> Archive.");
    return 0;
  }
  std::vector<archive::Row> rows;
  try {
    rows = archive::OpenSqlite(path_)->Search(query);
  } catch (const std::exception& e) {
    status_->setText(QString::fromStdString(e.what()));
    return 0;
  }
  table_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const archive::Row& row = rows[static_cast<std::size_t>(r)];
    auto field = [&row](const char* key) {
      auto it = row.page.find(key);
      if (it == row.page.end() || it->is_null())
        return QString();
      return QString::fromStdString(it->is_string() ? it->get<std::string>() : it->dump());
    };
    QStringList stations;
    for (const std::string& station : row.stations) {
      if (!station.empty())
        stations << QString::fromStdString(station);
    }
    // Table cells show text as it is: radio characters are never interpreted as markup.
    QString text = field("text");
    for (QChar& c : text) {
      if (c.category() == QChar::Other_Control)
        c = QChar('.');
    }
    const QString cells[6] = {field("time"),     field("protocol"),   field("capcode"),
                              field("function"), stations.join(", "), text};
    for (int c = 0; c < 6; ++c)
      table_->setItem(r, c, new QTableWidgetItem(cells[c]));
  }
  table_->resizeColumnsToContents();
  status_->setText(rows.size() == 1000 ? "1000 pages (the newest; narrow the search)"
                                       : QString("%1 pages").arg(rows.size()));
  return static_cast<int>(rows.size());
}

void AddArchiveMenus(QMainWindow& window, AppContext& context, ArchiveLink& link) {
  QMenu* file = nullptr;
  QMenu* setup = nullptr;
  for (QAction* action : window.menuBar()->actions()) {
    if (QMenu* menu = action->menu()) {
      if (menu->objectName() == "File")
        file = menu;
      if (menu->objectName() == "Setup")
        setup = menu;
    }
  }
  if (file) {
    QAction* search = new QAction("Search &Archive...", file);
    search->setObjectName("archiveSearch");
    search->setShortcut(QKeySequence("Ctrl+F"));
    file->insertAction(file->actions().value(2), search);
    QObject::connect(search, &QAction::triggered, &window, [&window, &context] {
      auto* dialog = new ArchiveSearchDialog(context.Settings(), &window);
      dialog->setAttribute(Qt::WA_DeleteOnClose);
      dialog->show();
    });
  }
  if (setup) {
    QAction* action = setup->addAction("&Archive...");
    action->setObjectName("archiveSetup");
    QObject::connect(action, &QAction::triggered, &window, [&window, &context, &link] {
      ArchiveSetupDialog dialog(context, link, &window);
      dialog.exec();
    });
  }
}

}  // namespace pagora
