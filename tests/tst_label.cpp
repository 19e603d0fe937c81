// The label reader: additives found in ingredient lists by code and by name,
// over the written label set and over single spellings and traps.

#include "labelset.h"
#include "testsupport.h"

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsdatamodel.h"
#include "detail/vsdatadisplay.h"
#include "label/vslabelanalyser.h"
#include "label/vslabelreader.h"
#include "label/vslabelvocabulary.h"
#include "label/vslanguagebutton.h"
#include "label/vsocr.h"
#include "label/vsocrlayout.h"
#include "label/vsocrprepare.h"
#include "label/vspictureview.h"
#include "mainwindow/vsmainwindow.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>

#include <QTemporaryDir>
#include <QtTest>

#include <leptonica/allheaders.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {
const QString tool = QStringLiteral(VESTRION_BUILD_DIR "/vestrion-label");

using Run = vsTest::CommandRun;

Run runTool(const QStringList &args, const QByteArray &input = QByteArray())
{
    return vsTest::runCommand(tool, args, input);
}

QStringList codesOfLines(const QByteArray &out)
{
    QStringList codes;
    for (const QByteArray &line : out.split('\n'))
        if (!line.isEmpty())
            codes << QString::fromUtf8(line.left(line.indexOf('\t')));
    return codes;
}

QVector<vsLabelSet::Label> labelSet()
{
    return vsLabelSet::load(QStringLiteral(VESTRION_TEST_DATA_DIR "/labels"));
}

// A finger or the mouse drawn over the widget, pressed all the way.
void drag(QWidget *widget, const QPoint &from, const QPoint &to)
{
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, from);
    for (int step = 1; step <= 4; ++step) {
        const QPoint at = from + (to - from) * step / 4;
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, to);
}

// The codes of the rows a view shows, in order.
QStringList codesShown(const QListView *view)
{
    QStringList shown;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        shown << view->model()->index(row, 0).data(vsDataModel::CodeRole).toString();
    return shown;
}
} // namespace

class tst_label : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void labelSet_recallAndPrecision();
    void labelSet_everyLanguage();
    void codes_everySpelling_data();
    void codes_everySpelling();
    void names_wholeAndInflected_data();
    void names_wholeAndInflected();
    void denials_data();
    void denials();
    void analyse_fromSeveralThreads();
    void result_orderOfFirstMention();
    void badInput_definedResult();
    void realPhotoList_readAndScored();
    void tool_labelSetAsText();
    void tool_engineThreadsLimitedFromStart();
    void tool_badInput_data();
    void tool_badInput();
    void tool_restrictions_data();
    void tool_restrictions();
    void pictures_recallAndPrecision();
    void photos_asPhonesTakeThem();
    void ocrLayout_strayMarksAndLetterHeight();
    void window_pasteSeeOpen();
    void window_pictureBesideTextAndPartReadAgain();
    void window_languagesChosenAndRemembered();

private:
    QStringList codesFound(const QString &text) const;

    vsDataModel catalogue;
    std::unique_ptr<vsLabelAnalyser> analyser;
};

QStringList tst_label::codesFound(const QString &text) const
{
    return vsLabelSet::codesFound(*analyser, catalogue, text);
}

void tst_label::initTestCase()
{
    vsTest::isolateWindowTests();
    vsCatalogueLoader::loadFolder(QStringLiteral(VESTRION_BUILD_DIR "/data"), &catalogue);
    QVERIFY(catalogue.rowCount() > 400);
    analyser.reset(new vsLabelAnalyser(&catalogue));
}

void tst_label::labelSet_recallAndPrecision()
{
    const QVector<vsLabelSet::Label> labels =
        vsLabelSet::load(QStringLiteral(VESTRION_TEST_DATA_DIR "/labels"));
    QVERIFY(labels.size() >= 50);
    vsLabelSet::Score russian;
    vsLabelSet::Score english;
    for (const vsLabelSet::Label &label : labels) {
        const QStringList found = codesFound(label.text);
        if (found != label.codes)
            qWarning().noquote() << label.name << "expected" << label.codes.join(QLatin1Char(' ')) << "found"
                                 << found.join(QLatin1Char(' '));
        // A list that names additives only to deny them reports none.
        if (label.name.contains(QLatin1String("denial-trap")))
            QVERIFY2(found.isEmpty(), qPrintable(label.name));
        (label.name.endsWith(QLatin1String("-en")) ? english : russian).add(label.codes, found);
    }
    for (const auto &language : {std::make_pair("Russian", russian), std::make_pair("English", english)}) {
        const vsLabelSet::Score &score = language.second;
        qInfo("%s text: %d expected, %d found, %d correct; recall %.3f, precision %.3f", language.first,
              score.expected, score.found, score.correct, score.recall(), score.precision());
        QVERIFY(score.expected >= 100);
        QVERIFY2(score.recall() >= 0.97, language.first);
        QVERIFY2(score.precision() >= 0.99, language.first);
    }
}

void tst_label::labelSet_everyLanguage()
{
    // Lists written after real packs in each language, read with that
    // language on, and again with every language on: no language may cost
    // another its precision.
    const vsLabelAnalyser everyLanguage(&catalogue, vsLabelVocabulary::labelLanguages());
    for (const QString &language : vsLabelVocabulary::languages()) {
        const QVector<vsLabelSet::Label> labels =
            vsLabelSet::load(QStringLiteral(VESTRION_TEST_DATA_DIR "/labels/") + language);
        QVERIFY2(labels.size() >= 10, qPrintable(language));
        const vsLabelAnalyser analyser(&catalogue, {language});
        vsLabelSet::Score alone, together;
        for (const vsLabelSet::Label &label : labels) {
            const auto codes = [this, &label](const vsLabelAnalyser &reader) {
                QStringList found;
                for (int row : reader.analyse(label.text))
                    found << catalogue.index(row, 0).data(vsDataModel::CodeRole).toString();
                return found;
            };
            const QStringList found = codes(analyser);
            if (found != label.codes)
                qWarning().noquote() << language << label.name << "expected" << label.codes << "found"
                                     << found;
            if (label.name.contains(QLatin1String("denial-trap")))
                QVERIFY2(found.isEmpty(), qPrintable(label.name));
            alone.add(label.codes, found);
            together.add(label.codes, codes(everyLanguage));
        }
        qInfo("%s: %d expected, recall %.3f, precision %.3f; every language on: %.3f, %.3f",
              qPrintable(language), alone.expected, alone.recall(), alone.precision(), together.recall(),
              together.precision());
        QVERIFY2(alone.recall() >= 0.90 && alone.precision() >= 0.98, qPrintable(language));
        QVERIFY2(together.recall() >= 0.90 && together.precision() >= 0.98, qPrintable(language));
    }
    // A vocabulary names only codes the catalogue has, and every line is understood.
    for (const QString &language : vsLabelVocabulary::labelLanguages()) {
        const vsLabelVocabulary vocabulary = vsLabelVocabulary::load(language);
        QVERIFY2(vocabulary.errors.isEmpty(), qPrintable(vocabulary.errors.join(QLatin1Char('\n'))));
        QVERIFY(!vocabulary.functions.isEmpty() || !vocabulary.names.isEmpty());
    }
    // Unknown and damaged lines are reported, not read.
    const vsLabelVocabulary damaged = vsLabelVocabulary::parse(
        QStringLiteral("xx"), QStringLiteral("E330: acidum\nE33: x\nnonsense\nfunction: ; ;\n: y"));
    QCOMPARE(damaged.names.size(), 1);
    QCOMPARE(damaged.errors.size(), 3);
}

