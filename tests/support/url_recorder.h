// Stands in for the desktop: records what the program asks it to open (the
// help viewer, a text editor) instead of starting anything. Test programs
// that use it list this header among their sources so that its slot is
// generated.
#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

namespace zorqtest {

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    UrlRecorder() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    // The opened files as paths, a topic after '#'.
    QStringList Files() const
    {
        QStringList files;
        for (const QUrl& url : opened)
            files << url.toLocalFile() + (url.hasFragment() ? "#" + url.fragment() : QString());
        return files;
    }

    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

}  // namespace zorqtest
