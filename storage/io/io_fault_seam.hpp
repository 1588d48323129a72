// Fault-injection seam of the file I/O layer.
//
// Tests arm it to make the Nth write, flush or truncate of the process fail (the call
// reports an error) or stop (that call and every later one silently do nothing, as if the
// machine had stopped there). Counting covers every file the process writes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zelt::storage::io {

enum class SeamAction : std::uint8_t { None, Fail, Stop };

struct IoFaultSeam {
    // Arms the seam: the `nth` (1-based) mutating call from now on takes `action`. A failing
    // call fails as the system call would with `error` (an errno value; 0: refused, 5).
    static void Arm(SeamAction action, std::int64_t nth, int error = 0);
    static int FailError();
    static void Disarm();
    // Number of mutating calls (writes, flushes, truncates) seen since the last Arm/Disarm.
    static std::int64_t Count();
    // True once a Stop has struck: nothing reaches the disk any more.
    static bool Stopped();

    // Tests that simulate crashes in-process may skip the real flush to the device (the
    // flush still counts as a mutating call).
    static void SetDeviceSync(bool enabled);
    static bool DeviceSync();

    // Called by the I/O layer before each mutating call; answers what to do with it.
    static SeamAction Next();

    // A disk that keeps writes in its cache until a flush may lose any of them when the
    // machine stops. While tracking, every write remembers the bytes it replaced until
    // its file is flushed; after a stop, a test undoes whichever of them it likes to see
    // what such a disk could have left behind.
    static void TrackUnflushed(bool enabled);
    static bool TrackingUnflushed();
    static void NoteWrite(int fd, std::uint64_t offset, std::uint64_t length);  // before the write
    static void NoteFlush(int fd);
    static std::size_t UnflushedCount();
    // The call numbers (as counted since the last Arm) of the flushes seen while tracking.
    static std::vector<std::int64_t> FlushPoints();
    // Undoes the unflushed writes that `undo` picks by their index (in the order they
    // were made) and file offset, latest first, then forgets them all.
    static void UndoUnflushed(
        const std::function<bool(std::size_t index, std::uint64_t offset)>& undo);

    // The same across processes: while a log is set, every process that writes (children
    // forked after the call included) appends each unflushed write's old bytes and each
    // flush to it, and a test undoes what no flush covered after all of them stopped, as a
    // power cut would. An empty path stops logging.
    static void LogUnflushedTo(const std::string& path);
    // Undoes the unflushed writes in the log sector by sector (512 bytes, as a disk may keep
    // some sectors of a write and lose others): `undo` picks the sectors to lose by their
    // index (in the order written) and file offset. Returns how many writes no flush covered.
    static std::size_t UndoLoggedUnflushed(
        const std::string& path,
        const std::function<bool(std::size_t index, std::uint64_t offset)>& undo);

    // A new file's name lives in its directory, which has to be flushed as well. While
    // tracking, files created since their directory's last flush are remembered; after a
    // stop a test may drop their names, as a machine that stopped could have.
    static void NoteCreated(const std::string& path);
    static void NoteDirectoryFlush(const std::string& directory);
    static std::size_t UnflushedEntryCount();
    static void DropUnflushedEntries();
};

}  // namespace zelt::storage::io
