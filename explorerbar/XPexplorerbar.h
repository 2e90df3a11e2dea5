#pragma once
// The explorer bar: a vertical side bar of collapsible groups in the manner of
// a task pane. A group has a header band (title, optional big icon, chevron)
// and, while open, a body: a list of clickable sub-items (normal and special
// groups) or a picture, a bold title and wrapped text (detail groups).
//
// Everything is measured in twips. Redraw paints the whole control into its
// own surface and stores every group's and sub-item's position before it
// returns; hit-testing reads the positions the last paint left. Groups are
// numbered from 1; slot 0 of every array exists and is never shown. An index
// outside the arrays raises "Subscript out of range" (9) to the caller.
//
// The control hooks its own window for the messages its framework gives no
// event for (pointer left, theme changed, colours changed): a hook record per
// window holds the messages handled before and after the window's own
// handling, and zSubclass_Proc receives them.
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/api/Variant.h"
#include "platform/api/WinTypes.h"

class QPainter;
class QScrollBar;

class XPexplorerbar : public QWidget {
    Q_OBJECT

public:
    // A picture or none (a null pixmap).
    using Picture = QPixmap;

    enum Kind : std::int32_t { kNormal = 1, kSpecial = 2, kDetail = 3 };
    enum State : std::int32_t { kStateNormal = 1, kStateHot = 2, kStatePressed = 3 };

    struct SubItemRecord {
        std::int32_t left = 0;
        std::int32_t top = 0;
        std::int32_t height = 0;
        std::int32_t width = 0;
        std::string Caption;
        Picture SmallIcon;
        std::int32_t state = kStateNormal;
    };

    struct GroupRecord {
        std::int32_t headerLeft = 0;
        std::int32_t headerTop = 0;
        std::int32_t headerHeight = 0;
        std::int32_t headerWidth = 0;
        std::int32_t kind = 0;
        std::string Title;
        Picture BigIcon;
        Picture BackGround;
        Picture DetailPicture;
        std::string DetailTitle;
        std::string Details;
        bool expanded = false;
        std::vector<SubItemRecord> subItems = std::vector<SubItemRecord>(1);
        std::int32_t headerState = kStateNormal;
        std::int32_t subItemCount = 0;
    };

    // One hooked window. Tables are numbered from 1 (entry 0 is unused); a
    // count of -1 means every message.
    struct HookRecord {
        win::HWND window = 0;
        std::intptr_t stub = 0;
        std::intptr_t previousProcedure = 0;
        win::LONG afterCount = 0;
        win::LONG beforeCount = 0;
        std::vector<win::LONG> afterTable = std::vector<win::LONG>(1);
        std::vector<win::LONG> beforeTable = std::vector<win::LONG>(1);
    };

    static constexpr int kPhaseAfter = 1;
    static constexpr int kPhaseBefore = 2;

    explicit XPexplorerbar(QWidget* parent = nullptr);
    ~XPexplorerbar() override;

    void zSubclass_Proc(bool bBefore, bool& bHandled, win::LONG& lReturn, win::LONG& lng_hWnd, win::LONG& uMsg,
                        win::LONG& wParam, win::LONG& lParam);
    void Redraw();
    // As tall as the last group needs, so that scrolled down it shows whole.
    QSize minimumSizeHint() const override;
    void Cls();
    void About();
    std::int16_t AddNormalItem(const std::string& Title, bool CollapsedOrNot = false, const Picture& BigIcon = {},
                               const Picture& BackGround = {});
    std::int16_t AddSpecialItem(const std::string& Title, bool CollapsedOrNot = false, const Picture& BigIcon = {},
                                const Picture& BackGround = {});
    std::int16_t AddDetailItem(const std::string& Title, const std::string& DetailTitle, const std::string& Details,
                               const Picture& DetailPicture = {}, bool CollapsedOrNot = false,
                               const Picture& BigIcon = {}, const Picture& BackGround = {});
    std::int16_t AddSubItem(std::int16_t Index, const std::string& Caption, const Picture& SmallIcon = {});
    std::string Header(std::int16_t Index) const;
    Picture HeaderIcon(std::int16_t Index) const;
    Picture BackGround(std::int16_t Index) const;
    Picture SubItemIcon(std::int16_t Index, std::int16_t SubItemIndex) const;
    std::string SubItem(std::int16_t Index, std::int16_t SubItemIndex) const;
    void ClsSubItems(std::int16_t Index);
    void SetBackGround(std::int16_t Index, const Picture& NewBack = {});
    void SetBigIcon(std::int16_t Index, const Picture& NewIcon = {});
    void SetDetailsPicture(std::int16_t Index, const Picture& NewPic = {});
    void SetDetailsTitle(std::int16_t Index, const std::string& NewTitle);
    void SetDetails(std::int16_t Index, const std::string& NewDetails);
    vb::Variant Collapse(std::int16_t Item);
    vb::Variant Expand(std::int16_t Item);
    win::HWND hwnd() const;

