#include "XPexplorerbar.h"

#include <QCoreApplication>
#include <QFontInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QWheelEvent>
#include <limits>

#include "common/modSocketSupport.h"
#include "platform/api/DebugOutput.h"
#include "platform/api/EventLoop.h"
#include "platform/api/Gdi.h"
#include "platform/api/MessageBox.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/TrayIcon.h"
#include "platform/api/Twips.h"
#include "platform/api/UxTheme.h"
#include "platform/api/WindowMessages.h"

namespace {

constexpr std::int32_t kTopMargin = 240;
constexpr std::int32_t kGroupGap = 240;
constexpr std::int32_t kGroupLeft = 120;
constexpr std::int32_t kHeaderHeight = 375;
constexpr std::int32_t kScrollUnit = 10;
constexpr std::int32_t kScollerWidth = 255;
constexpr std::int32_t kRowPitch = 300;
constexpr std::int32_t kPictureSpace = 1320;
// One arrow click moves the groups by a row.
constexpr int kScrollArrowSteps = kRowPitch / kScrollUnit;

const QColor kLinkBlue = platform::ColorOf(0xC65D21);
const QColor kHotBlue = platform::ColorOf(0xFF8E42);
const QColor kBlack = platform::ColorOf(0x000000);
const QColor kWhite = platform::ColorOf(0xFFFFFF);
const QColor kDarkBlue = platform::ColorOf(0x6A240A);

QColor SystemColour(int index) { return platform::ColorOf(win::GetSysColor(index)); }

// The running y of the layout is 16-bit, as the run time's Integer is.
void Advance(std::int16_t& y, std::int32_t by) {
    const std::int32_t moved = static_cast<std::int32_t>(y) + by;
    if (moved > std::numeric_limits<std::int16_t>::max() || moved < std::numeric_limits<std::int16_t>::min())
        throw RuntimeError::Overflow();
    y = static_cast<std::int16_t>(moved);
}

QRect PixelRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    return QRect(QPoint(platform::PixelsX(left), platform::PixelsY(top)),
                 QPoint(platform::PixelsX(right), platform::PixelsY(bottom)));
}

win::RECT WinRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    return win::RECT{platform::PixelsX(left), platform::PixelsY(top), platform::PixelsX(right),
                     platform::PixelsY(bottom)};
}

