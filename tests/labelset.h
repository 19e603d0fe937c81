#ifndef VESTRION_TESTS_LABELSET_H
#define VESTRION_TESTS_LABELSET_H

#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

// The ingredient lists of tests/data/labels, shared by the label tests, the
// tool's tests and the benchmark.
namespace vsLabelSet {

struct Label
{
    QString name;      // file name without .txt
    QStringList codes; // the additives it names
    QString text;      // the list as printed
};

// Every label of the folder, in file name order; empty if none can be read.
QVector<Label> load(const QString &folder);

// The text as a photographed label: black on an off-white card, width pixels
// wide, turned by degrees, with speckle noise from a fixed seed.
QImage render(const QString &text, int width, double degrees, int noisePercent);

// Recall and precision of found codes against the expected ones, summed over a set.
struct Score
{
    int expected = 0;
    int found = 0;
    int correct = 0;
    void add(const QStringList &expectedCodes, const QStringList &foundCodes);
    double recall() const { return expected ? double(correct) / expected : 1.0; }
    double precision() const { return found ? double(correct) / found : 1.0; }
};

} // namespace vsLabelSet

#endif
