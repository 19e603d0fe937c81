// Benchmarks at catalogue scale: loading, memory, start-up, code search, name
// search and row painting, with catalogues of 1,000 to 100,000 entries in one
// file and in ten, and the label reader. Repetitions run interleaved with the
// others, and each figure has a floor measured right beside it (counters
// floor_ms or floor_us, and their ratio), because the machine is shared and
// its absolute speed says little. Google Benchmark prints the table: medians
// are the rows named *_median.

#include "labelset.h"
#include "testsupport.h"

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsdatamodel.h"
#include "catalogue/vsvdbformat.h"
#include "label/vslabelanalyser.h"
#include "label/vslabelvocabulary.h"
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
#include <QMap>
#include <QPainter>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <numeric>

#include <malloc.h>

namespace {

using Clock = std::chrono::steady_clock;

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

// Runs the work and its floor in an order that changes from one call to the
// next, across repetitions too, so that neither always follows the other and
// both meet the same moment of a noisy machine.
void inTurn(const std::function<void()> &work, const std::function<void()> &floor)
{
    static bool floorFirst = false;
    floorFirst = !floorFirst;
    if (floorFirst)
        floor();
    work();
    if (!floorFirst)
        floor();
}

// Seconds the work takes.
template <typename Work> double timed(Work work)
{
    const auto start = Clock::now();
    work();
    return seconds(Clock::now() - start);
}

// Sums of the work and its floor over the iterations; each iteration's time is the work's.
struct Beside
{
    double work = 0;
    double floor = 0;

