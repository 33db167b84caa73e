#pragma once
// The link supervisor's part of a dialog kept as a model: the supervisor changes it from its own
// thread without waiting for the dialog, and the dialog draws a copy of it on its own thread
// whenever it changed (the Qt dialog, ui/main_dialog_qt.h). The user's choices come back
// through chooseLink and chooseSize.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ui/link_panel.h"

namespace shuttle {

// What the dialog shows of the link, as one copy.
struct LinkPanelView {
    std::vector<std::u16string> links;  // sorted, letter case ignored
    int currentLink = -1;
    bool linksEnabled = true;
    int linksDroppedWidth = 0;
    std::u16string buttonCaption = u"Refresh";
    std::u16string status = u" Select COM";
    std::vector<std::u16string> sizes;
    int currentSize = -1;
    bool sizeShown = false;  // the size selector with its frame (USB layout)
    bool usbLayout = false;  // the narrower options frame
};

class LinkPanelModel final : public LinkPanel {
public:
    // `changed` is called, on the thread that made the change, when the view changed after it
    // was last taken; `characterWidth` is the average width in pixels of the list's font.
    LinkPanelModel(std::function<void()> changed, int characterWidth);

    // The view to draw; later changes call `changed` again.
    LinkPanelView take();
    // The user picked an entry of the link list or the size list.
    void chooseLink(int index);
    void chooseSize(int index);

    void resetLinks() override;
    int addLink(const std::u16string& text) override;
    int linkCount() override;
    bool selectLink(int index) override;
    // The entry that is `name` exactly, else one that is it with letters in another case.
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
    // Runs `change` on the view under the lock; when it changed something (it says so), the
    // dialog is told, once until it takes the view.
    void update(const std::function<bool(LinkPanelView&)>& change);
    template <class Value>
    Value read(const std::function<Value(const LinkPanelView&)>& look);

    const std::function<void()> changed_;
    const int characterWidth_;
    std::mutex mutex_;
    LinkPanelView view_;
    bool pending_ = false;  // a change the dialog has not taken yet
};

}  // namespace shuttle
