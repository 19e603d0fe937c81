#include "label/vsocrlayout.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace vsOcrLayout {

namespace {
int lettersOf(const std::string &utf8)
{
    return int(std::count_if(utf8.begin(), utf8.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}
} // namespace

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

bool isStray(const Line &line, size_t i)
{
    const Word &word = line.words[i];
    if (word.confidence >= strayConfidence)
        return false;
    const int before = i > 0 ? word.left - line.words[i - 1].right : INT_MAX;
    const int after = i + 1 < line.words.size() ? line.words[i + 1].left - word.right : INT_MAX;
    // Real words at a line's end are one word gap from the rest and stay
    // even when unsure: only a gap on both sides makes a mark.
    return std::min(before, after) > int(strayGapHeights * readableHeight);
}

Text textOf(std::vector<Line> lines)
{
    Text result;
    joinCutLines(&lines);
    for (const Line &line : lines) {
        std::string text;
        for (size_t i = 0; i < line.words.size(); ++i) {
            const Word &word = line.words[i];
            if (isStray(line, i))
                continue;
            if (word.confidence >= strayConfidence)
                result.sureLetters += lettersOf(word.text);
            if (!text.empty())
                text += ' ';
            text += word.text;
        }
        if (!text.empty())
            result.text += text + '\n';
        // A paragraph the layout ends within a sentence goes on: a blank line
        // there would end a list, "не добавляются" apart from what they deny.
        const size_t length = result.text.size();
        if (line.endsParagraph && length >= 2 && result.text[length - 1] == '\n' &&
            std::strchr(".!?", result.text[length - 2]))
            result.text += '\n';
    }
    return result;
}

} // namespace vsOcrLayout
