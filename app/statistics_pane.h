// The History window's "Statistics" tab: for the runs the current filter
// selects, yield per lot (bars, newest lot last; a grey column for a lot
// with nothing judged), yield per day (a line through each day's point) and the Pareto of failure
// causes (bars with the cumulative share as a line). Hovering a bar or point shows its counted
// numbers; clicking one emits the filter narrowed to it, for the runs list
// to follow. Each chart exports as PNG or SVG from its context menu.
//
// What the charts show is decided in ui/statistics_charts.h; this widget
// only draws it with Qt Charts, in the palette's light or dark theme.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>

#include "ui/statistics_charts.h"

class QLabel;
class QMenu;

QT_BEGIN_NAMESPACE
class QBarCategoryAxis;
class QBarSeries;
class QBarSet;
class QChart;
class QChartView;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
QT_END_NAMESPACE

namespace vark {

// Its parts, by object name: "StatisticsSummary" (the counts of the filter
// or the archive's failure), "LotChart", "DayChart", "CauseChart" (chart
// views) and each view's "ChartMenu" (the lot chart's with "PrintLotReport").
class StatisticsPane : public QWidget {
    Q_OBJECT
  public:
    enum Chart { LotChart, DayChart, CauseChart, ChartCount };

    // Lots shown at most: the newest ones, so the labels stay readable.
    static constexpr int kMostLots = 40;

    // `source` is read on every change of the filter; not owned, and it must
    // outlive the pane. Shows every counted run until a filter is set. With
    // a `reader` (the same archive) the lot chart's menu also prints the
    // report of the lot under the pointer ("Print Lot Report").
    explicit StatisticsPane(archive::StatisticsSource* source, QWidget* parent = nullptr,
                            archive::ArchiveReader* reader = nullptr);
    ~StatisticsPane() override;

    const RunFilter& Filter() const { return filter_; }
    // What the charts show now (empty after a failed read).
    const StatisticsCharts& Charts() const { return charts_; }
    QChartView* View(Chart chart) const { return views_[chart]; }
    QString Summary() const;

    // The lot bars drawn (at most kMostLots, the newest) and where the first
    // of them is in Charts().lots.
    int FirstLotShown() const { return firstLot_; }

    // Writes `chart` to `path` as PNG, or as SVG when the name ends in
    // ".svg", replacing the file only with a complete image. Returns the
    // message for a failure; empty when written.
    QString Export(Chart chart, const QString& path) const;

    // The save dialog the export commands ask; tests answer it. Returns the
    // one set before.
    using ExportDialog = std::function<QString(QWidget* parent, const QString& defaultName)>;
    static ExportDialog SetExportDialog(ExportDialog dialog);

  public Q_SLOTS:
    // Reads the filter's runs again and redraws every chart.
    void SetFilter(const vark::RunFilter& filter);
    void Refresh();

  Q_SIGNALS:
    // A bar or a day's point was clicked: the current filter narrowed to it.
    void filterNarrowed(const vark::RunFilter& filter);

  protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Build();
    void DrawLots();
    void DrawDays();
    void DrawCauses();
    void ApplyTheme();
    void ApplyFonts(QChart* chart);
    void FitLabels(Chart chart);
    void Hover(Chart chart, bool on, const std::string& text);
    void Clicked(const std::optional<RunFilter>& narrowed);
    void AskExport(Chart chart, bool svg);

    archive::StatisticsSource* source_;
    archive::ArchiveReader* reader_;
    int hoveredLot_ = -1;  // in Charts().lots; -1 when the pointer is on no lot
    RunFilter filter_;
    StatisticsCharts charts_;
    QString failure_;
    int firstLot_ = 0;
    bool dark_ = false;
    QLabel* summary_ = nullptr;
    std::array<QChartView*, ChartCount> views_{};
    std::array<QChart*, ChartCount> charts2d_{};
};

}  // namespace vark
