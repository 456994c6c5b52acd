#include "app/history_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>
#include <filesystem>

#include "app/app_icons.h"
#include "app/file_dialogs.h"
#include "app/history_model.h"
#include "app/message_box.h"
#include "app/print_dialog.h"
#include "archive/sqlite_archive.h"
#include "platform/file_io.h"
#include "records/record_file.h"
#include "ui/record_document.h"

namespace vark {

namespace {

constexpr int kInitialWidth = 1000;
constexpr int kInitialHeight = 600;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// A local day's start, and the day a time falls on.
archive::TimeMs DayStart(const QDate& day) {
    return QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
}
QDate DayOf(archive::TimeMs time) {
    return QDateTime::fromMSecsSinceEpoch(time).date();
}

QLineEdit* FilterEdit(QWidget* parent, const char* name, const char* placeholder) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setPlaceholderText(QString::fromLatin1(placeholder));
    edit->setClearButtonEnabled(true);
    return edit;
}

QDateEdit* DayEdit(QWidget* parent, const char* name) {
    auto* edit = new QDateEdit(QDate::currentDate(), parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit->setEnabled(false);
    return edit;
}

}  // namespace

HistoryWindow::HistoryWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral("History - VARK-u"));
    setWindowIcon(AppIcon());

    auto* layout = new QVBoxLayout(this);
    CreateFilter();
    auto* filterBox = new QWidget(this);
    auto* grid = new QGridLayout(filterBox);
    grid->setContentsMargins(0, 0, 0, 0);
    auto label = [filterBox](const char* text, QWidget* buddy) {
        auto* l = new QLabel(QString::fromLatin1(text), filterBox);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label("&Search:", text_), 0, 0);
    grid->addWidget(text_, 0, 1, 1, 3);
    grid->addWidget(label("&Lot:", lot_), 0, 4);
    grid->addWidget(lot_, 0, 5);
    grid->addWidget(label("&Part:", part_), 0, 6);
    grid->addWidget(part_, 0, 7);
    grid->addWidget(label("&Operator:", operator_), 1, 0);
    grid->addWidget(operator_, 1, 1);
    grid->addWidget(label("&Tester:", tester_), 1, 2);
    grid->addWidget(tester_, 1, 3);
    grid->addWidget(sinceOn_, 1, 4);
    grid->addWidget(since_, 1, 5);
    grid->addWidget(untilOn_, 1, 6);
    grid->addWidget(until_, 1, 7);
    auto* third = new QHBoxLayout;
    third->addWidget(verdict_);
    third->addWidget(voided_);
    third->addWidget(repeats_);
    third->addStretch(1);
    auto* clear = new QPushButton(QStringLiteral("&Clear Filter"), filterBox);
    clear->setObjectName(QStringLiteral("ClearFilter"));
    clear->setAutoDefault(false);
    connect(clear, &QPushButton::clicked, this, &HistoryWindow::ClearFilter);
    third->addWidget(clear);
    grid->addLayout(third, 2, 0, 1, 8);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(5, 1);
    grid->setColumnStretch(7, 1);
    layout->addWidget(filterBox);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("HistoryTabs"));
    CreateRuns();
    layout->addWidget(tabs_, 1);

    resize(kInitialWidth, kInitialHeight);
    ShowCount();
    UpdateButtons();
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::CreateFilter() {
    text_ = FilterEdit(this, "FilterText", "any text of a run");
    lot_ = FilterEdit(this, "FilterLot", "work order / lot");
    part_ = FilterEdit(this, "FilterPart", "part number");
    operator_ = FilterEdit(this, "FilterOperator", "login name");
    tester_ = FilterEdit(this, "FilterTester", "USB serial");
    sinceOn_ = new QCheckBox(QStringLiteral("&From:"), this);
    sinceOn_->setObjectName(QStringLiteral("FilterSinceOn"));
    since_ = DayEdit(this, "FilterSince");
    untilOn_ = new QCheckBox(QStringLiteral("T&o:"), this);
    untilOn_->setObjectName(QStringLiteral("FilterUntilOn"));
    until_ = DayEdit(this, "FilterUntil");
    verdict_ = new QComboBox(this);
    verdict_->setObjectName(QStringLiteral("FilterVerdict"));
    for (const VerdictChoice& choice : kVerdictChoices) {
        verdict_->addItem(QString::fromLatin1(choice.label));
    }
    voided_ = new QCheckBox(QStringLiteral("Show &voided runs"), this);
    voided_->setObjectName(QStringLiteral("ShowVoided"));
    repeats_ = new QCheckBox(QStringLiteral("Show &repeats"), this);
    repeats_->setObjectName(QStringLiteral("ShowRepeats"));

    for (QLineEdit* edit : {text_, lot_, part_, operator_, tester_}) {
        connect(edit, &QLineEdit::textChanged, this, &HistoryWindow::FilterEdited);
    }
    for (QCheckBox* box : {sinceOn_, untilOn_, voided_, repeats_}) {
        connect(box, &QCheckBox::toggled, this, &HistoryWindow::FilterEdited);
    }
    connect(sinceOn_, &QCheckBox::toggled, since_, &QWidget::setEnabled);
    connect(untilOn_, &QCheckBox::toggled, until_, &QWidget::setEnabled);
    for (QDateEdit* edit : {since_, until_}) {
        connect(edit, &QDateEdit::dateChanged, this, &HistoryWindow::FilterEdited);
    }
    connect(verdict_, &QComboBox::currentIndexChanged, this, &HistoryWindow::FilterEdited);
}

