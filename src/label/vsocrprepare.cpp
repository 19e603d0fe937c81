#include "label/vsocrprepare.h"

#include "label/vsocrlayout.h"

#include <leptonica/allheaders.h>

#include <algorithm>
#include <cmath>

namespace vsOcrPrepare {

void PixDeleter::operator()(Pix *pix) const
{
    pixDestroy(&pix);
}

namespace {
using vsOcrLayout::readableHeight;

struct BoxaDeleter
{
    void operator()(Boxa *boxa) const { boxaDestroy(&boxa); }
};
using BoxaPtr = std::unique_ptr<Boxa, BoxaDeleter>;

struct BoxDeleter
{
    void operator()(Box *box) const { boxDestroy(&box); }
};
using BoxPtr = std::unique_ptr<Box, BoxDeleter>;

constexpr float degree = 3.14159265f / 180;
// A one-line crop needs white around it for the page layout to find the line.
constexpr double marginHeights = 2.0;
// Fewer letters in lines than this are no block worth reading: a logo, a
// word on a lid, noise that happens to line up.
constexpr int minimumLetters = 8;
constexpr int maximumBlocks = 8;
constexpr double capitalHeight = 1.4 * readableHeight;

struct Mark
{
    int x = 0, y = 0, w = 0, h = 0;
};

PixPtr greyOf(Pix *picture, Channel channel)
{
    if (pixGetDepth(picture) != 32)
        return PixPtr(pixClone(picture));
    switch (channel) {
    case Red:
        return PixPtr(pixGetRGBComponent(picture, COLOR_RED));
    case Green:
        return PixPtr(pixGetRGBComponent(picture, COLOR_GREEN));
    case Blue:
        return PixPtr(pixGetRGBComponent(picture, COLOR_BLUE));
    default:
        return PixPtr(pixConvertRGBToLuminance(picture));
    }
}

// Black on white by Sauvola's local threshold, which keeps letters under a
// vignette, a shadow or glare; the window spans a few letters of the given
// height. What reaches the picture's edge is the table or the pack around
// the list: left in, the page layout takes the list for a picture inside it.
PixPtr binarised(Pix *grey, int letterHeight, float factor = 0.34f)
{
    // Leptonica needs the picture larger than twice the window: a one-line
    // crop gets a smaller one.
    const int window =
        std::min(std::max(8, 2 * letterHeight), (std::min(pixGetWidth(grey), pixGetHeight(grey)) - 4) / 2);
    if (window < 3)
        return PixPtr(pixThresholdToBinary(grey, 128));
    Pix *binary = nullptr;
    if (pixSauvolaBinarizeTiled(grey, window, factor, 1, 1, nullptr, &binary) != 0)
        return PixPtr();
    PixPtr made(binary);
    PixPtr inside(pixRemoveBorderConnComps(made.get(), 8));
    return inside ? std::move(inside) : std::move(made);
}

std::vector<Mark> marksOf(Pix *binary)
{
    std::vector<Mark> marks;
    BoxaPtr boxes(pixConnCompBB(binary, 8));
    if (!boxes)
        return marks;
    const int count = boxaGetCount(boxes.get());
    marks.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        Mark mark;
        boxaGetBoxGeometry(boxes.get(), i, &mark.x, &mark.y, &mark.w, &mark.h);
        marks.push_back(mark);
    }
    return marks;
}

// Marks of a letter's size and shape that stand in a row of others like
// them: three or more of about one height, level, a word gap apart at most.
// A speck, a crease or the grain of a wrapper rarely lines up so.
std::vector<Mark> lettersInLines(const std::vector<Mark> &marks, int pictureHeight)
{
    std::vector<Mark> candidates;
    const int tallest = std::max(6, std::min(pictureHeight / 3, 160));
    for (const Mark &mark : marks)
        if (mark.h >= 5 && mark.h <= tallest && mark.w <= 3 * mark.h && 12 * mark.w >= mark.h)
            candidates.push_back(mark);
    std::sort(candidates.begin(), candidates.end(), [](const Mark &a, const Mark &b) { return a.x < b.x; });
    std::vector<int> links(candidates.size(), 0);
    std::vector<std::vector<int>> neighbours(candidates.size());
    for (size_t i = 0; i < candidates.size(); ++i) {
        const Mark &a = candidates[i];
        for (size_t j = i + 1; j < candidates.size(); ++j) {
            const Mark &b = candidates[j];
            const int lower = std::min(a.h, b.h);
            const int higher = std::max(a.h, b.h);
            // Of about one height: none farther than this can be a neighbour.
            if (b.x > a.x + a.w + 2 * a.h)
                break;
            if (10 * lower < 6 * higher || b.x > a.x + a.w + int(1.2 * higher))
                continue;
            const int overlap = std::min(a.y + a.h, b.y + b.h) - std::max(a.y, b.y);
            if (2 * overlap < lower || b.x + b.w <= a.x + a.w)
                continue;
            ++links[i];
            ++links[j];
            neighbours[i].push_back(int(j));
            neighbours[j].push_back(int(i));
        }
    }
    std::vector<Mark> letters;
    for (size_t i = 0; i < candidates.size(); ++i) {
        bool inRow = links[i] >= 2;
        for (int k = 0; !inRow && k < int(neighbours[i].size()); ++k)
            inRow = links[size_t(neighbours[i][size_t(k)])] >= 2;
        if (inRow)
            letters.push_back(candidates[i]);
    }
    return letters;
}

// The commonest height of the letters; lower-case letters outnumber
// capitals, and antialiasing makes a letter a pixel taller or shorter.
double commonHeight(const std::vector<Mark> &letters)
{
    int tallest = 0;
    for (const Mark &letter : letters)
        tallest = std::max(tallest, letter.h);
    std::vector<int> count(size_t(tallest + 2), 0);
    for (const Mark &letter : letters)
        ++count[size_t(letter.h)];
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

// Letters in level lines for one way of reading the picture's grey.
struct Reading
{
    Channel channel = Luminance;
    bool light = false;
    PixPtr binary;
    std::vector<Mark> letters;
    std::vector<Mark> all; // every mark, in the same orientation as the letters
    int marks = 0;         // of any size but a speck
};

// Many letters in lines, and few marks besides: the wrong way round, the
// grain of the ground around the letters makes specks that line up too.
double clarity(size_t letters, int marks)
{
    return marks > 0 ? double(letters) * double(letters) / marks : 0;
}

int marksBeyondSpecks(const std::vector<Mark> &marks)
{
    return int(
        std::count_if(marks.begin(), marks.end(), [](const Mark &m) { return std::max(m.w, m.h) >= 3; }));
}

// The letters of a reading turned a quarter clockwise, as in the binary
// turned so: lines that ran top to bottom now run level.
std::vector<Mark> lettersTurned(Reading &reading)
{
    PixPtr turnedBinary(pixRotateOrth(reading.binary.get(), 1));
    if (!turnedBinary)
        return {};
    reading.binary = std::move(turnedBinary);
    reading.all = marksOf(reading.binary.get());
    return lettersInLines(reading.all, pixGetHeight(reading.binary.get()));
}

bool inside(const Mark &letter, const Mark &area)
{
    const int x = letter.x + letter.w / 2;
    const int y = letter.y + letter.h / 2;
    return x >= area.x && x < area.x + area.w && y >= area.y && y < area.y + area.h;
}
} // namespace

Rect turned(const Rect &area, int pictureWidth, int pictureHeight, int quarterTurns)
{
    Rect rect = area;
    int width = pictureWidth;
    int height = pictureHeight;
    for (int turn = 0; turn < (quarterTurns % 4 + 4) % 4; ++turn) {
        // A quarter clockwise: (x, y) goes to (height - 1 - y, x).
        rect = Rect{height - rect.top - rect.height, rect.left, rect.height, rect.width};
        std::swap(width, height);
    }
    return rect;
}

TextLayout findText(Pix *picture)
{
    TextLayout layout;
    const int width = pixGetWidth(picture);
    const int height = pixGetHeight(picture);
    const double reduce = std::min(1.0, double(analysisSide) / std::max(width, height));
    PixPtr small(reduce < 1.0 ? pixScaleAreaMap(picture, float(reduce), float(reduce)) : pixClone(picture));
    if (!small)
        return layout;

    // Every grey both ways: dark print on a light ground and light on dark.
    std::vector<Reading> readings;
    const bool colour = pixGetDepth(small.get()) == 32;
    for (const Channel channel : {Luminance, Red, Green, Blue}) {
        if (!colour && channel != Luminance)
            break;
        PixPtr grey = greyOf(small.get(), channel);
        if (!grey)
            continue;
        for (const bool light : {false, true}) {
            PixPtr way(light ? pixInvert(nullptr, grey.get()) : pixClone(grey.get()));
            Reading reading;
            reading.channel = channel;
            reading.light = light;
            reading.binary = way ? binarised(way.get(), 12) : PixPtr();
            if (!reading.binary)
                continue;
            reading.all = marksOf(reading.binary.get());
            reading.marks = marksBeyondSpecks(reading.all);
            reading.letters = lettersInLines(reading.all, pixGetHeight(small.get()));
            readings.push_back(std::move(reading));
        }
    }
    if (readings.empty())
        return layout;
    const auto mostLetters = [](std::vector<Reading> &ways) {
        return std::max_element(ways.begin(), ways.end(), [](const Reading &a, const Reading &b) {
            return clarity(a.letters.size(), a.marks) < clarity(b.letters.size(), b.marks);
        });
    };

    // Lines that run top to bottom: the photo was taken turned. Which way
    // round it is, the orientation model tells later. Every way is looked
    // at turned: the one that shows the lines may show nothing level.
    {
        std::vector<Reading> across;
        for (const Reading &reading : readings) {
            Reading probe;
            probe.channel = reading.channel;
            probe.light = reading.light;
            probe.marks = reading.marks;
            probe.binary.reset(pixClone(reading.binary.get()));
            probe.letters = lettersTurned(probe);
            across.push_back(std::move(probe));
        }
        const auto level = mostLetters(readings);
        const auto turned = mostLetters(across);
        if (clarity(turned->letters.size(), turned->marks) >
                1.5 * clarity(level->letters.size(), level->marks) &&
            turned->letters.size() > 3 * level->letters.size() / 2 &&
            turned->letters.size() >= size_t(3 * minimumLetters)) {
            layout.quarterTurns = 1;
            readings = std::move(across);
        }
    }
    const Reading &best = *mostLetters(readings);
    if (best.letters.size() < size_t(minimumLetters))
        return layout;

    // Blocks: the letters of every way that shows many, spread by about a
    // word gap across and a line gap down, so that a list's lines make one
    // block and a table or a heading apart from it another.
    const int turnedWidth = pixGetWidth(best.binary.get());
    const int turnedHeight = pixGetHeight(best.binary.get());
    const double common = commonHeight(best.letters);
    PixPtr mask(pixCreate(turnedWidth, turnedHeight, 1));
    if (!mask)
        return layout;
    for (const Reading &reading : readings) {
        if (4 * reading.letters.size() < best.letters.size())
            continue;
        for (const Mark &letter : reading.letters)
            pixRasterop(mask.get(), letter.x, letter.y, letter.w, letter.h, PIX_SET, nullptr, 0, 0);
    }
    PixPtr joined(pixDilateBrick(nullptr, mask.get(), int(2 * common) | 1, int(1.6 * common) | 1));
    if (!joined)
        return layout;
    const std::vector<Mark> areas = marksOf(joined.get());

    for (const Mark &area : areas) {
        // The way that shows the letters here most clearly.
        const Reading *chosen = nullptr;
        std::vector<Mark> letters;
        double clearest = 0;
        for (const Reading &reading : readings) {
            std::vector<Mark> here;
            for (const Mark &letter : reading.letters)
                if (inside(letter, area))
                    here.push_back(letter);
            int marks = 0;
            for (const Mark &mark : reading.all)
                marks += std::max(mark.w, mark.h) >= 3 && inside(mark, area);
            if (clarity(here.size(), marks) > clearest) {
                clearest = clarity(here.size(), marks);
                letters = std::move(here);
                chosen = &reading;
            }
        }
        if (!chosen || letters.size() < size_t(minimumLetters))
            continue;
        Block block;
        block.letters = int(letters.size());
        block.channel = chosen->channel;
        block.light = chosen->light;
        // Measured on the reduced copy, the height is the picture's once scaled back.
        const double letterHeight = commonHeight(letters);
        block.letterHeight = letterHeight / reduce;
        // Lower-case print has letters of two heights, x-height and
        // ascenders a third taller; print in capitals alone has one.
        const auto apart = std::count_if(letters.begin(), letters.end(), [letterHeight](const Mark &m) {
            return m.h > 1.25 * letterHeight || m.h < 0.8 * letterHeight;
        });
        block.capitals = 6 * apart < int(letters.size());
        // A letter's height of ground around, in the turned copy, then back
        // in the picture's own pixels and orientation.
        const int pad = int(letterHeight) + 2;
        const int left = std::max(0, area.x - pad);
        const int top = std::max(0, area.y - pad);
        const Rect padded{left, top, std::min(turnedWidth, area.x + area.w + pad) - left,
                          std::min(turnedHeight, area.y + area.h + pad) - top};
        const Rect unturned = turned(padded, turnedWidth, turnedHeight, 4 - layout.quarterTurns);
        const int x0 = std::max(0, int(std::floor(unturned.left / reduce)));
        const int y0 = std::max(0, int(std::floor(unturned.top / reduce)));
        const int x1 = std::min(width, int(std::ceil((unturned.left + unturned.width) / reduce)));
        const int y1 = std::min(height, int(std::ceil((unturned.top + unturned.height) / reduce)));
        block.area = Rect{x0, y0, x1 - x0, y1 - y0};
        if (block.area.width > 0 && block.area.height > 0)
            layout.blocks.push_back(block);
    }
    std::stable_sort(layout.blocks.begin(), layout.blocks.end(),
                     [](const Block &a, const Block &b) { return a.letters > b.letters; });
    // A few letters beside a list many times longer are a logo or a crease.
    const int most = layout.blocks.empty() ? 0 : layout.blocks.front().letters;
    layout.blocks.erase(std::remove_if(layout.blocks.begin(), layout.blocks.end(),
                                       [most](const Block &b) { return 25 * b.letters < most; }),
                        layout.blocks.end());
    if (layout.blocks.size() > size_t(maximumBlocks))
        layout.blocks.resize(size_t(maximumBlocks));
    return layout;
}

Readable readable(Pix *picture, const Block &block, int quarterTurns)
{
    Readable result;
    BoxPtr box(boxCreate(block.area.left, block.area.top, block.area.width, block.area.height));
    PixPtr cut(box ? pixClipRectangle(picture, box.get(), nullptr) : nullptr);
    PixPtr grey = cut ? greyOf(cut.get(), block.channel) : PixPtr();
    if (!grey)
        return result;
    if (block.light)
        pixInvert(grey.get(), grey.get());
    // Capitals stand as high as a lower-case line's tallest letters: so high
    // they are read best, not as high as lower-case letters alone.
    const double target = block.capitals ? capitalHeight : readableHeight;
    const double scale = block.letterHeight > 0 ? std::clamp(target / block.letterHeight, 0.15, 4.0) : 1.0;
    // Near enough is left alone: scaling blurs a little.
    if (std::abs(scale - 1.0) > 0.15) {
        if (PixPtr scaled{pixScale(grey.get(), float(scale), float(scale))})
            grey = std::move(scaled);
    }
    if (quarterTurns % 4 != 0) {
        if (PixPtr upright{pixRotateOrth(grey.get(), quarterTurns % 4)})
            grey = std::move(upright);
    }
    // Only what could be letters or words: the edge of the card or a pack's
    // frame around the list would make the page layout split it into columns.
    const auto lettersWith = [](Pix *grey, float factor) {
        PixPtr binary = binarised(grey, int(readableHeight), factor);
        if (!binary)
            return binary;
        l_int32 changed = 0;
        PixPtr kept(pixSelectBySize(binary.get(), int(25 * readableHeight), int(4 * readableHeight), 8,
                                    L_SELECT_IF_BOTH, L_SELECT_IF_LTE, &changed));
        return kept ? std::move(kept) : std::move(binary);
    };
    // Letters whole: a threshold too strict for faint or thin print breaks
    // them into pieces, one too lax joins the ground's grain into them.
    const auto wholeness = [](Pix *binary) {
        int whole = 0, pieces = 0;
        for (const Mark &mark : marksOf(binary)) {
            if (mark.h >= 0.6 * readableHeight && mark.h <= 2.5 * readableHeight && mark.w <= 3 * mark.h)
                ++whole;
            else if (std::max(mark.w, mark.h) >= 3 && mark.h < 0.45 * readableHeight)
                ++pieces;
        }
        return whole - pieces;
    };
    const auto letters = [&](Pix *grey) {
        PixPtr best;
        int bestWholeness = 0;
        for (const float factor : {0.34f, 0.2f, 0.1f}) {
            PixPtr binary = lettersWith(grey, factor);
            const int w = binary ? wholeness(binary.get()) : 0;
            if (binary && (!best || w > bestWholeness)) {
                best = std::move(binary);
                bestWholeness = w;
            }
        }
        return best;
    };
    PixPtr binary = letters(grey.get());
    if (!binary)
        return result;
    l_float32 angle = 0, confidence = 0;
    if (pixFindSkew(binary.get(), &angle, &confidence) == 0 && confidence > 2.5f && std::abs(angle) > 0.2f) {
        // Turned as grey, the letters keep their edges smooth.
        PixPtr level(pixRotate(grey.get(), angle * degree, L_ROTATE_AREA_MAP, L_BRING_IN_WHITE, 0, 0));
        PixPtr levelBinary = level ? letters(level.get()) : PixPtr();
        if (levelBinary) {
            binary = std::move(levelBinary);
            grey = std::move(level);
        }
    }
    for (const Mark &mark : marksOf(binary.get()))
        result.letterMarks +=
            mark.h >= 0.6 * readableHeight && mark.h <= 2.5 * readableHeight && mark.w <= 3 * mark.h;
    // White is 0 in a binary picture.
    if (PixPtr framed{pixAddBorder(binary.get(), int(marginHeights * readableHeight), 0)})
        binary = std::move(framed);
    if (PixPtr framed{pixAddBorder(grey.get(), int(marginHeights * readableHeight), 255)})
        grey = std::move(framed);
    result.binary = std::move(binary);
    result.grey = std::move(grey);
    return result;
}

} // namespace vsOcrPrepare
