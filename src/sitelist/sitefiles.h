#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace zd {

class FileChannel;
class FileDialogs;
class Procedure;
class SiteListModel;
class SiteSink;
class UiServices;

/// Asks for one or more text files and runs \a perFile on each chosen path,
/// in the dialog's order.
void chooseTextFiles(Procedure &procedure, FileDialogs &dialogs,
                     const std::function<void(const QString &path)> &perFile);

/// Splits site-list bytes into items: lines end at CR LF, CR or LF; a break
/// at the very end adds nothing, so "\n" alone is one empty item.
class SiteLineSplitter
{
public:
    explicit SiteLineSplitter(std::function<void(QByteArrayView line)> emit) : m_emit(std::move(emit)) {}
    void feed(QByteArrayView bytes);
    void finish();

private:
    void feedLines(QByteArrayView bytes);

    std::function<void(QByteArrayView)> m_emit;
    QByteArray m_head;
    QByteArray m_partial;
    bool m_atLineStart = true;
    bool m_skipLf = false;
    bool m_first = true;
};

/// Appends every line of the file to the list; "File not found" when it is
/// missing. Throws Failure when the file cannot be read.
void loadSiteFile(UiServices &ui, FileChannel &channel, SiteSink &list, const QString &path);

/// "Load List Of Sites From Text File".
void loadListFromTextFiles(UiServices &ui, FileDialogs &dialogs, FileChannel &channel, SiteSink &list);

/// Files dropped on the list, loaded as the button loads them.
void loadDroppedFiles(UiServices &ui, FileChannel &channel, SiteSink &list, const QStringList &paths);

/// "Save Sites As Text File".
void saveListAsTextFile(UiServices &ui, FileDialogs &dialogs, FileChannel &channel,
                        const SiteListModel &list);

} // namespace zd
