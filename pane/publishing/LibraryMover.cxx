#include "LibraryMover.hxx"

#include "FileIO.hxx"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tessaly::LibraryMover {

namespace {

namespace fs = std::filesystem;

struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const Identity&) const = default;
    auto operator<=>(const Identity&) const = default;
};

std::optional<Identity> identityOf(const fs::path& path, bool folderOnly = true) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || (folderOnly && !S_ISDIR(info.st_mode))) {
        return std::nullopt;
    }
    return Identity{info.st_dev, info.st_ino};
}

std::string errorText(int error) { return std::strerror(error); }

// What the copy must reproduce of one item. Access times are left out: reading the original
// changes them. Owners count only where the copier may set them.
struct Entry {
    mode_t mode;
    uid_t owner;
    gid_t group;
    off_t size;
    std::int64_t modifiedSeconds;
    long modifiedNanoseconds;
    fs::path linkTarget;
    // For a file with several names: the first of its names in the tree.
    fs::path sameFileAs;
    bool operator==(const Entry&) const = default;
};

struct Tree {
    std::map<fs::path, Entry> entries;
    std::uintmax_t bytes = 0;
    std::vector<Identity> folders;
    // The first item a copy cannot carry: a named pipe, socket or device.
    fs::path special;
};

// Every item below `root` by its relative path, in an order that puts each folder before what it
// holds; none when the tree cannot be read whole.
std::optional<Tree> scanTree(const fs::path& root, std::string& why) {
    Tree tree;
    std::map<Identity, fs::path> firstName;
    std::vector<std::pair<fs::path, Identity>> sharing;
    const bool owners = ::geteuid() == 0;
    auto add = [&](const fs::path& path, const fs::path& relative) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            why = path.string() + ": " + errorText(errno);
            return false;
        }
        Entry entry{info.st_mode,
                    owners ? info.st_uid : 0,
                    owners ? info.st_gid : 0,
                    S_ISREG(info.st_mode) ? info.st_size : 0,
                    info.st_mtim.tv_sec,
                    info.st_mtim.tv_nsec,
                    {},
                    {}};
        if (S_ISLNK(info.st_mode)) {
            std::error_code error;
            entry.linkTarget = fs::read_symlink(path, error);
            // A link's own times are not kept by every file system.
            entry.modifiedSeconds = 0;
            entry.modifiedNanoseconds = 0;
            entry.mode = S_IFLNK;
            if (error) {
                why = path.string() + ": " + error.message();
                return false;
            }
        } else if (S_ISDIR(info.st_mode)) {
            tree.folders.push_back({info.st_dev, info.st_ino});
        } else if (!S_ISREG(info.st_mode)) {
            if (tree.special.empty()) {
                tree.special = path;
            }
        } else if (info.st_nlink > 1) {
            // Named by the least of its names: the copy lists its folders in another order.
            auto [it, first] = firstName.emplace(Identity{info.st_dev, info.st_ino}, relative);
            if (!first && relative < it->second) {
                it->second = relative;
            }
            entry.sameFileAs = relative;
            sharing.emplace_back(relative, Identity{info.st_dev, info.st_ino});
        }
        tree.bytes += static_cast<std::uintmax_t>(info.st_blocks) * 512;
        tree.entries.emplace(relative, entry);
        return true;
    };
    if (!add(root, ".")) {
        return std::nullopt;
    }
    std::error_code error;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, error), end;
    for (; !error && it != end; it.increment(error)) {
        // Lexically: resolving would follow the links the library holds.
        if (!add(it->path(), it->path().lexically_relative(root))) {
            return std::nullopt;
        }
    }
    if (error) {
        why = root.string() + ": " + error.message();
        return std::nullopt;
    }
    for (const auto& [relative, id] : sharing) {
        tree.entries[relative].sameFileAs = firstName[id];
    }
    return tree;
}

