#include "app/history_statistics.h"

#include <QObject>
#include <QTabWidget>

#include "app/history_window.h"
#include "app/statistics_pane.h"
#include "archive/sqlite_archive.h"

namespace vark {

namespace {

// The list's current archive connection, which a reload may replace or
// drop (an archive that cannot be read): every call asks for it anew.
class CurrentArchive final : public QObject,
                             public archive::ArchiveReader,
                             public archive::StatisticsSource {
  public:
    explicit CurrentArchive(HistoryWindow* history) : QObject(history), history_(history) {}

    archive::Result<std::vector<archive::RunSummary>> List(const archive::RunQuery& q) override {
        return Call([&](archive::SqliteArchive& a) { return a.List(q); });
    }
    archive::Result<std::int64_t> CountRuns(const archive::RunQuery& q) override {
        return Call([&](archive::SqliteArchive& a) { return a.CountRuns(q); });
    }
    archive::Result<std::string> Resolve(std::string_view name) override {
        return Call([&](archive::SqliteArchive& a) { return a.Resolve(name); });
    }
    archive::Result<archive::RunDetails> Show(std::string_view uuid) override {
        return Call([&](archive::SqliteArchive& a) { return a.Show(uuid); });
    }
    archive::Result<std::string> ExportBytes(std::string_view uuid) override {
        return Call([&](archive::SqliteArchive& a) { return a.ExportBytes(uuid); });
    }
    archive::Result<archive::ArchiveCounts> Counts() override {
        return Call([&](archive::SqliteArchive& a) { return a.Counts(); });
    }
    archive::Result<std::vector<archive::RunTally>> CountedRuns(
        const archive::RunQuery& q) override {
        return Call([&](archive::SqliteArchive& a) { return a.CountedRuns(q); });
    }
    archive::Result<std::vector<archive::FailedRecord>> FailedRecords(
        const archive::RunQuery& q) override {
        return Call([&](archive::SqliteArchive& a) { return a.FailedRecords(q); });
    }
    archive::Result<std::vector<archive::Golden>> Goldens(std::string_view part) override {
        return Call([&](archive::SqliteArchive& a) { return a.Goldens(part); });
    }

  private:
    template <class F>
    auto Call(F f) -> decltype(f(std::declval<archive::SqliteArchive&>())) {
        archive::SqliteArchive* a = history_->Archive();
        if (!a) {
            return archive::Error{archive::ErrorKind::Io, "the archive could not be read"};
        }
        return f(*a);
    }

    HistoryWindow* history_;
};

// The History filter a clicked bar narrows to: the list's own filter with
// the lot, part, days or verdicts the bar stands for.
HistoryFilter Narrowed(HistoryFilter filter, const archive::RunQuery& to) {
    filter.lot = to.lot;
    filter.part = to.part;
    filter.since = to.since;
    filter.until = to.until;
    filter.verdicts = to.verdicts;
    return filter;
}

}  // namespace

void AddStatisticsTab(HistoryWindow* history) {
    auto* archive = new CurrentArchive(history);
    auto* pane = new StatisticsPane(archive, history, archive);
    pane->setObjectName(QStringLiteral("StatisticsPane"));
    history->Tabs()->addTab(pane, QStringLiteral("Statistics"));
    pane->SetFilter(history->Query());
    QObject::connect(history, &HistoryWindow::filterChanged, pane,
                     [history, pane] { pane->SetFilter(history->Query()); });
    QObject::connect(history, &HistoryWindow::reloaded, pane,
                     [history, pane] { pane->SetFilter(history->Query()); });
    QObject::connect(pane, &StatisticsPane::filterNarrowed, history,
                     [history](const RunFilter& to) {
                         history->SetFilter(Narrowed(history->Filter(), to));
                         history->Tabs()->setCurrentIndex(0);
                     });
}

}  // namespace vark
