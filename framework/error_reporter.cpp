#include "framework/error_reporter.hpp"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "framework/default_errors.hpp"
#include "framework/standard_error_log.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/values/day_number.hpp"
#include "runtime/values/pictures.hpp"

namespace zelt::framework {
namespace {

constexpr std::size_t kContextLimit = 255;
constexpr std::size_t kTextLimit = 2000;
constexpr std::size_t kHistoryTextLimit = 1024;
constexpr std::string_view kFatalSuffix = "  Press OK to end this application";

std::string Cut(std::string_view text, std::size_t limit) {
    return std::string(text.substr(0, limit));
}

// Finds `token` in `text` from `from` on, ignoring letter case.
std::size_t FindIgnoringCase(const std::string& text, std::string_view token, std::size_t from) {
    auto it = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                          token.begin(), token.end(), [](char a, char b) {
                              return std::tolower(static_cast<unsigned char>(a)) ==
                                     std::tolower(static_cast<unsigned char>(b));
                          });
    return it == text.end() ? std::string::npos : static_cast<std::size_t>(it - text.begin());
}

// Replaces every occurrence of `token`. The search goes on after the inserted text, so a
// value that itself contains the token (a file named "%File") is inserted once, not forever.
void ReplaceAll(std::string& text, std::string_view token, std::string_view value) {
    std::size_t at = 0;
    while ((at = FindIgnoringCase(text, token, at)) != std::string::npos) {
        text.replace(at, token.size(), value);
        at += value.size();
    }
}

void DefaultHalt(int status, std::string_view stop_message) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(stop_message.size()), stop_message.data());
    std::fflush(nullptr);
    std::exit(status);
}

}  // namespace

