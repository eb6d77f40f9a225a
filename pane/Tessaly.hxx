// The settings window's pane: shows the settings of the site's look and sends every change to the
// settings file and the running helper. It lives like a preference pane: made with its bundle,
// given its main view, told when the view is loaded and each time its window comes to the front,
// and destroyed when the window closes. Widgets only show values and forward the user's changes:
// SettingBinder finds each setting's control, and what a change does is SettingEdits'.
#pragma once

#include "Bundle.hxx"
#include "InterfaceLoader.hxx"
#include "LibraryChoice.hxx"
#include "LumibayPref.hxx"
#include "Notifier.hxx"
#include "PresetActions.hxx"
#include "SettingBinder.hxx"
#include "SettingEdits.hxx"
#include "SiteAddress.hxx"
#include "TextArrayView.hxx"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

namespace tessaly {

// The start/stop button's tag in the main view.
inline constexpr int kActionButtonTag = 4;

// What the window says about publishing, beside the start/stop button.
enum class PublishingState { NotPublishing, Starting, Publishing, Stopping };

class Tessaly : public QObject, public TextArrayViewDelegate {
    Q_OBJECT
    // Outlets, set by the interface loader from the objects of the same name.
    Q_PROPERTY(QPushButton* actionButton MEMBER actionButton)
    Q_PROPERTY(QLineEdit* siteFolderNameView MEMBER siteFolderNameView)
    Q_PROPERTY(QLineEdit* siteTopPageNameView MEMBER siteTopPageNameView)
    Q_PROPERTY(QSpinBox* imageSizeControlView MEMBER imageSizeControlView)
    Q_PROPERTY(QComboBox* numColomsMenu MEMBER numColomsMenu)
    Q_PROPERTY(QComboBox* imageSpaceingMenu MEMBER imageSpaceingMenu)
    Q_PROPERTY(QComboBox* menwWidthMenu MEMBER menwWidthMenu)
    Q_PROPERTY(QComboBox* menuFontSizeMenu MEMBER menuFontSizeMenu)
    Q_PROPERTY(QComboBox* albumTitleFontSizeMenu MEMBER albumTitleFontSizeMenu)
    Q_PROPERTY(QComboBox* albumCommentFontSizeMenu MEMBER albumCommentFontSizeMenu)
    Q_PROPERTY(QComboBox* pictureTitleFontSizeMenu MEMBER pictureTitleFontSizeMenu)
    Q_PROPERTY(QComboBox* pictureCommentFontSizeMenu MEMBER pictureCommentFontSizeMenu)
    Q_PROPERTY(QTabWidget* tabView MEMBER tabView)
    Q_PROPERTY(TextArrayView* viewSetingListView MEMBER viewSetingListView)
    Q_PROPERTY(QPushButton* saveSettingButton MEMBER saveSettingButton)
    Q_PROPERTY(QPushButton* useSelectedSettingButton MEMBER useSelectedSettingButton)
    Q_PROPERTY(QPushButton* deleteSelectedSettingButton MEMBER deleteSelectedSettingButton)
    Q_PROPERTY(QSlider* intervalSlider MEMBER intervalSlider)
    Q_PROPERTY(QLabel* intervalLabel MEMBER intervalLabel)
    Q_PROPERTY(QLineEdit* sitePathView MEMBER sitePathView)
    Q_PROPERTY(QLabel* saveProblemLabel MEMBER saveProblemLabel)
    Q_PROPERTY(QLabel* presetProblemLabel MEMBER presetProblemLabel)
    Q_PROPERTY(QPushButton* openSiteButton MEMBER openSiteButton)
    Q_PROPERTY(QLabel* siteAddressHint MEMBER siteAddressHint)
    Q_PROPERTY(QLabel* publishingStateLabel MEMBER publishingStateLabel)

public:
    // initWithBundle: nothing else happens until the main view is loaded. Without a notifier the
    // pane posts on the session bus.
    explicit Tessaly(Bundle bundle, Notifier* notifier = nullptr);
    ~Tessaly() override;

