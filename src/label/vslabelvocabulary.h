#ifndef VESTRION_LABEL_VSLABELVOCABULARY_H
#define VESTRION_LABEL_VSLABELVOCABULARY_H

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// What the label reader knows of one language, as data (data/vocabulary/*.txt,
// compiled into the program): the names packs print for each additive, class
// words, the words of denials, headings and of what is no ingredient list,
// and how its words are reduced to their stems.
struct vsLabelVocabulary
{
    QString language;                       // ISO 639-1
    QString snowball;                       // the Snowball stemmer's name, or empty
    QStringList endings;                    // stripped from words where there is no Snowball stemmer
    QVector<QPair<QString, QString>> names; // code, name
    QStringList functions;
    QStringList kinds;
    QStringList denials;      // reach to the end of their list
    QStringList shortDenials; // only to the next comma before a word that names no additive
    QStringList afterDenials; // deny what stands before, back to the last comma
    QStringList endDenials;   // deny the sentence they end
    QStringList headings;
    QStringList notList;      // open what is no ingredient list: nutrition, traces, allergy advice
    QStringList foods;        // names that are also ordinary foods
    QStringList ordinary;     // phrases that hold an additive's words and name none
    QStringList conjunctions; // join members that share a head word
    QStringList errors;       // lines not understood, with their numbers

    static vsLabelVocabulary parse(const QString &language, const QString &text);
    // The compiled-in vocabulary of a language; empty if there is none.
    static vsLabelVocabulary load(const QString &language);
    // Every language with a vocabulary, besides Russian and English, which the catalogue names.
    static QStringList languages();
    // Languages a label may be in: Russian, English and the vocabularies'.
    static QStringList labelLanguages();
    // Russian, English and the system's language, if labels may be in it.
    static QStringList defaultLanguages();
    // The OCR models of the languages, in the engine's form: "rus+eng+ukr".
    static QString ocrModels(const QStringList &languages);
};

#endif
