// Header validation, the two-phase commit through the journal, recovery, and the locks
// that go with them.
#pragma once

#include "runtime/errors/error_codes.hpp"
#include "storage/journal/file_state.hpp"

namespace zelt::storage {

// Validates the header once per operation (taking the reader or writer lock of a shared
// file first). Returns 0, 5 (lock not available) or 36 (short header, wrong magic);
// resolves a pending journal.
runtime::ErrorCode ValidateHeader(ItemFileState& st);
// Releases the reader or writer lock taken for the operation.
void ReleaseOperationLocks(ItemFileState& st);

// The first reader slot a new handle tries: hundredths of a second since process start.
std::uint32_t SeedReaderSlot();

void TakeExclusiveLock(ItemFileState& st);
void ReleaseExclusiveLock(ItemFileState& st);

// Phase 1: journal every changed page and the new header behind the committed end, then
// point the header at offset 0 to the journal.
void CommitPhase1(ItemFileState& st);
// How phase 2 ends. A file only this handle writes may leave the flush of the header that
// closes its journal to the next commit (Defer). A commit of several files always flushes
// it: a journal left open on disk would send a recovery to the transaction control files,
// where a later transaction may by then use the same number and roll this one back.
enum class JournalClose { Flush, Defer };
// Phase 2: write the pages in place and close the journal.
void CommitPhase2(ItemFileState& st, JournalClose close);
// Flushes the header that closed the last commit's journal, if it has not been flushed
// yet (files only this handle writes leave that flush to the next commit).
void FlushClosedJournal(ItemFileState& st);
// Both phases under the exclusive lock; a failure drops the cached state and rethrows.
void CommitFile(ItemFileState& st);
// Undoes a phase 1 whose transaction was abandoned: the journal is forgotten on disk.
void ResetJournal(ItemFileState& st);

// Truncates the file to its computed end when it is consistent and longer.
void TruncateToComputedEnd(ItemFileState& st);

// Whether the transaction marker of the file as the journal shows it says that a
// multi-file transaction did not reach its commit point (defined with the control files).
bool TransactionIncomplete(ItemFileState& st);

}  // namespace zelt::storage
