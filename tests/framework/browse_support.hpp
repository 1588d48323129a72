// A view over the stand-in table's records for the browse tests: key order (name, then
// number), a filter predicate standing for the filter expression, and read faults.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <tuple>

#include "framework/browse/browse_controller.hpp"
#include "tests/framework/controller_support.hpp"

namespace zelt::framework::testing {

class MemoryView final : public RecordView {
  public:
    explicit MemoryView(FakeRecord& table) : table_(table) {}

    std::function<bool(const Person&)> passes;  // the filter; none: every record
    std::string order, filter;                  // the expressions last given
    int reads = 0;
    int fail_after_reads = -1;  // reads that succeed before a read fails with 90
    bool open_fails = false;
    std::function<bool(std::string_view)> fails_filter;  // which expressions fail

    std::string Name() const override { return "PEOPLE"; }
    runtime::ErrorCode Open() override {
        return open_fails ? runtime::err::FileNotFound : runtime::err::NoError;
    }
    void Close() override {}
    runtime::ErrorCode SetOrder(std::string_view o) override {
        order = o;
        return runtime::err::NoError;
    }
    runtime::ErrorCode SetFilter(std::string_view f) override {
        if (fails_filter && fails_filter(f)) return 800;
        filter = f;
        return runtime::err::NoError;
    }
    runtime::ErrorCode SetStart() override {
        next_ = prev_ = std::nullopt;
        return runtime::err::NoError;
    }
    runtime::ErrorCode SetAtBuffer() override {
        next_ = Bound{KeyOf(table_.buffer), true};
        prev_ = Bound{KeyOf(table_.buffer), false};
        return runtime::err::NoError;
    }
    runtime::ErrorCode ResetTo(std::string_view position) override {
        auto it = table_.stored.find(std::stoi(std::string(position)));
        if (it == table_.stored.end()) return runtime::err::RecordNotAvailable;
        next_ = prev_ = Bound{KeyOf(it->second), true};
        return runtime::err::NoError;
    }
    runtime::ErrorCode Next() override { return Read(true); }
    runtime::ErrorCode Previous() override { return Read(false); }
    std::string Position() override { return last_ ? std::to_string(*last_) : std::string(); }
    runtime::ErrorCode Reget(std::string_view position) override {
        auto it = table_.stored.find(std::stoi(std::string(position)));
        if (it == table_.stored.end()) return runtime::err::RecordNotAvailable;
        table_.buffer = it->second;
        ++regets;
        return runtime::err::NoError;
    }
    int regets = 0;

  private:
    using Key = std::tuple<std::string, int>;
    struct Bound {
        Key key;
        bool inclusive;
    };
    static Key KeyOf(const Person& p) { return {p.name, p.id}; }

    runtime::ErrorCode Read(bool next) {
        if (fail_after_reads >= 0 && reads >= fail_after_reads)
            return runtime::err::FileSystemError;
        ++reads;
        std::optional<Person> found;
        for (const auto& [id, p] : table_.stored) {
            if (passes && !passes(p)) continue;
            const Key k = KeyOf(p);
            if (next) {
                if (next_ && (next_->inclusive ? k < next_->key : k <= next_->key)) continue;
                if (!found || k < KeyOf(*found)) found = p;
            } else {
                if (prev_ && (prev_->inclusive ? k > prev_->key : k >= prev_->key)) continue;
                if (!found || k > KeyOf(*found)) found = p;
            }
        }
        if (!found) return runtime::err::RecordNotAvailable;
        table_.buffer = *found;
        last_ = found->id;
        next_ = prev_ = Bound{KeyOf(*found), false};
        return runtime::err::NoError;
    }

    FakeRecord& table_;
    std::optional<Bound> next_, prev_;
    std::optional<int> last_;
};

// A window with one browse over the stand-in table; its update form is a function.
class ListWindow : public WindowController {
  public:
    enum Ctl : int { List = 1, Insert, Change, Delete, View, Select, Close };

    ListWindow(ErrorReporter& errors, FakeRecord& table, MemoryView& view)
        : WindowController(errors, Declaration(), "BrowsePeople"), table_(table), view_(view) {}

    BrowseController browse;
    // Runs for the update form: the request, and what it does with the buffer; it answers
    // the response.
    std::function<ResponseCode(RequestCode)> form;
    std::vector<RequestCode> form_requests;
    std::function<void(BrowseController&)> setup;

    static runtime::WindowDeclaration Declaration() {
        runtime::WindowDeclaration w("People");
        w.List("?List", runtime::ListFormat{{{"Name", 20}, {"City", 20}}, {}, true})
            .Immediate()
            .Hint(40, 3);
        w.Button("?Insert", "&Insert");
        w.Button("?Change", "&Change");
        w.Button("?Delete", "&Delete");
        w.Button("?View", "&View");
        w.Button("?Select", "&Select");
        w.Button("?Close", "Close");
        return w;
    }

    Level Init() override {
        WindowController::Init();
        browse.Init(*this, List, view_, table_, Errors);
        browse.ActiveOrder().Order = "+PEO:Name,+PEO:Id";
        browse.ActiveOrder().FreeElement =
            ViewField{"PEO:Name", runtime::Use(table_.buffer.name), true, true};
        browse.AddField(runtime::Use(table_.buffer.name));
        browse.AddField(runtime::Use(table_.buffer.city));
        browse.AddField(runtime::Use(table_.buffer.id));
        browse.InsertControl = Insert;
        browse.ChangeControl = Change;
        browse.DeleteControl = Delete;
        browse.ViewControl = View;
        browse.SelectControl = Select;
        browse.AskProcedure = 1;
        AddButton(Close, ResponseCancelled);
        if (setup) setup(browse);
        OpenWindow();
        return LevelOk;
    }
    ResponseCode RunForm(std::uint16_t, RequestCode request) override {
        form_requests.push_back(request);
        return form ? form(request) : ResponseCancelled;
    }

    // The names of the loaded rows, and the highlighted one.
    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (const auto& r : browse.ListQueue()) out.push_back(r.values.at(0));
        return out;
    }
    std::string Highlighted() const {
        const int c = browse.CurrentChoice;
        return c >= 1 && c <= browse.RowCount()
                   ? browse.ListQueue()[static_cast<std::size_t>(c - 1)].values.at(0)
                   : std::string("<none>");
    }

  private:
    FakeRecord& table_;
    MemoryView& view_;
};

}  // namespace zelt::framework::testing
