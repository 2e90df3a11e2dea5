#pragma once
// The hidden tray window used as a class: it owns one icon in the notification
// area, shows balloons from it, carries a pop-up menu of items added at run
// time and turns the shell's callbacks into its own signals.
//
// The window loads at the first use of any member (adding the icon) and is
// unloaded with Unload() or close(), which removes the icon and deletes the
// object later, so it may be unloaded from inside one of its own signals.
// Create it with new and hold it in a QPointer. Once unloaded it does nothing
// more: it never adds its icon again.
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/api/TrayIcon.h"
#include "platform/api/Variant.h"

class QAction;
class QMenu;

class frmSysTray : public QWidget {
    Q_OBJECT

public:
    explicit frmSysTray(QWidget* parent = nullptr);
    ~frmSysTray() override;

    void ShowBalloonTip(const std::string& sMessage, const std::string& sTitle = "", std::int32_t eIcon = 0,
                        const vb::Variant& lTimeOutMs = vb::Variant());
    std::string ToolTip();
    void SetToolTip(const std::string& sTip);
    win::HICON IconHandle();
    void SetIconHandle(win::HICON hIcon);
    std::int32_t AddMenuItem(const std::string& sCaption, const std::string& sKey = "", bool bDefault = false);
    void EnableMenuItem(std::int32_t lIndex, bool bState);
    std::int32_t RemoveMenuItem(std::int32_t iIndex);
    std::int32_t DefaultMenuIndex();
    void SetDefaultMenuIndex(std::int32_t lIndex);
    vb::Variant ShowMenu();

    void Unload();

    // The window's owner handle and icon identifier in the shell.
    win::HWND OwnerHandle() const { return ownerHandle_; }
    win::UINT IconId() const { return iconId_; }

    struct WinVersion {
        std::uint32_t major = 0;
        std::uint32_t minor = 0;
        std::uint32_t build = 0;
        bool isNT = false;
    };
    static WinVersion GetWinVersion();

    // The menu elements, for tests: captions, keys, visibility.
    int MenuElementCount() const { return static_cast<int>(mnuSysTray_.size()); }
    QAction* MenuElement(int index) const;

signals:
    void SysTrayMouseDown(std::int32_t button);
    void SysTrayMouseUp(std::int32_t button);
    void SysTrayMouseMove();
    void SysTrayDoubleClick(std::int32_t eButton);
    void MenuClick(std::int32_t lIndex, const std::string& sKey);
    void BalloonShow();
    void BalloonHide();
    void BalloonTimeOut();
    void BalloonClicked();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool EnsureLoaded();
    void Form_Load();
    void ChooseShell();
    void FillRecord();
    void Notify(win::DWORD message);
    void SetFlags(win::UINT flags);
    void SetTipField(const std::string& text, std::size_t maxChars);
    void SetBalloonFields(const std::string& text, const std::string& title, std::int32_t kind, win::UINT timeoutMs);
    std::string TipField() const;
    std::size_t TipLimit() const;
    void RaiseTrayEvent(long code);
    void mnuSysTray_Click(QAction* element);
    QAction* NewMenuElement();
    bool IsValidMenuIndex(std::int32_t index) const;
    void RemoveIcon();

    win::NOTIFYICONDATAA nidA_{};
    win::NOTIFYICONDATAW nidW_{};
    bool bUnicodeShell_ = false;
    bool bBalloonShell_ = false;
    bool bMenuItemUsed_ = false;
    std::int32_t lDefaultMenuIndex_ = 0;

    bool loaded_ = false;
    bool unloaded_ = false;
    win::HWND ownerHandle_ = 0;
    win::UINT iconId_ = 0;

    QMenu* mnuPopup_ = nullptr;
    std::vector<QAction*> mnuSysTray_;
};
