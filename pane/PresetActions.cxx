#include "PresetActions.hxx"

#include "Constants.hxx"
#include "Format.hxx"
#include "StringExtention.hxx"

namespace tessaly {

QString PresetActions::text(const char* key) const {
    return QString::fromStdString(bundle_.localizedString(key, "InfoPlist"));
}

PresetResult<std::vector<std::string>> PresetActions::list() {
    PresetResult<std::vector<std::string>> names = folder_.list();
    if (names.ok()) {
        listed_ = names.value();
    }
    return names;
}

std::optional<std::string> PresetActions::listedFileName(int line) const {
    if (line < 0 || static_cast<std::size_t>(line) >= listed_.size()) {
        return std::nullopt;
    }
    return listed_[static_cast<std::size_t>(line)];
}

QString PresetActions::lineText(const std::string& fileName) {
    QString text;
    // The valid characters from `from` on are added in one piece, up to a byte that is none.
    std::size_t from = 0;
    for (std::size_t at = 0; at < fileName.size();) {
        if (const std::size_t length = NSStringExtention::utf8SequenceLength(fileName, at)) {
            at += length;
            continue;
        }
        text += QString::fromUtf8(fileName.data() + from, static_cast<qsizetype>(at - from));
        text += QString::asprintf("\\x%02X", static_cast<unsigned char>(fileName[at]));
        from = ++at;
    }
    return text + QString::fromUtf8(fileName.data() + from,
                                    static_cast<qsizetype>(fileName.size() - from));
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
    if (auto problem = folder_.apply(fileName, offered_, pref_)) {
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
    // The question names the look as its line shows it, so that nobody deletes another than the
    // one they mean.
    const QString question = QString::fromStdString(
        format(text("AskDeleteMessage").toStdString(), {lineText(fileName).toStdString()}));
    if (!questions.confirmDelete(question)) {
        return false;
    }
    if (auto problem = folder_.remove(fileName)) {
        questions.tellProblem(QString::fromStdString(problem->message));
    }
    return true;
}

} // namespace tessaly
