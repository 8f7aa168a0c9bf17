#pragma once
// The parameter file of the histogram views: a JSON array with one object per histogram,
// keys in the order "name", "refPolarity", "refCH", "measPolarity", "measCH", "leftBound",
// "rightBound", "binWidth", "refreshPeriod", pretty-printed with an indent of 4 spaces.
// Pure functions; any thread.

#include <QString>
#include <QVariantList>
#include <QVariantMap>

namespace paramfile {

// The keys of one entry, in file order.
const QStringList &keys();

// Text of the file for these entries (maps with the keys above; missing keys are left out).
QString toText(const QVariantList &entries);

struct Parsed {
    bool ok = false;
    QString error;          // what was wrong, when not ok
    QVariantList entries;   // the objects of the array, in file order
};
// Anything but a JSON array of objects is refused and yields no entries.
Parsed parse(const QString &text);

// The path a save dialog writes to: folder + "/" + name, with "." + extension appended unless
// the name already ends with it ("a." gets only the extension).
QString savePath(const QString &folder, const QString &name, const QString &extension);

} // namespace paramfile
