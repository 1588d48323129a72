#include "storage/journal/journal.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <unordered_map>

#include "storage/io/storage_failure.hpp"
#include "storage/journal/control_files.hpp"

namespace zelt::storage {
namespace {

using runtime::ErrorCode;
namespace err = runtime::err;

}  // namespace

std::uint32_t SeedReaderSlot() {
    static const auto process_start = std::chrono::steady_clock::now();
    auto hundredths = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - process_start)
                          .count() /
                      10;
    return static_cast<std::uint32_t>(hundredths % static_cast<long long>(kReaderSlots));
}

namespace {

FileHeader ReadDiskHeader(ItemFileState& st, std::size_t* got) {
    std::array<std::uint8_t, kHeaderSize> bytes{};
    *got = st.handle->ReadAt(0, bytes.data(), bytes.size());
    return *got == 0 ? FileHeader::Fresh() : FileHeader::FromBytes(bytes.data());
}

void WriteHeaderAt(ItemFileState& st, const FileHeader& header, std::uint64_t offset) {
    st.handle->WriteAt(offset, header.data(), kHeaderSize);
}

// Gathers pages that lie end to end into one write: a commit's journal (with its header)
// is one run, and pages placed side by side in a section go home together (with the header
// at offset 0 when the first of them lies right behind it).
class PageWriter {
  public:
    explicit PageWriter(io::FileHandle& handle) : handle_(&handle) {}
    // `header`: the bytes are a header image (which an enciphered file seals).
    void Write(std::uint64_t offset, std::string_view bytes, bool header = false) {
        if (!run_.empty() && (offset != start_ + run_.size() || run_.size() >= kRunLimit ||
                              (header && header_at_ != kNoHeader))) {
            Send();
        }
        if (run_.empty()) start_ = offset;
        if (header) header_at_ = run_.size();
        run_.append(bytes);
    }
    // Writes what is gathered; call before the flush that must cover it.
    void Send() {
        if (run_.empty()) return;
        const std::string_view run(run_);
        if (header_at_ == kNoHeader) {
            handle_->WriteGathered(start_, {&run, 1});
        } else {
            // The header as a piece of its own, so that it is written as on its own.
            const std::array<std::string_view, 3> pieces{run.substr(0, header_at_),
                                                         run.substr(header_at_, kHeaderSize),
                                                         run.substr(header_at_ + kHeaderSize)};
            const std::size_t first = pieces[0].empty() ? 1 : 0;
            const std::size_t last = pieces[2].empty() ? 1 : 2;
            handle_->WriteGathered(start_, {pieces.data() + first, last + 1 - first});
        }
        run_.clear();
        header_at_ = kNoHeader;
    }