// Whether `folder`, as the kernel resolves it, is `library` or lies inside it: through a link in
// its path, or a mount of one of the library's own folders.
bool liesInside(const fs::path& folder, const fs::path& library, const Tree* libraryTree) {
    std::error_code error;
    const fs::path canonical = fs::canonical(folder, error);
    if (error) {
        return false;
    }
    std::vector<Identity> chain;
    for (fs::path at = canonical;; at = at.parent_path()) {
        if (std::optional<Identity> id = identityOf(at)) {
            chain.push_back(*id);
        }
        if (at == at.root_path() || at.empty()) {
            break;
        }
    }
    auto inChain = [&](const Identity& id) {
        return std::find(chain.begin(), chain.end(), id) != chain.end();
    };
    if (std::optional<Identity> root = identityOf(library); root && inChain(*root)) {
        return true;
    }
    if (libraryTree) {
        for (const Identity& id : libraryTree->folders) {
            if (inChain(id)) {
                return true;
            }
        }
    }
    return false;
}

void syncFolderOf(const fs::path& path) {
    int folder = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

bool renameNoReplace(const fs::path& from, const fs::path& to, int& error) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    error = errno;
    if (error == EINVAL || error == ENOSYS) {
        // A file system without the flag: check, then rename (an empty folder made in between
        // would be replaced, never a filled one).
        std::error_code ignored;
        if (fs::exists(fs::symlink_status(to, ignored))) {
            error = EEXIST;
            return false;
        }
        if (::rename(from.c_str(), to.c_str()) == 0) {
            return true;
        }
        error = errno;
    }
    return false;
}

// Puts a link to `target` at the name of the folder `at` in one step, and the folder under the
// name of the link `spare`, which must already lead to `target`. Where the file system cannot
// trade names, the folder goes first and the link follows.
bool tradeNames(const fs::path& spare, const fs::path& at, const fs::path& target, int& error) {
    if (::renameat2(AT_FDCWD, spare.c_str(), AT_FDCWD, at.c_str(), RENAME_EXCHANGE) == 0) {
        return true;
    }
    error = errno;
    if (error != EINVAL && error != ENOSYS) {
        return false;
    }
    if (::unlink(spare.c_str()) != 0 || ::rename(at.c_str(), spare.c_str()) != 0) {
        error = errno;
        return false;
    }
    if (::symlink(target.c_str(), at.c_str()) != 0) {
        error = errno;
        // Without the link the original goes back: its name must never lead nowhere.
        ::rename(spare.c_str(), at.c_str());
        return false;
    }
    return true;
}

// The journal of a move across file systems, in its private folder. Written whole and renamed
// into place, so a reader finds the last complete record.
struct Journal {
    fs::path from;
    fs::path to;
    fs::path aside;
    Identity original;
    Identity copy;
};

constexpr char kJournalMagic[] = "tessaly-move 1";
constexpr char kJournalName[] = "journal";
constexpr char kCopyName[] = "library";

bool writeJournal(const fs::path& staging, const Journal& journal) {
    // Fields end in NUL: a path may hold any other byte.
    std::string text;
    for (const std::string& field :
         {std::string(kJournalMagic), journal.from.string(), journal.to.string(),
          journal.aside.string(), std::to_string(journal.original.device),
          std::to_string(journal.original.inode), std::to_string(journal.copy.device),
          std::to_string(journal.copy.inode)}) {
        text += field;
        text += '\0';
    }
    const bool ok = replaceFile((staging / kJournalName).string(), text, 0600);
    syncFolderOf(staging / kJournalName);
    return ok;
}

