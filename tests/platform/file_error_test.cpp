#include "platform/file_error.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <string>

using zorvil::platform::FileErrorCause;
using zorvil::platform::FileErrorCauseFromErrno;
using zorvil::platform::FileErrorCauseText;
using zorvil::platform::PrintablePath;

TEST(FileErrorCause, MapsErrnoToTheNumbersUsersSee) {
    const struct {
        int error;
        unsigned cause;
    } cases[] = {{0, 0},      {ENOENT, 2},  {ENOTDIR, 3}, {ENAMETOOLONG, 3}, {EMFILE, 4},
                 {ENFILE, 4}, {EACCES, 5},  {EPERM, 5},   {EROFS, 5},        {EISDIR, 6},
                 {EIO, 10},   {ENOSPC, 13}, {EINVAL, 1},  {ELOOP, 3},        {EDQUOT, 13}};
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<unsigned>(FileErrorCauseFromErrno(c.error)), c.cause) << c.error;
}

TEST(FileErrorCause, EveryCauseHasWordsAndOnlyControlCharactersAreEscaped) {
    // (The words of each cause, and escapes in messages, are the file messages' test.)
    for (int error = 0; error < 140; ++error)
        EXPECT_FALSE(FileErrorCauseText(FileErrorCauseFromErrno(error)).empty()) << error;
    EXPECT_EQ(PrintablePath(std::string("/home/me/Übung\0 1.tsn", 22)),
              "/home/me/Übung\\x00 1.tsn");
}
