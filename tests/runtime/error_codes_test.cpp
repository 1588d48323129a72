#include "runtime/errors/error_codes.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "runtime/errors/error_state.hpp"

namespace zelt::runtime {
namespace {

TEST(ErrorCodesTest, TextsOfEachRange) {
    EXPECT_EQ(ErrorText(2), "File Not Found");
    EXPECT_EQ(ErrorText(33), "Record Not Available");
    EXPECT_EQ(ErrorText(78), "Invalid Number Of Parameters ");
    EXPECT_EQ(ErrorText(89), "Record Changed By Another Station");
    EXPECT_EQ(ErrorText(96), "Remote Object Not Found");
    EXPECT_EQ(ErrorText(301), "Invalid Function");
    EXPECT_EQ(ErrorText(313), "Invalid Data");
    EXPECT_EQ(ErrorText(315), "Invalid Drive");
    EXPECT_EQ(ErrorText(339), "Handle Disk Full");
    EXPECT_EQ(ErrorText(350), "Not Supported ");
    EXPECT_EQ(ErrorText(372), "Network Redirection Paused");
    EXPECT_EQ(ErrorText(380), "File Already Exists");
    EXPECT_EQ(ErrorText(388), "Network Write Fault");
    EXPECT_EQ(ErrorText(390), "System Component Not Loaded");
    EXPECT_EQ(ErrorText(391), "Unknown Error");
    EXPECT_EQ(ErrorText(403), "Termination caused by signal.  (User break or Floating point)");
    EXPECT_EQ(ErrorText(410), "Pure Virtual Function Called");
    EXPECT_EQ(ErrorText(501), "Internal error 01");
    EXPECT_EQ(ErrorText(515), "Internal error 15");
    EXPECT_EQ(ErrorText(520), "Mismatch with VXVBX.DLL detected");
    EXPECT_EQ(ErrorText(532), "Unable to open MDI window on APPLICATION's thread");
    EXPECT_EQ(ErrorText(544), "Too Many VBX Hooks");
    EXPECT_EQ(ErrorText(601), "Invalid DDE channel");
    EXPECT_EQ(ErrorText(605), "DDE transaction timed out");
    EXPECT_EQ(ErrorText(802), "Mismatched PUSHSCOPE/POPSCOPE");
}

TEST(ErrorCodesTest, CodesWithoutTextSayUnknown) {
    EXPECT_EQ(ErrorText(6), "Unknown Error Posted : 6");
    for (const ErrorCode gap : {1,   31,  314, 340, 349, 373, 379, 389, 392, 400,
                                411, 500, 516, 519, 545, 600, 606, 799, 803, -1}) {
        EXPECT_EQ(ErrorText(gap), "Unknown Error Posted : " + std::to_string(gap));
    }
}

TEST(ErrorStateTest, EachOperationReplacesTheState) {
    PostError(5);
    EXPECT_EQ(CurrentErrorCode(), 5);
    EXPECT_EQ("Error " + std::to_string(CurrentErrorCode()) + " " + CurrentErrorText(),
              "Error 5 Access Denied");
    EXPECT_EQ(CurrentFileErrorCode(), "5");

    PostFileSystemError("1170", "Possible data corruption in file");
    EXPECT_EQ(CurrentErrorCode(), 90);
    EXPECT_EQ(CurrentErrorText(), "File System Error");
    EXPECT_EQ(CurrentFileErrorCode(), "1170");
    EXPECT_EQ(CurrentFileErrorText(), "Possible data corruption in file");

    const auto saved = CurrentError();
    PostError(0);
    EXPECT_EQ(CurrentErrorCode(), 0);
    EXPECT_EQ(CurrentErrorText(), "");
    EXPECT_EQ(CurrentFileErrorCode(), "");
    RestoreError(saved);
    EXPECT_EQ(CurrentFileErrorCode(), "1170");
    ClearError();
}

TEST(ErrorStateTest, StateIsKeptPerThread) {
    PostError(40);
    ErrorCode seen_on_other = -1;
    std::thread other([&] {
        seen_on_other = CurrentErrorCode();
        PostError(33);
    });
    other.join();
    EXPECT_EQ(seen_on_other, 0);
    EXPECT_EQ(CurrentErrorCode(), 40);
    ClearError();
}

TEST(ErrorCodesTest, OperatingSystemFailuresMapToTableCodes) {
    EXPECT_EQ(ErrorCodeFromErrno(ENOENT), 2);
    EXPECT_EQ(ErrorCodeFromErrno(EACCES), 5);
    EXPECT_EQ(ErrorCodeFromErrno(EMFILE), 4);
    EXPECT_EQ(ErrorText(ErrorCodeFromErrno(ENOSPC)), "Handle Disk Full");
    EXPECT_EQ(ErrorCodeFromErrno(EXDEV), 90);
}

}  // namespace
}  // namespace zelt::runtime
