#pragma once
// The setup dialog without a window: controls with their visibility, ticks and edit text as the
// dialog template starts them, data exchange with SetupMembers, scripted message boxes, and one
// ordered record of every view operation (and, through `progress`, of every progress step).
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "catalogue/ReleaseTable.h"
#include "doubles/ProgressDouble.h"
#include "setup/SetupControls.h"
#include "setup/SetupView.h"

class ViewDouble : public SetupView {
public:
    // The progress control: kept as ProgressDouble keeps it, and recorded in the view's order.
    class Progress : public ProgressDouble {
    public:
        explicit Progress(std::vector<std::string>& log) : log_(log) {}
        void SetRange(int minimum, int maximum) override {
            ProgressDouble::SetRange(minimum, maximum);
            Record();
        }
        void SetStep(int step) override {
            ProgressDouble::SetStep(step);
            Record();
        }
        void SetPos(int position) override {
            ProgressDouble::SetPos(position);
            Record();
        }
        void StepIt() override {
            ProgressDouble::StepIt();
            Record();
        }

        std::vector<int> positions;  // the position after every operation

    private:
        void Record() {
            log_.push_back(calls.back());
            positions.push_back(position);
        }
        std::vector<std::string>& log_;
    };

    struct Message {
        std::string text;
        std::string caption;
        unsigned type;
    };

    explicit ViewDouble(SetupMembers& members) : members(members), progress(calls) {
        for (const ReleaseRow& row : ReleaseTable) visible[row.controlId] = true;
        for (int id : {kControlCancel, kControlFolderEdit, kControlBrowse,
                       kControlComponentsPrompt, kControlFolderPrompt, kControlInstall, 1013, 1021})
            visible[id] = true;
        for (int id : {kControlOk, kControlProgress, kControlFinishedText, kControlMenusPicture})
            visible[id] = false;
        ticks = members.releaseFlags;
        editText = members.folderText;
        // 9-point SimSun: 1.5 pixels per dialog unit each way; the template's OK and Cancel.
        controlRects[kControlOk] = {165, 321, 260, 342};
        controlRects[kControlCancel] = {260, 393, 335, 414};
    }

    // --- SetupView ---
    int Show(const std::string& text, const std::string& caption, unsigned type) override {
        calls.push_back("Message(" + text + ")");
        messages.push_back({text, caption, type});
        int answer = kIdOk;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        if (onMessage) onMessage(messages.back());
        // A box that could not be shown answers 0 (MessageBox's failure), whatever was queued.
        if (failMessageAt != 0 && static_cast<int>(messages.size()) == failMessageAt) return 0;
        return answer;
    }
    void ShowControl(int controlId, bool show) override {
        calls.push_back((show ? "Show(" : "Hide(") + std::to_string(controlId) + ")");
        visible[controlId] = show;
    }
    void PullMembers() override {
        calls.push_back("Pull");
        members.releaseFlags = ticks;
        members.folderText = editText;
    }
    void PushMembers() override {
        calls.push_back("Push");
        ticks = members.releaseFlags;
        editText = members.folderText;
    }
    void CloseCancelled() override {
        calls.push_back("CloseCancelled");
        closedCancelled = true;
    }
    ViewRect WindowRect() override {
        calls.push_back("WindowRect");
        return window;
    }
    ViewRect ControlRect(int controlId) override {
        calls.push_back("ControlRect(" + std::to_string(controlId) + ")");
        return controlRects[controlId];
    }
    void MoveTo(const ViewRect& rect) override {
        calls.push_back("MoveTo(" + std::to_string(rect.left) + "," + std::to_string(rect.top) +
                        "," + std::to_string(rect.right) + "," + std::to_string(rect.bottom) + ")");
        window = rect;
    }

    // The controls' IDs that are visible, in ascending order.
    std::vector<int> VisibleControls() const {
        std::vector<int> ids;
        for (const auto& entry : visible)
            if (entry.second) ids.push_back(entry.first);
        return ids;
    }

    SetupMembers& members;
    // What the controls hold; the user changes these, data exchange copies them.
    ReleaseFlags ticks{};
    std::string editText;
    std::map<int, bool> visible;
    ViewRect window{300, 200, 731, 651};
    std::map<int, ViewRect> controlRects;

    std::vector<std::string> calls;  // every view and progress operation, in order
    Progress progress;
    std::vector<Message> messages;
    std::deque<int> answers;                       // message-box answers; OK when empty
    std::function<void(const Message&)> onMessage;  // runs while a message is up
    bool closedCancelled = false;
    int failMessageAt = 0;  // the n-th message box (1 = the first) fails to show; 0 = none
};
