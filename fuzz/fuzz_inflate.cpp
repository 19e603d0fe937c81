// The bounded inflate against qUncompress. An input is within a bound when
// both its size header and its output fit; then both give the same bytes (or
// both nothing). Past the bound the bounded one gives nothing. The larger of
// header and output decides two more bounds: the exact fit and one byte less.

#include "catalogue/vsboundedinflate.h"

#include <QByteArray>
#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
// qUncompress allocates what the size header claims, so claims above this are
// only given to the bounded inflate.
constexpr qint64 bound = 1024 * 1024;
// Longer inputs could make qUncompress's doubling reach gigabytes.
constexpr size_t maxInput = 64 * 1024;

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

void require(bool condition, const char *what, int expected, int actual)
{
    if (condition)
        return;
    std::fprintf(stderr, "bounded inflate differs (%s): expected %d bytes, got %d\n", what, expected, actual);
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > maxInput)
        return 0;
    const QByteArray payload = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const QByteArray bounded = vsBoundedUncompress(payload, bound);

    // Read piece by piece, the same stream gives the same bytes up to the
    // bound, whatever its size header says, and its end is told apart from the bound.
    vsBoundedInflater inflater(payload, bound);
    QByteArray pieces;
    for (int piece = 1; inflater.status() == vsBoundedInflater::Reading; piece = piece * 3 % 9973 + 1)
        pieces += inflater.read(piece);
    if (!bounded.isEmpty()) {
        require(pieces == bounded && inflater.status() == vsBoundedInflater::Finished, "read in pieces",
                bounded.size(), pieces.size());
    }
    require(pieces.size() <= bound, "pieces within the bound", int(bound), pieces.size());
    if (inflater.status() == vsBoundedInflater::AtTheBound)
        require(pieces.size() == bound, "stopped at the bound", int(bound), pieces.size());
    if (size >= 4 && qFromBigEndian<quint32>(data) > bound) {
        require(bounded.isEmpty(), "claim over the bound", 0, bounded.size());
        return 0;
    }
    const QByteArray expected = qUncompress(payload);
    if (expected.size() > bound) {
        require(bounded.isEmpty(), "output over the bound", 0, bounded.size());
        require(inflater.status() == vsBoundedInflater::AtTheBound, "longer stream at the bound", int(bound),
                pieces.size());
        return 0;
    }
    require(bounded == expected, "within the bound", expected.size(), bounded.size());
    if (!expected.isEmpty()) {
        const qint64 fit = std::max<qint64>(expected.size(), qFromBigEndian<quint32>(data));
        const QByteArray exact = vsBoundedUncompress(payload, fit);
        require(exact == expected, "exact bound", expected.size(), exact.size());
        const QByteArray under = vsBoundedUncompress(payload, fit - 1);
        require(under.isEmpty(), "one byte under", 0, under.size());
    }
    return 0;
}
