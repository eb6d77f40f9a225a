#include "PageLanguage.hxx"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tessaly::pagelanguage {
namespace {

TEST(PageLanguage, TagOfALocale) {
    static constexpr struct {
        const char* locale;
        const char* tag;
    } cases[] = {
        {"de_DE", "de-DE"}, {"pt", "pt"},         {"es_419", "es-419"}, {"", "en"},
        {"C", "en"},        {"x\"><b", "en"},     {"de_\"x", "de"},     {"12_DE", "en"},
        {"deutsch", "en"},  {"fil_PH", "fil-PH"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.locale);
        EXPECT_EQ(languageTag(row.locale), row.tag);
    }
}

TEST(PageLanguage, ReplacesOnlyTheTemplatesLanguageElement) {
    EXPECT_EQ(withLanguage("<!DOCTYPE html>\n<html lang=\"en\">\n<p lang=\"en\">", "de-DE"),
              "<!DOCTYPE html>\n<html lang=\"de-DE\">\n<p lang=\"en\">");
    EXPECT_EQ(withLanguage("<html>\n", "de"), "<html>\n");
}

TEST(PageLanguage, FollowsTheMessagesLocale) {
    const char* saved[3];
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::string values[3];
    for (int i = 0; i < 3; ++i) {
        saved[i] = std::getenv(names[i]);
        if (saved[i]) {
            values[i] = saved[i];
        }
    }
    ::unsetenv("LC_ALL");
    ::setenv("LC_MESSAGES", "fr_CA.UTF-8", 1);
    ::setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(withPersonsLanguage("<html lang=\"en\">"), "<html lang=\"fr-CA\">");
    ::setenv("LC_ALL", "POSIX", 1);
    EXPECT_EQ(withPersonsLanguage("<html lang=\"en\">"), "<html lang=\"en\">");
    for (int i = 0; i < 3; ++i) {
        if (saved[i]) {
            ::setenv(names[i], values[i].c_str(), 1);
        } else {
            ::unsetenv(names[i]);
        }
    }
}

} // namespace
} // namespace tessaly::pagelanguage
