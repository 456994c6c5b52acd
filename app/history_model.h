// The History window's runs list over an archive: the runs a query selects,
// fetched a page at a time as the view scrolls to them, sorted by the
// archive (any column), with the cell texts of the shared window rules.
#pragma once

#include <QAbstractTableModel>
#include <QSet>
#include <QString>
#include <cstdint>
#include <vector>

#include "archive/reader.h"
#include "archive/run.h"

namespace vark {

class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kPageSize = 100;

    explicit HistoryModel(QObject* parent = nullptr);

    // The archive read from (not owned; null for none) and the query whose
    // runs are listed (its limit and offset are the model's own). Either
    // drops the rows and fetches the first page again.
    void SetReader(archive::ArchiveReader* reader);
    void SetQuery(const archive::RunQuery& query);
    const archive::RunQuery& Query() const { return query_; }
    // Fetches the first page again, as many rows as were shown before.
    void Reload();

    // How many runs the query selects in all; -1 when unknown (no archive,
    // or it could not be read).
    std::int64_t Total() const { return total_; }
    // Why the archive could not be read; empty when it could.
    const QString& Problem() const { return problem_; }

    // The run of a row; null outside the list.
    const archive::RunSummary* Run(int row) const;
    QString CellText(int row, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    // Sorting asks the archive again: the whole selection is in order, not
    // only the rows fetched so far.
    void sort(int column, Qt::SortOrder order) override;

  Q_SIGNALS:
    // The rows were replaced or the archive failed; the count line follows.
    void refreshed();

  private:
    // Drops the rows and fetches `wanted` of them from the first on.
    void ResetTo(int wanted);
    void Fetch(int rows);
    void CountAll();

    archive::ArchiveReader* reader_ = nullptr;
    archive::RunQuery query_;
    std::vector<archive::RunSummary> runs_;
    // The runs shown: a run committed between two pages moves the later
    // pages down by one, and its neighbour would otherwise come twice.
    QSet<QString> shown_;
    std::int64_t total_ = -1;
    int fetched_ = 0;  // rows asked of the archive so far (the next offset)
    bool more_ = false;
    QString problem_;
};

}  // namespace vark
