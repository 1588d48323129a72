#include "framework/query/query_form.hpp"

#include "runtime/window/popup_menu.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::framework {

namespace {

constexpr int kDefaultEntryWidth = 20;
constexpr const char* kNoOperator = "(None)";

// The entry's width: as given, else what the picture holds ("@S30", "@n9"), else 20.
int EntryWidth(const QueryField& f) {
    if (f.Width > 0) return f.Width;
    int digits = 0;
    for (char c : f.Picture) {
        if (c >= '0' && c <= '9') {
            digits = digits * 10 + (c - '0');
        } else if (digits > 0) {
            break;
        }
    }
    return IsStringPicture(f.Picture) && digits > 0 ? digits : kDefaultEntryWidth;
}

}  // namespace

QueryForm::QueryForm(ErrorReporter& errors, QueryBuilder& query)
    : WindowController(errors, Declaration(query, values_), "QueryForm"), query_(query) {}

runtime::WindowDeclaration QueryForm::Declaration(QueryBuilder& query,
                                                  std::vector<std::string>& values) {
    runtime::WindowDeclaration w(kTitle);
    w.Modal();
    values.assign(query.Fields().size(), {});
    for (std::size_t i = 0; i < query.Fields().size(); ++i) {
        const QueryField& f = query.Fields()[i];
        const std::string n = std::to_string(i + 1);
        w.Prompt("?Title" + n, f.Title);
        auto& entry = w.Entry("?Value" + n, 0, f.ForceEditPicture ? f.Picture : std::string());
        entry.Use(runtime::Use(values[i])).Hint(EntryWidth(f));
        w.Button("?Operator" + n, "...").Tip("Choose how the value is compared");
    }
    w.Button("?Ok", "&Ok").Default();
    w.Button("?Clear", "C&lear");
    w.Button("?Cancel", "Cancel");
    return w;
}

Level QueryForm::Init() {
    if (Level level = WindowController::Init(); level != LevelOk) return level;
    operators_.clear();
    for (std::size_t i = 0; i < query_.Fields().size(); ++i) {
        values_[i] = query_.Fields()[i].QueryString;
        operators_.push_back(query_.Fields()[i].Operator);
    }
    AddButton(CancelControl(), ResponseCancelled);
    if (!OpenWindow()) return LevelFatal;
    for (std::size_t i = 0; i < operators_.size(); ++i) ShowOperator(i);
    Window().Display();
    if (!query_.Fields().empty()) FirstField = EntryControl(0);
    return LevelOk;
}

void QueryForm::ShowOperator(std::size_t column) {
    const QueryField& f = query_.Fields()[column];
    const std::string& word = operators_[column];
    Window().SetText(TitleControl(column), word.empty() ? f.Title : f.Title + " (" + word + ")");
}

void QueryForm::ChooseOperator(std::size_t column) {
    const auto& words = QueryOperatorWords();
    std::string entries;
    for (const std::string& word : words) {
        if (!entries.empty()) entries += "|";
        entries += word.empty() ? kNoOperator : word;
    }
    const int chosen = runtime::Popup(entries);
    if (chosen < 1 || chosen > static_cast<int>(words.size())) return;
    operators_[column] = words[static_cast<std::size_t>(chosen - 1)];
    ShowOperator(column);
}

Level QueryForm::OnAccepted() {
    const runtime::ControlNumber field = Window().Field();
    for (std::size_t i = 0; i < operators_.size(); ++i) {
        if (field == OperatorControl(i)) {
            ChooseOperator(i);
            return LevelNotify;
        }
    }
    if (field == ClearControl()) {
        for (std::string& v : values_) v.clear();
        for (std::size_t i = 0; i < operators_.size(); ++i) {
            operators_[i].clear();
            ShowOperator(i);
        }
        Window().Display();
        if (FirstField) Window().Select(FirstField);
        return LevelNotify;
    }
    if (field == OkControl()) {
        Window().Update();
        for (std::size_t i = 0; i < query_.Fields().size(); ++i)
            query_.SetQuery(query_.Fields()[i].Name, values_[i], operators_[i]);
        SetResponse(ResponseCompleted);
        return LevelNotify;
    }
    return WindowController::OnAccepted();
}

}  // namespace zelt::framework
