// Standard error written to a file for as long as it lives, to count a program's log lines.
#pragma once

#include "TempHome.hxx"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace tessaly::testing {

class CapturedLog {
public:
    explicit CapturedLog(const std::filesystem::path& file) : file_(file) {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~CapturedLog() { restore(); }
    std::vector<std::string> lines() {
        restore();
        std::vector<std::string> lines;
        std::istringstream in(readFile(file_));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
    }
    std::filesystem::path file_;
    int saved_ = -1;
};

} // namespace tessaly::testing
