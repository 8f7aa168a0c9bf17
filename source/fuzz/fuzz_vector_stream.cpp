// The settings store's stream form of number lists, read from damaged or foreign settings:
// directly, and as a QVariant the way the settings store loads values. A read either fails
// and leaves the list empty, or yields a list that writes back to the same bytes; nothing is
// allocated for counts the stream cannot hold.
//
// Input: a flag byte (bit 0: through QVariant; bit 1: a sequential device), then the stream.

#include "fuzz_input.h"

#include "tessaron/vectorstream.h"

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QVariant>

#include <algorithm>
#include <cstring>


namespace {

// A device that reads like a pipe: no size known in advance.
class Pipe : public QIODevice {
public:
    explicit Pipe(const QByteArray &bytes) : bytes_(bytes) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 max) override
    {
        const qint64 n = std::min<qint64>(max, bytes_.size() - at_);
        std::memcpy(data, bytes_.constData() + at_, std::size_t(n));
        at_ += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const QByteArray bytes_;
    qint64 at_ = 0;
};

// Whether the bytes start as a QVariant of a user type: the user tag, the null flag, then a
// name that resolves to a registered user type.
bool namesUserType(const QByteArray &bytes)
{
    QDataStream peek(bytes);
    quint32 tag = 0;
    qint8 isNull = 0;
    QByteArray name;
    peek >> tag >> isNull >> name;
    return peek.status() == QDataStream::Ok && tag == quint32(QMetaType::User) &&
           QMetaType::type(name.constData()) >= int(QMetaType::User);
}

} // namespace

int fuzz_vector_stream(const std::uint8_t *data, std::size_t size)
{
    static const bool registered = (tessaron::registerDoubleVectorStreamOperators(), true);
    (void)registered;

    fuzz::input in(data, size);
    const unsigned flags = in.byte();
    const auto rest = in.rest();
    QByteArray bytes(reinterpret_cast<const char *>(rest.data()), int(rest.size()));

    QBuffer plain(&bytes);
    Pipe sequential(bytes);
    QIODevice &device = (flags & 2) ? static_cast<QIODevice &>(sequential) : plain;
    FUZZ_CHECK(device.open(QIODevice::ReadOnly));
    QDataStream stream(&device);

    QVector<double> values{1.0, 2.0};
    if (flags & 1) {
        // Values of Qt's own types are read by Qt's code, not ours: only a user type's tag
        // followed by the name of a user type leads to the reader under test. The name alone
        // is not enough: a user tag may name one of Qt's types ("QList<QVariant>"), whose
        // reader takes the count the stream claims.
        if (!namesUserType(bytes))
            return 0;
        QVariant variant;
        stream >> variant;
        if (stream.status() != QDataStream::Ok || variant.userType() != qMetaTypeId<QVector<double>>())
            return 0;
        values = variant.value<QVector<double>>();
    } else {
        stream >> values;
        if (stream.status() != QDataStream::Ok) {
            FUZZ_CHECK(values.isEmpty());
            return 0;
        }
    }
    // What was read is what the bytes say: written again, it is the same count and bits.
    QByteArray written;
    {
        QDataStream out(&written, QIODevice::WriteOnly);
        out << values;
    }
    FUZZ_CHECK(written.size() == 4 + 8 * values.size());
    if (!(flags & 1))
        FUZZ_CHECK(bytes.startsWith(written));
    return 0;
}
