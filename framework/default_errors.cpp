#include "framework/default_errors.hpp"

#include <algorithm>
#include <array>

#include "framework/levels.hpp"

namespace zelt::framework {
namespace {

constexpr Level Ask = LevelAsk;
constexpr Level Fatal = LevelFatal;
constexpr Level Program = LevelProgram;
constexpr Level Notify = LevelNotify;

// In the order in which the table stores them (a later entry of an id overrides).
constexpr std::array<ErrorDeclaration, 43> kDefaults{{
    {27, Notify, "Invalid Key", "%File key file is invalid. Key must be rebuilt."},
    {26, Fatal, "Key was not built", "Error: (%ErrorText) repairing key for %File."},
    {10, Fatal, "File Creation Error", "Error: (%ErrorText) creating %File."},
    {24, Notify, "Procedure not defined", "The Procedure %Message has not been defined."},
    {17, Notify, "Range Error", "The value of %Field must be lower than %Message."},
    {18, Notify, "Range Error", "The value of %Field must be higher than %Message."},
    {16, Notify, "Range Error", "The value of %Field must be in range %Message."},
    {14, Notify, "Field contents error", "The value of %Field must be found in the %Message file."},
    {31, Notify, "Referential Integrity Update Error",
     "This record is referenced from the file %File. Linking field(s) have been restricted "
     "from change and have been reset to original values."},
    {30, Notify, "Referential Integrity Delete Error",
     "This record is referenced from the file %File. This record cannot be deleted while "
     "these references exist."},
    {4, Notify, "Record Insert Error",
     "An error was experienced during the creation of a record.|File: %File|Error: "
     "%ErrorText."},
    {6, Notify, "Record Was Not Updated", "This record was changed by another station."},
    {7, Notify, "Record Was Not Updated",
     "This record was changed by another station. Those changes will now be displayed. Use "
     "the Ditto Button or Ctrl+' to recall your changes."},
    {34, Ask, "Record Update Error",
     "An error was experienced changing this record. Do you want to try to save again?"},
    {33, Ask, "Record Delete Error",
     "An error was experienced deleting this record. Do you want to try to delete it again?"},
    {20, Notify, "Invalid Request", "This form cannot be used to insert a record"},
    {38, Notify, "Invalid Request", "This form cannot be used to update a record"},
    {12, Notify, "Invalid Request", "This form cannot be used to delete a record"},
    {8, Ask, "Changes will be lost!", "Are you sure you want to cancel?"},
    {13, Notify, "Duplicate Key Error",
     "Adding this record creates a duplicate entry for the key: %Message"},
    {32, Ask, "Auto Increment Error",
     "Attempts to automatically number this record have failed.|File: %File|Error: "
     "%ErrorText.|Try Again?"},
    {19, Notify, "File Load Error", "%File File Load Error.  Error: %ErrorText."},
    {36, Ask, "Beginning of File Error",
     "The beginning of the file %File was encountered. Do you want to start again from the "
     "end of the file?"},
    {37, Ask, "End of File Error",
     "The end of the file %File was encountered. Do you want to start again from the "
     "beginning?"},
    {23, Fatal, "File Access Error", "File %File could not be opened.  Error: %ErrorText."},
    {25, Notify, "Record was not updated",
     "An error (%ErrorText) was experienced when making changes to the %File file."},
    {11, Notify, "Record was not deleted",
     "An error (%ErrorText) was experienced when deleting a record from the %File file."},
    {9, Ask, "Confirm Delete", "Are you sure you want to delete the highlighted record?"},
    {35, Ask, "Save Record", "Do you want to save the changes to this record?"},
    {21, Notify, "Transaction cancelled",
     "Error: (%ErrorText) attempting to frame the transaction on %File."},
    {1, Notify, "Record Retrieval Error",
     "Error: (%ErrorText) attempting to access a record from the %File file.  Returning to "
     "previous window."},
    {40, Notify, "View Open Error",
     "Error: (%ErrorText) attempting to open the current VIEW. Filter and Range Limits "
     "ignored."},
    {3, Ask, "Record Added",
     "This record has been added to the file. Do you want to add another record?"},
    {28, Notify, "Record not read",
     "A record held by another station was encountered reading from the %File file."},
    {5, Notify, "Add New Record?", "Record match not found, do you wish to add a new one?"},
    {15, Notify, "Value Error", "The value of %Field must be in the list : %Message."},
    {22, Notify, "No Records", "There are no records available to process."},
    {2, Notify, "Access Denied", "Could not get write access to %File so trying read-only."},
    {39, Program, "File Usage Error", "Attempt to use file (%File) before it was opened"},
    {41, Notify, "Unsupported QBE Column",
     "The saved QBE column, %Field is not supported. It will be dropped from the query."},
    {42, Notify, "SMTP Error", "The following SMTP Error occurred: %Message "},
    {43, Notify, "NNTP Error", "%Message "},
    {44, Notify, "Winsock Error", "%Message "},
}};

}  // namespace

std::vector<std::uint8_t> PackErrorBlock(std::span<const ErrorDeclaration> declarations) {
    std::vector<std::uint8_t> block;
    std::size_t count = std::min<std::size_t>(declarations.size(), 0xFFFF);
    block.push_back(static_cast<std::uint8_t>(count & 0xFF));
    block.push_back(static_cast<std::uint8_t>(count >> 8));
    auto text = [&block](std::string_view t) {
        t = t.substr(0, 255);
        block.push_back(static_cast<std::uint8_t>(t.size()));
        block.insert(block.end(), t.begin(), t.end());
    };
    for (std::size_t i = 0; i < count; ++i) {
        const ErrorDeclaration& d = declarations[i];
        block.push_back(static_cast<std::uint8_t>(d.id & 0xFF));
        block.push_back(static_cast<std::uint8_t>(d.id >> 8));
        block.push_back(static_cast<std::uint8_t>(d.fatality));
        text(d.title);
        text(d.message);
    }
    return block;
}

std::span<const std::uint8_t> DefaultErrorBlock() {
    static const std::vector<std::uint8_t> block = PackErrorBlock(kDefaults);
    return block;
}

}  // namespace zelt::framework
