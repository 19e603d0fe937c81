// Feeds arbitrary text through the label analyser with every language on, over
// the bundled catalogue. Besides no crash and no sanitizer report: each row at
// most once and within the catalogue, and the same answer for the same text.

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsdatamodel.h"
#include "label/vslabelanalyser.h"
#include "label/vslabelvocabulary.h"

#include <QSet>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
vsDataModel *catalogue = nullptr;
vsLabelAnalyser *analyser = nullptr;

[[noreturn]] void fail(const char *what, const QString &text)
{
    std::fprintf(stderr, "%s for: %s\n", what, text.toUtf8().constData());
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    catalogue = new vsDataModel;
    vsCatalogueLoader::loadFolder(QStringLiteral(VESTRION_FUZZ_DATA), catalogue);
    if (catalogue->rowCount() == 0) {
        std::fprintf(stderr, "no catalogue in %s\n", VESTRION_FUZZ_DATA);
        std::abort();
    }
    analyser = new vsLabelAnalyser(catalogue, vsLabelVocabulary::labelLanguages());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const QVector<int> rows = analyser->analyse(text);
    QSet<int> seen;
    for (const int row : rows) {
        if (row < 0 || row >= catalogue->rowCount())
            fail("a row outside the catalogue", text);
        if (seen.contains(row))
            fail("a row twice", text);
        seen.insert(row);
    }
    if (analyser->analyse(text) != rows)
        fail("another answer the second time", text);
    return 0;
}
