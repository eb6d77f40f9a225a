// A program's bundle: the folder that holds its executable and a "Resources" folder beside it.
#pragma once

#include <string>

namespace tessaly {

// The person's locale for messages, without its codeset or modifier ("de_DE" for
// LC_MESSAGES=de_DE.UTF-8), from LC_ALL, LC_MESSAGES or LANG, the first that is set; empty for
// none, "C" or "POSIX".
std::string messagesLocale();

class Bundle {
public:
    // The bundle of the running executable (found through /proc/self/exe).
    static Bundle mainBundle();
    explicit Bundle(std::string resourcePath) : resourcePath_(std::move(resourcePath)) {}

    const std::string& resourcePath() const { return resourcePath_; }

    // The text for `key` in the string table Resources/<language>.lproj/<table>.strings (an XML
    // property list), the language taken from the locale with English as the fallback. A key
    // without an entry gives the key itself.
    std::string localizedString(const std::string& key, const std::string& table) const;

private:
    std::string resourcePath_;
};

} // namespace tessaly
