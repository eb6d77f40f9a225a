// A pane made from the built bundle, on a home folder of its own, whose posts are recorded with
// the settings file as it was at the moment of each post, and then sent on the session bus.
#pragma once

#include "Constants.hxx"
#include "Notifier.hxx"
#include "TempHome.hxx"
#include "Tessaly.hxx"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#ifndef PANE_RESOURCES
#error PANE_RESOURCES names the Resources folder of the built pane bundle
#endif

namespace tessaly::testing {

struct Post {
    std::string name;
    QVariantMap userInfo; // empty for none
    bool hasUserInfo = false;
    std::string fileAtPost;
};

class RecordingNotifier : public Notifier {
public:
    explicit RecordingNotifier(std::filesystem::path settingsFile)
        : settingsFile_(std::move(settingsFile)) {}
    void post(const char* name) override {
        record(name, {}, false);
        bus_.post(name);
    }
    void postImageSize(std::int32_t size) override {
        record(TSY_ImageSizey_Changed_Notification,
               {{Lumibay_Message_Key, QVariant::fromValue(size)}}, true);
        bus_.postImageSize(size);
    }
    void postCheckInterval(float minutes) override {
        record(Interval_Changed_Notification,
               {{Lumibay_Message_Key, QVariant::fromValue(static_cast<double>(minutes))}}, true);
        bus_.postCheckInterval(minutes);
    }
    std::vector<Post> posts;

private:
    void record(const char* name, QVariantMap info, bool hasInfo) {
        posts.push_back({name, std::move(info), hasInfo, readFile(settingsFile_)});
    }
    std::filesystem::path settingsFile_;
    DBusNotifier bus_;
};

// Hears the notifications on a connection of its own, as the helper would.
class BusListener : public QObject {
    Q_OBJECT
public:
    BusListener() : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "listener")) {
        for (const char* name :
             {TSY_SiteParamChange_Notification, TSY_ImageSizey_Changed_Notification,
              Interval_Changed_Notification, Stop_Lumibay_Helper_Notification}) {
            bus_.connect(QString(), QString(), QLatin1String(kNotificationInterface),
                         QLatin1String(name), this, SLOT(heard(QDBusMessage)));
        }
    }
    ~BusListener() override { QDBusConnection::disconnectFromBus("listener"); }
    bool connected() const { return bus_.isConnected(); }
    // Waits until `count` signals have arrived.
    bool waitFor(std::size_t count) {
        return QTest::qWaitFor([&] { return messages.size() >= count; }, 10000);
    }
    std::vector<QDBusMessage> messages;

public slots:
    void heard(const QDBusMessage& message) { messages.push_back(message); }

private:
    QDBusConnection bus_;
};

class PaneFixture : public ::testing::Test {
protected:
    void writeSettings(const std::string& body) {
        writeFile(home_.settingsFile(), plistDocument(body));
    }
    // Makes the pane, loads its view and lets it fill the controls.
    void open() {
        notifier_ = std::make_unique<RecordingNotifier>(home_.settingsFile());
        pane_ = std::make_unique<Tessaly>(Bundle(resources_), notifier_.get());
        QString error;
        view_.reset(pane_->loadMainView(&error));
        ASSERT_TRUE(view_) << error.toStdString();
        ASSERT_TRUE(pane_->loader().problems().isEmpty())
            << pane_->loader().problems().join('\n').toStdString();
        pane_->mainViewDidLoad();
    }
    void TearDown() override {
        pane_.reset();
        view_.reset();
    }
    template <typename T> T* child(const char* name) {
        T* widget = view_->findChild<T*>(QLatin1String(name));
        EXPECT_TRUE(widget) << name;
        return widget;
    }

    TempHome home_;
    // The pane's resource folder; tests that change the presets use a copy of their own.
    std::string resources_ = PANE_RESOURCES;
    std::unique_ptr<RecordingNotifier> notifier_;
    std::unique_ptr<Tessaly> pane_;
    std::unique_ptr<QWidget> view_;
};

} // namespace tessaly::testing
