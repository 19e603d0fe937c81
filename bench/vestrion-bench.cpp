// Benchmarks at catalogue scale: loading, memory, start-up, code search, name
// search and row painting, with catalogues of 1,000 to 100,000 entries in one file and in
// ten. Every figure is the median of several repetitions, run interleaved with
// the others, and stands beside a floor measured in the same run, because the
// machine is shared and its absolute speed says little.

#include "benchcatalogue.h"
#include "benchprocess.h"
#include "benchtable.h"
#include "labelset.h"

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsdatamodel.h"
#include "catalogue/vsvdbformat.h"
#include "label/vslabelanalyser.h"
#include "label/vsocr.h"
#include "list/vsdatadelegate.h"
#include "mainwindow/vsmainwindow.h"
#include "platform/vsplatform.h"
#include "search/vsnameindex.h"
#include "search/vsnamesearch.h"

#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QItemSelectionModel>
#include <QListView>
#include <QPainter>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QXmlStreamReader>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>

#include <malloc.h>

namespace {

using Clock = std::chrono::steady_clock;
using vsBench::Catalogue;

constexpr int sizes[] = {1000, 10000, 100000};
constexpr int splits[] = {1, 10};
constexpr int searchSize = 100000;
constexpr int rowHeight = 70;
constexpr Qt::Alignment textAlignment = Qt::AlignLeft | Qt::AlignVCenter;

// Targets the figures are held against.
constexpr double loadRatioTarget = 1.5;
constexpr double memoryRatioTarget = 4.0;
constexpr double bundledStartTargetMs = 10;
constexpr double largeStartTargetMs = 1000;
constexpr double searchTargetMs = 16;
constexpr double repaintTargetMs = 8;

double seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

void skip(benchmark::State &state, const QString &why)
{
    state.SkipWithError(why.toLocal8Bit().constData());
}

qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

std::string nameOf(const char *kind, int entries, int files)
{
    return std::string(kind) + '/' + std::to_string(entries) + '/' + std::to_string(files);
}

// Which of a pair goes first: it changes from one measurement to the next,
// across repetitions too, so neither side always follows the other.
bool alternate()
{
    static bool first = false;
    first = !first;
    return first;
}

struct PaintRig;

// Everything the benchmarks share; made in main, torn down before the application.
struct Rig
{
    std::unique_ptr<vsBench::CatalogueFactory> factory;
    QStringList childEnvironment;

    std::unique_ptr<vsMainWindow> window;
    QListView *list = nullptr;
    const Catalogue *windowCatalogue = nullptr;
    QString windowProblem;

