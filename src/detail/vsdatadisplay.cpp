#include "detail/vsdatadisplay.h"

#include "catalogue/vsdatamodel.h"
#include "detail/vsrichtextfilter.h"
#include "platform/vslook.h"
#include "restrictions/vsrestrictions.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTextDocument>

#include <exception>

namespace {
const QString titleStyle = QStringLiteral("font: 400 11pt Nokia Sans; color: rgb(255,255,255);");
const QString bodyStyle = QStringLiteral("font: 16pt Nokia Sans;\n color: rgb(255, 255, 255);");
// Black on white, readable on the page of every safety colour.
const QString noteStyle = QStringLiteral("background-color: rgb(255, 255, 255); color: rgb(0, 0, 0); "
                                         "border-radius: 5px; padding: 8px; font: 600 14pt Nokia Sans;");
const QString buttonStyle = QStringLiteral(
    "QPushButton { background-color: rgb(255, 255, 255); color: rgb(0, 0, 0); border: 1px solid "
    "rgb(150, 150, 150); border-radius: 5px; padding: 8px 16px; font: 14pt Nokia Sans; }\n"
    "QPushButton:focus { border: 3px solid rgb(255, 128, 6); }\n"
    "QPushButton:pressed { background-color: rgb(200, 200, 200); }");

const QString doctype = QStringLiteral(
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" \"http://www.w3.org/TR/REC-html40/strict.dtd\">");
const QString codeTemplate =
    doctype + QStringLiteral("<html><head><meta name=\"qrichtext\" content=\"1\" /></head><body "
                             "style=\"font-family:'Nokia Sans'; font-size:12pt; font-weight:400; "
                             "color:#000000;\"><p><span style=\"font-size:30pt; font-weight:600;\">");
const QString nameTemplate =
    doctype + QStringLiteral("<html><head><meta name=\"qrichtext\" content=\"1\" /></head><body  "
                             "style=\"font-family:'Nokia Sans'; font-size:14pt; font-weight:600; "
                             "color:#000000;\"><p><span>");

struct ColourFamily
{
    const char *middle;
    const char *end;
    const char *border;
    QColor page;
};

// The heading's gradient colours and the page colour of each safety level. The
// level is not clamped: only 1, 2 and 3 have families of their own.
ColourFamily familyFor(int level)
{
    switch (level) {
    case 2:
        return {"rgba(255, 6, 6, 255)", "rgba(255, 93, 93, 255)", "rgba(240, 6, 6, 255)", QColor(50, 0, 0)};
    case 3:
        return {"rgba(100, 255, 255, 255)", "rgba(180, 255, 255, 255)", "rgba(170, 240, 240, 255)",
                QColor(25, 50, 50)};
    case 1:
        return {"rgba(255, 255, 6, 255)", "rgba(255, 255, 93, 255)", "rgba(240, 240, 6, 255)",
                QColor(50, 50, 0)};
    default:
        return {"rgba(6, 255, 6, 255)", "rgba(93, 255, 93, 255)", "rgba(6, 240, 6, 255)", QColor(0, 50, 0)};
    }
}

// The heading's code box is 150 px wide; a code wider than that at 30 pt
// (E160a(iii), E450(vii)) is set smaller, down to a size still easily read, so
// that sister codes never read alike. Others keep the template as it is.
constexpr int codePointSize = 30;
constexpr int smallestCodePointSize = 14;
constexpr int codeBoxBorders = 2 * 1;

QString codeTemplateFor(const QString &codeHtml, int boxWidth)
{
    QString fitting = codeTemplate;
    for (int size = codePointSize; size >= smallestCodePointSize; --size) {
        fitting = codeTemplate;
        fitting.replace(QStringLiteral("font-size:30pt"), QStringLiteral("font-size:%1pt").arg(size));
        // Measured as it is laid out, markup and all.
        QTextDocument document;
        document.setHtml(fitting + codeHtml + QLatin1String("</span></p></body></html>"));
        if (document.idealWidth() <= boxWidth - codeBoxBorders)
            break;
    }
    return fitting;
}

QString headingGradient(const ColourFamily &family)
{
    return QStringLiteral("background-color: qlineargradient(spread:pad, x1:1, y1:0, x2:1, y2:1, stop:0 "
                          "rgba(255, 255, 255, 255), stop:0.368421 %1, stop:1 %2);\n")
        .arg(QLatin1String(family.middle), QLatin1String(family.end));
}

QStringList pieces(const QModelIndex &index, int role)
{
    return index.data(role).toString().split(QLatin1Char(':'), Qt::KeepEmptyParts, Qt::CaseSensitive);
}

QString secondPiece(const QStringList &list)
{
    return list.size() >= 2 ? list.at(1) : QString();
}

QString safeRichText(const QString &text)
{
    return vsRichTextFilter::filtered(text);
}

// For labels that decide by themselves: plain text stays as it is.
QString safeAutoText(const QString &text)
{
    return Qt::mightBeRichText(text) ? safeRichText(text) : text;
}

// A widget whose words a screen reader already hears elsewhere: the heading's
// name cell, spoken with the code cell as one text.
const char spokenElsewhere[] = "vsSpokenElsewhere";

class SilentWidget : public QAccessibleWidget
{
public:
    explicit SilentWidget(QWidget *widget) : QAccessibleWidget(widget, QAccessible::StaticText) {}
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = true;
        return state;
    }
    QString text(QAccessible::Text) const override { return QString(); }
};