// A box as the surface's line statement draws one: both corners included.
void Box(QPainter& painter, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
         const QColor& colour, bool filled) {
    const QRect area = PixelRect(left, top, right, bottom);
    if (filled) {
        painter.fillRect(area, colour);
        return;
    }
    painter.save();
    painter.setPen(QPen(colour, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(area.topLeft(), QSize(area.width() - 1, area.height() - 1)));
    painter.restore();
}

void Line(QPainter& painter, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
          const QColor& colour) {
    painter.save();
    painter.setPen(QPen(colour, 0));
    painter.drawLine(QPoint(platform::PixelsX(x1), platform::PixelsY(y1)),
                     QPoint(platform::PixelsX(x2), platform::PixelsY(y2)));
    painter.restore();
}

void StretchPicture(QPainter& painter, const QPixmap& picture, std::int32_t left, std::int32_t top, std::int32_t width,
             std::int32_t height) {
    if (picture.isNull()) return;
    painter.drawPixmap(PixelRect(left, top, left + width, top + height).adjusted(0, 0, -1, -1), picture);
}

short ButtonOf(Qt::MouseButtons buttons) {
    short value = 0;
    if (buttons & Qt::LeftButton) value |= 1;
    if (buttons & Qt::RightButton) value |= 2;
    if (buttons & Qt::MiddleButton) value |= 4;
    return value;
}

short ShiftOf(Qt::KeyboardModifiers modifiers) {
    short value = 0;
    if (modifiers & Qt::ShiftModifier) value |= 1;
    if (modifiers & Qt::ControlModifier) value |= 2;
    if (modifiers & Qt::AltModifier) value |= 4;
    return value;
}

QFont ControlFont() {
    QFont font(QStringLiteral("Tahoma"), 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void LogStrayError(const char* where, const std::exception& error) {
    win::OutputDebugStringA(std::string("\tXPexplorerbar.") + where + " - VB ERROR: " + error.what());
}

}  // namespace

XPexplorerbar::XPexplorerbar(QWidget* parent) : QWidget(parent) {
    setFont(ControlFont());
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    scoller_ = new QScrollBar(Qt::Vertical, this);
    scoller_->setObjectName(QStringLiteral("Scoller"));
    scoller_->setMinimum(0);
    scoller_->setMaximum(0);
    scoller_->setSingleStep(kScrollArrowSteps);
    scoller_->hide();
    connect(scoller_, &QScrollBar::valueChanged, this, [this] { Redraw(); });
    PlaceScoller();
    StartHooks();
}

XPexplorerbar::~XPexplorerbar() { UnhookAll(); }

// ---- Data model ----

XPexplorerbar::GroupRecord& XPexplorerbar::Group(std::int16_t Index) {
    if (Index < 0 || static_cast<std::size_t>(Index) >= groups_.size()) throw RuntimeError::SubscriptOutOfRange();
    return groups_[static_cast<std::size_t>(Index)];
}

const XPexplorerbar::GroupRecord& XPexplorerbar::Group(std::int16_t Index) const {
    return const_cast<XPexplorerbar*>(this)->Group(Index);
}

bool XPexplorerbar::HasSubItems(const GroupRecord& group) const {
    return group.kind == kNormal || group.kind == kSpecial;
}

std::int16_t XPexplorerbar::AddGroup(GroupRecord record) {
    if (groupCount_ == std::numeric_limits<std::int16_t>::max()) throw RuntimeError::Overflow();
    ++groupCount_;
    groups_.resize(static_cast<std::size_t>(groupCount_) + 1);
    record.headerState = kStateNormal;
    groups_[static_cast<std::size_t>(groupCount_)] = std::move(record);
    Redraw();
    return groupCount_;
}

std::int16_t XPexplorerbar::AddNormalItem(const std::string& Title, bool CollapsedOrNot, const Picture& BigIcon,
                                          const Picture& BackGround) {
    GroupRecord record;
    record.kind = kNormal;
    record.Title = Title;
    record.BigIcon = BigIcon;
    record.BackGround = BackGround;
    record.expanded = CollapsedOrNot;
    return AddGroup(std::move(record));
}

std::int16_t XPexplorerbar::AddSpecialItem(const std::string& Title, bool CollapsedOrNot, const Picture& BigIcon,
                                           const Picture& BackGround) {
    GroupRecord record;
    record.kind = kSpecial;
    record.Title = Title;
    record.BigIcon = BigIcon;
    record.BackGround = BackGround;
    record.expanded = CollapsedOrNot;
    return AddGroup(std::move(record));
}

std::int16_t XPexplorerbar::AddDetailItem(const std::string& Title, const std::string& DetailTitle,
                                          const std::string& Details, const Picture& DetailPicture,
                                          bool CollapsedOrNot, const Picture& BigIcon, const Picture& BackGround) {
    GroupRecord record;
    record.kind = kDetail;
    record.Title = Title;
    record.DetailTitle = DetailTitle;
    record.Details = Details;
    record.DetailPicture = DetailPicture;
    record.BigIcon = BigIcon;
    record.BackGround = BackGround;
    record.expanded = CollapsedOrNot;
    return AddGroup(std::move(record));
}

std::int16_t XPexplorerbar::AddSubItem(std::int16_t Index, const std::string& Caption, const Picture& SmallIcon) {
    GroupRecord& group = Group(Index);
    if (Index == 0 || !HasSubItems(group)) return 0;
    if (group.subItemCount == std::numeric_limits<std::int16_t>::max()) throw RuntimeError::Overflow();
    SubItemRecord row;
    row.Caption = Caption;
    row.SmallIcon = SmallIcon;
    group.subItems.push_back(std::move(row));
    const auto count = static_cast<std::int16_t>(++group.subItemCount);
    Redraw();
    return count;
}

void XPexplorerbar::Cls() {
    groups_.assign(1, GroupRecord{});
    groupCount_ = 0;
    Redraw();
}

void XPexplorerbar::About() {
    vb::MsgBox("XPexplorerbar: a side bar of collapsible task groups.", vb::vbExclamation | vb::vbOKOnly, "About");
}

std::string XPexplorerbar::Header(std::int16_t Index) const { return Group(Index).Title; }
XPexplorerbar::Picture XPexplorerbar::HeaderIcon(std::int16_t Index) const { return Group(Index).BigIcon; }
XPexplorerbar::Picture XPexplorerbar::BackGround(std::int16_t Index) const { return Group(Index).BackGround; }

XPexplorerbar::Picture XPexplorerbar::SubItemIcon(std::int16_t Index, std::int16_t SubItemIndex) const {
    const GroupRecord& group = Group(Index);
    if (group.kind == kDetail) return {};
    if (SubItemIndex < 0 || static_cast<std::size_t>(SubItemIndex) >= group.subItems.size())
        throw RuntimeError::SubscriptOutOfRange();
    return group.subItems[static_cast<std::size_t>(SubItemIndex)].SmallIcon;
}

std::string XPexplorerbar::SubItem(std::int16_t Index, std::int16_t SubItemIndex) const {
    const GroupRecord& group = Group(Index);
    if (group.kind == kDetail) return {};
    if (SubItemIndex < 0 || static_cast<std::size_t>(SubItemIndex) >= group.subItems.size())
        throw RuntimeError::SubscriptOutOfRange();
    return group.subItems[static_cast<std::size_t>(SubItemIndex)].Caption;
}

void XPexplorerbar::ClsSubItems(std::int16_t Index) {
    GroupRecord& group = Group(Index);
    if (!HasSubItems(group)) return;
    group.subItems.assign(1, SubItemRecord{});
    group.subItemCount = 0;
    Redraw();
}

void XPexplorerbar::SetBackGround(std::int16_t Index, const Picture& NewBack) {
    Group(Index).BackGround = NewBack;
    Redraw();
}

void XPexplorerbar::SetBigIcon(std::int16_t Index, const Picture& NewIcon) {
    Group(Index).BigIcon = NewIcon;
    Redraw();
}

void XPexplorerbar::SetDetailsPicture(std::int16_t Index, const Picture& NewPic) {
    GroupRecord& group = Group(Index);
    if (group.kind != kDetail) return;
    group.DetailPicture = NewPic;
    Redraw();
}

void XPexplorerbar::SetDetailsTitle(std::int16_t Index, const std::string& NewTitle) {
    GroupRecord& group = Group(Index);
    if (group.kind != kDetail) return;
    group.DetailTitle = NewTitle;
    Redraw();
}

void XPexplorerbar::SetDetails(std::int16_t Index, const std::string& NewDetails) {
    GroupRecord& group = Group(Index);
    if (group.kind != kDetail) return;
    group.Details = NewDetails;
    Redraw();
}

vb::Variant XPexplorerbar::Collapse(std::int16_t Item) {
    Group(Item).expanded = false;
    Redraw();
    return {};
}

vb::Variant XPexplorerbar::Expand(std::int16_t Item) {
    Group(Item).expanded = true;
    Redraw();
    return {};
}

win::HWND XPexplorerbar::hwnd() const { return platform::HandleOfWindow(const_cast<XPexplorerbar*>(this)); }

// ---- Window hooking ----

void XPexplorerbar::StartHooks() {
    mouseLeaveSupport_ = true;
    systemTracking_ = ApiExists("TrackMouseEvent", "User32");
    if (!systemTracking_ && !ApiExists("_TrackMouseEvent", "Comctl32")) mouseLeaveSupport_ = false;
    if (!mouseLeaveSupport_) return;
    const win::HWND own = hwnd();
    HookWindow(own);
    for (win::UINT message : {win::WM_MOUSEMOVE, win::WM_MOUSELEAVE, win::WM_THEMECHANGED, win::WM_SYSCOLORCHANGE,
                              win::WM_CTLCOLORSCROLLBAR})
        HookAddMessage(own, static_cast<win::LONG>(message), kPhaseAfter);
}

bool XPexplorerbar::ApiExists(const std::string& function, const std::string& library) {
    bool loadedHere = false;
    win::HMODULE module = win::GetModuleHandleA(library);
    if (module == 0) {
        module = win::LoadLibraryA(library);
        loadedHere = module != 0;
    }
    const bool found = module != 0 && win::GetProcAddress(module, function) != 0;
    if (loadedHere) win::FreeLibrary(module);
    return found;
}

void XPexplorerbar::TrackMouseLeave(win::HWND hWnd) {
    if (!mouseLeaveSupport_) return;
    win::TRACKMOUSEEVENT request;
    request.dwFlags = win::TME_LEAVE;
    request.hwndTrack = hWnd;
    if (systemTracking_)
        win::TrackMouseEvent(&request);
    else
        win::_TrackMouseEvent(&request);
}

int XPexplorerbar::HookWindow(win::HWND hWnd) {
    std::size_t slot = 0;
    if (!hooksStarted_) {
        hooks_.assign(1, HookRecord{});
        hooksStarted_ = true;
    } else {
        slot = hooks_.size();
        for (std::size_t i = hooks_.size(); i-- > 0;) {
            if (hooks_[i].window == 0) {
                slot = i;
                break;
            }
        }
        if (slot == hooks_.size()) hooks_.emplace_back();
    }
    hooks_[slot] = HookRecord{};
    hooks_[slot].window = hWnd;
    return static_cast<int>(slot);
}

XPexplorerbar::HookRecord* XPexplorerbar::HookOf(win::HWND hWnd) {
    if (hWnd == 0) return nullptr;
    for (std::size_t i = hooks_.size(); i-- > 0;)
        if (hooks_[i].window == hWnd) return &hooks_[i];
    return nullptr;
}

void XPexplorerbar::AddToTable(HookRecord& record, int phase, win::LONG uMsg) {
    auto& table = phase == kPhaseBefore ? record.beforeTable : record.afterTable;
    auto& count = phase == kPhaseBefore ? record.beforeCount : record.afterCount;
    if (uMsg == -1) {
        count = -1;
        return;
    }
    for (win::LONG i = 1; i <= count; ++i) {
        if (table[static_cast<std::size_t>(i)] == uMsg) return;
        if (table[static_cast<std::size_t>(i)] == 0) {
            table[static_cast<std::size_t>(i)] = uMsg;
            return;
        }
    }
    if (count < 0) return;
    ++count;
    table.resize(static_cast<std::size_t>(count) + 1);
    table[static_cast<std::size_t>(count)] = uMsg;
}

void XPexplorerbar::HookAddMessage(win::HWND hWnd, win::LONG uMsg, int phases) {
    HookRecord* record = HookOf(hWnd);
    if (!record) throw RuntimeError::SubscriptOutOfRange();
    if (phases & kPhaseBefore) AddToTable(*record, kPhaseBefore, uMsg);
    if (phases & kPhaseAfter) AddToTable(*record, kPhaseAfter, uMsg);
}

void XPexplorerbar::UnhookWindow(win::HWND hWnd) {
    HookRecord* record = HookOf(hWnd);
    if (!record) throw RuntimeError::SubscriptOutOfRange();
    *record = HookRecord{};
}

void XPexplorerbar::UnhookAll() {
    try {
        for (std::size_t i = hooks_.size(); i-- > 0;)
            if (hooks_[i].window != 0) UnhookWindow(hooks_[i].window);
    } catch (...) {
        // Removal ends silently at the first failure.
    }
}

bool XPexplorerbar::InTable(const std::vector<win::LONG>& table, win::LONG count, win::LONG uMsg) const {
    if (count == -1) return true;
    for (win::LONG i = 1; i <= count; ++i)
        if (table[static_cast<std::size_t>(i)] == uMsg) return true;
    return false;
}

void XPexplorerbar::zSubclass_Proc(bool bBefore, bool& bHandled, win::LONG& lReturn, win::LONG& lng_hWnd,
                                   win::LONG& uMsg, win::LONG& wParam, win::LONG& lParam) {
    switch (static_cast<win::UINT>(uMsg)) {
    case win::WM_MOUSEMOVE:
        if (!leaveTrackingArmed_) {
            leaveTrackingArmed_ = true;
            TrackMouseLeave(lng_hWnd);
        }
        break;
    case win::WM_MOUSELEAVE:
        leaveTrackingArmed_ = false;
        MouseMoveSteps(0, 0, -1, -1);
        break;
    case win::WM_THEMECHANGED:
    case win::WM_SYSCOLORCHANGE: Redraw(); break;
    case win::WM_CTLCOLORSCROLLBAR: bHandled = true; break;
    default: break;
    }
}

// The hook: messages of the before table reach zSubclass_Proc before the
// widget's own handling, those of the after table once it has run.
bool XPexplorerbar::event(QEvent* event) {
    try {
        const win::HWND own = hwnd();
        if (event->type() == QEvent::Enter && HookOf(own) && !leaveTrackingArmed_) {
            leaveTrackingArmed_ = true;
            TrackMouseLeave(own);
        }
        const win::UINT message = platform::MessageOfEvent(this, *event);
        if (message == 0 || !HookOf(own)) return QWidget::event(event);
        QPointer<XPexplorerbar> self(this);
        bool handled = false;
        win::LONG result = 0, window = static_cast<win::LONG>(own), number = static_cast<win::LONG>(message);
        win::LONG wParam = 0, lParam = 0;
        HookRecord* record = HookOf(own);
        if (record->beforeCount != 0 && InTable(record->beforeTable, record->beforeCount, number))
            zSubclass_Proc(true, handled, result, window, number, wParam, lParam);
        if (!self) return true;
        if (handled) return true;
        const bool accepted = QWidget::event(event);
        if (!self) return true;
        record = HookOf(own);
        if (record && record->afterCount != 0 && InTable(record->afterTable, record->afterCount, number))
            zSubclass_Proc(false, handled, result, window, number, wParam, lParam);
        return accepted;
    } catch (const std::exception& error) {
        LogStrayError("event", error);
        return true;
    }
}

// ---- Layout ----

std::int32_t XPexplorerbar::InnerWidth() const { return platform::RoundHalfEven(platform::TwipsX(width())); }
std::int32_t XPexplorerbar::InnerHeight() const { return platform::RoundHalfEven(platform::TwipsY(height())); }
std::int32_t XPexplorerbar::RightLimit() const { return platform::RoundHalfEven(platform::TwipsX(scoller_->x())); }

void XPexplorerbar::PlaceScoller() {
    const int scrollWidth = platform::PixelsX(kScollerWidth);
    const int left = scoller_->isHidden() ? width() : width() - scrollWidth;
    scoller_->setGeometry(left, scoller_->y(), scrollWidth, std::max(scoller_->height(), 1));
}

void XPexplorerbar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceScoller();
    Redraw();
}

void XPexplorerbar::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Redraw();
}