    std::unique_ptr<PaintRig> paint;
};
Rig *rig = nullptr;

const Catalogue *generatedOrSkip(benchmark::State &state, int entries, int files)
{
    const Catalogue *catalogue = rig->factory->generated(entries, files);
    if (!catalogue)
        skip(state, rig->factory->error());
    return catalogue;
}

// Loading --------------------------------------------------------------------

// What loadData does: a new model, then every data file of the folder.
// Returns the rows loaded, the time taken and the heap the model holds.
int loadOnce(const Catalogue &catalogue, double *milliseconds, qint64 *heap)
{
    const qint64 heapBefore = heapInUse();
    const auto start = Clock::now();
    auto *model = new vsDataModel(nullptr);
    vsCatalogueLoader::loadFolder(catalogue.dataFolder, model);
    const auto end = Clock::now();
    *heap = heapInUse() - heapBefore;
    *milliseconds = seconds(end - start) * 1e3;
    const int rows = model->rowCount();
    delete model;
    // Hand the freed entries back, so the next load starts from a heap like a
    // fresh program's instead of sorting through this one's remains.
    malloc_trim(0);
    return rows;
}

// The least any loader must do with the same files: read them, qUncompress the
// payload and let QXmlStreamReader tokenize the document, attributes and all.
// Returns the start tags seen.
qint64 floorOnce(const Catalogue &catalogue, double *milliseconds)
{
    const auto start = Clock::now();
    const QDir folder(catalogue.dataFolder);
    qint64 elements = 0;
    for (const QString &name : vsCatalogueLoader::dataFileNames(folder)) {
        QFile file(folder.absoluteFilePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QByteArray document = qUncompress(vsVdbFormat::payloadOf(file.readAll()));
        // Through a device the reader decodes a block at a time: faster and
        // leaner than handing it the whole array.
        QBuffer device(&document);
        device.open(QIODevice::ReadOnly);
        QXmlStreamReader reader(&device);
        while (!reader.atEnd()) {
            if (reader.readNext() == QXmlStreamReader::StartElement)
                ++elements;
        }
    }
    *milliseconds = seconds(Clock::now() - start) * 1e3;
    malloc_trim(0);
    return elements;
}

// Each iteration loads the catalogue and runs the floor over the same files,
// in alternating order, so that both meet the same moment of a noisy machine.
// The time is the load's; the counters hold the floor and their ratio.
void loadCatalogue(benchmark::State &state, int entries, int files)
{
    const Catalogue *catalogue = generatedOrSkip(state, entries, files);
    if (!catalogue)
        return;
    double loadSum = 0;
    double floorSum = 0;
    qint64 heap = 0;
    for (auto _ : state) {
        const bool floorFirst = alternate();
        double load = 0;
        double floor = 0;
        qint64 elements = 0;
        if (floorFirst)
            elements = floorOnce(*catalogue, &floor);
        const int rows = loadOnce(*catalogue, &load, &heap);
        if (!floorFirst)
            elements = floorOnce(*catalogue, &floor);
        if (rows != catalogue->entries) {
            skip(state, QStringLiteral("%1: loaded %2 of %3 entries")
                            .arg(catalogue->label)
                            .arg(rows)
                            .arg(catalogue->entries));
            return;
        }
        // One root element per file besides the items.
        if (elements != catalogue->entries + catalogue->files) {
            skip(state,
                 QStringLiteral("%1: the floor scanned %2 elements").arg(catalogue->label).arg(elements));
            return;
        }
        loadSum += load;
        floorSum += floor;
        state.SetIterationTime(load / 1e3);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * catalogue->xmlBytes);
    state.counters["floor_ms"] = floorSum / double(state.iterations());
    state.counters["ratio"] = loadSum / floorSum;
    state.counters["heap_per_entry"] = double(heap) / catalogue->entries;
}

// Start-up and memory: the real program --------------------------------------

// Each iteration starts the program with the catalogue and with an empty data
// folder, in alternating order; the time is the catalogue's, the counters hold
// what it adds to the empty start in time and in peak memory.
void startProgram(benchmark::State &state, const Catalogue *catalogue)
{
    const Catalogue *empty = rig->factory->empty();
    if (!catalogue || !empty) {
        skip(state, rig->factory->error());
        return;
    }
    const bool alone = catalogue == empty;
    double aboveSum = 0;
    double rssSum = 0;
    double rssAboveSum = 0;
    for (auto _ : state) {
        const bool emptyFirst = alternate();
        vsBench::FirstPaint floor;
        if (!alone && emptyFirst)
            floor = vsBench::startToFirstPaint(empty->program, rig->childEnvironment, 60000);
        const vsBench::FirstPaint run =
            vsBench::startToFirstPaint(catalogue->program, rig->childEnvironment, 60000);
        if (!alone && !emptyFirst)
            floor = vsBench::startToFirstPaint(empty->program, rig->childEnvironment, 60000);
        const QString error = !run.error.isEmpty() ? run.error : floor.error;
        if (!error.isEmpty()) {
            skip(state, error);
            return;
        }
        if (alone)
            floor = run;
        aboveSum += run.milliseconds - floor.milliseconds;
        rssSum += double(run.peakRssBytes) / 1e6;
        rssAboveSum += double(run.peakRssBytes - floor.peakRssBytes) / 1e6;
        state.SetIterationTime(run.milliseconds / 1e3);
    }
    const double iterations = double(state.iterations());
    state.counters["above_empty_ms"] = aboveSum / iterations;
    state.counters["peak_rss_MB"] = rssSum / iterations;
    state.counters["rss_above_empty_MB"] = rssAboveSum / iterations;
}

// Search: the real window over 100,000 rows ----------------------------------

bool searchWindowReady(benchmark::State &state)
{
    if (!rig->window && rig->windowProblem.isEmpty()) {
        const Catalogue *catalogue = rig->factory->generated(searchSize, 1);
        if (!catalogue) {
            rig->windowProblem = rig->factory->error();
        } else {
            auto window = std::make_unique<vsMainWindow>(nullptr);
            window->setDataFolder(catalogue->dataFolder);
            QListView *list = nullptr;
            if (!window->setup()) {
                rig->windowProblem = QStringLiteral("the main window's setup failed");
            } else {
                // As the program shows it.
                window->resize(800, 480);
                window->show();
                list = window->findChild<QListView *>(QStringLiteral("listView"));
                if (!QTest::qWaitForWindowExposed(window.get()) || !list)
                    rig->windowProblem = QStringLiteral("the main window did not come up");
                else if (list->model()->rowCount() != catalogue->entries)
                    rig->windowProblem = QStringLiteral("the window shows %1 of %2 rows")
                                             .arg(list->model()->rowCount())
                                             .arg(catalogue->entries);
            }
            if (rig->windowProblem.isEmpty()) {
                rig->window = std::move(window);
                rig->list = list;
                rig->windowCatalogue = catalogue;
            }
        }
    }
    if (!rig->windowProblem.isEmpty())
        skip(state, rig->windowProblem);
    return rig->window != nullptr;
}

// The floor: the same codes in a plain vector, searched the same way.
int floorScan(const QVector<QString> &codes, const QString &needle)
{
    for (int row = 0; row < codes.size(); ++row) {
        if (codes.at(row).indexOf(needle, 0, Qt::CaseSensitive) != -1)
            return row;
    }
    return -1;
}

// The fourth digit of a code whose first three matched earlier rows: that
// keypress scans to the last row, or through every row without a match. The
// floor runs right after each keypress; the counters hold it and the ratio.
void searchKeypress(benchmark::State &state, bool lastRow)
{
    if (!searchWindowReady(state))
        return;
    vsMainWindow *window = rig->window.get();
    QItemSelectionModel *selection = rig->list->selectionModel();
    const int expected = lastRow ? rig->windowCatalogue->entries - 1 : -1;
    const QString digit = QString(QLatin1Char(lastRow ? vsBench::lastRowCode[4] : vsBench::absentCode[4]));
    const QString needle = QLatin1String(lastRow ? vsBench::lastRowCode : vsBench::absentCode);
    double keypressSum = 0;
    double floorSum = 0;
    for (auto _ : state) {
        window->onTimeOut();
        for (int typed = 1; typed < 4; ++typed)
            window->onNumberClicked(QString(QLatin1Char(vsBench::lastRowCode[typed])));
        const QModelIndexList before = selection->selectedIndexes();
        const auto start = Clock::now();
        window->onNumberClicked(digit);
        const auto end = Clock::now();
        const QModelIndexList after = selection->selectedIndexes();
        const bool found = lastRow ? after.size() == 1 && after.first().row() == expected : after == before;

        const auto floorStart = Clock::now();
        const int floorFound = floorScan(rig->windowCatalogue->codes, needle);
        const auto floorEnd = Clock::now();
        if (!found || floorFound != expected) {
            skip(state, QStringLiteral("the search selected the wrong row"));
            return;
        }
        keypressSum += seconds(end - start);
        floorSum += seconds(floorEnd - floorStart);
        state.SetIterationTime(seconds(end - start));
        // Let the window catch up with its scroll and banner, as it would between keys.
        QCoreApplication::processEvents();
    }
    state.counters["floor_ms"] = floorSum * 1e3 / double(state.iterations());
    state.counters["ratio"] = keypressSum / floorSum;
}

// searchItem's own loop over the model, without the slot around it.
void searchModelScan(benchmark::State &state, bool lastRow)
{
    if (!searchWindowReady(state))
        return;
    const QAbstractItemModel *model = rig->list->model();
    const QString needle = QLatin1String(lastRow ? vsBench::lastRowCode : vsBench::absentCode);
    int found = -1;
    for (auto _ : state) {
        found = -1;
        const int rows = model->rowCount(QModelIndex());
        for (int row = 0; row < rows; ++row) {
            const QModelIndex index = model->index(row, 0, QModelIndex());
            if (index.data(vsDataModel::CodeRole).toString().indexOf(needle, 0, Qt::CaseSensitive) != -1) {
                found = row;
                break;
            }
        }
        benchmark::DoNotOptimize(found);
    }
    if (found != (lastRow ? rig->windowCatalogue->entries - 1 : -1))
        skip(state, QStringLiteral("the model scan found row %1").arg(found));
}

// Name search: the same 100,000 rows ---------------------------------------------

// A label's two words, and one word that no entry holds: every text is scanned.
const char *nameQuery(bool found)
{
    return found ? "желтый солнечный" : "щщщ";
}

// vsNameIndex::match for the last keystroke of the query. The floor is a plain
// scan of the prepared texts for its longest word.
void nameSearchMatch(benchmark::State &state, bool found)
{
    if (!searchWindowReady(state))
        return;
    const vsNameIndex index(rig->list->model());
    const auto prepareStart = Clock::now();
    const QVector<vsNameIndex::Entry> &texts = index.entries();
    const double prepare = seconds(Clock::now() - prepareStart);
    const QString query = QString::fromUtf8(nameQuery(found));
    const QString longest = vsNameIndex::queryWords(query).value(0);
    double matchSum = 0;
    double floorSum = 0;
    int matches = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        matches = index.match(query).size();
        const auto end = Clock::now();
        int floorMatches = 0;
        const auto floorStart = Clock::now();
        for (const vsNameIndex::Entry &entry : texts)
            floorMatches += entry.text.contains(longest) ? 1 : 0;
        const auto floorEnd = Clock::now();
        benchmark::DoNotOptimize(floorMatches);
        matchSum += seconds(end - start);
        floorSum += seconds(floorEnd - floorStart);
        state.SetIterationTime(seconds(end - start));
    }
    if (found != (matches > 0)) {
        skip(state, QStringLiteral("the name search found %1 entries").arg(matches));
        return;
    }
    state.counters["prepare_ms"] = prepare * 1e3;
    state.counters["floor_ms"] = floorSum * 1e3 / double(state.iterations());
    state.counters["ratio"] = matchSum / floorSum;
    state.counters["matches"] = matches;
}

// The whole keystroke in the window: matching, the result rows, the selection.
void nameSearchKeystroke(benchmark::State &state)
{
    if (!searchWindowReady(state))
        return;
    auto *search = rig->window->findChild<vsNameSearch *>();
    if (!search) {
        skip(state, QStringLiteral("the window has no name search"));
        return;
    }
    const QString query = QString::fromUtf8(nameQuery(true));
    search->onQueryChanged(query); // prepares the texts outside the measurement
    for (auto _ : state) {
        search->onQueryChanged(query.chopped(1));
        const auto start = Clock::now();
        search->onQueryChanged(query);
        state.SetIterationTime(seconds(Clock::now() - start));
    }
}

// Painting --------------------------------------------------------------------

// What a row shows, as the delegate reads it.
struct RowTexts
{
    bool header = false;
    QString code;
    QString name;
    QString function;
};

RowTexts textsOf(const QModelIndex &index)
{
    RowTexts texts;
    texts.header = index.data(vsDataModel::TypeRole).toString() == QLatin1String("header");
    texts.code = index.data(vsDataModel::CodeRole).toString();
    if (texts.header) {
        texts.code = texts.code.toUpper();
        return texts;
    }
    const QStringList names = index.data(vsDataModel::NamesRole).toString().split(QLatin1Char(':'));
    texts.name = names.first();
    const QStringList functions = index.data(vsDataModel::FunctionsRole).toString().split(QLatin1Char(':'));
    texts.function = functions.size() >= 2 ? functions.at(1) : QString();
    return texts;
}

// The floor of painting: a black row and its texts in their fonts, nothing else.
struct TextPainter
{
    QFont codeFont;
    QFont nameFont;
    QFont functionFont;
    QFont headerFont;
    int codeWidth = 0;

