// The chart control drawn with Qt Charts: a line of values with the marked points in a
// series of their own, or horizontal bars with their labels, from runtime::ChartData.
#pragma once

#include "runtime/window/window.hpp"

class QWidget;

namespace zelt::platform {

class QtWindow;

QWidget* MakeChart(QtWindow& window, runtime::ControlNumber n);
void SyncChart(QtWindow& window, runtime::ControlNumber n, QWidget* w,
               const runtime::ControlState& s);

}  // namespace zelt::platform
