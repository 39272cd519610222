// Writes what the program makes of every file of some folders, so that two
// builds (Linux, and Windows under Wine) can be compared byte for byte:
//   itemdump OUTFILE FOLDER...
// Each file is read as a site list and scanned for href links and for text
// addresses; each result is a header line and one item a line, as bytes.
#include "core/errorreport.h"
#include "extract/extraction.h"
#include "extract/linknormalizer.h"
#include "fakes/fakeuiservices.h"
#include "sitelist/filechannel.h"
#include "sitelist/sitefiles.h"
#include "sitelist/sitelistmodel.h"
#include "support/scanning.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

using namespace zd;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3)
        return 2;
    QByteArray out;
    test::FakeUiServices ui;
    for (const QString &folder : args.mid(2)) {
        for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::Files, QDir::Name)) {
            const QByteArray name = file.fileName().toUtf8();
            SiteListModel list;
            FileChannel channel;
            try {
                loadSiteFile(ui, channel, list, file.filePath());
            } catch (const Failure &failure) {
                out += "failed: " + failure.description().toUtf8() + '\n';
            }
            out += "== list " + name + ' ' + QByteArray::number(list.count()) + '\n';
            const auto items = list.snapshot();
            for (qsizetype i = 0; i < items->size(); ++i)
                out.append(items->at(i).head).append(items->at(i).tail).append('\n');
            for (const auto kind : {StreamScanner::Kind::Hrefs, StreamScanner::Kind::TextUrls}) {
                LinkNormalizer links;
                links.setPageUrl(QStringLiteral("http://example.com/dir/page.html"));
                test::RecordingSink found;
                try {
                    scanFile(file.filePath(), kind, links, found, ui);
                } catch (const Failure &failure) {
                    out += "failed: " + failure.description().toUtf8() + '\n';
                }
                out += (kind == StreamScanner::Kind::Hrefs ? "== hrefs " : "== text ") + name + ' '
                       + QByteArray::number(found.items.size()) + '\n';
                for (const QString &item : std::as_const(found.items))
                    out += item.toUtf8() + '\n';
            }
        }
    }
    QFile file(args[1]);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size() ? 0 : 1;
}
