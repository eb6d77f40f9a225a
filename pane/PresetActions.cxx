#include "PresetActions.hxx"

#include "Constants.hxx"
#include "Format.hxx"

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

namespace {

// The length of the valid UTF-8 character at the start of `bytes`, or 0 when there is none.
std::size_t utf8CharacterLength(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    char32_t character = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        character = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        character = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        character = lead & 0x07;
    } else {
        return 0;
    }
    if (bytes.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        character = (character << 6) | (byte(i) & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not characters.
    const char32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (character < lowest[length] || (character >= 0xD800 && character <= 0xDFFF) ||
        character > 0x10FFFF) {
        return 0;
    }
    return length;
}

} // namespace

QString PresetActions::lineText(const std::string& fileName) {
    QString text;
    std::string_view rest = fileName;
    while (!rest.empty()) {
        std::size_t valid = 0;
        for (std::size_t length;
             valid < rest.size() && (length = utf8CharacterLength(rest.substr(valid))) != 0;) {
            valid += length;
        }
        text += QString::fromUtf8(rest.data(), static_cast<qsizetype>(valid));
        rest.remove_prefix(valid);
        if (!rest.empty()) {
            text += QString::asprintf("\\x%02X", static_cast<unsigned char>(rest.front()));
            rest.remove_prefix(1);
        }
    }
    return text;
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

bool PresetActions::useSetting(const std::string& fileName, const OfferedValues& offered,
                               PresetQuestions& questions,
                               const std::function<void(bool saved)>& showSettings) {
    if (auto problem = folder_.apply(fileName, offered, pref_)) {
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
