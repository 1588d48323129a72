// The rows a list or tree list shows: read on demand from a queue the program owns.
//
// Rows and columns count from 1. A backend reads only the rows it shows, so a list over a
// long queue costs nothing for the rows out of sight. After changing the queue the program
// tells the window (Window::Display of the list, or Window::RowsChanged).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zelt::runtime {

inline constexpr int kDefaultColour = -1;

// One cell: its text (before the column's picture), icon and colours. Colours are 0xRRGGBB,
// -1 leaves the list format's colour in place.
struct ListCell {
    ListCell() = default;
    explicit ListCell(std::string t, int i = 0) : text(std::move(t)), icon(i) {}
    static ListCell Icon(int i) { return ListCell({}, i); }

    std::string text;
    int icon = 0;  // 1-based into the list's icon names; 0 = none
    int foreground = kDefaultColour;
    int background = kDefaultColour;
    int selected_foreground = kDefaultColour;
    int selected_background = kDefaultColour;
};

class ListSource {
  public:
    virtual ~ListSource() = default;
    virtual int RowCount() const = 0;
    virtual ListCell Cell(int row, int column) const = 0;
    // Tree lists: the depth of a row (the root row 0 or 1); negative = a collapsed node
    // whose children are not in the queue.
    virtual int Level(int row) const {
        (void)row;
        return 1;
    }
};

// A list over a std::vector the program owns, one function per column.
template <class Row>
class QueueList final : public ListSource {
  public:
    using Column = std::function<ListCell(const Row&)>;
    QueueList(const std::vector<Row>& rows, std::vector<Column> columns,
              std::function<int(const Row&)> level = {})
        : rows_(rows), columns_(std::move(columns)), level_(std::move(level)) {}

    int RowCount() const override { return static_cast<int>(rows_.size()); }
    ListCell Cell(int row, int column) const override {
        if (row < 1 || row > RowCount() || column < 1 || column > static_cast<int>(columns_.size()))
            return {};
        return columns_[static_cast<std::size_t>(column - 1)](
            rows_[static_cast<std::size_t>(row - 1)]);
    }
    int Level(int row) const override {
        if (!level_ || row < 1 || row > RowCount()) return 1;
        return level_(rows_[static_cast<std::size_t>(row - 1)]);
    }

  private:
    const std::vector<Row>& rows_;
    std::vector<Column> columns_;
    std::function<int(const Row&)> level_;
};

}  // namespace zelt::runtime
