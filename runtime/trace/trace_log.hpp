// The runtime's common trace facility.
//
// Components that can trace their work (a table driver, say) append lines to a trace file
// through here, so that every trace reads alike: each line starts with the local date and
// time to the millisecond and the component's name, then the component's own text.
//
//   2026-12-07 09:15:02.125 PELMAR OPEN /data/APPS.PLM -> 0 (0.41 ms)
//
// A trace file that cannot be written loses the line and nothing else: tracing never makes
// the work it traces fail.
#pragma once

#include <string>
#include <string_view>

namespace zelt::runtime {

void WriteTraceLine(const std::string& file, std::string_view component, std::string_view text);

// Bytes as readable text for a trace: printable ASCII as it is, a backslash doubled, any
// other byte as \xHH. At most `limit` bytes are shown; "..." marks the cut.
std::string TraceBytes(std::string_view bytes, std::size_t limit = 512);

}  // namespace zelt::runtime
