#include "framework/error_reporter.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "framework/default_errors.hpp"
#include "framework/standard_error_log.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/values/clock_source.hpp"

namespace zelt::framework {
namespace {
namespace fs = std::filesystem;

// Remembers what would have been shown and answers with a chosen button.
struct RecordingPresenter final : MessagePresenter {
    struct Shown {
        std::string text, caption;
        std::uint32_t icon, buttons, default_button;
    };
    std::vector<Shown> shown;
    std::vector<std::size_t> history_sizes;
    std::uint32_t answer = 0;  // 0: the default button
    std::uint32_t PlainMessage(std::string_view text, std::string_view caption, std::uint32_t i,
                               std::uint32_t b, std::uint32_t d, std::uint32_t) override {
        shown.push_back({std::string(text), std::string(caption), i, b, d});
        return answer ? answer : d;
    }
    std::uint32_t ShowHistory(std::string_view caption, std::uint32_t i, std::uint32_t b,
                              std::uint32_t d, const std::vector<HistoryEntry>& h) override {
        shown.push_back({"<history>", std::string(caption), i, b, d});
        history_sizes.push_back(h.size());
        return answer ? answer : d;
    }
};

// A log that keeps its lines in memory.
struct MemoryLog final : ErrorLogSink {
    std::vector<std::string> lines;
    int opens = 0, closes = 0;
    bool fail = false;
    Level Open(bool) override { return ++opens, fail ? LevelNotify : LevelOk; }
    Level Close(bool) override { return ++closes, fail ? LevelNotify : LevelOk; }
    Level Take(std::string_view line) override {
        if (fail) return LevelNotify;
        lines.emplace_back(line);
        return LevelOk;
    }
};

class ErrorReporterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        errors.Init(&log);
        errors.SetPresenter(&presenter);
        errors.SetHalt([this](int status, std::string_view msg) {
            halts.push_back(std::to_string(status) + ":" + std::string(msg));
        });
        runtime::ClearError();
    }
    void TearDown() override { errors.Kill(); }

    runtime::ScopedClockSource clock{std::make_shared<runtime::VirtualClockSource>(
        runtime::LocalDateTime{2026, 12, 7, 9, 5, 30, 120})};
    MemoryLog log;
    RecordingPresenter presenter;
    ErrorReporter errors;
    std::vector<std::string> halts;
};

TEST_F(ErrorReporterTest, DefaultTableInStoredOrderWithExactTexts) {
    std::vector<int> ids;
    for (const auto& e : errors.Errors()) ids.push_back(static_cast<int>(e.Id));
    EXPECT_EQ(ids, (std::vector<int>{27, 26, 10, 24, 17, 18, 16, 14, 31, 30, 4,  6,  7, 34, 33,
                                     20, 38, 12, 8,  13, 32, 19, 36, 37, 23, 25, 11, 9, 35, 21,
                                     1,  40, 3,  28, 5,  15, 22, 2,  39, 41, 42, 43, 44}));
    ASSERT_TRUE(errors.SetId(ErrorId{32}));
    EXPECT_EQ(errors.CurrentEntry().Title, "Auto Increment Error");
    EXPECT_EQ(errors.CurrentEntry().Fatality, LevelAsk);
    EXPECT_EQ(errors.CurrentEntry().Message,
              "Attempts to automatically number this record have failed.|File: %File|Error: "
              "%ErrorText.|Try Again?");
    ASSERT_TRUE(errors.SetId(ErrorId{39}));
    EXPECT_EQ(errors.CurrentEntry().Fatality, LevelProgram);
    EXPECT_EQ(errors.CurrentEntry().Title, "File Usage Error");
    ASSERT_TRUE(errors.SetId(ErrorId{44}));
    EXPECT_EQ(errors.CurrentEntry().Message, "%Message ");
    EXPECT_EQ(errors.GetCategory(ErrorId{13}), "QRV");
}

TEST_F(ErrorReporterTest, LaterBlockOverridesAndPreviousYieldsEarlierTemplate) {
    static const std::vector<std::uint8_t> block = [] {
        const ErrorDeclaration d[] = {{13, LevelNotify, "Duplicate!", "Ours. %Previous"},
                                      {200, LevelNotify, "Own", "[%previous]"}};
        return PackErrorBlock(d);
    }();
    errors.AddErrors(block);
    errors.MessageText = "APP:DriveKey";
    EXPECT_EQ(errors.Raise(ErrorId{13}), LevelNotify);
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].caption, "Duplicate!");
    // The earlier template comes in raw: its own tokens stay as they are.
    EXPECT_EQ(presenter.shown[0].text,
              "Ours. Adding this record creates a duplicate entry for the key: %Message");
    errors.Raise(ErrorId{200});
    EXPECT_EQ(presenter.shown[1].text, "[]");

    // A block cut short adds its whole records only.
    std::vector<std::uint8_t> cut = PackErrorBlock(
        std::vector<ErrorDeclaration>{{300, LevelNotify, "A", "a"}, {301, LevelNotify, "B", "b"}});
    cut.resize(cut.size() - 1);
    std::size_t before = errors.Errors().size();
    static std::vector<std::uint8_t> keep;
    keep = cut;
    errors.AddErrors(keep);
    EXPECT_EQ(errors.Errors().size(), before + 1);
}

