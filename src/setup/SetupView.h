#pragma once
// What the install run needs of the setup dialog: its members and a handful of window
// operations. The dialog implements it over its window; tests implement it over a record.
#include <string>

#include "catalogue/ReleaseTable.h"
#include "platform/Prompt.h"

// The install folder when the command line names none.
inline constexpr char kDefaultFolder[] = "C:\\Korvel";

// The dialog's members that the install run reads and writes.
struct SetupMembers {
    ReleaseFlags releaseFlags = AllTicked();  // by release index; nonzero = ticked
    std::string folderText = kDefaultFolder;  // bound to the folder edit

    static ReleaseFlags AllTicked() {
        ReleaseFlags flags{};
        flags.fill(1);
        return flags;
    }
};

struct ViewRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

inline bool operator==(const ViewRect& a, const ViewRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Prompt::Show is the message box owned by the dialog (MessageBoxA with the dialog as owner).
class SetupView : public Prompt {
public:
    // ShowWindow of a child control: SW_SHOWNORMAL or SW_HIDE.
    virtual void ShowControl(int controlId, bool visible) = 0;
    // Dialog data exchange: controls into SetupMembers (ticks and folder text), and back.
    virtual void PullMembers() = 0;
    virtual void PushMembers() = 0;
    // The Cancel button's behaviour: the modal loop ends with IDCANCEL.
    virtual void CloseCancelled() = 0;
    // The dialog's window rectangle, in screen coordinates.
    virtual ViewRect WindowRect() = 0;
    // A control's window rectangle, in the dialog's client coordinates.
    virtual ViewRect ControlRect(int controlId) = 0;
    // MoveWindow(left, top, width, height) with repainting.
    virtual void MoveTo(const ViewRect& rect) = 0;
};
