// Update forms on the window controller: preparing the record, saving, the questions on
// cancel, add another, immediate deletion, and the history key.
#include <gtest/gtest.h>

#include "framework/window/window_controller.hpp"
#include "runtime/window/key_codes.hpp"
#include "tests/framework/controller_support.hpp"

namespace zelt::framework {
namespace {

using testing::ControllerSession;
using testing::FakeRecord;
using testing::Person;
namespace btn = runtime::button;

enum Ctl : int { Name = 1, City, Ok, Cancel };

runtime::WindowDeclaration FormDeclaration(Person& p) {
    runtime::WindowDeclaration w("Update Person");
    w.Entry("?Name", 30).Use(runtime::Use(p.name));
    w.Entry("?City", 30).Use(runtime::Use(p.city));
    w.Button("?OK", "&OK").Default();
    w.Button("?Cancel", "&Cancel");
    return w;
}

class PersonForm : public WindowController {
  public:
    PersonForm(ErrorReporter& errors, FakeRecord& rec)
        : WindowController(errors, FormDeclaration(rec.buffer), "UpdatePerson"), rec_(rec) {}

    InsertBehaviour insert_action = InsertBehaviour::Close;
    DeleteBehaviour delete_action = DeleteBehaviour::AskAtOnce;
    CancelBehaviour cancel_action = CancelBehaviour::AskSave;
    int history_key = 0;
    std::string default_city = "Lyon";
    bool opened = false;

    Level Init() override {
        if (Level l = WindowController::Init(); l != LevelOk) return l;
        Settings.InsertAction = insert_action;
        Settings.DeleteAction = delete_action;
        Settings.CancelAction = cancel_action;
        HistoryKey = history_key;
        Primary = &rec_;
        OKControl = Ctl::Ok;
        FirstField = Ctl::Name;
        AddButton(Ctl::Cancel, ResponseCancelled);
        AddHistoryField(Ctl::City);
        if (Level l = PrimeForm(); l != LevelOk) return l;
        opened = OpenWindow();
        return LevelOk;
    }
    bool refuse_insert = false;
    void PrepareFields() override {
        rec_.buffer.city = default_city;
        if (refuse_insert) Response = ResponseCancelled;
    }