TEST_F(ErrorReporterTest, TokenReplacement) {
    static const std::vector<std::uint8_t> block = [] {
        const ErrorDeclaration d[] = {
            {100, LevelNotify, "T", "%ERRORTEXT|%errorcode|%Error|%FileErrorCode|%FileError|%File"},
            {101, LevelNotify, "T", "no tokens at all: 100%"},
            {102, LevelNotify, "T", "%File and %FILE in %Procedure (%Category) %Field"}};
        return PackErrorBlock(d);
    }();
    errors.AddErrors(block);
    errors.SetFile("APPS.PLM");
    runtime::PostError(runtime::err::AccessDenied);
    errors.Raise(ErrorId{100});
    EXPECT_EQ(presenter.shown.back().text,
              "Access Denied (5)|5|Access Denied|5|Access Denied|APPS.PLM");

    // Code 90 shows the driver's own text and code.
    runtime::PostFileSystemError("17", "Possible data corruption in file");
    errors.Raise(ErrorId{100});
    EXPECT_EQ(presenter.shown.back().text,
              "Possible data corruption in file (17)|90|File System Error|17|"
              "Possible data corruption in file|APPS.PLM");

    errors.Raise(ErrorId{101});
    EXPECT_EQ(presenter.shown.back().text, "no tokens at all: 100%");

    // A value holding a token is inserted once and not expanded again.
    errors.SetFile("%File");
    errors.SetField("PRO:ProjectName");
    errors.SetCategory(ErrorId{102}, "CAT");
    errors.Raise(ErrorId{102});
    EXPECT_EQ(presenter.shown.back().text, "%File and %File in  (CAT) PRO:ProjectName");

    errors.SetProcedureName("Main");
    errors.SetProcedureName("UpdateApps");
    std::string other_thread;
    std::thread([&] {
        errors.SetProcedureName("Worker");
        other_thread = errors.GetProcedureName();
        errors.SetProcedureName();
    }).join();
    EXPECT_EQ(other_thread, "Worker");
    EXPECT_EQ(errors.GetProcedureName(), "UpdateApps");
    errors.SetProcedureName();
    EXPECT_EQ(errors.GetProcedureName(), "Main");
    errors.SetProcedureName();
    errors.SetProcedureName();  // one pop too many does no harm
    EXPECT_EQ(errors.GetProcedureName(), "");
}

TEST_F(ErrorReporterTest, HandlersByFatality) {
    presenter.answer = button::No;
    EXPECT_EQ(errors.Raise(msg::ConfirmDelete), LevelCancel);
    EXPECT_EQ(presenter.shown.back().buttons, button::Yes | button::No);
    EXPECT_EQ(presenter.shown.back().default_button, button::Yes);
    EXPECT_EQ(presenter.shown.back().icon, icon::Exclamation);
    presenter.answer = button::Yes;
    EXPECT_EQ(errors.Raise(msg::ConfirmDelete), LevelOk);
    EXPECT_EQ(errors.Raise(msg::NoRecords), LevelNotify);
    EXPECT_EQ(presenter.shown.back().buttons, button::Ok);
    EXPECT_EQ(presenter.shown.back().icon, icon::Asterisk);
    EXPECT_TRUE(halts.empty());

    errors.SetFile("TF.PLM");
    EXPECT_EQ(errors.Raise(msg::UseClosedFile), LevelFatal);
    EXPECT_EQ(
        presenter.shown.back().text,
        "Attempt to use file (TF.PLM) before it was opened  Press OK to end this application");
    EXPECT_EQ(halts, (std::vector<std::string>{"3:File Usage Error"}));

    // AskMessage: own buttons, neither logged nor remembered.
    errors.LogErrors = true;
    errors.HistoryThreshold = -1;
    presenter.answer = 0;
    EXPECT_EQ(errors.AskMessage(msg::SaveRecord, button::Yes | button::No | button::Cancel,
                                button::Cancel),
              button::Cancel);
    EXPECT_EQ(presenter.shown.back().caption, "Save Record");
    EXPECT_TRUE(log.lines.empty());
    EXPECT_TRUE(errors.History().empty());

    // An identifier without an entry is still told, as a note.
    errors.HistoryThreshold = 0;
    EXPECT_EQ(errors.Raise(ErrorId{999}), LevelNotify);
    EXPECT_EQ(presenter.shown.back().caption, "Unknown Error");
}

