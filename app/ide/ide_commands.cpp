#include "app/ide/ide_commands.hpp"

#include "runtime/conversation/conversation_client.hpp"

namespace zelt::app {

std::string_view ClipText(std::string_view text) {
    const auto end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

namespace {
std::string Clipped(std::string_view full_name) {
    return std::string(ClipText(full_name));
}
}  // namespace

std::string ImportDictionaryCommand(std::string_view full_name) {
    const std::string f = Clipped(full_name);
    return runtime::PadCommand("[ImportDCT(\"" + f + ".TXD\"," + f + ".DCT,0)]");
}

std::string ImportApplicationCommand(std::string_view full_name) {
    const std::string f = Clipped(full_name);
    return runtime::PadCommand("[ImportApp(\"" + f + ".TXA\"," + f + ".APP,0,Replace)]");
}

std::string MakeCommand(std::string_view full_name) {
    return runtime::PadCommand("[ExecuteProject(\"" + Clipped(full_name) + "\")]");
}

std::string ExportApplicationCommand(std::string_view full_name) {
    const std::string f = Clipped(full_name);
    return runtime::PadCommand("[ExportApp(\"" + f + ".App\",\"" + f + ".TXA\",0)]");
}

std::string ExportDictionaryCommand(std::string_view full_name) {
    const std::string f = Clipped(full_name);
    return runtime::PadCommand("[ExportDCT(\"" + f + ".DCT\",\"" + f + ".TXD\",0)]");
}

}  // namespace zelt::app
