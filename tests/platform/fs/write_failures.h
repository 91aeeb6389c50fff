#pragma once
// Ways to make file writes fail on purpose, also when the tests run as root.
#include <csignal>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>

namespace testing_support {

// File access of this thread runs as user "nobody" while this lives; root would
// write into read-only folders. The folders involved must be reachable (0755).
struct AsUnprivileged {
    AsUnprivileged() { root_ && (::setfsgid(65534), ::setfsuid(65534)); }
    ~AsUnprivileged() { root_ && (::setfsuid(0), ::setfsgid(0)); }
    bool root_ = ::geteuid() == 0;
};

// Writes past BYTES fail with EFBIG while this lives: a disk filling up mid-write.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) : handler_(std::signal(SIGXFSZ, SIG_IGN))
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit{bytes, old_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, handler_);
    }
    rlimit old_{};
    void (*handler_)(int);
};

} // namespace testing_support
