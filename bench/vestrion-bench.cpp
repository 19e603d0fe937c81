// Benchmarks at catalogue scale: loading, memory, start-up, code search, name
// search and row painting, with catalogues of 1,000 to 100,000 entries in one
// file and in ten. Repetitions run interleaved with the others, and each figure
// has a floor measured right beside it (counters floor_ms or floor_us, and
// their ratio), because the machine is shared and its absolute speed says
// little. Google Benchmark prints the table: medians are the rows named
// *_median.

#include "benchcatalogue.h"
#include "labelset.h"
#include "testsupport.h"

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsdatamodel.h"
#include "catalogue/vsvdbformat.h"
#include "label/vslabelanalyser.h"
#include "label/vsocr.h"
#include "list/vsdatadelegate.h"
#include "mainwindow/vsmainwindow.h"
#include "platform/vslook.h"
#include "search/vsnameindex.h"
#include "search/vsnamesearch.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QItemSelectionModel>
#include <QListView>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <iostream>
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

// Seconds the work takes.
template <typename Work> double timed(Work work)
{
    const auto start = Clock::now();
    work();
    return seconds(Clock::now() - start);
}

// Seconds the work and its floor take, run in alternating order so that both
// meet the same moment of a noisy machine.
template <typename Work, typename Floor> std::pair<double, double> timedBeside(Work work, Floor floor)
{
    if (alternate()) {
        const double floorTime = timed(floor);
        return {timed(work), floorTime};
    }
    const double workTime = timed(work);
    return {workTime, timed(floor)};
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
    state.counters["xml_MB"] = double(catalogue->xmlBytes) / 1e6;
    state.counters["floor_ms"] = floorSum / double(state.iterations());
    state.counters["ratio"] = loadSum / floorSum;
    state.counters["heap_B_per_entry"] = double(heap) / catalogue->entries;
}

// Start-up and memory: the real program --------------------------------------

struct FirstPaint
{
    QString error;           // empty when both figures are good
    double milliseconds = 0; // from just before the start to the first paint
    qint64 peakRssBytes = 0; // the program's own peak resident set
};

// The program's peak RSS cannot come from this process's wait: a child
// inherits the high-water mark of its parent's memory at exec. A small
// forking parent in between, GNU time, reports the program's own.
FirstPaint startToFirstPaint(const QString &program)
{
    FirstPaint result;
    const QString time = QStringLiteral("/usr/bin/time");
    if (!QFile::exists(time)) {
        result.error = QStringLiteral("GNU time (/usr/bin/time) is missing");
        return result;
    }
    const vsTest::ProgramRun run = vsTest::runToFirstPaint(rig->childEnvironment, program, 60000,
                                                           {time, QStringLiteral("-fvestrion-peak-rss %M")});
    static const QRegularExpression rssMark(QStringLiteral("(?:^|\\n)vestrion-peak-rss (\\d+)\\n"));
    const QRegularExpressionMatch rss = rssMark.match(QString::fromLocal8Bit(run.errors));
    if (!run.finished || run.exitCode != 0)
        result.error =
            QStringLiteral("%1 ended badly: %2").arg(program, QString::fromLocal8Bit(run.errors.right(300)));
    else if (run.startupMs < 0 || !rss.hasMatch())
        result.error = QStringLiteral("%1 printed no first-paint or peak-RSS mark").arg(program);
    result.milliseconds = run.startupMs;
    result.peakRssBytes = rss.captured(1).toLongLong() * 1024;
    return result;
}

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
        FirstPaint floor;
        if (!alone && emptyFirst)
            floor = startToFirstPaint(empty->program);
        const FirstPaint run = startToFirstPaint(catalogue->program);
        if (!alone && !emptyFirst)
            floor = startToFirstPaint(empty->program);
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
    // Memory against the catalogue's size: the target is below 4 x XML.
    if (!alone && catalogue->xmlBytes > 0) {
        state.counters["rss_B_per_entry"] = rssAboveSum * 1e6 / iterations / catalogue->entries;
        state.counters["rss_x_xml"] = rssAboveSum * 1e6 / iterations / double(catalogue->xmlBytes);
    }
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

// Sets the time per iteration and the floor's counters from the sums of a pair.
void reportBeside(benchmark::State &state, double workSum, double floorSum)
{
    state.counters["floor_us"] = floorSum * 1e6 / double(state.iterations());
    state.counters["ratio"] = workSum / floorSum;
}

// One row through the delegate; the floor paints its texts alone.
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
    const TextPainter texts(painter.font());
    const RowTexts row = textsOf(index);
    double paintSum = 0;
    double floorSum = 0;
    for (auto _ : state) {
        const auto [took, floor] = timedBeside([&] { paint->delegate.paint(&painter, option, index); },
                                               [&] { texts.paint(&painter, image.rect(), row); });
        paintSum += took;
        floorSum += floor;
        state.SetIterationTime(took);
    }
    reportBeside(state, paintSum, floorSum);
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

