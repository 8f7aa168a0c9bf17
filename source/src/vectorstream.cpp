#include "tessaron/vectorstream.h"

#include <QIODevice>
#include <QMetaType>

QDataStream &operator<<(QDataStream &stream, const QVector<double> &values)
{
    stream << quint32(values.size());
    // Precision is fixed here so the stored form does not depend on the stream's settings.
    const QDataStream::FloatingPointPrecision precision = stream.floatingPointPrecision();
    stream.setFloatingPointPrecision(QDataStream::DoublePrecision);
    for (double value : values)
        stream << value;
    stream.setFloatingPointPrecision(precision);
    return stream;
}

QDataStream &operator>>(QDataStream &stream, QVector<double> &values)
{
    values.clear();
    quint32 count = 0;
    stream >> count;
    if (stream.status() != QDataStream::Ok)
        return stream;
    QIODevice *device = stream.device();
    if (device && !device->isSequential() && qint64(count) * 8 > device->bytesAvailable()) {
        stream.setStatus(QDataStream::ReadPastEnd);
        return stream;
    }
    const QDataStream::FloatingPointPrecision precision = stream.floatingPointPrecision();
    stream.setFloatingPointPrecision(QDataStream::DoublePrecision);
    QVector<double> read;
    for (quint32 i = 0; i < count; ++i) {
        double value = 0;
        stream >> value;
        if (stream.status() != QDataStream::Ok)
            break;
        read.append(value);
    }
    stream.setFloatingPointPrecision(precision);
    if (stream.status() == QDataStream::Ok)
        values = std::move(read);
    return stream;
}

namespace tessaron {
namespace {
void saveDoubleVector(QDataStream &stream, const void *data)
{
    stream << *static_cast<const QVector<double> *>(data);
}

void loadDoubleVector(QDataStream &stream, void *data)
{
    stream >> *static_cast<QVector<double> *>(data);
}
} // namespace

void registerDoubleVectorStreamOperators()
{
    const int id = qRegisterMetaType<QVector<double>>("QVector<double>");
    QMetaType::registerStreamOperators(id, saveDoubleVector, loadDoubleVector);
}
} // namespace tessaron