void tst_label::codes_everySpelling_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("codes");
    const QStringList e330{QStringLiteral("E330")};
    QTest::newRow("latin") << QStringLiteral("E330") << e330;
    QTest::newRow("cyrillic lower") << QStringLiteral("е330") << e330;
    QTest::newRow("space") << QStringLiteral("Е 330,") << e330;
    QTest::newRow("hyphen") << QStringLiteral("(e-330)") << e330;
    QTest::newRow("broken at line end") << QStringLiteral("кислота Е-\n330") << e330;
    QTest::newRow("letter") << QStringLiteral("E150d") << QStringList{QStringLiteral("E150d")};
    QTest::newRow("cyrillic letter") << QStringLiteral("Е160а") << QStringList{QStringLiteral("E160a")};
    QTest::newRow("cyrillic с") << QStringLiteral("Е150с") << QStringList{QStringLiteral("E150c")};
    QTest::newRow("four digits") << QStringLiteral("E1422") << QStringList{QStringLiteral("E1422")};
    QTest::newRow("unknown letter: the family")
        << QStringLiteral("E463b") << QStringList{QStringLiteral("E463")};
    QTest::newRow("roman") << QStringLiteral("E 450 (iii)") << QStringList{QStringLiteral("E450(iii)")};
    QTest::newRow("unknown roman: the family")
        << QStringLiteral("E101(iii)") << QStringList{QStringLiteral("E101")};
    QTest::newRow("list") << QStringLiteral("Е471,Е472е;E202.")
                          << QStringList{QStringLiteral("E471"), QStringLiteral("E472e"),
                                         QStringLiteral("E202")};
    QTest::newRow("E misread as F after a class word only")
        << QStringLiteral("антислёживающий агент F553, batch F330, glazing agent F 903")
        << QStringList{QStringLiteral("E553a"), QStringLiteral("E553b"), QStringLiteral("E903")};
    QTest::newRow("inside a word") << QStringLiteral("ТЕ330 code330 ве330") << QStringList();
    QTest::newRow("too short, too long") << QStringLiteral("E33 E33000 E9999") << QStringList();
    QTest::newRow("letter starts a word") << QStringLiteral("E330abc") << QStringList();
    QTest::newRow("vitamin E") << QStringLiteral("витамин Е 12 мг") << QStringList();
    QTest::newRow("INS") << QStringLiteral("INS 471, INS420 (INS 330)")
                         << QStringList{QStringLiteral("E471"), QStringLiteral("E420"),
                                        QStringLiteral("E330")};
    QTest::newRow("INS as Latin American packs print it")
        << QStringLiteral("INS N° 950, INS N 955, INS.218, INS #202, INS No. 330")
        << QStringList{QStringLiteral("E950"), QStringLiteral("E955"), QStringLiteral("E218"),
                       QStringLiteral("E202"), QStringLiteral("E330")};
    QTest::newRow("roman without brackets")
        << QStringLiteral("E500ii, E 450 iii, E450iii")
        << QStringList{QStringLiteral("E500(ii)"), QStringLiteral("E450(iii)")};
    QTest::newRow("letter after a space")
        << QStringLiteral("E 472 e") << QStringList{QStringLiteral("E472e")};
    QTest::newRow("O read for 0") << QStringLiteral("E33O, Е2О2")
                                  << QStringList{QStringLiteral("E330"), QStringLiteral("E202")};
    QTest::newRow("letters OCR reads in codes")
        << QStringLiteral("ЕЗЗО, (£300), €472e, Е 450 Ш, Е4511, E1101")
        << QStringList{QStringLiteral("E330"),      QStringLiteral("E300"),    QStringLiteral("E472e"),
                       QStringLiteral("E450(iii)"), QStringLiteral("E451(i)"), QStringLiteral("E1101")};
    QTest::newRow("prices are no codes") << QStringLiteral("£100.50, €1000,5") << QStringList();
    QTest::newRow("family: its members")
        << QStringLiteral("E160b, E 960")
        << QStringList{QStringLiteral("E160b(i)"), QStringLiteral("E160b(ii)"), QStringLiteral("E960a"),
                       QStringLiteral("E960b"),    QStringLiteral("E960c"),     QStringLiteral("E960d")};
    QTest::newRow("family: not a member's members")
        << QStringLiteral("E160")
        << QStringList{QStringLiteral("E160a"), QStringLiteral("E160b(i)"), QStringLiteral("E160b(ii)"),
                       QStringLiteral("E160c"), QStringLiteral("E160d"),    QStringLiteral("E160e"),
                       QStringLiteral("E160f")};
    QTest::newRow("numbers after a function word")
        << QStringLiteral(
               "Acidity regulators (330, 331), preservative: 202, emulsifiers (soy lecithin, 471 from soy)")
        << QStringList{QStringLiteral("E330"), QStringLiteral("E331"), QStringLiteral("E202"),
                       QStringLiteral("E322"), QStringLiteral("E471")};
    QTest::newRow("numbers after a function word out of brackets: only its own list")
        << QStringLiteral("Preservative 202, salt, 330 kJ per serve") << QStringList{QStringLiteral("E202")};
    QTest::newRow("numbers that are no codes")
        << QStringLiteral("Sugar 100 g, salt 3 %, Е-mark 2025, 12.2026, fat 330 kcal, colour 100 mg, lot 471")
        << QStringList();
}

void tst_label::codes_everySpelling()
{
    QFETCH(QString, text);
    QFETCH(QStringList, codes);
    QCOMPARE(codesFound(text), codes);
}

