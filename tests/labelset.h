#ifndef VESTRION_TESTS_LABELSET_H
#define VESTRION_TESTS_LABELSET_H

#include "label/vsocr.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>

class QAbstractItemModel;
class vsLabelAnalyser;

// The ingredient lists of tests/data/labels and the list of real photos,
// shared by the label tests, the tool's tests and the benchmark.
namespace vsLabelSet {

struct Label
{
    QString name;      // file name without .txt
    QStringList codes; // the additives it names
    QString text;      // the list as printed
};

// Every label of the folder, in file name order; empty if none can be read.
QVector<Label> load(const QString &folder);

// How a pack prints its list.
enum Print
{
    DarkOnLight, // black on an off-white card
    LightOnDark, // light grey on dark grey
    WhiteOnRed,  // bold white on a red wrapper
    RedOnRed,    // dark red on red: one grey of both alike
    WhiteOnBlue,
    WhiteOnYellow, // bright on bright, apart in blue alone
    SmallCapitals, // condensed capitals 6-7 px high on mustard, as cut from a shop's picture
    ThinOnYellow,  // a light typeface, dark on yellow
};

// The text as a photographed label, width pixels wide (for small capitals,
// as wide as the text), turned by degrees, with speckle noise from a fixed seed.
QImage render(const QString &text, int width, double degrees, int noisePercent, Print print = DarkOnLight);

// Several lists on one card, one above the other, each as render() prints it
// with a gap as tall as itself below it; *parts gets where each lies.
QImage renderStacked(const QStringList &texts, int width, QVector<QRect> *parts);

// What a phone's photo adds to the printed card; any together.
enum Distortion
{
    Perspective = 0x01, // taken at an angle
    Wave = 0x02,        // a curved pack
    Gradient = 0x04,    // light falling from one side
    Vignette = 0x08,    // dark corners (not on a tight crop)
    MotionBlur = 0x10,
    Noise = 0x20,
    Phone = 0x3f,    // all of the above
    Glare = 0x40,    // light mirrored on a glossy wrapper
    Crinkles = 0x80, // a crumpled wrapper: uneven shading and a wave both ways
};

struct Shot
{
    int distortions = Phone;
    int turn = 0;        // clockwise turn of the stored pixels: 0, 90, 180 or 270
    bool tagged = false; // the EXIF orientation tag says how to turn it back
    bool tight = false;  // cropped close around the text, as of one line
    int width = 1300;    // of the frame, the card filling most of it
    int height = 0;      // of the frame; 0 for the card's own shape
    Print print = DarkOnLight;
    bool cluttered = false;    // the card in a larger frame: a hand, a barcode, a price tag, a blanket
    bool recompressed = false; // sent on by a messenger: halved and compressed again
};

// The kinds of photo the tests and the benchmark score, each named.
struct PhotoKind
{
    const char *name;
    Shot shot;
};
const QVector<PhotoKind> &photoKinds();
// What a shot of the label shows: the whole list, or for a tight crop its
// longest line.
QString photoText(const QString &text, const Shot &shot);

// The text photographed as the shot says, made by ImageMagick (and exiftool
// for the tag): a JPEG at quality 58, empty if a tool fails.
QByteArray photograph(const QString &text, const Shot &shot);

// A photo of a real pack, as photos.json lists it beside the photos.
struct Photo
{
    QString file;           // in the same folder
    QString language;       // the label's, ISO 639-1
    QStringList codes;      // the additives it names; a family code stands for its members
    QStringList ambiguous;  // found, they count neither way; "E14xx" for any E14..
    QStringList outOfScope; // named only in a language besides Russian and English: neither way
};

// The photos listed in the folder's photos.json; none, and why, if it cannot be read.
QVector<Photo> loadPhotos(const QString &folder, QString *error);

// Whether a found code counts for a listed one: the same, or a member of its
// family (E150a and E150d for E150, E160b(i) for E160b, not E1501). An x in
// the listed code stands for any digit.
bool counts(const QString &found, const QString &listed);

// A photo's file bytes decoded and turned by its orientation tag, as the tool
// and the window do, then read.
vsOcr::Result readPhoto(QByteArray photo, vsOcr::Reading *reading, const vsOcr::Request &request = {});

// The codes of the additives the analyser finds in the text, in its order.
QStringList codesFound(const vsLabelAnalyser &analyser, const QAbstractItemModel &catalogue,
                       const QString &text);

// Recall and precision of found codes against the expected ones, summed over a set.
struct Score
{
    int expected = 0;
    int found = 0;
    int correct = 0;  // expected codes found
    int matching = 0; // found codes that count for an expected one
    void add(const QStringList &expectedCodes, const QStringList &foundCodes);
    // Scored against a photo, each found code on its own: ambiguous and
    // out-of-scope codes count neither way. Sets what was missed and what was
    // found wrongly.
    void add(const Photo &photo, const QStringList &foundCodes, QStringList *missed = nullptr,
             QStringList *extra = nullptr);
    double recall() const { return expected ? double(correct) / expected : 1.0; }
    double precision() const { return found ? double(matching) / found : 1.0; }
};

} // namespace vsLabelSet

#endif
