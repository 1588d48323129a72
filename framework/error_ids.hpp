// The identifiers of the framework's own error table, by what they report.
#pragma once

#include <cstdint>

namespace zelt::framework {

// A distinct type, so that an identifier is never taken for a level or a runtime error
// code. The framework's own identifiers are below; a program's error table may add more
// (ErrorId{n}).
enum class ErrorId : std::uint16_t {};

namespace msg {
inline constexpr ErrorId RetrievalError{1};
inline constexpr ErrorId AccessDenied{2};
inline constexpr ErrorId AddAnother{3};
inline constexpr ErrorId InsertError{4};
inline constexpr ErrorId AddNewRecord{5};
inline constexpr ErrorId ChangedByOther{6};
inline constexpr ErrorId ChangedByOtherForm{7};
inline constexpr ErrorId ConfirmCancel{8};
inline constexpr ErrorId ConfirmDelete{9};
inline constexpr ErrorId CreateError{10};
inline constexpr ErrorId DeleteError{11};
inline constexpr ErrorId DeleteIllegal{12};
inline constexpr ErrorId DuplicateKey{13};
inline constexpr ErrorId NotInFile{14};
inline constexpr ErrorId NotInList{15};
inline constexpr ErrorId OutOfRange{16};
inline constexpr ErrorId OutOfRangeHigh{17};
inline constexpr ErrorId OutOfRangeLow{18};
inline constexpr ErrorId FileLoadError{19};
inline constexpr ErrorId InsertIllegal{20};
inline constexpr ErrorId LogoutError{21};
inline constexpr ErrorId NoRecords{22};
inline constexpr ErrorId OpenFailed{23};
inline constexpr ErrorId ProcedureToDo{24};
inline constexpr ErrorId PutFailed{25};
inline constexpr ErrorId RebuildError{26};
inline constexpr ErrorId RebuildKey{27};
inline constexpr ErrorId RecordHeld{28};
inline constexpr ErrorId RestrictDelete{30};
inline constexpr ErrorId RestrictUpdate{31};
inline constexpr ErrorId RetryAutoInc{32};
inline constexpr ErrorId RetryDelete{33};
inline constexpr ErrorId RetryPut{34};
inline constexpr ErrorId SaveRecord{35};
inline constexpr ErrorId AtBeginning{36};
inline constexpr ErrorId AtEnd{37};
inline constexpr ErrorId UpdateIllegal{38};
inline constexpr ErrorId UseClosedFile{39};
inline constexpr ErrorId ViewOpenFailed{40};
inline constexpr ErrorId UnsupportedQbeColumn{41};
inline constexpr ErrorId SmtpError{42};
inline constexpr ErrorId NntpError{43};
inline constexpr ErrorId SocketError{44};
}  // namespace msg

}  // namespace zelt::framework
