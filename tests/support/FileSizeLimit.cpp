#include "tests/support/FileSizeLimit.h"

#include <gtest/gtest.h>

#include <csignal>

namespace quillet {

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    _previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &_previous), 0);
    const rlimit limit = {bytes, _previous.rlim_max};
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
}

FileSizeLimit::~FileSizeLimit() {
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &_previous), 0);
    std::signal(SIGXFSZ, _previousHandler);
}

}  // namespace quillet
