// Runs the real helper executable as its own process, with HOME pointing at a test's home folder
// and its log, tracing included, going to a file.
#pragma once

#include "WaitUntil.hxx"

#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tessaly::testing {

class HelperProcess {
public:
    HelperProcess(const std::string& executable, const std::string& home,
                  const std::string& logFile) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("HOME", home.c_str(), 1);
            // A log line for every check, monitor pass and handled notification, for the tests to
            // wait on: what did not happen is asserted once the helper has shown it looked.
            ::setenv("TESSALY_TRACE", "1", 1);
            if (FILE* log = std::fopen(logFile.c_str(), "w")) {
                ::dup2(::fileno(log), STDERR_FILENO);
            }
            ::execl(executable.c_str(), executable.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~HelperProcess() {
        if (running()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    bool running() {
        if (status_) {
            return false;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = status;
            return false;
        }
        return true;
    }

    // The exit code once the process has ended on its own within the time, -1 for a signal.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout) {
        if (!waitUntil([this] { return !running(); }, timeout)) {
            return std::nullopt;
        }
        return WIFEXITED(*status_) ? WEXITSTATUS(*status_) : -1;
    }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

} // namespace tessaly::testing