// The last group, scrolled to the bottom, shows whole with its margins.
void XPexplorerbar::NoteLastGroupHeight(std::int32_t twips) {
    if (twips == lastGroupHeight_) return;
    lastGroupHeight_ = twips;
    updateGeometry();
}

QSize XPexplorerbar::minimumSizeHint() const {
    if (lastGroupHeight_ == 0) return QWidget::minimumSizeHint();
    return QSize(0, platform::PixelsY(kTopMargin + lastGroupHeight_));
}

// The wheel moves the scroll bar, as over the bar itself.
void XPexplorerbar::wheelEvent(QWheelEvent* event) {
    if (scoller_->isHidden()) {
        QWidget::wheelEvent(event);
        return;
    }
    QCoreApplication::sendEvent(scoller_, event);
}

void XPexplorerbar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, surface_);
}

void XPexplorerbar::PaintAll(std::int32_t& contentHeight) {
    QImage surface(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGB32);
    const double dotsPerMeter = 1440.0 / platform::TwipsPerPixelX() / 0.0254;
    surface.setDotsPerMeterX(static_cast<int>(dotsPerMeter));
    surface.setDotsPerMeterY(static_cast<int>(1440.0 / platform::TwipsPerPixelY() / 0.0254));
    surface.fill(Qt::white);
    {
        QPainter painter(&surface);
        painter.setFont(font());
        PaintBackground(painter);
        contentHeight = PaintGroups(painter);
    }
    surface_ = std::move(surface);
    contentHeight_ = contentHeight;
}

