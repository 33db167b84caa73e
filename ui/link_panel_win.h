#pragma once
// The link supervisor's controls on the real main dialog. Calls from the supervisor thread
// reach the controls through the window thread's message queue (SendMessage).

#include <windows.h>

#include "ui/link_panel.h"

namespace shuttle {

class DialogLinkPanel final : public LinkPanel {
public:
    explicit DialogLinkPanel(HWND dialog) : dialog_(dialog) {}

    void resetLinks() override;
    int addLink(const std::u16string& text) override;
    int linkCount() override;
    bool selectLink(int index) override;
    bool selectLinkByName(const std::u16string& name) override;
    int currentLink() override;
    std::u16string linkText(int index) override;
    int measureLinkText(const std::u16string& text) override;
    void setLinkDroppedWidth(int pixels) override;
    void enableLinks(bool enabled) override;

    std::u16string linkButtonCaption() override;
    void setLinkButtonCaption(const std::u16string& caption) override;
    void setStatusText(const std::u16string& text) override;

    void addSize(const std::u16string& label) override;
    bool selectSize(const std::u16string& label) override;
    int currentSize() override;

    void showControl(ModeControl control, bool visible) override;

private:
    HWND control(int id) const { return GetDlgItem(dialog_, id); }
    LRESULT send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendDlgItemMessageW(dialog_, id, message, wParam, lParam);
    }

    HWND dialog_;
};

}  // namespace shuttle
