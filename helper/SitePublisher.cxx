#include "SitePublisher.hxx"

#include "Format.hxx"

#include <algorithm>
#include <atomic>
#include <execution>
#include <filesystem>
#include <mutex>
#include <utility>

namespace tessaly {

using sitefiles::kContents;
using sitefiles::kMenuPage;
using sitefiles::kStagingPrefix;

namespace {

std::string failed(const std::string& what, int error) {
    return format("cannot %@: %@", {what, sitefiles::errorText(error)});
}

// The first failure of the page threads, kept once. Recording it needs memory, which may be
// what ran out, so it never throws: the caller then reports the failure without its reason.
class FirstFailure {
public:
    template <typename Describe> void record(const Describe& describe) noexcept {
        stop_ = true;
        std::lock_guard lock(mutex_);
        try {
            if (reason_.empty()) {
                reason_ = describe();
            }
        } catch (...) {
        }
    }
    bool stopped() const { return stop_; }
    std::string reason() && {
        if (stop_ && reason_.empty()) {
            return "an album page could not be built (out of memory)";
        }
        return std::move(reason_);
    }

private:
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string reason_;
};

} // namespace

SitePublisher::SitePublisher(std::string sitePath, std::string topPageName)
    : sitePath_(std::move(sitePath)), topPageName_(std::move(topPageName)) {}

SitePublisher::~SitePublisher() {
    if (!site_.isOpen()) {
        return;
    }
    for (const std::string* name : {&staging_, &topPageTemporary_}) {
        if (!name->empty()) {
            sitefiles::removeTree(site_, *name);
        }
    }
}

void SitePublisher::makeSiteFolder(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
}

std::string SitePublisher::stage() {
    makeSiteFolder(sitePath_);
    int error = 0;
    site_ = sitefiles::Folder::open(sitePath_, &error);
    if (!site_.isOpen()) {
        return format("cannot open the site folder %@: %@",
                      {sitePath_, sitefiles::errorText(error)});
    }
    // Left behind by a build that was cut short.
    sitefiles::removeTreesStartingWith(site_, {kStagingPrefix, "." + topPageName_ + ".new-"});
    if ((error = sitefiles::makeUniqueFolder(site_, kStagingPrefix, staging_)) != 0) {
        staging_.clear();
        return failed("make a new Contents folder", error);
    }
    contents_ = site_.child(staging_, &error);
    if (!contents_.isOpen()) {
        return failed("open the new Contents folder", error);
    }
    return {};
}

std::string SitePublisher::writeMenu(std::string_view page) {
    const int error = sitefiles::writeNewFile(
        contents_, kMenuPage, [&](const sitefiles::PageSink& out) { return out(page); });
    return error == 0 ? std::string() : failed(format("write Contents/%@", {kMenuPage}), error);
}

std::string SitePublisher::writePages(std::span<const std::string> names, const PageWriter& write) {
    FirstFailure failure;
    const auto writeOne = [&](const std::string& name) noexcept {
        if (failure.stopped()) {
            return;
        }
        try {
            const auto i = static_cast<std::size_t>(&name - names.data());
            const int error = sitefiles::writeNewFile(
                contents_, name, [&](const sitefiles::PageSink& out) { return write(i, out); });
            if (error != 0) {
                failure.record([&] {
                    return format("cannot write Contents/%@: %@",
                                  {name, sitefiles::errorText(error)});
                });
            }
        } catch (const std::exception& error) {
            failure.record(
                [&] { return format("an album page could not be built: %@", {error.what()}); });
        } catch (...) {
            failure.record([] { return std::string("an album page could not be built"); });
        }
    };
    // The standard library's parallel algorithm shares the pages out over the cores; the call
    // returns once every page is written or skipped after a failure.
    std::for_each(std::execution::par, names.begin(), names.end(), writeOne);
    return std::move(failure).reason();
}

std::string SitePublisher::writeTopPage(std::string_view page) {
    topPageTemporary_ = "." + topPageName_ + ".new-" + sitefiles::uniqueSuffix();
    const int error = sitefiles::writeNewFile(
        site_, topPageTemporary_, [&](const sitefiles::PageSink& out) { return out(page); });
    if (error != 0) {
        topPageTemporary_.clear();
        return failed("write the top page", error);
    }
    return {};
}

std::string SitePublisher::publish() {
    // The new Contents takes the old one's place in one step, and the old one, now under the
    // staging name, goes when the publisher does. A link that stood at Contents is removed there,
    // never followed.
    bool swapped = false;
    if (const int error = sitefiles::exchange(site_, staging_, kContents, &swapped); error != 0) {
        return failed("put the new Contents in place", error);
    }
    if (!swapped) {
        staging_.clear();
    }
    if (const int error = sitefiles::moveOver(site_, topPageTemporary_, topPageName_); error != 0) {
        return failed("put the new top page in place", error);
    }
    topPageTemporary_.clear();
    return {};
}

} // namespace tessaly