std::optional<Journal> readJournal(const fs::path& staging) {
    std::ifstream in(staging / kJournalName, std::ios::binary);
    std::vector<std::string> fields;
    for (std::string field; std::getline(in, field, '\0');) {
        fields.push_back(field);
    }
    if (fields.size() != 8 || fields[0] != kJournalMagic) {
        return std::nullopt;
    }
    try {
        return Journal{fields[1],
                       fields[2],
                       fields[3],
                       {static_cast<dev_t>(std::stoull(fields[4])),
                        static_cast<ino_t>(std::stoull(fields[5]))},
                       {static_cast<dev_t>(std::stoull(fields[6])),
                        static_cast<ino_t>(std::stoull(fields[7]))}};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string stagingPrefix(const fs::path& to) { return "." + to.filename().string() + ".moving-"; }

// A hidden name beside `at` that nothing holds yet.
fs::path freeNameBeside(const fs::path& at) {
    std::random_device random;
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (;;) {
        std::string suffix;
        for (int i = 0; i < 6; ++i) {
            suffix += kLetters[random() % (sizeof kLetters - 1)];
        }
        fs::path name = at.parent_path() / ("." + at.filename().string() + ".moved-" + suffix);
        struct stat info {};
        if (::lstat(name.c_str(), &info) != 0 && errno == ENOENT) {
            return name;
        }
    }
}

// A relative link inside the library whose target lies outside it: once the library has moved,
// the same text would lead somewhere else, or nowhere. It is given the absolute path of the same
// target instead. Links whose targets stay inside the library move with it and keep their text.
struct LinkRewrite {
    fs::path relative; // the link, below the library
    fs::path oldTarget;
    fs::path newTarget;
};

std::vector<LinkRewrite> linksLeavingLibrary(const fs::path& library, const Tree& tree) {
    std::vector<LinkRewrite> rewrites;
    std::error_code error;
    // The folders between the library and each link are real folders, so ".." climbs through
    // them as written; above the library it climbs through the library's real place.
    const fs::path base = fs::canonical(library, error);
    if (error) {
        return rewrites;
    }
    for (const auto& [relative, entry] : tree.entries) {
        const fs::path& target = entry.linkTarget;
        if (target.empty() || target.is_absolute()) {
            continue;
        }
        const fs::path folder = relative.parent_path();
        const fs::path inside = (folder / target).lexically_normal();
        if (!inside.empty() && *inside.begin() != "..") {
            continue;
        }
        // The leading "." and ".." of the target, taken from the link's folder; the rest is kept
        // as written, so that links outside the library are still followed as before.
        fs::path anchor = base / folder;
        auto part = target.begin();
        for (; part != target.end() && (*part == "." || *part == ".."); ++part) {
            if (*part == "..") {
                anchor = anchor.parent_path();
            }
        }
        const fs::path fromAnchor = anchor.lexically_relative(base);
        fs::path absolute;
        if (!fromAnchor.empty() && *fromAnchor.begin() == "..") {
            absolute = anchor;
            for (; part != target.end(); ++part) {
                absolute /= *part;
            }
        } else {
            absolute = (base / folder / target).lexically_normal();
        }
        rewrites.push_back({relative, target, absolute});
    }
    return rewrites;
}

// Gives the link `link` the target `target` in one rename, keeping the link's owner and times
// and its folder's mode and times: nothing but the target's text changes.
int relink(const fs::path& link, const fs::path& target) {
    const fs::path folder = link.parent_path();
    struct stat linkInfo {
    }, folderInfo{};
    if (::lstat(link.c_str(), &linkInfo) != 0 || ::lstat(folder.c_str(), &folderInfo) != 0) {
        return errno;
    }
    // A read-only folder of the user's own is opened for the moment of the rename.
    const bool opened = folderInfo.st_uid == ::geteuid() && (folderInfo.st_mode & S_IWUSR) == 0 &&
                        ::chmod(folder.c_str(), (folderInfo.st_mode & 07777) | S_IWUSR) == 0;
    const fs::path spare = freeNameBeside(link);
    int error = 0;
    if (::symlink(target.c_str(), spare.c_str()) != 0) {
        error = errno;
    } else {
        if (::geteuid() == 0) {
            ::lchown(spare.c_str(), linkInfo.st_uid, linkInfo.st_gid);
        }
        const timespec linkTimes[2] = {linkInfo.st_atim, linkInfo.st_mtim};
        ::utimensat(AT_FDCWD, spare.c_str(), linkTimes, AT_SYMLINK_NOFOLLOW);
        if (::rename(spare.c_str(), link.c_str()) != 0) {
            error = errno;
            ::unlink(spare.c_str());
        }
    }
    if (opened) {
        ::chmod(folder.c_str(), folderInfo.st_mode & 07777);
    }
    const timespec folderTimes[2] = {folderInfo.st_atim, folderInfo.st_mtim};
    ::utimensat(AT_FDCWD, folder.c_str(), folderTimes, AT_SYMLINK_NOFOLLOW);
    return error;
}

// Gives the links below `root` their new targets (or their old ones back). When one cannot be
// changed, those changed already are put back, and the outcome names it.
std::optional<Outcome> relinkAll(const fs::path& root, const std::vector<LinkRewrite>& rewrites,
                                 bool absolute) {
    for (std::size_t i = 0; i < rewrites.size(); ++i) {
        const LinkRewrite& rewrite = rewrites[i];
        if (int error =
                relink(root / rewrite.relative, absolute ? rewrite.newTarget : rewrite.oldTarget)) {
            while (i-- > 0) {
                relink(root / rewrites[i].relative,
                       absolute ? rewrites[i].oldTarget : rewrites[i].newTarget);
            }
            return Outcome{Result::failed, root / rewrite.relative,
                           "a link leading out of the library could not be given the absolute "
                           "path of its target: " +
                               errorText(error)};
        }
    }
    return std::nullopt;
}

std::uintmax_t usedBytes(const fs::path& on) {
    struct statvfs info {};
    if (::statvfs(on.c_str(), &info) != 0) {
        return 0;
    }
    return static_cast<std::uintmax_t>(info.f_blocks - info.f_bfree) * info.f_frsize;
}

std::uintmax_t freeBytes(const fs::path& on) {
    struct statvfs info {};
    if (::statvfs(on.c_str(), &info) != 0) {
        return 0;
    }
    // The blocks kept for the superuser are the superuser's to use.
    return static_cast<std::uintmax_t>(::geteuid() == 0 ? info.f_bfree : info.f_bavail) *
           info.f_frsize;
}

// Runs coreutils' cp, without a shell, until it ends or the caller asks it to stop. The copier
// dies with this process, so that a copy cut short is never written on after its owner is gone.
// Progress comes from how much the target's disk has filled.
Outcome runCopier(const fs::path& from, const fs::path& copy, const fs::path& errors,
                  std::uintmax_t total, const Options& options) {
    const std::string source = from.string(), target = copy.string();
    const char* const argv[] = {
        "cp", "-a", "--no-target-directory", "--", source.c_str(), target.c_str(), nullptr};
    int errorFile = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const std::uintmax_t usedBefore = usedBytes(copy.parent_path());
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        return {Result::failed, {}, errorText(errno)};
    }
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        if (errorFile >= 0) {
            ::dup2(errorFile, STDERR_FILENO);
        }
        ::execv("/bin/cp", const_cast<char* const*>(argv));
        ::execv("/usr/bin/cp", const_cast<char* const*>(argv));
        ::_exit(127);
    }
    if (errorFile >= 0) {
        ::close(errorFile);
    }
    // A test seam, set only by the end-to-end tests of the window: while the file it names
    // exists, the copy does not end, as a large library's copy would not.
    const char* hold = std::getenv("TESSALY_TEST_HOLD_COPY");
    auto held = [hold] { return hold && *hold && ::access(hold, F_OK) == 0; };
    // Every look, the first included, comes before the one at the copier: a copy that ends at
    // once is still reported, and can still be stopped, before the move goes on.
    int status = 0;
    bool exited = false;
    for (;;) {
        if (options.stopRequested && options.stopRequested()) {
            if (!exited) {
                ::kill(child, SIGKILL);
                while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
                }
            }
            return {Result::stopped};
        }
        if (options.progress) {
            const std::uintmax_t used = usedBytes(copy.parent_path());
            options.progress(std::min(total, used > usedBefore ? used - usedBefore : 0), total);
        }
        if (options.reached) {
            options.reached(Step::copying);
        }
        if (!exited) {
            const pid_t ended = ::waitpid(child, &status, WNOHANG);
            exited = ended == child || (ended < 0 && errno != EINTR);
        }
        if (exited && !held()) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        if (options.progress) {
            options.progress(total, total);
        }
        return {Result::moved};
    }
    std::ifstream in(errors);
    std::string why;
    std::getline(in, why);
    if (why.empty()) {
        why = WIFEXITED(status) && WEXITSTATUS(status) == 127 ? "cp could not be started"
                                                              : "cp failed";
    }
    return {Result::failed, {}, why};
}

