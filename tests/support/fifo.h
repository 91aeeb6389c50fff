#pragma once
// A named pipe where a file is expected, and a check that a call does not
// wait on it: a reader stuck on the pipe is freed by opening its other end,
// so that a failing test reports instead of hanging.
#include <chrono>
#include <fcntl.h>
#include <future>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace testing_support {

inline std::string makeFifo(const std::string& path)
{
    ::mkfifo(path.c_str(), 0644);
    return path;
}

// Runs CALL and tells whether it returned within LIMIT with FIFO left alone.
template <typename Call>
bool returnsWithoutWaitingOn(const std::string& fifo, Call&& call,
                             std::chrono::milliseconds limit = std::chrono::milliseconds(2000))
{
    auto done = std::async(std::launch::async, std::forward<Call>(call));
    if (done.wait_for(limit) == std::future_status::ready)
        return true;
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer >= 0)
        ::close(writer); // the reader sees the end of the pipe
    done.wait();
    return false;
}

} // namespace testing_support
