// Extracts the links of an endless page with the address space bounded to
// what the process already uses plus LIMIT MiB, as on a machine whose
// memory runs out during the download. Prints "added N downloaded D", then
// each error report on a line of its own.
//   pageundermemorylimit LIMIT
#include "extract/downloader.h"
#include "extract/extraction.h"
#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "sitelist/sitelistmodel.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <sys/resource.h>

namespace {

// The address space in use now, from /proc.
rlim_t addressSpaceInUse()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmSize:"))
            return rlim_t(line.mid(7).trimmed().split(' ').value(0).toULongLong()) * 1024;
    }
    return 0;
}

// Hands over link after link, as a network would, until the target
// refuses them or 16 GiB have gone.
class EndlessPage final : public zd::Downloader
{
public:
    zd::DownloadStatus download(const QString &, QIODevice &target, zd::DownloadMonitor *) override
    {
        const QByteArray piece = QByteArray("<a href=\"again.html\">x</a>\n").repeated(2000);
        for (qint64 sent = 0; sent < (qint64{16} << 30); sent += piece.size()) {
            if (target.write(piece) != piece.size())
                return zd::DownloadStatus::WriteFailed;
        }
        return zd::DownloadStatus::TooLarge;
    }
    QByteArray contentType() const override { return {}; }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    zd::test::FakeUiServices ui;
    zd::test::FakeFileDialogs dialogs;
    zd::SiteListModel list;
    EndlessPage downloader;
    zd::Extraction extraction(ui, downloader, dialogs, list);
    const rlim_t inUse = addressSpaceInUse();
    if (inUse == 0)
        return 2;
    const rlimit limit{inUse + (rlim_t(std::atoi(argv[1])) << 20), RLIM_INFINITY};
    if (::setrlimit(RLIMIT_AS, &limit) != 0)
        return 2;
    const bool downloaded = extraction.getUrls(QStringLiteral("http://x/"));
    std::printf("added %d downloaded %d\n", list.count(), int(downloaded));
    for (const QString &report : ui.errorReports())
        std::printf("%s\n", qPrintable(QString(report)
                                           .replace(QLatin1Char('\r'), QLatin1Char(' '))
                                           .replace(QLatin1Char('\n'), QLatin1Char(' '))));
    return 0;
}
