#include "label/vslabelreader.h"

#include "catalogue/vsdatamodel.h"
#include "label/vslabelanalyser.h"
#include "label/vslabelvocabulary.h"
#include "label/vslanguagebutton.h"
#include "label/vsocr.h"
#include "label/vspictureview.h"
#include "list/vsentryrows.h"
#include "platform/vslook.h"
#include "restrictions/vsrestrictions.h"

#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {
QString nextFileName;

} // namespace

vsLabelReader::vsLabelReader(QAbstractItemModel *catalogue, QWidget *parent)
    : vsEntryView(catalogue, parent), catalogue(catalogue), textEdit(new QPlainTextEdit(this)),
      openButton(new QPushButton(this)), progress(new QProgressBar(this)),
      cancelButton(new QPushButton(this)), statusLabel(new QLabel(this)), summaryLabel(new QLabel(this)),
      languageButton(new vsLanguageButton(this)), pictureView(new vsPictureView(this)),
      timeLimitMs(vsOcr::defaultTimeLimitMs)
{
    setObjectName(QStringLiteral("labelReader"));
    resultView->setObjectName(QStringLiteral("additiveView"));

    const QFont font(QString::fromLatin1(vsPlatform::systemFontFamily), 16);
    textEdit->setObjectName(QStringLiteral("labelEdit"));
    textEdit->setPlaceholderText(tr("Type or paste the ingredients"));
    textEdit->setAccessibleName(tr("Ingredients"));
    textEdit->setFont(font);
    textEdit->setTabChangesFocus(true);
    textEdit->setMaximumHeight(160);
    textEdit->setPalette(vsPlatform::toolkitPalette(textEdit));
    openButton->setObjectName(QStringLiteral("openPictureButton"));
    openButton->setText(tr("Open picture…"));
    progress->setObjectName(QStringLiteral("readingProgress"));
    progress->setRange(0, 100);
    cancelButton->setObjectName(QStringLiteral("cancelReadingButton"));
    cancelButton->setText(tr("Cancel"));
    statusLabel->setObjectName(QStringLiteral("readerStatus"));
    statusLabel->setFont(font);
    // A line of its own under the buttons: the time-out note is a sentence.
    statusLabel->setWordWrap(true);
    pictureView->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(openButton, 0);
    buttons->addWidget(languageButton, 0);
    buttons->addWidget(progress, 1);
    buttons->addWidget(cancelButton, 0);
    buttons->addStretch(0);
    layout->insertWidget(0, textEdit, 0);
    layout->insertLayout(1, buttons, 0);
    layout->insertWidget(2, statusLabel, 0);
    summaryLabel->setObjectName(QStringLiteral("restrictionSummary"));
    summaryLabel->setFont(font);
    summaryLabel->setWordWrap(true);
    summaryLabel->setTextFormat(Qt::PlainText);
    summaryLabel->hide();
    layout->insertWidget(layout->indexOf(resultView), summaryLabel, 0);
    frame->insertWidget(0, pictureView, 2);
    frame->setStretch(1, 3);
    // Tab leaves the field for the additives found, then the buttons.
    setTabOrder(textEdit, resultView);
    setTabOrder(resultView, openButton);
    setTabOrder(openButton, languageButton);
    setTabOrder(languageButton, cancelButton);
    setReading(false);
    setStatus(QString());

    connect(textEdit, &QPlainTextEdit::textChanged, this, &vsLabelReader::onTextChanged);
    connect(openButton, &QPushButton::clicked, this, &vsLabelReader::onOpenPicture);
    connect(cancelButton, &QPushButton::clicked, this, &vsLabelReader::onCancelReading);
    connect(pictureView, &vsPictureView::regionChosen, this, &vsLabelReader::onRegionChosen);
    connect(languageButton, &vsLanguageButton::languagesChanged, this, &vsLabelReader::onLanguagesChanged);
    // A change of the restrictions reaches the reader as one of the catalogue's rows.
    if (catalogue)
        connect(catalogue, &QAbstractItemModel::dataChanged, this, &vsLabelReader::onRestrictionsChanged);
}

vsLabelReader::~vsLabelReader()
{
    // The thread must not outlive the window it reports to.
    if (job) {
        job->cancel();
        job->wait();
    }
}

void vsLabelReader::setNextFileName(const QString &path)
{
    nextFileName = path;
}

void vsLabelReader::setTimeLimit(int milliseconds)
{
    timeLimitMs = milliseconds;
}

void vsLabelReader::onOpen()
{
    show();
    raise();
    activateWindow();
    textEdit->setFocus(Qt::OtherFocusReason);
}

void vsLabelReader::onOpenPicture()
{
    QString path = nextFileName;
    nextFileName.clear();
    if (path.isEmpty())
        path = QFileDialog::getOpenFileName(this, tr("Open picture…"), QString(),
                                            tr("Pictures (*.png *.jpg *.jpeg)"));
    if (path.isEmpty())
        return;
    QImageReader reader(path);
    reader.setAutoTransform(true); // a phone photo's orientation tag
    const QImage image = reader.read();
    if (image.isNull()) {
        setStatus(tr("Cannot open the picture"));
        return;
    }
    onReadImage(image);
}

void vsLabelReader::onReadImage(const QImage &pImage)
{
    startReading(pImage, QRect());
}

void vsLabelReader::onRegionChosen(const QRect &region)
{
    if (!region.isEmpty())
        startReading(pictureView->picture(), region);
}

