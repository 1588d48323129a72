// Shared pieces of the window and browse controller tests: a reporter whose messages go to
// the scripted window system, and a stand-in for a table's managers over a small record.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "framework/error_reporter.hpp"
#include "framework/window/primary_record.hpp"
#include "framework/window/window_message_presenter.hpp"
#include "runtime/window/headless_backend.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::framework::testing {

// A headless session with a reporter wired to it; a script failure fails the test.
struct ControllerSession {
    ControllerSession() {
        errors.Init();
        errors.SetPresenter(&presenter);
        errors.SetHalt([](int, std::string_view text) { ADD_FAILURE() << "halt: " << text; });
        session.script.SetFailureHandler([](const std::string& what) { ADD_FAILURE() << what; });
    }
    // Texts of the message boxes shown so far.
    std::vector<std::string> Captions() const {
        std::vector<std::string> out;
        for (const auto& m : session.script.Messages()) out.push_back(m.request.caption);
        return out;
    }

    runtime::HeadlessSession session;
    WindowMessagePresenter presenter;
    ErrorReporter errors;
};

// The record a stand-in table keeps: a number (the key, numbered automatically), a name and
// a city.
struct Person {
    int id = 0;
    std::string name;
    std::string city;
    bool operator==(const Person&) const = default;
    friend void PrintTo(const Person& p, std::ostream* os) {
        *os << "{" << p.id << ", \"" << p.name << "\", \"" << p.city << "\"}";
    }
};

// A table's managers played in memory: a buffer, stored records by id, snapshots, and
// faults to play. Each operation is counted.
class FakeRecord final : public PrimaryRecord {
  public:
    Person buffer;
    std::map<int, Person> stored;
    int next_id = 1;
    // Faults.
    Level update_result = LevelOk;  // what Update answers when it fails
    int updates_to_fail = 0;
    int deletes_to_fail = 0;
    bool reserve_fails = false;
    bool insert_fails = false;
    std::optional<Person> changed_elsewhere;  // put in the buffer by a failing update
    // What happened.
    int prepares = 0, reserves = 0, releases = 0, inserts = 0, updates = 0, deletes = 0;
    int rereads = 0;
    std::vector<bool> update_from_form;
    std::vector<bool> delete_asked;
    int reserved_id = 0;  // the record added to reserve a number, 0 when none

    SnapshotId SaveSnapshot() override {
        snapshots_[++last_snapshot_] = buffer;
        return last_snapshot_;
    }
    void RestoreSnapshot(SnapshotId& id, bool copy_back) override {
        if (id == 0) return;
        if (copy_back) buffer = snapshots_.at(id);
        snapshots_.erase(id);
        id = 0;
    }
    bool SameAsSnapshot(SnapshotId id) override { return id == 0 || snapshots_.at(id) == buffer; }
    std::size_t LiveSnapshots() const { return snapshots_.size(); }

    Level EnsureOpen() override { return LevelOk; }
    void SaveLinks() override {}
    void ClearRecord() override { buffer = {}; }
    Level PrepareRecord(bool keep_buffer) override {
        ++prepares;
        if (!keep_buffer) buffer = {};
        return ReserveAutoNumber();
    }
    Level ReserveAutoNumber() override {
        ++reserves;
        if (reserve_fails) return LevelNotify;
        return Reserve();
    }
    Level ReleaseAutoNumber() override {
        ++releases;
        if (reserved_id != 0) stored.erase(reserved_id);
        reserved_id = 0;
        return LevelOk;
    }
    Level Insert() override {
        ++inserts;
        if (insert_fails) return LevelNotify;
        stored[buffer.id] = buffer;
        reserved_id = 0;
        return LevelOk;
    }
    Level Update(bool from_form) override {
        ++updates;
        update_from_form.push_back(from_form);
        if (updates_to_fail > 0) {
            --updates_to_fail;
            if (changed_elsewhere) buffer = *changed_elsewhere;
            return update_result;
        }
        stored[buffer.id] = buffer;
        return LevelOk;
    }
    Level Delete(bool ask) override {
        ++deletes;
        delete_asked.push_back(ask);
        if (ask &&
            runtime::Message("Are you sure?", "Confirm Delete", runtime::StockIcon::None,
                             runtime::button::Yes | runtime::button::No) != runtime::button::Yes)
            return LevelNotify;
        if (deletes_to_fail > 0) {
            --deletes_to_fail;
            return LevelNotify;
        }
        stored.erase(buffer.id);
        return LevelOk;
    }
    std::string Position() override { return std::to_string(buffer.id); }
    Level Reread(std::string_view position) override {
        ++rereads;
        auto it = stored.find(std::stoi(std::string(position)));
        if (it == stored.end()) return LevelNotify;
        buffer = it->second;
        return LevelOk;
    }

  private:
    Level Reserve() {
        buffer.id = next_id++;
        stored[buffer.id] = buffer;
        reserved_id = buffer.id;
        return LevelOk;
    }

    std::map<SnapshotId, Person> snapshots_;
    SnapshotId last_snapshot_ = 0;
};

}  // namespace zelt::framework::testing