void XPexplorerbar::Redraw() {
    QPointer<XPexplorerbar> self(this);
    try {
        PlaceScoller();
        std::int32_t content = 0;
        PaintAll(content);
        const std::int32_t inner = InnerHeight();
        const int innerPixels = height();
        if (inner < content) {
            const double steps = static_cast<double>(content - inner) / kScrollUnit;
            const int maximum = static_cast<int>(platform::RoundHalfEven(steps));
            if (scoller_->isHidden()) {
                scoller_->setGeometry(width() - platform::PixelsX(kScollerWidth), 0, platform::PixelsX(kScollerWidth),
                                      innerPixels);
                scoller_->setMaximum(maximum);
                if (!self) return;
                scoller_->show();
                PaintAll(content);
            } else if (scoller_->height() != innerPixels || scoller_->maximum() != steps) {
                scoller_->resize(scoller_->width(), innerPixels);
                scoller_->setMaximum(maximum);
                if (!self) return;
            }
        } else if (!scoller_->isHidden()) {
            scoller_->hide();
            scoller_->move(width(), scoller_->y());
            PaintAll(content);
        }
        scoller_->setPageStep(std::max(inner / kScrollUnit, kScrollArrowSteps));
    } catch (const std::exception& error) {
        LogStrayError("Redraw", error);
    }
    if (!self) return;
    update();
    vb::DoEvents();
}

