// The OCR engine, a module of its own: Tesseract and the many libraries it
// brings are loaded with the first picture, never at the program's start.

#include "label/vsocrengine.h"

#include "label/vsocrlayout.h"
#include "label/vsocrprepare.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {
using vsOcrLayout::readableHeight;
using vsOcrPrepare::PixPtr;

// Below this the orientation model may take a page for one upside down: a
// sample is read both ways and the surer reading kept.
constexpr float orientationConfidence = 5.0f;
// Lines of the main block read both ways when the orientation is unsure.
constexpr int sampleLines = 6;

double processorSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Progress of one reading, reported as its share of the whole: from to to.
// The time limit is the reading thread's processor time, so that a busy
// machine gives the same reading later rather than a shorter one.
struct Monitor : tesseract::ETEXT_DESC
{
    vsOcrProgressFunction report = nullptr;
    void *context = nullptr;
    int from = 0;
    int to = 100;
    double deadline = 0; // processor seconds; 0 for none
    bool cancelled = false;
    bool timedOut = false;

    // Whether to stop, reporting the given share done.
    bool stopAt(int percent)
    {
        if (report && report(context, percent) != 0)
            cancelled = true;
        if (deadline > 0 && processorSeconds() > deadline)
            timedOut = true;
        return cancelled || timedOut;
    }
};

bool cancelOrReport(void *data, int)
{
    auto *monitor = static_cast<Monitor *>(data);
    return monitor->stopAt(monitor->from + (monitor->to - monitor->from) * monitor->progress / 100);
}

std::mutex engineMutex;
std::map<std::string, std::unique_ptr<tesseract::TessBaseAPI>> engines;
std::map<std::string, bool> enginesFailed;
std::unique_ptr<tesseract::TessBaseAPI> orientationEngine;
bool orientationFailed = false;

// The models are read once, on the first picture in their languages, and kept.
tesseract::TessBaseAPI *readyEngine(const std::string &languages)
{
    const auto found = engines.find(languages);
    if (found != engines.end())
        return found->second.get();
    if (enginesFailed[languages])
        return nullptr;
    // Leptonica's notes would go to standard error of the program or the tool.
    setMsgSeverity(L_SEVERITY_NONE);
    auto made = std::make_unique<tesseract::TessBaseAPI>();
    if (made->Init(nullptr, languages.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
        enginesFailed[languages] = true;
        return nullptr;
    }
    // Its notes would go to standard error of the program or the tool.
    made->SetVariable("debug_file", "/dev/null");
    // The skew is taken from the whole block alike: weighted towards the
    // longest lines, it misreads a photo whose lines slope differently.
    made->SetVariable("textord_biased_skewcalc", "0");
    return (engines[languages] = std::move(made)).get();
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

// The request's pixels, or the part of them it names, as Leptonica's.
PixPtr pictureOf(const vsOcrRequest &request)
{
    int left = 0, top = 0, width = request.width, height = request.height;
    if (request.regionWidth > 0 && request.regionHeight > 0) {
        left = std::clamp(request.regionLeft, 0, request.width - 1);
        top = std::clamp(request.regionTop, 0, request.height - 1);
        width = std::min(request.regionWidth, request.width - left);
        height = std::min(request.regionHeight, request.height - top);
    }
    const bool colour = request.format == vsOcrRgb32;
    PixPtr pix(pixCreate(width, height, colour ? 32 : 8));
    if (!pix)
        return pix;
    l_uint32 *data = pixGetData(pix.get());
    const int wpl = pixGetWpl(pix.get());
    for (int y = 0; y < height; ++y) {
        const unsigned char *from = request.pixels + size_t(top + y) * size_t(request.bytesPerLine);
        l_uint32 *line = data + size_t(y) * size_t(wpl);
        if (colour) {
            const auto *words = reinterpret_cast<const uint32_t *>(from) + left;
            // 0xffRRGGBB to Leptonica's 0xRRGGBB00.
            for (int x = 0; x < width; ++x)
                line[x] = words[x] << 8;
        } else {
            for (int x = 0; x < width; ++x)
                SET_DATA_BYTE(line, x, from[left + x]);
        }
    }
    return pix;
}

// The engine's lines with their words and boxes, in its reading order.
std::vector<vsOcrLayout::Line> linesOf(tesseract::TessBaseAPI *api)
{
    std::vector<vsOcrLayout::Line> lines;
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
                vsOcrLayout::Word{text.get(), word->Confidence(tesseract::RIL_WORD), left, right});
    } while (word->Next(tesseract::RIL_WORD));
    if (!lines.empty())
        lines.back().endsParagraph = true;
    return lines;
}

