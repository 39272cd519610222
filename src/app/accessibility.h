#pragma once

#include <QRadioButton>

namespace zd {

/// An option button. Its group's exclusiveness is kept by the choices, not
/// by Qt (a group may have nothing selected), so screen readers learn from
/// this class that it is a radio button all the same.
class OptionButton final : public QRadioButton
{
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;
};

/// Teaches Qt's accessibility how the window's own controls read: the site
/// list as a list named after its header, with one item per row (its text,
/// whether it is selected, whether it has the focus), and option buttons
/// as radio buttons. Rows get their interfaces only when asked for, so a
/// list of millions costs nothing until it is read. Safe to call again.
void installAccessibility();

} // namespace zd