std::int32_t XPexplorerbar::PaintGroups(QPainter& painter) {
    const bool scrolled = !scoller_->isHidden();
    std::int16_t y = static_cast<std::int16_t>(kTopMargin - (scrolled ? kScrollUnit * scoller_->value() : 0));
    reachedHeaders_ = 0;
    reachedBodies_ = 0;
    std::int32_t lastGroup = 0;
    try {
        for (std::size_t i = 1; i < groups_.size(); ++i) {
            const auto index = static_cast<std::int16_t>(i);
            const std::int32_t kind = groups_[i].kind;
            if (kind != kNormal && kind != kSpecial && kind != kDetail) {
                Advance(y, kGroupGap);
                continue;
            }
            const std::int16_t groupTop = y;
            PaintHeader(painter, index, y);
            if (groups_[i].expanded) {
                if (kind == kDetail)
                    PaintDetailBody(painter, index, y);
                else
                    PaintNormalBody(painter, index, y);
            }
            reachedBodies_ = index;
            Advance(y, kGroupGap);
            lastGroup = y - groupTop;
        }
    } catch (const RuntimeError&) {
        // The layout passed the largest 16-bit twips value: later groups are not shown.
        NoteLastGroupHeight(lastGroup);
        return std::numeric_limits<std::int16_t>::max();
    }
    NoteLastGroupHeight(lastGroup);
    const std::int32_t content = y + (scrolled ? kScrollUnit * scoller_->value() : 0);
    return std::min<std::int32_t>(content, std::numeric_limits<std::int16_t>::max());
}

// ---- Painting ----

bool XPexplorerbar::DrawThemePart(QPainter& painter, int part, int state, std::int32_t left, std::int32_t top,
                                  std::int32_t right, std::int32_t bottom) {
    const win::HTHEME theme = win::OpenThemeData(hwnd(), "ExplorerBar");
    if (theme == 0) return false;
    const win::RECT area = WinRect(left, top, right, bottom);
    const win::HRESULT result = win::DrawThemeBackground(theme, &painter, part, state, &area, &area);
    win::CloseThemeData(theme);
    return result == win::S_OK;
}

void XPexplorerbar::DrawText(QPainter& painter, const std::string& text, std::int32_t left, std::int32_t top,
                             std::int32_t right, std::int32_t bottom, unsigned format) {
    win::RECT area = WinRect(left, top, right, bottom);
    win::DrawTextA(&painter, text, -1, &area, format);
}

double XPexplorerbar::TextWidth(const std::string& text, bool bold) const {
    QFont measured = font();
    measured.setBold(bold);
    return platform::TwipsX(platform::TextExtent(measured, text).width());
}