    const Bundle& bundle() const { return bundle_; }
    // Loads the main view from Resources/Tessaly.ui and connects outlets and actions; null with
    // `error` set when the file is missing or broken.
    QWidget* loadMainView(QString* error);
    QWidget* mainView() const { return mainView_; }
    const InterfaceLoader& loader() const { return loader_; }
    // The settings store, from mainViewDidLoad on.
    LumibayPref* pref() const { return pref_.get(); }

    void mainViewDidLoad();
    void didSelect();
    // The control that has the focus when the window opens: the first one that changes something
    // of a running site (the Library choice above it is made once, before a start).
    QWidget* initialKeyView() const;
    void viewSetUp();
    void colorPalettSetUp();
    // Titles the start/stop button from the active flag, and says in words whether the site is
    // being published.
    void setActionButton(bool active);
    // For the time a start or a stop takes: sheets may be open, and the helper may be waited for.
    void showPublishingState(PublishingState state);
    PublishingState publishingState() const { return publishingState_; }

    // "Published at": nothing before there is a site; then its address when the local web server
    // shares it, else the top page's file and how to share it. Looks again at the site folder and
    // asks the web server in the background.
    void showSiteAddress();
    // The address asked for the shared site; by default the one web sharing gives it.
    void setSharedAddress(const QUrl& address) { sharedAddress_ = address; }
    // What "Open in Browser" opens; empty while there is no site.
    const QUrl& siteAddress() const { return siteAddress_; }
    // Fills the list of saved looks from the presets folder; a folder that cannot be listed
    // leaves the list as it was and says why beside it.
    void setupSettingListView();

    // Publishing on and off. A start first makes sure the photo library lies in ~/Sites, then
    // switches the flag on, launches the helper from this bundle and adds the login item; every
    // start that ends without starting says why in a sheet.
    void startLumibay();
    void stopLumibay();
    // Whether a start or stop is running. The window is closed only once it has ended: the
    // sequence still uses the pane.
    bool isSwitching() const { return switching_; }
    // Asks a running start to end at its next safe point: a copy of the library is dropped, and
    // no further sheet is shown. `switchingEnded` follows.
    void requestStop() { stopRequested_ = true; }
    void registerStartUpItem();
    void removeStartUpItem();
    // The helper inside this pane's bundle.
    std::string helperProgramPath() const;
    // How long a start waits for a helper that is still closing the site to let go of its name
    // on the session bus; a second helper would otherwise quit at once.
    void setHelperHandOverWait(std::chrono::milliseconds wait) { helperHandOverWait_ = wait; }

    // What the preset operations ask the user through; by default window-modal dialogs on the
    // pane's window. Not owned; null goes back to the default.
    void setPresetQuestions(PresetQuestions* questions);
    // The saved looks, from mainViewDidLoad on.
    PresetActions* presets() const { return presets_.get(); }
    // The "Library" choice, from mainViewDidLoad on.
    LibraryChoice* libraryChoice() const { return libraryChoice_.get(); }

    // The list's delegate messages: a selected preset can be applied or deleted, and the current
    // look saved only while none is selected.
    void lineSelected(std::int32_t line) override;
    void lineUnSelected(std::int32_t line) override;

signals:
    void switchingEnded();

public slots:
    // The tab view's delegate call after the user selected a tab.
    void tabViewDidSelectTabViewItem(int index);

