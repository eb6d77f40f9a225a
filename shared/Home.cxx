#include "Home.hxx"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace tessaly {

std::string homeDirectory() {
    std::string home;
    if (const char* env = std::getenv("HOME"); env && *env) {
        home = env;
    } else if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) {
        home = entry->pw_dir;
    }
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return home;
}

} // namespace tessaly
