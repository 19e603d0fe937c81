#ifndef VESTRION_DETAIL_VSRICHTEXTFILTER_H
#define VESTRION_DETAIL_VSRICHTEXTFILTER_H

#include <QString>

// Catalogue values are shown as rich text, and a label's rich text loads what
// it names: image sources, backgrounds, url() in a style, linked and embedded
// style sheets. This is the boundary that keeps a catalogue from making the
// program read a local file or the network; everything else renders as the
// toolkit renders it.
namespace vsRichTextFilter {

// The markup with every tag rewritten in one plain form, and without: img,
// link and style elements (a style's content too); background attributes;
// style declarations holding "url", and styles holding a backslash or an
// entity; src and href values other than "#..." anchors; comments and
// declarations such as DOCTYPE, which show nothing anyway.
// A "<" that starts no tag becomes "&lt;" and shows as written; "&" stays.
QString filtered(const QString &markup);

} // namespace vsRichTextFilter

#endif
