// BrowseController: the scroll thumb mapped onto the key values of the active order.
#include <algorithm>

#include "framework/browse/browse_controller.hpp"

namespace zelt::framework {

void BrowseController::FillDistribution() {
    SortOrder& order = ActiveOrder();
    if (!order.Thumb || distribution_filled_ || !order.FreeElement.value) return;
    auto* steps = dynamic_cast<StepDistribution*>(order.Thumb.get());
    auto* numbers = dynamic_cast<NumericDistribution*>(order.Thumb.get());
    if (steps && steps->Mode == LookupMode::FromData) {
        // A table filled from the data: every value of the free key element, once.
        std::vector<std::string> values;
        if (ResetView(false) == LevelOk) {
            while (Next() == LevelOk) values.push_back(order.FreeElement.value.Read());
        }
        if (steps->Controls & step::Descending) std::reverse(values.begin(), values.end());
        steps->Fill(values);
    } else if (numbers && numbers->FromData) {
        // The first and the last record of the order give the limits.
        std::string first, last;
        if (ResetView(false) == LevelOk && Next() == LevelOk)
            first = order.FreeElement.value.Read();
        if (ResetView(false) == LevelOk && Previous() == LevelOk)
            last = order.FreeElement.value.Read();
        if (numbers->Controls & step::Descending) std::swap(first, last);
        if (!first.empty()) numbers->SetLimits(first, last);
    } else {
        return;  // a fixed table or fixed limits
    }
    distribution_filled_ = true;
}

void BrowseController::DataChanged() {
    // Limits taken from the first and last record are taken again; a table filled from the
    // data (a walk over every record) waits for the next use of the thumb.
    const SortOrder& order = ActiveOrder();
    const auto* numbers = dynamic_cast<const NumericDistribution*>(order.Thumb.get());
    if (numbers && numbers->FromData) distribution_filled_ = false;
}

void BrowseController::ShowThumb() {
    const SortOrder& order = ActiveOrder();
    if (!window_ || !order.Thumb || !order.FreeElement.value || rows_.empty()) return;
    window_->Window().SetThumb(ListControl,
                               order.Thumb->PercentileOf(order.FreeElement.value.Read()));
}

void BrowseController::TakeThumb(int percentile) {
    SortOrder& order = ActiveOrder();
    if (!order.Thumb || !order.FreeElement.value.Writable()) return;
    FillDistribution();
    order.FreeElement.value.Write(order.Thumb->ValueOf(percentile));
    Reload(kAtBuffer, {}, 1);
}

}  // namespace zelt::framework
