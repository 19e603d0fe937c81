// The OCR engine, a module of its own: Tesseract and the many libraries it
// brings are loaded with the first picture, never at the program's start.

#include "label/vsocrengine.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace {
struct Monitor : tesseract::ETEXT_DESC
{
    vsOcrProgressFunction report = nullptr;
    void *context = nullptr;
};

bool cancelOrReport(void *data, int)
{
    auto *monitor = static_cast<Monitor *>(data);
    return monitor->report && monitor->report(monitor->context, monitor->progress) != 0;
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
// Below this the orientation engine is guessing; the picture is left as it is.
constexpr float orientationConfidence = 2.0f;
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
    made->SetPageSegMode(tesseract::PSM_AUTO);
    // Its notes would go to standard error of the program or the tool.
    made->SetVariable("debug_file", "/dev/null");
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

// Letters of a readable size, level, black on white, upright and with a
// margin around: what Tesseract reads best, made with Leptonica and
// Tesseract's own orientation detection. Without a result, the picture as it
// came.
PixPtr prepare(PixPtr grey)
{
    const double scale = readableScale(grey.get());
    // Near enough is left alone: scaling blurs a little.
    if (std::abs(scale - 1.0) > 0.15) {
        if (PixPtr scaled{pixScale(grey.get(), float(scale), float(scale))})
            grey = std::move(scaled);
    }
    PixPtr binary = readableLetters(grey.get());
    if (!binary)
        return grey;
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
            degrees % 90 == 0 && degrees % 360 != 0 && orientationConfidenceFound >= orientationConfidence) {
            // The page is turned clockwise by degrees: turn it back.
            if (PixPtr upright{pixRotateOrth(binary.get(), (4 - degrees / 90 % 4) % 4)})
                binary = std::move(upright);
        }
        orientation->Clear();
    }
    // White is 0 in a binary picture.
    if (PixPtr framed{pixAddBorder(binary.get(), int(marginHeights * readableHeight), 0)})
        binary = std::move(framed);
    return binary;
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
    picture = prepare(std::move(picture));
    api->SetImage(picture.get());
    // Letters are now of the size a 300 dpi scan of small print gives.
    api->SetSourceResolution(300);
    Monitor monitor;
    monitor.report = progress;
    monitor.context = context;
    monitor.cancel = &cancelOrReport;
    monitor.cancel_this = &monitor;
    const int failed = api->Recognize(&monitor);
    if (progress && progress(context, 100) != 0) {
        api->Clear();
        return vsOcrCancelled;
    }
    if (failed != 0) {
        api->Clear();
        return vsOcrFailed;
    }
    char *recognised = api->GetUTF8Text();
    api->Clear();
    if (!recognised)
        return vsOcrFailed;
    const size_t length = std::strlen(recognised);
    *text = new char[length + 1];
    std::memcpy(*text, recognised, length + 1);
    delete[] recognised;
    return vsOcrDone;
}

extern "C" void vestrion_ocr_free(char *text)
{
    delete[] text;
}