void tst_label::names_wholeAndInflected_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("codes");
    QTest::newRow("inflected") << QStringLiteral("сорбата калия") << QStringList{QStringLiteral("E202")};
    QTest::newRow("genitive plural") << QStringLiteral("лимонной кислоты")
                                     << QStringList{QStringLiteral("E330")};
    QTest::newRow("words swapped") << QStringLiteral("КИСЛОТА ЛИМОННАЯ")
                                   << QStringList{QStringLiteral("E330")};
    QTest::newRow("english") << QStringLiteral("Potassium Sorbate") << QStringList{QStringLiteral("E202")};
    QTest::newRow("ё as е") << QStringLiteral("жёлтый «солнечный закат» FCF")
                            << QStringList{QStringLiteral("E110")};
    QTest::newRow("hyphen at line end")
        << QStringLiteral("ацесуль-\nфам калия") << QStringList{QStringLiteral("E950")};
    QTest::newRow("name hyphen at line end")
        << QStringLiteral("альфа-\nтокоферол") << QStringList{QStringLiteral("E307")};
    QTest::newRow("bracketed part left out")
        << QStringLiteral("сахарный колер III") << QStringList{QStringLiteral("E150c")};
    QTest::newRow("longest name wins")
        << QStringLiteral("натриевые соли лимонной кислоты") << QStringList{QStringLiteral("E331")};
    QTest::newRow("single-word name") << QStringLiteral("мел") << QStringList{QStringLiteral("E170")};
    QTest::newRow("OCR garbled a word") << QStringLiteral("понсо 4К") << QStringList{QStringLiteral("E124")};
    QTest::newRow("garbled alike for two names: neither")
        << QStringLiteral("понсо 3R") << QStringList(); // 4R and 6R are one letter off
    QTest::newRow("a name holding a comma") << QStringLiteral("эфиры глицерина, лимонной и жирных кислот")
                                            << QStringList{QStringLiteral("E472c")};
    QTest::newRow("a word only one name holds")
        << QStringLiteral("неогесперидин дигидрахолкан") << QStringList{QStringLiteral("E959")};
    QTest::newRow("not across a comma") << QStringLiteral("аспартам, ацесульфам калия")
                                        << QStringList{QStringLiteral("E951"), QStringLiteral("E950")};
    QTest::newRow("part of a name") << QStringLiteral("крахмал кукурузный") << QStringList();
    QTest::newRow("word starting like a name") << QStringLiteral("мелкий") << QStringList();
    QTest::newRow("sugar") << QStringLiteral("сахар") << QStringList();
    QTest::newRow("adjective of a name") << QStringLiteral("повидло яблочное") << QStringList();
    QTest::newRow("ordinary food in a name")
        << QStringLiteral("паприка, масло, эмульгатор, white chocolate chips") << QStringList();
    QTest::newRow("shared first word") << QStringLiteral("понсо") << QStringList();
    QTest::newRow("shared head after")
        << QStringLiteral("лимонная, яблочная и молочная кислоты; ascorbic and citric acids")
        << QStringList{QStringLiteral("E330"), QStringLiteral("E296"), QStringLiteral("E270"),
                       QStringLiteral("E300")};
    QTest::newRow("shared head before")
        << QStringLiteral("сорбат калия и натрия, sodium and potassium citrates")
        << QStringList{QStringLiteral("E202"), QStringLiteral("E201"), QStringLiteral("E331"),
                       QStringLiteral("E332")};
    QTest::newRow("a conjunction inside a name is the name's")
        << QStringLiteral("моно- и диглицериды жирных кислот, сахар и соль")
        << QStringList{QStringLiteral("E471")};
    QTest::newRow("latin look-alikes in a russian word")
        << QStringLiteral("эмульгатор MOHO- и диглицериды жирных кислот")
        << QStringList{QStringLiteral("E471")};
    QTest::newRow("latin capitals OCR reads for cyrillic ones")
        << QStringLiteral("КОНСЕРВАНТ COPBAT КАЛИЯ, краситель KAPMUH, куPKYMUH, Dimethy| dicarbonate")
        << QStringList{QStringLiteral("E202"), QStringLiteral("E120"), QStringLiteral("E100"),
                       QStringLiteral("E242")};
    QTest::newRow("cyrillic look-alikes in an english word")
        << QStringLiteral("\u0441itri\u0441 acid") << QStringList{QStringLiteral("E330")};
    QTest::newRow("american spellings") << QStringLiteral("sodium aluminum phosphate, sodium metabisulfite")
                                        << QStringList{QStringLiteral("E541"), QStringLiteral("E223")};
    QTest::newRow("a name derived from a one-word name")
        << QStringLiteral("hydrogenated oil") << QStringList();
    QTest::newRow("a food's name alone")
        << QStringLiteral("мука амарантовая, амарант, карамель, turmeric") << QStringList();
    QTest::newRow("US and UK wordings")
        << QStringLiteral("carob bean gum, sodium acid pyrophosphate, oleoresin paprika, sodium phosphates, "
                          "cellulose gum, mixed tocopherols, bicarbonate of soda")
        << QStringList{QStringLiteral("E410"), QStringLiteral("E450(i)"), QStringLiteral("E160c"),
                       QStringLiteral("E339"), QStringLiteral("E466"),    QStringLiteral("E306"),
                       QStringLiteral("E500")};
    QTest::newRow("a family's common name: its members")
        << QStringLiteral("caramel color, annatto")
        << QStringList{QStringLiteral("E150a"), QStringLiteral("E150b"),    QStringLiteral("E150c"),
                       QStringLiteral("E150d"), QStringLiteral("E160b(i)"), QStringLiteral("E160b(ii)")};
    QTest::newRow("the longer name, not its part")
        << QStringLiteral("mono & diglycerides of fatty acids, ascorbic acid sodium salt")
        << QStringList{QStringLiteral("E471"), QStringLiteral("E301")};
    QTest::newRow("a name without its quotes or letters")
        << QStringLiteral("Желтый солнечный закат, Allura red, Patent Blue")
        << QStringList{QStringLiteral("E110"), QStringLiteral("E129"), QStringLiteral("E131")};
    QTest::newRow("members apart by commas share the head")
        << QStringLiteral("регуляторы кислотности винная, лимонная кислоты")
        << QStringList{QStringLiteral("E334"), QStringLiteral("E330")};
    QTest::newRow("a name split by a comma")
        << QStringLiteral("эмульгатор полиглицерол, полирицинолеат") << QStringList{QStringLiteral("E476")};
    QTest::newRow("ordinary words that hold a name's")
        << QStringLiteral("экстракт бурых водорослей. Пищевая ценность: жиры 20 г, в т.ч. насыщенных жирных "
                          "кислот 16 %")
        << QStringList();
    QTest::newRow("loose letters are no additive")
        << QStringLiteral("i y, I G, P E S, pes, сыр i маслины, Peso netto 500 g") << QStringList();
    QTest::newRow("an abbreviation presented as an additive")
        << QStringLiteral("BHT (preservative), flavour enhancer: I+G, BHA added to preserve freshness, MSG")
        << QStringList{QStringLiteral("E321"), QStringLiteral("E635"), QStringLiteral("E320")};
    QTest::newRow("a word OCR misread, beside one read right")
        << QStringLiteral("xenthon gum, Ammsnium bicarbonate, polysorbote 80")
        << QStringList{QStringLiteral("E415"), QStringLiteral("E503(ii)"), QStringLiteral("E433")};
    // A misread word alone counts within two items of additives read right.
    QTest::newRow("a misread word alone, among additives")
        << QStringLiteral("SORBITOL; SOMALT; MEOTAKE; ASPARTAME")
        << QStringList{QStringLiteral("E420"), QStringLiteral("E953"), QStringLiteral("E961"),
                       QStringLiteral("E951")};
    QTest::newRow("a misread word alone, among foods")
        << QStringLiteral("Sugar, Somalt, Salt, pepper, Meotake") << QStringList();
    // A name presented by its class word is read from its first word when
    // OCR garbled the other, if no other name begins so.
    QTest::newRow("a garbled word in a presented name")
        << QStringLiteral(
               "Silicon vonie (anticaking agent), Potassium xyz (preservative), Silicon vonie, Lactose")
        << QStringList{QStringLiteral("E551")};
    // Four letters are corrected by confusions alone; "!" glued to a word
    // before a lower-case one is an l.
    QTest::newRow("a short word misread, an l read as !")
        << QStringLiteral("pork gum, beef gum, quor gum, carome! color. Enjoy! Salt")
        << QStringList{QStringLiteral("E412"), QStringLiteral("E150a"), QStringLiteral("E150b"),
                       QStringLiteral("E150c"), QStringLiteral("E150d")};
    QTest::newRow("a food's name after its function word")
        << QStringLiteral("краситель карамель, colour (amaranth)")
        << QStringList{QStringLiteral("E150a"), QStringLiteral("E123")};
    QTest::newRow("a food's name after its function word and a colon")
        << QStringLiteral("краситель: карамель; colour: amaranth")
        << QStringList{QStringLiteral("E150a"), QStringLiteral("E123")};
}

void tst_label::denials_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("codes");
    QTest::newRow("не содержит") << QStringLiteral("Продукт не содержит глутамат натрия.") << QStringList();
    QTest::newRow("без, a code") << QStringLiteral("Без E-621 и бензоата натрия!") << QStringList();
    QTest::newRow("free after") << QStringLiteral("MSG free. Gluten and MSG-free") << QStringList();
    QTest::newRow("english openers")
        << QStringLiteral("No added MSG; contains no tartrazine; free from E211; without aspartame")
        << QStringList();
    QTest::newRow("the next sentence is read")
        << QStringLiteral("Без красителей. Состав: молоко, сахар, загуститель пектин")
        << QStringList{QStringLiteral("E440")};
    QTest::newRow("the next list is read") << QStringLiteral("No preservatives\nIngredients: water, E330")
                                           << QStringList{QStringLiteral("E330")};
    QTest::newRow("only its bracket")
        << QStringLiteral("соль (без E536), специи, E330") << QStringList{QStringLiteral("E330")};
    QTest::newRow("an abbreviation does not end it")
        << QStringLiteral("Не содержит консервантов, в т.ч. бензоата натрия") << QStringList();
    QTest::newRow("a denial of no additive ends at its comma")
        << QStringLiteral("сок без мякоти, регулятор кислотности лимонная кислота")
        << QStringList{QStringLiteral("E330")};
    QTest::newRow("a full stop before a digit ends it")
        << QStringLiteral("Без консервантов. 5% сахара, лимонная кислота")
        << QStringList{QStringLiteral("E330")};
    QTest::newRow("free looks back to its comma only")
        << QStringLiteral("citric acid, MSG free") << QStringList{QStringLiteral("E330")};
    QTest::newRow("named again outside it")
        << QStringLiteral("Без E621. Состав: соль, глутамат натрия") << QStringList{QStringLiteral("E621")};
    QTest::newRow("nutrition and traces are no list")
        << QStringLiteral(
               "Состав: сахар, E330.\nПищевая ценность: жиры 20 г (насыщенные жирные кислоты 12 г).\n"
               "Может содержать следы E621.")
        << QStringList{QStringLiteral("E330")};
    QTest::newRow("number is no denial") << QStringLiteral("colour E102 No. 5, E110")
                                         << QStringList{QStringLiteral("E102"), QStringLiteral("E110")};
}

void tst_label::denials()
{
    QFETCH(QString, text);
    QFETCH(QStringList, codes);
    QCOMPARE(codesFound(text), codes);
}

