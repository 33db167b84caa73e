#pragma once
// Keeps every caption of a dialog whole at any scaling and with whatever font the system gives:
// the dialog is laid out anew from its template at its DPI, each caption measured in the
// dialog's font, and controls, frames and the dialog widened where a caption needs it (the
// geometry is ui/dialog_fit.h). The dialog's parent is told its new size. The layout is made
// again when a drop-down list's entries change; a text static over a frame (the status) is as
// wide as its text, each time its text changes, so that the frame shows beside its word.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/dialog_fit.h"
#include "ui/win_ui_handles.h"

namespace shuttle {

// To the dialog's parent, sent when the dialog has been laid out; lParam is the dialog.
constexpr UINT kDialogLaidOutMessage = WM_APP + 101;

// The texts a control shows at other times, for which it keeps room too.
struct LaterTexts {
    int id;
    std::vector<std::u16string> texts;
};

// The drop-down list width that shows `text` whole in this combo box: the text in the box's
// font, and the list's edges and scroll bar at the box's DPI.
int listWidthFor(HWND combo, const std::wstring& text);

class DialogFit {
public:
    // Reads the layout of the dialog's template `templateId`; made on WM_INITDIALOG. `wordId`
    // is the text static whose width follows its text.
    DialogFit(HWND dialog, int templateId, std::vector<LaterTexts> laterTexts, int wordId);
    ~DialogFit();
    DialogFit(const DialogFit&) = delete;
    DialogFit& operator=(const DialogFit&) = delete;

    // Lays the dialog out at its current DPI (a DPI change included).
    void apply();
    // Gives the word static the width of its text.
    void fitWord();

private:
    struct Font {
        HFONT handle;
        SIZE baseUnits;  // of the dialog units: 4 horizontal, 8 vertical make these pixels
    };

    Font fontForDpi(UINT dpi);
    std::vector<HWND> controlsInTemplateOrder() const;
    int needOf(HWND control, HDC dc, UINT dpi) const;
    // Moves the controls to their boxes; true when one moved.
    bool place(const std::vector<HWND>& controls, const std::vector<FitBox>& boxes) const;

    HWND dialog_;
    std::optional<DialogTemplate> template_;
    std::vector<LaterTexts> laterTexts_;
    int wordId_;
    ScopedFont ownFont_;  // made when the dialog's own font is not the one for its DPI
    std::vector<HWND> subclassed_;
};

}  // namespace shuttle
