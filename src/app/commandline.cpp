#include "app/commandline.h"

#include "core/appinfo.h"

#include <QCommandLineParser>
#include <QDir>
#include <QRegularExpression>

namespace zd {

CommandLine parseCommandLine(const QStringList &arguments, const QString &currentFolder)
{
    QCommandLineParser parser;
    // "-platform" and "-reverse" are words, as Qt reads them, not bundles of letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral("Opens many web sites at once."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and end."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and end."));
    const QCommandLineOption start(QStringLiteral("start"),
                                   QStringLiteral("Start opening the sites once the files are loaded."));
    const QCommandLineOption privateWindow(
        QStringLiteral("private"),
        QStringLiteral("Open the sites in a private window of the browser. For this session only: "
                       "the stored choice is kept."));
    parser.addOptions({help, version, start, privateWindow});
    // Qt's own options (-platform xcb, -style fusion, ...) are Qt's to read.
    for (const char *name :
         {"platform", "platformpluginpath", "platformtheme", "plugin", "display", "style", "stylesheet",
          "qwindowgeometry", "qwindowtitle", "qwindowicon", "session", "name", "title", "geometry"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption qtFlag(QString::fromLatin1(name));
        qtFlag.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtFlag);
    }
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Site-list files to load."),
                                 QStringLiteral("[FILE...]"));
    CommandLine line;
    // The program's name as users type it, whatever Qt knows of it.
    const auto usage = [&parser] {
        static const QRegularExpression program(QStringLiteral("^Usage: \\S+"));
        return parser.helpText().replace(program, QStringLiteral("Usage: zentavia-desk"));
    };
    if (!parser.parse(arguments)) {
        line.exitCode = 2;
        line.text = parser.errorText() + QLatin1Char('\n') + usage();
        return line;
    }
    if (parser.isSet(help)) {
        line.exitCode = 0;
        line.text = usage();
        return line;
    }
    if (parser.isSet(version)) {
        line.exitCode = 0;
        line.text = QStringLiteral("%1 %2\n").arg(kProductName, QStringLiteral(ZD_VERSION));
        return line;
    }
    line.start = parser.isSet(start);
    line.privateWindow = parser.isSet(privateWindow);
    const QDir here(currentFolder);
    for (const QString &file : parser.positionalArguments())
        line.files << QDir::cleanPath(here.absoluteFilePath(file));
    return line;
}

} // namespace zd