    // Control actions, each taking the control that sent it.
    void doChangeImageSize(QObject* sender);
    void doChangeNumImageColums(QObject* sender);
    void doChangeMenuWidth(QObject* sender);
    void doChangeMenuFontSize(QObject* sender);
    void doChangeAlbumTitleFontSize(QObject* sender);
    void doChangeAlbumCommentFontSize(QObject* sender);
    void doChangePictureTitleFontSize(QObject* sender);
    void doChangePictureCommentFontSize(QObject* sender);
    void doChangePictureSpaceing(QObject* sender);
    void doChangeColor(QObject* sender);
    void doChangeInterval(QObject* sender);
    // What every change of a control that shows a setting comes to: the binder stores, saves
    // and announces it, and the window says when it was not saved. The controls that name no
    // action of their own reach it through the binder.
    void doChangeSetting(QObject* sender);
    // The "Library" choice and its folder (LibraryChoice.cxx).
    void doChangeLibrary(QObject* sender);
    void doChooseLibraryFolder(QObject* sender);
    void doUseButton(QObject* sender);
    void doAboutButton(QObject* sender);
    void doOpenSite(QObject* sender);
    void doSaveCurrenntSetting(QObject* sender);
    void doUseSelectedSetting(QObject* sender);
    void doDeleteeSelectedSetting(QObject* sender);

public:
    // Owned by the main view; the pane never creates or deletes them.
    QPushButton* actionButton = nullptr;
    QLineEdit* siteFolderNameView = nullptr;
    QLineEdit* siteTopPageNameView = nullptr;
    QSpinBox* imageSizeControlView = nullptr;
    QComboBox* numColomsMenu = nullptr;
    QComboBox* imageSpaceingMenu = nullptr;
    QComboBox* menwWidthMenu = nullptr;
    QComboBox* menuFontSizeMenu = nullptr;
    QComboBox* albumTitleFontSizeMenu = nullptr;
    QComboBox* albumCommentFontSizeMenu = nullptr;
    QComboBox* pictureTitleFontSizeMenu = nullptr;
    QComboBox* pictureCommentFontSizeMenu = nullptr;
    QTabWidget* tabView = nullptr;
    TextArrayView* viewSetingListView = nullptr;
    QPushButton* saveSettingButton = nullptr;
    QPushButton* useSelectedSettingButton = nullptr;
    QPushButton* deleteSelectedSettingButton = nullptr;
    QSlider* intervalSlider = nullptr;
    QLabel* intervalLabel = nullptr;
    QLineEdit* sitePathView = nullptr;
    QLabel* saveProblemLabel = nullptr;
    QLabel* presetProblemLabel = nullptr;
    QPushButton* openSiteButton = nullptr;
    QLabel* siteAddressHint = nullptr;
    QLabel* publishingStateLabel = nullptr;

protected:
    // Follows the palette of the window's view: the problem texts' colour and the read-only
    // fields' look are chosen from it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the window adds for screen readers and the keyboard, once the view is loaded.
    void prepareViewForEveryone();
    void applyPaletteColours();
    void siteAddressChecked(const QUrl& address, bool answers);
    QString text(const char* key) const;
    QComboBox* popup(Setting setting) const;
    // Tells the user, in the window, that an edit did not reach the settings file.
    void reportSave(bool saved);
    // The window sheets attach to; null before the view is loaded.
    QWidget* targetWindow() const;
    // Waits, bounded, until no helper holds its name on the session bus.
    bool waitForHelperHandOver();
    bool launchHelper();
    // Puts the flag and the button back after a start that could not launch the helper.
    void undoStart();

    void setPresetButtons(bool lineIsSelected);
    PresetQuestions& presetQuestions();
    std::optional<std::string> selectedPreset() const;

    Bundle bundle_;
    InterfaceLoader loader_;
    std::unique_ptr<Notifier> ownNotifier_;
    Notifier* notifier_;
    QWidget* mainView_ = nullptr;
    std::unique_ptr<LumibayPref> pref_;
    std::unique_ptr<SettingEdits> edits_;
    std::unique_ptr<SettingBinder> binder_;
    std::chrono::milliseconds helperHandOverWait_{10000};
    bool switching_ = false;
    bool stopRequested_ = false;
    PublishingState publishingState_ = PublishingState::NotPublishing;

    SiteAddress siteProbe_;
    QUrl sharedAddress_;
    QUrl siteAddress_;
    bool siteShared_ = false;
    // The site appears some time after a start, when the helper has built it.
    QTimer siteWatch_;
    bool siteExisted_ = false;
    bool adjustingPalette_ = false;
    bool openingProblem_ = false;

    std::unique_ptr<LibraryChoice> libraryChoice_;
    std::unique_ptr<PresetActions> presets_;
    std::unique_ptr<PresetQuestions> ownQuestions_;
    PresetQuestions* questions_ = nullptr;
    // The list keeps a pointer to its delegate; the pane takes it back when it goes first.
    QPointer<TextArrayView> delegatingList_;
};

} // namespace tessaly
