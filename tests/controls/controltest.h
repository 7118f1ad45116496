// Shared pieces of the control tests: one QApplication for the process (offscreen) with a
// fixed palette whose roles all differ, so a pixel tells which colour painted it.
#pragma once
#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace ctltest {

// The fixed colours of the palette roles the controls paint with.
inline const QColor kFace(192, 192, 192);      // Button: clBtnFace
inline const QColor kShadow(128, 128, 128);    // Dark: clBtnShadow
inline const QColor kHighlight(255, 255, 255); // Light: clBtnHighlight
inline const QColor kDkShadow(64, 64, 64);     // Shadow: cl3DDkShadow
inline const QColor kLight(224, 224, 224);     // Midlight: cl3DLight
inline const QColor kWindow(250, 250, 236);    // Base: clWindow
inline const QColor kBtnText(0, 0, 0);         // ButtonText: clBtnText
inline const QColor kSelection(0, 0, 160);     // Highlight

inline QPalette fixedPalette() {
    QPalette p;
    for (auto g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(g, QPalette::Button, kFace);
        p.setColor(g, QPalette::Window, kFace);
        p.setColor(g, QPalette::Dark, kShadow);
        p.setColor(g, QPalette::Light, kHighlight);
        p.setColor(g, QPalette::Shadow, kDkShadow);
        p.setColor(g, QPalette::Midlight, kLight);
        p.setColor(g, QPalette::Mid, QColor(160, 160, 160));
        p.setColor(g, QPalette::Base, kWindow);
        p.setColor(g, QPalette::ButtonText, kBtnText);
        p.setColor(g, QPalette::Text, kBtnText);
        p.setColor(g, QPalette::WindowText, kBtnText);
        p.setColor(g, QPalette::Highlight, kSelection);
        p.setColor(g, QPalette::HighlightedText, Qt::white);
    }
    return p;
}

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "test_controls";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication* a = [] {
        auto* x = new QApplication(argc, argv);
        QApplication::setPalette(fixedPalette());
        return x;
    }();
    return *a;
}

// Moves the mouse over the middle of `w` (or `at`) as the window system would, so that the
// widgets it leaves and enters hear of it.
inline void hover(QWidget* w, QPoint at = QPoint(-1, -1)) {
    if (at.x() < 0) at = QPoint(w->width() / 2, w->height() / 2);
    QTest::mouseMove(w->window()->windowHandle(), w->mapTo(w->window(), at));
    QApplication::processEvents();
}

inline QColor px(const QImage& img, int x, int y) {
    return QColor(img.pixel(x, y));
}

// Where screenshots go: the build folder.
inline std::string shotPath(const std::string& name) {
    return (std::filesystem::path(PV_BUILD_DIR) / name).string();
}

} // namespace ctltest
