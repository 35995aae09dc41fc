#include <QFile>
#include <QImage>
#include <QTest>

#include "app/icons.h"

using namespace tessvale;

// The window icon is drawn from the same SVG file that the desktop shows for the
// installed program, built into the program's resources.
class AppIconTest : public QObject
{
    Q_OBJECT

private slots:
    void iconComesFromTheInstalledArtwork()
    {
        QFile resource(QStringLiteral(":/tessvale/tessvale.svg"));
        QVERIFY(resource.open(QIODevice::ReadOnly));
        QFile shipped(QStringLiteral(TESSVALE_SOURCE_DIR "/res/linux/tessvale.svg"));
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        QCOMPARE(resource.readAll(), shipped.readAll());
    }

    void iconIsDrawnAtEverySize()
    {
        const QIcon icon = AppIcon();
        QVERIFY(!icon.isNull());
        for (int size : {16, 32, 48, 256}) {
            const QImage image = icon.pixmap(size, size).toImage();
            QCOMPARE(image.size(), QSize(size, size));
            // The blue disc fills the middle; the corners stay transparent.
            const QColor middle = image.pixelColor(size / 4, size / 2);
            QVERIFY2(middle.alpha() == 255 && middle.blue() > middle.red() + 60,
                     qPrintable(QStringLiteral("%1: %2").arg(size).arg(middle.name(QColor::HexArgb))));
            QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        }
    }
};

QTEST_MAIN(AppIconTest)
#include "app_icon_test.moc"
