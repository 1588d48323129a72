// UpdateProjects: the form that edits one project and, on the same form, which applications
// belong to it. Add App moves an application chosen in the picker (SelectApp) into the
// project, also from another project; Remove App takes one out of it after a question,
// keeping the application in the catalogue; Change runs the application form on the
// selected one. Membership changes are written at once.
//
// A project deleted through the form (the delete request, carried out before the form
// shows) takes its applications with it. A new project that is cancelled gives its
// applications back to the projects they came from before its reserved record goes, so
// that cancelling never deletes an application that was only moved in.
#pragma once

#include "framework/error_reporter.hpp"
#include "framework/window/request_codes.hpp"

namespace zelt::app {

struct UpdateProjectsCtl {
    enum : int {
        CurrentTab = 1,
        Tab1,
        ProjectNamePrompt,
        ProjectName,
        Group1,
        String1,
        Browse2,
        AddAppButton,
        RemoveAppButton,
        Change3,
        Tab2,
        Ok,
        Cancel,
    };
};

// Runs the form with the global request (the caller positions or primes PRO first).
framework::ResponseCode UpdateProjects(framework::ErrorReporter& errors);

}  // namespace zelt::app
