// ErrorReporter: the one authority for failures and for the standard questions.
//
// Code that meets a condition raises an error identifier; the reporter looks it up in its
// error table (the entry nearest the end wins), builds the text from the entry's template
// and the current context (file, field, message, error codes and texts, procedure),
// optionally logs it and keeps a history, shows it, and returns the level that tells the
// caller how to go on. A fatal entry ends the program after its message.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/error_ids.hpp"
#include "framework/error_log.hpp"
#include "framework/levels.hpp"
#include "framework/message_presenter.hpp"

namespace zelt::framework {

struct ErrorEntry {
    ErrorId Id{};
    std::string_view Message;  // points into the block the entry was added from
    std::string_view Title;
    Level Fatality = LevelNotify;  // as stored: a byte that need not name a level
    std::string Category;          // empty: the reporter's DefaultCategory applies
};

// Ends the program: called after a fatal message with a non-zero status and the stop text.
using HaltFunction = std::function<void(int status, std::string_view stop_message)>;

inline constexpr ErrorId kAnyId{65535};  // SetCategory / GetCategory: the default category
inline constexpr int kFatalExitStatus = 3;

class ErrorReporter {
  public:
    ErrorReporter();
    virtual ~ErrorReporter();
    ErrorReporter(const ErrorReporter&) = delete;
    ErrorReporter& operator=(const ErrorReporter&) = delete;

    // Settings and context; they may be changed at any time.
    std::string DefaultCategory;
    std::string FieldName;
    std::string FileName;
    std::string MessageText;
    std::string SaveError;
    std::int32_t SaveErrorCode = 0;
    std::string SaveFileError;
    std::string SaveFileErrorCode;
    bool Silent = false;
    bool LogErrors = false;
    std::int32_t HistoryThreshold = 0;  // 0 none, >0 at most that many, <0 unbounded
    Level HistoryViewLevel = LevelFatal;
    bool HistoryResetOnView = false;

    // Operations that a derived reporter may replace.
    virtual void AddErrors(std::span<const std::uint8_t> block);
    virtual void AddHistory(const HistoryEntry& entry);
    virtual std::uint32_t ShowHistory(std::string_view caption, std::uint32_t icon,
                                      std::uint32_t buttons, std::uint32_t default_button);
    // Creates the standard log (used unless `log` is given) and the default table.
    virtual void Init(ErrorLogSink* log = nullptr);
    virtual std::uint32_t ShowMessage(std::string_view text, std::string_view caption,
                                      std::uint32_t icon, std::uint32_t buttons,
                                      std::uint32_t default_button, std::uint32_t style = 0);
    virtual std::uint32_t PlainMessage(std::string_view text, std::string_view caption,
                                       std::uint32_t icon, std::uint32_t buttons,
                                       std::uint32_t default_button, std::uint32_t style = 0);
    virtual Level HandleOk();
    virtual Level HandleFatal();
    virtual Level HandleNotify();
    virtual Level HandleOther();
    virtual Level HandleProgram();
    virtual Level HandleAsk();
    virtual std::uint32_t ViewHistory();

    void Kill();

    void SetFile(std::string_view name);
    void SetField(std::string_view name);
    void SetCategory(ErrorId id, std::string_view category);
    std::string GetCategory(ErrorId id) const;
    // With a name: pushes it for the current thread; without: pops the thread's innermost.
    void SetProcedureName(std::optional<std::string_view> name = std::nullopt);
    std::string GetProcedureName() const;

    void CaptureErrorState();
    Level Raise(ErrorId id);
    Level RaiseWithMessage(ErrorId id, std::string_view text);
    Level Dispatch(ErrorId id);
    std::uint32_t AskMessage(ErrorId id, std::uint32_t buttons, std::uint32_t default_button);

    // Makes the last entry of `id` current; false (and a stand-in entry) when there is none.
    bool SetId(ErrorId id);
    // The current entry's text with its tokens replaced (at most 2000 characters).
    std::string BuildText() const;
    const ErrorEntry& CurrentEntry() const;

    const std::vector<ErrorEntry>& Errors() const { return errors_; }
    const std::vector<HistoryEntry>& History() const { return history_; }
    void ClearHistory() { history_.clear(); }
    ErrorLogSink* ErrorLog() const { return error_log_; }
    ErrorLogSink* StdErrorLog() const { return std_error_log_.get(); }

    // Not owned; nullptr: the standard error stream, answering the default button.
    void SetPresenter(MessagePresenter* presenter) { presenter_ = presenter; }
    MessagePresenter* Presenter() const { return presenter_; }
    // Replaces how the program ends after a fatal message (tests, embedding).
    void SetHalt(HaltFunction halt);

  private:
    std::uint32_t ShowWithHistory(std::string_view text, std::string_view caption,
                                  std::uint32_t icon, std::uint32_t buttons,
                                  std::uint32_t default_button, std::uint32_t style);

    std::vector<ErrorEntry> errors_;
    std::optional<std::size_t> current_;  // index into errors_, or the stand-in entry
    ErrorEntry unknown_;
    std::vector<HistoryEntry> history_;
    struct ProcName {
        std::uint32_t Thread;
        std::string Name;
    };
    mutable std::mutex proc_mutex_;
    std::vector<ProcName> proc_names_;
    std::unique_ptr<ErrorLogSink> std_error_log_;
    ErrorLogSink* error_log_ = nullptr;
    MessagePresenter* presenter_ = nullptr;
    HaltFunction halt_;
};

// The thread number recorded with procedure names.
std::uint32_t CurrentThreadNumber();

}  // namespace zelt::framework
