#pragma once
// Ways to make file writes fail on purpose, also when the tests run as root.
#include <csignal>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>

namespace testing_support {

// File access of this thread runs as an ordinary user while this lives; root
// would otherwise write into read-only folders. The folders involved must be
// reachable for others (mode 0755 on the test folder).
class AsUnprivileged {
public:
    AsUnprivileged()
    {
        if (::geteuid() == 0) {
            ::setfsgid(65534);
            ::setfsuid(65534);
        }
    }
    ~AsUnprivileged()
    {
        if (::geteuid() == 0) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }
    AsUnprivileged(const AsUnprivileged&) = delete;
    AsUnprivileged& operator=(const AsUnprivileged&) = delete;
};

// Writes past BYTES fail with EFBIG while this lives: a disk that fills up
// half-way through a write.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

} // namespace testing_support
