// The OCR engine, a module of its own: Tesseract and the many libraries it
// brings are loaded with the first picture, never at the program's start.

#include "label/vsocrengine.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {
// Progress of one reading, reported as its share of the whole: from to to.
struct Monitor : tesseract::ETEXT_DESC
{
    vsOcrProgressFunction report = nullptr;
    void *context = nullptr;
    int from = 0;
    int to = 100;
};

bool cancelOrReport(void *data, int)
{
    auto *monitor = static_cast<Monitor *>(data);
    return monitor->report &&
           monitor->report(monitor->context,
                           monitor->from + (monitor->to - monitor->from) * monitor->progress / 100) != 0;
}

std::mutex engineMutex;
std::unique_ptr<tesseract::TessBaseAPI> engine;
bool engineFailed = false;
std::unique_ptr<tesseract::TessBaseAPI> orientationEngine;
bool orientationFailed = false;

struct PixDeleter
{
    void operator()(Pix *pix) const { pixDestroy(&pix); }
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

struct BoxaDeleter
{
    void operator()(Boxa *boxa) const { boxaDestroy(&boxa); }
};

// The height of a lower-case letter the LSTM models read best; text far
// smaller loses strokes, far larger only costs time.
constexpr double readableHeight = 24.0;
// Text is measured on a copy no larger than this: enough for letters of a
// photo's label, and quick on a 12-megapixel frame.
constexpr int measureSide = 1600;
// A one-line crop needs white around it for the page layout to find the line.
constexpr double marginHeights = 2.0;
// Below this the orientation engine may take a page for one upside down:
// both ways are read and the surer reading kept.
constexpr float orientationConfidence = 5.0f;
// A word the engine is this unsure of, far from the rest of its line, is
// a mark at the edge of the label or the pack, read as letters.
constexpr float strayConfidence = 70.0f;
constexpr double strayGapHeights = 4.0;
constexpr float degree = 3.14159265f / 180;

// The models are read once, on the first picture, and kept for the next.
tesseract::TessBaseAPI *readyEngine()
{
    if (engine || engineFailed)
        return engine.get();
    // Leptonica's notes would go to standard error of the program or the tool.
    setMsgSeverity(L_SEVERITY_NONE);
    auto made = std::make_unique<tesseract::TessBaseAPI>();
    // Russian first: the labels this is for are mostly Russian, with Latin codes.
    if (made->Init(nullptr, "rus+eng", tesseract::OEM_LSTM_ONLY) != 0) {
        engineFailed = true;
        return nullptr;
    }
    // Its notes would go to standard error of the program or the tool.
    made->SetVariable("debug_file", "/dev/null");
    // The skew is taken from the whole block alike: weighted towards the
    // longest lines, it misreads a photo whose lines slope differently.
    made->SetVariable("textord_biased_skewcalc", "0");
    engine = std::move(made);
    return engine.get();
}

// Orientation detection has a model of its own, often not installed: then
// pictures are read as they come.
tesseract::TessBaseAPI *readyOrientationEngine()
{
    if (orientationEngine || orientationFailed)
        return orientationEngine.get();
    auto made = std::make_unique<tesseract::TessBaseAPI>();
    if (made->Init(nullptr, "osd", tesseract::OEM_TESSERACT_ONLY) != 0) {
        orientationFailed = true;
        return nullptr;
    }
    made->SetPageSegMode(tesseract::PSM_OSD_ONLY);
    made->SetVariable("debug_file", "/dev/null");
    orientationEngine = std::move(made);
    return orientationEngine.get();
}

PixPtr greyPix(const unsigned char *grey, int width, int height, int bytesPerLine)
{
    PixPtr pix(pixCreate(width, height, 8));
    if (!pix)
        return pix;
    l_uint32 *data = pixGetData(pix.get());
    const int wpl = pixGetWpl(pix.get());
    for (int y = 0; y < height; ++y) {
        const unsigned char *from = grey + size_t(y) * size_t(bytesPerLine);
        l_uint32 *line = data + size_t(y) * size_t(wpl);
        for (int x = 0; x < width; ++x)
            SET_DATA_BYTE(line, x, from[x]);
    }
    return pix;
}

// Black on white by Sauvola's local threshold, which keeps letters under a
// vignette or a shadow; the window spans a few letters of the given height.
PixPtr binarised(Pix *grey, int letterHeight)
{
    // Leptonica needs the picture larger than twice the window: a one-line
    // crop gets a smaller one.
    const int window =
        std::min(std::max(8, 2 * letterHeight), (std::min(pixGetWidth(grey), pixGetHeight(grey)) - 4) / 2);
    if (window < 3)
        return PixPtr(pixThresholdToBinary(grey, 128));
    Pix *binary = nullptr;
    if (pixSauvolaBinarizeTiled(grey, window, 0.34f, 1, 1, nullptr, &binary) != 0)
        return PixPtr();
    PixPtr made(binary);
    // What reaches the picture's edge is the table or the pack around the
    // list; left in, the page layout takes the list for a picture inside it.
    PixPtr inside(pixRemoveBorderConnComps(made.get(), 8));
    return inside ? std::move(inside) : std::move(made);
}

// The picture binarised with its letters readableHeight high, and only what
// could be letters or words kept: the edge of the card or a pack's frame
// around the list would make the page layout split it into columns.
PixPtr readableLetters(Pix *grey)
{
    PixPtr binary = binarised(grey, int(readableHeight));
    if (!binary)
        return binary;
    l_int32 changed = 0;
    PixPtr letters(pixSelectBySize(binary.get(), int(25 * readableHeight), int(4 * readableHeight), 8,
                                   L_SELECT_IF_BOTH, L_SELECT_IF_LTE, &changed));
    return letters ? std::move(letters) : std::move(binary);
}

// The commonest height of letter-sized marks, 0 if there are too few to tell.
double letterHeight(Pix *binary)
{
    std::unique_ptr<Boxa, BoxaDeleter> boxes(pixConnCompBB(binary, 8));
    if (!boxes)
        return 0;
    const int height = pixGetHeight(binary);
    std::vector<int> heights;
    for (int i = 0; i < boxaGetCount(boxes.get()); ++i) {
        l_int32 x, y, w, h;
        boxaGetBoxGeometry(boxes.get(), i, &x, &y, &w, &h);
        // Specks, rules and the picture's edge are no letters.
        if (h >= 5 && h < height - 2 && w >= 2 && w <= 3 * h)
            heights.push_back(h);
    }
    if (heights.size() < 8)
        return 0;
    // Lower-case letters outnumber capitals and specks; neighbours count
    // too, as antialiasing makes a letter a pixel taller or shorter.
    std::vector<int> count(size_t(height + 2), 0);
    for (const int h : heights)
        ++count[size_t(h)];
    int best = 0, bestCount = 0;
    for (size_t h = 1; h + 1 < count.size(); ++h) {
        const int around = count[h - 1] + 2 * count[h] + count[h + 1];
        if (around > bestCount) {
            best = int(h);
            bestCount = around;
        }
    }
    return best;
}

// How many marks of a readable letter's size the picture holds.
int letterMarks(Pix *binary)
{
    std::unique_ptr<Boxa, BoxaDeleter> boxes(pixConnCompBB(binary, 8));
    if (!boxes)
        return 0;
    int marks = 0;
    for (int i = 0; i < boxaGetCount(boxes.get()); ++i) {
        l_int32 x, y, w, h;
        boxaGetBoxGeometry(boxes.get(), i, &x, &y, &w, &h);
        marks += h >= 0.6 * readableHeight && h <= 2.5 * readableHeight && w <= 3 * h;
    }
    return marks;
}

// The scale at which the picture's letters come out readableHeight high.
double readableScale(Pix *pix)
{
    const int side = std::max(pixGetWidth(pix), pixGetHeight(pix));
    const double reduce = side > measureSide ? double(measureSide) / side : 1.0;
    PixPtr small(reduce < 1.0 ? pixScaleAreaMap(pix, float(reduce), float(reduce)) : pixCopy(nullptr, pix));
    if (!small)
        return 1.0;
    PixPtr binary = binarised(small.get(), 12);
    const double height = binary ? letterHeight(binary.get()) / reduce : 0;
    if (height <= 0)
        return 1.0;
    return std::clamp(readableHeight / height, 0.25, 3.0);
}

struct Prepared
{
    PixPtr picture;
    bool maybeUpsideDown = false; // the orientation found is a guess
    int letterMarks = 0;          // marks of a letter's size: about as many letters to read
};

// Letters of a readable size, level, black on white, upright and with a
// margin around: what Tesseract reads best, made with Leptonica and
// Tesseract's own orientation detection. Without a result, the picture as it
// came.
Prepared prepare(PixPtr grey)
{
    Prepared prepared;
    const double scale = readableScale(grey.get());
    // Near enough is left alone: scaling blurs a little.
    if (std::abs(scale - 1.0) > 0.15) {
        if (PixPtr scaled{pixScale(grey.get(), float(scale), float(scale))})
            grey = std::move(scaled);
    }
    PixPtr binary = readableLetters(grey.get());
    if (!binary) {
        prepared.picture = std::move(grey);
        return prepared;
    }
    l_float32 angle = 0, confidence = 0;
    if (pixFindSkew(binary.get(), &angle, &confidence) == 0 && confidence > 2.5f && std::abs(angle) > 0.2f) {
        // Turned as grey, the letters keep their edges smooth.
        PixPtr level(pixRotate(grey.get(), angle * degree, L_ROTATE_AREA_MAP, L_BRING_IN_WHITE, 0, 0));
        PixPtr levelBinary = level ? readableLetters(level.get()) : PixPtr();
        if (levelBinary)
            binary = std::move(levelBinary);
    }
    if (tesseract::TessBaseAPI *orientation = readyOrientationEngine()) {
        orientation->SetImage(binary.get());
        orientation->SetSourceResolution(300);
        int degrees = 0;
        float orientationConfidenceFound = 0, scriptConfidence = 0;
        const char *script = nullptr;
        if (orientation->DetectOrientationScript(&degrees, &orientationConfidenceFound, &script,
                                                 &scriptConfidence) &&
            degrees % 90 == 0) {
            // The page is turned clockwise by degrees: turn it back.
            if (degrees % 360 != 0) {
                if (PixPtr upright{pixRotateOrth(binary.get(), (4 - degrees / 90 % 4) % 4)})
                    binary = std::move(upright);
            }
            prepared.maybeUpsideDown = orientationConfidenceFound < orientationConfidence;
        }
        orientation->Clear();
    }
    prepared.letterMarks = letterMarks(binary.get());
    // White is 0 in a binary picture.
    if (PixPtr framed{pixAddBorder(binary.get(), int(marginHeights * readableHeight), 0)})
        binary = std::move(framed);
    prepared.picture = std::move(binary);
    return prepared;
}

struct Word
{
    std::string text;
    float confidence = 0;
    int left = 0;
    int right = 0;
};

struct Line
{
    std::vector<Word> words;
    int left = 0, top = 0, right = 0, bottom = 0;
    bool endsParagraph = false;
};

// The engine's lines with their words and boxes, in its reading order.
std::vector<Line> linesOf(tesseract::TessBaseAPI *api)
{
    std::vector<Line> lines;
    std::unique_ptr<tesseract::ResultIterator> word(api->GetIterator());
    if (!word)
        return lines;
    do {
        if (word->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
            if (!lines.empty() && word->IsAtBeginningOf(tesseract::RIL_PARA))
                lines.back().endsParagraph = true;
            lines.emplace_back();
            word->BoundingBox(tesseract::RIL_TEXTLINE, &lines.back().left, &lines.back().top,
                              &lines.back().right, &lines.back().bottom);
        }
        const std::unique_ptr<char[]> text(word->GetUTF8Text(tesseract::RIL_WORD));
        int left = 0, top = 0, right = 0, bottom = 0;
        if (!lines.empty() && text && text[0] != '\0' && !std::isspace(static_cast<unsigned char>(text[0])) &&
            word->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom))
            lines.back().words.push_back(
                Word{text.get(), word->Confidence(tesseract::RIL_WORD), left, right});
    } while (word->Next(tesseract::RIL_WORD));
    if (!lines.empty())
        lines.back().endsParagraph = true;
    return lines;
}

