#include "app/forms/app_columns.hpp"

#include "app/catalogue/catalogue_tables.hpp"
#include "framework/browse/table_view.hpp"

namespace zelt::app {

runtime::ListFormat ApplicationColumns(runtime::Align priority) {
    runtime::ListFormat format;
    format.columns = {runtime::ListColumn("Priority", 8, priority, "@n3"),
                      runtime::ListColumn("Drive & P ath", 40),
                      runtime::ListColumn("Application", 16)};
    return format;
}

void AddApplicationFields(framework::BrowseController& browse) {
    for (int field :
         {apps_field::Priority, apps_field::DrivenPath, apps_field::Application, apps_field::P_Ref})
        browse.AddField(framework::FieldBinding(Apps, field));
}

}  // namespace zelt::app
