#include "ui/dialog_fit.h"

#include <algorithm>
#include <climits>

namespace shuttle {
namespace {

// How far the item at `index` may grow without moving anything: up to the nearest item to its
// right in the same rows (less the gap), and no further than its innermost frame (less the inset).
int freeRoom(const std::vector<FitItem>& items, const std::vector<FitBox>& boxes, size_t index, FitSpacing spacing) {
    const FitBox& box = boxes[index];
    int limit = INT_MAX;
    for (size_t other = 0; other < boxes.size(); ++other) {
        if (other == index) continue;
        const FitBox& near = boxes[other];
        if (items[other].frame && near.contains(box))
            limit = std::min(limit, near.right - spacing.inset);
        else if (near.left >= box.right && near.overlapsRows(box))
            limit = std::min(limit, near.left - spacing.gap);
    }
    return limit == INT_MAX ? 0 : std::max(0, limit - box.right);
}

void insertColumn(std::vector<FitBox>& boxes, int at, int width) {
    for (FitBox& box : boxes) {
        if (box.left >= at) {
            box.left += width;
            box.right += width;
        } else if (box.right >= at) {
            box.right += width;
        }
    }
}

// Reads a dialog template's little-endian fields; every read past the end fails the whole reader.
class TemplateReader {
public:
    TemplateReader(const void* data, size_t size) : bytes_(static_cast<const uint8_t*>(data)), size_(size) {}

    bool ok() const { return ok_; }
    uint16_t word() {
        if (!has(2)) return 0;
        const uint16_t value = static_cast<uint16_t>(bytes_[at_] | bytes_[at_ + 1] << 8);
        at_ += 2;
        return value;
    }
    uint32_t dword() {
        const uint32_t low = word();
        return low | static_cast<uint32_t>(word()) << 16;
    }
    int16_t coordinate() { return static_cast<int16_t>(word()); }
    uint8_t byte() {
        if (!has(1)) return 0;
        return bytes_[at_++];
    }
    std::u16string text() {
        std::u16string value;
        for (char16_t c = static_cast<char16_t>(word()); ok_ && c != 0; c = static_cast<char16_t>(word())) value += c;
        return value;
    }
    // A name or ordinal field: nothing (0), an ordinal (0xFFFF and a number) or a text.
    void skipNameOrOrdinal() {
        const uint16_t first = word();
        if (first == 0xFFFF) {
            word();
        } else if (first != 0) {
            at_ -= 2;
            text();
        }
    }
    void skip(size_t count) {
        if (has(count)) at_ += count;
    }
    void alignToDword() { skip((4 - at_ % 4) % 4); }

private:
    bool has(size_t count) {
        if (bytes_ == nullptr || size_ - std::min(at_, size_) < count) ok_ = false;
        return ok_;
    }

    const uint8_t* bytes_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

FitBox readBox(TemplateReader& reader) {
    const int x = reader.coordinate();
    const int y = reader.coordinate();
    const int width = reader.coordinate();
    const int height = reader.coordinate();
    return FitBox{x, y, x + width, y + height};
}

// The dialog's own box: its size, at the origin of its client area.
FitBox readSize(TemplateReader& reader) {
    const FitBox placed = readBox(reader);
    return FitBox{0, 0, placed.width(), placed.bottom - placed.top};
}

}  // namespace

std::vector<FitBox> fitItems(const std::vector<FitItem>& items, FitSpacing spacing) {
    std::vector<FitBox> boxes;
    boxes.reserve(items.size());
    for (const FitItem& item : items) boxes.push_back(item.box);
    for (size_t index = 0; index < items.size(); ++index) {
        int lacking = items[index].need - boxes[index].width();
        if (lacking <= 0) continue;
        // A frame grows only with a column, so that the frames above and below it keep its width.
        if (!items[index].frame) {
            const int taken = std::min(lacking, freeRoom(items, boxes, index, spacing));
            boxes[index].right += taken;
            lacking -= taken;
        }
        if (lacking > 0) insertColumn(boxes, boxes[index].right, lacking);
    }
    return boxes;
}

std::optional<DialogTemplate> readDialogTemplate(const void* data, size_t size) {
    constexpr uint32_t kSetFontStyle = 0x40;  // DS_SETFONT
    TemplateReader reader(data, size);
    if (reader.word() != 1 || reader.word() != 0xFFFF) return std::nullopt;  // DLGTEMPLATEEX only
    reader.skip(8);                                                          // help id, extended style
    const uint32_t style = reader.dword();
    const uint16_t count = reader.word();
    DialogTemplate dialog;
    dialog.box = readSize(reader);
    reader.skipNameOrOrdinal();  // menu
    reader.skipNameOrOrdinal();  // window class
    reader.text();               // title
    if (style & kSetFontStyle) {
        dialog.pointSize = reader.word();
        dialog.weight = reader.word();
        dialog.italic = reader.byte() != 0;
        reader.byte();  // character set
        dialog.face = reader.text();
    }
    for (uint16_t index = 0; index < count && reader.ok(); ++index) {
        reader.alignToDword();
        reader.skip(12);  // help id, extended style, style
        TemplateControl control;
        control.box = readBox(reader);
        control.id = reader.dword();
        reader.skipNameOrOrdinal();  // class
        reader.skipNameOrOrdinal();  // title
        reader.skip(reader.word());  // creation data
        dialog.controls.push_back(control);
    }
    if (!reader.ok()) return std::nullopt;
    return dialog;
}

}  // namespace shuttle
