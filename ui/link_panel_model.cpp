#include "ui/link_panel_model.h"

#include <algorithm>

namespace shuttle {
namespace {

constexpr size_t kCaptionCharacters = 31;
constexpr int kListMarginCharacters = 3;  // the list's own margins and a scroll bar

char16_t folded(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool lessIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char16_t x, char16_t y) { return folded(x) < folded(y); });
}

bool equalIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return folded(x) == folded(y); });
}

template <class Value>
bool assign(Value& field, const Value& value) {
    if (field == value) return false;
    field = value;
    return true;
}

bool validIndex(int index, size_t count) { return index >= 0 && static_cast<size_t>(index) < count; }

}  // namespace

LinkPanelModel::LinkPanelModel(std::function<void()> changed, int characterWidth)
    : changed_(std::move(changed)), characterWidth_(characterWidth) {}

void LinkPanelModel::update(const std::function<bool(LinkPanelView&)>& change) {
    bool tell = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!change(view_)) return;
        tell = !pending_;
        pending_ = true;
    }
    if (tell && changed_) changed_();
}

template <class Value>
Value LinkPanelModel::read(const std::function<Value(const LinkPanelView&)>& look) {
    std::lock_guard<std::mutex> lock(mutex_);
    return look(view_);
}

LinkPanelView LinkPanelModel::take() {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = false;
    return view_;
}

void LinkPanelModel::chooseLink(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (validIndex(index, view_.links.size())) view_.currentLink = index;
}

void LinkPanelModel::chooseSize(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (validIndex(index, view_.sizes.size())) view_.currentSize = index;
}

void LinkPanelModel::resetLinks() {
    update([](LinkPanelView& view) {
        const bool had = !view.links.empty() || view.currentLink != -1;
        view.links.clear();
        view.currentLink = -1;
        return had;
    });
}

// A new entry goes after the entries that sort equal to it; the selection keeps its entry.
int LinkPanelModel::addLink(const std::u16string& text) {
    int index = -1;
    update([&](LinkPanelView& view) {
        const auto place = std::upper_bound(view.links.begin(), view.links.end(), text, lessIgnoringCase);
        index = static_cast<int>(place - view.links.begin());
        view.links.insert(place, text);
        if (view.currentLink >= index) ++view.currentLink;
        return true;
    });
    return index;
}

int LinkPanelModel::linkCount() {
    return read<int>([](const LinkPanelView& view) { return static_cast<int>(view.links.size()); });
}

bool LinkPanelModel::selectLink(int index) {
    bool selected = false;
    update([&](LinkPanelView& view) {
        selected = validIndex(index, view.links.size());
        return selected && assign(view.currentLink, index);
    });
    return selected;
}

bool LinkPanelModel::selectLinkByName(const std::u16string& name) {
    bool selected = false;
    update([&](LinkPanelView& view) {
        auto found = std::find(view.links.begin(), view.links.end(), name);
        if (found == view.links.end())
            found = std::find_if(view.links.begin(), view.links.end(),
                                 [&](const std::u16string& link) { return equalIgnoringCase(link, name); });
        selected = found != view.links.end();
        return selected && assign(view.currentLink, static_cast<int>(found - view.links.begin()));
    });
    return selected;
}

int LinkPanelModel::currentLink() {
    return read<int>([](const LinkPanelView& view) { return view.currentLink; });
}

std::u16string LinkPanelModel::linkText(int index) {
    return read<std::u16string>([index](const LinkPanelView& view) {
        return validIndex(index, view.links.size()) ? view.links[static_cast<size_t>(index)] : std::u16string();
    });
}

int LinkPanelModel::measureLinkText(const std::u16string& text) {
    return characterWidth_ * (static_cast<int>(text.size()) + kListMarginCharacters);
}

void LinkPanelModel::setLinkDroppedWidth(int pixels) {
    update([pixels](LinkPanelView& view) { return assign(view.linksDroppedWidth, pixels); });
}

void LinkPanelModel::enableLinks(bool enabled) {
    update([enabled](LinkPanelView& view) { return assign(view.linksEnabled, enabled); });
}

std::u16string LinkPanelModel::linkButtonCaption() {
    return read<std::u16string>([](const LinkPanelView& view) { return view.buttonCaption; });
}

void LinkPanelModel::setLinkButtonCaption(const std::u16string& caption) {
    update([&](LinkPanelView& view) { return assign(view.buttonCaption, caption.substr(0, kCaptionCharacters)); });
}

void LinkPanelModel::setStatusText(const std::u16string& text) {
    update([&](LinkPanelView& view) { return assign(view.status, text); });
}

void LinkPanelModel::addSize(const std::u16string& label) {
    update([&](LinkPanelView& view) {
        view.sizes.push_back(label);
        return true;
    });
}

bool LinkPanelModel::selectSize(const std::u16string& label) {
    bool selected = false;
    update([&](LinkPanelView& view) {
        const auto found = std::find(view.sizes.begin(), view.sizes.end(), label);
        selected = found != view.sizes.end();
        return selected && assign(view.currentSize, static_cast<int>(found - view.sizes.begin()));
    });
    return selected;
}

int LinkPanelModel::currentSize() {
    return read<int>([](const LinkPanelView& view) { return view.currentSize; });
}

void LinkPanelModel::showControl(ModeControl control, bool visible) {
    update([control, visible](LinkPanelView& view) {
        switch (control) {
            case ModeControl::SizeSelector:
            case ModeControl::SizeFrame:
                return assign(view.sizeShown, visible);
            case ModeControl::UsbOptions:
                return assign(view.usbLayout, visible);
            case ModeControl::ComOptions:
                return assign(view.usbLayout, !visible);
        }
        return false;
    });
}

}  // namespace shuttle
