// Header validation, the two-phase commit through the journal, recovery, and the locks
// that go with them.
#pragma once

#include "runtime/errors/error_codes.hpp"
#include "storage/journal/file_state.hpp"

namespace zelt::storage {

// Validates the header once per operation (taking the reader or writer lock of a shared
// file first) for the operation about to begin, a write one when `write`. Returns 0, 5
// (lock not available) or 36 (short header, wrong magic); resolves a pending journal.
runtime::ErrorCode ValidateHeader(ItemFileState& st, bool write);

// The first reader slot a new handle tries: hundredths of a second since process start.
std::uint32_t SeedReaderSlot();

// Phase 1: journal every changed page and the new header behind the committed end, then
// point the header at offset 0 to the journal.
void CommitPhase1(ItemFileState& st);
// Which commit phase 2 finishes.
//  - OneFile: a file only this handle writes may leave the flush of the header that
//    closes its journal to the next commit.
//  - SeveralFiles: past the transaction's commit point. The journal's header goes to
//    offset 0 and is flushed before any page goes home, so a recovery that finds it there
//    rolls forward without asking the control file; and the closing header is flushed
//    too, since a journal left open would send a recovery to the control file.
enum class CommitKind { OneFile, SeveralFiles };
// Phase 2: write the pages in place and close the journal.
void CommitPhase2(ItemFileState& st, CommitKind kind);
// Flushes the header that closed the last commit's journal, if it has not been flushed
// yet (files only this handle writes leave that flush to the next commit).
void FlushClosedJournal(ItemFileState& st);
// Flushes the header this handle last read from the disk, unless it has flushed since: it
// may be the closing header of another handle's journal that never reached the disk (a
// writer that died), and nothing may be written over that journal or cut from behind the
// end while a power cut could still bring back the header that points to it.
void FlushHeaderReadFromDisk(ItemFileState& st);
// Both phases under the exclusive lock. A failure before the commit point drops the cached
// state and rethrows; one after it is kept (ItemFileState::FailAfterCommitPoint) and the
// commit counts as done.
// A transaction marker left by an earlier commit over several files leaves the file with
// this commit, so that this commit's journal never depends on a control file.
void CommitFile(ItemFileState& st);
// Undoes a phase 1 whose transaction was abandoned: the journal is forgotten on disk.
void ResetJournal(ItemFileState& st);

// Truncates the file to its computed end when it is consistent and longer.
void TruncateToComputedEnd(ItemFileState& st);

// Asks the control file named by the transaction marker of the file, as the journal shows
// it, whether that journal's transaction reached its commit point. A file without a
// marker is committed. Returns 0, or 65 when the control file cannot be asked (missing,
// unreadable, or busy beyond the wait limit): then nobody can tell, and the file must not
// be opened until it can.
runtime::ErrorCode AskControlFile(ItemFileState& st, bool* committed);

}  // namespace zelt::storage