QAccessibleInterface *silentWidgetFactory(const QString &, QObject *object)
{
    if (object && object->isWidgetType() && object->property(spokenElsewhere).toBool())
        return new SilentWidget(static_cast<QWidget *>(object));
    return nullptr;
}
} // namespace

vsDataDisplay::vsDataDisplay(QWidget *parent) : QScrollArea(parent) {}

vsDataDisplay::~vsDataDisplay() = default;

bool vsDataDisplay::createWidgets()
{
    QVBoxLayout *pageLayout = nullptr;
    QHBoxLayout *headingRow = nullptr;
    QVBoxLayout *columns[7] = {};
    QHBoxLayout *rows[7] = {};
    try {
        pageLayout = new QVBoxLayout;
        headingRow = new QHBoxLayout;
        for (int i = 0; i < 7; ++i) {
            columns[i] = new QVBoxLayout;
            rows[i] = new QHBoxLayout;
        }
        contentWidget = new QWidget(this);
        QLabel **labels[] = {
            &codeLabel,           &nameLabel,          &statusIconLabel,     &statusTitleLabel,
            &statusTextLabel,     &safetyIconLabel,    &safetyTitleLabel,    &safetyTextLabel,
            &namesIconLabel,      &namesTitleLabel,    &namesTextLabel,      &sourcesIconLabel,
            &sourcesTitleLabel,   &sourcesTextLabel,   &productionIconLabel, &productionTitleLabel,
            &productionTextLabel, &functionsIconLabel, &functionsTitleLabel, &functionsTextLabel,
            &productsIconLabel,   &productsTitleLabel, &productsTextLabel};
        for (QLabel **label : labels)
            *label = new QLabel(contentWidget);
    } catch (const std::exception &) {
        // Layouts not yet handed to a widget have no owner.
        delete pageLayout;
        delete headingRow;
        for (int i = 0; i < 7; ++i) {
            delete columns[i];
            delete rows[i];
        }
        return false;
    }

    codeLabel->setObjectName(QStringLiteral("codeLabel"));
    codeLabel->setFixedWidth(150);
    codeLabel->setMinimumHeight(80);
    codeLabel->setTextFormat(Qt::RichText);
    codeLabel->setAlignment(Qt::AlignCenter);
    codeLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    codeLabel->setWordWrap(true);

    nameLabel->setObjectName(QStringLiteral("nameLabel"));
    nameLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    nameLabel->setTextFormat(Qt::RichText);
    nameLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    nameLabel->setWordWrap(true);
    static const bool factoryInstalled = (QAccessible::installFactory(silentWidgetFactory), true);
    Q_UNUSED(factoryInstalled)
    nameLabel->setProperty(spokenElsewhere, true);

    headingRow->setSpacing(0);
    headingRow->setContentsMargins(0, 0, 0, 0);
    headingRow->addWidget(codeLabel, 0);
    headingRow->addWidget(nameLabel, 1);

    struct Section
    {
        QLabel *icon;
        QLabel *title;
        QLabel *text;
        const char *name;
        const char *iconPath;
        QString titleText;
        bool richText;
    };
    const Section sections[7] = {
        {statusIconLabel, statusTitleLabel, statusTextLabel, "status", ":/images/status.png", tr("Status"),
         true},
        {safetyIconLabel, safetyTitleLabel, safetyTextLabel, "safety", ":/images/safety.png", tr("Safety"),
         true},
        {namesIconLabel, namesTitleLabel, namesTextLabel, "names", ":/images/sinonimes.png", tr("Names"),
         false},
        {sourcesIconLabel, sourcesTitleLabel, sourcesTextLabel, "sources", ":/images/sources.png",
         tr("Source"), false},
        {productionIconLabel, productionTitleLabel, productionTextLabel, "production",
         ":/images/production.png", tr("Production"), false},
        {functionsIconLabel, functionsTitleLabel, functionsTextLabel, "functions", ":/images/functions.png",
         tr("Functions"), false},
        {productsIconLabel, productsTitleLabel, productsTextLabel, "products", ":/images/products.png",
         tr("Products"), false},
    };
    for (int i = 0; i < 7; ++i) {
        const Section &section = sections[i];
        const QString name = QLatin1String(section.name);
        section.icon->setObjectName(name + QLatin1String("IconLabel"));
        section.icon->setAlignment(Qt::AlignCenter);
        section.icon->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        section.icon->setFixedWidth(120);
        section.icon->setPixmap(vsPlatform::iconPixmap(QLatin1String(section.iconPath)));
        section.icon->setAccessibleName(section.titleText);

        section.title->setObjectName(name + QLatin1String("TitleLabel"));
        section.title->setAlignment(Qt::AlignCenter);
        section.title->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        section.title->setText(section.titleText);
        section.title->setStyleSheet(titleStyle);

        section.text->setObjectName(name + QLatin1String("TextLabel"));
        section.text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        section.text->setIndent(10);
        if (section.richText)
            section.text->setTextFormat(Qt::RichText);
        section.text->setStyleSheet(bodyStyle);
        section.text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        section.text->setWordWrap(true);

        columns[i]->setSpacing(5);
        columns[i]->setContentsMargins(0, 0, 0, 0);
        columns[i]->addWidget(section.icon, 0);
        columns[i]->addWidget(section.title, 0);
        columns[i]->addStretch(1);

        rows[i]->setSpacing(5);
        rows[i]->setContentsMargins(0, 0, 0, 0);
        rows[i]->addLayout(columns[i], 0);
        rows[i]->addWidget(section.text, 1);
    }

    pageLayout->setSpacing(20);
    pageLayout->setContentsMargins(2, 2, 2, 2);
    pageLayout->addLayout(headingRow, 0);
    // Safety reads first on the page, although Status is built first.
    pageLayout->addLayout(rows[1], 0);
    pageLayout->addLayout(rows[0], 0);
    for (int i = 2; i < 7; ++i)
        pageLayout->addLayout(rows[i], 0);
    pageLayout->addStretch(1);
    // A screen reader goes by the order of the children: Safety first there too.
    for (QLabel *label : {safetyIconLabel, safetyTitleLabel, safetyTextLabel})
        label->stackUnder(statusIconLabel);

    contentWidget->setObjectName(QStringLiteral("contentWidget"));
    contentWidget->setLayout(pageLayout);
    setWidget(contentWidget);
    setWidgetResizable(true);
    setContentsMargins(0, 0, 0, 0);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWindowTitle(QStringLiteral("Vestrion"));
    return true;
}

