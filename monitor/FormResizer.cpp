#include "FormResizer.h"

#include <QFont>
#include <QMenuBar>
#include <QWidget>
#include <cmath>

#include "platform/api/Twips.h"

namespace {

// The largest font size a control takes; a larger one is refused, as a
// failing assignment is skipped.
constexpr double kLargestFontSize = 2160;

float Proportion(int part, int whole) {
    return whole == 0 ? 0.0f : static_cast<float>(part) / static_cast<float>(whole);
}

bool HasGeometry(const QWidget& control) { return !qobject_cast<const QMenuBar*>(&control); }

std::vector<QWidget*> ControlsOf(QWidget& objForm) {
    std::vector<QWidget*> controls;
    for (QObject* child : objForm.children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (control && !control->isWindow()) controls.push_back(control);
    }
    return controls;
}

ControlResizeInfo RecordOf(const QWidget& control, int scaleWidth, int scaleHeight) {
    ControlResizeInfo record;
    record.Name = control.objectName().toStdString();
    record.flgMove = true;
    record.flgResize = true;
    if (!HasGeometry(control)) return record;
    const QRect area = control.geometry();
    record.HeightProportion = Proportion(platform::TwipsY(area.height()), scaleHeight);
    record.WidthProportion = Proportion(platform::TwipsX(area.width()), scaleWidth);
    record.TopProportion = Proportion(platform::TwipsY(area.top()), scaleHeight);
    record.LeftProportion = Proportion(platform::TwipsX(area.left()), scaleWidth);
    return record;
}

void ApplyRecord(QWidget& control, const ControlResizeInfo& record, int scaleWidth, int scaleHeight) {
    if (!HasGeometry(control)) return;
    QRect area = control.geometry();
    if (record.flgMove) {
        area.moveLeft(platform::PixelsX(scaleWidth * static_cast<double>(record.LeftProportion)));
        area.moveTop(platform::PixelsY(scaleHeight * static_cast<double>(record.TopProportion)));
    }
    if (record.flgResize) {
        area.setWidth(platform::PixelsX(scaleWidth * static_cast<double>(record.WidthProportion)));
        area.setHeight(platform::PixelsY(scaleHeight * static_cast<double>(record.HeightProportion)));
    }
    if (area != control.geometry()) control.setGeometry(area);
}

void ApplyFontSize(QWidget& control, double size) {
    if (!(size > 0 && size <= kLargestFontSize)) return;
    QFont font = control.font();
    font.setPointSizeF(size);
    control.setFont(font);
}

}  // namespace

int FormResizer::ScaleWidth(const QWidget& objForm) { return static_cast<int>(platform::RoundHalfEven(platform::TwipsX(objForm.width()))); }

int FormResizer::ScaleHeight(const QWidget& objForm) { return static_cast<int>(platform::RoundHalfEven(platform::TwipsY(objForm.height()))); }

std::int16_t FormResizer::BaseForScaleWidth(int scaleWidth) {
    if (scaleWidth <= 0) return 0;
    return static_cast<std::int16_t>(std::min(scaleWidth, 32767));
}

void FormResizer::InitResizeArray(QWidget& objForm) {
    const int scaleWidth = ScaleWidth(objForm);
    const int scaleHeight = ScaleHeight(objForm);
    records_.clear();
    controls_.clear();
    for (QWidget* control : ControlsOf(objForm)) {
        records_.push_back(RecordOf(*control, scaleWidth, scaleHeight));
        controls_.emplace_back(control);
    }
}

void FormResizer::ResizeControls(QWidget& objForm, const std::int16_t& base) {
    const int scaleWidth = ScaleWidth(objForm);
    const int scaleHeight = ScaleHeight(objForm);
    const double fontSize = base != 0 ? static_cast<double>(scaleHeight) / base * 8.5 : 0.0;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        QWidget* control = controls_[i];
        if (!control) continue;
        ApplyRecord(*control, records_[i], scaleWidth, scaleHeight);
        if (base != 0) ApplyFontSize(*control, fontSize);
    }
}

void FormResizer::SetControlProperties(const std::string& strName, bool flgMove, bool flgResize) {
    for (ControlResizeInfo& record : records_) {
        if (record.Name != strName) continue;
        record.flgMove = flgMove;
        record.flgResize = flgResize;
    }
}
