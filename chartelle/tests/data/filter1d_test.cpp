#include "recordingplotter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

void countSignal(Filter1D &filter, void (Filter1D::*signal)(), int *counter)
{
    QObject::connect(&filter, signal, [counter] { ++*counter; });
}

TEST(Filter1D, UnchangedDataStopsAtTheNodeButNaNIsAlwaysNew)
{
    Filter1D filter;
    RecordingPlotter plotter("p");
    filter.addPlotter(&plotter);
    int changes = 0;
    countSignal(filter, &Filter1D::dataChanged, &changes);

    filter.setData({1.0, 2.0, 3.0});
    filter.setData(QVector<double>{1.0, 2.0, 3.0});  // separate storage, same values
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(plotter.received, (QVector<double>{1.0, 2.0, 3.0}));

    const double nan = std::numeric_limits<double>::quiet_NaN();
    filter.setData(QVector<double>{1.0, nan});
    filter.setData(QVector<double>{1.0, nan});
    EXPECT_EQ(changes, 3);

    // The very same vector shares its storage with the node's data: nothing to pass on.
    const QVector<double> shared = filter.data();
    filter.setData(shared);
    EXPECT_EQ(changes, 3);

    filter.setData({});
    filter.setData({});
    EXPECT_EQ(changes, 4);
    EXPECT_TRUE(plotter.received.isEmpty());
}

TEST(Filter1D, PropagatesToChildrenThenPlottersThenSignals)
{
    QStringList log;
    Filter1D root;
    RecordingFilter child("child", &log);
    RecordingPlotter first("p1", &log);
    RecordingPlotter second("p2", &log);
    root.addFilter(&child);
    root.addPlotter(&first);
    root.addPlotter(&second);
    QObject::connect(&root, &Filter1D::dataChanged, [&log] { log.append("root.dataChanged"); });
    log.clear();

    root.setData({4.0, 5.0});
    EXPECT_EQ(log, (QStringList{"child.data", "p1.data", "p2.data", "root.dataChanged"}));
    EXPECT_EQ(child.data(), (QVector<double>{4.0, 5.0}));
    EXPECT_EQ(second.received, (QVector<double>{4.0, 5.0}));
}

TEST(Filter1D, AddingAChildHandsOverIdAreaAndDataOnceInThatOrder)
{
    QStringList log;
    Filter1D root;
    root.setDataID("histogram");
    root.setArea(QRectF(0, 0, 10, 0));
    root.setData({1.0, 2.0});
    RecordingFilter child("child", &log);

    root.addFilter(&child);
    root.addFilter(&child);
    EXPECT_EQ(log, (QStringList{"child.id", "child.area", "child.data"}));
    EXPECT_EQ(child.dataID(), QStringLiteral("histogram"));
    EXPECT_EQ(child.area(), QRectF(0, 0, 10, 0));
    EXPECT_EQ(child.data(), (QVector<double>{1.0, 2.0}));
    EXPECT_EQ(child.originalData(), root.data());

    // Removal stops propagation but keeps the parent link; an absent node changes nothing.
    root.removeFilter(&child);
    root.removeFilter(&child);
    log.clear();
    root.setData({7.0});
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(child.originalData(), (QVector<double>{7.0}));

    root.addFilter(nullptr);
    root.addFilter(&root);
    root.setData({8.0});
}

TEST(Filter1D, AddingAPlotterGivesAreaThenData)
{
    QStringList log;
    Filter1D root;
    root.setArea(QRectF(1, 0, 4, 2));
    root.setData({3.0});
    RecordingPlotter plotter("p", &log);
    root.addPlotter(&plotter);
    root.addPlotter(&plotter);
    EXPECT_EQ(log, (QStringList{"p.area", "p.data"}));
    EXPECT_EQ(root.plotters().size(), 1);

    root.removePlotter(&plotter);
    EXPECT_TRUE(root.plotters().isEmpty());
    root.setData({9.0});
    EXPECT_EQ(plotter.dataCalls, 1);
}

TEST(Filter1D, AreaGoesDownTheTreeWithinTolerance)
{
    Filter1D root;
    Filter1D child;
    RecordingPlotter plotter("p");
    root.addFilter(&child);
    child.addPlotter(&plotter);
    int areaChanges = 0;
    countSignal(root, &Filter1D::areaChanged, &areaChanges);
    QVector<double> childData{1.0};
    child.setData(childData);
    int childDataChanges = 0;
    countSignal(child, &Filter1D::dataChanged, &childDataChanges);

    root.setArea(QRectF(0, 0, 1e9, 5));
    EXPECT_EQ(areaChanges, 1);
    EXPECT_EQ(child.area(), QRectF(0, 0, 1e9, 5));
    EXPECT_EQ(plotter.area, QRectF(0, 0, 1e9, 5));

    root.setArea(QRectF(0, 0, 1e9 * (1 + 1e-14), 5));
    EXPECT_EQ(areaChanges, 1);
    root.setArea(QRectF(0, 0, 1e9 * (1 + 1e-9), 5));
    EXPECT_EQ(areaChanges, 2);
    // Areas do not recompute data.
    EXPECT_EQ(childDataChanges, 0);
}

