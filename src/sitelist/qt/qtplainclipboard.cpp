#include "sitelist/qt/qtplainclipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace zd {

namespace {

// Plain text kept as the UTF-8 bytes it is offered in: a paste by another
// program gets these very bytes (shared, not copied), however long the
// list; text in another form is made only if this program asks for it.
class Utf8Text final : public QMimeData
{
public:
    explicit Utf8Text(QByteArray utf8) : m_utf8(std::move(utf8)) {}
    QStringList formats() const override { return {QStringLiteral("text/plain")}; }
    bool hasFormat(const QString &mimeType) const override { return mimeType == QLatin1String("text/plain"); }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override
    {
        if (mimeType != QLatin1String("text/plain"))
            return {};
        if (type.id() == QMetaType::QString)
            return QString::fromUtf8(m_utf8);
        return m_utf8;
    }

private:
    QByteArray m_utf8;
};

} // namespace

bool QtPlainClipboard::ownsText() const
{
    return QGuiApplication::clipboard()->ownsClipboard();
}

bool QtPlainClipboard::clear()
{
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    return true;
}

bool QtPlainClipboard::setText(const QByteArray &utf8)
{
    // The clipboard owns it and deletes it once another program's copy
    // takes its place: the text's memory goes with it.
    QGuiApplication::clipboard()->setMimeData(new Utf8Text(utf8), QClipboard::Clipboard);
    return true;
}

QString QtPlainClipboard::readText()
{
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

} // namespace zd