void HistoryWindow::CreateRuns() {
    auto* page = new QWidget(tabs_);
    page->setObjectName(QStringLiteral("RunsPage"));
    auto* layout = new QVBoxLayout(page);

    model_ = new HistoryModel(this);
    list_ = new QTableView(page);
    list_->setObjectName(QStringLiteral("RunsList"));
    list_->setModel(model_);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setWordWrap(false);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
    list_->horizontalHeader()->setStretchLastSection(false);
    list_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // Newest first until a header is clicked; the archive sorts, so the
    // order holds for the runs not fetched yet too.
    list_->horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);
    list_->setSortingEnabled(true);
    // Counts as wide as their header, texts room for a usual name; the
    // tester column also names imported files.
    const QFontMetrics metrics = list_->horizontalHeader()->fontMetrics();
    for (int c = 0; c < kHistoryColumns; ++c) {
        const HistoryColumnInfo& info = kHistoryColumnInfo[static_cast<std::size_t>(c)];
        const int header = metrics.horizontalAdvance(QString::fromLatin1(info.header)) + 24;
        const int text = c == 0   ? metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00"))
                         : c == 5 ? 130
                         : info.number ? metrics.horizontalAdvance(QStringLiteral("00000"))
                                       : 80;
        list_->setColumnWidth(c, std::max(header, text + 12));
    }
    layout->addWidget(list_, 1);

    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* text, const char* name) {
        auto* b = new QPushButton(QString::fromLatin1(text), page);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    open_ = button("&Open", "OpenRun");
    reprint_ = button("&Reprint...", "ReprintRun");
    export_ = button("&Export...", "ExportRun");
    amend_ = button("&Amend...", "AmendRun");
    void_ = button("Voi&d...", "VoidRun");
    buttons->addStretch(1);
    count_ = new QLabel(page);
    count_->setObjectName(QStringLiteral("RunCount"));
    count_->setTextFormat(Qt::PlainText);
    buttons->addWidget(count_);
    layout->addLayout(buttons);
    tabs_->addTab(page, QStringLiteral("Runs"));

    connect(open_, &QPushButton::clicked, this, [this] { OpenRun(SelectedRow()); });
    connect(reprint_, &QPushButton::clicked, this, [this] { ReprintRun(SelectedRow()); });
    connect(export_, &QPushButton::clicked, this, [this] { ExportRun(SelectedRow()); });
    connect(amend_, &QPushButton::clicked, this, &HistoryWindow::AskAmend);
    connect(void_, &QPushButton::clicked, this, &HistoryWindow::AskVoid);
    connect(list_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { OpenRun(index.row()); });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &HistoryWindow::UpdateButtons);
    connect(model_, &HistoryModel::refreshed, this, [this] {
        ShowCount();
        UpdateButtons();
    });
    // A sort replaces the rows; the selection went with them.
    connect(model_, &QAbstractItemModel::modelReset, this, &HistoryWindow::UpdateButtons);
}