// Lines of a curved or slanted label may come back cut in two, the right
// pieces as a column of their own: a piece that starts where a line on its
// level ends is that line's rest. Cut inside a word, the word is made whole.
void joinCutLines(std::vector<Line> *lines)
{
    std::vector<size_t> byLeft(lines->size());
    for (size_t i = 0; i < byLeft.size(); ++i)
        byLeft[i] = i;
    std::stable_sort(byLeft.begin(), byLeft.end(),
                     [lines](size_t a, size_t b) { return (*lines)[a].left < (*lines)[b].left; });
    const int wordGap = int(0.4 * readableHeight);
    for (const size_t j : byLeft) {
        Line &piece = (*lines)[j];
        Line *before = nullptr;
        int beforeGap = 0;
        for (Line &line : *lines) {
            if (&line == &piece || line.words.empty() || line.left >= piece.left)
                continue;
            const int gap = piece.left - line.right;
            const int overlap = std::min(line.bottom, piece.bottom) - std::max(line.top, piece.top);
            const int lower = std::min(line.bottom - line.top, piece.bottom - piece.top);
            if (gap < -int(readableHeight) / 2 || gap > int(readableHeight) || 2 * overlap < lower)
                continue;
            if (!before || gap < beforeGap) {
                before = &line;
                beforeGap = gap;
            }
        }
        if (!before || piece.words.empty())
            continue;
        auto next = piece.words.begin();
        if (beforeGap < wordGap) {
            before->words.back().text += next->text;
            before->words.back().confidence = std::min(before->words.back().confidence, next->confidence);
            before->words.back().right = next->right;
            ++next;
        }
        before->words.insert(before->words.end(), next, piece.words.end());
        before->right = std::max(before->right, piece.right);
        before->top = std::min(before->top, piece.top);
        before->bottom = std::max(before->bottom, piece.bottom);
        piece.words.clear();
    }
}

