// The chart components' number formatting and axis tick arithmetic, evaluated by a QML engine
// from the module folder (no window, nothing drawn).
#include <QQmlComponent>
#include <QQmlEngine>
#include <QFile>
#include <QScopedPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The components are copied apart from the module's qmldir, so that the engine does not load
// the plugin library beside the test's own copy of the chart classes.
const QString &componentDir()
{
    static QTemporaryDir dir;
    static bool copied = false;
    if (!copied) {
        copied = true;
        for (const char *name : {"utils.js", "LinearXAxis.qml", "LinearYAxis.qml"}) {
            const QString n = QString::fromLatin1(name);
            QFile::copy(QStringLiteral(CHARTELLE_QML_DIR "/") + n, dir.filePath(n));
        }
    }
    static const QString path = dir.path();
    return path;
}

QObject *create(QQmlEngine &engine, const QByteArray &qml)
{
    QQmlComponent component(&engine);
    component.setData(qml, QUrl::fromLocalFile(componentDir() + QStringLiteral("/Test.qml")));
    QObject *object = component.create();
    if (!object)
        ADD_FAILURE() << qPrintable(component.errorString());
    return object;
}

}  // namespace

TEST(ChartComponents, NumbersAreFormattedWithUnits)
{
    QQmlEngine engine;
    QScopedPointer<QObject> o(create(engine, R"(
import QtQuick 2.15
import "utils.js" as U
QtObject {
    property string ns: U.format_time(2.5e-9)
    property string ps: U.format_time(-3.25e-12, 1)
    property string zero: U.format_time(1e-19)
    property string seconds: U.format_time(12.345)
    property string num: U.format_num(4.5e-6)
    property string kilo: U.format_event(1500)
    property string giga: U.format_event(2.5e9)
    property string small: U.format_event(12)
    property real bounded: U.bound(7, 0, 5)
}
)"));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->property("ns").toString(), "2.50 ns");
    EXPECT_EQ(o->property("ps").toString(), "-3.3 ps");
    EXPECT_EQ(o->property("zero").toString(), "0");
    EXPECT_EQ(o->property("seconds").toString(), "12.35 s");
    EXPECT_EQ(o->property("num").toString(), "4.50e-6");
    EXPECT_EQ(o->property("kilo").toString(), "1.50K");
    EXPECT_EQ(o->property("giga").toString(), "2.50G");
    EXPECT_EQ(o->property("small").toString(), "12.00");
    EXPECT_EQ(o->property("bounded").toDouble(), 5.0);
}

TEST(ChartComponents, AxisTicksArePowerOfTwoMultiplesOfAPowerOfAThousand)
{
    QQmlEngine engine;
    QScopedPointer<QObject> o(create(engine, R"(
import QtQuick 2.15
LinearXAxis {
    width: 700
    rectArea: Qt.rect(1e-9, 0, 2.5e-9, 1)
}
)"));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->property("maxNumTick").toInt(), 10);
    EXPECT_DOUBLE_EQ(o->property("minDxTick").toDouble(), 1e-9);
    EXPECT_DOUBLE_EQ(o->property("dxTick").toDouble(), 0.25e-9);
    EXPECT_DOUBLE_EQ(o->property("offset").toDouble(), 1e-9);
    EXPECT_EQ(o->property("tickCount").toInt(), 10);

    QScopedPointer<QObject> y(create(engine, R"(
import QtQuick 2.15
LinearYAxis {
    height: 300
    rectArea: Qt.rect(0, 0, 1, 1500)
}
)"));
    ASSERT_TRUE(y);
    EXPECT_EQ(y->property("maxNumYTicks").toInt(), 6);
    EXPECT_DOUBLE_EQ(y->property("minDyTick").toDouble(), 1000.0);
    EXPECT_DOUBLE_EQ(y->property("dyTicks").toDouble(), 250.0);
    EXPECT_EQ(y->property("tickCount").toInt(), 6);
}