bool removeEntries(const fs::path& folder, dev_t device, const std::function<void()>& removedOne) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return errno == ENOENT;
    }
    // A read-only folder of the user's own: its entries can only go once it may be written.
    if (info.st_uid == ::geteuid() && (info.st_mode & S_IRWXU) != S_IRWXU) {
        ::chmod(folder.c_str(), (info.st_mode & 07777) | S_IRWXU);
    }
    bool whole = true;
    std::error_code error;
    std::vector<fs::path> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        names.push_back(entry.path());
    }
    if (error) {
        return false;
    }
    for (const fs::path& name : names) {
        struct stat item {};
        if (::lstat(name.c_str(), &item) != 0) {
            whole = whole && errno == ENOENT;
            continue;
        }
        if (S_ISDIR(item.st_mode)) {
            // Something mounted inside is not ours to empty.
            if (item.st_dev != device || !removeEntries(name, device, removedOne) ||
                ::rmdir(name.c_str()) != 0) {
                whole = false;
                continue;
            }
        } else if (::unlink(name.c_str()) != 0) {
            whole = false;
            continue;
        }
        if (removedOne) {
            removedOne();
        }
    }
    return whole;
}

Outcome moveByCopy(const fs::path& from, const fs::path& to, const Tree* original,
                   const std::vector<LinkRewrite>& rewrites, const Options& options) {
    std::string why;
    if (!original->special.empty()) {
        return {Result::specialFile, original->special};
    }
    const std::uintmax_t available = freeBytes(to.parent_path());
    if (available < original->bytes) {
        return {Result::noSpace, to.parent_path(), {}, original->bytes, available};
    }

    // Private while it exists: a web server serving ~/Sites must not show a half copy.
    std::string pattern = to.parent_path() / (stagingPrefix(to) + "XXXXXX");
    if (!::mkdtemp(pattern.data())) {
        return {Result::failed, {}, errorText(errno)};
    }
    const fs::path staging = pattern;
    const fs::path copy = staging / kCopyName;
    auto dropCopy = [&](Outcome outcome) {
        removeTree(staging);
        return outcome;
    };
    Journal journal{from, to, {}, *identityOf(from), {}};
    if (!writeJournal(staging, journal)) {
        return dropCopy({Result::failed, {}, "the journal of the move could not be written"});
    }
    Outcome copied = runCopier(from, copy, staging / "errors", original->bytes, options);
    if (copied.result != Result::moved) {
        return dropCopy(copied);
    }
    // The copy must be on its disk before anything points at it.
    if (int fd = ::open(copy.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
    if (std::optional<Outcome> failed = relinkAll(copy, rewrites, true)) {
        return dropCopy(*failed);
    }
    std::optional<Tree> check = scanTree(copy, why);
    if (!check) {
        return dropCopy({Result::failed, {}, why});
    }
    Tree expected = *original;
    for (const LinkRewrite& rewrite : rewrites) {
        expected.entries[rewrite.relative].linkTarget = rewrite.newTarget;
    }
    if (check->entries != expected.entries) {
        auto [mine, theirs] = std::mismatch(expected.entries.begin(), expected.entries.end(),
                                            check->entries.begin(), check->entries.end());
        const fs::path differs = mine != expected.entries.end() ? from / mine->first : from;
        return dropCopy({Result::failed, differs, "its copy differs from it"});
    }
    journal.copy = *identityOf(copy);
    if (!writeJournal(staging, journal)) {
        return dropCopy({Result::failed, {}, "the journal of the move could not be written"});
    }
    if (options.reached) {
        options.reached(Step::copied);
    }

    int error = 0;
    if (!renameNoReplace(copy, to, error)) {
        return dropCopy(
            {error == EEXIST ? Result::targetTaken : Result::failed, to, errorText(error)});
    }
    syncFolderOf(to);
    if (options.reached) {
        options.reached(Step::placed);
    }
    auto undoPlacing = [&](Outcome outcome) {
        removeTree(to);
        return dropCopy(outcome);
    };
    // The hidden name is in the journal before it exists, so a start after a kill finds it.
    int linkError = EEXIST;
    std::optional<fs::path> spare;
    for (int attempt = 0; attempt < 3 && !spare && linkError == EEXIST; ++attempt) {
        journal.aside = freeNameBeside(from);
        if (!writeJournal(staging, journal)) {
            return undoPlacing(
                {Result::failed, {}, "the journal of the move could not be written"});
        }
        if (::symlink(to.c_str(), journal.aside.c_str()) == 0) {
            spare = journal.aside;
        } else {
            linkError = errno;
        }
    }
    if (!spare || !tradeNames(*spare, from, to, linkError)) {
        if (spare) {
            ::unlink(spare->c_str());
        }
        return undoPlacing({Result::failed, from, errorText(linkError)});
    }
    syncFolderOf(from);
    if (options.reached) {
        options.reached(Step::swapped);
    }
    const bool whole = removeTree(*spare, [&] {
        if (options.reached) {
            options.reached(Step::removedEntry);
        }
    });
    removeTree(staging);
    if (!whole) {
        return {Result::movedWithLeftover, *spare};
    }
    return {Result::moved};
}

} // namespace

bool removeTree(const fs::path& root, const std::function<void()>& removedOne) {
    struct stat info {};
    if (::lstat(root.c_str(), &info) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISDIR(info.st_mode)) {
        return ::unlink(root.c_str()) == 0;
    }
    return removeEntries(root, info.st_dev, removedOne) && ::rmdir(root.c_str()) == 0;
}

Outcome movePath(const fs::path& from, const fs::path& to, const Options& options) {
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(from, error))) {
        return {Result::notAFolder, from};
    }
    if (fs::exists(fs::symlink_status(to, error))) {
        return {Result::targetTaken, to};
    }
    fs::create_directories(to.parent_path(), error);
    if (error) {
        return {Result::failed, to.parent_path(), error.message()};
    }
    // Before anything changes: nothing may be made inside the library, not even for an instant.
    std::string why;
    const std::optional<Tree> original = scanTree(from, why);
    if (!original) {
        return {Result::failed, {}, why};
    }
    if (liesInside(to.parent_path(), from, &*original)) {
        return {Result::insideItself, to.parent_path()};
    }
    const std::vector<LinkRewrite> rewrites = linksLeavingLibrary(from, *original);
    if (options.way == Way::alwaysCopy) {
        return moveByCopy(from, to, &*original, rewrites, options);
    }
    // Renamed, the library itself moves: its links that lead out of it get their absolute targets
    // first, which lead to the same place from both names, and their old ones back if it stays.
    if (std::optional<Outcome> failed = relinkAll(from, rewrites, true)) {
        return *failed;
    }
    auto stays = [&](Outcome outcome) {
        relinkAll(from, rewrites, false);
        return outcome;
    };
    auto copyInstead = [&] {
        relinkAll(from, rewrites, false);
        return moveByCopy(from, to, &*original, rewrites, options);
    };
    // On one file system: a link leading to the target takes the target's name, then it and the
    // library trade names in one step, so the library's old name never leads nowhere.
    if (::symlink(to.c_str(), to.c_str()) != 0) {
        return stays(
            {errno == EEXIST ? Result::targetTaken : Result::failed, to, errorText(errno)});
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
        syncFolderOf(from);
        syncFolderOf(to);
        return {Result::moved};
    }
    const int exchangeError = errno;
    ::unlink(to.c_str());
    if (exchangeError == EXDEV) {
        return copyInstead();
    }
    if (exchangeError != EINVAL && exchangeError != ENOSYS) {
        return stays({Result::failed, from, errorText(exchangeError)});
    }
    int renameError = 0;
    if (!renameNoReplace(from, to, renameError)) {
        if (renameError == EXDEV) {
            return copyInstead();
        }
        return stays({renameError == EEXIST ? Result::targetTaken : Result::failed, to,
                      errorText(renameError)});
    }
    if (::symlink(to.c_str(), from.c_str()) != 0) {
        const int linkError = errno;
        renameNoReplace(to, from, renameError);
        return stays({Result::failed, from, errorText(linkError)});
    }
    return {Result::moved};
}

