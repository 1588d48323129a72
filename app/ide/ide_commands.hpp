// The commands that the batches send to the IDE, each one bracketed macro call in a
// 255-character command text (cut, or padded with blanks).
//
// `full_name` is the clipped FullName of the batch: directory and base name for imports
// and exports, directory and application file name (with extension) for a make. Trailing
// blanks are clipped here as well.
#pragma once

#include <string>
#include <string_view>

namespace zelt::app {

// [ImportDCT("F.TXD",F.DCT,0)]
std::string ImportDictionaryCommand(std::string_view full_name);
// [ImportApp("F.TXA",F.APP,0,Replace)]
std::string ImportApplicationCommand(std::string_view full_name);
// [ExecuteProject("F")]
std::string MakeCommand(std::string_view full_name);
// [ExportApp("F.App","F.TXA",0)]
std::string ExportApplicationCommand(std::string_view full_name);
// [ExportDCT("F.DCT","F.TXD",0)]
std::string ExportDictionaryCommand(std::string_view full_name);

// The text without its trailing blanks.
std::string_view ClipText(std::string_view text);

}  // namespace zelt::app