    explicit TextPainter(const QFont &base)
    {
        const QString family = QString::fromLatin1(vsPlatform::systemFontFamily);
        codeFont = base;
        codeFont.setFamily(family);
        codeFont.setPointSize(20);
        codeFont.setWeight(QFont::Bold);
        nameFont = codeFont;
        nameFont.setWeight(QFont::Normal);
        nameFont.setPointSize(16);
        functionFont = nameFont;
        functionFont.setPointSize(12);
        headerFont = codeFont;
        headerFont.setPointSize(11);
        codeWidth = QFontMetrics(codeFont).horizontalAdvance(QStringLiteral("E9999")) + 30;
    }

    void paint(QPainter *painter, const QRect &rect, const RowTexts &texts) const
    {
        painter->save();
        painter->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        painter->fillRect(rect, Qt::black);
        const int left = rect.left();
        const int top = rect.top();
        const int width = rect.width();
        const int height = rect.height();
        if (texts.header) {
            painter->setFont(headerFont);
            painter->setPen(QColor(0, 0, 20));
            painter->drawText(QRect(left + 10, top + 30, width - 20, 30), textAlignment, texts.code);
        } else {
            painter->setFont(codeFont);
            painter->setPen(Qt::black);
            painter->drawText(QRect(left + 10, top, codeWidth, height), textAlignment, texts.code);
            painter->setFont(nameFont);
            painter->setPen(Qt::white);
            painter->drawText(QRect(left + codeWidth + 15, top, width - codeWidth - 50, height / 2),
                              textAlignment, texts.name);
            painter->setFont(functionFont);
            painter->setPen(QColor(180, 180, 255));
            painter->drawText(
                QRect(left + codeWidth + 15, top + height / 2, width - codeWidth - 50, height / 2),
                textAlignment, texts.function);
        }
        painter->restore();
    }
};

// One ordinary row and one group title of the bundled catalogue.
struct PaintRig
{
    vsDataModel model;
    vsDataDelegate delegate;
    QModelIndex entry;
    QModelIndex header;
    QString problem;

