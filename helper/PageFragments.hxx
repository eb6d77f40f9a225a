// The markup the page builders put between the templates. Each is a format: Q marks where a
// quotation mark goes and LF a line feed, both passed as values so that no fragment hides them.
// The odd spacing ("color =", "href= ", "target = ") and the target "_blanc" are part of the
// published pages and are kept as they are. Every text from the library is escaped before it
// fills a fragment (see HtmlText.hxx); the fragments themselves are written as they stand.
#pragma once

#include <string_view>

namespace tessaly::fragments {

// Menu page.
// Q, colour, Q, LF
inline constexpr std::string_view kMenuFont = "<font Color=%@%@%@>%@";
// Q, page name, Q, Q, Q, album or event name, LF
inline constexpr std::string_view kMenuLink = "<a href=%@%@%@ target=%@picture%@>%@</a><br>%@";
// The events follow the albums under a heading of their own: heading text, LF.
inline constexpr std::string_view kMenuEventsHeading = "<h2>%@</h2>%@";
inline constexpr std::string_view kEventsHeadingText = "Events";

// Album pages.
// The album template ends inside the page's head, so that the page can be titled with its album's
// name, which the template cannot receive: title, LF, LF. An album without a name is titled with
// kUntitledAlbum.
inline constexpr std::string_view kAlbumPageStart = "<title>%@</title>%@</head><body><main>%@";
inline constexpr std::string_view kUntitledAlbum = "Album";
// An event's page begins as an album's, its heading naming it an event; an event without a name
// is titled and linked with kUntitledEvent.
inline constexpr std::string_view kUntitledEvent = "Event";
// Q, colour, Q, level, name, level, LF
inline constexpr std::string_view kAlbumTitle =
    "<font color=%@#%@%@><H%d>Album Title : %@ </H%d>%@";
// Q, colour, Q, level, name, level, LF
inline constexpr std::string_view kEventTitle = "<font color=%@#%@%@><H%d>Event : %@ </H%d>%@";
// title text, Q, colour, Q, level, comment, level, LF
inline constexpr std::string_view kAlbumComment =
    "%@<font color=%@#%@%@><H%d> Comment : %@ </H%d>%@";
// Q x7, cell padding, Q, LF
inline constexpr std::string_view kTableStart =
    "<table width=%@180%@ border=%@0%@ cellspacing=%@1%@ cellpadding=%@%d%@>%@";
inline constexpr std::string_view kRowStart = "<tr>%@";                   // LF
inline constexpr std::string_view kCellStart = "<td align=%@center%@>%@"; // Q, Q, LF
// Q, path, Q, Q, caption, Q, Q, Q, Q, width, Q, Q, height, Q, LF
inline constexpr std::string_view kThumbnail =
    "<img src=%@%@%@ alt=%@%@%@ border=%@0%@ width=%@%d%@ height=%@%d%@>%@";
// A thumbnail whose proportions nothing told (no aspect ratio, no readable thumbnail file): a
// square of the picture size, the picture fitted inside it whatever its shape. Values as above,
// with Q, Q before the LF.
inline constexpr std::string_view kThumbnailInSquare =
    "<img src=%@%@%@ alt=%@%@%@ border=%@0%@ width=%@%d%@ height=%@%d%@ "
    "style=%@object-fit:contain%@>%@";
// Q, size, Q, LF
inline constexpr std::string_view kTitleFontPositive = "<font size=%@+%d%@>%@";
// Q, size, Q, Q, colour, Q, LF
inline constexpr std::string_view kTitleFontNegative = "<font size=%@%d%@ color=%@#%@%@>%@";
inline constexpr std::string_view kCaption = "<br>%@%@"; // caption, LF
// Q, path, Q, Q, Q, link text, LF
inline constexpr std::string_view kDownloadLink = "<a href= %@%@%@ target = %@_blanc%@>%@ </a>%@";
// Q, size, Q, Q, colour, Q, comment, LF
inline constexpr std::string_view kCommentPositive = "<font size=%@+%d%@ color =%@#%@%@><br>%@%@";
inline constexpr std::string_view kCommentNegative = "<font size=%@%d%@ color =%@#%@%@><br>%@%@";
inline constexpr std::string_view kNoComment = "<br>%@";      // LF
inline constexpr std::string_view kCellEnd = "%@<br></td>%@"; // cell text, LF
inline constexpr std::string_view kRowEnd = "</tr>%@";        // LF
inline constexpr std::string_view kAlbumPageName = "%d.html"; // position
// Position in the list of events. The letter keeps the names apart from album pages, which are
// digits alone.
inline constexpr std::string_view kEventPageName = "e%d.html";
inline constexpr std::string_view kDownloadText = "Download";

} // namespace tessaly::fragments