  private:
    static constexpr std::size_t kRunLimit = std::size_t{1} << 20;
    static constexpr std::size_t kNoHeader = ~std::size_t{0};
    io::FileHandle* handle_;
    std::uint64_t start_ = 0;
    std::string run_;
    std::size_t header_at_ = kNoHeader;
};

// The bytes a journal takes: the pages that go home below its start, and the header.
std::uint64_t JournalLength(const std::vector<std::pair<std::uint64_t, std::string>>& pages,
                            std::uint32_t journal_start) {
    std::uint64_t length = kHeaderSize;
    for (const auto& [offset, bytes] : pages) {
        if (offset < journal_start) length += bytes.size();
    }
    return length;
}

// Closes the journal on disk: committed end = journal end = computed end, one more change.
void CloseJournalOnDisk(ItemFileState& st, FileHeader header) {
    header.set_committed_end(header.ComputedEnd());
    header.set_journal_end(header.ComputedEnd());
    header.set_change_counter(header.change_counter() + 1);
    WriteHeaderAt(st, header, 0);
    st.handle->Flush();
    st.committed = header;
    st.tree->clear_journal_map();
    st.tree->Reset(header);
}

// The journal behind the committed end as one walk over its blocks found it.
struct JournalWalk {
    bool whole = false;        // every block read and the header image last
    bool have_header = false;  // the header image was found (even when not whole)
    FileHeader header;
    std::unordered_map<std::uint32_t, std::uint64_t> map;    // home offset -> journal position
    std::unordered_map<std::uint32_t, std::uint32_t> sizes;  // home offset -> block size
};

// Whether every page block of the journal goes to a page of its own size in the layout the
// journal's header describes. Such a page lies below that layout's end, which is at most
// the committed end where the journal begins; anything else would write into the journal
// itself, past the end, or over a page of another size.
bool BlocksGoHome(const JournalWalk& walk) {
    for (const auto& [home, position] : walk.map) {
        const auto address = static_cast<std::int32_t>((home - kHeaderSize) / kUnit);
        const int k = walk.header.ClassOf(address);
        if (k == 0 || (address - walk.header.start(k)) % k != 0) return false;
        const auto size = walk.sizes.find(home);
        if (size == walk.sizes.end() || size->second != static_cast<std::uint32_t>(k) * kUnit)
            return false;
    }
    return true;
}

// Walks the journal behind the committed end. Not whole when it is broken (a short read,
// or a block that does not fit where a block must be).
JournalWalk WalkJournal(ItemFileState& st, const FileHeader& disk) {
    JournalWalk walk;
    std::uint64_t pos = disk.committed_end();
    std::uint64_t end = disk.journal_end();
    if (end < pos) return walk;
    while (pos < end) {
        std::array<std::uint8_t, kHeaderSize> block{};
        if (st.handle->ReadAt(pos, block.data(), block.size()) != block.size()) return walk;
        std::uint32_t home = std::uint32_t{block[0]} | std::uint32_t{block[1]} << 8 |
                             std::uint32_t{block[2]} << 16 | std::uint32_t{block[3]} << 24;
        std::uint32_t length = std::uint32_t{block[4]} | std::uint32_t{block[5]} << 8;
        std::uint64_t size = RoundUnit(length);
        if (size == 0 || pos + size > end) return walk;
        if (home == 0) {
            if (length != kHeaderSize) return walk;
            walk.header = FileHeader::FromBytes(block.data());
            walk.have_header = true;
        } else if (home < kHeaderSize || (home - kHeaderSize) % kUnit != 0) {
            return walk;
        } else {
            walk.map[home] = pos;
            walk.sizes[home] = static_cast<std::uint32_t>(size);
        }
        pos += size;
    }
    walk.whole = walk.have_header && walk.header.MagicOk() && walk.header.SectionsSane() &&
                 walk.header.ComputedEnd() <= disk.committed_end() && BlocksGoHome(walk);
    return walk;
}

// Forgets the journal: the file is what offset 0 says without it.
void RollBack(ItemFileState& st, const FileHeader& disk, bool write) {
    st.tree->clear_journal_map();
    st.tree->Reset(disk);
    st.committed = disk;
    if (write) {
        st.TakeExclusiveLock();
        CloseJournalOnDisk(st, disk);
        st.ReleaseExclusiveLock();
    }
}

ErrorCode Recover(ItemFileState& st, const FileHeader& disk, bool write) {
    JournalWalk walk = WalkJournal(st, disk);
    // Phase 2 puts the journal's header at offset 0 before (commits over several files)
    // or together with (one file) the first page it writes home. Once it stands there,
    // pages may be home already and only rolling forward leaves the file whole.
    const bool applying = walk.have_header && walk.header == disk;
    if (!walk.whole) {
        if (applying) RaiseFault(fault::AddressInNoSection);
        RollBack(st, disk, write);
        return err::NoError;
    }
    st.tree->Reset(walk.header);
    st.tree->set_journal_map(walk.map);
    if (!applying) {
        bool committed = true;
        const ErrorCode code = AskControlFile(st, &committed);
        if (code != err::NoError) {
            st.tree->clear_journal_map();
            st.tree->Reset(disk);
            return code;
        }
        if (!committed) {
            RollBack(st, disk, write);
            return err::NoError;
        }
    }
    if (!write) {
        // A reader keeps the journal's header and reads the changed pages from the journal.
        st.committed = disk;
        return err::NoError;
    }
    st.TakeExclusiveLock();
    std::vector<std::pair<std::uint32_t, std::uint64_t>> blocks(walk.map.begin(), walk.map.end());
    std::sort(blocks.begin(), blocks.end());
    for (auto [home, position] : blocks) {
        std::array<std::uint8_t, kUnit> first{};
        st.handle->ReadExact(position, first.data(), first.size());
        std::uint32_t length = std::uint32_t{first[4]} | std::uint32_t{first[5]} << 8;
        std::string page(RoundUnit(length), '\0');
        std::copy(first.begin(), first.end(), page.begin());
        if (page.size() > kUnit) {
            st.handle->ReadExact(position + kUnit,
                                 reinterpret_cast<std::uint8_t*>(page.data()) + kUnit,
                                 page.size() - kUnit);
        }
        st.handle->WriteAt(home, reinterpret_cast<const std::uint8_t*>(page.data()), page.size());
    }
    st.handle->Flush();
    CloseJournalOnDisk(st, walk.header);
    st.ReleaseExclusiveLock();
    return err::NoError;
}

}  // namespace