    void add(benchmark::State &state, double workSeconds, double floorSeconds)
    {
        work += workSeconds;
        floor += floorSeconds;
        state.SetIterationTime(workSeconds);
    }
    template <typename Work, typename Floor> void time(benchmark::State &state, Work work, Floor floor)
    {
        double workTime = 0;
        double floorTime = 0;
        inTurn([&] { workTime = timed(work); }, [&] { floorTime = timed(floor); });
        add(state, workTime, floorTime);
    }
    // The floor per iteration in the counter's unit (1e3 for floor_ms, 1e6 for floor_us), and the ratio.
    void report(benchmark::State &state, const char *counter, double unit) const
    {
        state.counters[counter] = floor * unit / double(state.iterations());
        state.counters["ratio"] = work / floor;
    }
};

// Catalogues -----------------------------------------------------------------

using Catalogue = vsTest::ProgramCatalogue;

// The generated catalogues' last row carries this code and no row before it
// contains it (the search cases check), so searching for it scans every row;
// absentCode matches no row.
constexpr char lastRowCode[] = "E9999";
constexpr char absentCode[] = "E9998";

struct PaintRig;

// Everything the benchmarks share; made in main, torn down before the application.
struct Rig
{
    vsTest::ProgramCatalogues catalogues;
    std::unique_ptr<vsMainWindow> window;
    QListView *list = nullptr;
    const Catalogue *windowCatalogue = nullptr;
    QString windowProblem;
    std::unique_ptr<PaintRig> paint;
    vsDataModel bundled;
};
Rig *rig = nullptr;

// The build's catalogue, loaded on first use.
const vsDataModel &bundledModel()
{
    if (rig->bundled.rowCount() == 0)
        vsCatalogueLoader::loadFolder(QStringLiteral(VESTRION_BUILD_DIR "/data"), &rig->bundled);
    return rig->bundled;
}

// Loading --------------------------------------------------------------------

// What loadData does: a new model, then every data file of the folder.
// Returns the seconds it takes; sets the rows loaded and the heap the model holds.
double loadOnce(const Catalogue &catalogue, int *rows, qint64 *heap)
{
    const qint64 heapBefore = heapInUse();
    const auto start = Clock::now();
    auto *model = new vsDataModel(nullptr);
    vsCatalogueLoader::loadFolder(catalogue.dataFolder, model);
    const auto end = Clock::now();
    *heap = heapInUse() - heapBefore;
    *rows = model->rowCount();
    delete model;
    // Hand the freed entries back, so the next load starts from a heap like a
    // fresh program's instead of sorting through this one's remains.
    malloc_trim(0);
    return seconds(end - start);
}

// The least any loader must do with the same files: read them, qUncompress the
// payload and let QXmlStreamReader tokenize the document, attributes and all.
// Returns the seconds it takes; sets the start tags seen.
double floorOnce(const Catalogue &catalogue, qint64 *elements)
{
    const auto start = Clock::now();
    const QDir folder(catalogue.dataFolder);
    *elements = 0;
    for (const QString &name : vsCatalogueLoader::dataFileNames(folder)) {
        QByteArray document =
            qUncompress(vsVdbFormat::payloadOf(vsTest::fileContents(folder.absoluteFilePath(name))));
        // Through a device the reader decodes a block at a time: faster and
        // leaner than handing it the whole array.
        QBuffer device(&document);
        device.open(QIODevice::ReadOnly);
        QXmlStreamReader reader(&device);
        while (!reader.atEnd())
            *elements += reader.readNext() == QXmlStreamReader::StartElement ? 1 : 0;
    }
    const double took = seconds(Clock::now() - start);
    malloc_trim(0);
    return took;
}

// Each iteration loads the catalogue and runs the floor over the same files;
// the time is the load's, the counters hold the floor and their ratio.
void loadCatalogue(benchmark::State &state, int entries, int files)
{
    const Catalogue *catalogue = rig->catalogues.generated(entries, files, QLatin1String(lastRowCode));
    if (!catalogue)
        return skip(state, rig->catalogues.error);
    Beside sums;
    qint64 heap = 0;
    for (auto _ : state) {
        int rows = 0;
        qint64 elements = 0;
        double load = 0;
        double floor = 0;
        inTurn([&] { load = loadOnce(*catalogue, &rows, &heap); },
               [&] { floor = floorOnce(*catalogue, &elements); });
        // One root element per file besides the items.
        if (rows != catalogue->entries || elements != catalogue->entries + catalogue->files)
            return skip(state, QStringLiteral("%1 rows loaded, %2 elements scanned").arg(rows).arg(elements));
        sums.add(state, load, floor);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * catalogue->xmlBytes);
    state.counters["xml_MB"] = double(catalogue->xmlBytes) / 1e6;
    sums.report(state, "floor_ms", 1e3);
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
    const QString time = QStringLiteral("/usr/bin/time");
    if (!QFile::exists(time))
        return {QStringLiteral("GNU time (/usr/bin/time) is missing")};
    // On the platform the benchmarks run on; settings and bus as isolated in main.
    const QStringList platform{QStringLiteral("QT_QPA_PLATFORM=") + qEnvironmentVariable("QT_QPA_PLATFORM")};
    const vsTest::ProgramRun run =
        vsTest::runToFirstPaint(platform, program, 60000, {time, QStringLiteral("-fvestrion-peak-rss %M")});
    static const QRegularExpression rssMark(QStringLiteral("(?:^|\\n)vestrion-peak-rss (\\d+)\\n"));
    const QRegularExpressionMatch rss = rssMark.match(QString::fromLocal8Bit(run.errors));
    FirstPaint result{QString(), run.startupMs, rss.captured(1).toLongLong() * 1024};
    if (!run.finished || run.exitCode != 0)
        result.error =
            QStringLiteral("%1 ended badly: %2").arg(program, QString::fromLocal8Bit(run.errors.right(300)));
    else if (run.startupMs < 0 || !rss.hasMatch())
        result.error = QStringLiteral("%1 printed no first-paint or peak-RSS mark").arg(program);
    return result;
}

// Each iteration starts the program with the catalogue and with an empty data
// folder; the time is the catalogue's, the counters hold what it adds to the
// empty start in time and in peak memory.
void startProgram(benchmark::State &state, const Catalogue *catalogue)
{
    const Catalogue *empty = rig->catalogues.empty();
    if (!catalogue || !empty)
        return skip(state, rig->catalogues.error);
    const bool alone = catalogue == empty;
    double aboveSum = 0;
    double rssSum = 0;
    double rssAboveSum = 0;
    for (auto _ : state) {
        FirstPaint run;
        FirstPaint floor;
        inTurn([&] { run = startToFirstPaint(catalogue->program); },
               [&] { floor = alone ? FirstPaint() : startToFirstPaint(empty->program); });
        if (!run.error.isEmpty() || !floor.error.isEmpty())
            return skip(state, run.error + floor.error);
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

// The main window over the generated rows, as the program shows it; what went wrong, if anything.
QString openSearchWindow()
{
    const Catalogue *catalogue = rig->catalogues.generated(searchSize, 1, QLatin1String(lastRowCode));
    if (!catalogue)
        return rig->catalogues.error;
    auto window = std::make_unique<vsMainWindow>(nullptr);
    window->setDataFolder(catalogue->dataFolder);
    if (!window->setup())
        return QStringLiteral("the main window's setup failed");
    window->resize(800, 480);
    window->show();
    auto *list = window->findChild<QListView *>(QStringLiteral("listView"));
    if (!QTest::qWaitForWindowExposed(window.get()) || !list)
        return QStringLiteral("the main window did not come up");
    if (list->model()->rowCount() != catalogue->entries)
        return QStringLiteral("the window shows %1 of %2 rows")
            .arg(list->model()->rowCount())
            .arg(catalogue->entries);
    rig->window = std::move(window);
    rig->list = list;
    rig->windowCatalogue = catalogue;
    return QString();
}

bool searchWindowReady(benchmark::State &state)
{
    if (!rig->window && rig->windowProblem.isEmpty())
        rig->windowProblem = openSearchWindow();
    if (!rig->windowProblem.isEmpty())
        skip(state, rig->windowProblem);
    return rig->window != nullptr;
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
    const QString digit = QString(QLatin1Char(lastRow ? lastRowCode[4] : absentCode[4]));
    const QString needle = QLatin1String(lastRow ? lastRowCode : absentCode);
    Beside sums;
    for (auto _ : state) {
        window->onTimeOut();
        for (int typed = 1; typed < 4; ++typed)
            window->onNumberClicked(QString(QLatin1Char(lastRowCode[typed])));
        const QModelIndexList before = selection->selectedIndexes();
        const double keypress = timed([&] { window->onNumberClicked(digit); });
        const QModelIndexList after = selection->selectedIndexes();
        const bool found = lastRow ? after.size() == 1 && after.first().row() == expected : after == before;
        // The floor: the same codes in a plain vector, searched the same way.
        int floorFound = -1;
        const double floor = timed([&] {
            const QVector<QString> &codes = rig->windowCatalogue->codes;
            for (int row = 0; row < codes.size() && floorFound < 0; ++row) {
                if (codes.at(row).indexOf(needle, 0, Qt::CaseSensitive) != -1)
                    floorFound = row;
            }
        });
        if (!found || floorFound != expected)
            return skip(state, QStringLiteral("the search selected the wrong row"));
        sums.add(state, keypress, floor);
        // Let the window catch up with its scroll and banner, as it would between keys.
        QCoreApplication::processEvents();
    }
    sums.report(state, "floor_ms", 1e3);
}

// searchItem's own loop over the model, without the slot around it.
void searchModelScan(benchmark::State &state, bool lastRow)
{
    if (!searchWindowReady(state))
        return;
    const QAbstractItemModel *model = rig->list->model();
    const QString needle = QLatin1String(lastRow ? lastRowCode : absentCode);
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

// One word that no entry holds, so every text is scanned, and a label's two words.
const char *const nameQuery[] = {"щщщ", "желтый солнечный"};

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
    const QString query = QString::fromUtf8(nameQuery[found]);
    const QString longest = vsNameIndex::queryWords(query).value(0);
    Beside sums;
    int matches = 0;
    for (auto _ : state) {
        const double match = timed([&] { matches = index.match(query).size(); });
        int floorMatches = 0;
        const double floor = timed([&] {
            for (const vsNameIndex::Entry &entry : texts)
                floorMatches += entry.text.contains(longest) ? 1 : 0;
        });
        benchmark::DoNotOptimize(floorMatches);
        sums.add(state, match, floor);
    }
    if (found != (matches > 0))
        return skip(state, QStringLiteral("the name search found %1 entries").arg(matches));
    state.counters["prepare_ms"] = prepare * 1e3;
    sums.report(state, "floor_ms", 1e3);
    state.counters["matches"] = matches;
}

// The whole keystroke in the window: matching, the result rows, the selection.
void nameSearchKeystroke(benchmark::State &state)
{
    if (!searchWindowReady(state))
        return;
    // The window is made on first use, as the menu makes it.
    if (!rig->window->findChild<vsNameSearch *>())
        rig->window->onMenuFindByNameClicked();
    auto *search = rig->window->findChild<vsNameSearch *>();
    if (!search)
        return skip(state, QStringLiteral("the window has no name search"));
    const QString query = QString::fromUtf8(nameQuery[true]);
    search->onQueryChanged(query); // prepares the texts outside the measurement
    for (auto _ : state) {
        search->onQueryChanged(query.chopped(1));
        state.SetIterationTime(timed([&] { search->onQueryChanged(query); }));
    }
    search->hide(); // back to the list, for the cases that paint it
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
    texts.name = index.data(vsDataModel::NamesRole).toString().section(QLatin1Char(':'), 0, 0);
    texts.function = index.data(vsDataModel::FunctionsRole).toString().section(QLatin1Char(':'), 1, 1);
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
        const auto font = [&base](int points, QFont::Weight weight) {
            QFont font = base;
            font.setFamily(QString::fromLatin1(vsPlatform::systemFontFamily));
            font.setPointSize(points);
            font.setWeight(weight);
            return font;
        };
        codeFont = font(20, QFont::Bold);
        nameFont = font(16, QFont::Normal);
        functionFont = font(12, QFont::Normal);
        headerFont = font(11, QFont::Bold);
        codeWidth = QFontMetrics(codeFont).horizontalAdvance(QStringLiteral("E9999")) + 30;
    }

    void paint(QPainter *painter, const QRect &rect, const RowTexts &texts) const
    {
        const auto draw = [painter](const QFont &font, const QColor &colour, const QRect &box,
                                    const QString &text) {
            painter->setFont(font);
            painter->setPen(colour);
            painter->drawText(box, textAlignment, text);
        };
        painter->save();
        painter->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        painter->fillRect(rect, Qt::black);
        const int left = rect.left();
        const int top = rect.top();
        const int half = rect.height() / 2;
        const int textWidth = rect.width() - codeWidth - 50;
        if (texts.header) {
            draw(headerFont, QColor(0, 0, 20), QRect(left + 10, top + 30, rect.width() - 20, 30), texts.code);
        } else {
            draw(codeFont, Qt::black, QRect(left + 10, top, codeWidth, rect.height()), texts.code);
            draw(nameFont, Qt::white, QRect(left + codeWidth + 15, top, textWidth, half), texts.name);
            draw(functionFont, QColor(180, 180, 255),
                 QRect(left + codeWidth + 15, top + half, textWidth, half), texts.function);
        }
        painter->restore();
    }
};

// One ordinary row and one group title of the bundled catalogue.
struct PaintRig
{
    vsDataDelegate delegate;
    QModelIndex entry;
    QModelIndex header;
    QString problem;

    PaintRig()
    {
        const vsDataModel &model = bundledModel();
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

// One row through the delegate, wide as the list in the 800-pixel window; the
// floor paints its texts alone.
void paintRow(benchmark::State &state, bool header)
{
    if (!rig->paint)
        rig->paint = std::make_unique<PaintRig>();
    PaintRig *paint = rig->paint.get();
    if (!paint->problem.isEmpty())
        return skip(state, paint->problem);
    QImage image(790, rowHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = image.rect();
    option.state = QStyle::State_Enabled;
    const QModelIndex index = header ? paint->header : paint->entry;
    const TextPainter texts(painter.font());
    const RowTexts row = textsOf(index);
    Beside sums;
    for (auto _ : state)
        sums.time(
            state, [&] { paint->delegate.paint(&painter, option, index); },
            [&] { texts.paint(&painter, image.rect(), row); });
    sums.report(state, "floor_us", 1e6);
}

struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
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
    const int visibleRows = (viewport->height() + rowHeight - 1) / rowHeight;
    QVector<RowTexts> rows;
    for (int row = 0; row < visibleRows && row < model->rowCount(); ++row)
        rows << textsOf(model->index(row, 0));
    QImage image(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    const TextPainter texts(viewport->font());
    PaintCounter counter;
    viewport->installEventFilter(&counter);
    Beside sums;
    for (auto _ : state)
        sums.time(
            state, [&] { viewport->repaint(); },
            [&] {
                for (int row = 0; row < rows.size(); ++row)
                    texts.paint(&painter, QRect(0, row * rowHeight, image.width(), rowHeight), rows.at(row));
            });
    viewport->removeEventFilter(&counter);
    if (counter.paints < state.iterations())
        return skip(state, QStringLiteral("the viewport painted %1 times in %2 repaints")
                               .arg(counter.paints)
                               .arg(state.iterations()));
    sums.report(state, "floor_us", 1e6);
    state.counters["rows"] = visibleRows;
}

// Ingredient lists ---------------------------------------------------------------

constexpr int labelLength = 2000;
#define LABEL_FOLDER VESTRION_SOURCE_DIR "/tests/data/labels"

// The written labels of every language, a line of each folder in turn, cut
// at 2,000 characters; empty if a folder has none.
QString labelText()
{
    QVector<QStringList> folders;
    for (const QString &language : QStringList{QString()} + vsLabelVocabulary::languages()) {
        folders.append(QStringList());
        for (const vsLabelSet::Label &label : vsLabelSet::load(QStringLiteral(LABEL_FOLDER "/") + language))
            folders.last() += label.text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (folders.last().isEmpty())
            return QString();
    }
    QString text;
    for (int line = 0; line < 100 && text.size() < labelLength; ++line)
        for (const QStringList &lines : folders)
            text += lines.value(line) + QLatin1Char('\n');
    return text.left(labelLength);
}

// With every language on; prepare_ms is a fresh analyser's preparation, which
// the reader pays once.
void analyseLabel(benchmark::State &state)
{
    const QString text = labelText();
    if (bundledModel().rowCount() == 0 || text.size() < labelLength)
        return skip(state, QStringLiteral("no catalogue or label set"));
    std::unique_ptr<vsLabelAnalyser> analyser;
    const double prepare = timed([&] {
        analyser = std::make_unique<vsLabelAnalyser>(&bundledModel(), vsLabelVocabulary::labelLanguages());
    });
    analyser->analyse(text); // once outside the measurement
    int found = 0;
    for (auto _ : state)
        found = analyser->analyse(text).size();
    state.counters["additives"] = found;
    state.counters["prepare_ms"] = prepare * 1e3;
}

// The photos of the label set scored against the same texts typed: one photo
// of each label, the kinds taken in turn (with shot, only that one photo of
// the first label, timed).
void readLabelPhotos(benchmark::State &state, const vsLabelSet::Shot *shot)
{
    const QVector<vsLabelSet::Label> labels = vsLabelSet::load(QStringLiteral(LABEL_FOLDER));
    if (labels.isEmpty() || bundledModel().rowCount() == 0)
        return skip(state, QStringLiteral("no label set or catalogue"));
    static const vsLabelAnalyser analyser(&bundledModel());
    const auto codes = [](const QString &text) {
        return vsLabelSet::codesFound(analyser, bundledModel(), text);
    };
    // Made once: a 12-megapixel frame takes ImageMagick a while.
    static QMap<int, QByteArray> photos;
    QByteArray &first = photos[shot ? shot->width : 0];
    if (shot && first.isEmpty())
        first = vsLabelSet::photograph(labels.first().text, *shot);
    vsOcr::Reading reading;
    if (shot && vsLabelSet::readPhoto(first, &reading) != vsOcr::Done) // also loads the engine and its models
        return skip(state, QStringLiteral("no photo or no OCR: ") + vsOcr::unavailableReason());
    vsLabelSet::Score score;
    int read = 0;
    for (auto _ : state) {
        const auto begin = Clock::now();
        Clock::duration taken{};
        for (int i = 0; i < (shot ? 1 : labels.size()); ++i) {
            const vsLabelSet::Shot &kind =
                shot ? *shot : vsLabelSet::photoKinds().at(i % vsLabelSet::photoKinds().size()).shot;
            const QString typed = shot ? labels.first().text : vsLabelSet::photoText(labels.at(i).text, kind);
            const QByteArray photo = shot ? first : vsLabelSet::photograph(typed, kind);
            const auto start = Clock::now();
            vsLabelSet::readPhoto(photo, &reading);
            taken += Clock::now() - start;
            ++read;
            score.add(codes(typed), codes(reading.text));
        }
        state.SetIterationTime(seconds(shot ? Clock::now() - begin : taken));
    }
    state.counters["photos"] = read;
    state.counters["recall"] = score.recall();
    state.counters["precision"] = score.precision();
}

// Real photos of packs (../shared/photos-real beside the project, or the
// folder VESTRION_REAL_PHOTOS names), each from its bytes to the additives
// found, as the tool reads them in the default languages; the engine is
// loaded first. Each photo's time and misses go to standard error once.
void readRealPhotos(benchmark::State &state)
{
    const QDir folder(qEnvironmentVariable("VESTRION_REAL_PHOTOS",
                                           QStringLiteral(VESTRION_SOURCE_DIR "/../shared/photos-real")));
    QString error;
    const QVector<vsLabelSet::Photo> photos = vsLabelSet::loadPhotos(folder.path(), &error);
    QVector<QByteArray> bytes;
    for (const vsLabelSet::Photo &photo : photos) {
        bytes << vsTest::fileContents(folder.filePath(photo.file));
        if (bytes.last().isEmpty())
            error = QStringLiteral("cannot read ") + photo.file;
    }
    if (!error.isEmpty() || bundledModel().rowCount() == 0)
        return skip(state, error.isEmpty() ? QStringLiteral("no catalogue") : error);
    static const vsLabelAnalyser analyser(&bundledModel(), vsLabelVocabulary::defaultLanguages());
    vsOcr::Request request;
    request.languages = vsLabelVocabulary::ocrModels(vsLabelVocabulary::defaultLanguages());
    vsOcr::Reading reading;
    if (vsLabelSet::readPhoto(bytes.first(), &reading, request) == vsOcr::Unavailable)
        return skip(state, QStringLiteral("no OCR: ") + vsOcr::unavailableReason());
    static bool told = false;
    vsLabelSet::Score score;
    std::vector<double> times;
    for (auto _ : state) {
        score = vsLabelSet::Score();
        times.clear();
        for (int i = 0; i < photos.size(); ++i) {
            QStringList found;
            const std::clock_t processor = std::clock();
            times.push_back(timed([&] {
                vsLabelSet::readPhoto(bytes.at(i), &reading, request);
                found = vsLabelSet::codesFound(analyser, bundledModel(), reading.text);
            }));
            QStringList missed;
            QStringList extra;
            score.add(photos.at(i), found, &missed, &extra);
            if (!told)
                std::fprintf(stderr, "label/real %s: %.2f s (processor %.2f s)%s, missed [%s], extra [%s]\n",
                             qPrintable(photos.at(i).file), times.back(),
                             double(std::clock() - processor) / CLOCKS_PER_SEC,
                             reading.timedOut ? ", timed out" : "", qPrintable(missed.join(QLatin1Char(' '))),
                             qPrintable(extra.join(QLatin1Char(' '))));
        }
        told = true;
        state.SetIterationTime(std::accumulate(times.begin(), times.end(), 0.0));
    }
    std::sort(times.begin(), times.end());
    state.counters["recall"] = score.recall();
    state.counters["precision"] = score.precision();
    state.counters["median_s"] = (times.at((times.size() - 1) / 2) + times.at(times.size() / 2)) / 2;
    state.counters["slowest_s"] = times.back();
    state.counters["photos"] = double(photos.size());
}

// Registration ------------------------------------------------------------------

// Manual time in the unit, a fixed number of iterations unless a minimum time is given.
benchmark::internal::Benchmark *registerTimed(const std::string &name, int iterations,
                                              std::function<void(benchmark::State &)> run,
                                              benchmark::TimeUnit unit = benchmark::kMillisecond,
                                              double minTime = 0)
{
    auto *registered =
        benchmark::RegisterBenchmark(name.c_str(), std::move(run))->UseManualTime()->Unit(unit);
    return minTime > 0 ? registered->MinTime(minTime) : registered->Iterations(iterations);
}

void registerAll()
{
    // Fewer iterations where one already takes a while.
    for (int entries : sizes)
        for (int files : splits)
            registerTimed(
                nameOf("load", entries, files), entries >= 100000 ? 1 : (entries >= 10000 ? 3 : 20),
                [entries, files](benchmark::State &state) { loadCatalogue(state, entries, files); });

    // A start takes some 50 ms and a small catalogue adds a few: they need
    // more pairs than the large ones, whose share stands out of the noise.
    auto start = [](const std::string &name, int iterations, std::function<const Catalogue *()> catalogue) {
        registerTimed(name, iterations,
                      [catalogue](benchmark::State &state) { startProgram(state, catalogue()); });
    };
    start("start/empty", 3, [] { return rig->catalogues.empty(); });
    start("start/bundled", 3, [] { return rig->catalogues.bundled(); });
    for (int entries : sizes)
        for (int files : splits)
            start(nameOf("start", entries, files), entries >= 100000 ? 1 : 3, [entries, files] {
                return rig->catalogues.generated(entries, files, QLatin1String(lastRowCode));
            });

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

    for (bool header : {false, true})
        registerTimed(
            header ? "paint/header" : "paint/row", 0,
            [header](benchmark::State &state) { paintRow(state, header); }, benchmark::kMicrosecond, 0.1);
    registerTimed("paint/viewport", 0, paintViewport, benchmark::kMicrosecond, 0.2);

    // Target: analysing below 5 ms.
    benchmark::RegisterBenchmark("label/analyse", analyseLabel)->MinTime(0.2)->Unit(benchmark::kMicrosecond);
    registerTimed("label/real", 1, readRealPhotos, benchmark::kSecond)->MeasureProcessCPUTime();
    // Targets: a 12-megapixel photo below 3 s, a 1,300-pixel one below 1.5 s.
    static const vsLabelSet::Shot twelveMegapixels{vsLabelSet::Phone, 90, true, false, 4000, 3000};
    static const vsLabelSet::Shot phone{vsLabelSet::Phone, 0, false, false, 1300, 0};
    registerTimed("label/photo/12MP", 3,
                  [](benchmark::State &state) { readLabelPhotos(state, &twelveMegapixels); });
    registerTimed("label/photo/1300px", 3, [](benchmark::State &state) { readLabelPhotos(state, &phone); });
    // The whole set, once: its time is the OCR of all photos together.
    registerTimed(
        "label/photos", 1, [](benchmark::State &state) { readLabelPhotos(state, nullptr); },
        benchmark::kSecond)
        ->Repetitions(1);
}

} // namespace

int main(int argc, char *argv[])
{
    vsOcr::limitEngineThreadsAtStart(argv); // the engine on one thread, as in the program
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
    vsTest::isolateWindowTests();
    vsOcr::setModulePath(QStringLiteral(VESTRION_BUILD_DIR "/libvestrion-ocr.so"));
    QApplication app(count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data()))
        return 1;

    Rig shared;
    rig = &shared;
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    // The window, the painting rig and then the catalogues go with shared, before the application.
    return 0;
}
