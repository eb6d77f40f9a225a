#include "PresetFolder.hxx"

#include "Format.hxx"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace fs = std::filesystem;

namespace tessaly {

namespace {

// A preset is about a kilobyte; a file this large is something else, and is not read at all.
constexpr std::uintmax_t kMaxPresetBytes = 1024 * 1024;

constexpr std::string_view kSuffix = ".plist";
constexpr std::string_view kUpperSuffix = ".PLIST";

PresetProblem problem(PresetProblem::Kind kind, std::string message) {
    return {kind, std::move(message)};
}

PresetProblem refusedName(std::string_view name, const char* why) {
    return problem(PresetProblem::Kind::NameRefused,
                   format("\"%@\" cannot be the name of a look: %@.", {name, why}));
}

// A name that is one plain entry of the folder, never a path leading elsewhere.
std::optional<PresetProblem> checkFileName(std::string_view name) {
    if (name.empty()) {
        return refusedName(name, "the name is empty");
    }
    if (name.find('/') != std::string_view::npos) {
        return refusedName(name, "a name must not contain \"/\"");
    }
    if (name.find('\0') != std::string_view::npos) {
        return refusedName(name, "a name must not contain a NUL character");
    }
    if (name == "." || name == "..") {
        return refusedName(name, "\".\" and \"..\" name folders");
    }
    if (name.size() > NAME_MAX) {
        return refusedName(name, "the name is too long");
    }
    return std::nullopt;
}

// Sorts as a person reads a list: case does not split it in two; equal names keep a fixed order.
bool comesBefore(const std::string& left, const std::string& right) {
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    const bool less =
        std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                     [&](char a, char b) { return fold(a) < fold(b); });
    const bool greater =
        std::lexicographical_compare(right.begin(), right.end(), left.begin(), left.end(),
                                     [&](char a, char b) { return fold(a) < fold(b); });
    return less || (!greater && left < right);
}

} // namespace

std::optional<PresetProblem> PresetFolder::checkFolder() const {
    std::error_code error;
    if (!fs::is_directory(folder_, error)) {
        return problem(PresetProblem::Kind::FolderMissing,
                       format("The folder of saved looks \"%@\" is missing.", {folder_.string()}));
    }
    return std::nullopt;
}

PresetResult<std::vector<std::string>> PresetFolder::list() const {
    if (auto missing = checkFolder()) {
        return *missing;
    }
    std::error_code error;
    std::vector<std::string> names;
    fs::directory_iterator entry(folder_, error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        names.push_back(entry->path().filename().string());
    }
    if (error) {
        return problem(PresetProblem::Kind::FolderUnreadable,
                       format("The folder of saved looks \"%@\" cannot be read: %@.",
                              {folder_.string(), error.message()}));
    }
    std::sort(names.begin(), names.end(), comesBefore);
    return names;
}

PresetResult<std::string> PresetFolder::saveFileName(std::string_view typed) {
    if (typed.find('/') != std::string_view::npos) {
        return refusedName(typed, "a name must not contain \"/\"");
    }
    if (typed == "." || typed == "..") {
        return refusedName(typed, "\".\" and \"..\" name folders");
    }
    // Only these two spellings count as the suffix; "Blue.Plist" becomes "Blue.Plist.plist".
    std::string name(typed);
    if (!typed.ends_with(kSuffix) && !typed.ends_with(kUpperSuffix)) {
        name += kSuffix;
    }
    if (auto refused = checkFileName(name)) {
        return *refused;
    }
    return name;
}

bool PresetFolder::exists(const std::string& fileName) const {
    std::error_code error;
    return !checkFileName(fileName) && fs::exists(fs::symlink_status(folder_ / fileName, error));
}

std::optional<PresetProblem> PresetFolder::save(const std::string& fileName,
                                                LumibayPref& pref) const {
    if (auto refused = checkFileName(fileName)) {
        return refused;
    }
    // The writer would create a missing folder; the presets folder comes only with the install.
    if (auto missing = checkFolder()) {
        return missing;
    }
    const fs::path target = folder_ / fileName;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(target, error);
    // A link could lead the write out of the folder, and anything that is not a preset may be the
    // user's own: neither is replaced.
    if (fs::exists(status) && (!fs::is_regular_file(status) || !readPlistDictionary(target))) {
        return problem(
            PresetProblem::Kind::NotAPreset,
            format("\"%@\" is already in the folder of saved looks and is not a look, so it "
                   "was left as it is. Choose another name.",
                   {fileName}));
    }
    PlistPtr dictionary = presetDictionary(makeCurrentSetting(pref));
    errno = 0;
    if (!writePlistDictionary(target, dictionary.get())) {
        const int cause = errno;
        return problem(PresetProblem::Kind::WriteFailed,
                       format("The look \"%@\" could not be written in \"%@\"%@.",
                              {fileName, folder_.string(),
                               cause ? ": " + std::string(std::strerror(cause)) : ""}));
    }
    return std::nullopt;
}

PresetResult<Preset> PresetFolder::load(const std::string& fileName) const {
    if (auto refused = checkFileName(fileName)) {
        return *refused;
    }
    if (auto missing = checkFolder()) {
        return *missing;
    }
    const fs::path target = folder_ / fileName;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(target, error))) {
        return problem(PresetProblem::Kind::NotFound,
                       format("The look \"%@\" is no longer there.", {fileName}));
    }
    if (!fs::is_regular_file(target, error)) {
        return problem(PresetProblem::Kind::NotAPreset,
                       format("\"%@\" is not a saved look.", {fileName}));
    }
    if (fs::file_size(target, error) > kMaxPresetBytes || error) {
        return problem(PresetProblem::Kind::NotAPreset,
                       format("\"%@\" is far too large to be a saved look.", {fileName}));
    }
    PlistPtr dictionary = readPlistDictionary(target);
    return presetFromDictionary(dictionary.get(), fileName);
}

std::optional<PresetProblem> PresetFolder::apply(const std::string& fileName,
                                                 const OfferedValues& offered,
                                                 LumibayPref& pref) const {
    PresetResult<Preset> preset = load(fileName);
    if (!preset.ok()) {
        return preset.problem();
    }
    if (auto refused = checkPreset(preset.value(), offered, fileName)) {
        return refused;
    }
    applyPreset(preset.value(), pref);
    return std::nullopt;
}

std::optional<PresetProblem> PresetFolder::remove(const std::string& fileName) const {
    if (auto refused = checkFileName(fileName)) {
        return refused;
    }
    const fs::path target = folder_ / fileName;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(target, error);
    if (!fs::exists(status)) {
        return problem(PresetProblem::Kind::NotFound,
                       format("The look \"%@\" is no longer there.", {fileName}));
    }
    if (fs::is_directory(status)) {
        return problem(PresetProblem::Kind::RemoveFailed,
                       format("\"%@\" is a folder, not a look; it was not removed.", {fileName}));
    }
    if (!fs::remove(target, error) || error) {
        return problem(PresetProblem::Kind::RemoveFailed,
                       format("The look \"%@\" could not be removed: %@.",
                              {fileName, error ? error.message() : std::string("it is gone")}));
    }
    return std::nullopt;
}

} // namespace tessaly