  private:
    FakeRecord& rec_;
};

class FormTest : public ::testing::Test {
  protected:
    // The caller of an insert form prepares the record, as a browse does.
    ResponseCode RunForm(RequestCode request) {
        if (request == RequestInsert) rec.PrepareRecord(false);
        GlobalRequest() = request;
        return form.Run();
    }
    ControllerSession s;
    runtime::HeadlessBackend& script = s.session.script;
    FakeRecord rec;
    PersonForm form{s.errors, rec};
};

TEST_F(FormTest, InsertSavesOnOkAndPublishesTheResponse) {
    script.Type(Ctl::Name, "Ada");
    script.Press(Ctl::Ok);
    EXPECT_EQ(RunForm(RequestInsert), ResponseCompleted);
    EXPECT_EQ(GlobalResponse(), ResponseCompleted);
    EXPECT_EQ(GlobalRequest(), RequestNone);
    EXPECT_EQ(form.OriginalRequest, RequestInsert);
    ASSERT_EQ(rec.stored.size(), 1u);
    EXPECT_EQ(rec.stored.at(1), (Person{1, "Ada", "Lyon"}));
    EXPECT_EQ(rec.releases, 0);
    EXPECT_TRUE(s.session.script.Messages().empty());
    EXPECT_EQ(rec.LiveSnapshots(), 0u) << "Kill drops the form's snapshot";
}

TEST_F(FormTest, CancellingATypedInsertAsksSaveRecordAndReleasesTheReservedRecord) {
    script.Type(Ctl::Name, "Ada");
    script.Press(Ctl::Cancel);
    script.AnswerMessage(btn::Cancel).Expecting("save the changes");  // stays open
    script.CloseBox();
    script.AnswerMessage(btn::No).Expecting("save the changes");
    EXPECT_EQ(RunForm(RequestInsert), ResponseCancelled);
    EXPECT_EQ(rec.releases, 1);
    EXPECT_TRUE(rec.stored.empty()) << "the record reserved for numbering is gone";
    EXPECT_EQ(s.Captions(), (std::vector<std::string>{"Save Record", "Save Record"}));
}

TEST_F(FormTest, SaveRecordYesSavesTheForm) {
    script.Type(Ctl::Name, "Ada");
    script.CloseBox();
    script.AnswerMessage(btn::Yes);
    EXPECT_EQ(RunForm(RequestInsert), ResponseCompleted);
    EXPECT_EQ(rec.stored.at(1).name, "Ada");
}

TEST_F(FormTest, OtherCancelActions) {
    // Changes will be lost: No keeps the form, Yes closes it.
    form.cancel_action = CancelBehaviour::AskLoseChanges;
    script.Type(Ctl::Name, "Ada");
    script.CloseBox();
    script.AnswerMessage(btn::No).Expecting("sure you want to cancel");
    script.CloseBox();
    script.AnswerMessage(btn::Yes);
    EXPECT_EQ(RunForm(RequestInsert), ResponseCancelled);
    EXPECT_EQ(rec.inserts, 0);

    // Save without asking.
    FakeRecord rec2;
    PersonForm saving(s.errors, rec2);
    saving.cancel_action = CancelBehaviour::Save;
    rec2.PrepareRecord(false);
    script.Type(Ctl::Name, "Bob");
    script.CloseBox();
    GlobalRequest() = RequestInsert;
    EXPECT_EQ(saving.Run(), ResponseCompleted);
    EXPECT_EQ(rec2.stored.at(1).name, "Bob");
}

TEST_F(FormTest, CancellingAnUnchangedChangeFormAsksNothing) {
    rec.stored[7] = rec.buffer = Person{7, "Ada", "Paris"};
    script.CloseBox();
    EXPECT_EQ(RunForm(RequestChange), ResponseCancelled);
    EXPECT_TRUE(script.Messages().empty());
    EXPECT_EQ(rec.updates, 0);
    EXPECT_EQ(rec.releases, 0);
}

TEST_F(FormTest, ChangeWritesOnlyWhatChanged) {
    rec.stored[7] = rec.buffer = Person{7, "Ada", "Paris"};
    script.Type(Ctl::City, "Rome");
    script.Press(Ctl::Ok);
    EXPECT_EQ(RunForm(RequestChange), ResponseCompleted);
    EXPECT_EQ(rec.stored.at(7).city, "Rome");
    EXPECT_EQ(rec.update_from_form, std::vector<bool>{false});
}

// A toolbar whose navigation request the test sets.
struct TestToolbar final : ToolbarTarget {
    NavigationRequest pending = NavigationRequest::None;
    int cleared = 0, killed = 0;
    Level TakeAccepted(runtime::ControlNumber) override { return LevelOk; }
    NavigationRequest PendingNavigation() const override { return pending; }
    void ClearNavigation() override { ++cleared, pending = NavigationRequest::None; }
    void Kill() override { ++killed; }
};

TEST_F(FormTest, OkOnAnUnchangedFormAnswersCompletedOnlyWithAToolbarAndNoNavigation) {
    rec.stored[7] = rec.buffer = Person{7, "Ada", "Paris"};
    script.Press(Ctl::Ok);
    EXPECT_EQ(RunForm(RequestChange), ResponseCancelled);
    EXPECT_EQ(rec.updates, 0);

    for (auto pending : {NavigationRequest::None, NavigationRequest::Next}) {
        TestToolbar toolbar;
        toolbar.pending = pending;
        PersonForm with_toolbar(s.errors, rec);
        with_toolbar.SetToolbar(&toolbar);
        script.Press(Ctl::Ok);
        GlobalRequest() = RequestChange;
        EXPECT_EQ(with_toolbar.Run(),
                  pending == NavigationRequest::None ? ResponseCompleted : ResponseCancelled);
        EXPECT_EQ(toolbar.killed, 1);
        EXPECT_EQ(rec.updates, 0);
    }
}

TEST_F(FormTest, RecordChangedElsewhereKeepsTheFormOpenAndTheHistoryKeyRecallsTheEdit) {
    const int ditto = runtime::key::Ctrl + 222;
    form.history_key = ditto;
    rec.stored[7] = rec.buffer = Person{7, "Ada", "Paris"};
    rec.updates_to_fail = 1;
    rec.update_result = LevelNotify;
    rec.changed_elsewhere = Person{7, "Ada", "Oslo"};
    script.Type(Ctl::City, "Rome");
    script.Press(Ctl::Ok);
    script.Run([&] {
        EXPECT_EQ(form.Window().Focus(), Ctl::Name)
            << "a refused save goes back to the first field";
        EXPECT_EQ(form.Window().Value(Ctl::City), "Oslo") << "the other station's values show";
    });
    script.Key(Ctl::City, ditto);
    script.Run([&] {
        EXPECT_EQ(rec.buffer.city, "Rome");
        EXPECT_EQ(form.Window().Value(Ctl::City), "Rome");
    });
    script.Press(Ctl::Ok);
    EXPECT_EQ(RunForm(RequestChange), ResponseCompleted);
    EXPECT_EQ(rec.update_from_form, (std::vector<bool>{true, true}));
    EXPECT_EQ(rec.stored.at(7).city, "Rome");
}

TEST_F(FormTest, UpdateErrorRetriesOnYesAndClosesCancelledOnNo) {
    rec.stored[7] = rec.buffer = Person{7, "Ada", "Paris"};
    rec.updates_to_fail = 1;
    rec.update_result = LevelAsk;
    script.Type(Ctl::City, "Rome");
    script.Press(Ctl::Ok);
    script.AnswerMessage(btn::Yes).Expecting("try to save again");
    EXPECT_EQ(RunForm(RequestChange), ResponseCompleted);
    EXPECT_EQ(rec.updates, 2);

    FakeRecord rec2;
    rec2.stored[7] = rec2.buffer = Person{7, "Ada", "Paris"};
    rec2.updates_to_fail = 5;
    rec2.update_result = LevelAsk;
    PersonForm giving_up(s.errors, rec2);
    script.Type(Ctl::City, "Rome");
    script.Press(Ctl::Ok);
    script.AnswerMessage(btn::Cancel);  // back to the form
    script.Press(Ctl::Ok);
    script.AnswerMessage(btn::No);  // give up: the close asks about the changes
    script.AnswerMessage(btn::No).Expecting("save the changes");
    GlobalRequest() = RequestChange;
    EXPECT_EQ(giving_up.Run(), ResponseCancelled);
    EXPECT_EQ(rec2.stored.at(7).city, "Paris");
}

TEST_F(FormTest, AskAnotherYesEmptiesTheFormAndClosingRereadsTheLastAdded) {
    form.insert_action = InsertBehaviour::AskAnother;
    script.Type(Ctl::Name, "Ada");
    script.Press(Ctl::Ok);
    script.AnswerMessage(btn::Yes).Expecting("add another");
    script.Run([&] {
        EXPECT_EQ(rec.buffer, (Person{2, "", "Lyon"})) << "a fresh record with a new number";
        EXPECT_EQ(form.Window().Value(Ctl::Name), "");
    });
    script.Type(Ctl::Name, "Bob");
    script.Press(Ctl::Ok);
    script.AnswerMessage(btn::Yes);
    script.Press(Ctl::Cancel);  // nothing typed in the third record: no question
    EXPECT_EQ(RunForm(RequestInsert), ResponseCompleted);
    EXPECT_EQ(rec.stored.size(), 2u) << "the third, reserved record is released";
    EXPECT_EQ(rec.releases, 1);
    EXPECT_EQ(rec.rereads, 1);
    EXPECT_EQ(rec.buffer, (Person{2, "Bob", "Lyon"})) << "the caller sees the last added record";
    EXPECT_EQ(rec.LiveSnapshots(), 0u);
}

TEST_F(FormTest, AskAnotherNoCloses) {
    form.insert_action = InsertBehaviour::AskAnother;
    script.Type(Ctl::Name, "Ada");
    script.Press(Ctl::Ok);
    script.AnswerMessage(btn::No);
    EXPECT_EQ(RunForm(RequestInsert), ResponseCompleted);
    EXPECT_EQ(rec.stored.size(), 1u);
}

TEST_F(FormTest, AFailedInsertKeepsTheFormOpen) {
    rec.insert_fails = true;
    script.Type(Ctl::Name, "Ada");
    script.Press(Ctl::Ok);
    script.Run([&] {
        EXPECT_TRUE(form.Window().IsOpen());
        rec.insert_fails = false;
    });
    script.Press(Ctl::Ok);
    EXPECT_EQ(RunForm(RequestInsert), ResponseCompleted);
    EXPECT_EQ(rec.inserts, 2);
}

TEST_F(FormTest, AnInsertThatPrepareFieldsRefusesNeverShows) {
    form.refuse_insert = true;
    EXPECT_EQ(RunForm(RequestInsert), ResponseCancelled);
    EXPECT_FALSE(form.opened);
}

TEST_F(FormTest, ImmediateDeleteConfirmsAndNeverShowsTheForm) {
    rec.stored[7] = rec.buffer = Person{7, "Ada", "Paris"};
    script.AnswerMessage(btn::No);
    EXPECT_EQ(RunForm(RequestDelete), ResponseCancelled);
    EXPECT_EQ(rec.stored.count(7), 1u);

    PersonForm again(s.errors, rec);
    script.AnswerMessage(btn::Yes);
    GlobalRequest() = RequestDelete;
    EXPECT_EQ(again.Run(), ResponseCompleted);
    EXPECT_FALSE(again.opened);
    EXPECT_EQ(rec.stored.count(7), 0u);
    EXPECT_EQ(rec.delete_asked, (std::vector<bool>{true, true}));

    PersonForm silent(s.errors, rec);
    silent.delete_action = DeleteBehaviour::AtOnce;
    rec.stored[8] = rec.buffer = Person{8, "Bob", "Rome"};
    GlobalRequest() = RequestDelete;
    EXPECT_EQ(silent.Run(), ResponseCompleted);
    EXPECT_EQ(rec.delete_asked.back(), false);
}

TEST_F(FormTest, DeleteInTheForm) {
    form.delete_action = DeleteBehaviour::InForm;
    rec.stored[7] = rec.buffer = Person{7, "Ada", "Paris"};
    rec.deletes_to_fail = 2;
    script.Press(Ctl::Ok);
    script.AnswerMessage(btn::Yes).Expecting("try to delete it again");
    script.AnswerMessage(btn::Cancel);  // stays in the form
    script.Press(Ctl::Ok);
    EXPECT_EQ(RunForm(RequestDelete), ResponseCompleted);
    EXPECT_EQ(rec.deletes, 3);
    EXPECT_EQ(rec.stored.count(7), 0u);
}

TEST_F(FormTest, DecliningTheDeleteConfirmationIsNoFailure) {
    rec.stored[7] = rec.buffer = Person{7, "Ada", "Paris"};
    form.delete_action = DeleteBehaviour::InForm;
    form.SetToolbar(nullptr);
    // An in-form delete that confirms: the form asks, the tracker does not ask again.
    PersonForm confirming(s.errors, rec);
    confirming.delete_action = DeleteBehaviour::AskAtOnce;
    confirming.Request = RequestDelete;
    ASSERT_EQ(confirming.WindowController::Init(), LevelOk);
    confirming.Primary = &rec;
    confirming.OKControl = Ctl::Ok;
    ASSERT_TRUE(confirming.OpenWindow());
    script.AnswerMessage(btn::No).Expecting("delete the highlighted record");
    EXPECT_EQ(confirming.OnCompleted(), LevelNotify);
    EXPECT_EQ(rec.deletes, 0);
    EXPECT_EQ(confirming.Response, ResponseCancelled);
    EXPECT_EQ(s.Captions(), std::vector<std::string>{"Confirm Delete"});
    confirming.Kill();
}

TEST_F(FormTest, ViewRequestTakesNoRecordActionAndOkCloses) {
    rec.stored[7] = rec.buffer = Person{7, "Ada", "Paris"};
    script.Type(Ctl::City, "Rome");
    script.Press(Ctl::Ok);
    EXPECT_EQ(RunForm(RequestView), ResponseCancelled);
    EXPECT_EQ(rec.updates + rec.inserts + rec.deletes, 0);
    EXPECT_TRUE(script.Messages().empty());
}

}  // namespace
}  // namespace zelt::framework
