#include "app/statistics_pane.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QPainter>
#include <QScatterSeries>
#include <QSet>
#include <QStackedBarSeries>
#include <QSvgGenerator>
#include <QToolTip>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <utility>

#include "app/file_dialogs.h"
#include "app/lot_report_print.h"
#include "app/message_box.h"
#include "platform/file_io.h"

namespace vark {
namespace {

StatisticsPane::ExportDialog& ExportHook() {
    static StatisticsPane::ExportDialog hook;
    return hook;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

const char* const kChartNames[] = {"LotChart", "DayChart", "CauseChart"};
const char* const kFileNames[] = {"yield-per-lot", "yield-per-day", "failure-causes"};

// Category labels must differ, or Qt Charts drops one and the bars shift
// under the wrong names.
QStringList Distinct(const QStringList& labels) {
    QSet<QString> seen;
    QStringList out;
    for (QString label : labels) {
        const QString base = label;
        for (int n = 2; seen.contains(label); ++n) {
            label = base + QStringLiteral(" (%1)").arg(n);
        }
        seen.insert(label);
        out << label;
    }
    return out;
}

QValueAxis* PercentAxis(const QString& title) {
    auto* axis = new QValueAxis;
    axis->setRange(0, 100);
    axis->setLabelFormat(QStringLiteral("%.0f %%"));
    axis->setTickCount(6);
    axis->setTitleText(title);
    return axis;
}

// The chart without its series and axes, for drawing anew.
QChart* Cleared(QChart* chart) {
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    return chart;
}

// The view that exports its chart from a context menu.
class ChartView : public QChartView {
  public:
    ChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent), menu_(new QMenu(this)) {
        setRenderHint(QPainter::Antialiasing);
        setMouseTracking(true);
        menu_->setObjectName(QStringLiteral("ChartMenu"));
    }
    QMenu* Menu() const { return menu_; }

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override { menu_->exec(event->globalPos()); }

  private:
    QMenu* menu_;
};

}  // namespace

StatisticsPane::StatisticsPane(archive::StatisticsSource* source, QWidget* parent,
                               archive::ArchiveReader* reader)
    : QWidget(parent), source_(source), reader_(reader) {
    setObjectName(QStringLiteral("StatisticsPane"));
    Build();
    Refresh();
}

StatisticsPane::~StatisticsPane() = default;

StatisticsPane::ExportDialog StatisticsPane::SetExportDialog(ExportDialog dialog) {
    return std::exchange(ExportHook(), std::move(dialog));
}

void StatisticsPane::Build() {
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("StatisticsSummary"));
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summary_->setAccessibleName(QStringLiteral("Statistics summary"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(summary_, 0, 0, 1, 2);
    const char* titles[] = {"Yield per lot", "Yield per day", "Failure causes"};
    for (int c = 0; c < ChartCount; ++c) {
        auto* chart = new QChart;
        chart->setTitle(QString::fromLatin1(titles[c]));
        chart->setAnimationOptions(QChart::NoAnimation);  // a new filter shows at once
        chart->setBackgroundRoundness(0);
        chart->legend()->setVisible(c == CauseChart);
        chart->legend()->setAlignment(Qt::AlignBottom);
        auto* view = new ChartView(chart, this);
        const auto chartId = static_cast<Chart>(c);
        connect(view->Menu()->addAction(QStringLiteral("Export as PNG...")), &QAction::triggered,
                this, [this, chartId] { AskExport(chartId, false); });
        connect(view->Menu()->addAction(QStringLiteral("Export as SVG...")), &QAction::triggered,
                this, [this, chartId] { AskExport(chartId, true); });
        if (c == LotChart && reader_ != nullptr) {
            QAction* print = view->Menu()->addAction(QString::fromLatin1(kPrintLotReportText));
            print->setObjectName(QStringLiteral("PrintLotReport"));
            connect(print, &QAction::triggered, this, [this] {
                if (hoveredLot_ >= 0) {
                    PrintLotReportOf(this, *reader_, *source_,
                                     charts_.lots[static_cast<std::size_t>(hoveredLot_)].key);
                }
            });
            // Only a lot under the pointer has a report to print.
            connect(view->Menu(), &QMenu::aboutToShow, this, [this, print] {
                print->setEnabled(hoveredLot_ >= 0 &&
                                  !charts_.lots[static_cast<std::size_t>(hoveredLot_)].key.empty());
            });
        }
        view->setObjectName(QString::fromLatin1(kChartNames[c]));
        view->setAccessibleName(QString::fromLatin1(titles[c]) + QStringLiteral(" chart"));
        view->setAccessibleDescription(
            QStringLiteral("Hover a bar for its numbers, click it to narrow the runs to it, "
                           "right-click to export the chart."));
        view->setMinimumSize(320, 240);
        views_[c] = view;
        charts2d_[c] = chart;
    }
    grid->addWidget(views_[LotChart], 1, 0);
    grid->addWidget(views_[DayChart], 1, 1);
    grid->addWidget(views_[CauseChart], 2, 0, 1, 2);
    grid->setRowStretch(1, 1);
    grid->setRowStretch(2, 1);
    ApplyTheme();
}

QString StatisticsPane::Summary() const {
    return summary_->text();
}

void StatisticsPane::SetFilter(const RunFilter& filter) {
    filter_ = filter;
    Refresh();
}

void StatisticsPane::Refresh() {
    failure_.clear();
    if (source_ == nullptr) {
        charts_ = {};
        failure_ = QStringLiteral("No archive to read.");
    } else if (auto loaded = LoadStatisticsCharts(*source_, filter_); loaded) {
        charts_ = std::move(loaded.value());
    } else {
        // Empty charts rather than the last filter's under this filter's name.
        charts_ = {};
        failure_ =
            QStringLiteral("The archive could not be read: %1").arg(Q(loaded.error().message));
    }
    summary_->setText(failure_.isEmpty() ? Q(charts_.summary) : failure_);
    DrawLots();
    DrawDays();
    DrawCauses();
}

void StatisticsPane::DrawLots() {
    QChart* chart = Cleared(charts2d_[LotChart]);
    hoveredLot_ = -1;
    const auto& lots = charts_.lots;
    firstLot_ = std::max(0, static_cast<int>(lots.size()) - kMostLots);
    chart->setTitle(firstLot_ > 0 ? QStringLiteral("Yield per lot (newest %1 of %2)")
                                        .arg(lots.size() - firstLot_)
                                        .arg(lots.size())
                                  : QStringLiteral("Yield per lot"));
    // A lot with nothing judged gets a full grey column of its own set: not
    // judged is shown as such, never as passed.
    auto* yield = new QBarSet(QStringLiteral("First-pass yield"));
    auto* unjudged = new QBarSet(QStringLiteral("Not judged"));
    unjudged->setColor(QColor(150, 150, 150));
    unjudged->setBorderColor(QColor(150, 150, 150));
    QStringList labels;
    bool anyUnjudged = false;
    for (std::size_t i = static_cast<std::size_t>(firstLot_); i < lots.size(); ++i) {
        *yield << lots[i].percent.value_or(0);
        *unjudged << (lots[i].percent ? 0 : 100);
        anyUnjudged = anyUnjudged || !lots[i].percent;
        labels << Q(lots[i].label);
    }
    auto* series = new QStackedBarSeries;
    series->append(yield);
    series->append(unjudged);
    chart->addSeries(series);
    chart->legend()->setVisible(anyUnjudged);
    auto* x = new QBarCategoryAxis;
    x->append(Distinct(labels));
    chart->addAxis(x, Qt::AlignBottom);
    QValueAxis* y = PercentAxis(QStringLiteral("Passed"));
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    for (QBarSet* set : {yield, unjudged}) {
        connect(set, &QBarSet::hovered, this, [this](bool on, int i) {
            // Leaving one bar may come after entering the next.
            if (on) {
                hoveredLot_ = firstLot_ + i;
            } else if (hoveredLot_ == firstLot_ + i) {
                hoveredLot_ = -1;
            }
            Hover(LotChart, on, charts_.lots[static_cast<std::size_t>(firstLot_ + i)].hover);
        });
        connect(set, &QBarSet::clicked, this, [this](int i) {
            Clicked(NarrowToLot(filter_, charts_.lots[static_cast<std::size_t>(firstLot_ + i)]));
        });
    }
    ApplyFonts(chart);
    FitLabels(LotChart);
}

void StatisticsPane::DrawDays() {
    QChart* chart = Cleared(charts2d_[DayChart]);
    // Days are places in order, as lots are: a day without runs takes no room.
    auto* line = new QLineSeries;
    auto* points = new QScatterSeries;
    points->setMarkerSize(9);
    const auto& days = charts_.days;
    for (std::size_t i = 0; i < days.size(); ++i) {
        // A day without a judged record has its label but no point.
        if (days[i].percent) {
            line->append(static_cast<qreal>(i), *days[i].percent);
            points->append(static_cast<qreal>(i), *days[i].percent);
        }
    }
    chart->addSeries(line);
    chart->addSeries(points);
    auto* x = new QCategoryAxis;
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    x->setRange(-0.5, std::max<qreal>(0.5, static_cast<qreal>(days.size()) - 0.5));
    // About a dozen labels at most, each at its day's point; the year is in
    // the title.
    const std::size_t every = std::max<std::size_t>(1, (days.size() + 11) / 12);
    for (std::size_t i = 0; i < days.size(); i += every) {
        x->append(Q(days[i].key.substr(5)), static_cast<qreal>(i));
    }
    x->setTitleText(days.empty() ? QString()
                    : days.front().key.substr(0, 4) == days.back().key.substr(0, 4)
                        ? Q(days.front().key.substr(0, 4))
                        : Q(days.front().key + " to " + days.back().key));
    x->setGridLineVisible(false);
    chart->addAxis(x, Qt::AlignBottom);
    QValueAxis* y = PercentAxis(QStringLiteral("Passed"));
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* s :
         {static_cast<QAbstractSeries*>(line), static_cast<QAbstractSeries*>(points)}) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    // The day whose place is nearest to where the pointer is.
    auto dayAt = [this](const QPointF& p) -> const YieldBar* {
        const auto i = static_cast<long long>(std::lround(p.x()));
        if (i < 0 || i >= static_cast<long long>(charts_.days.size())) {
            return nullptr;
        }
        return &charts_.days[static_cast<std::size_t>(i)];
    };
    connect(points, &QScatterSeries::hovered, this, [this, dayAt](const QPointF& p, bool on) {
        const YieldBar* day = dayAt(p);
        Hover(DayChart, on && day, day ? day->hover : std::string());
    });
    connect(points, &QScatterSeries::clicked, this, [this, dayAt](const QPointF& p) {
        if (const YieldBar* day = dayAt(p)) {
            Clicked(NarrowToDay(filter_, *day));
        }
    });
    ApplyFonts(chart);
    FitLabels(DayChart);
}

void StatisticsPane::DrawCauses() {
    QChart* chart = Cleared(charts2d_[CauseChart]);
    auto* set = new QBarSet(QStringLiteral("Records"));
    auto* line = new QLineSeries;
    line->setName(QStringLiteral("Cumulative share"));
    line->setPointsVisible(true);
    QStringList labels;
    std::int64_t most = 0;
    for (std::size_t i = 0; i < charts_.causes.size(); ++i) {
        const CauseBar& bar = charts_.causes[i];
        *set << static_cast<qreal>(bar.count);
        line->append(static_cast<qreal>(i), bar.cumulativePercent);
        labels << Q(bar.label);
        most = std::max(most, bar.count);
    }
    auto* bars = new QBarSeries;
    bars->append(set);
    chart->addSeries(bars);
    chart->addSeries(line);
    auto* x = new QBarCategoryAxis;
    x->append(Distinct(labels));
    auto* count = new QValueAxis;
    count->setTitleText(QStringLiteral("Records"));
    count->setLabelFormat(QStringLiteral("%.0f"));
    count->setRange(0, most > 0 ? static_cast<qreal>(most) : 1);
    count->applyNiceNumbers();
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(count, Qt::AlignLeft);
    QValueAxis* share = PercentAxis(QStringLiteral("Cumulative"));
    chart->addAxis(share, Qt::AlignRight);
    bars->attachAxis(x);
    bars->attachAxis(count);
    line->attachAxis(x);
    line->attachAxis(share);
    connect(set, &QBarSet::hovered, this, [this](bool on, int i) {
        Hover(CauseChart, on, charts_.causes[static_cast<std::size_t>(i)].hover);
    });
    connect(set, &QBarSet::clicked, this, [this](int i) {
        Clicked(NarrowToCause(filter_, charts_.causes[static_cast<std::size_t>(i)]));
    });
    ApplyFonts(chart);
    FitLabels(CauseChart);
}

void StatisticsPane::Hover(Chart chart, bool on, const std::string& text) {
    QChartView* view = views_[chart];
    const QString tip = on ? Q(text) : QString();
    view->setToolTip(tip);
    if (tip.isEmpty()) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(QCursor::pos(), tip, view);
    }
}

