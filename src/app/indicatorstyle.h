#pragma once

#include <QProxyStyle>

namespace zd {

/// Draws radio buttons' and check boxes' indicators with an outline that
/// stands 3:1 or more from the window behind them, checked or not, in any
/// theme: some styles' outlines do not (Fusion's on a white window about
/// 2:1, Windows' dark mode's about 1.2:1). Everything else is the style's.
class IndicatorStyle final : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override;
};

} // namespace zd
