#pragma once
// Settings-stream form of "QVector<double>": a 32-bit count, then every value as a 64-bit
// double. Reading a damaged stream stops at the first error and leaves the vector empty; a
// count larger than the stream can hold is refused before anything is allocated.

#include <QDataStream>
#include <QVector>

QDataStream &operator<<(QDataStream &stream, const QVector<double> &values);
QDataStream &operator>>(QDataStream &stream, QVector<double> &values);

namespace tessaron {
// Registers the operators above for the metatype "QVector<double>", so QVariant (and with it
// the settings store) can save and load such vectors. Safe to call more than once.
void registerDoubleVectorStreamOperators();
} // namespace tessaron
