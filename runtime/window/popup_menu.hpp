// A popup menu given as one text: entries separated by "|", "-" a separator line, an entry
// starting with "~" shown disabled. Choices are numbered from 1 over the entries that are no
// separators; 0 means nothing was chosen.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelt::runtime {

struct PopupEntry {
    std::string text;  // with its "&" accelerator, without the "~"
    bool separator = false;
    bool enabled = true;
    int number = 0;  // the choice it answers; 0 for a separator
};

struct PopupMenu {
    std::vector<PopupEntry> entries;
    int ChoiceCount() const;
    // The entry answering `number`, or nullptr.
    const PopupEntry* Entry(int number) const;
    // The first enabled entry whose text, without "&", equals `text` (case-insensitive); 0
    // when there is none.
    int NumberOf(std::string_view text) const;
};

PopupMenu ParsePopupMenu(std::string_view text);
// "Chan&ge" -> "Change"; "&&" stays one "&".
std::string StripAccelerator(std::string_view text);

}  // namespace zelt::runtime
