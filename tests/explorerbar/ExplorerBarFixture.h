#pragma once
// A shown explorer bar in a fresh host, 200 x 300 pixels (3000 x 4500 twips
// at 15 twips per pixel), with helpers that deliver real Qt mouse events at
// positions in twips.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <memory>
#include <string>
#include <vector>

#include "explorerbar/XPexplorerbar.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace testsupport {

class ExplorerBarTest : public testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        bar = std::make_unique<XPexplorerbar>();
        bar->resize(200, 300);
        bar->show();
        Record();
    }

    // Every signal of the control, in the order raised, as "Name(args)".
    void Record() {
        auto note = [this](std::string text) { events.push_back(std::move(text)); };
        auto mouse = [note](const char* name) {
            return [note, name](short button, short shift, int x, int y) {
                note(std::string(name) + "(" + std::to_string(button) + "," + std::to_string(shift) + "," +
                     std::to_string(x) + "," + std::to_string(y) + ")");
            };
        };
        QObject::connect(bar.get(), &XPexplorerbar::MouseMove, bar.get(), mouse("MouseMove"));
        QObject::connect(bar.get(), &XPexplorerbar::MouseDown, bar.get(), mouse("MouseDown"));
        QObject::connect(bar.get(), &XPexplorerbar::MouseUp, bar.get(), mouse("MouseUp"));
        QObject::connect(bar.get(), &XPexplorerbar::HeaderClick, bar.get(),
                         [note](short i) { note("HeaderClick(" + std::to_string(i) + ")"); });
        QObject::connect(bar.get(), &XPexplorerbar::ItemExpanded, bar.get(),
                         [note](short i) { note("ItemExpanded(" + std::to_string(i) + ")"); });
        QObject::connect(bar.get(), &XPexplorerbar::ItemCollapsed, bar.get(),
                         [note](short i) { note("ItemCollapsed(" + std::to_string(i) + ")"); });
        QObject::connect(bar.get(), &XPexplorerbar::SubItemClick, bar.get(), [note](short i, short j) {
            note("SubItemClick(" + std::to_string(i) + "," + std::to_string(j) + ")");
        });
    }

    const XPexplorerbar::GroupRecord& Group(int index) const { return bar->Groups().at(index); }
    const XPexplorerbar::SubItemRecord& Row(int index, int row) const { return Group(index).subItems.at(row); }

    static QPointF Pixels(double x, double y) { return QPointF(x / 15.0, y / 15.0); }

    void Move(double x, double y, Qt::MouseButtons buttons = Qt::NoButton) {
        QMouseEvent move(QEvent::MouseMove, Pixels(x, y), bar->mapToGlobal(Pixels(x, y)), Qt::NoButton, buttons,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(bar.get(), &move);
    }
    void Press(double x, double y, Qt::MouseButton button = Qt::LeftButton) {
        QMouseEvent press(QEvent::MouseButtonPress, Pixels(x, y), bar->mapToGlobal(Pixels(x, y)), button, button,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(bar.get(), &press);
    }
    void Release(double x, double y, Qt::MouseButton button = Qt::LeftButton) {
        QMouseEvent release(QEvent::MouseButtonRelease, Pixels(x, y), bar->mapToGlobal(Pixels(x, y)), button,
                            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(bar.get(), &release);
    }
    void Click(double x, double y, Qt::MouseButton button = Qt::LeftButton) {
        Press(x, y, button);
        Release(x, y, button);
    }
    void Leave() {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(bar.get(), &leave);
    }

    TempHost host;
    std::unique_ptr<XPexplorerbar> bar;
    std::vector<std::string> events;
};

}  // namespace testsupport