double XPexplorerbar::TextHeight(const std::string& text, bool bold) const {
    QFont measured = font();
    measured.setBold(bold);
    return platform::TwipsY(platform::TextExtent(measured, text).height());
}

std::string XPexplorerbar::WrapText(const std::string& text, std::int32_t width) const {
    std::vector<std::string> words;
    modSocketSupport::SplitString(words, text, " ");
    std::string result;
    std::string line;
    for (const std::string& word : words) {
        if (line.empty()) {
            line = word;
        } else if (TextWidth(line + " " + word, false) >= width) {
            result += line + "\r\n";
            line = word;
        } else {
            line += " " + word;
        }
    }
    return result + line;
}

void XPexplorerbar::PaintBackground(QPainter& painter) {
    if (DrawThemePart(painter, win::EBP_HEADERBACKGROUND, 1, 0, 0, InnerWidth(), InnerHeight())) return;
    Box(painter, 0, 0, InnerWidth(), InnerHeight(), kWhite, true);
}

void XPexplorerbar::PaintHeader(QPainter& painter, std::int16_t index, std::int16_t& y) {
    GroupRecord& group = groups_[static_cast<std::size_t>(index)];
    const std::int32_t right = RightLimit();
    group.headerLeft = kGroupLeft;
    group.headerTop = y;
    group.headerHeight = kHeaderHeight;
    group.headerWidth = right - 2 * kGroupLeft;
    reachedHeaders_ = index;
    const bool special = group.kind == kSpecial;
    const int part = special ? win::EBP_SPECIALGROUPHEAD : win::EBP_NORMALGROUPHEAD;
    const bool themed = DrawThemePart(painter, part, 1, kGroupLeft, y, right - kGroupLeft, y + kHeaderHeight);
    if (!themed)
        Box(painter, kGroupLeft, y, right - kGroupLeft, y + kHeaderHeight,
            special ? kDarkBlue : SystemColour(win::COLOR_BTNFACE), true);
    PaintHeaderContent(painter, group, y, themed);
    Advance(y, kHeaderHeight);
}

void XPexplorerbar::PaintHeaderContent(QPainter& painter, const GroupRecord& group, std::int32_t y, bool themed) {
    const bool special = group.kind == kSpecial;
    QColor colour = special ? kWhite : kBlack;
    if (themed) {
        if (group.headerState > kStateNormal)
            colour = kHotBlue;
        else
            colour = special ? kWhite : kLinkBlue;
    }
    QFont title = font();
    title.setBold(true);
    title.setUnderline(false);
    painter.save();
    painter.setFont(title);
    painter.setPen(colour);
    const std::int32_t x = group.BigIcon.isNull() ? 300 : 600;
    const std::int32_t top = y + 90;
    DrawText(painter, group.Title, x, top, RightLimit() - 480,
             top + static_cast<std::int32_t>(TextHeight(group.Title, true)), win::DT_WORD_ELLIPSIS);
    painter.restore();
    StretchPicture(painter, group.BigIcon, kGroupLeft, y - 100, 480, 480);
    PaintChevron(painter, group, y);
}

void XPexplorerbar::PaintChevron(QPainter& painter, const GroupRecord& group, std::int32_t y) {
    const std::int32_t right = RightLimit();
    const bool special = group.kind == kSpecial;
    int part = 0;
    if (special)
        part = group.expanded ? win::EBP_SPECIALGROUPCOLLAPSE : win::EBP_SPECIALGROUPEXPAND;
    else
        part = group.expanded ? win::EBP_NORMALGROUPCOLLAPSE : win::EBP_NORMALGROUPEXPAND;
    const win::HTHEME theme = win::OpenThemeData(hwnd(), "ExplorerBar");
    if (theme != 0) {
        win::RECT area;
        area.left = platform::PixelsX(right - 480);
        area.top = platform::PixelsY(y + 20);
        area.right = area.left + 24;
        area.bottom = area.top + 24;
        const win::HRESULT result =
            win::DrawThemeBackground(theme, &painter, part, group.headerState, &area, &area);
        win::CloseThemeData(theme);
        if (result == win::S_OK) return;
    }
    if (group.headerState > kStateNormal) {
        const std::int32_t left = right - 480, top = y + 80, side = 240;
        const QColor light = SystemColour(win::COLOR_BTNHIGHLIGHT);
        const QColor shadow = SystemColour(win::COLOR_BTNSHADOW);
        Line(painter, left, top, left + side, top, light);
        Line(painter, left, top, left, top + side, light);
        Line(painter, left + side, top, left + side, top + side, shadow);
        Line(painter, left, top + side, left + side, top + side, shadow);
    }
    PaintPlainChevron(painter, group, y);
}

