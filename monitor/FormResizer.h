#pragma once
// Keeps every control of one window at the same relative position and size
// when the window is resized, and optionally scales the controls' font. The
// layout is recorded once as fractions of the window's inner area, so
// repeated resizing does not drift.
//
// The controls are the window's direct child widgets, in creation order
// (pop-up menus are windows of their own and not among them; a menu bar keeps
// no proportions). The window must not have a layout of its own.
#include <QPointer>
#include <cstdint>
#include <string>
#include <vector>

class QWidget;

struct ControlResizeInfo {
    std::string Name;
    bool flgMove = false;
    bool flgResize = false;
    float HeightProportion = 0;
    float WidthProportion = 0;
    float TopProportion = 0;
    float LeftProportion = 0;
};

class FormResizer {
public:
    void InitResizeArray(QWidget& objForm);
    // A base of 0 leaves the fonts alone; otherwise the font size becomes
    // inner height / base * 8.5.
    void ResizeControls(QWidget& objForm, const std::int16_t& base);
    void SetControlProperties(const std::string& strName, bool flgMove, bool flgResize);

    const std::vector<ControlResizeInfo>& Records() const { return records_; }

    // The window's inner area in twips.
    static int ScaleWidth(const QWidget& objForm);
    static int ScaleHeight(const QWidget& objForm);
    // The base for a window of this inner width in twips: the width, or 32767
    // for a window too wide for a 16-bit base.
    static std::int16_t BaseForScaleWidth(int scaleWidth);

private:
    std::vector<ControlResizeInfo> records_;
    // The controls the records were made from, in the same order.
    std::vector<QPointer<QWidget>> controls_;
};