void vsDataDisplay::showData(QModelIndex pModelIndex)
{
    // The page is set only once createWidgets has built every label.
    if (!widget())
        return;

    const QStringList status = pieces(pModelIndex, vsDataModel::StatusRole);
    const QStringList safety = pieces(pModelIndex, vsDataModel::SafetyRole);
    const int level = safety.isEmpty() ? 0 : safety.first().toInt(nullptr, 10);

    const QString code = pModelIndex.data(vsDataModel::CodeRole).toString();
    const QStringList group = pieces(pModelIndex, vsDataModel::GroupRole);
    const QString groupText = group.isEmpty() ? QString() : group.first();

    const ColourFamily family = familyFor(level);
    const QString gradient = headingGradient(family);
    const QString border = QLatin1String(family.border);
    codeLabel->setStyleSheet(gradient +
                             QStringLiteral("border-style: inset;\nborder-width: 1px;\n"
                                            "border-bottom-left-radius: 5px;\nborder-color: ") +
                             border + QLatin1Char(';'));
    nameLabel->setStyleSheet(gradient +
                             QStringLiteral("padding-left: 10px;\npadding-right: 10px;\n"
                                            "border-style: inset;\nborder-width: 1px;\n"
                                            "border-bottom-right-radius: 5px;\nborder-color: ") +
                             border + QLatin1Char(';'));
    contentWidget->setStyleSheet(QStringLiteral("background-color: rgb(%1, %2, %3);")
                                     .arg(family.page.red())
                                     .arg(family.page.green())
                                     .arg(family.page.blue()));
    QPalette windowPalette;
    windowPalette.setBrush(QPalette::All, QPalette::Window, QBrush(family.page, Qt::SolidPattern));
    setPalette(windowPalette);

    const QString codeHtml = safeRichText(code);
    codeLabel->setText(codeTemplateFor(codeHtml, codeLabel->maximumWidth()) + codeHtml +
                       QLatin1String("</span><br>") + safeRichText(groupText) +
                       QLatin1String("</p></body></html>"));

    const QStringList names = pieces(pModelIndex, vsDataModel::NamesRole);
    const QString firstName = names.isEmpty() ? QString() : names.first();
    QString otherNames;
    for (int i = 1; i < names.size(); ++i) {
        if (!otherNames.isEmpty())
            otherNames += QLatin1String("<br>");
        otherNames += names.at(i);
    }
    nameLabel->setText(nameTemplate + safeRichText(firstName) + QLatin1String("</span></p></body></html>"));
    QStringList heading;
    for (const QString &part : {code, firstName, groupText}) {
        if (!part.isEmpty())
            heading << part;
    }
    codeLabel->setAccessibleName(heading.join(QLatin1String(", ")));

    const struct
    {
        QLabel *icon;
        QLabel *title;
        QLabel *text;
        QString value;
    } sections[] = {
        {statusIconLabel, statusTitleLabel, statusTextLabel, secondPiece(status)},
        {safetyIconLabel, safetyTitleLabel, safetyTextLabel, secondPiece(safety)},
        {namesIconLabel, namesTitleLabel, namesTextLabel, otherNames},
        {sourcesIconLabel, sourcesTitleLabel, sourcesTextLabel,
         secondPiece(pieces(pModelIndex, vsDataModel::SourcesRole))},
        {productionIconLabel, productionTitleLabel, productionTextLabel,
         secondPiece(pieces(pModelIndex, vsDataModel::ProductionRole))},
        {functionsIconLabel, functionsTitleLabel, functionsTextLabel,
         secondPiece(pieces(pModelIndex, vsDataModel::FunctionsRole))},
        {productsIconLabel, productsTitleLabel, productsTextLabel,
         secondPiece(pieces(pModelIndex, vsDataModel::ProductsRole))},
    };
    for (const auto &section : sections) {
        const bool shown = !section.value.isEmpty();
        section.icon->setVisible(shown);
        section.title->setVisible(shown);
        section.text->setVisible(shown);
        section.text->setText(section.text->textFormat() == Qt::RichText ? safeRichText(section.value)
                                                                         : safeAutoText(section.value));
    }

    shownEntry = pModelIndex;
    showConflict();

    ensureWidgetVisible(codeLabel, 50, 50);
    // The page keeps the keyboard, for its keys, whatever had it last; the
    // button is reached by Tab.
    if (avoidButton)
        setFocus(Qt::OtherFocusReason);
}

