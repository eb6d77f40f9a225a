#include "PresetActions.hxx"

#include "Constants.hxx"
#include "Format.hxx"

namespace tessaly {

QString PresetActions::text(const char* key) const {
    return QString::fromStdString(bundle_.localizedString(key, "InfoPlist"));
}

bool PresetActions::saveCurrentSetting(PresetQuestions& questions) {
    // An unreadable settings file leaves the store without values: a preset made from it would
    // hold zeros and no colours, not the look the window shows.
    if (!pref_.hasDictionary()) {
        questions.tellProblem(QString::fromStdString(
            format("The current look cannot be saved: the settings file \"%@\" could not be read.",
                   {pref_.getPrefPath()})));
        return false;
    }
    const std::optional<QString> typed = questions.askPresetName();
    if (!typed) {
        return false;
    }
    // A name that would leave the folder (or name none of its files) is refused before anything
    // is asked or written.
    PresetResult<std::string> name = PresetFolder::saveFileName(typed->toStdString());
    if (!name.ok()) {
        questions.tellProblem(QString::fromStdString(name.problem().message));
        return false;
    }
    const std::string& fileName = name.value();
    if (folder_.exists(fileName)) {
        const std::string question = format(text("CheckOverride").toStdString(), {fileName});
        if (!questions.confirmOverwrite(QString::fromStdString(question))) {
            return false;
        }
    }
    if (auto problem = folder_.save(fileName, pref_)) {
        questions.tellProblem(QString::fromStdString(problem->message));
    }
    return true;
}

bool PresetActions::useSetting(const std::string& fileName, PresetQuestions& questions,
                               const std::function<void(bool saved)>& showSettings) {
    if (auto problem = folder_.apply(fileName, pref_)) {
        questions.tellProblem(QString::fromStdString(problem->message));
        return false;
    }
    // The helper answers the notification by reading the file, so the file comes first. Only the
    // settings-change notification is posted: the helper rebuilds with the new image size too.
    const bool saved = pref_.savePref();
    if (showSettings) {
        showSettings(saved);
    }
    notifier_.post(TSY_SiteParamChange_Notification);
    return true;
}

bool PresetActions::deleteSetting(const std::string& fileName, PresetQuestions& questions) {
    // The question names the look, so that nobody deletes another than the one they mean.
    const std::string question = format(text("AskDeleteMessage").toStdString(), {fileName});
    if (!questions.confirmDelete(QString::fromStdString(question))) {
        return false;
    }
    if (auto problem = folder_.remove(fileName)) {
        questions.tellProblem(QString::fromStdString(problem->message));
    }
    return true;
}

} // namespace tessaly
