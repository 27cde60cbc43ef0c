#pragma once
// While it lives, this process may not write a file beyond `bytes` bytes: the write fails with
// EFBIG, as it would on a full disk, for root as for anyone (file permissions stop nothing when
// the tests run as root). SIGXFSZ is ignored meanwhile, so the write returns its error instead
// of ending the process.

#include <sys/resource.h>

namespace quillet {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit _previous{};
    void (*_previousHandler)(int) = nullptr;
};

}  // namespace quillet
