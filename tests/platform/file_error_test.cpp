#include "platform/file_error.h"

#include <cerrno>
#include <gtest/gtest.h>

using zorvil::platform::FileErrorCause;
using zorvil::platform::FileErrorCauseFromErrno;

TEST(FileErrorCause, MapsErrnoToTheNumbersUsersSee) {
    EXPECT_EQ(FileErrorCauseFromErrno(0), FileErrorCause::None);
    EXPECT_EQ(static_cast<unsigned>(FileErrorCauseFromErrno(ENOENT)), 2u);
    EXPECT_EQ(static_cast<unsigned>(FileErrorCauseFromErrno(ENOTDIR)), 3u);
    EXPECT_EQ(static_cast<unsigned>(FileErrorCauseFromErrno(ENAMETOOLONG)), 3u);
    EXPECT_EQ(static_cast<unsigned>(FileErrorCauseFromErrno(EMFILE)), 4u);
    EXPECT_EQ(static_cast<unsigned>(FileErrorCauseFromErrno(ENFILE)), 4u);
    for (int e : {EACCES, EPERM, EROFS})
        EXPECT_EQ(static_cast<unsigned>(FileErrorCauseFromErrno(e)), 5u) << e;
    EXPECT_EQ(static_cast<unsigned>(FileErrorCauseFromErrno(EISDIR)), 6u);
    EXPECT_EQ(static_cast<unsigned>(FileErrorCauseFromErrno(EIO)), 10u);
    EXPECT_EQ(static_cast<unsigned>(FileErrorCauseFromErrno(ENOSPC)), 13u);
    EXPECT_EQ(static_cast<unsigned>(FileErrorCauseFromErrno(EINVAL)), 1u);
}
