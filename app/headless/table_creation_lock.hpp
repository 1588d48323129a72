// The first ZELT to open a table file that does not exist creates it. Two started at once in
// a folder without its tables would both set out to create them, and the second would find
// the first one's file half made and locked ("Access Denied"). A TableCreationLock orders
// them: while it lives, the folder of the table file holds an advisory lock (flock on the
// folder), exclusive when the file does not exist yet (this process is about to create it)
// and shared when it does (so that it is not opened while another process is making it).
// Taking it waits for the other ZELT, up to `wait_ms`.
//
//     const TableCreationLock creating(TempFile.FileName());
//     if (!creating.Held()) ... "another ZELT is creating the log"
//     manager.Open(); ...
//
// A folder that cannot be opened is not locked (Held() is true): the table's own open then
// says what is wrong with it.
#pragma once

#include <cstdint>
#include <string>

namespace zelt::app {

class TableCreationLock {
  public:
    explicit TableCreationLock(const std::string& file, std::int64_t wait_ms = 10000);
    ~TableCreationLock();
    TableCreationLock(const TableCreationLock&) = delete;
    TableCreationLock& operator=(const TableCreationLock&) = delete;

    // False when another process kept the folder locked for the whole wait.
    bool Held() const { return held_; }

  private:
    int fd_ = -1;
    bool held_ = true;
};

}  // namespace zelt::app
