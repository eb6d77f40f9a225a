#include "SiteAddress.hxx"

#include <QNetworkReply>
#include <QNetworkRequest>

#include <pwd.h>
#include <unistd.h>

namespace tessaly {

SiteAddress::SiteAddress(QObject* parent) : QObject(parent) {}

QUrl SiteAddress::sharedAddress(const QString& siteFolder, const QString& topPage) {
    // The web server knows the user by the login name, whatever HOME says.
    QString login;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_name) {
        login = QString::fromLocal8Bit(entry->pw_name);
    } else {
        login = qEnvironmentVariable("USER");
    }
    QUrl address;
    address.setScheme(QStringLiteral("http"));
    address.setHost(QStringLiteral("localhost"));
    address.setPath(QStringLiteral("/~%1/%2/%3").arg(login, siteFolder, topPage));
    return address;
}

void SiteAddress::check(const QUrl& address) {
    if (pending_) {
        pending_->disconnect(this);
        pending_->abort();
        pending_->deleteLater();
    }
    QNetworkRequest request(address);
    request.setTransferTimeout(timeoutMs_);
    // A server that redirects elsewhere does not serve the site at this address.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = network_.head(request);
    pending_ = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply, address] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool answers = reply->error() == QNetworkReply::NoError && status == 200;
        reply->deleteLater();
        if (pending_ == reply) {
            pending_ = nullptr;
        }
        emit checked(address, answers);
    });
}

} // namespace tessaly