void vsDataDisplay::setRestrictions(vsRestrictions *newRestrictions)
{
    auto *page = widget() ? qobject_cast<QBoxLayout *>(widget()->layout()) : nullptr;
    if (!page || restrictions || !newRestrictions)
        return;
    restrictions = newRestrictions;
    conflictNote = new QLabel(contentWidget);
    conflictNote->setObjectName(QStringLiteral("conflictNote"));
    conflictNote->setTextFormat(Qt::PlainText);
    conflictNote->setWordWrap(true);
    conflictNote->setStyleSheet(noteStyle);
    conflictNote->hide();
    // Under the heading, and so heard before the sections.
    page->insertWidget(1, conflictNote, 0);
    conflictNote->stackUnder(safetyIconLabel);

    avoidButton = new QPushButton(contentWidget);
    avoidButton->setObjectName(QStringLiteral("avoidButton"));
    avoidButton->setStyleSheet(buttonStyle);
    // Reached by Tab; opening an entry leaves the keyboard with the page.
    avoidButton->setFocusPolicy(Qt::TabFocus);
    avoidButton->hide();
    page->insertWidget(page->count() - 1, avoidButton, 0, Qt::AlignLeft);

    connect(avoidButton, &QPushButton::clicked, this, &vsDataDisplay::onAvoidClicked);
    connect(restrictions, &vsRestrictions::changed, this, &vsDataDisplay::showConflict);
}

void vsDataDisplay::showConflict()
{
    if (!restrictions)
        return;
    const auto *catalogue = qobject_cast<const vsDataModel *>(shownEntry.model());
    const int row = shownEntry.row();
    const QStringList reasons = catalogue ? catalogue->conflict(row).reasons : QStringList();
    conflictNote->setText(reasons.join(QLatin1Char('\n')));
    conflictNote->setVisible(!reasons.isEmpty());

    const QString code = shownEntry.data(vsDataModel::CodeRole).toString();
    const bool listable = catalogue && vsRestrictions::normalisedCode(code) == code;
    avoidButton->setText(restrictions->avoidsAdditive(code) ? tr("Remove from my list")
                                                            : tr("Add to my list"));
    avoidButton->setVisible(listable);
}

void vsDataDisplay::onAvoidClicked()
{
    const QString code = shownEntry.data(vsDataModel::CodeRole).toString();
    if (restrictions && !code.isEmpty())
        restrictions->setAdditiveAvoided(code, !restrictions->avoidsAdditive(code));
}

void vsDataDisplay::keyPressEvent(QKeyEvent *event)
{
    // Escape too, as it closes the search and reader windows.
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete ||
        event->key() == Qt::Key_Escape) {
        setVisible(false);
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}