    PaintRig()
    {
        const Catalogue *bundled = rig->factory->bundled();
        if (!bundled) {
            problem = rig->factory->error();
            return;
        }
        vsCatalogueLoader::loadFolder(bundled->dataFolder, &model);
        for (int row = 0; row < model.rowCount(); ++row) {
            const QModelIndex index = model.index(row, 0);
            const RowTexts texts = textsOf(index);
            if (texts.header && !header.isValid())
                header = index;
            // A row that shows both a name and a function.
            if (!texts.header && !entry.isValid() && !texts.name.isEmpty() && !texts.function.isEmpty())
                entry = index;
        }
        if (!entry.isValid() || !header.isValid())
            problem = QStringLiteral("the bundled catalogue lacks an ordinary row or a group title");
    }
};

PaintRig *paintRig(benchmark::State &state)
{
    if (!rig->paint)
        rig->paint = std::make_unique<PaintRig>();
    if (!rig->paint->problem.isEmpty()) {
        skip(state, rig->paint->problem);
        return nullptr;
    }
    return rig->paint.get();
}

// Wide as the list in the 800-pixel window, high as one row.
QImage rowImage()
{
    QImage image(790, rowHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    return image;
}

void paintRow(benchmark::State &state, bool header)
{
    PaintRig *paint = paintRig(state);
    if (!paint)
        return;
    QImage image = rowImage();
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = image.rect();
    option.state = QStyle::State_Enabled;
    const QModelIndex index = header ? paint->header : paint->entry;
    for (auto _ : state)
        paint->delegate.paint(&painter, option, index);
}

void paintRowFloor(benchmark::State &state, bool header)
{
    PaintRig *paint = paintRig(state);
    if (!paint)
        return;
    QImage image = rowImage();
    QPainter painter(&image);
    const TextPainter texts(painter.font());
    const RowTexts row = textsOf(header ? paint->header : paint->entry);
    for (auto _ : state)
        texts.paint(&painter, image.rect(), row);
}

int visibleRows(const QWidget *viewport)
{
    return (viewport->height() + rowHeight - 1) / rowHeight;
}

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The whole list as the window shows it, rows from the top.
void paintViewport(benchmark::State &state)
{
    if (!searchWindowReady(state))
        return;
    QWidget *viewport = rig->list->viewport();
    rig->list->scrollToTop();
    QCoreApplication::processEvents();
    PaintCounter counter;
    viewport->installEventFilter(&counter);
    for (auto _ : state)
        viewport->repaint();
    viewport->removeEventFilter(&counter);
    if (counter.paints < state.iterations()) {
        skip(state, QStringLiteral("the viewport painted %1 times in %2 repaints")
                        .arg(counter.paints)
                        .arg(state.iterations()));
        return;
    }
    state.counters["rows"] = visibleRows(viewport);
}

// The same visible rows, texts only, straight into an image of the viewport's size.
void paintViewportFloor(benchmark::State &state)
{
    if (!searchWindowReady(state))
        return;
    const QWidget *viewport = rig->list->viewport();
    const QAbstractItemModel *model = rig->list->model();
    QVector<RowTexts> rows;
    for (int row = 0; row < visibleRows(viewport) && row < model->rowCount(); ++row)
        rows << textsOf(model->index(row, 0));
    QImage image(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    const TextPainter texts(viewport->font());
    for (auto _ : state) {
        for (int row = 0; row < rows.size(); ++row)
            texts.paint(&painter, QRect(0, row * rowHeight, image.width(), rowHeight), rows.at(row));
    }
}

// Ingredient lists ---------------------------------------------------------------

constexpr int labelLength = 2000;
constexpr int labelPictureWidth = 1300;
constexpr double analyseTargetMs = 5;
constexpr double ocrTargetMs = 3000;

// The written labels one after another, cut at 2,000 characters.
QString labelText()
{
    QString text;
    for (const vsLabelSet::Label &label :
         vsLabelSet::load(QStringLiteral(VESTRION_SOURCE_DIR "/tests/data/labels")))
        text += label.text;
    return text.left(labelLength);
}

void analyseLabel(benchmark::State &state)
{
    static vsDataModel catalogue;
    if (catalogue.rowCount() == 0)
        vsCatalogueLoader::loadFolder(QStringLiteral(VESTRION_BUILD_DIR "/data"), &catalogue);
    const QString text = labelText();
    if (catalogue.rowCount() == 0 || text.size() < labelLength)
        return skip(state, QStringLiteral("no catalogue or label set"));
    static vsLabelAnalyser analyser(&catalogue);
    analyser.analyse(text); // the names are prepared once, on first use
    int found = 0;
    for (auto _ : state)
        found = analyser.analyse(text).size();
    state.counters["additives"] = found;
}

void readLabelPicture(benchmark::State &state)
{
    vsOcr::setModulePath(QStringLiteral(VESTRION_BUILD_DIR "/libvestrion-ocr.so"));
    const QVector<vsLabelSet::Label> labels =
        vsLabelSet::load(QStringLiteral(VESTRION_SOURCE_DIR "/tests/data/labels"));
    if (labels.isEmpty())
        return skip(state, QStringLiteral("no label set"));
    const QImage picture = vsLabelSet::render(labels.first().text, labelPictureWidth, 1.5, 3);
    QString text;
    // The first picture also loads the engine and its models.
    const auto first = Clock::now();
    if (vsOcr::recognise(picture, &text) != vsOcr::Done)
        return skip(state, QStringLiteral("OCR unavailable: ") + vsOcr::unavailableReason());
    const double firstMs = std::chrono::duration<double, std::milli>(Clock::now() - first).count();
    for (auto _ : state) {
        const auto begin = Clock::now();
        vsOcr::recognise(picture, &text);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
    }
    state.counters["first_ms"] = firstMs;
    state.counters["height"] = picture.height();
}

// Registration ------------------------------------------------------------------

void registerAll(int repetitions)
{
    for (int entries : sizes) {
        // Fewer iterations where one already takes a while.
        const int iterations = entries >= 100000 ? 1 : entries >= 10000 ? 3 : 20;
        for (int files : splits) {
            benchmark::RegisterBenchmark(
                nameOf("load", entries, files).c_str(),
                [entries, files](benchmark::State &state) { loadCatalogue(state, entries, files); })
                ->UseManualTime()
                ->Iterations(iterations)
                ->Repetitions(repetitions)
                ->Unit(benchmark::kMillisecond);
        }
    }

    // A start takes some 50 ms and a small catalogue adds a few: they need
    // more pairs than the large ones, whose share stands out of the noise.
    auto start = [repetitions](const std::string &name, int iterations,
                               std::function<const Catalogue *()> catalogue) {
        benchmark::RegisterBenchmark(
            name.c_str(), [catalogue](benchmark::State &state) { startProgram(state, catalogue()); })
            ->UseManualTime()
            ->Iterations(iterations)
            ->Repetitions(repetitions)
            ->Unit(benchmark::kMillisecond);
    };
    start("start/empty", 3, [] { return rig->factory->empty(); });
    start("start/bundled", 3, [] { return rig->factory->bundled(); });
    for (int entries : sizes) {
        for (int files : splits)
            start(nameOf("start", entries, files), entries >= 100000 ? 1 : 3,
                  [entries, files] { return rig->factory->generated(entries, files); });
    }

    for (bool lastRow : {true, false}) {
        const std::string which = lastRow ? "last" : "none";
        benchmark::RegisterBenchmark(("search/" + which).c_str(),
                                     [lastRow](benchmark::State &state) { searchKeypress(state, lastRow); })
            ->UseManualTime()
            ->Iterations(10)
            ->Repetitions(repetitions)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("search/model-" + which).c_str(),
                                     [lastRow](benchmark::State &state) { searchModelScan(state, lastRow); })
            ->Iterations(10)
            ->Repetitions(repetitions)
            ->Unit(benchmark::kMillisecond);
    }

    for (bool found : {true, false}) {
        benchmark::RegisterBenchmark(found ? "namesearch/words" : "namesearch/none",
                                     [found](benchmark::State &state) { nameSearchMatch(state, found); })
            ->UseManualTime()
            ->Iterations(10)
            ->Repetitions(repetitions)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("namesearch/keystroke", nameSearchKeystroke)
        ->UseManualTime()
        ->Iterations(10)
        ->Repetitions(repetitions)
        ->Unit(benchmark::kMillisecond);

    for (bool header : {false, true}) {
        const std::string which = header ? "header" : "row";
        benchmark::RegisterBenchmark(("paint/" + which).c_str(),
                                     [header](benchmark::State &state) { paintRow(state, header); })
            ->MinTime(0.1)
            ->Repetitions(repetitions)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("paint/" + which + "-floor").c_str(),
                                     [header](benchmark::State &state) { paintRowFloor(state, header); })
            ->MinTime(0.1)
            ->Repetitions(repetitions)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("paint/viewport", paintViewport)
        ->MinTime(0.2)
        ->Repetitions(repetitions)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("paint/viewport-floor", paintViewportFloor)
        ->MinTime(0.2)
        ->Repetitions(repetitions)
        ->Unit(benchmark::kMicrosecond);

    benchmark::RegisterBenchmark("label/analyse", analyseLabel)
        ->MinTime(0.2)
        ->Repetitions(repetitions)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("label/ocr", readLabelPicture)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(std::min(repetitions, 3))
        ->Unit(benchmark::kMillisecond);
}

// The table --------------------------------------------------------------------

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

double milliseconds(const vsBench::Median &median)
{
    return median.present ? median.milliseconds : nan;
}

double counter(const vsBench::Median &median, const char *name)
{
    const auto found = median.counters.find(name);
    return median.present && found != median.counters.end() ? found->second : nan;
}

std::string verdict(double value, double target, bool below = true)
{
    if (!std::isfinite(value))
        return "n/a";
    return (below ? value < target : value <= target) ? "met" : "MISSED";
}

// A figure, or the error that kept it from being measured.
std::string figure(const vsBench::Median &median, double value, int decimals)
{
    if (!median.error.empty())
        return "error: " + median.error;
    return vsBench::number(value, decimals);
}

std::string readFirstLine(const char *path, const char *prefix)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return "unknown";
    // Files under /proc report no size, so read them whole rather than to atEnd.
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith(prefix)) {
            const int colon = line.indexOf(':');
            return (colon >= 0 ? line.mid(colon + 1) : line).trimmed().toStdString();
        }
    }
    return "unknown";
}