    // Window hooking.
    int HookWindow(win::HWND hWnd);
    void HookAddMessage(win::HWND hWnd, win::LONG uMsg, int phases);
    void UnhookWindow(win::HWND hWnd);
    void UnhookAll();
    static bool ApiExists(const std::string& function, const std::string& library);
    void TrackMouseLeave(win::HWND hWnd);

    // Read-only views for inspection: the records (slot 0 included), the
    // content height of the last paint, the hook records and the surface.
    const std::vector<GroupRecord>& Groups() const { return groups_; }
    std::int16_t GroupCount() const { return groupCount_; }
    std::int32_t ContentHeight() const { return contentHeight_; }
    const std::vector<HookRecord>& Hooks() const { return hooks_; }
    bool MouseLeaveSupport() const { return mouseLeaveSupport_; }
    const QImage& Surface() const { return surface_; }
    QScrollBar* Scoller() const { return scoller_; }

signals:
    void HeaderClick(short Index);
    void SubItemClick(short Index, short SubItemIndex);
    void ItemCollapsed(short Index);
    void ItemExpanded(short Index);
    void MouseMove(short Button, short Shift, int x, int y);
    void MouseDown(short Button, short Shift, int x, int y);
    void MouseUp(short Button, short Shift, int x, int y);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    std::int16_t AddGroup(GroupRecord record);
    GroupRecord& Group(std::int16_t Index);
    const GroupRecord& Group(std::int16_t Index) const;
    bool HasSubItems(const GroupRecord& group) const;

    // Startup of the hooks, at run time.
    void StartHooks();
    HookRecord* HookOf(win::HWND hWnd);
    void AddToTable(HookRecord& record, int phase, win::LONG uMsg);
    bool InTable(const std::vector<win::LONG>& table, win::LONG count, win::LONG uMsg) const;

    // Layout and painting.
    void PlaceScoller();
    void NoteLastGroupHeight(std::int32_t twips);
    std::int32_t RightLimit() const;
    std::int32_t InnerWidth() const;
    std::int32_t InnerHeight() const;
    void PaintAll(std::int32_t& contentHeight);
    std::int32_t PaintGroups(QPainter& painter);
    void PaintBackground(QPainter& painter);
    void PaintHeader(QPainter& painter, std::int16_t index, std::int16_t& y);
    void PaintHeaderContent(QPainter& painter, const GroupRecord& group, std::int32_t y, bool themed);
    void PaintChevron(QPainter& painter, const GroupRecord& group, std::int32_t y);
    void PaintPlainChevron(QPainter& painter, const GroupRecord& group, std::int32_t y);
    void PaintNormalBody(QPainter& painter, std::int16_t index, std::int16_t& y);
    void PaintDetailBody(QPainter& painter, std::int16_t index, std::int16_t& y);
    bool DrawThemePart(QPainter& painter, int part, int state, std::int32_t left, std::int32_t top,
                       std::int32_t right, std::int32_t bottom);
    void DrawText(QPainter& painter, const std::string& text, std::int32_t left, std::int32_t top,
                  std::int32_t right, std::int32_t bottom, unsigned format);
    std::string WrapText(const std::string& text, std::int32_t width) const;
    double TextWidth(const std::string& text, bool bold) const;
    double TextHeight(const std::string& text, bool bold) const;

    // Mouse.
    void MouseMoveSteps(short Button, short Shift, double X, double Y);
    bool Inside(double X, double Y, std::int32_t left, std::int32_t top, std::int32_t height,
                std::int32_t width) const;
    bool Reached(std::int16_t index) const { return index <= reachedHeaders_; }

    std::vector<GroupRecord> groups_ = std::vector<GroupRecord>(1);
    std::int16_t groupCount_ = 0;
    bool mouseLeaveSupport_ = false;
    bool systemTracking_ = false;
    bool leaveTrackingArmed_ = false;
    std::vector<HookRecord> hooks_;
    bool hooksStarted_ = false;

    QScrollBar* scoller_ = nullptr;
    QImage surface_;
    std::int32_t contentHeight_ = 0;
    // Groups the last paint reached (header, and body when open); the others
    // keep stale positions and are not hit-tested.
    std::int16_t reachedHeaders_ = 0;
    std::int16_t reachedBodies_ = 0;
    bool pointerCustom_ = false;
    // Twips of the last group painted, with the gap after it.
    std::int32_t lastGroupHeight_ = 0;
};
