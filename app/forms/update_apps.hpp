// UpdateApps: the form through which one application of the catalogue is added, changed,
// deleted or viewed.
//
// The user names the application by its full file name; the form splits it at the last "/"
// into directory and file name, offers file choosers for the application and its target,
// and on Ok checks that the application file exists, that the priority is one from 1 to
// 255, and that the target can be found (asking once per form, and offering to put a bare
// target name in the application's directory). The caller positions or primes the APPS
// record before the call; the project of the record (APP:P_Ref) is kept as it was.
//
//   GlobalRequest() = RequestChange;       // APP holds the record, read under watch
//   if (UpdateApps(errors) == ResponseCompleted) ...
#pragma once

#include "framework/error_reporter.hpp"
#include "framework/window/request_codes.hpp"
#include "runtime/window/window_declaration.hpp"

namespace zelt::app {

// The form's controls by their declaration numbers.
struct UpdateAppsCtl {
    enum : int {
        FullNamePrompt = 1,
        FullName,
        LookupFile,
        DrivenPathPrompt,
        DrivenPath,
        ApplicationPrompt,
        Application,
        TargetPrompt,
        Target,
        LookupFile2,
        String1,
        PriorityPrompt,
        Priority,
        String2,
        Tag,
        Ok,
        Cancel,
    };
};

// Runs the form with the global request; the response is also left in the global response.
framework::ResponseCode UpdateApps(framework::ErrorReporter& errors);

}  // namespace zelt::app
