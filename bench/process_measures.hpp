// What the benchmarks measure of their own process: processor time and peak resident memory.
//
// Processor time counts only this program's work; on a shared machine the wall clock also
// counts the other users'. Peak resident memory is the high-water mark since the process
// started (getrusage), so a change that trades memory for speed shows in the bench's output.
#pragma once

#include <sys/resource.h>

#include <ctime>

namespace zelt::bench {

// Processor time of the whole process so far, in seconds.
inline double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The process's peak resident memory so far, in MiB.
inline double PeakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace zelt::bench
