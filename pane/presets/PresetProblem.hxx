// What the preset operations answer when they cannot do what was asked. Whenever a problem comes
// back, nothing on disk or in the settings has changed, and the message says why in words the
// window can show as it is.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace tessaly {

struct PresetProblem {
    enum class Kind {
        FolderMissing,    // the presets folder is not there, or is not a folder
        FolderUnreadable, // the folder exists but cannot be listed
        NameRefused,      // the name could not be a file directly inside the folder
        NotFound,         // no preset of that name
        NotAPreset,       // not a property-list dictionary, or far too large to be one
        WrongEntry,       // an entry has the wrong type or a value out of range
        Incomplete,       // a setting of the look is missing, or its colour cannot be read
        ValueNotOffered,  // a value that the window's control for it does not offer
        WriteFailed,
        RemoveFailed,
    };
    Kind kind;
    std::string message;
};

// A value, or the problem that kept it from being made.
template <typename T> class PresetResult {
public:
    PresetResult(T value) : content_(std::move(value)) {}
    PresetResult(PresetProblem problem) : content_(std::move(problem)) {}

    bool ok() const { return content_.index() == 0; }
    const T& value() const { return std::get<0>(content_); }
    const PresetProblem& problem() const { return std::get<1>(content_); }

private:
    std::variant<T, PresetProblem> content_;
};

} // namespace tessaly
