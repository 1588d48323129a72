// A view: the records of a primary table (with its related tables) in the order of an
// order expression, passing a filter expression, read one at a time into the record
// buffers. This is what browses, reports and queries need of the view engine.
//
// Order expressions list field labels, each with "+" (ascending, the default) or "-",
// separated by commas: "+APP:Priority,+APP:Application". Filter expressions compare field
// labels with constants ("APPS1:P_Ref = 5 AND UPPER(APPS1:Application) >= 'M'").
#pragma once

#include <string>
#include <string_view>

#include "runtime/errors/error_codes.hpp"

namespace zelt::framework {

class RecordView {
  public:
    virtual ~RecordView() = default;

    // The name shown as %File in messages about the view.
    virtual std::string Name() const = 0;

    // 0 on success; 52 when it was open already.
    virtual runtime::ErrorCode Open() = 0;
    virtual void Close() = 0;
    // Buffering hints: records per page, pages kept behind and read ahead, seconds kept.
    virtual void SetBuffering(int page_size, int pages_behind, int pages_ahead, int timeout) {
        (void)page_size, (void)pages_behind, (void)pages_ahead, (void)timeout;
    }
    virtual runtime::ErrorCode SetOrder(std::string_view order) = 0;
    virtual runtime::ErrorCode SetFilter(std::string_view filter) = 0;

    // Positions before the first record: Next reads the first, Previous the last.
    virtual runtime::ErrorCode SetStart() = 0;
    // Positions on the order's key values in the buffer: Next reads the first record at or
    // after them, Previous the last one before them.
    virtual runtime::ErrorCode SetAtBuffer() = 0;
    // Positions on a record by its position: Next or Previous reads that record first.
    virtual runtime::ErrorCode ResetTo(std::string_view position) = 0;

    // Reads the next or previous record that passes the filter; 33 at the end.
    virtual runtime::ErrorCode Next() = 0;
    virtual runtime::ErrorCode Previous() = 0;
    // The position of the record last read (empty when none).
    virtual std::string Position() = 0;
    // Reads the record at `position` into the buffers.
    virtual runtime::ErrorCode Reget(std::string_view position) = 0;
};

}  // namespace zelt::framework