std::string loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return "unknown";
    return file.readLine().split(' ').mid(0, 3).join(' ').toStdString();
}

void printTables(const vsBench::MedianCollector &results, int repetitions, const std::string &loadBefore)
{
    using vsBench::number;
    std::ostream &out = std::cout;
    const QString platform = QGuiApplication::platformName();
    out << "\n## Vestrion benchmarks\n\n"
        << "Machine: " << readFirstLine("/proc/cpuinfo", "model name") << ", " << QThread::idealThreadCount()
        << " cores, " << QSysInfo::prettyProductName().toStdString() << ", Qt " << qVersion() << " ("
        << platform.toStdString() << "), GCC " << __VERSION__ << ".\n"
        << "Load average before / after: " << loadBefore << " / " << loadAverage() << ". Medians of "
        << repetitions << " interleaved repetitions; every ratio pairs the figure with its floor measured "
        << "right beside it. " << QDateTime::currentDateTime().toString(Qt::ISODate).toStdString() << ".\n";

    if (results.ranAny("load/")) {
        out << "\n### Loading: loadData's work vs. read + qUncompress + QXmlStreamReader token scan"
               " of the same files\n\n";
        vsBench::TextTable loading({"catalogue", "XML MB", "load ms", "floor ms", "load MB/s", "floor MB/s",
                                    "load/floor", "target <= 1.5"});
        for (int entries : sizes) {
            for (int files : splits) {
                const Catalogue *catalogue = rig->factory->existing(entries, files);
                const double xml = catalogue ? double(catalogue->xmlBytes) / 1e6 : nan;
                const vsBench::Median load = results.median(nameOf("load", entries, files));
                const double floor = counter(load, "floor_ms");
                const double ratio = counter(load, "ratio");
                loading.add({vsBench::CatalogueFactory::labelFor(entries, files).toStdString(),
                             number(xml, 1), figure(load, milliseconds(load), 1), number(floor, 1),
                             number(xml / milliseconds(load) * 1e3, 0), number(xml / floor * 1e3, 0),
                             number(ratio, 2), verdict(ratio, loadRatioTarget, false)});
            }
        }
        loading.print(out);
    }

    const vsBench::Median empty = results.median("start/empty");
    if (results.ranAny("start/")) {
        out << "\n### Memory: peak RSS of the real program, above its own with an empty data folder\n\n";
        vsBench::TextTable memory({"catalogue", "XML MB", "peak RSS MB", "above empty MB", "B/entry", "x XML",
                                   "model heap B/entry", "target < 4x at 100k"});
        memory.add({"empty", "0", figure(empty, counter(empty, "peak_rss_MB"), 1), "", "", "", "", ""});
        for (int entries : sizes) {
            for (int files : splits) {
                const Catalogue *catalogue = rig->factory->existing(entries, files);
                const vsBench::Median start = results.median(nameOf("start", entries, files));
                const double above = counter(start, "rss_above_empty_MB");
                const double xml = catalogue ? double(catalogue->xmlBytes) / 1e6 : nan;
                const double heap = counter(results.median(nameOf("load", entries, files)), "heap_per_entry");
                memory.add({vsBench::CatalogueFactory::labelFor(entries, files).toStdString(), number(xml, 1),
                            figure(start, counter(start, "peak_rss_MB"), 1), number(above, 1),
                            number(above * 1e6 / entries, 0), number(above / xml, 2), number(heap, 0),
                            entries == 100000 ? verdict(above / xml, memoryRatioTarget) : ""});
            }
        }
        memory.print(out);

        out << "\n### Start-up: process start to the main window's first paint,"
               " above an empty data folder\n\n";
        vsBench::TextTable startup({"catalogue", "first paint ms", "above empty ms", "target"});
        startup.add({"empty (floor)", figure(empty, milliseconds(empty), 1), "", ""});
        const vsBench::Median bundled = results.median("start/bundled");
        const double bundledAbove = counter(bundled, "above_empty_ms");
        startup.add({"bundled", figure(bundled, milliseconds(bundled), 1), number(bundledAbove, 1),
                     "< +10 ms: " + verdict(bundledAbove, bundledStartTargetMs)});
        for (int entries : sizes) {
            for (int files : splits) {
                const vsBench::Median start = results.median(nameOf("start", entries, files));
                startup.add(
                    {vsBench::CatalogueFactory::labelFor(entries, files).toStdString(),
                     figure(start, milliseconds(start), 1), number(counter(start, "above_empty_ms"), 1),
                     entries == 100000 ? "< 1000 ms: " + verdict(milliseconds(start), largeStartTargetMs)
                                       : ""});
            }
        }
        startup.print(out);
    }

    if (results.ranAny("search/")) {
        out << "\n### Search: one keypress over 100,000 rows (onNumberClicked with the fourth digit)"
               " vs. the same codes in a plain vector\n\n";
        vsBench::TextTable search(
            {"case", "keypress ms", "model scan ms", "floor ms", "keypress/floor", "target < 16 ms"});
        for (const std::string which : {"last", "none"}) {
            const vsBench::Median keypress = results.median("search/" + which);
            const vsBench::Median model = results.median("search/model-" + which);
            search.add({which == "last" ? "match in the last row" : "no match",
                        figure(keypress, milliseconds(keypress), 2), figure(model, milliseconds(model), 2),
                        number(counter(keypress, "floor_ms"), 2), number(counter(keypress, "ratio"), 1),
                        verdict(milliseconds(keypress), searchTargetMs)});
        }
        search.print(out);
    }

    if (results.ranAny("namesearch/")) {
        out << "\n### Name search: one keystroke over 100,000 entries vs. a plain scan of the prepared"
               " texts for its longest word\n\n";
        vsBench::TextTable names({"case", "match ms", "floor ms", "match/floor", "window keystroke ms",
                                  "prepare once ms", "target < 16 ms"});
        const vsBench::Median keystroke = results.median("namesearch/keystroke");
        for (const std::string which : {"words", "none"}) {
            const vsBench::Median match = results.median("namesearch/" + which);
            const bool words = which == "words";
            names.add({words ? "name search: two words of a name" : "name search: no match",
                       figure(match, milliseconds(match), 2), number(counter(match, "floor_ms"), 2),
                       number(counter(match, "ratio"), 1),
                       words ? figure(keystroke, milliseconds(keystroke), 2) : "",
                       number(counter(match, "prepare_ms"), 0),
                       verdict(words ? milliseconds(keystroke) : milliseconds(match), searchTargetMs)});
        }
        names.print(out);
    }

    if (results.ranAny("paint/")) {
        out << "\n### Painting: vsDataDelegate::paint into a QImage vs. the same texts alone on black\n\n";
        vsBench::TextTable painting({"what", "us", "floor us", "ratio", "target"});
        for (const std::string which : {"row", "header", "viewport"}) {
            const vsBench::Median paint = results.median("paint/" + which);
            const vsBench::Median floor = results.median("paint/" + which + "-floor");
            const std::string what =
                which == "row"      ? "ordinary row (790x70)"
                : which == "header" ? "header row (790x70)"
                                    : "full list repaint (" + number(counter(paint, "rows"), 0) + " rows)";
            painting.add(
                {what, figure(paint, milliseconds(paint) * 1e3, 0),
                 figure(floor, milliseconds(floor) * 1e3, 0),
                 number(milliseconds(paint) / milliseconds(floor), 1),
                 which == "viewport" ? "< 8 ms: " + verdict(milliseconds(paint), repaintTargetMs) : ""});
        }
        painting.print(out);
    }
    if (results.ranAny("label/")) {
        out << "\n### Ingredient lists: the label set's text, and a label picture read by OCR\n\n";
        vsBench::TextTable label({"what", "ms", "note", "target"});
        const vsBench::Median analyse = results.median("label/analyse");
        label.add({"analysing a 2,000-character list", figure(analyse, milliseconds(analyse), 3),
                   number(counter(analyse, "additives"), 0) + " additives found",
                   "< 5 ms: " + verdict(milliseconds(analyse), analyseTargetMs)});
        const vsBench::Median ocr = results.median("label/ocr");
        label.add({"OCR of a 1,300-px-wide label picture", figure(ocr, milliseconds(ocr), 0),
                   "first picture with model loading: " + number(counter(ocr, "first_ms"), 0) + " ms",
                   "< 3 s: " + verdict(milliseconds(ocr), ocrTargetMs)});
        label.print(out);
    }
    out << std::flush;
}

} // namespace

