// Moves the photo library folder without ever losing a picture. At every instant, a kill
// included, the library's name in ~/Pictures leads to a complete library: the original, or the
// link to a verified copy.
//
// On one file system the folder and a link to its new place trade names in one rename. Across
// file systems coreutils' `cp -a` copies it into a private folder beside the target; the copy is
// checked against the original, takes the target's name, the link and the original trade names,
// and only then is the original, now hidden beside the link, removed. A journal in the private
// folder lets the next start finish or undo a move that was cut short.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tessaly::LibraryMover {

// Bytes copied so far and in all; called only when the move has to copy, every few hundredths of
// a second while it does, so the caller can keep its window painted.
using Progress = std::function<void(std::uintmax_t done, std::uintmax_t total)>;

enum class Way { renameWherePossible, alwaysCopy };

// The points a move passes, in order; tests stop a move at one of them.
enum class Step {
    copying,      // while the copier runs, at each look at its progress
    copied,       // the copy is whole and checked, under its private name
    placed,       // the copy holds the target's name; the original still holds its own
    swapped,      // the link holds the original's name; the original lies hidden beside it
    removedEntry, // one more entry of the hidden original removed
};

struct Options {
    Progress progress;
    Way way = Way::renameWherePossible;
    // Asked while the copier runs: true ends the move with nothing changed.
    std::function<bool()> stopRequested;
    std::function<void(Step)> reached;
};

enum class Result {
    moved,
    // Moved, but part of the original could not be removed: `where` names what is left.
    movedWithLeftover,
    stopped,      // stopRequested said so; nothing changed
    targetTaken,  // something already lies at the target's name
    notAFolder,   // the source is not a real folder
    insideItself, // the target's folder lies inside the library, through links or mounts
    specialFile,  // `where` is a named pipe, socket or device, which a copy cannot carry
    noSpace,      // the target's disk has too little room; `needed` and `available` say how much
    failed,       // `why` says what went wrong; nothing changed
};

struct Outcome {
    Result result;
    std::filesystem::path where{};
    std::string why{};
    std::uintmax_t needed = 0;
    std::uintmax_t available = 0;
};

Outcome movePath(const std::filesystem::path& from, const std::filesystem::path& to,
                 const Options& options = {});

// Finishes or undoes the moves to `to` that were cut short, from what their journals and the
// folders say; a copy nobody needs any longer is removed. Returns what could not be removed.
std::vector<std::filesystem::path> recoverInterruptedMoves(const std::filesystem::path& to);

// Removes a folder whole, giving the user's own read-only folders write permission on the way;
// what cannot be removed (another user's files, immutable ones) stays. True when nothing is left.
bool removeTree(const std::filesystem::path& root, const std::function<void()>& removedOne = {});

} // namespace tessaly::LibraryMover
