// The window and the real helper from inside the pane's bundle, on one private session bus and
// one home folder: a change made in the window shows on the published site within seconds.
#include "HelperProcess.hxx"
#include "HostWindow.hxx"
#include "IndexXml.hxx"
#include "TempHome.hxx"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace tessaly {
namespace {

using namespace testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// One album of six landscape pictures, published as Contents/3.html.
std::string sampleIndex(const fs::path& library) {
    std::vector<std::string> albums = libraryStart();
    std::vector<std::string> keys;
    std::string master;
    for (int i = 0; i < 6; ++i) {
        const std::string key = std::to_string(100 + i);
        keys.push_back(key);
        master += pictureXml(
            key, keyString("ThumbPath", (library / "Thumbs" / (key + ".jpg")).string()) +
                     keyString("ImagePath", (library / (key + ".jpg")).string()) +
                     "<key>Aspect Ratio</key><real>1.5</real>" + keyString("Caption", key));
    }
    albums.push_back(albumXml("Harbour", keys));
    return plistDocument(albumListXml(albums) + "<key>Master Image List</key><dict>\n" + master +
                         "</dict>\n");
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t found = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++found;
    }
    return found;
}

// Every picture's width on the page.
std::set<std::string> widths(const std::string& page) {
    static const std::regex width("<img [^>]* width=\"([0-9]+)\"");
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), width);
         it != std::sregex_iterator(); ++it) {
        found.insert((*it)[1]);
    }
    return found;
}

TEST(EndToEnd, EditsInTheWindowReachThePublishedSite) {
    TempHome home;
    writeFile(home.indexFile(), sampleIndex(home.libraryFolder()));
    writeFile(home.settingsFile(), plistDocument("<key>Active_Flag_Key</key><true/>\n"
                                                 "<key>Check_Interval_Key</key><real>0</real>\n"));
    const fs::path album = home.siteFolder() / "Contents/3.html";
    HelperProcess helper(HELPER_EXECUTABLE, home.path().string(),
                         (home.path() / "helper.log").string());
    ASSERT_TRUE(waitUntil([&] { return fs::exists(album); }))
        << readFile(home.path() / "helper.log");
    const std::string first = readFile(album);
    EXPECT_EQ(widths(first), std::set<std::string>{"150"});
    const std::size_t rowsOfFour = count(first, "<tr>");

    QString error;
    std::unique_ptr<HostWindow> window = HostWindow::open(Bundle(PANE_RESOURCES), nullptr, &error);
    ASSERT_TRUE(window) << error.toStdString();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    Tessaly& pane = *window->pane();
    ASSERT_EQ(pane.numColomsMenu->currentText(), "4");

    // Two columns: six pictures take three rows instead of two.
    const int two = pane.numColomsMenu->findText("2");
    pane.numColomsMenu->setCurrentIndex(two);
    emit pane.numColomsMenu->activated(two);
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(readFile(album), "<tr>") > rowsOfFour; }, 30000))
        << readFile(album);
    const std::string twoColumns = readFile(album);

    pane.imageSizeControlView->setValue(320);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return widths(readFile(album)) == std::set<std::string>{"320"}; }, 30000))
        << readFile(album);
    EXPECT_EQ(count(readFile(album), "<tr>"), count(twoColumns, "<tr>"));

    // A shipped look, chosen in the list and applied: its picture size and background colour.
    pane.tabView->setCurrentWidget(
        pane.viewSetingListView->window()->findChild<QWidget*>(QStringLiteral("presetsTab")));
    TextArrayView& list = *pane.viewSetingListView;
    const int ocean = static_cast<int>(
        list.getTextArray().value_or(QStringList()).indexOf(QStringLiteral("Ocean.plist")));
    ASSERT_GE(ocean, 0);
    QTest::mouseClick(&list, Qt::LeftButton, {},
                      QPoint(4, static_cast<int>((ocean + 0.5) * list.lineHeight())));
    ASSERT_TRUE(pane.useSelectedSettingButton->isEnabled());
    QTest::mouseClick(pane.useSelectedSettingButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const std::string page = readFile(album);
            return widths(page) == std::set<std::string>{"120"} &&
                   page.find("background: #EAF4F8;") != std::string::npos;
        },
        30000))
        << readFile(album);
    EXPECT_TRUE(helper.running());
}

} // namespace
} // namespace tessaly