// The whole list as the window shows it, rows from the top. The floor paints
// the same visible rows, texts only, straight into an image of the viewport's size.
void paintViewport(benchmark::State &state)
{
    if (!searchWindowReady(state))
        return;
    QWidget *viewport = rig->list->viewport();
    rig->list->scrollToTop();
    QCoreApplication::processEvents();
    const QAbstractItemModel *model = rig->list->model();
    QVector<RowTexts> rows;
    for (int row = 0; row < visibleRows(viewport) && row < model->rowCount(); ++row)
        rows << textsOf(model->index(row, 0));
    QImage image(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    const TextPainter texts(viewport->font());
    const auto floor = [&] {
        for (int row = 0; row < rows.size(); ++row)
            texts.paint(&painter, QRect(0, row * rowHeight, image.width(), rowHeight), rows.at(row));
    };
    PaintCounter counter;
    viewport->installEventFilter(&counter);
    double paintSum = 0;
    double floorSum = 0;
    for (auto _ : state) {
        const auto [took, floorTime] = timedBeside([&] { viewport->repaint(); }, floor);
        paintSum += took;
        floorSum += floorTime;
        state.SetIterationTime(took);
    }
    viewport->removeEventFilter(&counter);
    if (counter.paints < state.iterations()) {
        skip(state, QStringLiteral("the viewport painted %1 times in %2 repaints")
                        .arg(counter.paints)
                        .arg(state.iterations()));
        return;
    }
    reportBeside(state, paintSum, floorSum);
    state.counters["rows"] = visibleRows(viewport);
}

// Ingredient lists ---------------------------------------------------------------

constexpr int labelLength = 2000;
constexpr int labelPictureWidth = 1300;

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

// Manual time in milliseconds, a fixed number of iterations.
void registerTimed(const std::string &name, int iterations, std::function<void(benchmark::State &)> run)
{
    benchmark::RegisterBenchmark(name.c_str(), std::move(run))
        ->UseManualTime()
        ->Iterations(iterations)
        ->Unit(benchmark::kMillisecond);
}

void registerAll()
{
    for (int entries : sizes) {
        // Fewer iterations where one already takes a while.
        const int iterations = entries >= 100000 ? 1 : entries >= 10000 ? 3 : 20;
        for (int files : splits)
            registerTimed(
                nameOf("load", entries, files), iterations,
                [entries, files](benchmark::State &state) { loadCatalogue(state, entries, files); });
    }

    // A start takes some 50 ms and a small catalogue adds a few: they need
    // more pairs than the large ones, whose share stands out of the noise.
    auto start = [](const std::string &name, int iterations, std::function<const Catalogue *()> catalogue) {
        registerTimed(name, iterations,
                      [catalogue](benchmark::State &state) { startProgram(state, catalogue()); });
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
        registerTimed("search/" + which, 10,
                      [lastRow](benchmark::State &state) { searchKeypress(state, lastRow); });
        benchmark::RegisterBenchmark(("search/model-" + which).c_str(),
                                     [lastRow](benchmark::State &state) { searchModelScan(state, lastRow); })
            ->Iterations(10)
            ->Unit(benchmark::kMillisecond);
    }

    for (bool found : {true, false})
        registerTimed(found ? "namesearch/words" : "namesearch/none", 10,
                      [found](benchmark::State &state) { nameSearchMatch(state, found); });
    registerTimed("namesearch/keystroke", 10, nameSearchKeystroke);

    for (bool header : {false, true}) {
        benchmark::RegisterBenchmark(header ? "paint/header" : "paint/row",
                                     [header](benchmark::State &state) { paintRow(state, header); })
            ->UseManualTime()
            ->MinTime(0.1)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("paint/viewport", paintViewport)
        ->UseManualTime()
        ->MinTime(0.2)
        ->Unit(benchmark::kMicrosecond);

    // Targets: analysing below 5 ms, a picture read below 3 s.
    benchmark::RegisterBenchmark("label/analyse", analyseLabel)->MinTime(0.2)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("label/ocr", readLabelPicture)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char *argv[])
{
    // Interleaved repetitions spread the machine's noise over every benchmark
    // alike, and the table shows their statistics; defaults come first so
    // that the caller's flags win.
    static char defaults[][48] = {"--benchmark_enable_random_interleaving=true", "--benchmark_repetitions=7",
                                  "--benchmark_display_aggregates_only=true",
                                  "--benchmark_counters_tabular=true"};
    std::vector<char *> arguments{argv[0]};
    for (char *flag : defaults)
        arguments.push_back(flag);
    arguments.insert(arguments.end(), argv + 1, argv + argc);
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

    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    // The window, the painting rig and then the catalogues go with shared, before the application.
    return 0;
}
