#include "restrictions/vsrestrictionswindow.h"

#include "catalogue/vsdatamodel.h"
#include "platform/vslook.h"
#include "platform/vsscrolling.h"
#include "platform/vswindowstack.h"
#include "restrictions/vsrestrictions.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QRadioButton>
#include <QScrollArea>

#include <algorithm>

namespace {
const QString pageStyle =
    QStringLiteral("#restrictionsPage { background-color: rgb(0, 0, 0); }\n"
                   "QCheckBox, QRadioButton, QLabel { font: 16pt \"Nokia Sans\"; }\n"
                   "QLabel { color: rgb(255, 255, 255); }\n"
                   "QLabel[heading=\"true\"] { font: bold 14pt \"Nokia Sans\"; }\n"
                   "QCheckBox, QRadioButton { spacing: 12px; }\n"
                   "QCheckBox::indicator, QRadioButton::indicator { width: 24px; height: 24px; }");

QLabel *makeTitle(const QString &text, QWidget *parent)
{
    auto *title = new QLabel(text, parent);
    title->setProperty("heading", true);
    return title;
}

// The boxes of the check boxes and round buttons white, their marks black: in
// the black window's own colours they would not show.
QPalette boxPalette()
{
    QPalette boxes = vsPlatform::blackPalette();
    boxes.setColor(QPalette::Base, QColor(255, 255, 255));
    boxes.setColor(QPalette::Text, QColor(0, 0, 0));
    boxes.setColor(QPalette::WindowText, QColor(255, 255, 255));
    return boxes;
}
} // namespace

vsRestrictionsWindow::vsRestrictionsWindow(vsRestrictions *restrictions, const QAbstractItemModel *catalogue,
                                           QWidget *parent)
    : QWidget(parent), restrictions(restrictions), catalogue(catalogue), dietButtons(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("restrictionsWindow"));
    setWindowTitle(QStringLiteral("Vestrion"));
    setAutoFillBackground(true);
    setPalette(vsPlatform::blackPalette());
    vsPlatform::setWindowAttribute(this, vsPlatform::StackedWindow, true);
    setWindowFlags(windowFlags() | Qt::Window);
    const QPalette boxes = boxPalette();

    auto *scroll = new QScrollArea(this);
    auto *page = new QWidget(scroll);
    page->setObjectName(QStringLiteral("restrictionsPage"));
    page->setStyleSheet(pageStyle);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);

    layout->addWidget(makeTitle(tr("Diet"), page));
    const QString diets[] = {tr("No diet"), tr("Vegetarian"), tr("Vegan")};
    for (int diet = vsRestrictions::NoDiet; diet <= vsRestrictions::Vegan; ++diet) {
        auto *button = new QRadioButton(diets[diet], page);
        button->setObjectName(QStringLiteral("diet%1").arg(diet));
        button->setPalette(boxes);
        dietButtons->addButton(button, diet);
        layout->addWidget(button);
    }

    layout->addSpacing(12);
    layout->addWidget(makeTitle(tr("Groups to avoid"), page));
    for (int group = 0; group < vsRestrictions::groupCount(); ++group) {
        QString name = vsRestrictions::groupName(group);
        if (!name.isEmpty())
            name[0] = name.at(0).toUpper();
        // The codes on a line of their own: the six colours' would not fit beside the name.
        auto *box = new QCheckBox(name + QLatin1Char('\n') + vsRestrictions::groupCodes(group), page);
        box->setObjectName(QStringLiteral("group_") + vsRestrictions::groupId(group));
        box->setPalette(boxes);
        groupBoxes << box;
        layout->addWidget(box);
        connect(box, &QCheckBox::toggled, this,
                [this, group](bool checked) { this->restrictions->setGroupAvoided(group, checked); });
    }

    layout->addSpacing(12);
    layout->addWidget(makeTitle(tr("Single additives"), page));
    additiveList = new QVBoxLayout;
    additiveList->setSpacing(8);
    layout->addLayout(additiveList);
    noAdditives = new QLabel(tr("None. An additive's page adds it with \"Add to my list\"."), page);
    noAdditives->setObjectName(QStringLiteral("noAdditives"));
    noAdditives->setWordWrap(true);
    layout->addWidget(noAdditives);
    layout->addStretch(1);

    scroll->setWidget(page);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    vsPlatform::enableKineticScrolling(scroll);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    connect(dietButtons, &QButtonGroup::idToggled, this, [this](int diet, bool checked) {
        if (checked)
            this->restrictions->setDiet(vsRestrictions::Diet(diet));
    });
    // A detail window may add an additive while this one is open.
    connect(restrictions, &vsRestrictions::changed, this, &vsRestrictionsWindow::showRestrictions);
}

void vsRestrictionsWindow::onOpen()
{
    const QList<QCheckBox *> boxes = additiveBoxes;
    for (QCheckBox *box : boxes) {
        if (!box->isChecked()) {
            additiveBoxes.removeOne(box);
            delete box;
        }
    }
    showRestrictions();
    show();
    raise();
    activateWindow();
    if (QAbstractButton *diet = dietButtons->checkedButton())
        diet->setFocus(Qt::OtherFocusReason);
}

void vsRestrictionsWindow::showRestrictions()
{
    if (QAbstractButton *diet = dietButtons->button(restrictions->diet()))
        diet->setChecked(true);
    for (int group = 0; group < groupBoxes.size(); ++group) {
        const QSignalBlocker quiet(groupBoxes.at(group));
        groupBoxes.at(group)->setChecked(restrictions->avoidsGroup(group));
    }
    // Boxes taken off stay listed, unchecked, so that a slip is undone in place.
    const QStringList codes = restrictions->additives();
    for (const QString &code : codes) {
        const bool listed =
            std::any_of(additiveBoxes.cbegin(), additiveBoxes.cend(),
                        [&code](const QCheckBox *box) { return box->property("code") == code; });
        if (listed)
            continue;
        const QString name = entryName(code);
        // A catalogue's "&" is a letter, not a shortcut's mark.
        auto *box =
            new QCheckBox(name.isEmpty() ? code
                                         : code + QLatin1Char(' ') +
                                               QString(name).replace(QLatin1Char('&'), QLatin1String("&&")),
                          noAdditives->parentWidget());
        box->setObjectName(QStringLiteral("additive_") + code);
        box->setProperty("code", code);
        box->setPalette(boxPalette());
        additiveBoxes << box;
        additiveList->addWidget(box);
        connect(box, &QCheckBox::toggled, this,
                [this, code](bool checked) { this->restrictions->setAdditiveAvoided(code, checked); });
    }
    for (QCheckBox *box : qAsConst(additiveBoxes)) {
        const QSignalBlocker quiet(box);
        box->setChecked(restrictions->avoidsAdditive(box->property("code").toString()));
    }
    noAdditives->setVisible(additiveBoxes.isEmpty());
}

QString vsRestrictionsWindow::entryName(const QString &code) const
{
    for (int row = 0; catalogue && row < catalogue->rowCount(); ++row) {
        const QModelIndex index = catalogue->index(row, 0);
        if (index.data(vsDataModel::CodeRole).toString() == code)
            return index.data(vsDataModel::NamesRole).toString().section(QLatin1Char(':'), 0, 0);
    }
    return QString();
}

void vsRestrictionsWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