int main(int argc, char *argv[])
{
    // Interleaving spreads the machine's noise over every benchmark alike;
    // defaults come first so that the caller's flags win.
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char *> arguments{argv[0], interleave};
    int repetitions = 7;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--repetitions=", 14) == 0)
            repetitions = qMax(1, std::atoi(argv[i] + 14));
        else
            arguments.push_back(argv[i]);
    }
    int count = int(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());

    // Never the real system bus, never the user's settings.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QByteArray bus = "unix:path=/nonexistent/vestrion-bench-bus";
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus);
    QTemporaryDir config;
    if (!config.isValid()) {
        std::cerr << "no temporary folder for settings\n";
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QCoreApplication::setOrganizationName(QStringLiteral("Morvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Vestrion"));
    QApplication app(count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data()))
        return 1;

    Rig shared;
    rig = &shared;
    shared.factory = std::make_unique<vsBench::CatalogueFactory>(
        QStringLiteral(VESTRION_SOURCE_DIR "/data"), QStringLiteral(VESTRION_BUILD_DIR "/data"),
        QStringLiteral(VESTRION_BUILD_DIR "/vestrion"));
    if (!shared.factory->error().isEmpty()) {
        std::cerr << "cannot make catalogues: " << shared.factory->error().toStdString() << '\n';
        return 1;
    }
    shared.childEnvironment =
        QStringList{QStringLiteral("QT_QPA_PLATFORM=") + QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")),
                    QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS=") + QString::fromLatin1(bus),
                    QStringLiteral("XDG_CONFIG_HOME=") + config.path()};

    registerAll(repetitions);
    const std::string loadBefore = loadAverage();
    vsBench::MedianCollector results;
    // The running report goes to standard error, the summary table to standard output.
    results.SetOutputStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&results);
    printTables(results, repetitions, loadBefore);
    // The window, the painting rig and then the catalogues go with shared, before the application.
    return 0;
}
