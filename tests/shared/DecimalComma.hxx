// Puts the whole process into a decimal-comma numeric locale while it lives, as QCoreApplication
// does for a German user, and restores the locale before.
#pragma once

#include <clocale>
#include <cstdlib>
#include <string>

namespace tessaly::testing {

class DecimalCommaLocale {
public:
    DecimalCommaLocale() {
        const char* old = std::setlocale(LC_ALL, nullptr);
        saved_ = old ? old : "C";
        active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr &&
                  std::string(std::localeconv()->decimal_point) == ",";
    }
    ~DecimalCommaLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    // False when the machine lacks de_DE.UTF-8 (scripts/install-deps.sh makes it).
    bool active() const { return active_; }

private:
    std::string saved_;
    bool active_ = false;
};

} // namespace tessaly::testing
