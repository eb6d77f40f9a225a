// Fake applications for the runner's tests: small shell scripts that write their arguments to
// "<program>.args" and then idle until asked to end. PATH and the XDG data folders point into the
// test's home while the object lives, so nothing of the real desktop is found or started.
#pragma once

#include "TempHome.hxx"
#include "WaitUntil.hxx"
#include "WorkspaceExtention.hxx"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>
#include <vector>

namespace tessaly::testing {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class FakeApplications {
public:
    explicit FakeApplications(const std::filesystem::path& home)
        : home_(home), bin_(home / "fake bin"),
          path_("PATH", bin_.string() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "")),
          dataHome_("XDG_DATA_HOME", (home / "data home").string()),
          dataDirs_("XDG_DATA_DIRS", (home / "no data").string()) {
        std::filesystem::create_directories(bin_);
    }
    ~FakeApplications() {
        for (const auto& [name, program] : programs_) {
            for (pid_t pid : NSWorkspaceExtention::processesOfApplication(name)) {
                ::kill(pid, SIGKILL);
            }
        }
    }

    std::filesystem::path addOnPath(const std::string& name) { return add(name, bin_ / name); }
    std::filesystem::path addElsewhere(const std::string& name, const std::string& folder) {
        return add(name, home_ / folder / name);
    }
    void addDesktopEntry(const std::string& name, const std::string& execLine) {
        writeFile(home_ / "data home/applications" / (name + ".desktop"),
                  "[Desktop Entry]\nType=Application\nName=" + name + "\n" + execLine);
    }

    bool waitUntilRunning(const std::string& name, bool running) {
        return waitUntil(
            [&] { return NSWorkspaceExtention::checkApplicationIsRunning(name) == running; });
    }

    // The arguments the application was started with, once it has written them.
    std::vector<std::string> arguments(const std::string& name) {
        std::filesystem::path file = programs_.at(name).string() + ".args";
        if (!waitUntil([&] { return std::filesystem::exists(file); })) {
            return {"(never started)"};
        }
        std::vector<std::string> lines;
        std::string text = readFile(file);
        for (std::size_t pos = 0; pos < text.size();) {
            std::size_t end = text.find('\n', pos);
            lines.push_back(text.substr(pos, end - pos));
            pos = end + 1;
        }
        return lines;
    }

private:
    std::filesystem::path add(const std::string& name, const std::filesystem::path& program) {
        writeFile(program, "#!/bin/sh\n"
                           "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args.tmp\"\n"
                           "mv \"$0.args.tmp\" \"$0.args\"\n"
                           "while :; do sleep 0.1; done\n");
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        programs_[name] = program;
        return program;
    }

    std::filesystem::path home_;
    std::filesystem::path bin_;
    ScopedEnv path_;
    ScopedEnv dataHome_;
    ScopedEnv dataDirs_;
    std::map<std::string, std::filesystem::path> programs_;
};

} // namespace tessaly::testing
