#include "platform/vslook.h"

#include <QApplication>
#include <QIcon>
#include <QImageReader>
#include <QLibraryInfo>
#include <QPalette>
#include <QTranslator>
#include <QWidget>

namespace vsPlatform {

void prepareApplication()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
}

void applyDarkLook()
{
    const QColor text(255, 255, 255);
    const QColor dimText(128, 128, 128);
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(24, 24, 24));
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QColor(0, 0, 0));
    palette.setColor(QPalette::AlternateBase, QColor(32, 32, 32));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(40, 40, 40));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, QColor(255, 128, 6));
    palette.setColor(QPalette::Light, QColor(72, 72, 72));
    palette.setColor(QPalette::Midlight, QColor(56, 56, 56));
    palette.setColor(QPalette::Mid, QColor(36, 36, 36));
    palette.setColor(QPalette::Dark, QColor(16, 16, 16));
    palette.setColor(QPalette::Shadow, QColor(0, 0, 0));
    palette.setColor(QPalette::Highlight, QColor(255, 128, 6));
    palette.setColor(QPalette::HighlightedText, QColor(0, 0, 0));
    palette.setColor(QPalette::Link, QColor(90, 170, 255));
    palette.setColor(QPalette::LinkVisited, QColor(170, 130, 255));
    palette.setColor(QPalette::ToolTipBase, QColor(40, 40, 40));
    palette.setColor(QPalette::ToolTipText, text);
#if QT_VERSION >= QT_VERSION_CHECK(5, 12, 0)
    palette.setColor(QPalette::PlaceholderText, dimText);
#endif
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, dimText);
    QApplication::setPalette(palette);
}

QPalette blackPalette()
{
    QPalette palette;
    palette.setBrush(QPalette::All, QPalette::Window, QBrush(QColor(0, 0, 0, 255)));
    return palette;
}

QPixmap iconPixmap(const QString &path)
{
    const QSize size = QImageReader(path).size();
    return size.isValid() ? QIcon(path).pixmap(size) : QPixmap();
}

QPalette toolkitPalette(const QWidget *widget)
{
    QPalette palette = QApplication::palette(widget);
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto colourGroup = QPalette::ColorGroup(group);
            const auto colourRole = QPalette::ColorRole(role);
            palette.setBrush(colourGroup, colourRole, palette.brush(colourGroup, colourRole));
        }
    }
    return palette;
}

bool loadToolkitTranslation(QTranslator *translator)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
    return translator->load(QStringLiteral("qtbase_ru"), folder);
}

} // namespace vsPlatform
