// Small tables on the in-memory driver and a reporter that records instead of showing, shared
// by the file manager and relation tracker tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/error_reporter.hpp"
#include "framework/file_manager.hpp"
#include "memory_driver.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/file/fixed_string.hpp"
#include "runtime/file/table.hpp"

namespace zelt::framework::testing {

#pragma pack(push, 1)
struct ParentRecord {
    runtime::FixedString<20> Name;
    std::int32_t Ref;
};
struct ChildRecord {
    runtime::FixedString<20> Name;
    std::int32_t Ref;
};
struct GrandRecord {
    runtime::FixedString<20> ChildName;
    runtime::FixedString<10> Note;
};
struct LineRecord {
    runtime::FixedString<4> Order;
    std::int16_t Line;
    runtime::FixedString<10> Text;
};
#pragma pack(pop)

namespace key_attr = runtime::key_attr;

// Parent: unique name, primary auto-numbered Ref. Child: unique name, duplicate Ref key.
// Grand: children of a child by name. Lines: numbered within an order.
struct Tables {
    ParentRecord PAR{};
    ChildRecord CHI{};
    GrandRecord GRA{};
    LineRecord LIN{};
    runtime::Table Parent{runtime::TableDeclaration("PARENT", "PAR", "MEMORY")
                              .FileName("parent.mem")
                              .Record(runtime::AsBytes(PAR))
                              .String("PAR:Name", 0, 20)
                              .Long("PAR:Ref", 20)
                              .Key("PAR:NameKey", key_attr::Opt | key_attr::NoCase, {"PAR:Name"})
                              .Key("PAR:RefKey", key_attr::Opt | key_attr::Primary, {"PAR:Ref"})};
    runtime::Table Child{runtime::TableDeclaration("CHILD", "CHI", "MEMORY")
                             .FileName("child.mem")
                             .Record(runtime::AsBytes(CHI))
                             .String("CHI:Name", 0, 20)
                             .Long("CHI:Ref", 20)
                             .Key("CHI:NameKey", key_attr::NoCase, {"CHI:Name"})
                             .Key("CHI:RefKey", key_attr::Dup | key_attr::Opt, {"CHI:Ref"})};
    runtime::Table Grand{
        runtime::TableDeclaration("GRAND", "GRA", "MEMORY")
            .FileName("grand.mem")
            .Record(runtime::AsBytes(GRA))
            .String("GRA:ChildName", 0, 20)
            .String("GRA:Note", 20, 10)
            .Key("GRA:ChildKey", key_attr::Dup | key_attr::NoCase, {"GRA:ChildName", "GRA:Note"})};
    runtime::Table Lines{runtime::TableDeclaration("LINES", "LIN", "MEMORY")
                             .FileName("lines.mem")
                             .Record(runtime::AsBytes(LIN))
                             .String("LIN:Order", 0, 4)
                             .Short("LIN:Line", 4)
                             .String("LIN:Text", 6, 10)
                             .Key("LIN:OrderKey", 0, {"LIN:Order", "LIN:Line"})};
};

// Remembers messages and answers questions from a script (Yes when the script is empty).
struct ScriptedPresenter final : MessagePresenter {
    struct Shown {
        std::string caption, text;
    };
    std::vector<Shown> shown;
    std::vector<std::uint32_t> answers;
    std::uint32_t PlainMessage(std::string_view text, std::string_view caption, std::uint32_t,
                               std::uint32_t buttons, std::uint32_t d, std::uint32_t) override {
        shown.push_back({std::string(caption), std::string(text)});
        if (!(buttons & button::Yes)) return d;
        if (answers.empty()) return button::Yes;
        std::uint32_t a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    std::uint32_t ShowHistory(std::string_view, std::uint32_t, std::uint32_t, std::uint32_t d,
                              const std::vector<HistoryEntry>&) override {
        return d;
    }
    std::vector<std::string> Captions() const {
        std::vector<std::string> out;
        for (const auto& s : shown) out.push_back(s.caption);
        return out;
    }
};

class ManagerTest : public ::testing::Test {
  protected:
    ManagerTest() {
        MemoryDriver::Reset();
        errors.Init(&no_log);
        errors.SetPresenter(&presenter);
        errors.SetHalt([this](int status, std::string_view title) {
            halts.push_back(std::to_string(status) + ":" + std::string(title));
        });
        runtime::ClearError();
    }
    ~ManagerTest() override { errors.Kill(); }

    struct NoLog final : ErrorLogSink {
        Level Open(bool) override { return LevelOk; }
        Level Close(bool) override { return LevelOk; }
        Level Take(std::string_view) override { return LevelOk; }
    } no_log;
    ScriptedPresenter presenter;
    ErrorReporter errors;
    std::vector<std::string> halts;
    std::unique_ptr<Tables> t = std::make_unique<Tables>();
};

}  // namespace zelt::framework::testing
