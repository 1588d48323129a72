#include "runtime/window/window_system.hpp"

#include <algorithm>

#include "runtime/report/report_document.hpp"
#include "runtime/values/pictures.hpp"
#include "runtime/window/binding.hpp"
#include "runtime/window/window.hpp"

namespace zelt::runtime {

namespace {
WindowSystem* g_system = nullptr;
PictureFormatter g_format;
PictureParser g_parse;
}  // namespace

WindowSystem* CurrentWindowSystem() {
    return g_system;
}

WindowSystem* InstallWindowSystem(WindowSystem* system) {
    WindowSystem* previous = g_system;
    g_system = system;
    return previous;
}

Window* WindowSystem::FindWindow(std::string_view title) const {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
        if ((*it)->Title() == title) return *it;
    }
    return nullptr;
}

void WindowSystem::WindowOpening(Window& window) {
    if (Window* covered = ActiveWindow()) covered->Post(event::LoseFocus);
    windows_.push_back(&window);
}

void WindowSystem::WindowClosing(Window& window) {
    const bool was_active = ActiveWindow() == &window;
    windows_.erase(std::remove(windows_.begin(), windows_.end(), &window), windows_.end());
    if (was_active && !halted_) {
        if (Window* uncovered = ActiveWindow()) uncovered->Post(event::GainFocus);
    }
}

int WindowSystem::Message(const MessageRequest& request) {
    if (halted_) return EffectiveDefaultButton(request);
    return backend_.ShowMessage(request);
}

int WindowSystem::Message(std::string_view text, std::string_view caption, StockIcon icon,
                          int buttons, int default_button) {
    MessageRequest request;
    request.text = std::string(text);
    request.caption = std::string(caption);
    request.icon = icon;
    request.buttons = buttons;
    request.default_button = default_button;
    return Message(request);
}

int WindowSystem::Popup(std::string_view entries) {
    if (halted_) return 0;
    const PopupMenu menu = ParsePopupMenu(entries);
    const int chosen = backend_.ShowPopup(menu);
    const PopupEntry* entry = menu.Entry(chosen);
    // A disabled entry cannot be chosen.
    return entry && entry->enabled ? chosen : 0;
}

std::optional<std::string> WindowSystem::ChooseFile(const FileChooserRequest& request) {
    if (halted_) return std::nullopt;
    return backend_.ChooseFile(request);
}

std::optional<std::string> WindowSystem::ChooseDirectory(const DirectoryChooserRequest& request) {
    if (halted_) return std::nullopt;
    return backend_.ChooseDirectory(request);
}

void WindowSystem::Beep() {
    backend_.Beep();
}

void WindowSystem::Activate(Window& window) {
    if (!window.IsOpen()) return;
    backend_.Activate(window);
}

void WindowSystem::PlaySound(const std::string& file) {
    backend_.PlaySound(file);
}

void WindowSystem::PushBusy() {
    if (busy_++ == 0) backend_.SetBusyCursor(true);
}

void WindowSystem::PopBusy() {
    if (busy_ > 0 && --busy_ == 0) backend_.SetBusyCursor(false);
}

bool WindowSystem::PreviewReport(const ReportDocument& report) {
    if (halted_) return false;
    return backend_.PreviewReport(report);
}

bool WindowSystem::PrintReport(const ReportDocument& report) {
    if (halted_) return false;
    return backend_.PrintReport(report);
}

bool WindowSystem::SaveReportPdf(const ReportDocument& report, const std::string& path) {
    return backend_.SaveReportPdf(report, path);
}

void WindowSystem::Halt(std::string reason) {
    if (halted_) return;
    halted_ = true;
    halt_reason_ = std::move(reason);
    backend_.Halted();
}

BusyCursor::BusyCursor() : system_(CurrentWindowSystem()) {
    if (system_) system_->PushBusy();
}

BusyCursor::~BusyCursor() {
    if (system_) system_->PopBusy();
}

int Message(std::string_view text, std::string_view caption, StockIcon icon, int buttons,
            int default_button) {
    if (WindowSystem* s = CurrentWindowSystem())
        return s->Message(text, caption, icon, buttons, default_button);
    MessageRequest r;
    r.buttons = buttons;
    r.default_button = default_button;
    return EffectiveDefaultButton(r);
}

int Popup(std::string_view entries) {
    WindowSystem* s = CurrentWindowSystem();
    return s ? s->Popup(entries) : 0;
}

void Beep() {
    if (WindowSystem* s = CurrentWindowSystem()) s->Beep();
}

void PlaySoundFile(const std::string& file) {
    if (WindowSystem* s = CurrentWindowSystem()) s->PlaySound(file);
}

std::optional<std::string> ChooseFile(const FileChooserRequest& request) {
    WindowSystem* s = CurrentWindowSystem();
    return s ? s->ChooseFile(request) : std::nullopt;
}

std::optional<std::string> ChooseDirectory(const DirectoryChooserRequest& request) {
    WindowSystem* s = CurrentWindowSystem();
    return s ? s->ChooseDirectory(request) : std::nullopt;
}

void InstallPictureFormatter(PictureFormatter format, PictureParser parse) {
    g_format = std::move(format);
    g_parse = std::move(parse);
}

std::string FormatByPicture(std::string_view value, std::string_view picture) {
    if (g_format) return g_format(value, picture);
    if (const auto p = ParseDateTimePicture(picture))
        return FormatDateTime(static_cast<std::int32_t>(ParseBoundNumber(value)), *p);
    return std::string(value);
}

std::optional<std::string> ParseByPicture(std::string_view text, std::string_view picture) {
    if (g_parse) return g_parse(text, picture);
    if (const auto p = ParseDateTimePicture(picture)) {
        const auto value = p->kind == DateTimePicture::Kind::Date ? ParseDate(text, p->number)
                                                                  : ParseTime(text, p->number);
        if (!value) return std::nullopt;
        return std::to_string(*value);
    }
    return std::string(text);
}

}  // namespace zelt::runtime
