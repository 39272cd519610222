#include "core/help.h"

#include "core/appinfo.h"
#include "core/errorreport.h"
#include "core/uiservices.h"

namespace zd {

QString helpMessage()
{
    return QStringLiteral("Questions? Please contact Team Quillmoor at ") + kContactPage;
}

void showHelp(UiServices &ui)
{
    Procedure procedure(ui, locationTag(QStringLiteral("Form1"), QStringLiteral("PushButton9_Click")));
    procedure.step(100, [&] { ui.messageBox(helpMessage()); });
}

} // namespace zd
