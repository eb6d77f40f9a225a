// When the monitor asks for a build. A site is rebuilt when what it was made from has changed (the
// library index, told apart by its date, size and identity; the settings) or when part of it has
// gone, not merely because a date compares oddly: an index dated in the future must not bring a
// rebuild at every check. A failed build is
// tried again after a delay that doubles with every failure, so a site folder that cannot be
// written does not keep the helper parsing the whole index.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <sys/types.h>

namespace tessaly {

// Tells one version of the index from another without reading it.
struct IndexIdentity {
    timespec modified{};
    off_t size = -1;
    dev_t device = 0;
    ino_t inode = 0;

    friend bool operator==(const IndexIdentity& a, const IndexIdentity& b) {
        return a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec &&
               a.size == b.size && a.device == b.device && a.inode == b.inode;
    }
};

// The identity of the file at the path (a link is followed, as the index reader follows it).
std::optional<IndexIdentity> indexIdentity(const std::string& path);

// What a build was made from.
struct BuildInputs {
    std::optional<IndexIdentity> index;
    std::uint64_t settingsGeneration = 0;

    friend bool operator==(const BuildInputs&, const BuildInputs&) = default;
};

// What a check sees of the site and the index.
struct SiteState {
    bool siteFolder = false;
    bool contents = false;
    bool topPage = false;
    bool menu = false;
    std::optional<timespec> topPageDate;
    std::optional<IndexIdentity> index;
};

class RebuildPolicy {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kFirstRetry = std::chrono::seconds(1);
    static constexpr Clock::duration kLongestRetry = std::chrono::minutes(5);

    // The settings in memory are no longer those of the last build.
    void settingsChanged() { ++settingsGeneration_; }
    std::uint64_t settingsGeneration() const { return settingsGeneration_; }

    // A build made from these inputs was published; `wroteMenu` when it had a menu page (an index
    // without albums has none, and its absence is then no damage).
    void succeeded(const BuildInputs& inputs, bool wroteMenu);
    void failed(const BuildInputs& inputs, Clock::time_point now);

    // Nothing is asked for before the run's first build has ended.
    bool wantsBuild(const SiteState& site, Clock::time_point now) const;

    // How long after the last failure a build is tried again.
    Clock::duration retryDelay() const;

private:
    std::optional<BuildInputs> built_;
    bool builtMenu_ = false;
    std::optional<BuildInputs> failed_;
    int failures_ = 0;
    Clock::time_point retryAt_{};
    std::uint64_t settingsGeneration_ = 0;
};

} // namespace tessaly
