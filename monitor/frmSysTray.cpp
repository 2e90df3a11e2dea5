#include "frmSysTray.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QString>
#include <algorithm>
#include <cstring>
#include <limits>

#include "common/CommonModule.h"
#include "platform/api/EventLoop.h"
#include "platform/api/Program.h"
#include "platform/api/SystemInfo.h"

// The icons are embedded in this library; a static library's resources must be
// registered by hand.
static void RegisterIconResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)registered;
}

// Registered at start as well, so a window may take its icon before the tray exists.
static const bool kIconResourcesRegistered = (RegisterIconResources(), true);

namespace {

constexpr std::size_t kTipWithBalloons = 127;
constexpr std::size_t kTipWithoutBalloons = 63;
constexpr std::size_t kBalloonText = 255;
constexpr std::size_t kBalloonTitle = 63;

// At most maxBytes of the text, never ending inside a character.
std::string CutUtf8(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

// At most maxUnits UTF-16 units of the text, never ending inside a pair.
QString CutUtf16(const std::string& text, std::size_t maxUnits) {
    QString wide = QString::fromStdString(text);
    if (static_cast<std::size_t>(wide.size()) <= maxUnits) return wide;
    qsizetype end = static_cast<qsizetype>(maxUnits);
    if (end > 0 && wide.at(end - 1).isHighSurrogate()) --end;
    return wide.left(end);
}

template <std::size_t N>
void FillField(char (&field)[N], const std::string& text, std::size_t maxChars) {
    const std::string cut = CutUtf8(text, std::min(maxChars, N - 1));
    std::memset(field, 0, N);
    std::memcpy(field, cut.data(), cut.size());
}

template <std::size_t N>
void FillField(char16_t (&field)[N], const std::string& text, std::size_t maxChars) {
    const QString cut = CutUtf16(text, std::min(maxChars, N - 1));
    std::memset(field, 0, sizeof field);
    std::memcpy(field, cut.utf16(), static_cast<std::size_t>(cut.size()) * sizeof(char16_t));
}

template <std::size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

template <std::size_t N>
std::string FieldText(const char16_t (&field)[N]) {
    std::size_t length = 0;
    while (length < N && field[length] != 0) ++length;
    return QString::fromUtf16(field, static_cast<qsizetype>(length)).toStdString();
}

win::UINT WholeMilliseconds(const vb::Variant& value) {
    const std::int64_t ms = value.ToNumber();
    return static_cast<win::UINT>(std::clamp<std::int64_t>(ms, 0, std::numeric_limits<win::UINT>::max()));
}

}  // namespace

frmSysTray::frmSysTray(QWidget* parent) : QWidget(parent) {
    RegisterIconResources();
    setObjectName("frmSysTray");
    setWindowTitle("Sys Tray Interface");
    setAttribute(Qt::WA_DeleteOnClose);
    setMouseTracking(true);
    mnuPopup_ = new QMenu("&Popup", this);
    mnuPopup_->setObjectName("mnuPopup");
    NewMenuElement()->setVisible(false);
}

frmSysTray::~frmSysTray() {
    if (loaded_ && !unloaded_) RemoveIcon();
}

bool frmSysTray::EnsureLoaded() {
    if (unloaded_) return false;
    if (!loaded_) Form_Load();
    return true;
}

void frmSysTray::ChooseShell() {
    const WinVersion version = GetWinVersion();
    if (version.isNT) {
        bUnicodeShell_ = true;
        bBalloonShell_ = version.major >= 5;
    } else {
        bUnicodeShell_ = false;
        bBalloonShell_ = version.major == 4 && version.minor == 90;
    }
}

void frmSysTray::Form_Load() {
    loaded_ = true;
    const win::HICON ownIcon = platform::LoadIconResource("frmSysTray");
    setWindowIcon(platform::IconOfHandle(ownIcon));
    ownerHandle_ = platform::HandleOfWindow(this);
    iconId_ = static_cast<win::UINT>(ownIcon);
    ChooseShell();
    FillRecord();
    nidA_.hIcon = nidW_.hIcon = ownIcon;
    Notify(win::NIM_ADD);
    if (bBalloonShell_) Notify(win::NIM_SETVERSION);
}

void frmSysTray::FillRecord() {
    nidA_ = {};
    nidW_ = {};
    nidA_.hWnd = nidW_.hWnd = ownerHandle_;
    nidA_.uID = nidW_.uID = iconId_;
    nidA_.uCallbackMessage = nidW_.uCallbackMessage = win::WM_MOUSEMOVE;
    SetFlags(win::NIF_MESSAGE | win::NIF_ICON | win::NIF_TIP);
    SetTipField(vb::App::Title(), TipLimit());
    if (bBalloonShell_) nidA_.uTimeoutOrVersion = nidW_.uTimeoutOrVersion = win::NOTIFYICON_VERSION;
    if (bUnicodeShell_)
        nidW_.cbSize = bBalloonShell_ ? win::NOTIFYICONDATAW_V2_SIZE : win::NOTIFYICONDATAW_V1_SIZE;
    else
        nidA_.cbSize = bBalloonShell_ ? win::NOTIFYICONDATAA_V2_SIZE : win::NOTIFYICONDATAA_V1_SIZE;
}

void frmSysTray::Notify(win::DWORD message) {
    if (bUnicodeShell_)
        win::Shell_NotifyIconW(message, &nidW_);
    else
        win::Shell_NotifyIconA(message, &nidA_);
}

void frmSysTray::SetFlags(win::UINT flags) { nidA_.uFlags = nidW_.uFlags = flags; }

std::size_t frmSysTray::TipLimit() const { return bBalloonShell_ ? kTipWithBalloons : kTipWithoutBalloons; }

void frmSysTray::SetTipField(const std::string& text, std::size_t maxChars) {
    if (bUnicodeShell_)
        FillField(nidW_.szTip, text, maxChars);
    else
        FillField(nidA_.szTip, text, maxChars);
}

std::string frmSysTray::TipField() const { return bUnicodeShell_ ? FieldText(nidW_.szTip) : FieldText(nidA_.szTip); }

void frmSysTray::SetBalloonFields(const std::string& text, const std::string& title, std::int32_t kind,
                                  win::UINT timeoutMs) {
    if (bUnicodeShell_) {
        FillField(nidW_.szInfo, text, kBalloonText);
        FillField(nidW_.szInfoTitle, title, kBalloonTitle);
    } else {
        FillField(nidA_.szInfo, text, kBalloonText);
        FillField(nidA_.szInfoTitle, title, kBalloonTitle);
    }
    nidA_.uTimeoutOrVersion = nidW_.uTimeoutOrVersion = timeoutMs;
    nidA_.dwInfoFlags = nidW_.dwInfoFlags = static_cast<win::DWORD>(kind);
}

void frmSysTray::ShowBalloonTip(const std::string& sMessage, const std::string& sTitle, std::int32_t eIcon,
                                const vb::Variant& lTimeOutMs) {
    if (!EnsureLoaded() || !bBalloonShell_) return;
    SetBalloonFields(sMessage, sTitle, eIcon, WholeMilliseconds(lTimeOutMs));
    SetFlags(win::NIF_INFO);
    Notify(win::NIM_MODIFY);
}

std::string frmSysTray::ToolTip() {
    if (!EnsureLoaded()) return "";
    return TipField();
}

void frmSysTray::SetToolTip(const std::string& sTip) {
    if (!EnsureLoaded()) return;
    if (!bUnicodeShell_) {
        if (CutUtf8(sTip, kTipWithBalloons) == TipField()) return;
        SetTipField(sTip, kTipWithBalloons);
    } else {
        SetTipField(sTip, TipLimit());
    }
    SetFlags(win::NIF_TIP);
    Notify(win::NIM_MODIFY);
}

win::HICON frmSysTray::IconHandle() {
    if (!EnsureLoaded()) return 0;
    return bUnicodeShell_ ? nidW_.hIcon : nidA_.hIcon;
}

void frmSysTray::SetIconHandle(win::HICON hIcon) {
    if (!EnsureLoaded() || hIcon == IconHandle()) return;
    nidA_.hIcon = nidW_.hIcon = hIcon;
    SetFlags(win::NIF_ICON);
    Notify(win::NIM_MODIFY);
}

QAction* frmSysTray::NewMenuElement() {
    auto* element = new QAction(this);
    element->setObjectName("mnuSysTray");
    connect(element, &QAction::triggered, this, [this, element] { mnuSysTray_Click(element); });
    mnuPopup_->addAction(element);
    mnuSysTray_.push_back(element);
    return element;
}

QAction* frmSysTray::MenuElement(int index) const {
    return index >= 0 && index < MenuElementCount() ? mnuSysTray_[static_cast<std::size_t>(index)] : nullptr;
}

bool frmSysTray::IsValidMenuIndex(std::int32_t index) const { return index >= 0 && index < MenuElementCount(); }

std::int32_t frmSysTray::AddMenuItem(const std::string& sCaption, const std::string& sKey, bool bDefault) {
    if (!EnsureLoaded()) return -1;
    std::int32_t index = 0;
    if (!bMenuItemUsed_) {
        bMenuItemUsed_ = true;
    } else {
        index = MenuElementCount();
        NewMenuElement();
    }
    QAction* element = MenuElement(index);
    element->setVisible(true);
    element->setData(QString::fromStdString(sKey));
    element->setText(QString::fromStdString(sCaption));
    if (bDefault) lDefaultMenuIndex_ = index;
    return index;
}

void frmSysTray::EnableMenuItem(std::int32_t lIndex, bool bState) {
    if (!EnsureLoaded() || !IsValidMenuIndex(lIndex)) return;
    MenuElement(lIndex)->setEnabled(bState);
}

std::int32_t frmSysTray::RemoveMenuItem(std::int32_t iIndex) {
    if (!EnsureLoaded() || !IsValidMenuIndex(iIndex)) return 0;
    if (iIndex == 0) {
        MenuElement(0)->setText(QString());
        return 0;
    }
    for (int i = iIndex; i + 1 < MenuElementCount(); ++i) {
        MenuElement(i)->setText(MenuElement(i + 1)->text());
        MenuElement(i)->setData(MenuElement(i + 1)->data());
    }
    QAction* highest = mnuSysTray_.back();
    mnuSysTray_.pop_back();
    mnuPopup_->removeAction(highest);
    highest->deleteLater();
    if (!IsValidMenuIndex(lDefaultMenuIndex_)) lDefaultMenuIndex_ = 0;
    return 0;
}

std::int32_t frmSysTray::DefaultMenuIndex() {
    EnsureLoaded();
    return lDefaultMenuIndex_;
}

void frmSysTray::SetDefaultMenuIndex(std::int32_t lIndex) {
    if (!EnsureLoaded()) return;
    lDefaultMenuIndex_ = IsValidMenuIndex(lIndex) ? lIndex : 0;
}

vb::Variant frmSysTray::ShowMenu() {
    if (!EnsureLoaded()) return vb::Variant();
    activateWindow();
    mnuPopup_->setDefaultAction(MenuElement(lDefaultMenuIndex_));
    // Nobody could close a menu that no one sees.
    if (!platform::DisplayPresent()) {
        CommonModule::DPrint("frmSysTray\\ShowMenu: no display, menu not opened");
        return vb::Variant();
    }
    mnuPopup_->exec(QCursor::pos());
    return vb::Variant();
}

void frmSysTray::mnuSysTray_Click(QAction* element) {
    const auto found = std::find(mnuSysTray_.begin(), mnuSysTray_.end(), element);
    if (found == mnuSysTray_.end()) return;
    const auto index = static_cast<std::int32_t>(found - mnuSysTray_.begin());
    emit MenuClick(index, element->data().toString().toStdString());
}

void frmSysTray::mouseMoveEvent(QMouseEvent* event) {
    // The shell's notification code arrives as the x coordinate, in pixels.
    RaiseTrayEvent(static_cast<long>(event->position().x()));
}

void frmSysTray::RaiseTrayEvent(long code) {
    switch (code) {
        case win::WM_MOUSEMOVE:
            emit SysTrayMouseMove();
            break;
        case win::WM_LBUTTONDOWN:
            emit SysTrayMouseDown(1);
            break;
        case win::WM_LBUTTONUP:
            emit SysTrayMouseUp(1);
            break;
        case win::WM_LBUTTONDBLCLK:
            emit SysTrayDoubleClick(1);
            break;
        case win::WM_RBUTTONDOWN:
            emit SysTrayMouseDown(2);
            break;
        case win::WM_RBUTTONUP:
            emit SysTrayMouseUp(2);
            break;
        case win::WM_RBUTTONDBLCLK:
            emit SysTrayDoubleClick(2);
            break;
        case win::NIN_BALLOONSHOW:
            emit BalloonShow();
            break;
        case win::NIN_BALLOONHIDE:
            emit BalloonHide();
            break;
        case win::NIN_BALLOONTIMEOUT:
            emit BalloonTimeOut();
            break;
        case win::NIN_BALLOONUSERCLICK:
            emit BalloonClicked();
            break;
        default:
            break;
    }
}

void frmSysTray::Unload() { close(); }

void frmSysTray::RemoveIcon() {
    SetFlags(0);
    Notify(win::NIM_DELETE);
}

void frmSysTray::closeEvent(QCloseEvent* event) {
    if (loaded_ && !unloaded_) RemoveIcon();
    unloaded_ = true;
    event->accept();
}

frmSysTray::WinVersion frmSysTray::GetWinVersion() {
    const win::DWORD version = win::GetVersion();
    WinVersion parts;
    parts.major = version & 0xFF;
    parts.minor = (version >> 8) & 0xFF;
    parts.build = (version >> 16) & 0x7FFF;
    parts.isNT = (version & 0x80000000u) == 0;
    return parts;
}
