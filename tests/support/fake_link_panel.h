#pragma once
// The supervisor's view of the main dialog, kept in memory. The link selector sorts its
// entries like the real drop-down list (letter case ignored), and every status text written
// is kept in order so that the probing cycle can be checked.

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/link_panel.h"

namespace shuttle::testing {

inline char16_t foldCase(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

inline bool lessIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char16_t x, char16_t y) { return foldCase(x) < foldCase(y); });
}

inline bool equalsIgnoringCase(const std::u16string& a, const std::u16string& b) {
    auto same = [](char16_t x, char16_t y) { return foldCase(x) == foldCase(y); };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), same);
}

class FakeLinkPanel final : public LinkPanel {
public:
    void resetLinks() override {
        links.clear();
        current = -1;
    }
    int addLink(const std::u16string& text) override {
        auto place = std::upper_bound(links.begin(), links.end(), text, lessIgnoringCase);
        int index = static_cast<int>(place - links.begin());
        links.insert(place, text);
        if (current >= index) ++current;
        return index;
    }
    int linkCount() override { return static_cast<int>(links.size()); }
    bool selectLink(int index) override {
        if (index < 0 || index >= linkCount()) return false;
        current = index;
        return true;
    }
    bool selectLinkByName(const std::u16string& name) override {
        for (size_t i = 0; i < links.size(); ++i)
            if (equalsIgnoringCase(links[i], name)) return selectLink(static_cast<int>(i));
        return false;
    }
    int currentLink() override { return current; }
    std::u16string linkText(int index) override {
        return index >= 0 && index < linkCount() ? links[index] : std::u16string();
    }
    int measureLinkText(const std::u16string& text) override { return 7 * static_cast<int>(text.size()); }
    void setLinkDroppedWidth(int pixels) override { droppedWidth = pixels; }
    void enableLinks(bool enabled) override { linksEnabled = enabled; }

    std::u16string linkButtonCaption() override { return caption.substr(0, 31); }
    void setLinkButtonCaption(const std::u16string& text) override { caption = text; }
    void setStatusText(const std::u16string& text) override {
        status = text;
        statusHistory.push_back(text);
        if (onStatus) onStatus(text);
    }

    void addSize(const std::u16string& label) override { sizes.push_back(label); }
    bool selectSize(const std::u16string& label) override {
        auto found = std::find(sizes.begin(), sizes.end(), label);
        if (found == sizes.end()) return false;
        currentSizeIndex = static_cast<int>(found - sizes.begin());
        return true;
    }
    int currentSize() override { return currentSizeIndex; }

    void showControl(ModeControl control, bool shown) override { visible[control] = shown; }

    std::u16string selectedLink() { return linkText(current); }
    bool isVisible(ModeControl control) const {
        auto found = visible.find(control);
        return found != visible.end() && found->second;
    }

    std::vector<std::u16string> links;
    int current = -1;
    int droppedWidth = -1;
    bool linksEnabled = true;
    std::u16string caption = u"Refresh";
    std::u16string status = u" Select COM";
    std::vector<std::u16string> statusHistory;
    std::function<void(const std::u16string&)> onStatus;  // another thread acting meanwhile
    std::vector<std::u16string> sizes;
    int currentSizeIndex = -1;
    std::map<ModeControl, bool> visible;
};

}  // namespace shuttle::testing
