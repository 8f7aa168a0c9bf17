// The histogram views' parameter files: any text loads to a list of entries or a message,
// never half a list; what loads saves to a text that loads again to the same entries.
//
// Input: the file's bytes.

#include "fuzz_input.h"

#include "parameterfile.h"

#include <QString>

int fuzz_parameter_file(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const paramfile::Parsed parsed = paramfile::parse(text);
    if (!parsed.ok) {
        FUZZ_CHECK(!parsed.error.isEmpty());
        FUZZ_CHECK(parsed.entries.isEmpty());
        return 0;
    }
    // Saved and loaded again, the keys of the file keep their values.
    const paramfile::Parsed again = paramfile::parse(paramfile::toText(parsed.entries));
    FUZZ_CHECK(again.ok);
    FUZZ_CHECK(again.entries.size() == parsed.entries.size());
    for (int i = 0; i < parsed.entries.size(); ++i) {
        const QVariantMap before = parsed.entries[i].toMap();
        const QVariantMap after = again.entries[i].toMap();
        for (const QString &key : paramfile::keys()) {
            const QVariant value = before.value(key);
            const int type = value.userType();
            if (!before.contains(key) || (type != QMetaType::QString && type != QMetaType::Bool && type != QMetaType::Double))
                continue;
            FUZZ_CHECK(after.contains(key));
            if (type == QMetaType::Double)
                FUZZ_CHECK(after.value(key).toDouble() == value.toDouble());
            else
                FUZZ_CHECK(after.value(key) == value);
        }
    }
    return 0;
}