struct Reading
{
    std::string text;
    int confidence = 0;
    int sureLetters = 0; // in the words read with confidence
};

int lettersOf(const std::string &utf8)
{
    return int(std::count_if(utf8.begin(), utf8.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The recognised text a line each and a blank line after each paragraph
// that ends a sentence, less the stray marks: low confidence far from the
// rest of the line, or alone on it.
Reading readingOf(tesseract::TessBaseAPI *api)
{
    Reading reading;
    reading.confidence = api->MeanTextConf();
    std::vector<Line> lines = linesOf(api);
    joinCutLines(&lines);
    const int strayGap = int(strayGapHeights * readableHeight);
    for (const Line &line : lines) {
        std::string text;
        for (size_t i = 0; i < line.words.size(); ++i) {
            const Word &word = line.words[i];
            const int before = i > 0 ? word.left - line.words[i - 1].right : INT_MAX;
            const int after = i + 1 < line.words.size() ? line.words[i + 1].left - word.right : INT_MAX;
            if (word.confidence < strayConfidence && std::min(before, after) > strayGap)
                continue;
            if (word.confidence >= strayConfidence)
                reading.sureLetters += lettersOf(word.text);
            if (!text.empty())
                text += ' ';
            text += word.text;
        }
        if (!text.empty())
            reading.text += text + '\n';
        // A paragraph the layout ends within a sentence goes on: a blank line
        // there would end a list, "не добавляются" apart from what they deny.
        const size_t length = reading.text.size();
        if (line.endsParagraph && length >= 2 && reading.text[length - 1] == '\n' &&
            std::strchr(".!?", reading.text[length - 2]))
            reading.text += '\n';
    }
    return reading;
}
} // namespace

extern "C" int vestrion_ocr_recognise(const unsigned char *grey, int width, int height, int bytesPerLine,
                                      vsOcrProgressFunction progress, void *context, char **text)
{
    *text = nullptr;
    if (!grey || width <= 0 || height <= 0 || bytesPerLine < width)
        return vsOcrFailed;
    std::lock_guard<std::mutex> lock(engineMutex);
    tesseract::TessBaseAPI *api = readyEngine();
    if (!api)
        return vsOcrUnavailable;
    PixPtr picture = greyPix(grey, width, height, bytesPerLine);
    if (!picture)
        return vsOcrFailed;
    Prepared prepared = prepare(std::move(picture));
    PixPtr turned;
    if (prepared.maybeUpsideDown)
        turned.reset(pixRotateOrth(prepared.picture.get(), 2));
    Monitor monitor;
    monitor.report = progress;
    monitor.context = context;
    monitor.cancel = &cancelOrReport;
    monitor.cancel_this = &monitor;
    // Each reading has its share of the progress; a last one, if needed,
    // the rest.
    const auto read = [&](Pix *way, tesseract::PageSegMode mode, int from, int to, Reading *reading) {
        api->SetPageSegMode(mode);
        api->SetImage(way);
        // Letters are now of the size a 300 dpi scan of small print gives.
        api->SetSourceResolution(300);
        monitor.from = from;
        monitor.to = to;
        monitor.progress = 0;
        const int failed = api->Recognize(&monitor);
        const bool cancelled = progress && progress(context, to) != 0;
        if (!cancelled && failed == 0)
            *reading = readingOf(api);
        api->Clear();
        return cancelled ? vsOcrCancelled : failed == 0 ? vsOcrDone : vsOcrFailed;
    };
    Reading best;
    int status = read(prepared.picture.get(), tesseract::PSM_AUTO, 0, turned ? 45 : 90, &best);
    Pix *upright = prepared.picture.get();
    if (status == vsOcrCancelled)
        return status;
    if (turned) {
        Reading other;
        const int otherStatus = read(turned.get(), tesseract::PSM_AUTO, 45, 90, &other);
        if (otherStatus == vsOcrCancelled)
            return otherStatus;
        if (otherStatus == vsOcrDone && (status != vsOcrDone || other.confidence > best.confidence)) {
            best = std::move(other);
            upright = turned.get();
            status = vsOcrDone;
        }
    }
    // The page layout may take a label inside a frame of marks for a
    // picture and read little of it: then it is read as one block of text.
    if (status == vsOcrDone && 2 * best.sureLetters < prepared.letterMarks) {
        Reading block;
        const int blockStatus = read(upright, tesseract::PSM_SINGLE_BLOCK, 90, 100, &block);
        if (blockStatus == vsOcrCancelled)
            return blockStatus;
        if (blockStatus == vsOcrDone && block.sureLetters > best.sureLetters)
            best = std::move(block);
    }
    if (status != vsOcrDone)
        return vsOcrFailed;
    if (progress && progress(context, 100) != 0)
        return vsOcrCancelled;
    *text = new char[best.text.size() + 1];
    std::memcpy(*text, best.text.c_str(), best.text.size() + 1);
    return vsOcrDone;
}

extern "C" void vestrion_ocr_free(char *text)
{
    delete[] text;
}