void tst_label::analyse_fromSeveralThreads()
{
    // One prepared analyser, read by several threads at once, gives each what it gives alone.
    const QVector<vsLabelSet::Label> labels = labelSet();
    QVector<QStringList> alone;
    for (const vsLabelSet::Label &label : labels)
        alone << codesFound(label.text);
    std::vector<std::thread> threads;
    std::atomic<int> differing{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int round = 0; round < 5; ++round)
                for (int i = 0; i < labels.size(); ++i)
                    if (codesFound(labels.at(i).text) != alone.at(i))
                        ++differing;
        });
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(differing.load(), 0);
}

void tst_label::names_wholeAndInflected()
{
    QFETCH(QString, text);
    QFETCH(QStringList, codes);
    QCOMPARE(codesFound(text), codes);
}

void tst_label::result_orderOfFirstMention()
{
    QCOMPARE(codesFound(QStringLiteral("сорбат калия, E330, лимонная кислота, Е202, тартразин")),
             (QStringList{QStringLiteral("E202"), QStringLiteral("E330"), QStringLiteral("E102")}));
}

void tst_label::badInput_definedResult()
{
    QCOMPARE(codesFound(QString()), QStringList());
    QCOMPARE(codesFound(QStringLiteral(" \n\t ")), QStringList());
    QCOMPARE(codesFound(QString(QLatin1String("E330\0E202", 9))),
             (QStringList{QStringLiteral("E330"), QStringLiteral("E202")}));
    // Beyond the bound, nothing more is read.
    QString huge(vsLabelAnalyser::maxTextLength, QLatin1Char(' '));
    QCOMPARE(codesFound(QStringLiteral("E100 ") + huge + QStringLiteral(" E202")),
             QStringList{QStringLiteral("E100")});
    // An empty catalogue names nothing.
    vsDataModel empty;
    vsLabelAnalyser none(&empty);
    QVERIFY(none.analyse(QStringLiteral("E330 лимонная кислота")).isEmpty());
}

// The list of real photos the benchmark scores: families, ambiguous and
// out-of-scope codes, and lists that cannot be used.
void tst_label::realPhotoList_readAndScored()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QString error;
    QVERIFY(vsLabelSet::loadPhotos(folder.path(), &error).isEmpty() &&
            error.contains(QLatin1String("photos.json")));
    vsTest::writeRaw(folder.path(), QStringLiteral("photos.json"), R"([{"file": "a.jpg", "lang": "fr",
        "codes": ["E150", "E160b", "E330", "E270", "E450", "E330"], "ambiguous": ["E14xx", "E170"],
        "out_of_scope": ["E270"], "transcript": "x"}, {"file": "b.jpg", "codes": []}])");
    error.clear();
    const QVector<vsLabelSet::Photo> photos = vsLabelSet::loadPhotos(folder.path(), &error);
    QCOMPARE(photos.size(), 2);
    QVERIFY(error.isEmpty());
    QCOMPARE(photos.at(0).language, QStringLiteral("fr"));
    const QStringList found =
        QStringLiteral("E150a E150d E160b(i) E1422 E170 E270 E1501 E45 E330 E330").split(QLatin1Char(' '));
    vsLabelSet::Score score;
    QStringList missed;
    QStringList extra;
    score.add(photos.at(0), found, &missed, &extra);
    QCOMPARE(missed, QStringList{QStringLiteral("E450")});
    QCOMPARE(extra, (QStringList{QStringLiteral("E1501"), QStringLiteral("E45")}));
    QCOMPARE(score.expected, 4);
    QCOMPARE(score.correct, 3);
    QCOMPARE(score.found, 6);
    QCOMPARE(score.matching, 4);
    score.add(photos.at(1), {QStringLiteral("E100")}, &missed, &extra);
    QVERIFY(missed.isEmpty());
    QCOMPARE(score.found, 7);
    QCOMPARE(score.precision(), 4.0 / 7);

    // Anything the scoring would misread leaves the whole list unread, saying why.
    for (const char *bad :
         {"[{\"file\": \"a.jpg\", \"codes\": [\"E330\"", "{\"file\": \"a.jpg\"}", "[{\"file\": \"a.jpg\"}]",
          "[{\"file\": \"../a.jpg\", \"codes\": []}]", "[{\"file\": \"a.jpg\", \"codes\": [330]}]"}) {
        vsTest::writeRaw(folder.path(), QStringLiteral("photos.json"), bad);
        error.clear();
        QVERIFY2(vsLabelSet::loadPhotos(folder.path(), &error).isEmpty(), bad);
        QVERIFY2(!error.isEmpty(), bad);
    }
}

void tst_label::tool_engineThreadsLimitedFromStart()
{
    // Qt 6 loads the engine's OpenMP runtime before main, and the runtime
    // reads its thread limit only then: without the limit in the environment
    // the tool starts with, threads spin past the cores and a photo's
    // reading time runs out.
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("OMP_THREAD_LIMIT"));
    process.setProcessEnvironment(environment);
    process.start(tool, {QStringLiteral("-")}); // waits for its standard input
    QVERIFY(process.waitForStarted());
    const auto finish = qScopeGuard([&process] {
        process.closeWriteChannel();
        process.waitForFinished(5000);
    });
    const QString proc = QStringLiteral("/proc/%1/").arg(process.processId());
    const auto contents = [&proc](const char *name) {
        QFile file(proc + QLatin1String(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QByteArray maps;
    QVERIFY(QTest::qWaitFor([&] { return (maps = contents("maps")).contains("libQt"); }, 5000));
    if (!maps.contains("libgomp"))
        QSKIP("the OpenMP runtime comes with the OCR module here, after the limit is set");
    // Started anew with the limit: the first start's environment lacks it.
    QVERIFY(QTest::qWaitFor([&] { return contents("environ").split('\0').contains("OMP_THREAD_LIMIT=1"); },
                            5000));
}

void tst_label::tool_labelSetAsText()
{
    vsLabelSet::Score score;
    for (const vsLabelSet::Label &label : labelSet()) {
        const Run run = runTool({QStringLiteral("-")}, label.text.toUtf8());
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.isEmpty(), run.err.constData());
        score.add(label.codes, codesOfLines(run.out));
    }
    QVERIFY(score.expected > 0);
    QVERIFY(score.recall() >= 0.98 && score.precision() >= 0.98);

    // Code, level, first name; the catalogue beside the tool.
    const Run run = runTool({}, QByteArrayLiteral("\xef\xbb\xbfкраситель Е-102, аспартам\n"));
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(QString::fromUtf8(run.out), QStringLiteral("E102\t2\tТартразин\nE951\t1\tАспартам\n"));
    // Text without additives is no error.
    const Run none = runTool({}, QByteArrayLiteral("вода, соль"));
    QCOMPARE(none.exitCode, 0);
    QVERIFY(none.out.isEmpty());
}

void tst_label::tool_badInput_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("empty") << QByteArray() << 4;
    QTest::newRow("white space only") << QByteArrayLiteral(" \n\t\n") << 4;
    QTest::newRow("NUL bytes") << QByteArray("E330\0E202", 9) << 5;
    QTest::newRow("invalid UTF-8") << QByteArrayLiteral("E330 \xc3\x28 \xff") << 5;
    QTest::newRow("control characters") << QByteArrayLiteral("E330\x01\x02\x1b[0m") << 5;
    QTest::newRow("damaged PNG") << QByteArrayLiteral("\x89PNG\r\n\x1a\n garbage after the mark") << 6;
    QTest::newRow("damaged JPEG") << QByteArrayLiteral("\xff\xd8\xff\xe0 not a picture") << 6;
    QTest::newRow("too large") << QByteArray(32 * 1024 * 1024 + 1, 'a') << 3;
}

