#include <algorithm>
#include <mutex>

#include "runtime/file/ascii_driver.hpp"
#include "runtime/file/dos_driver.hpp"
#include "runtime/file/file_driver.hpp"
#include "runtime/file/table_declaration.hpp"

namespace zelt::runtime {
namespace {

struct Registry {
    std::mutex mutex;
    std::vector<std::shared_ptr<FileDriver>> drivers;

    Registry() {
        drivers.push_back(std::make_shared<DosDriver>());
        drivers.push_back(std::make_shared<AsciiDriver>());
    }
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

void RegisterDriver(std::shared_ptr<FileDriver> driver) {
    if (!driver) return;
    auto& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const std::string name = UpperLabel(driver->Name());
    std::erase_if(registry.drivers, [&](const auto& d) { return UpperLabel(d->Name()) == name; });
    registry.drivers.push_back(std::move(driver));
}

FileDriver* FindDriver(std::string_view name) {
    auto& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const std::string wanted = UpperLabel(name);
    for (const auto& driver : registry.drivers)
        if (UpperLabel(driver->Name()) == wanted) return driver.get();
    return nullptr;
}

std::vector<std::string> RegisteredDriverNames() {
    auto& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    std::vector<std::string> names;
    for (const auto& driver : registry.drivers) names.emplace_back(driver->Name());
    return names;
}

}  // namespace zelt::runtime
