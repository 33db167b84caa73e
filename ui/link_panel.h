#pragma once
// The part of the main dialog the link supervisor writes: the link selector, the link button,
// the status text, the size selector and the option frames that switch with the mode. The
// Win32 dialog implements it (ui/link_panel_win.*); tests use a fake.
// The supervisor calls it from its own thread.

#include <array>
#include <string>

namespace shuttle {

// Status texts and link button captions (the leading space and double spaces are shown). The
// dialog keeps room for the widest of each.
namespace link_text {
inline const std::u16string kReady = u" Ready";
inline const std::u16string kReadyToCopy = u" Ready to copy";
inline const std::u16string kReadyToPaste = u" Ready to paste";
inline const std::u16string kNotReady = u" Not ready";
inline const std::u16string kNotConnected = u" Not connected";  // USB mode: the selected drive is absent
inline const std::u16string kFailed = u" FAILED !";
inline const std::u16string kSelectCom = u" Select  COM";
inline const std::u16string kSelectUsb = u" Select  USB";
// The search's status, one per step, cycling.
inline const std::array<std::u16string, 3> kProbing{{u" Probing  > > >", u" Probing  ", u" Probing  > "}};
inline const std::u16string kAuto = u"Auto";
inline const std::u16string kStop = u"Stop";
inline const std::u16string kDisconnect = u"Disconnect";
inline const std::u16string kRefresh = u"Refresh";
}  // namespace link_text

// Controls shown or hidden by mode.
enum class ModeControl {
    SizeSelector,    // USB layout
    SizeFrame,       // the "File size limit" frame, USB layout
    ComOptions,      // the " Options" frame, COM layout
    UsbOptions,      // the narrower " Options" frame, USB layout
};

class LinkPanel {
public:
    virtual ~LinkPanel() = default;

    // Link selector: a drop-down list that keeps its entries sorted alphabetically itself.
    virtual void resetLinks() = 0;
    // Adds an entry at its sorted place; gives its index, or -1 when it could not be added.
    virtual int addLink(const std::u16string& text) = 0;
    virtual int linkCount() = 0;
    virtual bool selectLink(int index) = 0;
    // Selects the entry that is `name` as a whole, letter case ignored ("COM1" never selects
    // "COM10"); false (and the selection unchanged) when there is none.
    virtual bool selectLinkByName(const std::u16string& name) = 0;
    // Index of the selected entry, -1 when none.
    virtual int currentLink() = 0;
    // Text of an entry; empty for an index out of range.
    virtual std::u16string linkText(int index) = 0;
    // Width in pixels a list entry with this text needs.
    virtual int measureLinkText(const std::u16string& text) = 0;
    virtual void setLinkDroppedWidth(int pixels) = 0;
    virtual void enableLinks(bool enabled) = 0;

    // Link button and status line.
    virtual std::u16string linkButtonCaption() = 0;  // at most 31 characters
    virtual void setLinkButtonCaption(const std::u16string& caption) = 0;
    virtual void setStatusText(const std::u16string& text) = 0;

    // Size selector: entries in the order added.
    virtual void addSize(const std::u16string& label) = 0;
    // Selects the entry whose text equals `label`; false when there is none.
    virtual bool selectSize(const std::u16string& label) = 0;
    virtual int currentSize() = 0;  // -1 when none

    virtual void showControl(ModeControl control, bool visible) = 0;
};

}  // namespace shuttle
