#ifndef VESTRION_DETAIL_VSRICHTEXTFILTER_H
#define VESTRION_DETAIL_VSRICHTEXTFILTER_H

#include <QString>

// Catalogue values are shown as rich text, and a label's rich text loads what
// it names: image sources, backgrounds, url() in a style, linked and embedded
// style sheets. This is the boundary that keeps a catalogue from making the
// program read a local file or the network. It lets through only what
// ordinary markup needs, so that it fails closed on whatever else the
// toolkit reads now or learns to read later.
namespace vsRichTextFilter {

// The markup with every tag rewritten in one plain form, keeping only text
// formatting, paragraphs and breaks, lists, tables, anchors, span and font,
// and the document frame (html, head, meta, body). Any other tag is dropped
// and its text stays, but a style element goes with its content. Of the
// attributes only those that name no resource stay: href for "#..." anchors
// alone, and style with its colour, weight, size and decoration declarations
// of plain values. Comments and declarations such as DOCTYPE, which show
// nothing anyway, are dropped. A "<" that starts no tag becomes "&lt;" and
// shows as written; "&" stays.
QString filtered(const QString &markup);

} // namespace vsRichTextFilter

#endif
