// The OCR engine, a module of its own: Tesseract and the many libraries it
// brings are loaded with the first picture, never at the program's start.

#include "label/vsocrengine.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>

#include <cstring>
#include <memory>
#include <mutex>

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

// The models are read once, on the first picture, and kept for the next.
tesseract::TessBaseAPI *readyEngine()
{
    if (engine || engineFailed)
        return engine.get();
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
    api->SetImage(grey, width, height, 1, bytesPerLine);
    // Pictures carry no trustworthy resolution; a label photo is near this.
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