TEST_F(ErrorReporterTest, HistoryThresholdAndViewLevel) {
    errors.HistoryThreshold = 5;
    for (int i = 0; i < 6; ++i) {
        errors.RaiseWithMessage(msg::SmtpError, "mail " + std::to_string(i));
    }
    ASSERT_EQ(errors.History().size(), 5u);
    EXPECT_EQ(errors.History().front().Txt, "The following SMTP Error occurred: mail 1 ");
    EXPECT_EQ(errors.History().front().Category, "QRV");
    EXPECT_EQ(errors.History().front().Id, msg::SmtpError);
    // With history on, a note below the view level is not shown and gets the default.
    EXPECT_TRUE(presenter.shown.empty());

    errors.HistoryResetOnView = true;
    errors.Raise(msg::CreateError);  // fatal: the view level
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].text, "<history>");
    EXPECT_EQ(presenter.history_sizes[0], 5u);
    EXPECT_TRUE(errors.History().empty());
    EXPECT_EQ(halts.size(), 1u);

    errors.HistoryThreshold = -1;
    for (int i = 0; i < 12; ++i) errors.Raise(msg::NoRecords);
    EXPECT_EQ(errors.History().size(), 12u);
    errors.ViewHistory();
    EXPECT_EQ(presenter.shown.back().caption, "Errors History");
    EXPECT_EQ(presenter.shown.back().buttons, button::Ok | button::Help);
}

TEST_F(ErrorReporterTest, SilentAnswersDefaultButStillLogsAndRemembers) {
    errors.Silent = true;
    errors.LogErrors = true;
    errors.HistoryThreshold = 10;
    presenter.answer = button::No;
    EXPECT_EQ(errors.Raise(msg::ConfirmDelete), LevelOk);
    EXPECT_EQ(errors.AskMessage(msg::ConfirmCancel, button::Yes | button::No, button::No),
              button::No);
    EXPECT_TRUE(presenter.shown.empty());
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(errors.History().size(), 1u);
}

TEST_F(ErrorReporterTest, LogLineFormAndFailingLogDoesNotStopTheMessage) {
    errors.LogErrors = true;
    errors.SetFile("APPS.PLM");
    errors.Raise(msg::NoRecords);
    ASSERT_EQ(log.lines.size(), 1u);
    const std::string& line = log.lines[0];
    // Date picture 17 and time picture 8 follow the regional settings (defaults here).
    EXPECT_EQ(line, "12/07/26@09:05:30 AM --> There are no records available to process.");
    EXPECT_EQ(log.opens, 1);
    EXPECT_EQ(log.closes, 1);

    log.fail = true;
    EXPECT_EQ(errors.Raise(msg::NoRecords), LevelNotify);
    EXPECT_EQ(presenter.shown.size(), 2u);
    EXPECT_EQ(log.opens, 2);
    EXPECT_EQ(log.closes, 2);
}

class StandardErrorLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("zelt_errlog_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        old_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    static std::string Read(const std::string& name) {
        std::ifstream in(name);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir_, old_;
};

TEST_F(StandardErrorLogTest, OpenCountSharesOneFileAndTakeNeedsOpen) {
    StandardErrorLog log;
    EXPECT_EQ(log.Take("early"), LevelNotify);
    EXPECT_EQ(log.Close(false), LevelOk);  // nothing open: nothing to do
    EXPECT_EQ(log.OpenCount(), 0);
    EXPECT_EQ(log.Open(false), LevelOk);
    EXPECT_EQ(log.Open(false), LevelOk);
    EXPECT_EQ(log.OpenCount(), 2);
    EXPECT_EQ(log.Take("one"), LevelOk);
    EXPECT_EQ(log.Close(false), LevelOk);
    EXPECT_TRUE(log.IsOpen());
    EXPECT_EQ(log.Take("two\nlines"), LevelOk);
    EXPECT_EQ(log.Close(false), LevelOk);
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(log.Open(false), LevelOk);
    EXPECT_EQ(log.Open(false), LevelOk);
    EXPECT_EQ(log.Close(true), LevelOk);  // forced: closed, count back to 0
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(log.OpenCount(), 0);
    EXPECT_EQ(Read("QRVError.Log"), "one\ntwo lines\n");

    StandardErrorLog nowhere((dir_ / "no" / "such" / "dir.log").string());
    EXPECT_EQ(nowhere.Open(false), LevelNotify);
}

TEST_F(StandardErrorLogTest, FatalErrorLogsThenEndsWithNonZeroStatus) {
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            ErrorReporter errors;
            errors.Init();
            errors.LogErrors = true;
            errors.SetFile("PROJECTS.PLM");
            runtime::PostError(runtime::err::AccessDenied);
            errors.Raise(msg::OpenFailed);
        },
        ::testing::ExitedWithCode(kFatalExitStatus), "File Access Error");
    std::string text = Read("QRVError.Log");
    EXPECT_NE(text.find(" --> File PROJECTS.PLM could not be opened.  Error: Access Denied (5)."
                        "  Press OK to end this application\n"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace zelt::framework