void StatisticsPane::Clicked(const std::optional<RunFilter>& narrowed) {
    if (narrowed) {
        Q_EMIT filterNarrowed(*narrowed);
    }
}

void StatisticsPane::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        ApplyTheme();
    }
}

void StatisticsPane::ApplyTheme() {
    // The charts follow the window's palette: dark text on light, light on dark.
    dark_ = palette().color(QPalette::Window).lightness() < 128;
    for (QChart* chart : charts2d_) {
        chart->setTheme(dark_ ? QChart::ChartThemeDark : QChart::ChartThemeLight);
        chart->setBackgroundRoundness(0);
        ApplyFonts(chart);
    }
    // A theme colours every set anew: not judged stays grey.
    DrawLots();
}

void StatisticsPane::ApplyFonts(QChart* chart) {
    // The theme's fonts are its own; the window's scale with the screen.
    QFont title = font();
    title.setBold(true);
    chart->setTitleFont(title);
    chart->legend()->setFont(font());
    for (QAbstractAxis* axis : chart->axes()) {
        axis->setLabelsFont(font());
        axis->setTitleFont(font());
    }
}

void StatisticsPane::FitLabels(Chart chart) {
    // Level while every label fits its place, else upright: slanted labels
    // are cut short.
    for (QAbstractAxis* axis : charts2d_[chart]->axes(Qt::Horizontal)) {
        QStringList labels;
        if (auto* bars = qobject_cast<QBarCategoryAxis*>(axis)) {
            labels = bars->categories();
        } else if (auto* places = qobject_cast<QCategoryAxis*>(axis)) {
            labels = places->categoriesLabels();
        } else {
            continue;
        }
        const QFontMetrics metrics(font());
        const int room = views_[chart]->width() * 3 / 4 / std::max<int>(1, labels.size());
        int angle = 0;
        for (const QString& label : labels) {
            if (metrics.horizontalAdvance(label) + 2 * metrics.averageCharWidth() > room) {
                angle = -90;
            }
        }
        if (axis->labelsAngle() != angle) {
            axis->setLabelsAngle(angle);
        }
    }
}

void StatisticsPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (int c = 0; c < ChartCount; ++c) {
        FitLabels(static_cast<Chart>(c));
    }
}

QString StatisticsPane::Export(Chart chart, const QString& path) const {
    QChartView* view = views_[chart];
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const bool svg = path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive);
    bool drawn = false;
    if (svg) {
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setSize(view->size());
        generator.setViewBox(QRect(QPoint(0, 0), view->size()));
        generator.setTitle(charts2d_[chart]->title());
        QPainter painter;
        drawn = painter.begin(&generator);
        if (drawn) {
            view->render(&painter);
            drawn = painter.end();
        }
    } else {
        drawn = view->grab().save(&buffer, "PNG");
    }
    if (!drawn || bytes.isEmpty()) {
        return QStringLiteral("The chart could not be drawn for %1.")
            .arg(QFileInfo(path).fileName());
    }
    // The file is replaced only by a complete image.
    const std::error_code ec = platform::ReplaceFileContents(
        ToFsPath(path).string(),
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (ec) {
        return QStringLiteral("The chart was not saved to %1: %2.")
            .arg(QFileInfo(path).fileName(), QString::fromLocal8Bit(ec.message()));
    }
    return {};
}

void StatisticsPane::AskExport(Chart chart, bool svg) {
    const QString suffix = svg ? QStringLiteral("svg") : QStringLiteral("png");
    const QString name = QString::fromLatin1(kFileNames[chart]) + QLatin1Char('.') + suffix;
    QString path;
    if (ExportHook()) {
        path = ExportHook()(this, name);
    } else {
        QFileDialog dialog(this);
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters(
            {svg ? QStringLiteral("SVG images (*.svg)") : QStringLiteral("PNG images (*.png)")});
        dialog.setDefaultSuffix(suffix);
        dialog.selectFile(name);
        if (dialog.exec() == QDialog::Accepted) {
            path = dialog.selectedFiles().value(0);
        }
    }
    if (path.isEmpty()) {
        return;
    }
    // The format is the one chosen, whatever the name ends in.
    if (!path.endsWith(QLatin1Char('.') + suffix, Qt::CaseInsensitive)) {
        path += QLatin1Char('.') + suffix;
        // The dialog only asked about the name it was given.
        if (QFileInfo::exists(path) && !ConfirmReplace(this, path)) {
            return;
        }
    }
    if (const QString failed = Export(chart, path); !failed.isEmpty()) {
        ShowMessage(this, failed);
    }
}

}  // namespace vark
