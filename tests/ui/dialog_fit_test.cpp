// The dialog's geometry: widening for captions, and the template it starts from.
#include <gtest/gtest.h>

#include <vector>

#include "ui/dialog_fit.h"

namespace shuttle {
namespace {

TEST(DialogFit, ACaptionTakesTheFreeRoomThenAColumnThatKeepsFramesAligned) {
    const std::vector<FitItem> items{
        {{16, 20, 80, 30}, 100, false},  // a check box 36 short: 16 free before its neighbour
        {{100, 20, 190, 30}, 0, false},  // its neighbour in the row
        {{10, 10, 200, 40}, 0, true},    // their frame
        {{10, 50, 200, 90}, 250, true},  // the frame below: its caption is 40 short once widened
        {{16, 60, 60, 70}, 0, false},    // inside it, left of every column
        {{220, 10, 290, 90}, 0, false},  // the column beside both frames
        {{0, 0, 300, 100}, 0, true},     // the dialog
    };
    const std::vector<FitBox> boxes = fitItems(items, FitSpacing{4, 6});
    const std::vector<FitBox> expected{{16, 20, 116, 30}, {120, 20, 210, 30}, {10, 10, 260, 40}, {10, 50, 260, 90},
                                       {16, 60, 60, 70},  {280, 10, 350, 90}, {0, 0, 360, 100}};
    EXPECT_EQ(boxes, expected);
}

// A little-endian extended dialog template, written field by field.
struct TemplateBytes {
    std::vector<uint8_t> bytes;
    TemplateBytes& word(uint16_t value) {
        bytes.push_back(static_cast<uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<uint8_t>(value >> 8));
        return *this;
    }
    TemplateBytes& dword(uint32_t value) { return word(value & 0xFFFF).word(static_cast<uint16_t>(value >> 16)); }
    TemplateBytes& text(const std::u16string& value) {
        for (char16_t c : value) word(c);
        return word(0);
    }
    TemplateBytes& box(uint16_t x, uint16_t y, uint16_t width, uint16_t height) {
        return word(x).word(y).word(width).word(height);
    }
    TemplateBytes& control() {
        while (bytes.size() % 4 != 0) bytes.push_back(0);
        return dword(0).dword(0).dword(0);  // help id, extended style, style
    }
};

TEST(DialogFit, ReadsTheTemplatesControlsAndFontAndNothingFromATruncatedOne) {
    TemplateBytes dialog;
    dialog.word(1).word(0xFFFF).dword(0).dword(0).dword(0x40).word(2).box(0, 0, 293, 185);
    dialog.word(0).word(0).text(u"").word(10).word(400).word(0).text(u"Microsoft Sans Serif");
    dialog.control().box(23, 67, 43, 23).dword(1010).word(0xFFFF).word(0x85).text(u"").word(0);
    dialog.control().box(7, 7, 279, 154).dword(0xFFFFFFFF).text(u"Button").text(u" Mode").word(2).word(0);

    const auto read = readDialogTemplate(dialog.bytes.data(), dialog.bytes.size());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->box, (FitBox{0, 0, 293, 185}));
    EXPECT_EQ(read->pointSize, 10);
    EXPECT_EQ(read->face, u"Microsoft Sans Serif");
    ASSERT_EQ(read->controls.size(), 2u);
    EXPECT_EQ(read->controls[0].box, (FitBox{23, 67, 66, 90}));
    EXPECT_EQ(read->controls[0].id, 1010u);
    EXPECT_EQ(read->controls[1].box, (FitBox{7, 7, 286, 161}));
    EXPECT_EQ(read->controls[1].id, 0xFFFFFFFFu);
    for (size_t size = 0; size < dialog.bytes.size(); ++size)
        EXPECT_FALSE(readDialogTemplate(dialog.bytes.data(), size).has_value()) << size << " bytes";
}

}  // namespace
}  // namespace shuttle
