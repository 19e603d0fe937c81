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
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {
using vsOcrLayout::readableHeight;
using vsOcrPrepare::PixPtr;

// The main block read with less confidence than this may be upside down:
// it is read turned over too, and the surer way kept.
constexpr int uprightConfidence = 60;
// Below this a reading in a colour's channel is tried in luminance too.
constexpr int unsureConfidence = 70;
// Words the engine is this sure of count towards the script.
constexpr float sureWord = 70.0f;

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
    int cyrillic = 0; // letters of sure words
    int latin = 0;
};

void countScripts(const std::vector<vsOcrLayout::Line> &lines, Reading *reading)
{
    for (const vsOcrLayout::Line &line : lines)
        for (const vsOcrLayout::Word &word : line.words) {
            if (word.confidence < sureWord)
                continue;
            for (const char c : word.text) {
                const auto byte = static_cast<unsigned char>(c);
                // UTF-8 lead bytes of U+0400…U+04FF.
                reading->cyrillic += byte >= 0xD0 && byte <= 0xD3;
                reading->latin += std::isalpha(byte) != 0;
            }
        }
}

// One binarised picture read in one page mode, with its share of the progress.
// Given the same picture in grey, the engine finds the lines in the binary one
// and reads the letters from the grey, which keeps their edges: its line
// recogniser reads the original picture wherever it has the page's size.
int readOnce(tesseract::TessBaseAPI *api, Monitor *monitor, Pix *binary, Pix *grey,
             tesseract::PageSegMode mode, int from, int to, Reading *reading)
{
    api->SetPageSegMode(mode);
    api->SetImage(binary);
    if (grey && pixGetWidth(grey) == pixGetWidth(binary) && pixGetHeight(grey) == pixGetHeight(binary))
        api->SetInputImage(pixClone(grey));
    // Letters are now of the size a 300 dpi scan of small print gives.
    api->SetSourceResolution(300);
    monitor->from = from;
    monitor->to = to;
    monitor->progress = 0;
    api->Recognize(monitor);
    // Out of time, what was read by then is kept; the rest of the words are empty.
    monitor->stopAt(to);
    if (!monitor->cancelled) {
        const std::vector<vsOcrLayout::Line> lines = linesOf(api);
        countScripts(lines, reading);
        reading->text = vsOcrLayout::textOf(lines);
        reading->confidence = api->MeanTextConf();
    }
    api->Clear();
    return monitor->cancelled ? vsOcrCancelled : vsOcrDone;
}

// Models of one script, the request's order kept; and English beside a
// Cyrillic one, for the codes and Latin words of Russian labels.
std::string modelsOf(const std::vector<std::string> &requested, bool cyrillic)
{
    static const std::vector<std::string> cyrillicModels{"rus", "ukr", "bel", "kaz"};
    std::string models;
    for (const std::string &model : requested) {
        const bool isCyrillic =
            std::find(cyrillicModels.begin(), cyrillicModels.end(), model) != cyrillicModels.end();
        if (isCyrillic == cyrillic || (cyrillic && model == "eng"))
            models += (models.empty() ? "" : "+") + model;
    }
    return models;
}

// Whether a language's model is installed where the engine looks: a label
// language whose model is missing is read with the others, not refused.
bool installed(const std::string &model)
{
    const char *prefix = std::getenv("TESSDATA_PREFIX");
    const std::string folder = prefix && *prefix ? prefix : "/usr/share/tesseract-ocr/5/tessdata";
    struct stat info;
    if (stat(folder.c_str(), &info) != 0)
        return true; // the engine's own default, unknown here: it will tell
    return stat((folder + '/' + model + ".traineddata").c_str(), &info) == 0;
}

