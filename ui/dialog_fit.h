#pragma once
// The geometry that keeps every caption of a dialog whole, apart from the system: the dialog's
// layout as its template states it (in dialog units), and the widening of controls, frames and
// the dialog itself until each caption has the width it needs. The Win32 dialog measures and
// moves (ui/dialog_fit_win.*); everything here is arithmetic on rectangles.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace shuttle {

struct FitBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    bool contains(const FitBox& other) const {
        return left <= other.left && right >= other.right && top <= other.top && bottom >= other.bottom;
    }
    bool overlapsRows(const FitBox& other) const { return top < other.bottom && other.top < bottom; }
    bool operator==(const FitBox& other) const {
        return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
    }
};

struct FitItem {
    FitBox box;
    int need = 0;        // the width its caption needs; 0 for none
    bool frame = false;  // a group box (or the dialog): holds the items inside it
};

struct FitSpacing {
    int gap = 0;    // kept free between an item and the next one to its right
    int inset = 0;  // kept free between a frame's right edge and the items inside it
};

// The boxes of `items`, in their order, each at least as wide as it needs. A control takes the
// free room to its right within its frame first; what it still lacks, and what a frame lacks,
// becomes a column of that width inserted at its right edge: whatever begins right of it moves
// right, whatever spans it grows, so rows and frames stay aligned. Nothing shrinks.
std::vector<FitBox> fitItems(const std::vector<FitItem>& items, FitSpacing spacing);

// A dialog template (DLGTEMPLATEEX) read from a resource: its size and controls in dialog units,
// in creation order, and the font it declares.
struct TemplateControl {
    FitBox box;
    uint32_t id = 0;
};
struct DialogTemplate {
    FitBox box;
    int pointSize = 0;  // 0 when the template sets no font
    int weight = 0;
    bool italic = false;
    std::u16string face;
    std::vector<TemplateControl> controls;
};

// Empty for anything but a whole extended dialog template.
std::optional<DialogTemplate> readDialogTemplate(const void* data, size_t size);

}  // namespace shuttle
