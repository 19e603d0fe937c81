#ifndef VESTRION_LABEL_VSLABELANALYSER_H
#define VESTRION_LABEL_VSLABELANALYSER_H

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

class QAbstractItemModel;
class vsLabelCodes;
class vsLabelNames;
namespace vsOcrTolerance {
class Words;
}

// Finds the additives an ingredient list names: codes in any of the spellings
// printed on labels (E330, Е 330, e-330, E160a(ii), E500ii, INS 471, and bare
// numbers after a class word: "acidity regulator (330, 331)") and names of
// the catalogue (Russian and English) and of the vocabularies of the chosen
// languages, inflected, also when they share a head word ("яблочная и
// молочная кислоты"). Names match only whole; a word OCR misread counts as
// the vocabulary's word it is nearest to, within a name read right. What the
// label denies ("без консервантов", "MSG free", "ohne Farbstoffe") and what
// is no ingredient list (nutrition, "may contain") is not reported.
class vsLabelAnalyser
{
public:
    // Longer texts are read up to here: far more than any label holds.
    static constexpr int maxTextLength = 1 << 20;

    // Reads and prepares the catalogue's names and the vocabularies of the
    // languages (ISO 639-1 codes; unknown ones are left out), once. Analysis
    // only reads what was prepared, so one analyser serves any number of
    // threads at once.
    explicit vsLabelAnalyser(const QAbstractItemModel *catalogue,
                             const QStringList &languages = QStringList());
    ~vsLabelAnalyser();
    vsLabelAnalyser(const vsLabelAnalyser &) = delete;
    vsLabelAnalyser &operator=(const vsLabelAnalyser &) = delete;

    // Catalogue rows of the additives the text names, in order of their first
    // mention, each once.
    QVector<int> analyse(const QString &text) const;

private:
    void prepare(const QAbstractItemModel *catalogue, const QStringList &languages);

    std::unique_ptr<vsLabelCodes> codes;
    std::vector<std::unique_ptr<vsLabelNames>> tables; // Russian and English first
    std::unique_ptr<vsOcrTolerance::Words> latinWords;
    std::unique_ptr<vsOcrTolerance::Words> cyrillicWords;
    QVector<QString> numbers; // row -> the number of its code
};

#endif
