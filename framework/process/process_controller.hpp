// ProcessController: reads a view from start to end for a report (or any batch walk) and
// measures how far it has come.
//
// Progress is measured one of three ways, chosen by Reset:
//   - with a step distribution (StepMgr) over a field of the view's order (ValueField): the
//     distribution is set between the first and the last record's values, and the
//     percentage is where the current record's value falls;
//   - by size, when the driver cannot count the table's records (FileSize is then the
//     table's size in bytes and each record read adds its size to BytesRead);
//   - by count: RecordsProcessed of RecordsToProcess (counted from the table when 0).
// The percentage goes to the progress variable (Percentile, shown by the progress bar) and,
// as "25% Complete", to the progress text control (PText) of the progress window; it never
// passes 100.
//
// Child processes (Children) read the records related to each record of this one: after a
// record of this view was taken, every child is reset and read to its end, in order, before
// this view reads on. While a child's record is current, ChildRead is the child's position
// (from 1); while this view's own record is current, it is 0.
//
//   ProcessController process;
//   process.Init(view, tracked, errors, &window, Ctl::PctText, 0, &percent);
//   process.Reset();
//   while (process.Next(true) == LevelOk) ... the record is in the buffer ...
//
// TakeRecord is the per-record hook of the application (the report prints its detail
// there); the base does nothing and answers LevelOk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/browse/step_distribution.hpp"
#include "framework/browse/view_manager.hpp"
#include "framework/query/query_builder.hpp"
#include "runtime/window/window.hpp"

namespace zelt::framework {

// A per-record handler a report calls for every record it takes.
class RecordProcessor {
  public:
    virtual ~RecordProcessor() = default;
    virtual Level TakeRecord() = 0;
};

class ProcessController : public ViewManager, public RecordProcessor {
  public:
    std::int32_t BytesRead = 0;
    std::int32_t FileSize = 0;
    std::uint8_t ChildRead = 0;
    std::vector<ProcessController*> Children;  // not owned
    std::uint8_t* Percentile = nullptr;        // 0..100; nullptr: no progress bar
    runtime::ControlNumber PText = 0;
    QueryBuilder* Query = nullptr;  // not owned
    std::int32_t RecordsProcessed = 0;
    std::int32_t RecordsToProcess = 0;
    Distribution* StepMgr = nullptr;  // not owned
    runtime::Binding ValueField;
    std::uint8_t CaseSensitiveValue = 0;

    // The window whose controls show the progress (PText, and the bar that shows
    // Percentile); a report sets its own window when none is given.
    runtime::Window* ProgressWindow = nullptr;

    using ViewManager::Init;
    using ViewManager::Next;
    // Stores the view, the table, the progress controls and the expected number of records
    // (0 = count them), sets the progress variable to 0, then the view's initialisation.
    void Init(RecordView& view, PrimaryRecord& primary, ErrorReporter& errors,
              runtime::Window* window, runtime::ControlNumber progress_text,
              std::int32_t records_to_process, std::uint8_t* percentile);
    void Kill() override;

    // Starts counts and limits (see the manual above) and resets the view to its start.
    virtual Level Reset();
    // Reads the next record (of the current child, or of this view); counts it and updates
    // the progress when `count`. LevelOk, LevelNotify at the end, LevelFatal after a read
    // error was reported.
    virtual Level Next(bool count);
    // Called at the end of Reset, when the walk is set up; empty here.
    virtual void Started() {}
    // Offers the query form (QueryForm) when a Query is attached; an accepted query becomes
    // the view's filter "QBE" (an empty query removes it). LevelOk without a query or when
    // it was accepted, LevelCancel when the user cancelled the form.
    virtual Level TakeQuery();
    Level TakeRecord() override { return LevelOk; }

    // The percentage the progress shows now (0..100).
    int Percentage() const;

  private:
    // The ValueField's value as the step distribution reads it.
    std::string StepValue() const;
    void ShowProgress();

    bool children_due_ = false;  // this view's record was read; its children come next
};

}  // namespace zelt::framework
