// The sheets of publishing control: notices by their key in the pane's "InfoPlist" table, and the
// library relocation's questions answered with sheets on the settings window, which stays painted
// while the photo application is waited for and while a large library is copied.
#pragma once

#include "Bundle.hxx"
#include "Format.hxx"
#include "LibraryRelocation.hxx"

#include <QAbstractButton>
#include <QPointer>
#include <QProgressDialog>
#include <QWidget>

#include <functional>
#include <memory>

namespace tessaly {

// The sheet names the window runs.
inline constexpr char kNotFoundSheet[] = "iPhotoNotFound";
inline constexpr char kBeforeStartSheet[] = "BeforeStart";
inline constexpr char kAboutSheet[] = "AboutLumibay";
inline constexpr char kNoticeSheet[] = "Notice";

// Shows the notice sheet with the text of `key`, its "%@" filled with `args`.
void showNoticeSheet(const Bundle& bundle, QWidget* window, const char* key,
                     std::initializer_list<FormatArg> args = {});

// While it lives, the user's clicks and keys on `window` are dropped. A start waits in loops of
// its own (for the photo application, for a stopping helper, during a copy) where the window keeps
// painting; input that reached it meanwhile must not act later, when a second click on Start would
// stop publishing at once. Qt only defers input that a loop leaves out, so the loops take it in and
// this drops it. Sheets are windows of their own and are answered as usual.
class DroppedInput : public QObject {
public:
    explicit DroppedInput(QWidget* window);
    ~DroppedInput() override;
    DroppedInput(const DroppedInput&) = delete;
    DroppedInput& operator=(const DroppedInput&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
};

// From now on the button takes a double-click as one click: the second click of a double-click
// on Start would stop publishing as soon as the start had ended.
void takeDoubleClickAsOneClick(QAbstractButton* button);

class PublishingSheets : public LibraryRelocation::Asker {
public:
    // Copies smaller than this end before a progress dialog would be worth showing.
    static constexpr std::uintmax_t kProgressFromBytes = 32u << 20;

    PublishingSheets(const Bundle& bundle, QWidget* window) : bundle_(bundle), window_(window) {}
    ~PublishingSheets() override;

    void showNotice(Notice notice, const std::vector<std::string>& details) override;
    bool askBeforeStart() override;
    void whileWaiting() override;
    void moveProgress(std::uintmax_t done, std::uintmax_t total) override;
    bool stopRequested() override { return stopRequested_ && stopRequested_(); }
    // Asked during the start whether the window is closing.
    void setStopRequested(std::function<bool()> asked) { stopRequested_ = std::move(asked); }

private:
    const Bundle& bundle_;
    QPointer<QWidget> window_;
    std::unique_ptr<QProgressDialog> progress_;
    std::function<bool()> stopRequested_;
};

} // namespace tessaly
