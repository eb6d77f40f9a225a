#include "BenchSupport.hxx"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace tessaly::bench {

std::optional<pid_t> startProgram(const std::vector<std::string>& arguments, bool searchPath) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    const int error = searchPath
                          ? posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ)
                          : posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ);
    if (error != 0) {
        return std::nullopt;
    }
    return child;
}

bool waitForSuccess(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace tessaly::bench