void tst_label::tool_badInput()
{
    QFETCH(QByteArray, contents);
    QFETCH(int, exitCode);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("input"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    file.close();
    for (const Run &run : {runTool({path}), runTool({QStringLiteral("-")}, contents)}) {
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY(run.out.isEmpty());
        QVERIFY(run.err.contains("vestrion-label: "));
    }
    // Once is enough for what is not about the contents.
    if (exitCode != 4)
        return;
    QCOMPARE(runTool({folder.filePath(QStringLiteral("missing"))}).exitCode, 1);
    QCOMPARE(runTool({folder.path()}).exitCode, 1);
    QCOMPARE(runTool({path, path}).exitCode, 2);
    QCOMPARE(runTool({QStringLiteral("--bogus")}).exitCode, 2);
}

void tst_label::tool_restrictions_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    const QByteArray list = "краситель кармин, лимонная кислота, E471";
    QTest::newRow("vegan") << QStringList({"--diet", "vegan"}) << list << 9
                           << "E120\t0\tКошениль\tНе для веганов: из насекомых\n"
                              "E330\t0\tЛимонная кислота\t\n"
                              "E471\t0\tМоно- и диглицериды жирных кислот\t"
                              "Возможно, не для веганов: может быть из животного жира\n";
    QTest::newRow("only doubts") << QStringList({"--diet=vegetarian"}) << QByteArray("E471, E330") << 10
                                 << "E471\t0\tМоно- и диглицериды жирных кислот\t"
                                    "Возможно, не для вегетарианцев: может быть из животного жира\n"
                                    "E330\t0\tЛимонная кислота\t\n";
    QTest::newRow("nothing conflicts")
        << QStringList({"--diet", "vegan"}) << QByteArray("E330") << 0 << "E330\t0\tЛимонная кислота\t\n";
    // Groups and codes, in any usual spelling, given once or more.
    QTest::newRow("groups and codes") << QStringList({"--avoid", "sulphites,e330", "--avoid", "\u0415471"})
                                      << QByteArray("E223, E330, E471, E100") << 9
                                      << "E223\t1\tПиросульфит натрия\tВ вашем списке: сульфиты\n"
                                         "E330\t0\tЛимонная кислота\tВ вашем списке\n"
                                         "E471\t0\tМоно- и диглицериды жирных кислот\tВ вашем списке\n"
                                         "E100\t0\tКуркумин\t\n";
    QTest::newRow("a family") << QStringList({"--avoid=E160a"}) << QByteArray("E160a(ii)") << 9
                              << "E160a(ii)\t0\tКаротины растительные\tВ вашем списке\n";
    QTest::newRow("unknown diet") << QStringList({"--diet", "omnivore"}) << list << 2 << QString();
    QTest::newRow("no diet given") << QStringList({"--diet"}) << list << 2 << QString();
    QTest::newRow("unknown group") << QStringList({"--avoid", "sulfites"}) << list << 2 << QString();
    QTest::newRow("a code not in the catalogue")
        << QStringList({"--avoid", "E9999"}) << list << 2 << QString();
}

void tst_label::tool_restrictions()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, text);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    const Run run = runTool(options + QStringList(QStringLiteral("-")), text);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(QString::fromUtf8(run.out), out);
    QCOMPARE(run.err.isEmpty(), exitCode != 2);
}

void tst_label::pictures_recallAndPrecision()
{
#ifdef VESTRION_SANITIZE
    // Tesseract and Leptonica, not built for the sanitizers, run many times
    // slower under them and keep caches that LeakSanitizer reports at exit.
    QSKIP("OCR is not run under the sanitizers");
#endif
    vsOcr::setModulePath(QStringLiteral(VESTRION_BUILD_DIR "/libvestrion-ocr.so"));
    const QVector<vsLabelSet::Label> labels = labelSet();
    QVERIFY(labels.size() >= 10);
    // A few labels, each photographed a little askew, with speckles.
    const struct
    {
        int label;
        double degrees;
    } shots[] = {{0, 1.5}, {3, -2.0}, {7, 1.0}};
    vsLabelSet::Score score;
    for (const auto &shot : shots) {
        const vsLabelSet::Label &label = labels.at(shot.label);
        QString text;
        QCOMPARE(vsOcr::recognise(vsLabelSet::render(label.text, 1300, shot.degrees, 3), &text), vsOcr::Done);
        QStringList found;
        for (int row : analyser->analyse(text))
            found << catalogue.index(row, 0).data(vsDataModel::CodeRole).toString();
        if (found != label.codes)
            qWarning().noquote() << label.name << "expected" << label.codes << "found" << found << "in"
                                 << text;
        score.add(label.codes, found);
    }
    qInfo("pictures: %d expected, %d found, %d correct", score.expected, score.found, score.correct);
    QVERIFY(score.recall() >= 0.95);
    QVERIFY(score.precision() >= 0.95);

    // The tool reads a picture by its contents, whatever its name.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("label.txt"));
    QVERIFY(vsLabelSet::render(labels.at(1).text, 1300, -1.0, 2).save(path, "PNG"));
    QCOMPARE(codesOfLines(runTool({path}).out), labels.at(1).codes);
    // A picture without text is said to be one.
    QImage blank(600, 400, QImage::Format_RGB32);
    blank.fill(Qt::white);
    QVERIFY(blank.save(path, "JPEG"));
    const Run empty = runTool({path});
    QCOMPARE(empty.exitCode, 6);
    QVERIFY(empty.err.contains("no text"));

    // Without the language models the tool says it cannot read pictures.
    QTemporaryDir noModels;
    QVERIFY(noModels.isValid());
    QVERIFY(vsLabelSet::render(labels.at(1).text, 1300, 0, 0).save(path, "PNG"));
    qputenv("TESSDATA_PREFIX", QFile::encodeName(noModels.path()));
    const Run unavailable = runTool({path});
    qunsetenv("TESSDATA_PREFIX");
    QCOMPARE(unavailable.exitCode, 8);
    QVERIFY(unavailable.err.contains("cannot read pictures"));

    // Progress comes while the engine works, not only at its end.
    QVector<int> reports;
    QString text;
    QCOMPARE(vsOcr::recognise(vsLabelSet::render(labels.at(2).text, 1300, 0, 0), &text,
                              [&reports](int percent) {
                                  reports << percent;
                                  return false;
                              }),
             vsOcr::Done);
    QVERIFY2(reports.size() > 2 && reports.first() < 100 && reports.last() == 100,
             qPrintable(QString::number(reports.size())));
    QVERIFY(std::is_sorted(reports.begin(), reports.end()));

    // Cancelled at the first report, it says so and gives no text.
    QCOMPARE(
        vsOcr::recognise(vsLabelSet::render(labels.at(2).text, 1300, 0, 0), &text, [](int) { return true; }),
        vsOcr::Cancelled);
    QVERIFY(text.isEmpty());
    QCOMPARE(vsOcr::recognise(QImage(), &text), vsOcr::Failed);
}