std::vector<fs::path> recoverInterruptedMoves(const fs::path& to) {
    std::vector<fs::path> leftovers;
    std::error_code error;
    // The link a same-disk move puts at the target's name for an instant leads to itself.
    if (fs::is_symlink(fs::symlink_status(to, error)) && fs::read_symlink(to, error) == to) {
        ::unlink(to.c_str());
    }
    std::vector<fs::path> stagings;
    for (const fs::directory_entry& entry : fs::directory_iterator(to.parent_path(), error)) {
        struct stat info {};
        if (entry.path().filename().string().starts_with(stagingPrefix(to)) &&
            ::lstat(entry.path().c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
            info.st_uid == ::geteuid()) {
            stagings.push_back(entry.path());
        }
    }
    auto remove = [&](const fs::path& path) {
        if (!removeTree(path)) {
            leftovers.push_back(path);
        }
    };
    for (const fs::path& staging : stagings) {
        std::optional<Journal> journal = readJournal(staging);
        // Without a journal, or one of another target, the folder holds at most a half copy.
        if (!journal || journal->to != to) {
            remove(staging);
            continue;
        }
        const bool originalAtName = identityOf(journal->from) == journal->original;
        const bool copyAtTarget = identityOf(to) == journal->copy;
        const bool originalAside =
            !journal->aside.empty() && identityOf(journal->aside) == journal->original;
        if (originalAtName) {
            // Cut short before the names were traded: undo, the original is as it was.
            if (copyAtTarget) {
                remove(to);
            }
            if (!journal->aside.empty() &&
                fs::is_symlink(fs::symlink_status(journal->aside, error)) &&
                fs::read_symlink(journal->aside, error) == to) {
                ::unlink(journal->aside.c_str());
            }
            remove(staging);
        } else if (copyAtTarget && originalAside) {
            // Cut short after the copy took over: finish.
            if (!fs::exists(fs::symlink_status(journal->from, error))) {
                ::symlink(to.c_str(), journal->from.c_str());
            }
            remove(journal->aside);
            remove(staging);
        } else if (copyAtTarget && !fs::exists(fs::symlink_status(journal->aside, error))) {
            remove(staging);
        } else {
            // Changed since by someone else: keep everything, and say so.
            leftovers.push_back(staging);
        }
    }
    return leftovers;
}

} // namespace tessaly::LibraryMover
