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
    // Lists the folder for the window, and remembers each line's file name byte for byte. A line
    // shows the name as text, which cannot hold every file name, so the actions take the file
    // name from here and never from the line's text. A folder that cannot be listed leaves the
    // names of the last listing.
    PresetResult<std::vector<std::string>> list();
    // The file name of a line of the last listing; none for a line it did not have.
    std::optional<std::string> listedFileName(int line) const;
    // How the list shows a file name: as UTF-8, with each byte that is not part of a valid UTF-8
    // character written "\xE9", so that no two names show alike.
    static QString lineText(const std::string& fileName);

    // Asks for a name, asks before replacing an existing preset, and writes the current look.
    // True when the user went through with it (the list is then read again, whether or not the
    // write worked); false when the user cancelled or the name was refused.
    bool saveCurrentSetting(PresetQuestions& questions);

    // What the window's controls offer; until the window says, nothing is offered and no preset
    // is applied.
    void offerValues(OfferedValues offered) { offered_ = std::move(offered); }

    // Puts the preset into the settings, saves the settings file, lets `showSettings` refill the
    // window (told whether the file was saved), and only then tells the helper, with the one
    // settings-change notification. A preset that cannot be used, or holds a value the window's
    // controls do not offer, changes nothing, the user is told why, and false comes back.
    bool useSetting(const std::string& fileName, PresetQuestions& questions,
                    const std::function<void(bool saved)>& showSettings);

    // Asks, then removes the preset. True when the user confirmed (the window is then refilled,
    // whether or not the removal worked).
    bool deleteSetting(const std::string& fileName, PresetQuestions& questions);

private:
    QString text(const char* key) const;

    PresetFolder folder_;
    std::vector<std::string> listed_;
    OfferedValues offered_;
    const Bundle& bundle_;
    LumibayPref& pref_;
    Notifier& notifier_;
};

} // namespace tessaly
