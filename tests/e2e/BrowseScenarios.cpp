// End-to-end scenarios of the folder browser behind the setup dialog's Browse button: the shell's
// browse dialog with our edit box, OK only through the folder checks, and what the setup dialog's
// folder text becomes.
#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>

#include "driver/Environment.h"
#include "driver/Scenario.h"

namespace {
const wchar_t kBrowseCaption[] = L"请选择安装目录：";
const wchar_t kFolderMessageCaption[] = L"SetUp";  // the module's name
constexpr DWORD kTimeout = 20000;

constexpr int kOk = 1, kCancel = 2, kFolderEdit = 1000, kBrowse = 1015;
constexpr int kTree = 14145, kTitle = 14146, kStatus = 14147, kPathEdit = 14148;

// A running SetUp.exe, its dialog and, while open, the folder browser.
struct Session {
    Process process;
    HWND setup = nullptr;
    HWND browser = nullptr;
};

bool Start(Context& c, Session& s) {
    const std::wstring& program = c.setupBuilt;
    const std::wstring folder = program.substr(0, program.rfind(L'\\'));
    if (!c.Check(s.process.Start(program, L"", folder), "SetUp.exe starts")) return false;
    s.setup = WaitForWindow(s.process.id(), kDialogCaption, 30000);
    return c.Check(s.setup != nullptr, "the setup dialog appears");
}

void Finish(Context& c, Session& s) {
    if (s.browser != nullptr && ::IsWindow(s.browser)) Click(s.browser, kCancel);
    if (s.setup != nullptr && ::IsWindow(s.setup)) Click(s.setup, kCancel);
    c.Check(s.process.Wait(kTimeout) != -1, "SetUp.exe ends");
    s.process.Terminate();
}

bool OpenBrowser(Context& c, Session& s, const std::wstring& folderText) {
    SetControlText(s.setup, kFolderEdit, folderText);
    Click(s.setup, kBrowse);
    s.browser = WaitForWindow(s.process.id(), kBrowseCaption, kTimeout);
    return c.Check(s.browser != nullptr, "Browse opens the folder browser with its caption",
                   folderText);
}

bool BrowserOpen(const Session& s) { return ::IsWindow(s.browser) && IsVisible(s.browser); }

bool WaitClosed(HWND window) {
    for (DWORD waited = 0; waited < Scaled(kTimeout); waited += 50) {
        if (!::IsWindow(window) || !IsVisible(window)) return true;
        ::Sleep(50);
    }
    return false;
}

// The edit box's text once it has become expected, or what it holds after the time.
std::wstring WaitForEditText(HWND browser, const std::wstring& expected) {
    std::wstring text;
    for (DWORD waited = 0; waited < Scaled(kTimeout); waited += 50) {
        text = ReadControl(browser, kPathEdit).text;
        if (text == expected) break;
        ::Sleep(50);
    }
    return text;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

std::wstring Question(const std::wstring& path) {
    return L"The folder:\n\n" + path + L"\n\ndoes not exist. Do you want the folder to be created?";
}
std::wstring Invalid(const std::wstring& path) {
    return L"The folder:\n\n" + path + L"\n\nis invalid. Please reenter.";
}

// Types a folder and presses OK (or Enter in the edit box); the message the browser shows in
// answer, if any.
bool PressOkWith(Context& c, Session& s, const std::wstring& typed, MessageBoxInfo& box, bool byEnter = false) {
    SetControlText(s.browser, kPathEdit, typed);
    c.Check(ReadControl(s.browser, kOk).enabled, "OK is enabled with a typed folder", typed);
    if (byEnter)
        PressKey(s.browser, kPathEdit, VK_RETURN);
    else
        Click(s.browser, kOk);
    return WaitForMessageBox(s.browser, kTimeout, box);
}

// Opens on an existing folder: it is selected and shown in the edit box, which lies just above the
// tree across its width; the status line is hidden. Cancel leaves the folder text as it was.
void BrowseOpen(Context& c) {
    const std::wstring folder = L"C:\\KorvelBrowse\\已有 目录";
    c.Check(MakeFolders(folder), "initial folder made", folder);
    Session s;
    if (!Start(c, s)) return;
    if (OpenBrowser(c, s, folder)) {
        c.Check(::GetWindow(s.browser, GW_OWNER) == s.setup, "the browser is owned by the setup dialog");
        c.CheckText(ReadControl(s.browser, kTitle).text, kBrowseCaption, "instruction text");
        c.Check(!ReadControl(s.browser, kStatus).visible, "the status line is hidden");

        const ControlState edit = ReadControl(s.browser, kPathEdit);
        c.Check(edit.exists && edit.visible, "the browser has a visible control 14148");
        c.CheckText(ClassName(::GetDlgItem(s.browser, kPathEdit)), L"Edit", "control 14148's class");
        c.CheckText(WaitForEditText(s.browser, folder), folder, "the edit box shows the initial folder");
        c.Check(ReadControl(s.browser, kOk).enabled, "OK is enabled");

        const RECT box = ClientRectOf(s.browser, kPathEdit);
        const RECT tree = ClientRectOf(s.browser, kTree);
        c.Check(box.left == tree.left && box.right == tree.right, "the edit box spans the tree's width");
        c.Check(box.bottom <= tree.top && tree.top - box.bottom <= 8 && box.top >= 0,
                "the edit box lies just above the tree");
        c.Check(box.bottom - box.top >= 20, "the edit box is one line high",
                std::to_wstring(box.bottom - box.top));
        c.Screenshot(s.browser, L"browse-open");

        // Resized (where the shell lays its controls out again), the box stays above the tree.
        const RECT frame = WindowRect(s.browser);
        ::SetWindowPos(s.browser, nullptr, 0, 0, frame.right - frame.left + 120, frame.bottom - frame.top + 60,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        Settle(s.browser);
        const RECT wideBox = ClientRectOf(s.browser, kPathEdit);
        const RECT wideTree = ClientRectOf(s.browser, kTree);
        c.Check(wideBox.left == wideTree.left && wideBox.right == wideTree.right &&
                    wideBox.bottom <= wideTree.top && wideTree.top - wideBox.bottom <= 8,
                "after a resize the edit box still lies just above the tree, across its width",
                std::to_wstring(wideTree.right - wideTree.left) + L" wide tree");

        SetControlText(s.browser, kPathEdit, L"C:\\KorvelBrowse\\Other");
        Click(s.browser, kCancel);
        c.Check(WaitClosed(s.browser), "Cancel closes the browser");
        c.CheckText(ReadControl(s.setup, kFolderEdit).text, folder, "Cancel leaves the folder text");
        c.Check(!IsFolder(L"C:\\KorvelBrowse\\Other"), "Cancel creates nothing");
    }
    Finish(c, s);
}

// A typed folder that does not exist: the question (Chinese text round trip included); No keeps the
// browser open with the focus in the edit box; Yes creates every level and the setup dialog takes
// the text exactly as typed.
void BrowseCreate(Context& c) {
    c.Check(MakeFolders(L"C:\\KorvelBrowse"), "initial folder made");
    const std::wstring declined = L"C:\\KorvelBrowse\\不要 这个";
    const std::wstring typed = L"c:\\KorvelBrowse\\新建 Sub\\深层";
    Session s;
    if (!Start(c, s)) return;
    if (OpenBrowser(c, s, L"C:\\KorvelBrowse")) {
        WaitForEditText(s.browser, L"C:\\KorvelBrowse");
        MessageBoxInfo box;
        if (c.Check(PressOkWith(c, s, declined, box), "OK asks about the missing folder")) {
            c.CheckText(box.caption, kFolderMessageCaption, "question caption");
            c.CheckText(box.text, Question(declined), "question");
            c.Screenshot(box.box, L"browse-question");
            AnswerMessageBox(box, IDNO);
        }
        c.Check(BrowserOpen(s), "No keeps the browser open");
        c.Check(FocusOf(s.browser) == ::GetDlgItem(s.browser, kPathEdit), "No puts the focus in the edit box");
        c.CheckText(ReadControl(s.browser, kPathEdit).text, declined, "the typed text stays");
        c.Check(!IsFolder(declined), "No creates nothing");

        if (c.Check(PressOkWith(c, s, typed, box), "OK asks about another missing folder")) {
            c.CheckText(box.text, Question(typed), "question");
            AnswerMessageBox(box, IDYES);
        }
        c.Check(WaitClosed(s.browser), "Yes closes the browser");
        c.Check(IsFolder(L"C:\\KorvelBrowse\\新建 Sub") && IsFolder(typed), "Yes creates every level on disk", typed);
        c.CheckText(ReadControl(s.setup, kFolderEdit).text, typed, "the setup dialog's folder text");
        c.Screenshot(s.setup, L"browse-created");
    }
    Finish(c, s);
}

// Invalid folders show "is invalid" and keep the browser open: a trailing backslash, a name with
// "?", and a text too long for the path buffer (never accepted as some shorter folder).
void BrowseInvalid(Context& c) {
    c.Check(MakeFolders(L"C:\\KorvelBrowse"), "initial folder made");
    const std::wstring longText = L"C:\\KorvelBrowse\\" + std::wstring(300, L'k');
    Session s;
    if (!Start(c, s)) return;
    if (OpenBrowser(c, s, L"C:\\KorvelBrowse")) {
        WaitForEditText(s.browser, L"C:\\KorvelBrowse");
        bool first = true;
        for (const std::wstring& typed : {std::wstring(L"C:\\Korvel\\"), std::wstring(L"C:\\KorvelBrowse\\a?b"), longText}) {
            MessageBoxInfo box;
            // Enter in the edit box is OK too, and goes through the same check.
            const bool byEnter = typed == L"C:\\KorvelBrowse\\a?b";
            if (c.Check(PressOkWith(c, s, typed, box, byEnter), "OK refuses an invalid folder", typed)) {
                c.CheckText(box.caption, kFolderMessageCaption, "message caption");
                c.CheckText(box.text, Invalid(typed), "the invalid message");
                if (first) c.Screenshot(box.box, L"browse-invalid");
                first = false;
                AnswerMessageBox(box, IDOK);
            }
            c.Check(BrowserOpen(s), "the browser stays open");
        }
        c.Check(!IsFolder(L"C:\\Korvel"), "nothing was created for C:\\Korvel\\");
        c.Check(!IsFolder(L"C:\\KorvelBrowse\\" + std::wstring(259 - 16, L'k')), "no cut folder was created");
        Click(s.browser, kCancel);
        c.Check(WaitClosed(s.browser), "Cancel closes the browser");
        c.CheckText(ReadControl(s.setup, kFolderEdit).text, L"C:\\KorvelBrowse", "the folder text is kept");
    }
    Finish(c, s);
}

// OK follows the edit box: an initial folder the tree cannot show leaves it empty and OK disabled;
// typing enables OK, emptying disables it; tree selections without a drive-letter path empty the
// box and disable OK.
void BrowseOkState(Context& c) {
    const std::wstring missing = L"C:\\KorvelBrowse\\Missing";
    Session s;
    if (!Start(c, s)) return;
    if (OpenBrowser(c, s, missing)) {
        ::Sleep(1000);  // give the shell time to select anything it would
        c.CheckText(ReadControl(s.browser, kPathEdit).text, L"", "a missing initial folder is not shown");
        c.Check(!ReadControl(s.browser, kOk).enabled, "OK is disabled with an empty box");
        c.Check(!IsFolder(missing), "the missing initial folder is not created");

        SetControlText(s.browser, kPathEdit, L"x");
        c.Check(ReadControl(s.browser, kOk).enabled, "typing enables OK");
        SetControlText(s.browser, kPathEdit, L"");
        c.Check(!ReadControl(s.browser, kOk).enabled, "emptying the box disables OK");
        c.Screenshot(s.browser, L"browse-empty");
        SetControlText(s.browser, kPathEdit, L"D:\\");
        c.Check(ReadControl(s.browser, kOk).enabled, "typing enables OK again");

        // The top-level items of the shell's tree: drive-letter paths fill the box, the rest
        // (virtual folders) empty it.
        HWND tree = ::GetDlgItem(s.browser, kTree);
        const LRESULT root = ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
        int items = 0, virtualItems = 0;
        for (LRESULT item = ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, root); item != 0;
             item = ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, item)) {
            ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, item);
            Settle(s.browser);
            const std::wstring text = ReadControl(s.browser, kPathEdit).text;
            const bool drivePath = text.size() >= 3 && text[1] == L':' && text[2] == L'\\';
            const bool enabled = ReadControl(s.browser, kOk).enabled;
            c.Check(drivePath ? enabled : (text.empty() && !enabled),
                    "a tree selection fills the box with a drive-letter path or empties it and disables OK",
                    text);
            if (drivePath)
                c.Check(text.size() == 3 || text.back() != L'\\',
                        "a selected folder other than a drive root has no trailing backslash", text);
            ++items;
            if (text.empty()) ++virtualItems;
        }
        c.Check(items > 0 && virtualItems > 0, "the tree offers virtual folders",
                std::to_wstring(virtualItems) + L" of " + std::to_wstring(items));
        SetControlText(s.browser, kPathEdit, L"C:\\");
        c.Check(ReadControl(s.browser, kOk).enabled, "typing after a virtual folder enables OK");
        Click(s.browser, kOk);
        c.Check(WaitClosed(s.browser), "an existing drive root is accepted without a question");
        c.CheckText(ReadControl(s.setup, kFolderEdit).text, L"C:\\", "a drive root keeps its backslash");
    }
    Finish(c, s);
}
}  // namespace

ScenarioFn FindBrowseScenario(const std::wstring& name) {
    static const std::map<std::wstring, ScenarioFn> scenarios = {
        {L"browse-open", &BrowseOpen},
        {L"browse-create", &BrowseCreate},
        {L"browse-invalid", &BrowseInvalid},
        {L"browse-ok-state", &BrowseOkState},
    };
    auto found = scenarios.find(name);
    return found == scenarios.end() ? nullptr : found->second;
}
