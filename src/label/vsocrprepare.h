#ifndef VESTRION_LABEL_VSOCRPREPARE_H
#define VESTRION_LABEL_VSOCRPREPARE_H

#include <memory>
#include <vector>

struct Pix;

// Where a photo's print is and how to make it readable, with Leptonica: the
// blocks of text are found on a reduced copy, each with the grey and the
// polarity that show its print best and the height of its letters; then each
// block alone is cut out of the full picture, turned upright and scaled to
// the letter height the engine reads best.
namespace vsOcrPrepare {

struct PixDeleter
{
    void operator()(Pix *pix) const;
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

// Text is found on a copy no larger than this: enough for the letters of a
// label in a 16-megapixel photo, and quick.
constexpr int analysisSide = 1600;

struct Rect
{
    int left = 0, top = 0, width = 0, height = 0;
};

// The grey a block is read in: a fixed luminance loses red print on red and
// white on yellow, one of the colour's own channels does not.
enum Channel
{
    Luminance,
    Red,
    Green,
    Blue
};

struct Block
{
    Rect area; // in the picture's pixels
    int letters = 0;
    Channel channel = Luminance;
    bool light = false;      // light print on a darker ground
    double letterHeight = 0; // the commonest, in the picture's pixels
    bool capitals = false;   // in capitals alone
};

struct TextLayout
{
    int quarterTurns = 0;      // clockwise turns that lay the lines level
    std::vector<Block> blocks; // the most letters first
};

// 8-bit grey or 32-bit colour pictures; an empty layout when nothing in it
// looks like lines of letters.
TextLayout findText(Pix *picture);

struct Readable
{
    PixPtr binary;       // black print on white
    PixPtr grey;         // the same picture before binarising: letters with their edges
    int letterMarks = 0; // about as many letters to read
};

// The block alone: its grey, dark print on light, turned, its letters
// readable-height high, binarised, levelled and with a margin around; the
// grey as it was binarised, of the same size.
Readable readable(Pix *picture, const Block &block, int quarterTurns);

// The block's area as it lies in the picture turned by quarterTurns.
Rect turned(const Rect &area, int pictureWidth, int pictureHeight, int quarterTurns);

} // namespace vsOcrPrepare

#endif
