#include "LibrarySources.hxx"

#include "DigikamSource.hxx"
#include "FolderSource.hxx"
#include "ShotwellSource.hxx"

#include <algorithm>
#include <cctype>

namespace tessaly::bridge {

std::optional<SourceKind> sourceKindNamed(std::string_view text) {
    for (const SourceName& name : kSourceNames) {
        if (std::equal(name.text.begin(), name.text.end(), text.begin(), text.end(),
                       [](char a, char b) {
                           return std::tolower(static_cast<unsigned char>(a)) ==
                                  std::tolower(static_cast<unsigned char>(b));
                       })) {
            return name.kind;
        }
    }
    return std::nullopt;
}

std::string_view sourceKindText(SourceKind kind) {
    for (const SourceName& name : kSourceNames) {
        if (name.kind == kind) {
            return name.text;
        }
    }
    return {};
}

std::string pictureFolder(const std::string& setting, const std::string& home) {
    if (setting.empty()) {
        return FolderSource::defaultFolder(home);
    }
    return setting.front() == '/' ? setting : home + "/" + setting;
}

std::unique_ptr<LibrarySource> makeSource(SourceKind kind, const std::string& folderSetting,
                                          const std::string& home) {
    switch (kind) {
    case SourceKind::Shotwell:
        return std::make_unique<ShotwellSource>(ShotwellSource::defaultDatabase(home));
    case SourceKind::Digikam:
        return std::make_unique<DigikamSource>(DigikamSource::defaultConfig(home));
    case SourceKind::Folder:
        return std::make_unique<FolderSource>(pictureFolder(folderSetting, home));
    case SourceKind::iPhoto:
        break;
    }
    return nullptr;
}

std::string sourceStamp(SourceKind kind, const LibrarySource& source) {
    return std::string(sourceKindText(kind)) + '\n' + source.location() + '\n' + source.stamp();
}

} // namespace tessaly::bridge
