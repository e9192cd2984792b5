#include "platform/file_error.h"

#include <cerrno>
#include <gtest/gtest.h>

using zorvil::platform::FileErrorCauseFromErrno;

TEST(FileErrorCause, MapsErrnoToTheNumbersUsersSee) {
    const struct {
        int error;
        unsigned cause;
    } cases[] = {{0, 0},      {ENOENT, 2},  {ENOTDIR, 3}, {ENAMETOOLONG, 3}, {EMFILE, 4},
                 {ENFILE, 4}, {EACCES, 5},  {EPERM, 5},   {EROFS, 5},        {EISDIR, 6},
                 {EIO, 10},   {ENOSPC, 13}, {EINVAL, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<unsigned>(FileErrorCauseFromErrno(c.error)), c.cause) << c.error;
}