void HistoryWindow::SetArchive(const archive::ArchiveConfig& config) {
    config_ = config;
    configured_ = true;
    reader_.reset();
    model_->SetReader(nullptr);
    Reload();
}

void HistoryWindow::Reload() {
    if (!configured_) {
        return;
    }
    if (!reader_) {
        readProblem_.clear();
        if (!config_.enabled) {
            readProblem_ = QStringLiteral("The archive is turned off.");
        } else {
            archive::OpenOptions read;
            read.mode = archive::OpenOptions::Mode::Read;
            read.busyTimeoutMs = config_.busyTimeoutMs;
            auto opened = archive::SqliteArchive::Open(config_.file, read);
            if (opened) {
                reader_ = std::move(opened.value());
            } else if (opened.error().kind == archive::ErrorKind::Missing) {
                readProblem_ =
                    QStringLiteral("No runs are archived yet (%1).").arg(Q(config_.file));
            } else {
                readProblem_ =
                    QStringLiteral("The archive cannot be read: %1").arg(Q(opened.error().message));
            }
        }
        model_->SetQuery(Query());
        model_->SetReader(reader_.get());
    } else {
        model_->Reload();
    }
    Q_EMIT reloaded();
}

archive::RunQuery HistoryWindow::Query() const {
    const QHeaderView* header = list_->horizontalHeader();
    return HistoryQuery(filter_, header->sortIndicatorSection(),
                        header->sortIndicatorOrder() == Qt::AscendingOrder);
}

HistoryFilter HistoryWindow::FromControls() const {
    HistoryFilter f;
    f.text = text_->text().toStdString();
    f.lot = lot_->text().toStdString();
    f.part = part_->text().toStdString();
    f.operatorName = operator_->text().toStdString();
    f.tester = tester_->text().toStdString();
    if (sinceOn_->isChecked()) {
        f.since = DayStart(since_->date());
    }
    if (untilOn_->isChecked()) {
        // The day given is taken in whole.
        f.until = DayStart(until_->date().addDays(1));
    }
    const int verdict = verdict_->currentIndex();
    if (verdict >= 0 && verdict < static_cast<int>(kVerdictChoices.size())) {
        f.verdicts = kVerdictChoices[static_cast<std::size_t>(verdict)].verdicts;
    }
    f.withVoided = voided_->isChecked();
    f.withRepeats = repeats_->isChecked();
    return f;
}

void HistoryWindow::FilterEdited() {
    if (!settingControls_) {
        Apply(FromControls(), false);
    }
}

void HistoryWindow::SetFilter(const HistoryFilter& filter) {
    settingControls_ = true;
    text_->setText(Q(filter.text));
    lot_->setText(Q(filter.lot));
    part_->setText(Q(filter.part));
    operator_->setText(Q(filter.operatorName));
    tester_->setText(Q(filter.tester));
    sinceOn_->setChecked(filter.since.has_value());
    if (filter.since) {
        since_->setDate(DayOf(*filter.since));
    }
    untilOn_->setChecked(filter.until.has_value());
    if (filter.until) {
        until_->setDate(DayOf(*filter.until - 1));
    }
    int verdict = 0;
    for (std::size_t i = 0; i < kVerdictChoices.size(); ++i) {
        if (kVerdictChoices[i].verdicts == filter.verdicts) {
            verdict = static_cast<int>(i);
        }
    }
    verdict_->setCurrentIndex(verdict);
    voided_->setChecked(filter.withVoided);
    repeats_->setChecked(filter.withRepeats);
    settingControls_ = false;
    // The times as given, not as the day controls round them.
    Apply(filter, false);
}

void HistoryWindow::ClearFilter() {
    SetFilter(HistoryFilter{});
}

void HistoryWindow::Apply(const HistoryFilter& filter, bool force) {
    if (filter == filter_ && !force) {
        return;
    }
    filter_ = filter;
    model_->SetQuery(Query());
    Q_EMIT filterChanged(filter_);
}