std::vector<std::string> modelsRequested(const char *languages)
{
    std::vector<std::string> models;
    const std::string list = languages && *languages ? languages : "rus+eng";
    size_t from = 0;
    while (from <= list.size()) {
        const size_t plus = std::min(list.find('+', from), list.size());
        const std::string model = list.substr(from, plus - from);
        if (!model.empty() && installed(model))
            models.push_back(model);
        from = plus + 1;
    }
    return models;
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
    // A first look reads a sample with one model of each script; the page is
    // then read with the models of its script alone: each more costs time.
    const std::vector<std::string> requested = modelsRequested(request->languages);
    const std::string cyrillicModels = modelsOf(requested, true);
    const std::string latinModels = modelsOf(requested, false);
    std::string firstLook;
    for (const std::string &models : {cyrillicModels, latinModels})
        if (!models.empty())
            firstLook += (firstLook.empty() ? "" : "+") + models.substr(0, models.find('+'));
    tesseract::TessBaseAPI *api = firstLook.empty() ? nullptr : readyEngine(firstLook);
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

    // Each block with a share of the progress by its letters; a block the
    // page layout took for a picture and read little of is read again as one
    // block of text.
    int letters = 0;
    for (const vsOcrPrepare::Block &block : layout.blocks)
        letters += block.letters;
    int done = 0;
    const auto readBlock = [&](const vsOcrPrepare::Readable &readable, int blockLetters, Reading *reading,
                               bool inGrey = false) {
        const int from = 5 + 95 * done / std::max(1, letters);
        const int to = 5 + 95 * (done + blockLetters) / std::max(1, letters);
        Pix *grey = inGrey ? readable.grey.get() : nullptr;
        if (readOnce(api, &monitor, readable.binary.get(), grey, tesseract::PSM_AUTO, from, to, reading) !=
            vsOcrDone)
            return false;
        if (!monitor.timedOut && 2 * reading->text.sureLetters < readable.letterMarks) {
            Reading asBlock;
            if (readOnce(api, &monitor, readable.binary.get(), grey, tesseract::PSM_SINGLE_BLOCK, to, to,
                         &asBlock) != vsOcrDone)
                return false;
            if (asBlock.text.sureLetters > reading->text.sureLetters)
                *reading = std::move(asBlock);
        }
        return true;
    };

    // The main block first: read as found and, where the engine is unsure,
    // turned over too, the surer way kept. Its sure words tell the script:
    // the other blocks are read with that script's models alone, and the
    // main block again with them where there is time.
    const vsOcrPrepare::Block &first = layout.blocks.front();
    vsOcrPrepare::Readable main = vsOcrPrepare::readable(picture.get(), first, layout.quarterTurns);
    Reading mainReading;
    int turns = 0;
    const double mainStart = processorSeconds();
    if (main.binary && !readBlock(main, first.letters, &mainReading))
        return vsOcrCancelled;
    // Another reading of the main block is tried only where one more such
    // reading fits in the time left, with room to spare.
    const double oneReading = processorSeconds() - mainStart;
    const auto timeForAnother = [&] {
        return !monitor.timedOut &&
               (monitor.deadline == 0 || processorSeconds() + 1.5 * oneReading < monitor.deadline);
    };
    if (main.binary && !monitor.timedOut && mainReading.confidence < uprightConfidence) {
        vsOcrPrepare::Readable over = vsOcrPrepare::readable(picture.get(), first, layout.quarterTurns + 2);
        Reading overReading;
        if (over.binary && !readBlock(over, first.letters, &overReading))
            return vsOcrCancelled;
        if (over.binary && !monitor.timedOut && overReading.confidence > mainReading.confidence) {
            turns = 2;
            main = std::move(over);
            mainReading = std::move(overReading);
        }
    }
    // A colour's own channel shows print on a coloured ground best, but a
    // JPEG keeps colour at half the resolution: small print may read better
    // in plain luminance. Where the engine is unsure and there is time, the
    // main block is read that way too and the surer reading kept.
    if (main.binary && first.channel != vsOcrPrepare::Luminance &&
        mainReading.confidence < unsureConfidence && timeForAnother()) {
        vsOcrPrepare::Block plain = first;
        plain.channel = vsOcrPrepare::Luminance;
        vsOcrPrepare::Readable luminance =
            vsOcrPrepare::readable(picture.get(), plain, layout.quarterTurns + turns);
        Reading luminanceReading;
        if (luminance.binary && !readBlock(luminance, first.letters, &luminanceReading))
            return vsOcrCancelled;
        if (luminance.binary && !monitor.timedOut && luminanceReading.confidence > mainReading.confidence) {
            main = std::move(luminance);
            mainReading = std::move(luminanceReading);
        }
    }
    // Binarising breaks small, condensed or blurred letters that the grey
    // still shows whole: where the engine is still unsure and there is time,
    // the main block's letters are read from its grey and the surer kept.
    bool mainInGrey = false;
    if (main.binary && main.grey && mainReading.confidence < unsureConfidence && timeForAnother()) {
        Reading greyReading;
        if (!readBlock(main, first.letters, &greyReading, true))
            return vsOcrCancelled;
        if (!monitor.timedOut && greyReading.confidence > mainReading.confidence) {
            mainReading = std::move(greyReading);
            mainInGrey = true;
        }
    }
    const bool cyrillic =
        !cyrillicModels.empty() && (latinModels.empty() || mainReading.cyrillic >= mainReading.latin);
    const std::string &models = cyrillic ? cyrillicModels : latinModels;
    tesseract::TessBaseAPI *scripts = models == firstLook ? api : readyEngine(models);
    if (scripts && scripts != api) {
        api = scripts;
        if (main.binary && timeForAnother()) {
            Reading again;
            if (!readBlock(main, first.letters, &again, mainInGrey))
                return vsOcrCancelled;
            if (!monitor.timedOut)
                mainReading = std::move(again);
        }
    }
    done += first.letters;

    struct Part
    {
        vsOcrPrepare::Rect area; // upright
        std::string text;
    };
    std::vector<Part> parts;
    vsOcrPrepare::Rect read;
    for (size_t i = 0; i < layout.blocks.size(); ++i) {
        const vsOcrPrepare::Block &block = layout.blocks[i];
        Reading reading;
        if (i == 0) {
            reading = std::move(mainReading);
        } else {
            if (monitor.timedOut)
                break;
            const vsOcrPrepare::Readable readable =
                vsOcrPrepare::readable(picture.get(), block, layout.quarterTurns + turns);
            if (!readable.binary)
                continue;
            if (!readBlock(readable, block.letters, &reading))
                return vsOcrCancelled;
            done += block.letters;
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
