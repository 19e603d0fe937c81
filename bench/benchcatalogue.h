#ifndef VESTRION_BENCH_BENCHCATALOGUE_H
#define VESTRION_BENCH_BENCHCATALOGUE_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <map>
#include <memory>

namespace vsBench {

// One catalogue laid out as the program finds it: a folder holding a copy of
// the program and a data/ folder of packed files.
struct Catalogue
{
    QString label;          // "100k x 10", "bundled", "empty"
    QString folder;         // the copy of the program lives here
    QString dataFolder;     // folder/data
    QString program;        // folder/vestrion
    int entries = 0;        // rows the loader must yield, headers included
    int files = 0;          // packed files in data/
    qint64 xmlBytes = 0;    // all documents, decompressed
    QVector<QString> codes; // every row's code in load order
};

// The generated catalogues' last row carries this code and no row before it
// contains it, so searching for it scans every row; absentCode matches no row.
constexpr char lastRowCode[] = "E9999";
constexpr char absentCode[] = "E9998";

// Makes catalogues on first use and keeps them, in a temporary folder, until
// it is destroyed. Generated entries draw each attribute value from the
// bundled catalogue's sources, so lengths, letters and missing attributes
// follow their distribution; group titles come at the bundled rate.
class CatalogueFactory
{
public:
    // sourceFolder holds the bundled *.xml sources, packedFolder the packed
    // files the build made from them, program the built executable.
    CatalogueFactory(const QString &sourceFolder, const QString &packedFolder, const QString &program);
    ~CatalogueFactory();

    // Empty when the factory is usable; otherwise what is wrong.
    QString error() const { return problem; }

    // Null when the catalogue could not be made; error() then says why.
    const Catalogue *empty();
    const Catalogue *bundled();
    // The same entries for every file count: only their split differs.
    const Catalogue *generated(int entries, int files);

    static QString labelFor(int entries, int files);

private:
    struct Pools;

    static QString keyFor(int entries, int files);
    Catalogue *prepare(const QString &key, const QString &label);
    bool writeFile(Catalogue *catalogue, const QString &name, const QByteArray &bytes);

    QTemporaryDir root;
    QString packedFolder;
    QString program;
    QString problem;
    std::unique_ptr<Pools> pools;
    std::map<QString, std::unique_ptr<Catalogue>> made;
};

} // namespace vsBench

#endif