void XPexplorerbar::PaintPlainChevron(QPainter& painter, const GroupRecord& group, std::int32_t y) {
    struct Segment {
        std::int32_t x1, y1, x2, y2;
    };
    static constexpr Segment kDown[] = {{135, 120, 195, 180}, {150, 120, 195, 165}, {225, 120, 165, 180},
                                        {210, 120, 165, 165}};
    static constexpr Segment kUp[] = {{135, 165, 195, 105}, {150, 165, 195, 120}, {225, 165, 165, 105},
                                      {210, 165, 165, 120}};
    const std::int32_t originX = RightLimit() - 540, originY = y + 20;
    const QColor colour = group.kind == kSpecial ? kWhite : kBlack;
    for (std::int32_t shift : {0, 60})
        for (const Segment& s : group.expanded ? kUp : kDown)
            Line(painter, originX + s.x1, originY + s.y1 + shift, originX + s.x2, originY + s.y2 + shift, colour);
}

void XPexplorerbar::PaintNormalBody(QPainter& painter, std::int16_t index, std::int16_t& y) {
    GroupRecord& group = groups_[static_cast<std::size_t>(index)];
    const std::int32_t right = RightLimit();
    const std::int32_t bodyTop = y;
    const std::int32_t height = 100 + kRowPitch * group.subItemCount;
    const bool special = group.kind == kSpecial;
    const int part = special ? win::EBP_SPECIALGROUPBACKGROUND : win::EBP_NORMALGROUPBACKGROUND;
    const bool themed = DrawThemePart(painter, part, 1, kGroupLeft, bodyTop, right - kGroupLeft, bodyTop + height);
    if (themed)
        StretchPicture(painter, group.BackGround, kGroupLeft, bodyTop, right - 2 * kGroupLeft, height);
    else
        Box(painter, kGroupLeft, bodyTop, right - kGroupLeft, bodyTop + height,
            special ? kDarkBlue : SystemColour(win::COLOR_BTNFACE), false);
    Advance(y, height);
    for (std::size_t j = 1; j < group.subItems.size(); ++j) {
        SubItemRecord& row = group.subItems[j];
        const std::int32_t rowTop = bodyTop + 100 + kRowPitch * static_cast<std::int32_t>(j - 1);
        QFont caption = font();
        caption.setBold(false);
        caption.setUnderline(row.state == kStateHot);
        row.left = 240;
        row.top = rowTop;
        row.height = 240;
        if (themed || special) StretchPicture(painter, row.SmallIcon, 240, rowTop, 240, 240);
        if (themed)
            row.width = right - 480;
        else
            row.width = static_cast<std::int32_t>(platform::RoundHalfEven(TextWidth(row.Caption, false))) + 360;
        painter.save();
        painter.setFont(caption);
        painter.setPen(themed ? (row.state == kStateHot ? kHotBlue : kLinkBlue) : kBlack);
        DrawText(painter, row.Caption, 600, rowTop, right - 240,
                 rowTop + static_cast<std::int32_t>(TextHeight(row.Caption, false)), win::DT_WORD_ELLIPSIS);
        painter.restore();
    }
}

void XPexplorerbar::PaintDetailBody(QPainter& painter, std::int16_t index, std::int16_t& y) {
    GroupRecord& group = groups_[static_cast<std::size_t>(index)];
    const std::int32_t right = RightLimit();
    const std::int32_t bodyTop = y;
    const std::string wrapped = WrapText(group.Details, right - 480);
    std::int32_t height = static_cast<std::int32_t>(TextHeight(wrapped, false)) + 440;
    if (!group.DetailPicture.isNull()) height += kPictureSpace;
    const bool themed =
        DrawThemePart(painter, win::EBP_NORMALGROUPBACKGROUND, 1, kGroupLeft, bodyTop, right - kGroupLeft,
                      bodyTop + height);
    if (themed)
        StretchPicture(painter, group.BackGround, kGroupLeft, bodyTop, right - 2 * kGroupLeft, height);
    else
        Box(painter, kGroupLeft, bodyTop, right - kGroupLeft, bodyTop + height, SystemColour(win::COLOR_BTNFACE),
            false);
    Advance(y, height);
    std::int32_t contentY = bodyTop + 100;
    if (!group.DetailPicture.isNull()) {
        StretchPicture(painter, group.DetailPicture, right / 2 - 600, contentY, 1200, 1200);
        contentY += kPictureSpace;
    }
    QFont text = font();
    text.setUnderline(false);
    painter.save();
    painter.setPen(kBlack);
    text.setBold(true);
    painter.setFont(text);
    DrawText(painter, group.DetailTitle, 240, contentY, right - 240,
             contentY + static_cast<std::int32_t>(TextHeight(group.DetailTitle, true)), win::DT_WORD_ELLIPSIS);
    text.setBold(false);
    painter.setFont(text);
    DrawText(painter, wrapped, 240, contentY + 240, right,
             contentY + 240 + static_cast<std::int32_t>(TextHeight(wrapped, false)), 0);
    painter.restore();
}

// ---- Mouse ----

bool XPexplorerbar::Inside(double X, double Y, std::int32_t left, std::int32_t top, std::int32_t height,
                           std::int32_t width) const {
    return left < X && X < left + width && top < Y && Y < top + height;
}

