// What a chart control shows: one series of values with a label each, some of them marked.
//
// A chart is a control of its own kind (ControlKind::Chart). The program hands it its data
// with Window::SetChart; the backend draws it (the Qt backend with Qt Charts) and the
// scripted backend keeps it for the tests to read:
//
//     runtime::ChartData d;
//     d.shape = runtime::ChartShape::Line;
//     d.title = "ORDERS.APP: the last 20 makes";
//     d.value_axis = "seconds";
//     d.points = {{"12/07 09:14", 41.5, false}, {"12/07 11:02", 300, true}};
//     window.SetChart(Ctl::Durations, std::move(d));
#pragma once

#include <string>
#include <vector>

namespace zelt::runtime {

enum class ChartShape {
    Line,  // the values in order, joined; marked points stand out
    Bars,  // one horizontal bar per value, the first at the top
};

struct ChartPoint {
    std::string label;  // under the point, or beside the bar (UTF-8)
    double value = 0;
    bool marked = false;  // drawn apart (a failure)
};

struct ChartData {
    ChartShape shape = ChartShape::Line;
    std::string title;
    std::string value_axis;     // the unit of the values
    std::string marked_legend;  // what a marked point means ("failed")
    std::vector<ChartPoint> points;
};

}  // namespace zelt::runtime
