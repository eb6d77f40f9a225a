// Saving, applying and deleting saved looks, without any widget. What the user is asked goes
// through PresetQuestions, so the window answers with its sheets and tests answer from a script;
// the list and the controls stay the window's.
#pragma once

#include "Bundle.hxx"
#include "LumibayPref.hxx"
#include "Notifier.hxx"
#include "PresetFolder.hxx"

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessaly {

// Everything the preset operations ask the user, each a window-modal question that returns only
// once it has been answered.
class PresetQuestions {
public:
    virtual ~PresetQuestions() = default;
    // The name field of "GetPath" ("Preset name"): the text exactly as typed, or none for Cancel.
    virtual std::optional<QString> askPresetName() = 0;
    // "MessageSheet2" with the text as given (already holding the file name); false for Cancel.
    virtual bool confirmOverwrite(const QString& question) = 0;
    virtual bool confirmDelete(const QString& question) = 0;
    // Something could not be done; the user only acknowledges it.
    virtual void tellProblem(const QString& notice) = 0;
};

class PresetActions {
public:
    PresetActions(PresetFolder folder, const Bundle& bundle, LumibayPref& pref, Notifier& notifier)
        : folder_(std::move(folder)), bundle_(bundle), pref_(pref), notifier_(notifier) {}

    const PresetFolder& folder() const { return folder_; }
    PresetResult<std::vector<std::string>> list() const { return folder_.list(); }

    // Asks for a name, asks before replacing an existing preset, and writes the current look.
    // True when the user went through with it (the list is then read again, whether or not the
    // write worked); false when the user cancelled or the name was refused.
    bool saveCurrentSetting(PresetQuestions& questions);

    // Puts the preset into the settings, saves the settings file, lets `showSettings` refill the
    // window (told whether the file was saved), and only then tells the helper, with the one
    // settings-change notification. A preset that cannot be used changes nothing, the user is told
    // why, and false comes back.
    bool useSetting(const std::string& fileName, PresetQuestions& questions,
                    const std::function<void(bool saved)>& showSettings);

    // Asks, then removes the preset. True when the user confirmed (the window is then refilled,
    // whether or not the removal worked).
    bool deleteSetting(const std::string& fileName, PresetQuestions& questions);

private:
    QString text(const char* key) const;

    PresetFolder folder_;
    const Bundle& bundle_;
    LumibayPref& pref_;
    Notifier& notifier_;
};

} // namespace tessaly
