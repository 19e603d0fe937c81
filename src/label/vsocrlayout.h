#ifndef VESTRION_LABEL_VSOCRLAYOUT_H
#define VESTRION_LABEL_VSOCRLAYOUT_H

#include <string>
#include <vector>

// What is made of the engine's lines once a picture is read: a line cut in
// two joined again, stray marks dropped, paragraphs kept only where a
// sentence ends. Plain data in, text out: no engine needed to test it.
namespace vsOcrLayout {

// The height of a lower-case letter the LSTM models read best; pictures are
// scaled to it before reading, so every distance here is in its units.
constexpr double readableHeight = 24.0;
// A word the engine is this unsure of, far from the rest of its line on both
// sides, is a mark at the edge of the label or the pack, read as letters.
constexpr float strayConfidence = 70.0f;
constexpr double strayGapHeights = 4.0;

struct Word
{
    std::string text; // UTF-8
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

struct Text
{
    std::string text;
    int sureLetters = 0; // in the words read with confidence
};

// Lines of a curved or slanted label may come back cut in two, the right
// pieces as a column of their own: a piece that starts where a line on its
// level ends is that line's rest. Cut inside a word, the word is made whole.
void joinCutLines(std::vector<Line> *lines);

bool isStray(const Line &line, size_t word);

// A line each, a blank line after each paragraph that ends a sentence, less
// the stray marks; cut lines joined first.
Text textOf(std::vector<Line> lines);

} // namespace vsOcrLayout

#endif
