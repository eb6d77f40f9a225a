// Where others can see the published site: at http://localhost/~user/ when the local web server
// shares ~/Sites (scripts/web-sharing.sh sets that up), else only as the top page's file. The
// question goes to the server in the background, so the window never waits for an answer.
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QNetworkReply;

namespace tessaly {

class SiteAddress : public QObject {
    Q_OBJECT

public:
    explicit SiteAddress(QObject* parent = nullptr);

    // The address web sharing gives the site's top page: http://localhost/~<login name>/<site
    // folder>/<top page>.
    static QUrl sharedAddress(const QString& siteFolder, const QString& topPage);

    // Asks whether `address` answers; `checked` follows once, with the answer. A question still
    // open is dropped in favour of the new one.
    void check(const QUrl& address);
    // How long the server may take to answer before the site counts as not shared.
    void setTimeout(int milliseconds) { timeoutMs_ = milliseconds; }

signals:
    void checked(const QUrl& address, bool answers);

private:
    QNetworkAccessManager network_;
    QPointer<QNetworkReply> pending_;
    int timeoutMs_ = 2000;
};

} // namespace tessaly
