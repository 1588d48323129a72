#include "platform/qt/qt_chart.hpp"

#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QHorizontalBarSeries>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>

#include "platform/qt/qt_control_kinds.hpp"
#include "platform/qt/qt_window.hpp"

namespace zelt::platform {

namespace {

// The value axis from 0 to a little above the largest value.
QValueAxis* ValueAxis(const runtime::ChartData& data) {
    double top = 0;
    for (const auto& p : data.points) top = std::max(top, p.value);
    auto* axis = new QValueAxis;
    axis->setRange(0, top > 0 ? top * 1.1 : 1);
    axis->applyNiceNumbers();
    axis->setLabelFormat("%.0f");
    axis->setTitleText(QString::fromStdString(data.value_axis));
    return axis;
}

void ShowLine(QChart* chart, const runtime::ChartData& data) {
    auto* line = new QLineSeries;
    line->setName(QStringLiteral("duration"));
    auto* marked = new QScatterSeries;
    marked->setName(QString::fromStdString(data.marked_legend));
    marked->setColor(QColor(0xC0, 0x20, 0x20));
    marked->setMarkerSize(11);
    QStringList labels;
    for (std::size_t i = 0; i < data.points.size(); ++i) {
        const auto& p = data.points[i];
        line->append(static_cast<double>(i), p.value);
        if (p.marked) marked->append(static_cast<double>(i), p.value);
        labels << QString::fromStdString(p.label);
    }
    chart->addSeries(line);
    chart->addSeries(marked);
    auto* runs = new QBarCategoryAxis;  // one category per run, labelled by its date
    runs->append(labels);
    runs->setLabelsAngle(-90);
    chart->addAxis(runs, Qt::AlignBottom);
    auto* values = ValueAxis(data);
    chart->addAxis(values, Qt::AlignLeft);
    for (QAbstractSeries* series :
         {static_cast<QAbstractSeries*>(line), static_cast<QAbstractSeries*>(marked)}) {
        series->attachAxis(runs);
        series->attachAxis(values);
    }
    if (data.marked_legend.empty() || marked->count() == 0)
        chart->legend()->markers(marked).first()->setVisible(false);
}

void ShowBars(QChart* chart, const runtime::ChartData& data) {
    auto* set = new QBarSet(QString::fromStdString(data.value_axis));
    QStringList labels;
    // The first value at the top: a horizontal bar series draws its first category lowest.
    for (auto p = data.points.rbegin(); p != data.points.rend(); ++p) {
        *set << p->value;
        labels << QString::fromStdString(p->label);
    }
    auto* bars = new QHorizontalBarSeries;
    bars->append(set);
    chart->addSeries(bars);
    auto* names = new QBarCategoryAxis;
    names->append(labels);
    chart->addAxis(names, Qt::AlignLeft);
    auto* values = ValueAxis(data);
    chart->addAxis(values, Qt::AlignBottom);
    bars->attachAxis(names);
    bars->attachAxis(values);
    chart->legend()->hide();
}

}  // namespace

QWidget* MakeChart(QtWindow& window, runtime::ControlNumber n) {
    auto* view = new QChartView;
    view->setRenderHint(QPainter::Antialiasing);
    const auto& d = *window.Model().Declared(n);
    const int w = QtCharWidth(view);
    view->setMinimumSize(w * std::max(d.hint.width, 30),
                         view->fontMetrics().height() * std::max(d.hint.height, 12));
    return view;
}

void SyncChart(QtWindow&, runtime::ControlNumber, QWidget* w, const runtime::ControlState& s) {
    auto* view = static_cast<QChartView*>(w);
    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    if (s.chart) {
        chart->setTitle(QString::fromStdString(s.chart->title));
        if (!s.chart->points.empty()) {
            if (s.chart->shape == runtime::ChartShape::Line) {
                ShowLine(chart, *s.chart);
            } else {
                ShowBars(chart, *s.chart);
            }
        }
    }
    QChart* old = view->chart();
    view->setChart(chart);  // the view owns the new chart; the old one is ours to delete
    delete old;
}

}  // namespace zelt::platform
