#include "app/core/help.h"

#include "app/core/appinfo.h"
#include "app/core/errorreport.h"
#include "app/core/uiservices.h"

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
