// The data path's tests need an application object: the decimator follows real chart
// items (Qt Quick items, never shown here) and the data sources run on Qt timers. A core
// application is enough, since nothing is drawn or shown.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