std::uint32_t CurrentThreadNumber() {
    return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

ErrorReporter::ErrorReporter() : halt_(DefaultHalt) {
    unknown_.Title = "Unknown Error";
    unknown_.Message = "Error %ErrorCode (%ErrorText) was raised with an unknown identifier.";
    unknown_.Fatality = LevelNotify;
}

ErrorReporter::~ErrorReporter() = default;

void ErrorReporter::SetHalt(HaltFunction halt) {
    halt_ = halt ? std::move(halt) : DefaultHalt;
}

void ErrorReporter::Init(ErrorLogSink* log) {
    std_error_log_ = std::make_unique<StandardErrorLog>();
    error_log_ = log ? log : std_error_log_.get();
    DefaultCategory = "QRV";
    HistoryThreshold = 0;
    HistoryViewLevel = LevelFatal;
    HistoryResetOnView = false;
    errors_.clear();
    current_.reset();
    AddErrors(DefaultErrorBlock());
    {
        std::lock_guard lock(proc_mutex_);
        proc_names_.clear();
    }
}

void ErrorReporter::Kill() {
    errors_.clear();
    current_.reset();
    history_.clear();
    {
        std::lock_guard lock(proc_mutex_);
        proc_names_.clear();
    }
    if (error_log_ == std_error_log_.get()) error_log_ = nullptr;
    std_error_log_.reset();
}

void ErrorReporter::AddErrors(std::span<const std::uint8_t> block) {
    // A block that ends early adds the records that are whole and ignores the rest.
    if (block.size() < 2) return;
    std::size_t count = block[0] | (static_cast<std::size_t>(block[1]) << 8);
    std::size_t at = 2;
    auto text = [&](std::string_view& out) {
        if (at >= block.size()) return false;
        std::size_t length = block[at++];
        if (at + length > block.size()) return false;
        out = std::string_view(reinterpret_cast<const char*>(block.data() + at), length);
        at += length;
        return true;
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (at + 3 > block.size()) return;
        ErrorEntry entry;
        entry.Id = static_cast<ErrorId>(block[at] | (block[at + 1] << 8));
        entry.Fatality = static_cast<Level>(block[at + 2]);
        at += 3;
        if (!text(entry.Title) || !text(entry.Message)) return;
        errors_.push_back(std::move(entry));
    }
}

void ErrorReporter::SetFile(std::string_view name) {
    FileName = Cut(name, kContextLimit);
}
void ErrorReporter::SetField(std::string_view name) {
    FieldName = Cut(name, kContextLimit);
}

void ErrorReporter::SetCategory(ErrorId id, std::string_view category) {
    if (id == kAnyId) {
        DefaultCategory = std::string(category);
        return;
    }
    for (auto it = errors_.rbegin(); it != errors_.rend(); ++it) {
        if (it->Id == id) {
            it->Category = std::string(category);
            return;
        }
    }
}

std::string ErrorReporter::GetCategory(ErrorId id) const {
    if (id == kAnyId) return DefaultCategory;
    for (auto it = errors_.rbegin(); it != errors_.rend(); ++it) {
        if (it->Id == id) return it->Category.empty() ? DefaultCategory : it->Category;
    }
    return DefaultCategory;
}

void ErrorReporter::SetProcedureName(std::optional<std::string_view> name) {
    std::uint32_t thread = CurrentThreadNumber();
    std::lock_guard lock(proc_mutex_);
    if (name) {
        proc_names_.push_back({thread, std::string(*name)});
        return;
    }
    for (auto it = proc_names_.rbegin(); it != proc_names_.rend(); ++it) {
        if (it->Thread == thread) {
            proc_names_.erase(std::next(it).base());
            return;
        }
    }
}

std::string ErrorReporter::GetProcedureName() const {
    std::uint32_t thread = CurrentThreadNumber();
    std::lock_guard lock(proc_mutex_);
    for (auto it = proc_names_.rbegin(); it != proc_names_.rend(); ++it) {
        if (it->Thread == thread) return it->Name;
    }
    return {};
}

void ErrorReporter::CaptureErrorState() {
    SaveErrorCode = runtime::CurrentErrorCode();
    SaveError = Cut(runtime::CurrentErrorText(), kContextLimit);
    SaveFileErrorCode = Cut(runtime::CurrentFileErrorCode(), kContextLimit);
    SaveFileError = Cut(runtime::CurrentFileErrorText(), kContextLimit);
}

Level ErrorReporter::Raise(ErrorId id) {
    CaptureErrorState();
    return Dispatch(id);
}

Level ErrorReporter::RaiseWithMessage(ErrorId id, std::string_view text) {
    MessageText = Cut(text, kContextLimit);
    return Raise(id);
}

Level ErrorReporter::Dispatch(ErrorId id) {
    SetId(id);
    switch (CurrentEntry().Fatality) {
        case LevelOk:
            return HandleOk();
        case LevelAsk:
        case LevelCancel:
            return HandleAsk();
        case LevelProgram:
            return HandleProgram();
        case LevelFatal:
            return HandleFatal();
        case LevelNotify:
            HandleNotify();
            return LevelNotify;
        default:
            return HandleOther();
    }
}

std::uint32_t ErrorReporter::AskMessage(ErrorId id, std::uint32_t buttons,
                                        std::uint32_t default_button) {
    if (Silent) return default_button;
    SetId(id);
    return PlainMessage(BuildText(), CurrentEntry().Title, icon::Exclamation, buttons,
                        default_button);
}

bool ErrorReporter::SetId(ErrorId id) {
    for (std::size_t i = errors_.size(); i-- > 0;) {
        if (errors_[i].Id == id) {
            current_ = i;
            return true;
        }
    }
    current_.reset();
    unknown_.Id = id;
    return false;
}

const ErrorEntry& ErrorReporter::CurrentEntry() const {
    return current_ ? errors_[*current_] : unknown_;
}

std::string ErrorReporter::BuildText() const {
    const ErrorEntry& entry = CurrentEntry();
    std::string text(entry.Message);
    std::string error_text = SaveErrorCode == runtime::err::FileSystemError
                                 ? SaveFileError + " (" + SaveFileErrorCode + ")"
                                 : SaveError + " (" + std::to_string(SaveErrorCode) + ")";
    // Longer tokens go before the tokens that are their prefixes.
    ReplaceAll(text, "%ErrorCode", std::to_string(SaveErrorCode));
    ReplaceAll(text, "%ErrorText", error_text);
    ReplaceAll(text, "%Error", SaveError);
    ReplaceAll(text, "%FileErrorCode", SaveFileErrorCode);
    ReplaceAll(text, "%FileError", SaveFileError);
    ReplaceAll(text, "%File", FileName);
    ReplaceAll(text, "%Message", MessageText);
    ReplaceAll(text, "%Field", FieldName);
    ReplaceAll(text, "%Procedure", GetProcedureName());
    ReplaceAll(text, "%Category", GetCategory(entry.Id));
    if (FindIgnoringCase(text, "%Previous", 0) != std::string::npos) {
        std::string_view previous;
        if (current_) {
            for (std::size_t i = *current_; i-- > 0;) {
                if (errors_[i].Id == entry.Id) {
                    previous = errors_[i].Message;
                    break;
                }
            }
        }
        ReplaceAll(text, "%Previous", previous);
    }
    if (text.size() > kTextLimit) text.resize(kTextLimit);
    return text;
}

Level ErrorReporter::HandleOk() {
    BuildText();
    return LevelOk;
}

Level ErrorReporter::HandleAsk() {
    std::uint32_t answer = ShowMessage(BuildText(), CurrentEntry().Title, icon::Exclamation,
                                       button::Yes | button::No, button::Yes);
    return answer == button::Yes ? LevelOk : LevelCancel;
}

Level ErrorReporter::HandleNotify() {
    ShowMessage(BuildText(), CurrentEntry().Title, icon::Asterisk, button::Ok, button::Ok);
    return LevelNotify;
}

Level ErrorReporter::HandleFatal() {
    std::string text = BuildText() + std::string(kFatalSuffix);
    std::string title(CurrentEntry().Title);
    ShowMessage(text, title, icon::Asterisk, button::Ok, button::Ok);
    // A fatal failure ends the program with a status that says so.
    halt_(kFatalExitStatus, title);
    return LevelFatal;
}

Level ErrorReporter::HandleProgram() {
    return HandleFatal();
}
Level ErrorReporter::HandleOther() {
    return HandleProgram();
}

void ErrorReporter::AddHistory(const HistoryEntry& entry) {
    history_.push_back(entry);
}

std::uint32_t ErrorReporter::ShowMessage(std::string_view text, std::string_view caption,
                                         std::uint32_t icon, std::uint32_t buttons,
                                         std::uint32_t default_button, std::uint32_t style) {
    if (LogErrors && error_log_) {
        // A log that cannot be written never keeps the message from being shown.
        std::string line = runtime::FormatDate(runtime::Today(), 17) + "@" +
                           runtime::FormatTime(runtime::Clock(), 8) + " --> " + std::string(text);
        error_log_->Open(false);
        error_log_->Take(line);
        error_log_->Close(false);
    }
    if (HistoryThreshold != 0) {
        if (HistoryThreshold > 0) {
            std::size_t limit = static_cast<std::size_t>(HistoryThreshold);
            while (!history_.empty() && history_.size() >= limit) history_.erase(history_.begin());
        }
        const ErrorEntry& entry = CurrentEntry();
        AddHistory({GetCategory(entry.Id), Cut(text, kHistoryTextLimit), entry.Id});
    }
    if (Silent) return default_button;
    if (HistoryThreshold == 0) {
        return PlainMessage(text, caption, icon, buttons, default_button, style);
    }
    return ShowWithHistory(text, caption, icon, buttons, default_button, style);
}

std::uint32_t ErrorReporter::ShowWithHistory(std::string_view, std::string_view caption,
                                             std::uint32_t icon, std::uint32_t buttons,
                                             std::uint32_t default_button, std::uint32_t) {
    if (CurrentEntry().Fatality != HistoryViewLevel) return default_button;
    std::uint32_t result = ShowHistory(caption, icon, buttons, default_button);
    if (HistoryResetOnView) history_.clear();
    return result;
}

std::uint32_t ErrorReporter::PlainMessage(std::string_view text, std::string_view caption,
                                          std::uint32_t icon, std::uint32_t buttons,
                                          std::uint32_t default_button, std::uint32_t style) {
    if (presenter_) {
        return presenter_->PlainMessage(text, caption, icon, buttons, default_button, style);
    }
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
    return default_button;
}

std::uint32_t ErrorReporter::ShowHistory(std::string_view caption, std::uint32_t icon,
                                         std::uint32_t buttons, std::uint32_t default_button) {
    if (presenter_)
        return presenter_->ShowHistory(caption, icon, buttons, default_button, history_);
    for (const HistoryEntry& h : history_) {
        std::fprintf(stderr, "%s [%u]: %s\n", h.Category.c_str(), static_cast<unsigned>(h.Id),
                     h.Txt.c_str());
    }
    return default_button;
}

std::uint32_t ErrorReporter::ViewHistory() {
    return ShowHistory("Errors History", icon::Asterisk, button::Ok | button::Help, button::Ok);
}

std::string_view ButtonLabel(std::uint32_t b) {
    switch (b) {
        case button::Ok:
            return "O&k";
        case button::Yes:
            return "&Yes";
        case button::No:
            return "&No";
        case button::Abort:
            return "&Abort";
        case button::Retry:
            return "&Retry";
        case button::Ignore:
            return "&Ignore";
        case button::Cancel:
            return "&Cancel";
        case button::Help:
            return "&Help";
        default:
            return {};
    }
}

}  // namespace zelt::framework
