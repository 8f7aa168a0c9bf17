#include "data/scsvreader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

class SCSVReaderTest : public ::testing::Test
{
protected:
    QString write(const QString &name, const QByteArray &contents)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
        return path;
    }

    QTemporaryDir dir;
};

TEST_F(SCSVReaderTest, LoadsOneValuePerLineOverTheBinWidth)
{
    SCSVReader reader;
    int areaChanges = 0;
    QObject::connect(&reader, &Filter1D::areaChanged, [&areaChanges] { ++areaChanges; });
    reader.setFile(write("good.csv", "1.5\n-2\n3e2\r\n  4  \n"));
    EXPECT_EQ(reader.data(), (QVector<double>{1.5, -2, 300, 4}));
    EXPECT_DOUBLE_EQ(reader.area().width(), 4 * 9.375e-12);
    EXPECT_EQ(reader.area().left(), 0.0);
    EXPECT_EQ(areaChanges, 1);
    EXPECT_TRUE(reader.errorString().isEmpty());
    // Filters read bins over an area without height.
    EXPECT_EQ(reader.index_at(3.5 * 9.375e-12), 3);
}

TEST_F(SCSVReaderTest, NonNumbersReadAsZeroAndAreReported)
{
    SCSVReader reader;
    reader.setFile(write("mixed.csv", "1\nx\n3\n"));
    EXPECT_EQ(reader.data(), (QVector<double>{1, 0, 3}));
    EXPECT_DOUBLE_EQ(reader.area().width(), 2.8125e-11);
    EXPECT_TRUE(reader.errorString().contains("line 2")) << reader.errorString().toStdString();

    // A trailing empty line is one more empty bin, and no fault.
    reader.setFile(write("trailing.csv", "1\n2\n\n"));
    EXPECT_EQ(reader.data(), (QVector<double>{1, 2, 0}));
    EXPECT_TRUE(reader.errorString().isEmpty());
}

TEST_F(SCSVReaderTest, AnUnreadableFileIsReportedAndKeepsTheData)
{
    SCSVReader reader;
    reader.setFile(write("first.csv", "5\n6\n"));
    const QRectF area = reader.area();
    int changes = 0;
    QObject::connect(&reader, &Filter1D::dataChanged, [&changes] { ++changes; });
    int errors = 0;
    QObject::connect(&reader, &SCSVReader::errorStringChanged, [&errors] { ++errors; });

    reader.setFile(dir.filePath("missing.csv"));
    EXPECT_EQ(reader.file(), dir.filePath("missing.csv"));
    EXPECT_TRUE(reader.errorString().contains("missing.csv"));
    EXPECT_EQ(errors, 1);
    reader.setFile(dir.path());
    EXPECT_TRUE(reader.errorString().contains("folder"));
    EXPECT_EQ(reader.data(), (QVector<double>{5, 6}));
    EXPECT_EQ(reader.area(), area);
    EXPECT_EQ(changes, 0);

    // The next good file clears the report.
    reader.setFile(write("again.csv", "7\n"));
    EXPECT_TRUE(reader.errorString().isEmpty());
    EXPECT_EQ(reader.data(), (QVector<double>{7}));
}

TEST_F(SCSVReaderTest, BinWidthAppliesFromTheNextLoadAndUrlsAreAccepted)
{
    SCSVReader reader;
    const QString path = write("w.csv", "1\n2\n");
    reader.setFile(path);
    int widthChanges = 0;
    QObject::connect(&reader, &SCSVReader::binWidthChanged, [&widthChanges] { ++widthChanges; });
    reader.setBinWidth(1.0);
    reader.setBinWidth(1.0 + 1e-15);
    EXPECT_EQ(widthChanges, 1);
    EXPECT_DOUBLE_EQ(reader.area().width(), 2 * 9.375e-12);

    reader.setFile(QUrl::fromLocalFile(path).toString());
    EXPECT_TRUE(reader.errorString().isEmpty());
    EXPECT_DOUBLE_EQ(reader.area().width(), 2.0);
}

} // namespace
