#include "RebuildPolicy.hxx"

#include <algorithm>
#include <sys/stat.h>

namespace tessaly {

namespace {

bool isEarlier(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

} // namespace

std::optional<IndexIdentity> indexIdentity(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return IndexIdentity{info.st_mtim, info.st_size, info.st_dev, info.st_ino};
}

void RebuildPolicy::succeeded(const BuildInputs& inputs, bool wroteMenu) {
    built_ = inputs;
    builtMenu_ = wroteMenu;
    failed_.reset();
    failures_ = 0;
}

void RebuildPolicy::failed(const BuildInputs& inputs, Clock::time_point now) {
    // The same inputs failing again wait longer; anything new starts from the shortest delay.
    failures_ = failed_ && *failed_ == inputs ? failures_ + 1 : 1;
    failed_ = inputs;
    retryAt_ = now + retryDelay();
}

RebuildPolicy::Clock::duration RebuildPolicy::retryDelay() const {
    if (failures_ <= 0) {
        return Clock::duration::zero();
    }
    const int doublings = std::min(failures_ - 1, 16);
    return std::min<Clock::duration>(kFirstRetry * (1LL << doublings), kLongestRetry);
}

bool RebuildPolicy::wantsBuild(const SiteState& site, Clock::time_point now) const {
    if (!built_ && !failed_) {
        // The run's first build has not ended yet (it may be waiting for the index); asking for
        // another would only build the same site twice.
        return false;
    }
    const bool damaged =
        !site.siteFolder || !site.contents || !site.topPage || (built_ && builtMenu_ && !site.menu);
    bool wanted = false;
    if (damaged || !site.index || !site.topPageDate) {
        wanted = true;
    } else if (!built_) {
        // Nothing built by this run yet: the site on disk is as new as its top page.
        wanted = isEarlier(*site.topPageDate, site.index->modified);
    } else {
        // Any difference from what the build read is a change, whatever the dates say: an index
        // rewritten while the build ran is older than the top page the build wrote last, and one
        // rewritten within the same tick of the clock, or copied with its old date, has the same
        // date as before.
        wanted = built_->settingsGeneration != settingsGeneration_ || built_->index != site.index;
    }
    if (wanted && failed_ && *failed_ == BuildInputs{site.index, settingsGeneration_} &&
        now < retryAt_) {
        return false;
    }
    return wanted;
}

} // namespace tessaly
