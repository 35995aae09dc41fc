#include "app/icons.h"

#include <cmath>
#include <functional>
#include <initializer_list>

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSvgRenderer>

#include "app/logic/command_ids.h"

namespace tessvale {
namespace {

using Painter = std::function<void(QPainter&)>;

// One transparent pixmap for each size, painted by `paint` (which gets the size).
QIcon Pixmaps(std::initializer_list<int> sizes, const std::function<void(QPainter&, int)>& paint)
{
    QIcon icon;
    for (int size : sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(painter, size);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// Draws in a 32 x 32 design space at every size an icon is shown in.
QIcon Render(const Painter& paint)
{
    return Pixmaps({16, 24, 32, 48, 64}, [&](QPainter& painter, int size) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 32.0, size / 32.0);
        paint(painter);
    });
}

// The closed polygon through the points.
QPainterPath Outline(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    for (const QPointF& point : points) {
        if (path.elementCount() == 0) {
            path.moveTo(point);
        } else {
            path.lineTo(point);
        }
    }
    path.closeSubpath();
    return path;
}

QColor Shade(const QColor& color, int factor)
{
    return factor >= 100 ? color.lighter(factor) : color.darker(200 - factor);
}

void Disc(QPainter& p, const QPointF& centre, double radius, const QColor& color)
{
    QRadialGradient gradient(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    gradient.setColorAt(0, Shade(color, 150));
    gradient.setColorAt(1, color);
    p.setPen(QPen(Shade(color, 60), 1.2));
    p.setBrush(gradient);
    p.drawEllipse(centre, radius, radius);
}

void Monitor(QPainter& p, const QColor& screen)
{
    p.setPen(QPen(QColor(0x37, 0x47, 0x4f), 1.5));
    p.setBrush(QColor(0x54, 0x6e, 0x7a));
    p.drawRoundedRect(QRectF(3, 5, 26, 18), 2.5, 2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(screen);
    p.drawRect(QRectF(5.5, 7.5, 21, 13));
    p.setBrush(QColor(0x54, 0x6e, 0x7a));
    p.drawRect(QRectF(13, 23, 6, 4));
    p.drawRoundedRect(QRectF(9, 26.5, 14, 2.5), 1, 1);
}

void Document(QPainter& p)
{
    const QPainterPath page = Outline({{7, 3}, {20, 3}, {26, 9}, {26, 29}, {7, 29}});
    p.setPen(QPen(QColor(0x60, 0x7d, 0x8b), 1.4));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setBrush(QColor(0xcf, 0xd8, 0xdc));
    const QPainterPath fold = Outline({{20, 3}, {20, 9}, {26, 9}});
    p.drawPath(fold);
    p.setPen(QPen(QColor(0x90, 0xa4, 0xae), 1.5));
    for (double y : {13.0, 17.0, 21.0}) {
        p.drawLine(QPointF(10, y), QPointF(23, y));
    }
}

void Start(QPainter& p)
{
    Disc(p, QPointF(16, 16), 13, QColor(0x2e, 0x9d, 0x4f));
    const QPainterPath play = Outline({{12.5, 9.5}, {23, 16}, {12.5, 22.5}});
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(play);
}

void Stop(QPainter& p)
{
    Disc(p, QPointF(16, 16), 13, QColor(0xc6, 0x3b, 0x32));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(11, 11, 10, 10), 1.5, 1.5);
}

void AutoScan(QPainter& p)
{
    Disc(p, QPointF(16, 16), 13, QColor(0x1e, 0x7b, 0xc4));
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QRectF arc(9, 9, 14, 14);
    p.drawArc(arc, 30 * 16, 140 * 16);
    p.drawArc(arc, 210 * 16, 140 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const QPainterPath head1 = Outline({{22.8, 8.8}, {23.6, 15.2}, {17.6, 13.0}});
    p.drawPath(head1);
    const QPainterPath head2 = Outline({{9.2, 23.2}, {8.4, 16.8}, {14.4, 19.0}});
    p.drawPath(head2);
}

void Settings(QPainter& p)
{
    const QColor steel(0x60, 0x7d, 0x8b);
    p.setPen(Qt::NoPen);
    p.setBrush(steel);
    p.translate(16, 16);
    for (int i = 0; i < 8; ++i) {
        p.drawRoundedRect(QRectF(-2.6, -14, 5.2, 7), 1.2, 1.2);
        p.rotate(45);
    }
    p.setBrush(steel);
    p.drawEllipse(QPointF(0, 0), 10, 10);
    p.setBrush(QColor(0xec, 0xef, 0xf1));
    p.drawEllipse(QPointF(0, 0), 4.2, 4.2);
    p.translate(-16, -16);
}

void Favorites(QPainter& p)
{
    QPainterPath star;
    for (int i = 0; i < 10; ++i) {
        const double angle = (-90 + i * 36) * 3.14159265358979 / 180;
        const double radius = i % 2 == 0 ? 14 : 6;
        const QPointF point(16 + radius * std::cos(angle), 17 + radius * std::sin(angle));
        if (i == 0) {
            star.moveTo(point);
        } else {
            star.lineTo(point);
        }
    }
    star.closeSubpath();
    QLinearGradient gradient(0, 3, 0, 30);
    gradient.setColorAt(0, QColor(0xff, 0xd5, 0x4f));
    gradient.setColorAt(1, QColor(0xf5, 0x9e, 0x0b));
    p.setPen(QPen(QColor(0xc7, 0x7c, 0x02), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(gradient);
    p.drawPath(star);
}

void SaveAs(QPainter& p)
{
    Document(p);
    Disc(p, QPointF(23, 23), 7, QColor(0x1e, 0x7b, 0xc4));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(19.5, 23), QPointF(26, 23));
    p.drawLine(QPointF(23.5, 20.2), QPointF(26.3, 23));
    p.drawLine(QPointF(23.5, 25.8), QPointF(26.3, 23));
}

void Save(QPainter& p)
{
    const QColor body(0x1e, 0x5a, 0x9c);
    const QPainterPath disk = Outline({{4, 4}, {24, 4}, {28, 8}, {28, 28}, {4, 28}});
    p.setPen(QPen(Shade(body, 60), 1.2));
    p.setBrush(body);
    p.drawPath(disk);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xe3, 0xf2, 0xfd));
    p.drawRect(QRectF(8, 4.8, 14, 8.5));
    p.setBrush(body);
    p.drawRect(QRectF(17, 6, 3, 6));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(8, 17, 16, 10), 1, 1);
    p.setPen(QPen(QColor(0xb0, 0xbe, 0xc5), 1));
    p.drawLine(QPointF(10, 20.5), QPointF(22, 20.5));
    p.drawLine(QPointF(10, 23.5), QPointF(22, 23.5));
}

} // namespace

QIcon AppIcon()
{
    // The same artwork the desktop shows for the installed program.
    static const QIcon icon = [] {
        QSvgRenderer renderer(QStringLiteral(":/tessvale/tessvale.svg"));
        return Pixmaps({16, 24, 32, 48, 64, 128, 256}, [&](QPainter& painter, int) { renderer.render(&painter); });
    }();
    return icon;
}

QIcon StatusIcon(int image)
{
    static const QIcon answered = Render([](QPainter& p) {
        Disc(p, QPointF(16, 16), 12, QColor(0x2e, 0xa0, 0x4f));
        p.setPen(QPen(Qt::white, 3.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        QPainterPath tick;
        tick.moveTo(10, 16.5);
        tick.lineTo(14.5, 21);
        tick.lineTo(22, 11.5);
        p.drawPath(tick);
    });
    static const QIcon silent = Render([](QPainter& p) {
        Disc(p, QPointF(16, 16), 12, QColor(0x9e, 0xa7, 0xad));
        p.setPen(QPen(Qt::white, 3.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10.5, 16), QPointF(21.5, 16));
    });
    return image == 0 ? answered : silent;
}

QIcon ChooserIcon(bool stored)
{
    static const QIcon adapter = Render([](QPainter& p) { Monitor(p, QColor(0x4f, 0xc3, 0xf7)); });
    static const QIcon result = Render([](QPainter& p) {
        p.setPen(QPen(QColor(0xc7, 0x8a, 0x12), 1.4));
        p.setBrush(QColor(0xf9, 0xc7, 0x4f));
        const QPainterPath folder = Outline({{3, 8}, {12, 8}, {15, 11}, {29, 11}, {29, 27}, {3, 27}});
        p.drawPath(folder);
        p.setBrush(QColor(0xff, 0xe0, 0x82));
        p.drawRect(QRectF(3, 14, 26, 13));
    });
    return stored ? result : adapter;
}

QIcon ToolbarIcon(int commandId)
{
    static const QIcon start = Render(Start);
    static const QIcon autoScan = Render(AutoScan);
    static const QIcon stop = Render(Stop);
    static const QIcon settings = Render(Settings);
    static const QIcon favorites = Render(Favorites);
    static const QIcon saveAs = Render(SaveAs);
    static const QIcon save = Render(Save);
    switch (commandId) {
    case kIdStart:
        return start;
    case kIdAutoScan:
        return autoScan;
    case kIdStop:
        return stop;
    case kIdSettings:
        return settings;
    case kIdFavorites:
        return favorites;
    case kIdSaveAs:
        return saveAs;
    case kIdSave:
        return save;
    default:
        return {};
    }
}

QIcon PromptIcon()
{
    static const QIcon icon = Render([](QPainter& p) {
        Disc(p, QPointF(16, 16), 14, QColor(0x1e, 0x7b, 0xc4));
        QFont font;
        font.setBold(true);
        font.setPixelSize(20);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, QStringLiteral("?"));
    });
    return icon;
}

} // namespace tessvale