void tst_label::photos_asPhonesTakeThem()
{
#ifdef VESTRION_SANITIZE
    QSKIP("OCR is not run under the sanitizers");
#endif
    using namespace vsLabelSet;
    const QVector<Label> labels = labelSet();
    QVERIFY(labels.size() >= 10);
    // Each kind of photo of another label, through the tool as a user gives
    // it: decoded, turned by its tag, prepared, read and analysed.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("photo.jpg"));
    Score score;
    int next = 0;
    for (int shot = 0; shot < photoKinds().size(); ++shot) {
        const PhotoKind &kind = photoKinds().at(shot % photoKinds().size());
        const Label &label = labels.at(next);
        next = (next + 7) % labels.size();
        // What the same text gives typed is what the photo should give.
        const QString text = photoText(label.text, kind.shot);
        const QStringList typed = codesFound(text);
        const QByteArray photo = photograph(text, kind.shot);
        QVERIFY2(!photo.isEmpty(), "ImageMagick or exiftool failed");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(photo) == photo.size());
        file.close();
        const Run run = runTool({path});
        const QStringList found = codesOfLines(run.out);
        if (found != typed)
            qWarning().noquote() << kind.name << label.name << "typed" << typed.join(QLatin1Char(' '))
                                 << "photo" << found.join(QLatin1Char(' ')) << run.err;
        score.add(typed, found);
    }
    // Photos once misread, each for its own reason: lines cut in two under
    // perspective, a page upside down that the orientation model was unsure
    // of, a label in a frame of marks taken for a picture, a paragraph break
    // between a denial and what it denies, a mark at the card's edge before
    // "(330)", and lines of different slope read as one.
    const struct
    {
        const char *label;
        const char *kind;
    } misread[] = {
        {"01-chips", "phone"},           {"70-candy-us-lakes-en", "untagged 180"},
        {"05-cake", "untagged 90"},      {"56-denial-trap-ready-meal", "tagged 90"},
        {"73-margarine-au-en", "phone"}, {"34-denial-then-bacon-en", "untagged 180"},
    };
    for (const auto &shot : misread) {
        const auto label = std::find_if(labels.begin(), labels.end(), [&shot](const Label &l) {
            return l.name == QLatin1String(shot.label);
        });
        const auto kind = std::find_if(photoKinds().begin(), photoKinds().end(), [&shot](const PhotoKind &k) {
            return qstrcmp(k.name, shot.kind) == 0;
        });
        QVERIFY(label != labels.end() && kind != photoKinds().end());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(photograph(label->text, kind->shot)) > 0);
        file.close();
        QCOMPARE(codesOfLines(runTool({path}).out), codesFound(label->text));
    }
    qInfo("photos: %d typed, %d found, %d correct: recall %.3f, precision %.3f", score.expected, score.found,
          score.correct, score.recall(), score.precision());
    // The aim is 0.95 and 0.98 on the whole set (the benchmark's figure);
    // on these photos one code is 0.013: Qt 5 reads 0.974 and 1.000. Qt 6,
    // whose cards differ a little, reads 0.961 and 0.973: two Roman members
    // a letter short ("INS 339(ii)" for (iii), "Е2621" for E262ii). The codes
    // still lost are letters OCR garbles ("(iii)" as "(И0)", "E150d" as "Е1 504").
    QVERIFY2(score.recall() >= 0.93, qPrintable(QString::number(score.recall())));
    const double precisionFloor = QT_VERSION >= QT_VERSION_CHECK(6, 0, 0) ? 0.97 : 0.98;
    QVERIFY2(score.precision() >= precisionFloor, qPrintable(QString::number(score.precision())));

    // Pictures too small or too thin for letters go through every step of
    // the preparation to a defined "no text".
    for (const QSize &size : {QSize(1, 1), QSize(2, 600), QSize(3000, 5)}) {
        QImage odd(size, QImage::Format_RGB32);
        odd.fill(Qt::darkGray);
        QVERIFY(odd.save(path, "PNG"));
        QCOMPARE(runTool({path}).exitCode, 6);
    }

    // A Ukrainian pack, read with the Ukrainian model and vocabulary.
    const QVector<Label> ukrainian = vsLabelSet::load(QStringLiteral(VESTRION_TEST_DATA_DIR "/labels/uk"));
    QVERIFY(!ukrainian.isEmpty());
    const vsLabelAnalyser ukrainianReader(&catalogue, {QStringLiteral("uk")});
    QStringList typed;
    for (int row : ukrainianReader.analyse(ukrainian.first().text))
        typed << catalogue.index(row, 0).data(vsDataModel::CodeRole).toString();
    QVERIFY(!typed.isEmpty());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) &&
            file.write(photograph(ukrainian.first().text, photoKinds().first().shot)) > 0);
    file.close();
    QCOMPARE(codesOfLines(runTool({QStringLiteral("--lang"), QStringLiteral("uk,ru"), path}).out), typed);

    // A label language whose model is not installed is read with the others.
    QTemporaryDir models;
    QVERIFY(models.isValid());
    const QString installed = QStringLiteral("/usr/share/tesseract-ocr/5/tessdata");
    for (const char *model : {"rus.traineddata", "eng.traineddata"})
        QVERIFY(QFile::link(installed + QLatin1Char('/') + QLatin1String(model),
                            models.filePath(QLatin1String(model))));
    const Label &label = labels.at(1);
    QVERIFY(file.open(QIODevice::WriteOnly) &&
            file.write(photograph(label.text, {Noise, 0, false, false, 1300, 0})) > 0);
    file.close();
    qputenv("TESSDATA_PREFIX", QFile::encodeName(models.path()));
    const Run withoutGerman = runTool({QStringLiteral("--lang=ru,en,de"), path});
    qunsetenv("TESSDATA_PREFIX");
    QCOMPARE(withoutGerman.exitCode, 0);
    QCOMPARE(codesOfLines(withoutGerman.out), codesFound(label.text));
    QCOMPARE(runTool({QStringLiteral("--lang"), QStringLiteral("xx"), path}).exitCode, 2);
}

void tst_label::ocrLayout_strayMarksAndLetterHeight()
{
    using namespace vsOcrLayout;
    // A word the engine is unsure of goes only when far from the rest of its
    // line on both sides: a mark at the card's edge, not a word at a line's end.
    const int far = int(strayGapHeights * readableHeight) + 10;
    const int near = int(readableHeight / 2);
    const auto line = [](std::vector<Word> words) { return Line{words, 0, 0, 0, 0, false}; };
    const Line apart =
        line({{"poe", 40, 0, 40}, {"Acidity", 95, 40 + far, 200 + far}, {"(330)", 95, 220 + far, 300 + far}});
    QVERIFY(isStray(apart, 0));
    const Line oneSide =
        line({{"Acidity", 95, 0, 150}, {"regulator", 40, 150 + near, 300}, {"4", 95, 300 + far, 320 + far}});
    QVERIFY(!isStray(oneSide, 1));
    QVERIFY(!isStray(line({{"boy", 95, 0, 40}, {"x", 95, 40 + far, 60 + far}}), 0));
    QCOMPARE(QString::fromStdString(textOf({apart, oneSide}).text),
             QStringLiteral("Acidity (330)\nAcidity regulator 4\n"));

    // Letters are measured on a reduced copy of a large photo and scaled back:
    // the same card at twice the width has letters twice as high.
    const QString text = labelSet().at(0).text;
    const auto measured = [&text](int width) {
        QImage card = vsLabelSet::render(text, width, 0, 0).convertToFormat(QImage::Format_Grayscale8);
        vsOcrPrepare::PixPtr pix(pixCreate(card.width(), card.height(), 8));
        for (int y = 0; y < card.height(); ++y)
            for (int x = 0; x < card.width(); ++x)
                pixSetPixel(pix.get(), x, y, card.constScanLine(y)[x]);
        const vsOcrPrepare::TextLayout layout = vsOcrPrepare::findText(pix.get());
        return layout.blocks.empty() ? 0.0 : layout.blocks.front().letterHeight;
    };
    const double small = measured(1200);
    const double large = measured(3600);
    QVERIFY(small > 10);
    QVERIFY2(std::abs(large / small - 3.0) < 0.3, qPrintable(QStringLiteral("%1 %2").arg(small).arg(large)));

    // The engine reads letters from the block's grey where it has the
    // binary picture's size: light print on dark, turned, comes out as dark
    // print on light like the binary one, pixel for pixel.
    QImage card = vsLabelSet::render(text, 1200, 0, 0).convertToFormat(QImage::Format_Grayscale8);
    card.invertPixels();
    card = card.transformed(QTransform().rotate(90)).convertToFormat(QImage::Format_Grayscale8);
    vsOcrPrepare::PixPtr pix(pixCreate(card.width(), card.height(), 8));
    for (int y = 0; y < card.height(); ++y)
        for (int x = 0; x < card.width(); ++x)
            pixSetPixel(pix.get(), x, y, card.constScanLine(y)[x]);
    const vsOcrPrepare::TextLayout layout = vsOcrPrepare::findText(pix.get());
    QVERIFY(!layout.blocks.empty());
    QVERIFY(layout.blocks.front().light);
    const vsOcrPrepare::Readable readable =
        vsOcrPrepare::readable(pix.get(), layout.blocks.front(), layout.quarterTurns);
    QVERIFY(readable.binary && readable.grey);
    QCOMPARE(pixGetWidth(readable.grey.get()), pixGetWidth(readable.binary.get()));
    QCOMPARE(pixGetHeight(readable.grey.get()), pixGetHeight(readable.binary.get()));
    QVERIFY(pixGetWidth(readable.grey.get()) > pixGetHeight(readable.grey.get()));
    double print = 0, ground = 0;
    int printPixels = 0, groundPixels = 0;
    for (int y = 0; y < pixGetHeight(readable.grey.get()); ++y)
        for (int x = 0; x < pixGetWidth(readable.grey.get()); ++x) {
            l_uint32 black = 0, grey = 0;
            pixGetPixel(readable.binary.get(), x, y, &black);
            pixGetPixel(readable.grey.get(), x, y, &grey);
            (black ? print : ground) += grey;
            ++(black ? printPixels : groundPixels);
        }
    QVERIFY(printPixels > 0 && groundPixels > 0);
    QVERIFY2(print / printPixels + 80 < ground / groundPixels,
             qPrintable(QStringLiteral("%1 %2").arg(print / printPixels).arg(ground / groundPixels)));
}

