// "Published at" and "Open in Browser": the site's shared address when a web server answers for
// it, else the top page's file with a hint how to share it, and nothing before there is a site.
// The web server is a real one on 127.0.0.1, on a port of its own.
#include "PaneFixture.hxx"

#include <QTcpServer>
#include <QTcpSocket>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace tessaly {
namespace {

using namespace testing;

// Answers every request for `path` with `status`, and anything else with 404, over HTTP/1.1.
class SmallWebServer : public QObject {
public:
    SmallWebServer(QByteArray path, int status) : path_(std::move(path)), status_(status) {
        connect(&server_, &QTcpServer::newConnection, this, &SmallWebServer::accept);
        listening_ = server_.listen(QHostAddress::LocalHost, 0);
    }
    bool listening() const { return listening_; }
    QUrl address(const QString& path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
    }
    std::vector<QByteArray> requests;

private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }
    void answer(QTcpSocket* socket) {
        QByteArray& head = pending_[socket];
        head += socket->readAll();
        if (!head.contains("\r\n\r\n")) {
            return;
        }
        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        requests.push_back(head.left(head.indexOf("\r\n")));
        pending_.remove(socket);
        const bool ours = requestLine.size() == 3 && requestLine[1] == path_;
        const int status = ours ? status_ : 404;
        QByteArray reply = "HTTP/1.1 " + QByteArray::number(status) + " Whatever\r\n";
        if (status == 301) {
            reply += "Location: http://example.invalid/\r\n";
        }
        reply += "Content-Type: text/html\r\nContent-Length: 13\r\nConnection: close\r\n\r\n";
        if (requestLine.value(0) != "HEAD") {
            reply += "<html></html>";
        }
        socket->write(reply);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    QByteArray path_;
    int status_;
    bool listening_ = false;
    QHash<QTcpSocket*, QByteArray> pending_;
};

// A port on 127.0.0.1 where nothing listens: taken, then given back.
quint16 closedPort() {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        return 0;
    }
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

class SiteAddressTest : public PaneFixture {
protected:
    void publishSite() { writeFile(home_.siteFolder() / "Tessaly.html", "<html></html>"); }
    QString topPageFile() const {
        return QString::fromStdString((home_.siteFolder() / "Tessaly.html").string());
    }
};

TEST_F(SiteAddressTest, NothingPublishedYetShowsNoAddressAndCannotBeOpened) {
    SmallWebServer server("/~ana/iPhotoPictureSite/Tessaly.html", 200);
    ASSERT_TRUE(server.listening());
    ASSERT_NO_FATAL_FAILURE(open());
    pane_->setSharedAddress(server.address("/~ana/iPhotoPictureSite/Tessaly.html"));
    pane_->showSiteAddress();
    EXPECT_EQ(pane_->sitePathView->text(), "");
    EXPECT_EQ(pane_->sitePathView->placeholderText(), "Nothing published yet");
    EXPECT_TRUE(pane_->siteAddress().isEmpty());
    EXPECT_FALSE(pane_->openSiteButton->isEnabled());
    EXPECT_TRUE(pane_->siteAddressHint->isHidden());
    // Nobody is asked about a site that does not exist.
    QCoreApplication::processEvents();
    EXPECT_TRUE(server.requests.empty());
}

// With a site: the address where a server answers 200 for it; otherwise the file, and a hint that
// names the address and the command that sets up web sharing.
TEST_F(SiteAddressTest, ShowsTheSharedAddressOnlyWhenItAnswers) {
    struct Case {
        const char* name;
        int status; // 0: nothing listens
        bool shared;
    };
    static constexpr Case cases[] = {
        {"the server answers for the site", 200, true},
        {"the server does not know the site", 404, false},
        {"the server sends the visitor elsewhere", 301, false},
        {"no server listens", 0, false},
    };
    const QString path = QStringLiteral("/~ana/iPhotoPictureSite/Tessaly.html");
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        std::optional<SmallWebServer> server;
        QUrl address;
        if (row.status != 0) {
            server.emplace(path.toLatin1(), row.status);
            ASSERT_TRUE(server->listening());
            address = server->address(path);
        } else {
            const quint16 port = closedPort();
            ASSERT_NE(port, 0);
            address = QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path));
        }
        publishSite();
        ASSERT_NO_FATAL_FAILURE(open());
        pane_->setSharedAddress(address);
        pane_->showSiteAddress();
        // Until the server has answered the window shows the file, which can be opened.
        EXPECT_EQ(pane_->siteAddress(), QUrl::fromLocalFile(topPageFile()));
        EXPECT_TRUE(pane_->openSiteButton->isEnabled());
        if (server) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !server->requests.empty(); }, 10000));
            EXPECT_EQ(server->requests.front(), "HEAD " + path.toLatin1() + " HTTP/1.1");
        }
        const QUrl expected = row.shared ? address : QUrl::fromLocalFile(topPageFile());
        // The answer arrives in the background; a failed one leaves everything as it was.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return pane_->siteAddress() == expected &&
                       pane_->siteAddressHint->isHidden() == row.shared;
            },
            10000));
        EXPECT_EQ(pane_->siteAddress(), expected);
        EXPECT_EQ(pane_->sitePathView->text(), row.shared ? address.toString() : topPageFile());
        EXPECT_TRUE(pane_->openSiteButton->isEnabled());
        EXPECT_EQ(pane_->siteAddressHint->isHidden(), row.shared);
        if (!row.shared) {
            const QString hint = pane_->siteAddressHint->text();
            EXPECT_TRUE(hint.contains(QLatin1String("scripts/web-sharing.sh")))
                << hint.toStdString();
            EXPECT_TRUE(hint.contains(address.toString())) << hint.toStdString();
        }
        TearDown();
        std::filesystem::remove_all(home_.siteFolder());
    }
}

// A site that is shared and then closed: the address goes, and so does what could be opened.
TEST_F(SiteAddressTest, FollowsTheSiteAppearingAndGoing) {
    const QString path = QStringLiteral("/~ana/iPhotoPictureSite/Tessaly.html");
    SmallWebServer server(path.toLatin1(), 200);
    ASSERT_TRUE(server.listening());
    ASSERT_NO_FATAL_FAILURE(open());
    pane_->setSharedAddress(server.address(path));
    pane_->showSiteAddress();
    EXPECT_FALSE(pane_->openSiteButton->isEnabled());

    // The helper builds the site: the window's own watch finds it, without being asked.
    publishSite();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return pane_->siteAddress() == server.address(path); }, 20000));
    EXPECT_EQ(pane_->sitePathView->text(), server.address(path).toString());
    EXPECT_TRUE(pane_->openSiteButton->isEnabled());

    std::filesystem::remove_all(home_.siteFolder());
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane_->siteAddress().isEmpty(); }, 20000));
    EXPECT_EQ(pane_->sitePathView->text(), "");
    EXPECT_FALSE(pane_->openSiteButton->isEnabled());
}

} // namespace
} // namespace tessaly
