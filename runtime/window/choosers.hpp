// What the file and directory choosers are asked.
#pragma once

#include <string>
#include <vector>

namespace zelt::runtime {

struct FileFilter {
    std::string name;     // "Application files"
    std::string pattern;  // "*.app"; several patterns separated by ";"
    bool operator==(const FileFilter&) const = default;
};

struct FileChooserRequest {
    std::string title;  // "Choose a File"
    std::vector<FileFilter> filters;
    std::string start_directory;
    std::string file_name;  // proposed name
    bool save = false;      // a chooser for a file to write
    bool long_names = true;
    bool keep_directory = true;  // the process's current directory stays as it was
};

struct DirectoryChooserRequest {
    std::string title;  // "Select FPT Directory"
    std::string start_directory;
    bool keep_directory = true;
};

}  // namespace zelt::runtime
