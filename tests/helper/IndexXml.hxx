// Small library indexes written in tests, in the property-list form the photo application uses.
#pragma once

#include "TempHome.hxx"

#include <string>
#include <vector>

namespace tessaly::testing {

inline std::string keyString(const std::string& key, const std::string& value) {
    return "<key>" + key + "</key><string>" + value + "</string>\n";
}

// An album dictionary; the type is "Regular" unless given.
inline std::string albumXml(const std::string& name, const std::vector<std::string>& keys,
                            const std::string& type = "Regular", const std::string& extra = "") {
    std::string xml = "<dict>\n" + keyString("Album Type", type) + keyString("AlbumName", name);
    xml += "<key>KeyList</key><array>";
    for (const auto& key : keys) {
        xml += "<string>" + key + "</string>";
    }
    return xml + "</array>\n" + extra + "</dict>\n";
}

inline std::string albumListXml(const std::vector<std::string>& albums) {
    std::string xml = "<key>List of Albums</key>\n<array>\n";
    for (const auto& album : albums) {
        xml += album;
    }
    return xml + "</array>\n";
}

// The three places every library starts with, which are never published.
inline std::vector<std::string> libraryStart() {
    return {"<dict><key>AlbumName</key><string>Library</string><key>Master</key><true/></dict>\n",
            albumXml("Last Roll", {}, "Special Roll"),
            albumXml("Last 12 Months", {}, "Special Month")};
}

inline std::string pictureXml(const std::string& key, const std::string& body) {
    return "<key>" + key + "</key>\n<dict>\n" + body + "</dict>\n";
}

} // namespace tessaly::testing
