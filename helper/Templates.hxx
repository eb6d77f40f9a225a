// The page templates shipped in Resources/Hinagata, and the byte checksums that two of them must
// have. The checksums belong to the shipped texts: whoever edits menu1.txt or picture1.txt updates
// the value here (a test compares them).
#pragma once

#include <cstdint>

namespace tessaly::templates {

inline constexpr char kFolder[] = "Hinagata";
inline constexpr char kTopPage[] = "topPage.txt";
inline constexpr char kMenuHead[] = "menu1.txt";
inline constexpr char kMenuTail[] = "menu2.txt";
inline constexpr char kAlbumHead[] = "picture1.txt";
inline constexpr char kAlbumTail[] = "picture2.txt";
inline constexpr char kClosedSite[] = "message.txt";

inline constexpr std::uint32_t kMenuHeadChecksum = 115174;
inline constexpr std::uint32_t kAlbumHeadChecksum = 105721;

} // namespace tessaly::templates
