// The sheets: each interface file loads with its outlets and buttons, the real nested loop
// answers 1 for OK and 0 for Cancel, Escape and the close button, and the sheet has closed by the
// time its answer arrives.
#include "AboutLumibay.hxx"
#include "AccessibleText.hxx"
#include "FakeApplication.hxx"
#include "GetPathController.hxx"
#include "MessageSheetController.hxx"
#include "ScriptRunner.hxx"
#include "ScriptedSheets.hxx"
#include "TempHome.hxx"

#include <QAbstractButton>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace tessaly {
namespace {

namespace fs = std::filesystem;

const Bundle kBundle(PANE_RESOURCES);

QDialog* openSheet() { return qobject_cast<QDialog*>(QApplication::activeModalWidget()); }

// Runs `act` on the sheet once the nested loop shows it.
void whenShown(std::function<void(QDialog*)> act) {
    QTimer::singleShot(0, [act = std::move(act)] {
        ASSERT_TRUE(QTest::qWaitFor([] { return openSheet() && openSheet()->isVisible(); }, 10000));
        act(openSheet());
    });
}

QAbstractButton* buttonNamed(QDialog* sheet, const QString& name) {
    for (QAbstractButton* button : sheet->findChildren<QAbstractButton*>()) {
        if (testing::accessibleText(button) == name) {
            return button;
        }
    }
    return nullptr;
}

TEST(Sheets, EveryInterfaceFileLoadsWithItsOutletsAndNamedButtons) {
    enum class Owner { plain, message, path, about };
    struct Case {
        const char* file;
        Owner owner;
        bool cancel;
    };
    static constexpr Case cases[] = {
        {"iPhotoNotFound", Owner::plain, false}, {"BeforeStart", Owner::plain, true},
        {"AboutLumibay", Owner::about, false},   {"GetPath", Owner::path, true},
        {"MessageSheet2", Owner::message, true}, {"Notice", Owner::message, false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.file);
        ModalSheetController plain(nullptr);
        MessageSheetController message(nullptr);
        GetPathController path(nullptr);
        AboutLumibay about(nullptr);
        ModalSheetController* sheet = row.owner == Owner::message ? &message
                                      : row.owner == Owner::path  ? &path
                                      : row.owner == Owner::about ? &about
                                                                  : &plain;
        // Whatever the loader cannot connect it logs; a sheet file connects everything.
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(sheet->loadNibByName(row.file, kBundle));
        const std::string log = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(log.empty()) << log;
        ASSERT_TRUE(sheet->sheetWindow);
        EXPECT_TRUE(buttonNamed(sheet->sheetWindow, "OK"));
        EXPECT_EQ(buttonNamed(sheet->sheetWindow, "Cancel") != nullptr, row.cancel);
        EXPECT_FALSE(sheet->sheetWindow->windowTitle().isEmpty());
        if (row.owner == Owner::message) {
            EXPECT_TRUE(message.messageView);
        }
        if (row.owner == Owner::path) {
            ASSERT_TRUE(path.messageView);
            EXPECT_EQ(testing::accessibleText(path.messageView), "Name of the look:");
        }
    }
}

TEST(Sheets, TheNestedLoopAnswersByButtonEscapeAndClose) {
    struct Case {
        const char* name;
        void (*act)(QDialog*);
        int code;
    };
    static constexpr Case cases[] = {
        {"OK", [](QDialog* sheet) { buttonNamed(sheet, "OK")->click(); }, 1},
        {"Cancel", [](QDialog* sheet) { buttonNamed(sheet, "Cancel")->click(); }, 0},
        {"Escape", [](QDialog* sheet) { QTest::keyClick(sheet, Qt::Key_Escape); }, 0},
        {"close button", [](QDialog* sheet) { sheet->close(); }, 0},
    };
    QWidget window;
    window.resize(400, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Qt::WindowModality modality = Qt::NonModal;
        QWidget* parent = nullptr;
        whenShown([&, act = row.act](QDialog* sheet) {
            modality = sheet->windowModality();
            parent = sheet->parentWidget();
            act(sheet);
        });
        ModalSheetController sheet(&window);
        ASSERT_TRUE(sheet.loadNibByName("BeforeStart", kBundle));
        EXPECT_EQ(sheet.runSheet(), row.code);
        EXPECT_EQ(modality, Qt::WindowModal);
        EXPECT_EQ(parent, &window);
        EXPECT_FALSE(sheet.sheetWindow->isVisible());
    }
}

TEST(Sheets, WithoutAWindowTheSheetIsApplicationModal) {
    Qt::WindowModality modality = Qt::NonModal;
    whenShown([&](QDialog* sheet) {
        modality = sheet->windowModality();
        buttonNamed(sheet, "OK")->click();
    });
    EXPECT_EQ(ModalSheetController::runModalSheet("iPhotoNotFound", kBundle, nullptr), 1);
    EXPECT_EQ(modality, Qt::ApplicationModal);
}

TEST(Sheets, ASheetThatCannotBeLoadedLogsOneLineAndAnswersZero) {
    testing::ScriptedSheets sheets;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ModalSheetController::runModalSheet("NoSuchSheet", kBundle, nullptr), 0);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("NoSuchSheet"), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_TRUE(sheets.names.empty());
}

