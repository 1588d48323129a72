// What a make that drives several IDEs sleeps on while items are in flight: watches over the
// folders of every result waited for, and one descriptor that becomes readable when any of
// those folders changed or when another descriptor (the bus connection, so that an IDE that
// goes away wakes it too) has something to read.
//
//     ResultWatches watches(bus_descriptor);
//     watches.Follow(target_a);            // an item waits for target_a
//     watches.Follow(target_b);
//     ... sleep on watches.Descriptor() ...; watches.Drain();
//     watches.Forget(target_a);            // that item has ended
//
// A folder is watched while at least one item waits for a result in it. Descriptor() is -1
// when the system refused the descriptors; the waits then rely on their tick alone.
#pragma once

#include <map>
#include <string>

namespace zelt::app {

class ResultWatches {
  public:
    explicit ResultWatches(int also_descriptor = -1);
    ~ResultWatches();
    ResultWatches(const ResultWatches&) = delete;
    ResultWatches& operator=(const ResultWatches&) = delete;

    void Follow(const std::string& path);
    void Forget(const std::string& path);
    int Descriptor() const { return epoll_; }
    // Reads away what woke the folder watches.
    void Drain();

  private:
    struct Folder {
        int watch = -1;
        int waiting = 0;  // items waiting for a result in it
    };
    int inotify_ = -1;
    int epoll_ = -1;
    std::map<std::string, Folder> folders_;
};

}  // namespace zelt::app
