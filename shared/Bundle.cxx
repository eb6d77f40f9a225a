#include "Bundle.hxx"

#include "PlistFile.hxx"

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace tessaly {

Bundle Bundle::mainBundle() {
    std::error_code error;
    fs::path executable = fs::read_symlink("/proc/self/exe", error);
    return Bundle((executable.parent_path() / "Resources").string());
}

std::string messagesLocale() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value) {
            continue;
        }
        std::string locale = value;
        locale = locale.substr(0, locale.find_first_of(".@"));
        return locale == "C" || locale == "POSIX" ? std::string() : locale;
    }
    return {};
}

namespace {
// Folder names to try, most specific first: "de_DE.lproj", "de.lproj", then English.
std::vector<std::string> languageFolders() {
    std::vector<std::string> folders;
    if (const std::string locale = messagesLocale(); !locale.empty()) {
        folders.push_back(locale + ".lproj");
        if (auto underscore = locale.find('_'); underscore != std::string::npos) {
            folders.push_back(locale.substr(0, underscore) + ".lproj");
        }
    }
    folders.push_back("en.lproj");
    return folders;
}
} // namespace

std::string Bundle::localizedString(const std::string& key, const std::string& table) const {
    for (const std::string& folder : languageFolders()) {
        PlistPtr strings =
            readPlistDictionary(resourcePath_ + "/" + folder + "/" + table + ".strings");
        if (!strings) {
            continue;
        }
        plist_t value = plist_dict_get_item(strings.get(), key.c_str());
        if (value && plist_get_node_type(value) == PLIST_STRING) {
            char* text = nullptr;
            plist_get_string_val(value, &text);
            std::string result = text ? text : "";
            std::free(text);
            return result;
        }
        // The language has a table but not this key: do not mix in another language.
        return key;
    }
    return key;
}

} // namespace tessaly