void tst_label::window_pasteSeeOpen()
{
    vsMainWindow window;
    window.setDataFolder(QStringLiteral(VESTRION_BUILD_DIR "/data"));
    QVERIFY(window.setup());
    window.resize(800, 480);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    auto *reader = window.findChild<vsLabelReader *>(QStringLiteral("labelReader"));
    QVERIFY(reader);
    QTRY_VERIFY(reader->isVisible());
    auto *edit = reader->findChild<QPlainTextEdit *>(QStringLiteral("labelEdit"));
    auto *view = reader->findChild<QListView *>(QStringLiteral("additiveView"));
    auto *open = reader->findChild<QPushButton *>(QStringLiteral("openPictureButton"));
    auto *status = reader->findChild<QLabel *>(QStringLiteral("readerStatus"));
    QVERIFY(edit && view && open && status);
    QTRY_COMPARE(QApplication::focusWidget(), edit);
    // No additives yet: Tab and Shift+Tab pass over the empty list, forwards
    // to "Open picture…" and backwards to the field.
    QTest::keyClick(edit, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), open);
    QTest::keyClick(open, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), edit);

    // Pasted, the list's additives appear in its order.
    const vsLabelSet::Label label = labelSet().at(0);
    QApplication::clipboard()->setText(label.text);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->toPlainText(), label.text);
    QCOMPARE(codesShown(view), label.codes);

    // By keyboard: Tab leaves the field for the additives, the first chosen;
    // Down chooses the next, Return opens it, Shift+Tab goes back.
    auto *display = window.findChild<vsDataDisplay *>(QStringLiteral("dataDisplay"));
    QVERIFY(display);
    QTest::keyClick(edit, Qt::Key_Tab);
    QCOMPARE(edit->toPlainText(), label.text);
    QTRY_COMPARE(QApplication::focusWidget(), view);
    QCOMPARE(view->selectionModel()->selectedIndexes().value(0).row(), 0);
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Up);
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_VERIFY(display->isVisible());
    QVERIFY(display->findChild<QLabel *>(QStringLiteral("codeLabel"))->text().contains(label.codes.at(1)));
    display->close();
    reader->activateWindow();
    QTRY_COMPARE(QApplication::focusWidget(), view);
    QTest::keyClick(view, Qt::Key_Backtab, Qt::ShiftModifier);
    QTRY_COMPARE(QApplication::focusWidget(), edit);

    // A tap opens the detail view over the reader, which stays as it was.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                      view->visualRect(view->model()->index(1, 0)).center());
    QTRY_VERIFY(display->isVisible());
    display->close();
    QVERIFY(reader->isVisible());
    QCOMPARE(view->model()->rowCount(), int(label.codes.size()));

    // A file that is no picture is refused in words, the text kept.
    vsLabelReader::setNextFileName(QStringLiteral(VESTRION_TEST_DATA_DIR "/labels/README"));
    QTest::mouseClick(open, Qt::LeftButton);
    QCOMPARE(status->text(), QStringLiteral("Cannot open the picture"));
    QCOMPARE(edit->toPlainText(), label.text);

#ifndef VESTRION_SANITIZE
    // A picture is read off the GUI thread; its text replaces the list.
    vsOcr::setModulePath(QStringLiteral(VESTRION_BUILD_DIR "/libvestrion-ocr.so"));
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const vsLabelSet::Label pictured = labelSet().at(4);
    const QString path = folder.filePath(QStringLiteral("label.png"));
    QVERIFY(vsLabelSet::render(pictured.text, 1300, 1.0, 2).save(path));
    auto *bar = reader->findChild<QProgressBar *>(QStringLiteral("readingProgress"));
    auto *cancel = reader->findChild<QPushButton *>(QStringLiteral("cancelReadingButton"));
    QVERIFY(bar && cancel);
    QSignalSpy progress(bar, &QProgressBar::valueChanged);
    vsLabelReader::setNextFileName(path);
    QTest::mouseClick(open, Qt::LeftButton);
    QVERIFY(!open->isEnabled());
    QVERIFY(cancel->isVisible());
    VS_TRY_VERIFY(open->isEnabled(), 15000);
    QVERIFY(edit->toPlainText() != label.text);
    QVERIFY(view->model()->rowCount() >= pictured.codes.size() - 1);
    // The bar moved while the engine worked and ended full.
    QVector<int> values;
    for (const QList<QVariant> &report : progress)
        values << report.first().toInt();
    QVERIFY2(values.size() > 2 && values.contains(100) &&
                 std::any_of(values.begin(), values.end(), [](int v) { return v > 0 && v < 100; }),
             qPrintable(QString::number(values.size())));

    // Cancelled once it is under way: the text stays as it was.
    edit->setPlainText(label.text);
    vsLabelReader::setNextFileName(path);
    QTest::mouseClick(open, Qt::LeftButton);
    VS_TRY_VERIFY(bar->value() > 0, 10000);
    QTest::mouseClick(cancel, Qt::LeftButton);
    VS_TRY_VERIFY(open->isEnabled(), 5000);
    QCOMPARE(edit->toPlainText(), label.text);
    QVERIFY(!cancel->isVisible());

    // Escape while a picture is read closes the window and cancels the
    // reading. A picture of three lists takes seconds to read.
    QStringList lists;
    for (const vsLabelSet::Label &each : labelSet().mid(0, 3))
        lists << each.text;
    const QImage several = vsLabelSet::render(lists.join(QLatin1String("\n\n")), 1300, 0, 0);
    reader->onReadImage(several);
    VS_TRY_VERIFY(bar->value() > 0, 10000);
    QTest::keyClick(reader, Qt::Key_Escape);
    QVERIFY(!reader->isVisible());
    VS_TRY_VERIFY(open->isEnabled(), 5000);
    QCOMPARE(edit->accessibleDescription(), QStringLiteral("Reading cancelled"));
    QCOMPARE(edit->toPlainText(), label.text);

    // A reader closed for good while it reads stops the reading at once,
    // rather than wait for it to end.
    std::atomic<int> ended{-1};
    auto closing = std::make_unique<vsLabelReader>(&catalogue);
    closing->onReadImage(several);
    auto *job = closing->findChild<vsOcrJob *>();
    QVERIFY(job);
    connect(
        job, &vsOcrJob::recognised, job, [&ended](int result) { ended = result; }, Qt::DirectConnection);
    VS_TRY_VERIFY(closing->findChild<QProgressBar *>()->value() > 0, 10000);
    QElapsedTimer clock;
    clock.start();
    closing.reset();
    qInfo("a reader closed while reading took %lld ms to close", clock.elapsed());
    QVERIFY2(ended == vsOcr::Cancelled, "the reading went on to its end");
    reader->onOpen();
#endif
    QTest::keyClick(reader, Qt::Key_Escape);
    QVERIFY(!reader->isVisible());
}