ErrorCode ValidateHeader(ItemFileState& st, bool write) {
    if (st.validated()) return err::NoError;
    if (st.shared()) {
        using Held = HeldLocks::Operation;
        if (write) {
            if (st.locks().operation == Held::kReader) st.ReleaseOperationLocks();
            if (st.locks().operation != Held::kWriter && !st.TakeWriterByte())
                return err::AccessDenied;
        } else if (st.locks().operation == Held::kNone) {
            if (!st.TakeReaderSlot()) return err::AccessDenied;
        }
    }
    // A writer must not go on reading through a journal: it applies it first.
    bool must_apply = write && st.tree->reading_journal();
    if (!st.shared() && st.header_held() && !must_apply) {
        st.HeaderChecked();
        return err::NoError;
    }
    std::size_t got = 0;
    FileHeader disk = ReadDiskHeader(st, &got);
    if (got != 0 && (got < static_cast<std::size_t>(kHeaderSize) || !disk.MagicOk())) {
        return err::InvalidDataFile;
    }
    if (st.header_held() && !must_apply && got != 0 &&
        st.tree->header().change_counter() >= disk.change_counter()) {
        st.HeaderChecked();
        return err::NoError;
    }
    if (st.header_held() && !must_apply && got == 0 && st.committed.change_counter() == 0) {
        st.HeaderChecked();
        return err::NoError;
    }
    // Every page a header describes lies inside the file; anything else is damage (and
    // would otherwise send compaction rotating pages through space that does not exist).
    if (!disk.SectionsSane() ||
        (disk.committed_end() == disk.journal_end() && disk.change_counter() != 0 &&
         disk.ComputedEnd() > st.handle->Size())) {
        RaiseFault(fault::AddressInNoSection);
    }
    st.tree->clear_journal_map();
    st.tree->Reset(disk);
    st.committed = disk;
    st.HeaderHeld();
    st.HeaderReadFromDisk();
    if (disk.committed_end() != disk.journal_end()) {
        const ErrorCode code = Recover(st, disk, write);
        if (code != err::NoError) {
            st.HeaderLost();
            return code;
        }
    }
    st.HeaderChecked();
    return err::NoError;
}

void CommitPhase1(ItemFileState& st) {
    TreeFile& tree = *st.tree;
    st.PassCommitPoint(false);
    FlushHeaderReadFromDisk(st);
    st.ApplyDeferred();
    // Everything below the committed layout's end may hold committed pages.
    std::uint32_t journal_start =
        std::max(st.committed.ComputedEnd(), st.committed.committed_end());
    st.pending_pages = tree.PrepareCommit();
    const auto& pages = st.pending_pages;
    FileHeader& h = tree.header();
    // Pages must stay at addresses a header can describe (signed 32-bit file offsets); a
    // commit that needs more room is refused before anything is written.
    if (!h.SectionsSane()) RaiseError(kFileFull);
    std::uint32_t committed_end = std::max(h.ComputedEnd(), journal_start);
    if (const auto& kept = st.unflushed_journal()) {
        // The last commit's journal may still be what the disk's header points to: nothing
        // written before the next flush may land in it. Pages that would are journaled
        // (and go home in phase 2, after that flush), and the journal goes elsewhere.
        const std::uint64_t kept_from = kept->from;
        const std::uint64_t kept_to = kept->to;
        auto overlaps_kept = [&](std::uint64_t from, std::uint64_t to) {
            return from < kept_to && to > kept_from;
        };
        if (overlaps_kept(journal_start, h.ComputedEnd())) journal_start = h.ComputedEnd();
        committed_end = std::max(h.ComputedEnd(), journal_start);
        if (overlaps_kept(committed_end, committed_end + JournalLength(pages, journal_start))) {
            committed_end = std::max<std::uint32_t>(committed_end, kept->to);
        }
    }
    // The journal's end must fit the header's 32-bit field as well.
    if (committed_end + JournalLength(pages, journal_start) > 0xFFFFFFFFu) RaiseError(kFileFull);
    if (st.committed.change_counter() == 0 &&
        st.handle->Size() < static_cast<std::uint64_t>(kHeaderSize)) {
        // A file's first commit gives it a header before anything else, so that a crash
        // part-way leaves an empty file rather than pages behind a header of zeros.
        WriteHeaderAt(st, st.committed, 0);
        st.handle->Flush();
    }
    std::uint64_t journal_end = committed_end;
    h.set_committed_end(committed_end);
    h.set_journal_end(committed_end);
    h.set_change_counter(h.change_counter() + 1);
    PageWriter journal(*st.handle);
    PageWriter home(*st.handle);
    for (const auto& [offset, bytes] : pages) {
        if (offset < journal_start) {
            journal.Write(journal_end, bytes);
            journal_end += bytes.size();
        } else {
            home.Write(offset, bytes);
        }
    }
    // The journal's header closes the journal's run.
    const std::uint64_t header_position = journal_end;
    journal_end += kHeaderSize;
    h.set_journal_end(static_cast<std::uint32_t>(journal_end));
    journal.Write(header_position,
                  std::string_view(reinterpret_cast<const char*>(h.data()), kHeaderSize), true);
    journal.Send();
    home.Send();
    // Pages placed in free space are already home; phase 2 writes only the journaled ones.
    std::erase_if(st.pending_pages, [&](const auto& page) { return page.first >= journal_start; });
    st.handle->Flush();
    st.JournalFlushed();  // that flush took the last commit's closing header along
    FileHeader old = st.committed;
    old.set_committed_end(committed_end);
    old.set_journal_end(static_cast<std::uint32_t>(journal_end));
    WriteHeaderAt(st, old, 0);
    // A file committed on its own has reached its commit point: every later open finds
    // the journal whole and rolls it forward. (Over several files the control file holds
    // the commit point.)
    st.PassCommitPoint(true);
    st.handle->Flush();
    st.committed = old;
}

