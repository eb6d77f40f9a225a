// When a build is wanted: an index that differs from what the last build read, the delays between
// failed builds, and what ends them early.
#include "RebuildPolicy.hxx"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

using namespace std::chrono_literals;
using Clock = RebuildPolicy::Clock;

IndexIdentity indexOf(long seconds) {
    IndexIdentity index;
    index.modified.tv_sec = seconds;
    index.size = 100;
    index.inode = 7;
    return index;
}

// A whole site, its top page dated at 1000 s.
SiteState completeSite(long indexSeconds) {
    SiteState site;
    site.siteFolder = site.contents = site.topPage = site.menu = true;
    site.topPageDate = timespec{1000, 0};
    site.index = indexOf(indexSeconds);
    return site;
}

TEST(RebuildPolicy, WaitsTwiceAsLongAfterEachFailureOfTheSameBuild) {
    struct Row {
        const char* name;
        int failures;
        Clock::duration delay;
    };
    static constexpr Row kRows[] = {
        {"first failure", 1, 1s},
        {"second", 2, 2s},
        {"third", 3, 4s},
        {"ninth", 9, 256s},
        {"tenth, at the cap", 10, 5min},
        {"long after the cap", 40, 5min},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        RebuildPolicy policy;
        const SiteState site = completeSite(2000);
        const BuildInputs inputs{site.index, policy.settingsGeneration()};
        const Clock::time_point start{};
        for (int i = 0; i < row.failures; ++i) {
            policy.failed(inputs, start);
        }
        EXPECT_EQ(policy.retryDelay(), row.delay);
        EXPECT_FALSE(policy.wantsBuild(site, start + row.delay - 1ms));
        EXPECT_TRUE(policy.wantsBuild(site, start + row.delay));
    }
}

TEST(RebuildPolicy, ANewIndexOrNewSettingsEndTheWaitAndASuccessForgetsIt) {
    RebuildPolicy policy;
    const Clock::time_point now{};
    // The run's first build is still underway: a missing site is no reason for a second one.
    EXPECT_FALSE(policy.wantsBuild(SiteState{}, now));
    const SiteState site = completeSite(2000);
    for (int i = 0; i < 5; ++i) {
        policy.failed({site.index, policy.settingsGeneration()}, now);
    }
    ASSERT_FALSE(policy.wantsBuild(site, now));
    EXPECT_TRUE(policy.wantsBuild(completeSite(2001), now));
    policy.settingsChanged();
    EXPECT_TRUE(policy.wantsBuild(site, now));

    // A different build failing starts again from the shortest delay.
    policy.failed({site.index, policy.settingsGeneration()}, now);
    EXPECT_EQ(policy.retryDelay(), 1s);

    policy.succeeded({site.index, policy.settingsGeneration()}, true);
    EXPECT_EQ(policy.retryDelay(), 0s);
    EXPECT_FALSE(policy.wantsBuild(site, now));
    SiteState damaged = site;
    damaged.menu = false;
    EXPECT_TRUE(policy.wantsBuild(damaged, now));
}

// The index is told by what the build read, not by its date against the site's: the top page is
// dated at 1000 s, the build read an index dated 900 s.
TEST(RebuildPolicy, AnIndexThatDiffersFromWhatTheBuildReadIsBuiltAgain) {
    struct Row {
        const char* name;
        void (*change)(IndexIdentity& index);
        bool wanted;
    };
    static constexpr Row kRows[] = {
        {"unchanged", [](IndexIdentity&) {}, false},
        {"rewritten during the build, older than the top page",
         [](IndexIdentity& index) { index.modified.tv_sec = 950; }, true},
        {"rewritten in place within the same tick", [](IndexIdentity& index) { index.size = 101; },
         true},
        {"replaced by a rename within the same tick", [](IndexIdentity& index) { index.inode = 8; },
         true},
        {"copied from another disk with its date", [](IndexIdentity& index) { index.device = 2; },
         true},
        {"its date put back", [](IndexIdentity& index) { index.modified.tv_sec = 800; }, true},
        {"newer than the top page", [](IndexIdentity& index) { index.modified.tv_sec = 2000; },
         true},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        RebuildPolicy policy;
        SiteState site = completeSite(900);
        policy.succeeded({site.index, policy.settingsGeneration()}, true);
        row.change(*site.index);
        EXPECT_EQ(policy.wantsBuild(site, Clock::time_point{}), row.wanted);
        if (row.wanted) {
            policy.succeeded({site.index, policy.settingsGeneration()}, true);
            EXPECT_FALSE(policy.wantsBuild(site, Clock::time_point{}));
        }
    }
}

} // namespace
} // namespace tessaly
