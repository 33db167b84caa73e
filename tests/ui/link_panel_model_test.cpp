// The dialog model the supervisor writes from its thread and the dialog draws.
#include <gtest/gtest.h>

#include "ui/link_panel_model.h"

namespace shuttle {
namespace {

TEST(LinkPanelModel, KeepsTheListSortedAndTellsTheDialogOncePerTake) {
    int told = 0;
    LinkPanelModel panel([&] { ++told; }, 7);
    panel.addLink(u"/tmp/comB");
    EXPECT_EQ(panel.addLink(u"/dev/serial/by-id/usb-FTDI"), 0);
    panel.selectLink(1);
    EXPECT_EQ(panel.addLink(u"/DEV/ttyACM0"), 1);  // letter case ignored, as Windows sorts
    EXPECT_EQ(panel.linkText(panel.currentLink()), u"/tmp/comB");  // the selection kept its entry
    EXPECT_TRUE(panel.selectLinkByName(u"/dev/TTYacm0"));
    EXPECT_EQ(panel.currentLink(), 1);
    panel.addLink(u"/dev/ttyacm0");
    EXPECT_TRUE(panel.selectLinkByName(u"/dev/ttyacm0"));  // the entry that is the name itself first
    EXPECT_EQ(panel.currentLink(), 2);
    EXPECT_FALSE(panel.selectLinkByName(u"/dev/tty"));  // a whole name, never a prefix
    EXPECT_FALSE(panel.selectLink(7));
    EXPECT_EQ(told, 1);
    LinkPanelView view = panel.take();
    EXPECT_EQ(view.links.size(), 4u);
    panel.setStatusText(u" Ready");
    panel.setStatusText(u" Ready");
    panel.setLinkButtonCaption(std::u16string(40, u'x'));
    EXPECT_EQ(told, 2);
    view = panel.take();
    EXPECT_EQ(view.status, u" Ready");
    EXPECT_EQ(view.buttonCaption.size(), 31u);
    panel.setStatusText(u" Ready");  // no change: nothing to draw
    EXPECT_EQ(told, 2);
}

TEST(LinkPanelModel, TakesTheUsersChoicesAndTheModeLayout) {
    LinkPanelModel panel(nullptr, 7);
    for (const char16_t* size : {u"10MB", u"25MB"}) panel.addSize(size);
    EXPECT_TRUE(panel.selectSize(u"25MB"));
    EXPECT_FALSE(panel.selectSize(u"1GB"));
    panel.chooseSize(0);
    panel.chooseSize(5);
    EXPECT_EQ(panel.currentSize(), 0);
    panel.addLink(u"E:");
    panel.chooseLink(0);
    EXPECT_EQ(panel.currentLink(), 0);
    panel.resetLinks();
    EXPECT_EQ(panel.currentLink(), -1);
    panel.showControl(ModeControl::SizeFrame, true);
    panel.showControl(ModeControl::ComOptions, false);
    EXPECT_TRUE(panel.take().sizeShown && panel.take().usbLayout);
    EXPECT_EQ(panel.measureLinkText(u"abc"), 7 * 6);
}

}  // namespace
}  // namespace shuttle
