#include "parameterfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLocale>

#include <cmath>

namespace paramfile {

const QStringList &keys()
{
    static const QStringList list{QStringLiteral("name"),         QStringLiteral("refPolarity"),
                                  QStringLiteral("refCH"),        QStringLiteral("measPolarity"),
                                  QStringLiteral("measCH"),       QStringLiteral("leftBound"),
                                  QStringLiteral("rightBound"),   QStringLiteral("binWidth"),
                                  QStringLiteral("refreshPeriod")};
    return list;
}

namespace {
// JSON text of a value as it appears in the file: texts quoted, numbers in the shortest form
// that reads back to the same double.
QString valueText(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::QString: {
        // QJsonDocument does the quoting and escaping of the text.
        const QByteArray doc = QJsonDocument(QJsonArray{value.toString()}).toJson(QJsonDocument::Compact);
        return QString::fromUtf8(doc.mid(1, doc.size() - 2));
    }
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default: {
        const double v = value.toDouble();
        if (!std::isfinite(v))
            return QStringLiteral("null");
        if (v == std::floor(v) && std::fabs(v) < 1e15)
            return QString::number(qint64(v));
        return QString::number(v, 'g', QLocale::FloatingPointShortest);
    }
    }
}
} // namespace

QString toText(const QVariantList &entries)
{
    // Written by hand rather than through QJsonDocument, which sorts the keys of an object.
    if (entries.isEmpty())
        return QStringLiteral("[\n]\n");
    QString out = QStringLiteral("[\n");
    for (int e = 0; e < entries.size(); ++e) {
        const QVariantMap entry = entries[e].toMap();
        out += QStringLiteral("    {\n");
        QStringList lines;
        for (const QString &key : keys()) {
            if (!entry.contains(key))
                continue;
            lines.append(QStringLiteral("        \"") + key + QStringLiteral("\": ") + valueText(entry.value(key)));
        }
        out += lines.join(QStringLiteral(",\n"));
        out += QStringLiteral("\n    }");
        out += e + 1 < entries.size() ? QStringLiteral(",\n") : QStringLiteral("\n");
    }
    out += QStringLiteral("]\n");
    return out;
}

Parsed parse(const QString &text)
{
    Parsed result;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError) {
        result.error = error.errorString() + QStringLiteral(" at offset ") + QString::number(error.offset);
        return result;
    }
    if (!doc.isArray()) {
        result.error = QStringLiteral("the file does not hold a list of histograms");
        return result;
    }
    const QJsonArray array = doc.array();
    for (const QJsonValue &value : array) {
        if (!value.isObject()) {
            result.error = QStringLiteral("an entry of the list is not a histogram's parameters");
            result.entries.clear();
            return result;
        }
        result.entries.append(value.toObject().toVariantMap());
    }
    result.ok = true;
    return result;
}

QString savePath(const QString &folder, const QString &name, const QString &extension)
{
    QString file = name;
    if (file.endsWith(QLatin1Char('.')))
        file += extension;
    else if (!file.endsWith(QLatin1Char('.') + extension))
        file += QLatin1Char('.') + extension;
    return folder + QLatin1Char('/') + file;
}

} // namespace paramfile