void HistoryWindow::ShowCount() {
    QString text;
    if (!readProblem_.isEmpty()) {
        text = readProblem_;
    } else if (!model_->Problem().isEmpty()) {
        text = QStringLiteral("The archive cannot be read: %1").arg(model_->Problem());
    } else if (model_->Total() >= 0) {
        text = Q(RunCountText(model_->Total()));
    }
    count_->setText(text);
}

int HistoryWindow::SelectedRow() const {
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void HistoryWindow::SelectRow(int row) {
    const QModelIndex index = model_->index(row, 0);
    list_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void HistoryWindow::UpdateButtons() {
    const archive::RunSummary* run = model_->Run(SelectedRow());
    for (QPushButton* b : {open_, reprint_, export_, amend_}) {
        b->setEnabled(run != nullptr);
    }
    void_->setEnabled(run != nullptr && !run->voided);
}

bool HistoryWindow::OpenRun(int row) {
    const archive::RunSummary* run = model_->Run(row);
    if (!run || !reader_) {
        return false;
    }
    const auto bytes = reader_->ExportBytes(run->uuid);
    if (!bytes) {
        ShowMessage(this, Q(bytes.error().message));
        return false;
    }
    Q_EMIT openRequested(QByteArray::fromStdString(*bytes), Q(run->uuid));
    return true;
}

bool HistoryWindow::ReprintRun(int row) {
    const archive::RunSummary* run = model_->Run(row);
    if (!run || !reader_) {
        return false;
    }
    const auto bytes = reader_->ExportBytes(run->uuid);
    if (!bytes) {
        ShowMessage(this, Q(bytes.error().message));
        return false;
    }
    RecordBlock block{};
    ClearBlock(block);
    if (const FileStatus st = ReadRecordBytes(*bytes, block); st != FileStatus::Ok) {
        ShowMessage(this, QString::fromLatin1(FileStatusMessage(st)));
        return false;
    }
    PrintBlockReport(this, block);
    return true;
}

bool HistoryWindow::ExportRun(int row) {
    const archive::RunSummary* run = model_->Run(row);
    if (!run || !reader_) {
        return false;
    }
    const std::string uuid = run->uuid;
    // The name Save would have offered when the run was received.
    const QDateTime started = QDateTime::fromMSecsSinceEpoch(run->started);
    std::tm local{};
    local.tm_year = started.date().year() - 1900;
    local.tm_mon = started.date().month() - 1;
    local.tm_mday = started.date().day();
    local.tm_hour = started.time().hour();
    local.tm_min = started.time().minute();
    local.tm_sec = started.time().second();
    const QString chosen = AskSavePath(this, Q(RecordDocument::DefaultSaveName(local)));
    if (chosen.isEmpty()) {
        return false;
    }
    const std::filesystem::path target = RecordDocument::SaveTarget(ToFsPath(chosen));
    if (RecordDocument::AskBeforeReplacing(ToFsPath(chosen), target) &&
        !ConfirmReplace(this, FromFsPath(target))) {
        return false;
    }
    const auto bytes = reader_->ExportBytes(uuid);
    if (!bytes) {
        ShowMessage(this, Q(bytes.error().message));
        return false;
    }
    // Written whole under another name and renamed: a failed export leaves
    // no half file and any file of that name as it was.
    if (platform::ReplaceFileContents(target.string(), *bytes)) {
        ShowMessage(this, QString::fromLatin1(FileStatusMessage(FileStatus::SaveFailed)));
        return false;
    }
    return true;
}

std::unique_ptr<archive::SqliteArchive> HistoryWindow::OpenForWriting() {
    archive::OpenOptions write;
    write.busyTimeoutMs = config_.busyTimeoutMs;
    auto opened = archive::SqliteArchive::Open(config_.file, write);
    if (!opened) {
        ShowMessage(this, QStringLiteral("Nothing was changed: %1").arg(Q(opened.error().message)));
        return nullptr;
    }
    return std::move(opened.value());
}

bool HistoryWindow::AmendRun(int row, const std::string& field, const std::string& value,
                             const std::string& why) {
    const archive::RunSummary* run = model_->Run(row);
    if (!run || !reader_) {
        return false;
    }
    // A lot, part or operator is a name to find runs by: blanks around it
    // would hide the run from a search for the name.
    const std::string newValue = field == "note" ? value : Trimmed(value);
    if (const std::string refusal = AmendmentRefusal(AmendableValue(*run, field), newValue, why);
        !refusal.empty()) {
        ShowMessage(this, Q(refusal));
        return false;
    }
    const std::string uuid = run->uuid;
    auto store = OpenForWriting();
    if (!store) {
        return false;
    }
    const auto made = store->Amend(uuid, {{field, newValue}}, Trimmed(why), config_.operatorName,
                                   config_.station);
    if (!made) {
        ShowMessage(this, QStringLiteral("Nothing was changed: %1").arg(Q(made.error().message)));
        return false;
    }
    Reload();
    return true;
}

bool HistoryWindow::VoidRun(int row, const std::string& why) {
    const archive::RunSummary* run = model_->Run(row);
    if (!run || !reader_) {
        return false;
    }
    if (const std::string refusal = VoidRefusal(run->voided, why); !refusal.empty()) {
        ShowMessage(this, Q(refusal));
        return false;
    }
    const std::string uuid = run->uuid;
    auto store = OpenForWriting();
    if (!store) {
        return false;
    }
    const auto made =
        store->Amend(uuid, {{"void", "1"}}, Trimmed(why), config_.operatorName, config_.station);
    if (!made) {
        ShowMessage(this, QStringLiteral("Nothing was changed: %1").arg(Q(made.error().message)));
        return false;
    }
    Reload();
    return true;
}

void HistoryWindow::AskAmend() {
    const int row = SelectedRow();
    const archive::RunSummary* run = model_->Run(row);
    if (!run) {
        return;
    }
    const archive::RunSummary shown = *run;
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("AmendDialog"));
    dialog.setWindowTitle(QStringLiteral("Amend Run"));
    auto* form = new QFormLayout(&dialog);
    auto* field = new QComboBox(&dialog);
    field->setObjectName(QStringLiteral("AmendField"));
    for (const AmendableField& f : kAmendableFieldChoices) {
        field->addItem(QString::fromLatin1(f.label), QString::fromLatin1(f.field));
    }
    auto* value = new QLineEdit(&dialog);
    value->setObjectName(QStringLiteral("AmendValue"));
    auto* why = new QLineEdit(&dialog);
    why->setObjectName(QStringLiteral("AmendWhy"));
    const auto showCurrent = [field, value, shown] {
        value->setText(Q(AmendableValue(shown, field->currentData().toString().toStdString())));
    };
    connect(field, &QComboBox::currentIndexChanged, &dialog, showCurrent);
    showCurrent();
    form->addRow(QStringLiteral("Run:"), new QLabel(Q(shown.uuid), &dialog));
    form->addRow(QStringLiteral("&Field:"), field);
    form->addRow(QStringLiteral("&New value:"), value);
    form->addRow(QStringLiteral("&Reason:"), why);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(box);
    if (dialog.exec() == QDialog::Accepted) {
        AmendRun(row, field->currentData().toString().toStdString(), value->text().toStdString(),
                 why->text().toStdString());
    }
}

void HistoryWindow::AskVoid() {
    const int row = SelectedRow();
    const archive::RunSummary* run = model_->Run(row);
    if (!run) {
        return;
    }
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("VoidDialog"));
    dialog.setWindowTitle(QStringLiteral("Void Run"));
    auto* form = new QFormLayout(&dialog);
    form->addRow(
        new QLabel(QStringLiteral("The run is kept, but left out of lists and yields."), &dialog));
    form->addRow(QStringLiteral("Run:"), new QLabel(Q(run->uuid), &dialog));
    auto* why = new QLineEdit(&dialog);
    why->setObjectName(QStringLiteral("VoidWhy"));
    form->addRow(QStringLiteral("&Reason:"), why);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(box);
    if (dialog.exec() == QDialog::Accepted) {
        VoidRun(row, why->text().toStdString());
    }
}

}  // namespace vark