void CommitPhase2(ItemFileState& st, CommitKind kind) {
    TreeFile& tree = *st.tree;
    if (kind == CommitKind::SeveralFiles) {
        WriteHeaderAt(st, tree.header(), 0);
        st.handle->Flush();
    }
    PageWriter home(*st.handle);
    // One file: the journal's header goes to offset 0 with the pages, in one write with
    // them when the first lies right behind it.
    if (kind == CommitKind::OneFile) {
        home.Write(
            0, std::string_view(reinterpret_cast<const char*>(tree.header().data()), kHeaderSize),
            true);
    }
    for (const auto& [offset, bytes] : st.pending_pages) home.Write(offset, bytes);
    home.Send();
    st.pending_pages.clear();
    // The pages must be on disk before the header says the journal is done with.
    st.handle->Flush();
    // Offset 0 holds the journal's header now (written above, or before the control file's
    // commit point): the closing header follows from it.
    FileHeader h = tree.header();
    const std::uint32_t journal_from = h.committed_end();
    const std::uint32_t journal_to = h.journal_end();
    h.set_committed_end(h.ComputedEnd());
    h.set_journal_end(h.ComputedEnd());
    h.set_change_counter(h.change_counter() + 1);
    WriteHeaderAt(st, h, 0);
    if (st.shared() || kind == CommitKind::SeveralFiles) {
        st.handle->Flush();
    } else {
        st.KeepJournalUnflushed({journal_from, journal_to});
    }
    st.committed = h;
    tree.header() = h;
    tree.CommitDone();
}

void FlushClosedJournal(ItemFileState& st) {
    if (!st.unflushed_journal()) return;
    st.handle->Flush();
    st.JournalFlushed();
}

void FlushHeaderReadFromDisk(ItemFileState& st) {
    if (!st.header_read_unflushed()) return;
    st.handle->Flush();
    st.JournalFlushed();
}

void CommitFile(ItemFileState& st) {
    if (!st.tree->dirty()) return;
    st.TakeExclusiveLock();
    try {
        if (st.tree->FindItem(kMarkerKey) != nullptr) st.tree->Erase(kMarkerKey);
        CommitPhase1(st);
        CommitPhase2(st, CommitKind::OneFile);
        st.PassCommitPoint(false);
    } catch (const StorageFailure& failure) {
        st.ReleaseExclusiveLock();
        if (!st.past_commit_point()) {
            st.DropCachedState();
            throw;
        }
        // The change is stored: the next open rolls the journal forward.
        st.FailAfterCommitPoint({failure.code, failure.fault});
        return;
    } catch (...) {
        st.ReleaseExclusiveLock();
        st.DropCachedState();
        throw;
    }
    st.ReleaseExclusiveLock();
}

void ResetJournal(ItemFileState& st) {
    std::size_t got = 0;
    FileHeader disk = ReadDiskHeader(st, &got);
    if (got == static_cast<std::size_t>(kHeaderSize) && disk.MagicOk() &&
        disk.committed_end() != disk.journal_end()) {
        CloseJournalOnDisk(st, disk);
    }
    st.DropCachedState();
}

void TruncateToComputedEnd(ItemFileState& st) {
    // The journal past the end goes only once nothing points to it.
    FlushClosedJournal(st);
    FlushHeaderReadFromDisk(st);
    std::size_t got = 0;
    FileHeader disk = ReadDiskHeader(st, &got);
    if (got == 0) return;
    if (got != static_cast<std::size_t>(kHeaderSize) || !disk.MagicOk())
        RaiseFault(fault::HeaderBeforeTruncate);
    if (disk.committed_end() != disk.journal_end() || disk.change_counter() == 0) return;
    std::uint64_t end = disk.ComputedEnd();
    if (st.handle->Size() > end) st.handle->Truncate(end);
}

}  // namespace zelt::storage
