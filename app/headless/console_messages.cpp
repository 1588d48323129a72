#include "app/headless/console_messages.hpp"

#include "runtime/report/report_pdf.hpp"
#include "runtime/window/window.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {

std::string ConsoleMessageText(std::string_view caption, std::string_view text, int buttons,
                               int answer) {
    std::string out;
    if (!caption.empty()) out.append(caption).append(": ");
    for (char c : text) out += c == '|' ? '\n' : c;
    if ((buttons & ~runtime::button::Ok) != 0) {
        const std::string_view label = runtime::ButtonLabel(answer);
        std::string plain;
        for (char c : label) {
            if (c != '&') plain += c;
        }
        out.append(" [answered ").append(plain.empty() ? "nothing" : plain).append("]");
    }
    return out;
}

void WriteLine(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

std::uint32_t ConsolePresenter::PlainMessage(std::string_view text, std::string_view caption,
                                             std::uint32_t, std::uint32_t buttons,
                                             std::uint32_t default_button, std::uint32_t) {
    runtime::MessageRequest request;
    request.buttons = static_cast<int>(buttons);
    request.default_button = static_cast<int>(default_button);
    const int answer = runtime::EffectiveDefaultButton(request);
    WriteLine(stderr, ConsoleMessageText(caption, text, request.buttons, answer));
    return static_cast<std::uint32_t>(answer);
}

std::uint32_t ConsolePresenter::ShowHistory(std::string_view caption, std::uint32_t, std::uint32_t,
                                            std::uint32_t default_button,
                                            const std::vector<framework::HistoryEntry>& history) {
    for (const framework::HistoryEntry& entry : history) {
        WriteLine(stderr, ConsoleMessageText(caption, entry.Txt, runtime::button::Ok, 0));
    }
    return default_button;
}

void ConsoleBackend::WindowOpened(runtime::Window& window) {
    if (refused_.empty()) refused_ = window.Title();
    WriteLine(stderr, "zelt: the headless mode opens no window (\"" + window.Title() + "\")");
    window.System().Halt("a window was opened in the headless mode");
}

int ConsoleBackend::ShowMessage(const runtime::MessageRequest& request) {
    const int answer = runtime::EffectiveDefaultButton(request);
    WriteLine(stderr, ConsoleMessageText(request.caption, request.text, request.buttons, answer));
    return answer;
}

bool ConsoleBackend::SaveReportPdf(const runtime::ReportDocument& report, const std::string& path) {
    return runtime::WriteReportPdf(report, path);
}

}  // namespace zelt::app
