// The applications as the project form and the application picker list them: priority,
// directory and file name, each row also carrying the project number, so that a chosen row
// names its application by the fields of APP:DriveKey.
#pragma once

#include "framework/browse/browse_controller.hpp"
#include "runtime/window/window_declaration.hpp"

namespace zelt::app {

// Field numbers of the applications table (APPS and APPS1 alike).
namespace apps_field {
inline constexpr int DrivenPath = 0;
inline constexpr int Application = 1;
inline constexpr int Tag = 2;
inline constexpr int Priority = 3;
inline constexpr int Target = 4;
inline constexpr int P_Ref = 5;
}  // namespace apps_field

// Columns "Priority" (three digits), "Drive & P ath" and "Application".
runtime::ListFormat ApplicationColumns(runtime::Align priority = runtime::Align::Left);
// The browse's fields in column order, then APP:P_Ref.
void AddApplicationFields(framework::BrowseController& browse);

}  // namespace zelt::app
