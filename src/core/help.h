#pragma once

#include <QString>

namespace zd {

class UiServices;

QString helpMessage();
/// "Help": one message with the contact page.
void showHelp(UiServices &ui);

} // namespace zd
