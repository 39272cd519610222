#include "app/indicatorstyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>

#include <cmath>

namespace zd {

namespace {

// WCAG's relative luminance and contrast ratio.
double luminance(const QColor &colour)
{
    const auto channel = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF())
           + 0.0722 * channel(colour.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

QColor mixed(const QColor &ink, const QColor &back, double inkShare)
{
    const auto channel = [&](float i, float b) {
        return double(i) * inkShare + double(b) * (1.0 - inkShare);
    };
    return QColor::fromRgbF(float(channel(ink.redF(), back.redF())),
                            float(channel(ink.greenF(), back.greenF())),
                            float(channel(ink.blueF(), back.blueF())));
}

// The outline for a control on \a palette's window: the text's colour
// softened towards the window as far as 3:1 allows.
QColor indicatorOutline(const QPalette &palette)
{
    const QColor back = palette.color(QPalette::Window);
    const QColor ink = palette.color(QPalette::WindowText);
    // Softer than the text, as desktops draw outlines; a little above 3:1
    // for the rounding of antialiased edges.
    for (const double share : {0.55, 0.7, 0.85}) {
        const QColor outline = mixed(ink, back, share);
        if (contrast(outline, back) >= 3.3)
            return outline;
    }
    return ink;
}

} // namespace

void IndicatorStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                   const QWidget *widget) const
{
    if (element != PE_IndicatorRadioButton && element != PE_IndicatorCheckBox) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const QPalette &palette = option->palette;
    const bool enabled = option->state & State_Enabled;
    const bool on = option->state & State_On;
    const QColor outline =
        enabled ? indicatorOutline(palette) : palette.color(QPalette::Disabled, QPalette::WindowText);
    const qreal side = qMin(option->rect.width(), option->rect.height()) - 1.0;
    QRectF box(0, 0, side, side);
    box.moveCenter(QRectF(option->rect).center());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(QPen(outline, 1.0));
    painter->setBrush(palette.brush(option->state & State_Sunken ? QPalette::Button : QPalette::Base));
    const QColor mark = palette.color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::Text);
    if (element == PE_IndicatorRadioButton) {
        painter->drawEllipse(box);
        if (on) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(mark);
            painter->drawEllipse(box.center(), side / 4, side / 4);
        }
    } else {
        painter->drawRoundedRect(box, side / 8, side / 8);
        if (on) {
            QPainterPath tick;
            tick.moveTo(box.left() + side * 0.22, box.top() + side * 0.52);
            tick.lineTo(box.left() + side * 0.42, box.top() + side * 0.72);
            tick.lineTo(box.left() + side * 0.78, box.top() + side * 0.3);
            painter->setPen(QPen(mark, qMax(1.5, side / 7), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter->setBrush(Qt::NoBrush);
            painter->drawPath(tick);
        }
    }
    painter->restore();
}

} // namespace zd
