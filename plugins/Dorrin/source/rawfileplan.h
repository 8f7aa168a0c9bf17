#pragma once
// The pure rules of a recording: which channels and edges it captures and what its files are
// called. No state, no threads.

#include <QString>
#include <QVector>

#include "tdc/dorrin.h"

namespace rawfileplan {

// Channels of `rising` on rising edges, of `falling` on falling edges, both when in both
// lists. The sync channel 0 is never taken on its falling edge.
Dorrin::ChannelMap channelMap(const QVector<uint> &rising, const QVector<uint> &falling);

// `name` with `extension` appended unless it already ends with it (case matters); with
// `split`, "{:d}" (the file number) before the last "." of the name, or at its end.
QString fileName(const QString &name, const QString &extension, bool split);

} // namespace rawfileplan