TEST(Sheets, NameEntryAnswersTheTextAsTyped) {
    struct Case {
        const char* name;
        const char* typed;
    };
    static constexpr Case cases[] = {
        {"plain", "Summer"},
        {"quotes, dollar, semicolon and other letters", "Ferien \"$HOME\"; é"},
        {"empty", ""},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        whenShown([typed = row.typed](QDialog* sheet) {
            auto* field = sheet->findChild<QLineEdit*>("messageView");
            ASSERT_TRUE(field);
            // As typed or pasted; Qt's key simulation knows only ASCII keys.
            field->insert(QString::fromUtf8(typed));
            // Return presses the default button, OK.
            QTest::keyClick(field, Qt::Key_Return);
        });
        GetPathController sheet(nullptr);
        ASSERT_TRUE(sheet.loadNibByName("GetPath", kBundle));
        EXPECT_EQ(sheet.runSheet(), 1);
        EXPECT_EQ(sheet.getMessageString(), QString::fromUtf8(row.typed));
    }
}

TEST(Sheets, MessageIsShownExactlyAsGiven) {
    const QString text = QStringLiteral("Delete <b>\"Dark & Light\"</b>?\nIt cannot be undone.");
    testing::ScriptedSheets sheets;
    sheets.answers = {0};
    QString shown;
    Qt::TextFormat textFormat = Qt::RichText;
    sheets.onShow = [&](ModalSheetController& sheet) {
        auto& message = static_cast<MessageSheetController&>(sheet);
        shown = message.messageView->text();
        textFormat = message.messageView->textFormat();
    };
    EXPECT_EQ(MessageSheetController::runMessageSheet("MessageSheet2", kBundle, nullptr, text), 0);
    EXPECT_EQ(shown, text);
    EXPECT_EQ(textFormat, Qt::PlainText);
}

// The two questions of this sheet replace or delete a preset: Return, the quick way out of a
// sheet, must not do either.
TEST(Sheets, ReturnOnAQuestionAnswersNo) {
    QWidget window;
    window.resize(400, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    whenShown([](QDialog* sheet) { QTest::keyClick(sheet, Qt::Key_Return); });
    EXPECT_EQ(MessageSheetController::runMessageSheet("MessageSheet2", kBundle, &window,
                                                      QStringLiteral("Delete it?")),
              0);
}

// The mail button starts a message to the support address and leaves the sheet open for more.
TEST(Sheets, AboutMailButtonKeepsTheSheetOpen) {
    testing::TempHome home;
    testing::FakeApplications apps(home.path());
    const fs::path opener = apps.addOnPath("mail-opener");
    ScriptRunner::shared().setLocationOpener(opener.string());
    bool openAfterMail = false;
    whenShown([&](QDialog* sheet) {
        buttonNamed(sheet, "Write to Support…")->click();
        openAfterMail = sheet->isVisible();
        buttonNamed(sheet, "OK")->click();
    });
    EXPECT_EQ(AboutLumibay::runAboutSheet("AboutLumibay", kBundle, nullptr), 1);
    ScriptRunner::shared().setLocationOpener("xdg-open");
    EXPECT_TRUE(openAfterMail);
    EXPECT_EQ(apps.arguments("mail-opener"),
              std::vector<std::string>{std::string("mailto:") + kSupportAddress});
}

} // namespace
} // namespace tessaly