struct Reading
{
    vsOcrLayout::Text text;
    int confidence = 0;
};

// One binarised picture read in one page mode, with its share of the progress.
int readOnce(tesseract::TessBaseAPI *api, Monitor *monitor, Pix *binary, tesseract::PageSegMode mode,
             int from, int to, Reading *reading)
{
    api->SetPageSegMode(mode);
    api->SetImage(binary);
    // Letters are now of the size a 300 dpi scan of small print gives.
    api->SetSourceResolution(300);
    monitor->from = from;
    monitor->to = to;
    monitor->progress = 0;
    api->Recognize(monitor);
    // Out of time, what was read by then is kept; the rest of the words are empty.
    monitor->stopAt(to);
    if (!monitor->cancelled) {
        reading->text = vsOcrLayout::textOf(linesOf(api));
        reading->confidence = api->MeanTextConf();
    }
    api->Clear();
    return monitor->cancelled ? vsOcrCancelled : vsOcrDone;
}

// Which way up the main block stands: the orientation model, and where it is
// unsure, a few lines read both ways. Quarter turns clockwise to add.
int uprightTurns(tesseract::TessBaseAPI *api, Monitor *monitor, Pix *binary, int *script)
{
    *script = 0;
    tesseract::TessBaseAPI *orientation = readyOrientationEngine();
    if (!orientation)
        return 0;
    orientation->SetImage(binary);
    orientation->SetSourceResolution(300);
    int degrees = 0;
    float confidence = 0, scriptConfidence = 0;
    const char *scriptName = nullptr;
    const bool found =
        orientation->DetectOrientationScript(&degrees, &confidence, &scriptName, &scriptConfidence) &&
        degrees % 90 == 0;
    orientation->Clear();
    if (!found)
        return 0;
    // The page is turned clockwise by degrees: turn it back.
    const int turns = (4 - degrees / 90 % 4) % 4;
    // Small capitals fool the model now and then, and a page upside down is
    // rare: only an upright page it is sure of is taken on its word.
    if (confidence >= orientationConfidence && turns == 0)
        return turns;
    // A sample of the first lines, read as found and upside down.
    const int sampleHeight =
        std::min(int(pixGetHeight(binary)), int((sampleLines * 1.6 + 2 * 2.0) * readableHeight));
    Box *box = boxCreate(0, 0, pixGetWidth(binary), sampleHeight);
    PixPtr sample(pixClipRectangle(binary, box, nullptr));
    boxDestroy(&box);
    if (!sample)
        return turns;
    PixPtr asFound(turns ? pixRotateOrth(sample.get(), turns) : pixClone(sample.get()));
    PixPtr turnedOver(asFound ? pixRotateOrth(asFound.get(), 2) : nullptr);
    if (!asFound || !turnedOver)
        return turns;
    Reading one, other;
    if (readOnce(api, monitor, asFound.get(), tesseract::PSM_AUTO, 5, 10, &one) != vsOcrDone ||
        readOnce(api, monitor, turnedOver.get(), tesseract::PSM_AUTO, 10, 15, &other) != vsOcrDone)
        return turns;
    return other.confidence > one.confidence ? (turns + 2) % 4 : turns;
}

char *copied(const std::string &text)
{
    auto *copy = new char[text.size() + 1];
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}
} // namespace

