#include "catalogue/vsboundedinflate.h"

#include <zlib.h>

#include <algorithm>

namespace {
// The smallest first allocation; the output grows from there by doubling.
constexpr qint64 initialCapacity = 64 * 1024;
// Deflate never expands one input byte into more than 1032 output bytes.
constexpr qint64 maxDeflateRatio = 1032;

struct InflateStream
{
    z_stream z{};
    bool open = false;
    InflateStream() { open = inflateInit(&z) == Z_OK; }
    ~InflateStream()
    {
        if (open)
            inflateEnd(&z);
    }
    InflateStream(const InflateStream &) = delete;
    InflateStream &operator=(const InflateStream &) = delete;
};
} // namespace

QByteArray vsBoundedUncompress(const QByteArray &payload, qint64 maxSize)
{
    if (payload.size() <= 4 || maxSize < 0)
        return QByteArray();

    const auto *bytes = reinterpret_cast<const uchar *>(payload.constData());
    const quint32 claimed =
        (quint32(bytes[0]) << 24) | (quint32(bytes[1]) << 16) | (quint32(bytes[2]) << 8) | quint32(bytes[3]);
    if (qint64(claimed) > maxSize)
        return QByteArray();

    InflateStream stream;
    if (!stream.open)
        return QByteArray();
    z_stream &z = stream.z;
    z.next_in = const_cast<Bytef *>(bytes + 4);
    z.avail_in = uInt(payload.size() - 4);

    // An honest header saves the regrowing; a lying one is believed no further
    // than the stream could possibly produce, nor past the bound.
    const qint64 possible = std::max(initialCapacity, (qint64(payload.size()) - 4) * maxDeflateRatio);
    QByteArray out;
    out.resize(int(std::clamp<qint64>(claimed, 1, std::max<qint64>(1, std::min(possible, maxSize)))));
    qint64 produced = 0;

    for (;;) {
        if (produced == out.size()) {
            if (out.size() >= maxSize) {
                // Full at the bound: accept only a stream that ends right here.
                Bytef probe = 0;
                z.next_out = &probe;
                z.avail_out = 1;
                const int status = inflate(&z, Z_NO_FLUSH);
                if (status == Z_STREAM_END && z.avail_out == 1)
                    break;
                return QByteArray();
            }
            out.resize(int(std::min<qint64>(qint64(out.size()) * 2, maxSize)));
        }
        z.next_out = reinterpret_cast<Bytef *>(out.data() + produced);
        z.avail_out = uInt(out.size() - produced);
        const int status = inflate(&z, Z_NO_FLUSH);
        produced = out.size() - z.avail_out;
        if (produced > maxSize)
            return QByteArray();
        if (status == Z_STREAM_END)
            break;
        if (status == Z_OK || (status == Z_BUF_ERROR && z.avail_out == 0))
            continue;
        // Corrupt data, a preset dictionary, or input that ends before the stream does.
        return QByteArray();
    }
    out.resize(int(produced));
    return out;
}

struct vsBoundedInflater::Stream : InflateStream
{
};

vsBoundedInflater::vsBoundedInflater(const QByteArray &payload, qint64 maxSize)
    : stream(new Stream), input(payload), maxSize(maxSize)
{
    if (payload.size() <= 4 || maxSize < 0 || !stream->open) {
        state = Broken;
        return;
    }
    stream->z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.constData() + 4));
    stream->z.avail_in = uInt(input.size() - 4);
}

vsBoundedInflater::~vsBoundedInflater() = default;

QByteArray vsBoundedInflater::read(int size)
{
    if (state != Reading || size <= 0)
        return QByteArray();
    z_stream &z = stream->z;
    QByteArray out(int(std::min<qint64>(size, maxSize - produced)), Qt::Uninitialized);
    if (out.isEmpty()) {
        // Full at the bound: the document is whole only if the stream ends right
        // here. One more byte means it goes on, even if it ends just after.
        Bytef probe = 0;
        z.next_out = &probe;
        z.avail_out = 1;
        const int status = inflate(&z, Z_NO_FLUSH);
        state = z.avail_out == 0 || status == Z_OK ? AtTheBound : status == Z_STREAM_END ? Finished : Broken;
        return QByteArray();
    }
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    int status = Z_OK;
    while (z.avail_out > 0 && status == Z_OK)
        status = inflate(&z, Z_NO_FLUSH);
    const int length = out.size() - int(z.avail_out);
    produced += length;
    if (status == Z_STREAM_END)
        state = Finished;
    else if (status != Z_OK && !(status == Z_BUF_ERROR && z.avail_out == 0))
        state = Broken; // corrupt data, a preset dictionary, or input that ends first
    out.resize(length);
    return out;
}
