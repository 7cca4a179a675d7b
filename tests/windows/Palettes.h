#pragma once

// The light and the dark palette the window tests draw in: Fusion's own, and
// a dark one as a dark desktop theme gives (light text on near-black bases,
// a grey placeholder text that reads poorly on them).

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <memory>

namespace talvek::test {

inline QPalette lightPalette()
{
    // The style made to ask is the caller's to delete.
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    return fusion->standardPalette();
}

inline QPalette darkPalette()
{
    QPalette p;
    const QColor window(53, 53, 53);
    const QColor base(35, 35, 35);
    for (const auto group : { QPalette::Active, QPalette::Inactive }) {
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::WindowText, Qt::white);
        p.setColor(group, QPalette::Base, base);
        p.setColor(group, QPalette::AlternateBase, window);
        p.setColor(group, QPalette::ToolTipBase, base);
        p.setColor(group, QPalette::ToolTipText, Qt::white);
        p.setColor(group, QPalette::PlaceholderText, QColor(127, 127, 127));
        p.setColor(group, QPalette::Text, Qt::white);
        p.setColor(group, QPalette::Button, window);
        p.setColor(group, QPalette::ButtonText, Qt::white);
        p.setColor(group, QPalette::BrightText, Qt::red);
        p.setColor(group, QPalette::Link, QColor(42, 130, 218));
        p.setColor(group, QPalette::Highlight, QColor(42, 130, 218));
        p.setColor(group, QPalette::HighlightedText, Qt::white);
        p.setColor(group, QPalette::Light, QColor(80, 80, 80));
        p.setColor(group, QPalette::Midlight, QColor(66, 66, 66));
        p.setColor(group, QPalette::Mid, QColor(45, 45, 45));
        p.setColor(group, QPalette::Dark, QColor(25, 25, 25));
        p.setColor(group, QPalette::Shadow, QColor(20, 20, 20));
    }
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(127, 127, 127));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(127, 127, 127));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(127, 127, 127));
    return p;
}

// The Fusion style and the palette, for the whole program.
inline void usePalette(bool dark)
{
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setPalette(dark ? darkPalette() : lightPalette());
}

} // namespace talvek::test
