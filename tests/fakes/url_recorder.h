// Takes the addresses the window opens instead of a browser or file manager, for the
// schemes it is given, while it lives.
#pragma once

#include <utility>

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

namespace tessvale::test {

class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    explicit UrlRecorder(QStringList schemes) : m_schemes(std::move(schemes))
    {
        for (const QString& scheme : m_schemes) {
            QDesktopServices::setUrlHandler(scheme, this, "Open");
        }
    }
    ~UrlRecorder() override
    {
        for (const QString& scheme : m_schemes) {
            QDesktopServices::unsetUrlHandler(scheme);
        }
    }

    QList<QUrl> urls;

public slots:
    void Open(const QUrl& url) { urls << url; }

private:
    QStringList m_schemes;
};

} // namespace tessvale::test