void vsLabelReader::startReading(const QImage &image, const QRect &region)
{
    if (job || image.isNull())
        return;
    vsOcr::Request request;
    request.region = region;
    request.languages = vsLabelVocabulary::ocrModels(languageButton->languages());
    request.timeLimitMs = timeLimitMs;
    jobPicture = image;
    readingPart = !region.isEmpty();
    job = new vsOcrJob(image, request, this);
    connect(job, &vsOcrJob::progressChanged, progress, &QProgressBar::setValue);
    connect(job, &vsOcrJob::recognised, this, &vsLabelReader::onRecognised);
    connect(job, &QThread::finished, job, &QObject::deleteLater);
    setReading(true);
    job->start();
}

void vsLabelReader::onCancelReading()
{
    if (job)
        job->cancel();
}

void vsLabelReader::onRecognised(int result, const QString &text)
{
    // Still there: the thread deletes itself after this, once it has finished.
    const vsOcr::Reading read = job ? job->reading() : vsOcr::Reading();
    const QImage picture = jobPicture;
    jobPicture = QImage();
    // The next picture may start.
    job.clear();
    setReading(false);
    const bool timedOut = result == vsOcr::Done && read.timedOut;
    announceReadingEnd(result, text, timedOut);
    switch (result) {
    case vsOcr::Done:
        // Also without text: the list may be picked out by hand.
        if (!readingPart)
            showPicture(picture);
        pictureNote = timedOut ? tr("Not all was read: drag over the list on the picture") : QString();
        if (text.trimmed().isEmpty()) {
            setStatus(timedOut ? pictureNote : tr("No text in the picture"));
        } else {
            pictureView->setArea(read.area);
            replaceText(text.trimmed());
        }
        break;
    case vsOcr::Unavailable:
        setStatus(tr("Pictures cannot be read here"));
        break;
    case vsOcr::Cancelled:
        updateStatus();
        break;
    default:
        setStatus(tr("No text in the picture"));
        break;
    }
}

void vsLabelReader::replaceText(const QString &text)
{
    QTextCursor cursor(textEdit->document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(text);
    cursor.endEditBlock();
    textEdit->moveCursor(QTextCursor::Start);
}

void vsLabelReader::showPicture(const QImage &image)
{
    pictureView->setPicture(image);
    pictureView->setVisible(!image.isNull());
}

void vsLabelReader::announceReadingEnd(int result, const QString &text, bool timedOut)
{
    // The field has the keyboard again: its description is what a screen
    // reader says next, and changing it is heard at once.
    QString outcome;
    switch (result) {
    case vsOcr::Done:
        if (timedOut)
            outcome = tr("Picture not read whole: drag over the list on the picture");
        else
            outcome = text.trimmed().isEmpty() ? tr("No text in the picture") : tr("Picture read");
        break;
    case vsOcr::Unavailable:
        outcome = tr("Pictures cannot be read here");
        break;
    case vsOcr::Cancelled:
        outcome = tr("Reading cancelled");
        break;
    default:
        outcome = tr("No text in the picture");
        break;
    }
    // Cleared when the reading began, so the toolkit announces it.
    textEdit->setAccessibleDescription(outcome);
}

void vsLabelReader::setReading(bool reading)
{
    openButton->setEnabled(!reading);
    textEdit->setReadOnly(reading);
    progress->setVisible(reading);
    progress->setValue(0);
    cancelButton->setVisible(reading);
    pictureView->setChoosing(!reading);
    if (reading) {
        setStatus(QString());
        textEdit->setAccessibleDescription(QString());
    }
}

void vsLabelReader::setStatus(const QString &text)
{
    statusLabel->setText(text);
    // Hidden when there is nothing to say: the additives move up.
    statusLabel->setVisible(!text.isEmpty());
}

void vsLabelReader::onTextChanged()
{
    if (!analyser)
        analyser.reset(new vsLabelAnalyser(catalogue, languageButton->languages()));
    const QVector<int> rows = analyser->analyse(textEdit->toPlainText());
    const QString summary = restrictionSummary(rows);
    showRows(rows, false, summary);
    summaryLabel->setText(summary);
    summaryLabel->setVisible(!summary.isEmpty());
    const bool empty = textEdit->toPlainText().trimmed().isEmpty();
    // An emptied field starts anew, without the picture.
    if (empty && !pictureView->picture().isNull()) {
        showPicture(QImage());
        pictureNote.clear();
    }
    updateStatus();
}

void vsLabelReader::updateStatus()
{
    if (!pictureNote.isEmpty())
        setStatus(pictureNote);
    else if (!textEdit->toPlainText().trimmed().isEmpty() && results->rowCount() == 0)
        setStatus(tr("No additives found"));
    else
        setStatus(QString());
}

void vsLabelReader::onLanguagesChanged()
{
    // Read again with the new vocabularies; the next picture uses their models.
    analyser.reset();
    onTextChanged();
}

void vsLabelReader::resizeEvent(QResizeEvent *event)
{
    frame->setDirection(height() > width() ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    vsEntryView::resizeEvent(event);
}

QString vsLabelReader::restrictionSummary(const QVector<int> &rows) const
{
    const auto *model = qobject_cast<const vsDataModel *>(catalogue);
    if (!model || !model->restrictions())
        return QString();
    QStringList codes;
    QVector<vsConflict> conflicts;
    for (const int row : rows) {
        codes << model->index(row).data(vsDataModel::CodeRole).toString();
        conflicts << model->conflict(row);
    }
    return model->restrictions()->summary(codes, conflicts);
}

void vsLabelReader::onRestrictionsChanged()
{
    QVector<int> rows;
    for (int row = 0; row < results->rowCount(); ++row)
        rows << results->sourceIndex(row).row();
    const QString summary = restrictionSummary(rows);
    if (summary == summaryLabel->text())
        return;
    summaryLabel->setText(summary);
    summaryLabel->setVisible(!summary.isEmpty());
    describeRows(summary);
}

void vsLabelReader::leave()
{
    onCancelReading();
    vsEntryView::leave();
}
