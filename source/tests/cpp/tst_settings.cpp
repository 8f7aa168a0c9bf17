// The settings store as QML uses it, the vector-of-doubles stream form, and the key layout of
// the model configuration.
#include <QBuffer>
#include <QSettings>
#include <QtTest>

#include <algorithm>
#include <cstring>

#include "plugin-contract/moduleobject.h"
#include "fakeplugin.h"
#include "testmain.h"
#include "tessaron/modelconfiguration.h"
#include "tessaron/settings.h"
#include "tessaron/vectorstream.h"

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QSettings().clear();
    }

    void defaultsOfMissingKeys()
    {
        Settings settings;
        QCOMPARE(settings.doubleValue("missing"), 1.0);
        QCOMPARE(settings.boolValue("missing"), true);
        QCOMPARE(settings.intValue("missing"), 0);
        QVERIFY(!settings.value("missing").isValid());
        QCOMPARE(settings.doubleValue("missing", 2.5), 2.5);
        QCOMPARE(settings.boolValue("missing", false), false);
        QCOMPARE(settings.intValue("missing", 7), 7);
    }

    void storedValuesReadBackTyped()
    {
        {
            Settings settings;
            settings.setValue("n", 42);
            settings.setValue("x", 0.25);
            settings.setValue("flag", false);
        }
        Settings settings;
        QCOMPARE(settings.intValue("n"), 42);
        QCOMPARE(settings.doubleValue("x"), 0.25);
        QCOMPARE(settings.boolValue("flag"), false);
        QVERIFY(settings.contains("n"));
        settings.clear();
        QVERIFY(settings.allKeys().isEmpty());
    }

    void cursorKeepsGroupAndArrayPosition()
    {
        Settings settings;
        settings.beginGroup("mainWindow");
        settings.beginGroup("onConnection");
        settings.beginWriteArray("views");
        for (int i = 0; i < 3; ++i) {
            settings.setArrayIndex(i);
            settings.setValue("title", QStringLiteral("v%1").arg(i));
        }
        settings.endArray();
        settings.endGroup();
        QCOMPARE(settings.childGroups(), QStringList{"onConnection"});
        settings.endGroup();

        QSettings raw;
        QCOMPARE(raw.value("mainWindow/onConnection/views/size").toInt(), 3);
        QCOMPARE(raw.value("mainWindow/onConnection/views/2/title").toString(), QString("v1"));

        Settings reader;
        reader.beginGroup("mainWindow/onConnection");
        QCOMPARE(reader.beginReadArray("views"), 3);
        reader.setArrayIndex(2);
        QCOMPARE(reader.value("title").toString(), QString("v2"));
        QCOMPARE(reader.childKeys(), QStringList{"title"});
        reader.endArray();
        reader.endGroup();
    }

    void doubleVectorStreamForm()
    {
        const QVector<double> values = {1.5, -2.0, 1e-300, 0.0};
        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out.setFloatingPointPrecision(QDataStream::SinglePrecision);   // ignored on purpose
            out << values;
        }
        QCOMPARE(bytes.size(), 4 + 4 * 8);
        QCOMPARE(bytes.left(4), QByteArray::fromHex("00000004"));
        QDataStream in(bytes);
        QVector<double> read = {9.0};
        in >> read;
        QCOMPARE(in.status(), QDataStream::Ok);
        QCOMPARE(read, values);
    }

    void damagedStreamReadsEmpty_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray good;
        {
            QDataStream out(&good, QIODevice::WriteOnly);
            out << QVector<double>{1.0, 2.0, 3.0};
        }
        QTest::newRow("cut in a value") << good.left(good.size() - 3);
        QTest::newRow("cut in the count") << good.left(2);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("huge count") << QByteArray::fromHex("ffffffff") + good.mid(4);
    }
    void damagedStreamReadsEmpty()
    {
        QFETCH(QByteArray, bytes);
        QDataStream in(bytes);
        QVector<double> read = {7.0};
        in >> read;
        QVERIFY(in.status() != QDataStream::Ok);
        QVERIFY(read.isEmpty());
    }

    // A pipe or socket cannot say in advance how much is left: the vector is read value by
    // value, and one that ends early must still give nothing rather than its first values.
    void damagedSequentialStreamReadsEmpty()
    {
        // Hands out its bytes once, front to back, like a pipe.
        struct Pipe : QIODevice {
            explicit Pipe(QByteArray data) : bytes(std::move(data)) {}
            bool isSequential() const override { return true; }
            qint64 bytesAvailable() const override { return bytes.size() - at + QIODevice::bytesAvailable(); }
            qint64 readData(char *out, qint64 max) override
            {
                const qint64 n = std::min<qint64>(max, bytes.size() - at);
                if (n <= 0)
                    return -1;
                std::memcpy(out, bytes.constData() + at, size_t(n));
                at += n;
                return n;
            }
            qint64 writeData(const char *, qint64) override { return -1; }
            QByteArray bytes;
            qint64 at = 0;
        };
        QByteArray good;
        {
            QDataStream out(&good, QIODevice::WriteOnly);
            out << QVector<double>{1.0, 2.0, 3.0};
        }
        Pipe pipe(good.left(good.size() - 3));
        QVERIFY(pipe.open(QIODevice::ReadOnly));
        QDataStream in(&pipe);
        QVector<double> read = {7.0};
        in >> read;
        QCOMPARE(in.status(), QDataStream::ReadPastEnd);
        QVERIFY(read.isEmpty());

        Pipe whole(good);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        QDataStream again(&whole);
        again >> read;
        QCOMPARE(read, (QVector<double>{1.0, 2.0, 3.0}));
    }

    void doubleVectorSurvivesTheStore()
    {
        Settings settings;   // registers the stream form
        const QVector<double> voltages = {0.1, 0.2, -0.3};
        settings.setValue("dacVoltages", QVariant::fromValue(voltages));
        settings.setValue("empty", QVariant::fromValue(QVector<double>{}));
        QSettings().sync();
        QSettings reader;
        QCOMPARE(reader.value("dacVoltages").value<QVector<double>>(), voltages);
        QCOMPARE(reader.value("dacVoltages").userType(), qMetaTypeId<QVector<double>>());
        QVERIFY(reader.value("empty").value<QVector<double>>().isEmpty());
    }

    void modelConfigurationKeyLayout()
    {
        FakePlugin counter("Counter", {0x10});
        FakePlugin other("Other", {0x20});
        ModuleObject counterObject(&counter);
        ModuleObject otherObject(&other);
        QObject backend;
        FakeModule m1(0x10), m2(0x10);
        auto *first = new FakeModel(&m1, &backend);
        auto *second = new FakeModel(&m2, &backend);
        first->setGain(2.5);
        second->setGain(-1.0);
        counterObject.appendModel(first);
        counterObject.appendModel(second);

        QSettings store;
        tessaron::saveModelConfiguration(store, {&counterObject, &otherObject});
        store.sync();
        QCOMPARE(store.value("pluginModels/Counter/size").toInt(), 2);
        QCOMPARE(store.value("pluginModels/Counter/1/modelUUID").toString(), first->modelUUID());
        QCOMPARE(store.value("pluginModels/Counter/2/modelUUID").toString(), second->modelUUID());
        QCOMPARE(store.value("pluginModels/Counter/1/gain").toDouble(), 2.5);
        QCOMPARE(store.value("pluginModels/Counter/2/gain").toDouble(), -1.0);
        QCOMPARE(store.value("pluginModels/Other/size").toInt(), 0);

        // New models after a reconnection take the stored identifiers and values by position;
        // a third model finds no element and gets a fresh identifier.
        const QString firstId = first->modelUUID();
        const QString secondId = second->modelUUID();
        counterObject.takeModels();
        FakeModule m3(0x10);
        auto *a = new FakeModel(&m1, &backend);
        auto *b = new FakeModel(&m2, &backend);
        auto *c = new FakeModel(&m3, &backend);
        for (auto *model : {a, b, c})
            counterObject.appendModel(model);
        QVERIFY(tessaron::loadModelConfiguration(store, {&counterObject, &otherObject}));
        QCOMPARE(a->modelUUID(), firstId);
        QCOMPARE(b->modelUUID(), secondId);
        QCOMPARE(a->gain(), 2.5);
        QCOMPARE(b->gain(), -1.0);
        QVERIFY(c->modelUUID() != firstId && c->modelUUID() != secondId);
        QVERIFY(!c->modelUUID().isEmpty());
        QCOMPARE(c->gain(), 0.0);
    }

    void unknownStoredKeyWarnsAndStaysDynamic()
    {
        QSettings store;
        store.setValue("pluginModels/Counter/size", 1);
        store.setValue("pluginModels/Counter/1/modelUUID", "{00000000-0000-0000-0000-000000000001}");
        store.setValue("pluginModels/Counter/1/bogus", 5);
        FakePlugin counter("Counter", {0x10});
        ModuleObject counterObject(&counter);
        QObject backend;
        FakeModule module(0x10);
        auto *model = new FakeModel(&module, &backend);
        counterObject.appendModel(model);
        QTest::ignoreMessage(QtWarningMsg, "Property \"bogus\" not found.");
        QVERIFY(tessaron::loadModelConfiguration(store, {&counterObject}));
        QCOMPARE(model->modelUUID(), QString("{00000000-0000-0000-0000-000000000001}"));
        QCOMPARE(model->property("bogus").toInt(), 5);
    }

    void emptyStoreLoadsNothing()
    {
        QSettings store;
        FakePlugin counter("Counter", {0x10});
        ModuleObject counterObject(&counter);
        QObject backend;
        FakeModule module(0x10);
        auto *model = new FakeModel(&module, &backend);
        counterObject.appendModel(model);
        const QString id = model->modelUUID();
        QVERIFY(!tessaron::loadModelConfiguration(store, {&counterObject}));
        QCOMPARE(model->modelUUID(), id);
        QVERIFY(QRegularExpression("^\\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\}$")
                    .match(id).hasMatch());
    }
};

TESSARON_TEST_MAIN(QCoreApplication, SettingsTest)
#include "tst_settings.moc"
