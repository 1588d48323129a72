// SelectApp: the application picker. A browse over every application of the catalogue,
// sorted by name ("APP &Name" tab) or by priority ("&Priority" tab), each sort with a
// locator on its first column; its Insert, Change and Delete buttons run the application
// form. Opened with the select request, it answers completed with the chosen application in
// the APPS record buffer (the fields of APP:DriveKey, the priority and the project), or
// cancelled with the buffer as it was.
#pragma once

#include "framework/error_reporter.hpp"
#include "framework/window/request_codes.hpp"

namespace zelt::app {

struct SelectAppCtl {
    enum : int {
        Browse1 = 1,
        Select2,
        Insert3,
        Change3,
        Delete3,
        CurrentTab,
        Tab2,  // "APP &Name"
        Tab3,  // "&Priority"
        Close,
    };
};

// Sort orders of the picker's browse.
inline constexpr std::size_t kPickByPriority = 1;  // APP:PriorityKey
inline constexpr std::size_t kPickByName = 2;      // APP:DriveKey

framework::ResponseCode SelectApp(framework::ErrorReporter& errors);

}  // namespace zelt::app
