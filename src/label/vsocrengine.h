#ifndef VESTRION_LABEL_VSOCRENGINE_H
#define VESTRION_LABEL_VSOCRENGINE_H

// The plain C interface of the OCR module, resolved by name when it is loaded.
extern "C" {
// Called as recognition goes on, with the percentage done; a non-zero return cancels.
typedef int (*vsOcrProgressFunction)(void *context, int percent);

enum vsOcrStatus
{
    vsOcrDone = 0,
    vsOcrUnavailable = 1, // engine or language models missing
    vsOcrCancelled = 2,
    vsOcrFailed = 3
};

enum vsOcrFormat
{
    vsOcrGrey8 = 0,
    vsOcrRgb32 = 1 // 32-bit words 0xffRRGGBB, as QImage::Format_RGB32
};

struct vsOcrRequest
{
    const unsigned char *pixels;
    int width;
    int height;
    int bytesPerLine;
    int format;
    // The part to read, in pixels; an empty one for the whole picture, where
    // the engine finds the text itself.
    int regionLeft;
    int regionTop;
    int regionWidth;
    int regionHeight;
    const char *languages; // Tesseract's, "rus+eng"; null for that
    int timeLimitMs;       // processor time; 0 for none
};

struct vsOcrResult
{
    char *text; // UTF-8, released with vestrion_ocr_free
    // The part that was read, in the picture's pixels.
    int left;
    int top;
    int width;
    int height;
    int timedOut; // the time ran out: text is what was read by then
};

// Reads the text of a picture. Calls are serialised.
int vestrion_ocr_read(const vsOcrRequest *request, vsOcrProgressFunction progress, void *context,
                      vsOcrResult *result);
void vestrion_ocr_free(char *text);
}

#endif