void tst_label::window_pictureBesideTextAndPartReadAgain()
{
#ifdef VESTRION_SANITIZE
    QSKIP("OCR is not run under the sanitizers");
#endif
    vsOcr::setModulePath(QStringLiteral(VESTRION_BUILD_DIR "/libvestrion-ocr.so"));
    vsMainWindow window;
    window.setDataFolder(QStringLiteral(VESTRION_BUILD_DIR "/data"));
    QVERIFY(window.setup());
    window.resize(800, 480);
    window.show();
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    auto *reader = window.findChild<vsLabelReader *>(QStringLiteral("labelReader"));
    QVERIFY(reader);
    reader->resize(800, 480);
    QVERIFY(QTest::qWaitForWindowExposed(reader));
    auto *edit = reader->findChild<QPlainTextEdit *>(QStringLiteral("labelEdit"));
    auto *view = reader->findChild<QListView *>(QStringLiteral("additiveView"));
    auto *open = reader->findChild<QPushButton *>(QStringLiteral("openPictureButton"));
    auto *cancel = reader->findChild<QPushButton *>(QStringLiteral("cancelReadingButton"));
    auto *status = reader->findChild<QLabel *>(QStringLiteral("readerStatus"));
    auto *picture = reader->findChild<vsPictureView *>(QStringLiteral("pictureView"));
    QVERIFY(edit && view && open && cancel && status && picture);

    // A typed list shows no picture.
    edit->setPlainText(QStringLiteral("сахар, E330"));
    QVERIFY(!picture->isVisible());

    // Two lists far apart on one card, sharing no additive.
    const QStringList lists = {QStringLiteral("Состав: сахар, краситель E102,\nкислота лимонная E330."),
                               QStringLiteral("Состав: вода, консервант E202,\nзагуститель пектин E440.")};
    const QStringList upper = codesFound(lists.at(0));
    const QStringList lower = codesFound(lists.at(1));
    QCOMPARE(upper.size() + lower.size(), 4);
    QVector<QRect> parts;
    const QImage card = vsLabelSet::renderStacked(lists, 1300, &parts);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("two.png"));
    QVERIFY(card.save(path));
    const auto read = [&] {
        vsLabelReader::setNextFileName(path);
        QTest::mouseClick(open, Qt::LeftButton);
        return QTest::qWaitFor([&] { return open->isEnabled(); }, 15000);
    };

    // Read whole, the picture stands beside the text on the handheld's
    // screen, the part read outlined around both lists.
    QVERIFY2(read(), "the picture was not read within 15 s");
    QVERIFY(picture->isVisible());
    QCOMPARE(picture->picture().size(), card.size());
    QVERIFY(picture->geometry().right() < edit->geometry().left());
    QVERIFY(picture->toWidget(card.rect()).width() >= 200);
    QVERIFY2(picture->area().contains(parts.at(0).center()) && picture->area().contains(parts.at(1).center()),
             qPrintable(QStringLiteral("%1,%2 %3x%4")
                            .arg(picture->area().x())
                            .arg(picture->area().y())
                            .arg(picture->area().width())
                            .arg(picture->area().height())));
    // In a tall window, the picture is above; a stacked window keeps the main window's shape.
    window.resize(480, 800);
    reader->resize(480, 800);
    QTRY_VERIFY(picture->geometry().bottom() < edit->geometry().top());
    window.resize(800, 480);
    reader->resize(800, 480);
    QTRY_VERIFY(picture->geometry().right() < edit->geometry().left());
    const QString whole = edit->toPlainText();
    QVERIFY2(codesShown(view).contains(upper.first()), qPrintable(whole));

    // A tap chooses nothing: no reading starts.
    QTest::mouseClick(picture, Qt::LeftButton, Qt::NoModifier, picture->rect().center());
    QVERIFY(open->isEnabled());
    QCOMPARE(edit->toPlainText(), whole);

    // Dragged over the lower list, only that is read; its text replaces the
    // field's and its part is outlined.
    const QRect target = picture->toWidget(parts.at(1)).adjusted(-4, -4, 4, 4);
    drag(picture, target.topLeft(), target.bottomRight());
    QVERIFY(!open->isEnabled());
    QVERIFY(cancel->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(open->isEnabled(), 15000);
    QCOMPARE(edit->accessibleDescription(), QStringLiteral("Picture read"));
    QVERIFY(edit->toPlainText() != whole);
    const QStringList shown = codesShown(view);
    QVERIFY2(!shown.isEmpty(), qPrintable(edit->toPlainText()));
    for (const QString &code : shown)
        QVERIFY2(lower.contains(code), qPrintable(code + QLatin1Char(' ') + edit->toPlainText()));
    QVERIFY(!picture->area().isEmpty());
    QVERIFY(parts.at(1).adjusted(-8, -8, 8, 8).contains(picture->area()));
    // The text replaced is one step back, as typing is.
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(edit->toPlainText(), whole);

    // Cancelled, a part's reading leaves text, picture and outline as they were.
    const QRect outlined = picture->area();
    drag(picture, target.topLeft(), target.bottomRight());
    QVERIFY(cancel->isVisible());
    QTest::mouseClick(cancel, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(open->isEnabled(), 15000);
    QCOMPARE(edit->accessibleDescription(), QStringLiteral("Reading cancelled"));
    QCOMPARE(edit->toPlainText(), whole);
    QCOMPARE(picture->area(), outlined);

    // Typing keeps the picture; an emptied field lets it go.
    QTest::keyClicks(edit, QStringLiteral(" salt"));
    QVERIFY(picture->isVisible());
    edit->clear();
    QVERIFY(!picture->isVisible());
    QVERIFY(picture->picture().isNull());

    // Out of time, the window says so, in the field's description too, and
    // the picture is there to pick the list out.
    reader->setTimeLimit(1);
    QVERIFY2(read(), "the picture was not read within 15 s");
    reader->setTimeLimit(vsOcr::defaultTimeLimitMs);
    QCOMPARE(status->text(), QStringLiteral("Not all was read: drag over the list on the picture"));
    QVERIFY(status->isVisible());
    QCOMPARE(edit->accessibleDescription(),
             QStringLiteral("Picture not read whole: drag over the list on the picture"));
    QVERIFY(picture->isVisible());
    // A part read in time has all of it: the note goes.
    drag(picture, target.topLeft(), target.bottomRight());
    QTRY_VERIFY_WITH_TIMEOUT(open->isEnabled(), 15000);
    QVERIFY2(!codesShown(view).isEmpty(), qPrintable(edit->toPlainText()));
    QVERIFY(status->text().isEmpty());
    QCOMPARE(edit->accessibleDescription(), QStringLiteral("Picture read"));
    reader->close();
}

void tst_label::window_languagesChosenAndRemembered()
{
    const QString german = QStringLiteral("Zutaten: Wasser, Konservierungsstoff Kaliumsorbat.");
    QSettings().remove(vsLanguageButton::settingsKey());
    for (int run = 0; run < 2; ++run) {
        vsMainWindow window;
        window.setDataFolder(QStringLiteral(VESTRION_BUILD_DIR "/data"));
        QVERIFY(window.setup());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
        auto *reader = window.findChild<vsLabelReader *>(QStringLiteral("labelReader"));
        QVERIFY(reader);
        auto *edit = reader->findChild<QPlainTextEdit *>(QStringLiteral("labelEdit"));
        auto *view = reader->findChild<QListView *>(QStringLiteral("additiveView"));
        auto *button = reader->findChild<vsLanguageButton *>(QStringLiteral("labelLanguagesButton"));
        QVERIFY(edit && view && button);
        const auto entry = [&](const char *code) {
            return button->findChild<QAction *>(QStringLiteral("labelLanguage_") + QLatin1String(code));
        };
        QVERIFY(entry("ru") && entry("de") && entry("es"));
        edit->setPlainText(german);
        if (run == 0) {
            // Russian and English by default (the system's is English here).
            QCOMPARE(button->languages(), QStringList({QStringLiteral("ru"), QStringLiteral("en")}));
            QCOMPARE(button->text(), QStringLiteral("Languages: ru, en"));
            QCOMPARE(codesShown(view), QStringList());
            // German ticked: the list is read again with its words.
            entry("de")->trigger();
            QCOMPARE(codesShown(view), QStringList{QStringLiteral("E202")});
            QCOMPARE(button->text(), QStringLiteral("Languages: ru, en, de"));
            QCOMPARE(button->accessibleName(),
                     QStringLiteral("Languages of the labels: Russian, English, German"));
            // At least one stays: the last cannot be taken off.
            entry("ru")->trigger();
            entry("en")->trigger();
            QVERIFY(entry("de")->isChecked() && !entry("de")->isEnabled());
            entry("de")->trigger();
            QCOMPARE(button->languages(), QStringList{QStringLiteral("de")});
            QCOMPARE(codesShown(view), QStringList{QStringLiteral("E202")});
            entry("ru")->trigger();
            for (const char *code : {"en", "uk", "be", "kk", "fr", "pl", "it", "es"})
                entry(code)->trigger();
            QCOMPARE(button->text(), QStringLiteral("Languages: ru, en, uk +7"));
            entry("de")->trigger();
        } else {
            // The next window reads what the last one chose.
            QCOMPARE(button->languages(),
                     QStringList({QStringLiteral("ru"), QStringLiteral("en"), QStringLiteral("uk"),
                                  QStringLiteral("be"), QStringLiteral("kk"), QStringLiteral("fr"),
                                  QStringLiteral("pl"), QStringLiteral("it"), QStringLiteral("es")}));
            QCOMPARE(codesShown(view), QStringList());
        }
    }
    QCOMPARE(QSettings().value(vsLanguageButton::settingsKey()).toString(),
             QStringLiteral("ru,en,uk,be,kk,fr,pl,it,es"));
}

// A GUI application: the pictures are painted with fonts.
QTEST_MAIN(tst_label)
#include "tst_label.moc"