TEST(Filter1D, DataIdIsAFreshBracedUuidAndStaysWithTheNode)
{
    Filter1D a;
    Filter1D b;
    EXPECT_NE(a.dataID(), b.dataID());
    EXPECT_TRUE(a.dataID().startsWith('{') && a.dataID().endsWith('}'));
    int changes = 0;
    countSignal(a, &Filter1D::dataIDChanged, &changes);
    a.addFilter(&b);
    a.setDataID("x");
    a.setDataID("x");
    EXPECT_EQ(changes, 1);
    EXPECT_NE(b.dataID(), QStringLiteral("x"));
}

TEST(Filter1D, IndexValueAndBarLookups)
{
    Filter1D filter;
    filter.setArea(QRectF(10, 0, 8, 0));  // four bins of width 2, no height
    filter.setData({5.0, -1.0, 7.0, 2.0});

    EXPECT_EQ(filter.index_at(10.0), 0);
    EXPECT_EQ(filter.index_at(12.9), 1);
    EXPECT_EQ(filter.index_at(13.0), 2);  // halves round away from zero
    EXPECT_EQ(filter.index_at(18.0), 3);  // the right edge is the last bin
    EXPECT_EQ(filter.index_at(9.99), -1);
    EXPECT_EQ(filter.index_at(18.01), -1);
    EXPECT_DOUBLE_EQ(filter.value_at(14.0), 7.0);

    EXPECT_EQ(filter.area_at(QPointF(16.2, 3.0)), QRectF(16, 0, 2, 2.0));
    EXPECT_TRUE(filter.area_at(QPointF(30, 0)).isNull());

    // An area above the x axis does not contain (x, 0).
    filter.setArea(QRectF(10, 1, 8, 5));
    EXPECT_EQ(filter.index_at(14.0), -1);

    Filter1D empty;
    empty.setArea(QRectF(0, 0, 1, 1));
    EXPECT_EQ(empty.index_at(0.5), -1);
    EXPECT_TRUE(empty.area_at(QPointF(0.5, 0)).isNull());
}

TEST(Filter1D, MaxInCoversTheBinsTouchedAndNeverGoesBelowZero)
{
    Filter1D filter;
    filter.setArea(QRectF(0, 0, 10, 0));
    filter.setData({1.0, 9.0, 3.0, 4.0, 2.0, -5.0, -6.0, 8.0, 0.5, 7.0});

    EXPECT_DOUBLE_EQ(filter.max_in(QRectF(0, 0, 10, 1)), 9.0);
    EXPECT_DOUBLE_EQ(filter.max_in(QRectF(2.5, 0, 2, 1)), 4.0);   // bins 2..4
    EXPECT_DOUBLE_EQ(filter.max_in(QRectF(1.5, 0, 0.2, 1)), 9.0);  // inside one bin
    EXPECT_DOUBLE_EQ(filter.max_in(QRectF(5, 0, 2, 1)), 0.0);      // only negative values
    EXPECT_DOUBLE_EQ(filter.max_in(QRectF(20, 0, 5, 1)), 0.0);     // outside the area
    EXPECT_DOUBLE_EQ(filter.max_in(QRectF(-100, -1, 1000, 2)), 9.0);

    Filter1D empty;
    empty.setArea(QRectF(0, 0, 10, 0));
    EXPECT_DOUBLE_EQ(empty.max_in(QRectF(0, 0, 10, 1)), 0.0);
}

TEST(Filter1D, DestroyedNodesAndPlottersLeaveNoDanglingEntries)
{
    Filter1D root;
    auto child = std::make_unique<Filter1D>();
    auto plotter = std::make_unique<RecordingPlotter>("p");
    root.addFilter(child.get());
    root.addPlotter(plotter.get());
    child.reset();
    plotter.reset();
    EXPECT_TRUE(root.plotters().isEmpty());
    root.setData({1.0, 2.0});  // would touch freed objects otherwise

    QStringList log;
    RecordingFilter orphan("orphan", &log);
    {
        Filter1D parent;
        parent.setData({3.0});
        parent.addFilter(&orphan);
        EXPECT_EQ(orphan.originalData(), (QVector<double>{3.0}));
    }
    orphan.setData({4.0});
    EXPECT_EQ(orphan.originalData(), (QVector<double>{4.0}));
}

} // namespace