void XPexplorerbar::MouseMoveSteps(short Button, short Shift, double X, double Y) {
    QPointer<XPexplorerbar> self(this);
    emit MouseMove(Button, Shift, static_cast<int>(platform::RoundHalfEven(X)),
                   static_cast<int>(platform::RoundHalfEven(Y)));
    if (!self) return;
    bool over = false;
    bool changed = false;
    for (std::size_t i = 1; i < groups_.size(); ++i) {
        GroupRecord& group = groups_[i];
        const auto index = static_cast<std::int16_t>(i);
        const bool onHeader = Reached(index) && Inside(X, Y, group.headerLeft, group.headerTop,
                                                       group.headerHeight, group.headerWidth);
        if (!onHeader) {
            if (group.headerState != kStateNormal) {
                group.headerState = kStateNormal;
                changed = true;
            }
        } else {
            std::int32_t target = group.headerState;
            if (Button == 0) target = kStateHot;
            if (Button == 1) target = kStatePressed;
            if (target != group.headerState) {
                group.headerState = target;
                changed = true;
            }
            over = true;
        }
        if (!HasSubItems(group) || !group.expanded) continue;
        const bool bodyReached = index <= reachedBodies_;
        for (std::size_t j = 1; j < group.subItems.size(); ++j) {
            SubItemRecord& row = group.subItems[j];
            const bool onRow = bodyReached && Inside(X, Y, row.left, row.top, row.height, row.width);
            const std::int32_t target = onRow ? kStateHot : kStateNormal;
            if (row.state != target) {
                row.state = target;
                changed = true;
            }
            if (onRow) over = true;
        }
    }
    if (over && !pointerCustom_) {
        setCursor(Qt::PointingHandCursor);
        pointerCustom_ = true;
    } else if (!over && pointerCustom_) {
        unsetCursor();
        pointerCustom_ = false;
    }
    if (changed) Redraw();
}

void XPexplorerbar::mouseMoveEvent(QMouseEvent* event) {
    try {
        MouseMoveSteps(ButtonOf(event->buttons()), ShiftOf(event->modifiers()), platform::TwipsX(event->position().x()),
                       platform::TwipsY(event->position().y()));
    } catch (const std::exception& error) {
        LogStrayError("UserControl_MouseMove", error);
    }
}

void XPexplorerbar::mousePressEvent(QMouseEvent* event) {
    try {
        QPointer<XPexplorerbar> self(this);
        const short button = ButtonOf(event->button());
        const short shift = ShiftOf(event->modifiers());
        const double x = platform::TwipsX(event->position().x()), y = platform::TwipsY(event->position().y());
        emit MouseDown(button, shift, static_cast<int>(platform::RoundHalfEven(x)),
                       static_cast<int>(platform::RoundHalfEven(y)));
        if (!self) return;
        MouseMoveSteps(button, shift, x, y);
    } catch (const std::exception& error) {
        LogStrayError("UserControl_MouseDown", error);
    }
}

// After every signal the walk re-reads the records: a handler may have
// cleared or refilled the control, or deleted it.
void XPexplorerbar::mouseReleaseEvent(QMouseEvent* event) {
    try {
        QPointer<XPexplorerbar> self(this);
        const short button = ButtonOf(event->button());
        const short shift = ShiftOf(event->modifiers());
        const double x = platform::TwipsX(event->position().x()), y = platform::TwipsY(event->position().y());
        emit MouseUp(button, shift, static_cast<int>(platform::RoundHalfEven(x)),
                     static_cast<int>(platform::RoundHalfEven(y)));
        if (!self) return;
        for (std::size_t i = 1; i < groups_.size(); ++i) {
            const auto index = static_cast<std::int16_t>(i);
            groups_[i].headerState = kStateNormal;
            const GroupRecord& group = groups_[i];
            if (Reached(index) && Inside(x, y, group.headerLeft, group.headerTop, group.headerHeight,
                                         group.headerWidth)) {
                if (button != 1) break;
                groups_[i].expanded = !groups_[i].expanded;
                if (groups_[i].expanded)
                    emit ItemExpanded(index);
                else
                    emit ItemCollapsed(index);
                if (!self) return;
                emit HeaderClick(index);
                if (!self) return;
                MouseMoveSteps(0, 0, x, y);
                if (!self) return;
                break;
            }
            if (!HasSubItems(group) || !group.expanded || index > reachedBodies_) continue;
            for (std::size_t j = 1; j < groups_[i].subItems.size(); ++j) {
                const SubItemRecord& row = groups_[i].subItems[j];
                if (!Inside(x, y, row.left, row.top, row.height, row.width)) continue;
                if (button == 1) {
                    emit SubItemClick(index, static_cast<short>(j));
                    if (!self) return;
                    MouseMoveSteps(0, 0, x, y);
                    if (!self) return;
                }
                break;
            }
        }
        Redraw();
    } catch (const std::exception& error) {
        LogStrayError("UserControl_MouseUp", error);
    }
}