extern "C" int vestrion_ocr_read(const vsOcrRequest *request, vsOcrProgressFunction progress, void *context,
                                 vsOcrResult *result)
{
    if (!result)
        return vsOcrFailed;
    *result = vsOcrResult{};
    if (!request || !request->pixels || request->width <= 0 || request->height <= 0 ||
        (request->format != vsOcrGrey8 && request->format != vsOcrRgb32) ||
        request->bytesPerLine < request->width * (request->format == vsOcrRgb32 ? 4 : 1))
        return vsOcrFailed;
    std::lock_guard<std::mutex> lock(engineMutex);
    tesseract::TessBaseAPI *api =
        readyEngine(request->languages && *request->languages ? request->languages : "rus+eng");
    if (!api)
        return vsOcrUnavailable;
    Monitor monitor;
    monitor.report = progress;
    monitor.context = context;
    monitor.cancel = &cancelOrReport;
    monitor.cancel_this = &monitor;
    if (request->timeLimitMs > 0)
        monitor.deadline = processorSeconds() + request->timeLimitMs / 1000.0;

    PixPtr picture = pictureOf(*request);
    if (!picture)
        return vsOcrFailed;
    const int width = pixGetWidth(picture.get());
    const int height = pixGetHeight(picture.get());
    vsOcrPrepare::TextLayout layout = vsOcrPrepare::findText(picture.get());
    // Nothing like lines of letters found: the picture is read whole, as it is.
    if (layout.blocks.empty()) {
        vsOcrPrepare::Block whole;
        whole.area = vsOcrPrepare::Rect{0, 0, width, height};
        layout.blocks.push_back(whole);
    }
    if (monitor.stopAt(5) && monitor.cancelled)
        return vsOcrCancelled;

    // The main block tells which way up the picture is.
    vsOcrPrepare::Readable main =
        vsOcrPrepare::readable(picture.get(), layout.blocks.front(), layout.quarterTurns);
    int script = 0;
    const int turns = main.binary ? uprightTurns(api, &monitor, main.binary.get(), &script) : 0;
    if (monitor.cancelled)
        return vsOcrCancelled;

    // Each block with a share of the progress by its letters; a block the
    // page layout took for a picture and read little of is read again as one
    // block of text.
    int letters = 0;
    for (const vsOcrPrepare::Block &block : layout.blocks)
        letters += block.letters;
    struct Part
    {
        vsOcrPrepare::Rect area; // upright
        std::string text;
    };
    std::vector<Part> parts;
    int done = 0;
    vsOcrPrepare::Rect read;
    for (size_t i = 0; i < layout.blocks.size() && !monitor.timedOut; ++i) {
        const vsOcrPrepare::Block &block = layout.blocks[i];
        vsOcrPrepare::Readable readable =
            i == 0 && turns == 0 ? std::move(main)
                                 : vsOcrPrepare::readable(picture.get(), block, layout.quarterTurns + turns);
        if (!readable.binary)
            continue;
        const int from = 15 + 85 * done / std::max(1, letters);
        done += block.letters;
        const int to = 15 + 85 * done / std::max(1, letters);
        Reading reading;
        if (readOnce(api, &monitor, readable.binary.get(), tesseract::PSM_AUTO, from, to, &reading) !=
            vsOcrDone)
            return vsOcrCancelled;
        if (!monitor.timedOut && 2 * reading.text.sureLetters < readable.letterMarks) {
            Reading asBlock;
            if (readOnce(api, &monitor, readable.binary.get(), tesseract::PSM_SINGLE_BLOCK, to, to,
                         &asBlock) != vsOcrDone)
                return vsOcrCancelled;
            if (asBlock.text.sureLetters > reading.text.sureLetters)
                reading = std::move(asBlock);
        }
        parts.push_back(Part{vsOcrPrepare::turned(block.area, width, height, layout.quarterTurns + turns),
                             reading.text.text});
        const vsOcrPrepare::Rect &a = block.area;
        if (read.width == 0) {
            read = a;
        } else {
            const int right = std::max(read.left + read.width, a.left + a.width);
            const int bottom = std::max(read.top + read.height, a.top + a.height);
            read.left = std::min(read.left, a.left);
            read.top = std::min(read.top, a.top);
            read.width = right - read.left;
            read.height = bottom - read.top;
        }
    }
    if (monitor.stopAt(100) && monitor.cancelled)
        return vsOcrCancelled;
    // In reading order: top to bottom, then left to right; a blank line
    // between blocks, which are apart on the pack too.
    std::stable_sort(parts.begin(), parts.end(), [](const Part &a, const Part &b) {
        return a.area.top + a.area.height / 2 < b.area.top ||
               (a.area.top <= b.area.top + b.area.height / 2 && a.area.left < b.area.left);
    });
    std::string text;
    for (const Part &part : parts) {
        if (part.text.empty())
            continue;
        if (!text.empty() && text.back() == '\n' && (text.size() < 2 || text[text.size() - 2] != '\n'))
            text += '\n';
        text += part.text;
    }
    const int offsetLeft = request->regionWidth > 0 && request->regionHeight > 0
                               ? std::clamp(request->regionLeft, 0, request->width - 1)
                               : 0;
    const int offsetTop = request->regionWidth > 0 && request->regionHeight > 0
                              ? std::clamp(request->regionTop, 0, request->height - 1)
                              : 0;
    result->text = copied(text);
    result->left = read.left + offsetLeft;
    result->top = read.top + offsetTop;
    result->width = read.width;
    result->height = read.height;
    result->timedOut = monitor.timedOut ? 1 : 0;
    return vsOcrDone;
}

extern "C" void vestrion_ocr_free(char *text)
{
    delete[] text;
}
