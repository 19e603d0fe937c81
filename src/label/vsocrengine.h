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

// Reads the text of an 8-bit grey image. On vsOcrDone, *text holds it as
// UTF-8, to be released with vestrion_ocr_free. Calls are serialised.
int vestrion_ocr_recognise(const unsigned char *grey, int width, int height, int bytesPerLine,
                           vsOcrProgressFunction progress, void *context, char **text);
void vestrion_ocr_free(char *text);
}

#endif
