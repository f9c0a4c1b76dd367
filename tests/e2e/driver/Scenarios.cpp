// The end-to-end scenarios: each lays out its world in the prefix, starts SetUp.exe, drives its
// dialog as a user would, and checks the dialog, the registry, the disk and the exit code.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <initializer_list>
#include <map>
#include <vector>

#include "Environment.h"
#include "Scenario.h"
#include "text/Sha256.h"

const wchar_t kDialogCaption[] = L"Korvel-Tarnwick安装";
const wchar_t kSetupMessageCaption[] = L"Korvel-软件安装";

namespace {
constexpr DWORD kStartTimeout = 30000;
constexpr DWORD kBoxTimeout = 20000;

// The controls, by ID, as the dialog's template lays them out.
constexpr int kOk = 1, kCancel = 2, kFolderEdit = 1000, kTitle = 1013, kProgress = 1014, kBrowse = 1015,
              kComponentsPrompt = 1016, kFolderPrompt = 1017, kEdition = 1021, kInstall = 1022,
              kFinishedText = 1023, kMenusPicture = 1024;

struct Release {
    int year;
    int id;
    int arxYear;
    int dllYear;
};
// Check boxes in template order (2010 is 1027 and 2011 is 1026).
const Release kReleases[] = {
    {2007, 1018, 2008, 2007}, {2008, 1019, 2008, 2007}, {2009, 1020, 2009, 2009}, {2010, 1027, 2010, 2010},
    {2011, 1026, 2010, 2010}, {2012, 1028, 2010, 2010}, {2013, 1029, 2013, 2013}, {2014, 1030, 2013, 2013},
    {2015, 1031, 2015, 2013}, {2016, 1032, 2015, 2013}, {2017, 1033, 2017, 2013}, {2018, 1034, 2018, 2013},
    {2019, 1035, 2019, 2013}, {2020, 1036, 2019, 2013}, {2021, 1037, 2021, 2013}, {2022, 1038, 2021, 2013},
    {2023, 1039, 2021, 2013}, {2024, 1040, 2021, 2013}, {2025, 1041, 2025, 2013},
};

// The products of fixtures/several.reg.
struct Product {
    int year;
    const wchar_t* key;     // under HKEY_LOCAL_MACHINE
    const wchar_t* folder;  // AcadLocation
};
const Product kProducts[] = {
    {2008, L"SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804", L"C:\\Program Files (x86)\\AutoCAD 2008"},
    {2010, L"SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804", L"C:\\Program Files\\Autodesk\\AutoCAD 2010"},
    {2019, L"SOFTWARE\\Autodesk\\AutoCAD\\R23.0\\ACAD-2001:804", L"C:\\Program Files\\Autodesk\\AutoCAD 2019"},
    {2022, L"SOFTWARE\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409", L"C:\\Program Files\\Autodesk\\AutoCAD 2022"},
};
const wchar_t kProfile2022[] =
    L"Software\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Profiles\\<<Unnamed Profile>>\\Variables";
// The Active Setup component, in the view of the edition under test.
const wchar_t kActiveSetup[] = L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\Korvel-Tarnwick";
const wchar_t kProfile2010[] = L"Software\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles\\我的配置\\Variables";

// A string of the exe's version resource ("ProductVersion"), empty when it has none. The dialog's
// title and the entry in the list of programs must show the version the resource declares.
std::wstring VersionResourceText(const std::wstring& exe, const wchar_t* name) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    if (size == 0) return std::wstring();
    std::vector<BYTE> data(size);
    if (!::GetFileVersionInfoW(exe.c_str(), 0, size, data.data())) return std::wstring();
    const std::wstring path = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    wchar_t* text = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) || !text) return std::wstring();
    return std::wstring(text, length > 0 && text[length - 1] == L'\0' ? length - 1 : length);
}

// Trusted paths are rewritten with ASCII letters upper-cased.
std::wstring UpperAscii(std::wstring text) {
    for (wchar_t& ch : text)
        if (ch >= L'a' && ch <= L'z') ch = static_cast<wchar_t>(ch - L'a' + L'A');
    return text;
}
bool HoldsFolder(const std::wstring& value, const std::wstring& folder) {
    return UpperAscii(value).find(UpperAscii(folder)) != std::wstring::npos;
}

const Release& ReleaseOf(int year) { return kReleases[year - 2007]; }
bool Offered(const Context& c, int year) { return c.hostBitness != 32 || year <= 2016; }

// The newest product of fixtures/several.reg that the edition offers: what a scenario that
// follows one release's loader key watches, on either edition.
const Product& NewestOffered(const Context& c) {
    const Product* newest = &kProducts[0];
    for (const Product& p : kProducts)
        if (Offered(c, p.year) && p.year > newest->year) newest = &p;
    return *newest;
}

// The ARX loader key of product p. A scenario that reads the key of a release this edition does
// not offer would read a key no install of it can write: it fails here, saying so, rather than
// later with a misleading check.
std::wstring LoaderKey(Context& c, const Product& p) {
    c.Check(Offered(c, p.year), "the scenario watches AutoCAD " + std::to_string(p.year) + ", which this edition offers");
    return std::wstring(p.key) + L"\\Applications\\Korvel" + std::to_wstring(p.year);
}
bool Found(int year) {
    for (const Product& p : kProducts)
        if (p.year == year) return true;
    return false;
}

// The releases of fixtures/several.reg that the edition ticks at start: those it found and offers.
std::vector<int> DefaultTicks(const Context& c) {
    std::vector<int> years;
    for (const Product& p : kProducts)
        if (Offered(c, p.year)) years.push_back(p.year);
    return years;
}

// A running SetUp.exe and its dialog.
struct Setup {
    Process process;
    HWND dialog = nullptr;
};

bool Launch(Context& c, const std::wstring& program, Setup& setup) {
    const std::wstring folder = program.substr(0, program.rfind(L'\\'));
    if (!c.Check(setup.process.Start(program, L"", folder), "SetUp.exe starts")) return false;
    setup.dialog = WaitForWindow(setup.process.id(), kDialogCaption, kStartTimeout);
    return c.Check(setup.dialog != nullptr, "the setup dialog appears with its caption");
}

// view: 0 for the driver's own registry view, KEY_WOW64_64KEY for the 64-bit one.
bool SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value, REGSAM view = 0) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG set = ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    return set == ERROR_SUCCESS;
}

// The several-releases world: the products' registry keys and host folders, and the package.
std::wstring SeveralReleasesWorld(Context& c, bool withData = true) {
    c.Check(ImportRegFixture(c.fixtures + L"\\several.reg"), "fixture several.reg imported");
    for (const Product& p : kProducts) MakeHostFolder(p.folder);
    return MakePackage(c.setupBuilt, withData);
}

// Waits for the finished view. A message box met on the way is reported and answered, so that
// the scenario can go on to its end.
bool WaitForFinishedView(Context& c, HWND dialog, DWORD milliseconds) {
    for (DWORD waited = 0; waited < Scaled(milliseconds); waited += 100) {
        if (!::IsWindow(dialog)) return false;
        if (ReadControl(dialog, kOk).visible) return true;
        MessageBoxInfo box;
        if (WaitForMessageBox(dialog, 0, box)) {
            c.Check(false, "no message on the way to the finished view", box.text);
            AnswerMessageBox(box, ::GetDlgItem(box.box, IDIGNORE) ? IDIGNORE : IDOK);
        }
        ::Sleep(100);
    }
    return false;
}

// Waits while the dialog stays open; true when it is still open afterwards.
bool StaysOpen(Setup& setup, DWORD milliseconds) {
    ::Sleep(Scaled(milliseconds));
    Settle(setup.dialog);
    return ::IsWindow(setup.dialog) && setup.process.Running();
}

void CheckNothingRegistered(Context& c) {
    for (const Product& p : kProducts) {
        c.Check(!KeyExists(HKEY_LOCAL_MACHINE, std::wstring(p.key) + L"\\Applications"),
                "no loader keys for " + std::to_string(p.year));
    }
    std::wstring trusted;
    c.Check(ReadString(HKEY_CURRENT_USER, kProfile2022, L"TRUSTEDPATHS", trusted) && trusted == L"C:\\Existing",
            "trusted paths untouched", trusted);
    c.Check(!IsFile(L"C:\\Program Files\\Autodesk\\AutoCAD 2010\\Fonts\\Korvel_EN.shx"), "no support files placed");
}

void CheckInstalled(Context& c, const std::wstring& installFolder, const std::vector<int>& ticked) {
    for (const std::wstring& name : PayloadFiles()) {
        c.Check(IsFile(installFolder + L"\\" + name), "payload file installed", name);
    }
    c.Check(!IsFile(installFolder + L"\\SetUp.EXE"), "the program itself is not installed");
    c.Check(!IsFile(installFolder + L"\\Korvel_EN.shx"), "the fonts are not installed into the install folder");
    for (const Product& p : kProducts) {
        bool isTicked = false;
        for (int year : ticked) isTicked = isTicked || year == p.year;
        const Release& r = ReleaseOf(p.year);
        const std::wstring app = std::wstring(p.key) + L"\\Applications\\Korvel" + std::to_wstring(p.year);
        const std::string y = std::to_string(p.year);
        if (!isTicked) {
            c.Check(!KeyExists(HKEY_LOCAL_MACHINE, app), y + " not ticked: no loader key");
            c.Check(!IsFile(std::wstring(p.folder) + L"\\Fonts\\Korvel_EN.shx"), y + " not ticked: no fonts");
            continue;
        }
        DWORD value = 0;
        std::wstring text;
        c.Check(ReadDword(HKEY_LOCAL_MACHINE, app, L"LOADCTRLS", value) && value == 2, y + " LOADCTRLS = 2");
        c.Check(ReadString(HKEY_LOCAL_MACHINE, app, L"LOADER", text) &&
                    text == installFolder + L"\\Korvel" + std::to_wstring(r.arxYear) + L".ARX",
                y + " LOADER names the module in the install folder", text);
        c.Check(ReadDword(HKEY_LOCAL_MACHINE, app + L"DLL", L"LOADCTRLS", value) && value == 2, y + "DLL LOADCTRLS = 2");
        c.Check(ReadDword(HKEY_LOCAL_MACHINE, app + L"DLL", L"MANAGED", value) && value == 1, y + "DLL MANAGED = 1");
        const std::wstring dll = std::wstring(p.folder) + L"\\ACAD" + std::to_wstring(r.dllYear) + L".dll";
        c.Check(ReadString(HKEY_LOCAL_MACHINE, app + L"DLL", L"LOADER", text) && text == dll,
                y + "DLL LOADER names the host library in the host folder", text);
        c.Check(IsFile(dll), y + ": host library copied", dll);
        c.Check(IsFile(std::wstring(p.folder) + L"\\Fonts\\Korvel_EN.shx") &&
                    IsFile(std::wstring(p.folder) + L"\\Fonts\\Korvel_HZ.shx"),
                y + ": fonts copied");
        c.Check(IsFile(std::wstring(p.folder) + L"\\Drv\\pdfplot9.hdi") == (p.year == 2008),
                y + ": plot-driver file only for 2008");
    }
    std::wstring trusted;
    c.Check(ReadString(HKEY_CURRENT_USER, kProfile2022, L"TRUSTEDPATHS", trusted) &&
                HoldsFolder(trusted, L"C:\\Existing") && HoldsFolder(trusted, installFolder),
            "trusted paths keep the old entry and gain the install folder", trusted);
    c.Check(ReadString(HKEY_CURRENT_USER, kProfile2010, L"TRUSTEDPATHS", trusted) &&
                trusted == installFolder,
            "a profile without trusted paths gets the install folder alone, as written", trusted);
}

// What every fresh dialog shows, whatever was found.
void CheckStartView(Context& c, HWND dialog) {
    c.CheckText(WindowText(dialog), kDialogCaption, "caption");
    // (The window icons cannot be read from here: Wine answers WM_GETICON from another process
    // with 0. The framework's own test checks WM_SETICON in-process.)
    const std::wstring version = VersionResourceText(c.setupBuilt, L"ProductVersion");
    c.Check(!version.empty() && version == VersionResourceText(c.setupBuilt, L"FileVersion"),
            "the version resource names one version", version);
    c.CheckText(ReadControl(dialog, kTitle).text, L"Tarnwick软件 V" + version, "version title");
    c.CheckText(ReadControl(dialog, kEdition).text,
                c.hostBitness == 32 ? L"( 32位 AutoCAD版 )" : L"( 64位 AutoCAD版 )", "edition label");
    c.CheckText(ReadControl(dialog, kFolderEdit).text, L"C:\\Korvel", "default folder");
    c.CheckText(ReadControl(dialog, kComponentsPrompt).text, L"请选择安装组件：", "components prompt");
    c.CheckText(ReadControl(dialog, kFolderPrompt).text, L"请选择安装路径：", "folder prompt");
    c.CheckText(ReadControl(dialog, kInstall).text, L"安  装", "Install text");
    c.CheckText(ReadControl(dialog, kCancel).text, L"取  消", "Cancel text");
    c.CheckText(ReadControl(dialog, kBrowse).text, L"浏览...", "Browse text");
    c.CheckText(ReadControl(dialog, kOk).text, L"安装完成", "OK text");
    c.CheckText(ReadControl(dialog, kFinishedText).text, L"安装完成！重启CAD，CAD菜单尾会有以下子菜单：",
                "completion text");
    for (int id : {kOk, kProgress, kFinishedText, kMenusPicture}) {
        c.Check(!ReadControl(dialog, id).visible, "hidden at start: " + std::to_string(id));
    }
    for (int id : {kCancel, kTitle, kEdition, kFolderEdit, kBrowse, kComponentsPrompt, kFolderPrompt, kInstall}) {
        c.Check(ReadControl(dialog, id).visible, "visible at start: " + std::to_string(id));
    }
    for (const Release& r : kReleases) {
        const ControlState box = ReadControl(dialog, r.id);
        const std::string y = std::to_string(r.year);
        c.CheckText(box.text, L"For AutoCAD" + std::to_wstring(r.year), "box text " + y);
        c.Check(box.visible == Offered(c, r.year), "box " + y + (Offered(c, r.year) ? " shown" : " hidden"));
    }
    // The keyboard starts on the first control that takes it, once the shown dialog is active.
    const HWND first = ::GetNextDlgTabItem(dialog, nullptr, FALSE);
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    for (DWORD waited = 0; waited < Scaled(2000) && thread.hwndFocus != first; waited += 50) {
        if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &thread)) break;
        if (thread.hwndFocus != first) ::Sleep(50);
    }
    c.Check(first != nullptr && thread.hwndFocus == first, "the focus on the first control that takes it",
            std::to_wstring(first ? ::GetDlgCtrlID(first) : 0) + L" / " +
                std::to_wstring(thread.hwndFocus ? ::GetDlgCtrlID(thread.hwndFocus) : 0));
}

void CheckBoxes(Context& c, HWND dialog, bool expectFound) {
    bool anyTicked = false;
    for (const Release& r : kReleases) {
        const ControlState box = ReadControl(dialog, r.id);
        const bool found = expectFound && Found(r.year);
        const std::string y = std::to_string(r.year);
        c.Check(box.enabled == found, "box " + y + (found ? " enabled" : " disabled"));
        const bool ticked = found && Offered(c, r.year);
        c.Check((box.checked == BST_CHECKED) == ticked, "box " + y + (ticked ? " ticked" : " not ticked"));
        anyTicked = anyTicked || ticked;
    }
    c.Check(ReadControl(dialog, kInstall).enabled == anyTicked,
            anyTicked ? "Install enabled" : "Install disabled with nothing ticked");
}

// ------------------------------------------------------------------------------------------

void NoHostsInstalled(Context& c) {
    const std::wstring program = MakePackage(c.setupBuilt, true);
    Setup setup;
    if (!Launch(c, program, setup)) return;
    CheckStartView(c, setup.dialog);
    CheckBoxes(c, setup.dialog, false);
    c.Check(ReadControl(setup.dialog, kBrowse).enabled, "Browse stays usable");
    c.Screenshot(setup.dialog, L"no-hosts");
    CloseBox(setup.dialog);
    c.CheckExit(setup.process, 2, "close box before installing");
}

void SeveralReleases(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    Setup setup;
    if (!Launch(c, program, setup)) return;
    CheckStartView(c, setup.dialog);
    CheckBoxes(c, setup.dialog, true);

    // Template order is the tab order; no push button is the default one.
    std::vector<int> expected;
    for (const Release& r : kReleases) expected.push_back(r.id);
    for (int id : {kOk, kCancel, kFolderEdit, kBrowse, kInstall}) expected.push_back(id);
    std::vector<int> tabOrder;
    for (HWND child = ::GetWindow(setup.dialog, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
        if (style & WS_TABSTOP) tabOrder.push_back(::GetDlgCtrlID(child));
        if (ClassName(child) == L"Button" && (style & 0xF) == BS_DEFPUSHBUTTON) {
            c.Check(false, "no default push button", std::to_wstring(::GetDlgCtrlID(child)));
        }
    }
    c.Check(tabOrder == expected, "tab order follows the template");
    GUITHREADINFO thread{};
    thread.cbSize = sizeof(thread);
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(setup.dialog, nullptr), &thread);
    c.Check(thread.hwndFocus == ::GetDlgItem(setup.dialog, ReleaseOf(2008).id),
            "the focus starts on the first enabled box");
    c.Check((::GetWindowLongPtrW(setup.dialog, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0, "client edge");
    const LONG_PTR style = ::GetWindowLongPtrW(setup.dialog, GWL_STYLE);
    const LONG_PTR wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    c.Check((style & wanted) == wanted && (style & WS_MAXIMIZEBOX) == 0 && (style & WS_THICKFRAME) == 0,
            "pop-up with caption, system menu and minimize box, fixed frame");

    // 283 dialog units square, measured against the folder edit's 202 units of width.
    const RECT edit = ClientRectOf(setup.dialog, kFolderEdit);
    RECT client{};
    ::GetClientRect(setup.dialog, &client);
    const double unitX = (edit.right - edit.left) / 202.0;
    const double unitY = (edit.bottom - edit.top) / 12.0;
    c.Check(client.right / unitX > 280 && client.right / unitX < 286, "client width 283 dialog units");
    c.Check(client.bottom / unitY > 279 && client.bottom / unitY < 287, "client height 283 dialog units");
    const RECT progress = ClientRectOf(setup.dialog, kProgress);
    c.Check(progress.top >= edit.top && progress.bottom <= edit.bottom + 1, "progress bar lies over the folder edit");

    c.Screenshot(setup.dialog, L"several-releases");
    PressKey(setup.dialog, kCancel, VK_ESCAPE);
    c.CheckExit(setup.process, 2, "Escape before installing");
}

void Edition(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    Setup setup;
    if (!Launch(c, program, setup)) return;
    CheckStartView(c, setup.dialog);
    CheckBoxes(c, setup.dialog, true);
    c.Screenshot(setup.dialog, c.hostBitness == 32 ? L"edition-32" : L"edition-64");
    Click(setup.dialog, kCancel);
    c.CheckExit(setup.process, 2, "Cancel");
}

void UntickAll(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    Setup setup;
    if (!Launch(c, program, setup)) return;
    for (const Release& r : kReleases) {
        if (ReadControl(setup.dialog, r.id).checked == BST_CHECKED) Click(setup.dialog, r.id);
    }
    for (const Release& r : kReleases) c.Check(ReadControl(setup.dialog, r.id).checked == 0, "unticked");
    c.Check(!ReadControl(setup.dialog, kInstall).enabled, "unticking all disables Install");
    Click(setup.dialog, ReleaseOf(2010).id);
    c.Check(ReadControl(setup.dialog, 1027).checked == BST_CHECKED, "box 1027 is 2010 and ticks");
    c.Check(ReadControl(setup.dialog, kInstall).enabled, "ticking one enables Install again");
    Click(setup.dialog, ReleaseOf(2010).id);
    c.Check(!ReadControl(setup.dialog, kInstall).enabled, "and unticking it disables Install again");
    Click(setup.dialog, kCancel);
    c.CheckExit(setup.process, 2, "Cancel");
}

void FullInstall(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    Setup setup;
    if (!Launch(c, program, setup)) return;
    const RECT before = WindowRect(setup.dialog);
    const RECT ok = ClientRectOf(setup.dialog, kOk);
    const RECT cancel = ClientRectOf(setup.dialog, kCancel);
    Click(setup.dialog, kInstall);
    if (!c.Check(WaitForFinishedView(c, setup.dialog, 60000), "the finished view appears")) {
        MessageBoxInfo box;
        if (WaitForMessageBox(setup.dialog, 1000, box)) c.Check(false, "unexpected message", box.text);
        setup.process.Terminate();
        return;
    }
    for (int id : {kOk, kFinishedText, kMenusPicture, kTitle, kEdition}) {
        c.Check(ReadControl(setup.dialog, id).visible, "finished view shows " + std::to_string(id));
    }
    for (int id : {kComponentsPrompt, kProgress, kInstall, kCancel, kFolderEdit, kBrowse, kFolderPrompt}) {
        c.Check(!ReadControl(setup.dialog, id).visible, "finished view hides " + std::to_string(id));
    }
    for (const Release& r : kReleases) c.Check(!ReadControl(setup.dialog, r.id).visible, "boxes hidden");
    const RECT after = WindowRect(setup.dialog);
    c.Check(after.left == before.left && after.top == before.top && after.right == before.right,
            "the window keeps its place and width");
    c.Check(after.bottom - before.bottom == ok.bottom - cancel.bottom, "the window shrinks to the OK button",
            std::to_wstring(after.bottom - before.bottom) + L" vs " + std::to_wstring(ok.bottom - cancel.bottom));
    c.Screenshot(setup.dialog, L"finished");
    // The 32-bit edition installs for none of the releases it hides, though they were found.
    CheckInstalled(c, L"C:\\Korvel\\Korvel-Tarnwick", DefaultTicks(c));
    Click(setup.dialog, kOk);
    c.CheckExit(setup.process, 0, "OK in the finished view");
}

bool StartHost(Context& c, Process& host) {
    const std::wstring acad = L"C:\\pkg\\acad.exe";
    ::CopyFileW(c.driverPath.c_str(), acad.c_str(), FALSE);
    return c.Check(host.Start(acad, L"idle", L"C:\\pkg"), "a process acad.exe runs");
}

void HostRunning(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    Process host;
    StartHost(c, host);
    Setup setup;
    if (!Launch(c, program, setup)) return;
    Click(setup.dialog, kInstall);
    MessageBoxInfo box;
    if (c.Check(WaitForMessageBox(setup.dialog, kBoxTimeout, box), "a refusal while the host runs")) {
        c.CheckText(box.text, L"请关闭AutoCAD后再进行安装 !", "refusal text");
        c.CheckText(box.caption, kSetupMessageCaption, "refusal caption");
        c.Check(::GetDlgItem(box.box, IDOK) != nullptr && ::GetDlgItem(box.box, IDCANCEL) == nullptr, "one OK button");
        AnswerMessageBox(box, IDOK);
    }
    c.Check(StaysOpen(setup, 300), "the dialog stays open");
    c.Check(ReadControl(setup.dialog, kInstall).visible && ReadControl(setup.dialog, kFolderEdit).visible,
            "still choosing");
    c.Check(!IsFolder(L"C:\\Korvel"), "no folder made on refusal");
    // The second press installs, though the host still runs.
    Click(setup.dialog, kInstall);
    c.Check(WaitForFinishedView(c, setup.dialog, 60000), "the second press installs");
    c.Check(host.Running(), "the host was left alone");
    CheckInstalled(c, L"C:\\Korvel\\Korvel-Tarnwick", DefaultTicks(c));
    PressKey(setup.dialog, kOk, VK_ESCAPE);
    c.CheckExit(setup.process, 0, "Escape in the finished view");
    host.Terminate();
}

void PackageMissing(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c, false);
    Setup setup;
    if (!Launch(c, program, setup)) return;
    Click(setup.dialog, kInstall);
    MessageBoxInfo box;
    if (c.Check(WaitForMessageBox(setup.dialog, kBoxTimeout, box), "a message about the missing package")) {
        c.Check(box.text.find(L"未找到安装所需的Data文件夹") != std::wstring::npos, "names the Data folder", box.text);
        c.CheckText(box.caption, kSetupMessageCaption, "message caption");
        c.Screenshot(box.box, L"package-missing");
        AnswerMessageBox(box, IDOK);
    }
    c.CheckExit(setup.process, 5, "the program ends when the package is missing");
    CheckNothingRegistered(c);
    // Nothing was installed, so nothing is listed as installed.
    c.Check(!IsFile(L"C:\\Korvel\\Korvel-Tarnwick\\uninstall.exe") && !IsFile(L"C:\\Korvel\\Korvel-Tarnwick\\uninstall.dat"),
            "no uninstaller and no record");
    c.Check(!KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel-Tarnwick"),
            "no entry in the list of programs");
}

// Folders in the way of payload files make their copies fail.
void BlockPayload(const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names) MakeFolders(L"C:\\Korvel\\Korvel-Tarnwick\\" + name);
}

// While the copy runs (seen from one of its messages): the progress bar in the folder's place,
// set to 0..50 and part-way along; the buttons and boxes as they were.
void CheckRunningView(Context& c, HWND dialog) {
    for (int id : {kFolderPrompt, kFolderEdit, kBrowse}) {
        c.Check(!ReadControl(dialog, id).visible, "running: hidden " + std::to_string(id));
    }
    for (int id : {kProgress, kInstall, kCancel, kComponentsPrompt}) {
        c.Check(ReadControl(dialog, id).visible, "running: shown " + std::to_string(id));
    }
    HWND bar = ::GetDlgItem(dialog, kProgress);
    const LRESULT low = ::SendMessageW(bar, PBM_GETRANGE, TRUE, 0);
    const LRESULT high = ::SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
    const LRESULT position = ::SendMessageW(bar, PBM_GETPOS, 0, 0);
    c.Check(low == 0 && high == 50, "progress range 0..50");
    c.Check(position > 0 && position < 50, "progress part-way during the copy", std::to_wstring(position));
    c.Screenshot(dialog, L"running");
}

void CopyFailureRetryIgnore(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    BlockPayload({L"Korvel.mnu", L"Korvel2010.ARX"});
    Setup setup;
    if (!Launch(c, program, setup)) return;
    Click(setup.dialog, kInstall);
    std::map<std::wstring, int> seen;
    bool retried = false;
    // Two messages are due: one per blocked file (the retried copy then succeeds). Any further
    // one is caught on the way to the finished view.
    for (int round = 0; round < 2; ++round) {
        MessageBoxInfo box;
        if (!WaitForMessageBox(setup.dialog, kBoxTimeout, box)) break;
        c.CheckText(box.caption, kSetupMessageCaption, "copy failure caption");
        c.Check(box.text.find(L"拷贝文件") != std::wstring::npos, "copy failure text", box.text);
        c.Check(::GetDlgItem(box.box, IDABORT) && ::GetDlgItem(box.box, IDRETRY) && ::GetDlgItem(box.box, IDIGNORE),
                "Abort, Retry and Ignore offered");
        const std::wstring name = box.text.find(L"Korvel.mnu") != std::wstring::npos ? L"Korvel.mnu" : L"Korvel2010.ARX";
        ++seen[name];
        if (name == L"Korvel.mnu" && !retried) {
            c.Screenshot(box.box, L"copy-failure");
            CheckRunningView(c, setup.dialog);
            // Clear the way, then Retry: the copy now succeeds.
            RemoveFolder(L"C:\\Korvel\\Korvel-Tarnwick\\Korvel.mnu");
            retried = true;
            AnswerMessageBox(box, IDRETRY);
        } else {
            AnswerMessageBox(box, IDIGNORE);
        }
    }
    c.Check(seen[L"Korvel.mnu"] == 1, "Retry after clearing the way copies the file");
    c.Check(seen[L"Korvel2010.ARX"] == 1, "Ignore goes on with the next file");
    // The folder in the way is still in the plug-in's folder, which no install made: named as
    // not the package's before the finished view.
    MessageBoxInfo strangers;
    const bool named = WaitForMessageBox(setup.dialog, kBoxTimeout, strangers);
    c.Check(named && strangers.text.find(L"C:\\Korvel\\Korvel-Tarnwick\\Korvel2010.ARX") != std::wstring::npos,
            "the folder in the way is named", strangers.text);
    if (named) AnswerMessageBox(strangers, IDOK);
    c.Check(WaitForFinishedView(c, setup.dialog, 60000), "the install finishes after Ignore");
    c.Check(!ReadControl(setup.dialog, kProgress).visible, "the finished view hides the progress bar");
    c.Check(IsFile(L"C:\\Korvel\\Korvel-Tarnwick\\Korvel.mnu"), "the retried file is installed");
    c.Check(IsFolder(L"C:\\Korvel\\Korvel-Tarnwick\\Korvel2010.ARX"), "the ignored file is not");
    // The module passed over is not there to be named: its loader key is not written, the
    // library's is.
    DWORD value = 0;
    c.Check(ReadDword(HKEY_LOCAL_MACHINE, LoaderKey(c, kProducts[1]) + L"DLL", L"LOADCTRLS", value),
            "registration ran after Ignore");
    c.Check(!KeyExists(HKEY_LOCAL_MACHINE, LoaderKey(c, kProducts[1])), "no loader names the module passed over");
    CloseBox(setup.dialog);
    c.CheckExit(setup.process, 4, "close box in the finished view, after a file was skipped");
}

void CopyFailureAbort(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    BlockPayload({L"Korvel2010.ARX"});
    Setup setup;
    if (!Launch(c, program, setup)) return;
    Click(setup.dialog, kInstall);
    MessageBoxInfo box;
    if (c.Check(WaitForMessageBox(setup.dialog, kBoxTimeout, box), "a copy failure message")) {
        c.Check(box.text.find(L"Korvel2010.ARX") != std::wstring::npos, "names the file", box.text);
        AnswerMessageBox(box, IDABORT);
    }
    c.CheckExit(setup.process, 5, "Abort ends the program");
    CheckNothingRegistered(c);
    // Stopped, the run reaches no other user: no component runs the step at their logon.
    c.Check(!KeyExists(HKEY_LOCAL_MACHINE, kActiveSetup), "no Active Setup component");
}

// Typed folders that are not absolute, or hold a ';' or another character no path may hold, are
// refused with the reason and the dialog stays open, and so is a folder there whose name holds a
// ';', typed by its short name; a name whose trail byte is 0x5C ("禱" in code page 936) installs
// exactly where it was typed.
void TypedFolders(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    c.Check(::CreateDirectoryW(L"C:\\Tools;Korvel", nullptr) != FALSE, "a folder C:\\Tools;Korvel");
    wchar_t alias[MAX_PATH] = {};
    const DWORD aliasLength = ::GetShortPathNameW(L"C:\\Tools;Korvel", alias, MAX_PATH);
    const std::wstring byShortName(alias, aliasLength < MAX_PATH ? aliasLength : 0);
    c.Check(!byShortName.empty() && byShortName.find(L';') == std::wstring::npos, "its short name", byShortName);
    Setup setup;
    if (!Launch(c, program, setup)) return;
    for (const std::wstring& typed : {std::wstring(L"Korvel"), std::wstring(L"\\Korvel"), std::wstring(L"C:Korvel"),
                                      std::wstring(L"C:\\Users;X"), std::wstring(L"C:\\J\u00F6rg"), byShortName}) {
        const std::string what = Utf8(typed);
        SetControlText(setup.dialog, kFolderEdit, typed);
        Click(setup.dialog, kInstall);
        MessageBoxInfo box;
        if (c.Check(WaitForMessageBox(setup.dialog, kBoxTimeout, box), "refused: " + what)) {
            c.Check(box.text.find(L"\u5B89\u88C5\u8DEF\u5F84\u65E0\u6548") != std::wstring::npos,  // 安装路径无效
                    "says the folder is invalid", box.text);
            c.CheckText(box.caption, kSetupMessageCaption, "caption");
            if (typed[0] == L'C' && typed[2] == L'\\' && typed[3] == L'U') c.Screenshot(box.box, L"folder-refused");
            AnswerMessageBox(box, IDOK);
        }
        c.Check(StaysOpen(setup, 300) && ReadControl(setup.dialog, kInstall).visible, "still choosing after " + what);
    }
    c.Check(!IsFolder(L"C:\\Users;X") && !IsFolder(L"C:\\Korvel") && !IsFolder(L"C:\\J\u00F6rg") &&
                !IsFolder(L"C:\\Jorg") && !IsFolder(L"C:\\Tools;Korvel\\Korvel-Tarnwick"),
            "no folder made for a refused text");
    CheckNothingRegistered(c);

    const std::wstring prayer = L"C:\\\u79B1";  // 禱, B6 5C in code page 936
    SetControlText(setup.dialog, kFolderEdit, prayer);
    Click(setup.dialog, kInstall);
    if (!c.Check(WaitForFinishedView(c, setup.dialog, 60000), "the finished view appears")) {
        setup.process.Terminate();
        return;
    }
    CheckInstalled(c, prayer + L"\\Korvel-Tarnwick",
                   c.hostBitness == 32 ? std::vector<int>{2008, 2010} : std::vector<int>{2008, 2010, 2019, 2022});
    c.Check(!IsFolder(prayer + L"Korvel-Tarnwick"), "not glued to the name as if its last byte were a separator");
    Click(setup.dialog, kOk);
    c.CheckExit(setup.process, 0, "OK in the finished view");
}

// DLL planting: a DLL that leaves a marker when it loads lies beside SetUp.exe under the names of
// system DLLs loaded after start-up (KORVEL_PLANTED, comma-separated; run-scenario.sh also tells
// Wine to prefer a native DLL of each name). A whole install with the folder browser opened loads
// none of them. The control, a program without the protection, loads each plant from its own
// folder: so the test can fail.
void PlantedDlls(Context& c) {
    wchar_t list[1024] = {};
    ::GetEnvironmentVariableW(L"KORVEL_PLANTED", list, 1024);
    std::vector<std::wstring> names;
    for (std::wstring rest = list; !rest.empty();) {
        const std::size_t comma = rest.find(L',');
        names.push_back(rest.substr(0, comma) + L".dll");
        rest = comma == std::wstring::npos ? L"" : rest.substr(comma + 1);
    }
    if (!c.Check(!names.empty(), "names to plant given", list)) return;
    const std::wstring plant = c.artifacts + L"\\plant\\planted.dll";
    const auto plantInto = [&](const std::wstring& folder) {
        bool all = MakeFolders(folder);
        for (const std::wstring& name : names)
            all &= ::CopyFileW(plant.c_str(), (folder + L"\\" + name).c_str(), FALSE) != FALSE;
        return all;
    };
    const auto markers = [&](const std::wstring& folder) {
        std::wstring found;
        for (const std::wstring& name : names)
            if (IsFile(folder + L"\\" + name + L".loaded")) found += name + L" ";
        return found;
    };

    // The control first: unprotected, it gets every plant.
    const std::wstring control = L"C:\\control";
    if (!c.Check(plantInto(control), "plants beside the control")) return;
    const std::wstring controlExe = control + L"\\plant_control.exe";
    ::CopyFileW((c.artifacts + L"\\plant\\plant_control.exe").c_str(), controlExe.c_str(), FALSE);
    std::wstring arguments;
    for (const std::wstring& name : names) arguments += name + L" ";
    Process unprotected;
    if (c.Check(unprotected.Start(controlExe, arguments, control), "the control starts")) {
        unprotected.Wait(30000);
        unprotected.Terminate();
    }
    std::wstring expected;
    for (const std::wstring& name : names) expected += name + L" ";
    c.CheckText(markers(control), expected, "control: every plant loaded without the protection");

    // SetUp.exe, with the same plants beside it, through a whole install with the browser opened.
    const std::wstring program = SeveralReleasesWorld(c);
    const std::wstring folder = program.substr(0, program.rfind(L'\\'));
    if (!c.Check(plantInto(folder), "plants beside SetUp.exe")) return;
    Setup setup;
    if (!Launch(c, program, setup)) return;
    Click(setup.dialog, kBrowse);
    const HWND browser = WaitForWindow(setup.process.id(), L"\u8BF7\u9009\u62E9\u5B89\u88C5\u76EE\u5F55\uFF1A", 20000);
    if (c.Check(browser != nullptr, "the folder browser opens")) {
        Settle(browser);
        Click(browser, kCancel);
    }
    c.Check(StaysOpen(setup, 300), "back in the setup dialog");
    Click(setup.dialog, kInstall);
    if (c.Check(WaitForFinishedView(c, setup.dialog, 60000), "the finished view appears")) {
        Click(setup.dialog, kOk);
        c.CheckExit(setup.process, 0, "OK in the finished view");
    } else {
        setup.process.Terminate();
    }
    c.CheckText(markers(folder), L"", "SetUp.exe loaded no plant");
}

// The install folder, or its Korvel-Tarnwick, is a link (run-scenario.sh makes C:\Korvel a
// symbolic link to a folder outside the prefix, and C:\Other\Korvel-Tarnwick another): refused by
// name before anything is copied through it, and the user may choose again.
void LinkedFolders(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    const DWORD attributes = ::GetFileAttributesW(L"C:\\Korvel");
    c.Check(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY),
            "Wine reports the link as a folder that is a reparse point", std::to_wstring(attributes));
    Setup setup;
    if (!Launch(c, program, setup)) return;
    const struct {
        const wchar_t* typed;
        const wchar_t* named;
    } cases[] = {{L"C:\\Korvel", L"C:\\Korvel"}, {L"C:\\Other", L"C:\\Other\\Korvel-Tarnwick"}};
    for (const auto& linked : cases) {
        const std::string what = Utf8(linked.typed);
        SetControlText(setup.dialog, kFolderEdit, linked.typed);
        Click(setup.dialog, kInstall);
        MessageBoxInfo box;
        if (c.Check(WaitForMessageBox(setup.dialog, kBoxTimeout, box), "refused: " + what)) {
            c.Check(box.text.find(L"\u94FE\u63A5") != std::wstring::npos,  // 链接
                    "says the folder is a link", box.text);
            c.Check(box.text.find(std::wstring(L"\n\n") + linked.named + L"\n\n") != std::wstring::npos,
                    "names the link", box.text);
            c.CheckText(box.caption, kSetupMessageCaption, "caption");
            if (linked.typed[3] == L'K') c.Screenshot(box.box, L"folder-linked");
            AnswerMessageBox(box, IDOK);
        }
        c.Check(StaysOpen(setup, 300) && ReadControl(setup.dialog, kInstall).visible, "still choosing after " + what);
    }
    // Nothing went through either link: their targets stay empty.
    for (const wchar_t* target : {L"\\linked\\korvel", L"\\linked\\tarnwick"}) {
        WIN32_FIND_DATAW found;
        const HANDLE search = ::FindFirstFileW((c.artifacts + target + L"\\*.*").c_str(), &found);
        int entries = 0;
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (std::wstring(found.cFileName) != L"." && std::wstring(found.cFileName) != L"..") ++entries;
            } while (::FindNextFileW(search, &found));
            ::FindClose(search);
        }
        c.Check(search != INVALID_HANDLE_VALUE && entries == 0, "nothing made through the link", target);
    }
    CheckNothingRegistered(c);
    Click(setup.dialog, kCancel);
    c.CheckExit(setup.process, 2, "Cancel after the refusals");
}

// The package's listing cannot be read (run-scenario.sh makes Data unlistable and runs Wine
// without root's power to override that): a failed copy with its message, never a finished run.
void ListingUnreadable(Context& c) {
    c.Check(ImportRegFixture(c.fixtures + L"\\several.reg"), "fixture several.reg imported");
    for (const Product& p : kProducts) MakeHostFolder(p.folder);
    const std::wstring program = c.artifacts + L"\\locked\\SetUp.exe";
    if (!c.Check(::CopyFileW(c.setupBuilt.c_str(), program.c_str(), FALSE) != FALSE, "SetUp.exe beside the locked Data"))
        return;
    Setup setup;
    if (!Launch(c, program, setup)) return;
    Click(setup.dialog, kInstall);
    MessageBoxInfo box;
    if (c.Check(WaitForMessageBox(setup.dialog, kBoxTimeout, box), "a message about the unreadable listing")) {
        c.Check(box.text.find(L"\u65E0\u6CD5\u8BFB\u53D6\u5B89\u88C5\u6587\u4EF6\u5217\u8868") != std::wstring::npos,  // 无法读取安装文件列表
                "names the listing", box.text);
        c.CheckText(box.caption, kSetupMessageCaption, "caption");
        c.Screenshot(box.box, L"listing-unreadable");
        AnswerMessageBox(box, IDOK);
    }
    c.CheckExit(setup.process, 5, "the run ends as stopped");
    CheckNothingRegistered(c);
}

void EnterKeepsDialog(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    Setup setup;
    if (!Launch(c, program, setup)) return;
    PressKey(setup.dialog, kFolderEdit, VK_RETURN);
    c.Check(StaysOpen(setup, 500), "Enter in the folder edit does not end the dialog");
    PressKey(setup.dialog, ReleaseOf(2010).id, VK_RETURN);
    c.Check(StaysOpen(setup, 500), "Enter on a check box does not end the dialog");
    c.Check(ReadControl(setup.dialog, ReleaseOf(2010).id).checked == BST_CHECKED, "and leaves the box as it was");
    PostCommand(setup.dialog, kOk);
    c.Check(StaysOpen(setup, 500), "the hidden OK command does nothing while choosing");
    c.Check(!IsFolder(L"C:\\Korvel\\Korvel-Tarnwick"), "nothing installed");
    // An empty folder: Install asks for one and stays choosing.
    SetControlText(setup.dialog, kFolderEdit, L"");
    Click(setup.dialog, kInstall);
    MessageBoxInfo box;
    if (c.Check(WaitForMessageBox(setup.dialog, kBoxTimeout, box), "an empty folder is reported")) {
        c.CheckText(box.caption, kSetupMessageCaption, "its caption");
        AnswerMessageBox(box, IDOK);
    }
    c.Check(StaysOpen(setup, 300) && ReadControl(setup.dialog, kInstall).visible, "still choosing after it");
    c.Check(!IsFolder(L"C:\\Korvel-Tarnwick") && !IsFolder(L"C:\\Korvel"), "no folder made for an empty text");
    PressKey(setup.dialog, kFolderEdit, VK_ESCAPE);
    c.CheckExit(setup.process, 2, "Escape is still Cancel");
}

// The texts read back through the wide functions, under the code page of the run, and a
// folder with Chinese characters (and a trailing backslash) typed and installed into.
void Texts(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    Process host;
    StartHost(c, host);
    Setup setup;
    if (!Launch(c, program, setup)) return;
    CheckStartView(c, setup.dialog);
    c.Screenshot(setup.dialog, c.codePage == 936 ? L"texts-cp936" : L"texts-cp1252");
    SetControlText(setup.dialog, kFolderEdit, L"C:\\软件安装\\");
    c.CheckText(ReadControl(setup.dialog, kFolderEdit).text, L"C:\\软件安装\\", "typed folder reads back");
    Click(setup.dialog, kInstall);
    MessageBoxInfo box;
    if (c.Check(WaitForMessageBox(setup.dialog, kBoxTimeout, box), "the refusal")) {
        c.CheckText(box.text, L"请关闭AutoCAD后再进行安装 !", "message text");
        c.CheckText(box.caption, kSetupMessageCaption, "message caption");
        c.Screenshot(box.box, c.codePage == 936 ? L"refusal-cp936" : L"refusal-cp1252");
        AnswerMessageBox(box, IDOK);
    }
    host.Terminate();
    Click(setup.dialog, kInstall);
    if (c.Check(WaitForFinishedView(c, setup.dialog, 60000), "installed into the Chinese folder")) {
        c.CheckText(ReadControl(setup.dialog, kFolderEdit).text, L"C:\\软件安装\\Korvel-Tarnwick",
                    "the folder text names the sub-folder");
        CheckInstalled(c, L"C:\\软件安装\\Korvel-Tarnwick", DefaultTicks(c));
    }
    Click(setup.dialog, kOk);
    c.CheckExit(setup.process, 0, "OK");
}

// The x86 edition on a 64-bit Windows, which shows it the 32-bit registry view: the 32-bit
// AutoCAD 2008 under SOFTWARE\Wow6432Node is offered once and registered where that host reads
// its keys; the 64-bit AutoCAD 2010 is not in this view and is left alone.
std::wstring DefaultLogPath();
std::wstring ReadUtf8File(const std::wstring& path);

void Wow64Views(Context& c) {
    if (!c.Check(OnWow64(), "runs as a 32-bit program on a 64-bit Windows")) return;
    c.Check(ImportRegFixture(c.fixtures + L"\\wow64.reg", FixtureView::As64BitView), "fixture wow64.reg imported");
    const std::wstring host2008 = L"C:\\Program Files (x86)\\AutoCAD 2008";
    const std::wstring host2010 = L"C:\\Program Files\\Autodesk\\AutoCAD 2010";
    MakeHostFolder(host2008);
    MakeHostFolder(host2010);
    const std::wstring program = MakePackage(c.setupBuilt, true);
    Setup setup;
    if (!Launch(c, program, setup)) return;
    for (const Release& r : kReleases) {
        const ControlState box = ReadControl(setup.dialog, r.id);
        const bool is2008 = r.year == 2008;
        c.Check(box.enabled == is2008 && (box.checked == BST_CHECKED) == is2008,
                "box " + std::to_string(r.year) + (is2008 ? " enabled and ticked" : " disabled"));
    }
    c.Screenshot(setup.dialog, L"wow64");
    Click(setup.dialog, kInstall);
    if (!c.Check(WaitForFinishedView(c, setup.dialog, 60000), "installs without a message")) {
        setup.process.Terminate();
        return;
    }
    const std::wstring product = L"SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804";
    std::wstring text;
    c.Check(ReadString(HKEY_LOCAL_MACHINE, product + L"\\Applications\\Korvel2008", L"LOADER", text, KEY_WOW64_64KEY) &&
                text == L"C:\\Korvel\\Korvel-Tarnwick\\Korvel2008.ARX",
            "2008's module registered under the 32-bit host's own key", text);
    c.Check(ReadString(HKEY_LOCAL_MACHINE, product + L"\\Applications\\Korvel2008DLL", L"LOADER", text,
                       KEY_WOW64_64KEY) &&
                text == host2008 + L"\\ACAD2007.dll",
            "2008's host library registered there too", text);
    c.Check(!KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\Wow6432Node", KEY_WOW64_64KEY),
            "no nested Wow6432Node key made");
    c.Check(!KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Applications",
                       KEY_WOW64_64KEY),
            "the 64-bit host gets no loader keys");
    c.Check(IsFile(host2008 + L"\\Fonts\\Korvel_EN.shx") && IsFile(host2008 + L"\\Drv\\pdfplot9.hdi"),
            "2008's support files placed");
    c.Check(!IsFile(host2010 + L"\\Fonts\\Korvel_EN.shx"), "nothing placed for the 64-bit host");
    Click(setup.dialog, kOk);
    c.CheckExit(setup.process, 0, "OK in the finished view");
    // Met under both names of its key, the one product is one line of the log.
    const std::wstring log = ReadUtf8File(DefaultLogPath());
    std::size_t hosts = 0;
    for (std::size_t at = log.find(L"host found: AutoCAD2008"); at != std::wstring::npos;
         at = log.find(L"host found: AutoCAD2008", at + 1))
        ++hosts;
    c.Check(hosts == 1, "the log names AutoCAD 2008 once", std::to_wstring(hosts));
}

// ---- Display scaling -------------------------------------------------------------------------

// The scaling Wine gives programs started from now on: it reads LogPixels (as Windows keeps it)
// when a program starts.
bool SetLogPixels(DWORD dpi) {
    HKEY key = nullptr;
    const bool ok =
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) == ERROR_SUCCESS &&
        ::RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi) == ERROR_SUCCESS;
    if (key != nullptr) ::RegCloseKey(key);
    return ok;
}

// The size a text takes in a font of the given height (in pixels; negative: the character height).
SIZE TextSize(const std::wstring& text, int height, int weight, BYTE charset) {
    HDC dc = ::CreateCompatibleDC(nullptr);
    HFONT font = ::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"\u5B8B\u4F53");  // 宋体
    HGDIOBJ old = ::SelectObject(dc, font);
    RECT rect{0, 0, 0, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::DeleteObject(font);
    ::DeleteDC(dc);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// Every visible control lies inside the window, and its text, in the font the dialog draws it
// with at dpi (the template's 9-point 宋体; the title's and edition's own pixel sizes scaled),
// fits what the control leaves for it: a check box's square and a button's edges taken off.
void CheckTextsFit(Context& c, HWND dialog, int dpi, const std::string& at) {
    RECT client{};
    ::GetClientRect(dialog, &client);
    int checked = 0;
    for (HWND control = ::GetWindow(dialog, GW_CHILD); control != nullptr; control = ::GetWindow(control, GW_HWNDNEXT)) {
        if (!IsVisible(control)) continue;
        const int id = ::GetDlgCtrlID(control);
        RECT rect = WindowRect(control);
        ::MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
        // (The separators, IDC_STATIC, run past the window's edges on purpose.)
        if (id != -1)
            c.Check(rect.left >= 0 && rect.top >= 0 && rect.right <= client.right && rect.bottom <= client.bottom,
                    "control " + std::to_string(id) + " lies inside the window" + at);
        const std::wstring text = WindowText(control);
        const std::wstring kind = ClassName(control);
        if (text.empty() || kind == L"msctls_progress32") continue;
        SIZE size = TextSize(text, -::MulDiv(9, dpi, 72), FW_NORMAL, GB2312_CHARSET);
        // The labels' own fonts are chosen as the control paints (the control may still draw in
        // the template's): both must fit.
        if (id == kTitle || id == kEdition) {
            const SIZE own = TextSize(text, ::MulDiv(id == kTitle ? 14 : 13, dpi, 96), id == kTitle ? 600 : FW_NORMAL,
                                      ANSI_CHARSET);
            size.cx = own.cx > size.cx ? own.cx : size.cx;
            size.cy = own.cy > size.cy ? own.cy : size.cy;
        }
        RECT inside{};
        ::GetClientRect(control, &inside);
        int width = inside.right, height = inside.bottom;
        const LONG style = ::GetWindowLongW(control, GWL_STYLE);
        if (kind == L"Button" && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
            width -= ::MulDiv(16, dpi, 96);
        } else if (kind == L"Button") {
            width -= ::MulDiv(6, dpi, 96);
            height -= ::MulDiv(4, dpi, 96);
        } else if (kind == L"Edit") {
            width -= 4;
        }
        ++checked;
        c.Check(size.cx <= width && size.cy <= height, "the text of " + std::to_string(id) + " fits its control" + at,
                std::to_wstring(size.cx) + L"x" + std::to_wstring(size.cy) + L" in " + std::to_wstring(width) + L"x" +
                    std::to_wstring(height));
    }
    c.Check(checked >= 4, "texts measured" + at, std::to_wstring(checked));
}

struct Sample {
    double x, y;             // where in the picture, as a share of its width and height
    COLORREF colour;         // what the artwork has there
    const char* what;
};

// The picture (width x height in its 1x artwork) fills its control as far as its shape allows,
// centred: the artwork's marks lie at the same shares of that area, its lower right ones
// included (a bitmap left at its own size would show background there).
void CheckPicture(Context& c, HWND dialog, int id, int width, int height, std::initializer_list<Sample> samples,
                  const std::string& at) {
    Settle(dialog);
    ::Sleep(300);
    const RECT control = WindowRect(::GetDlgItem(dialog, id));
    const int cw = control.right - control.left, ch = control.bottom - control.top;
    const double scale = std::min(static_cast<double>(cw) / width, static_cast<double>(ch) / height);
    const double left = control.left + (cw - width * scale) / 2, top = control.top + (ch - height * scale) / 2;
    HDC screen = ::GetDC(nullptr);
    for (const Sample& sample : samples) {
        const int x = static_cast<int>(left + sample.x * width * scale);
        const int y = static_cast<int>(top + sample.y * height * scale);
        const COLORREF got = ::GetPixel(screen, x, y);
        const auto alike = [](int a, int b) { return a - b < 48 && b - a < 48; };
        c.Check(alike(GetRValue(got), GetRValue(sample.colour)) && alike(GetGValue(got), GetGValue(sample.colour)) &&
                    alike(GetBValue(got), GetBValue(sample.colour)),
                std::string("picture ") + std::to_string(id) + ": " + sample.what + at,
                L"rgb(" + std::to_wstring(GetRValue(got)) + L"," + std::to_wstring(GetGValue(got)) + L"," +
                    std::to_wstring(GetBValue(got)) + L")");
    }
    ::ReleaseDC(nullptr, screen);
}

// At 100 %, 125 %, 150 % and 200 % display scaling: nothing clipped, every text fits, the pictures are
// drawn at their controls' size, in the start view and in the finished view.
void Scaling(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    constexpr int kLogo = 1025;
    for (int dpi : {96, 120, 144, 192}) {
        const std::string at = " at " + std::to_string(dpi) + " DPI";
        if (!c.Check(SetLogPixels(dpi), "LogPixels set" + at)) return;
        Setup setup;
        if (!Launch(c, program, setup)) return;
        const RECT title = ClientRectOf(setup.dialog, kTitle);
        c.Check(title.bottom - title.top >= ::MulDiv(14, dpi, 96) + 4, "the dialog is laid out at this scaling" + at,
                std::to_wstring(title.bottom - title.top));
        CheckTextsFit(c, setup.dialog, dpi, at);
        // The mark: its K's stem, the warm bar under it, and the tile's lower right.
        CheckPicture(c, setup.dialog, kLogo, 64, 64,
                     {{22.0 / 64, 32.0 / 64, RGB(255, 255, 255), "the K's stem"},
                      {32.0 / 64, 54.5 / 64, RGB(250, 190, 60), "the bar"},
                      {57.0 / 64, 57.0 / 64, RGB(39, 143, 134), "the tile's lower right"}},
                     at);
        const std::wstring shot = L"scaling-" + std::to_wstring(dpi);
        c.Screenshot(setup.dialog, shot + L"-dialog");
        // The folder browser is the system's; the edit box the program adds above its tree must
        // hold a line of the browser's text.
        Click(setup.dialog, kBrowse);
        if (HWND browser = WaitForWindow(setup.process.id(), L"\u8BF7\u9009\u62E9\u5B89\u88C5\u76EE\u5F55\uFF1A",
                                         kStartTimeout)) {  // 请选择安装目录：
            RECT edit{};
            ::GetClientRect(::GetDlgItem(browser, 14148), &edit);
            const SIZE line = TextSize(L"C:\\Korvel", -::MulDiv(9, dpi, 72), FW_NORMAL, GB2312_CHARSET);
            c.Check(edit.bottom >= line.cy, "the browser's edit box holds a line of text" + at,
                    std::to_wstring(edit.bottom) + L" for " + std::to_wstring(line.cy));
            c.Screenshot(browser, shot + L"-browser");
            Click(browser, kCancel);
        } else {
            c.Check(false, "Browse opens the folder browser" + at);
        }
        Click(setup.dialog, kInstall);
        if (!c.Check(WaitForFinishedView(c, setup.dialog, 60000), "the finished view" + at)) {
            setup.process.Terminate();
            return;
        }
        CheckTextsFit(c, setup.dialog, dpi, at + " (finished)");
        // The host's title strip, and the small mark's K in the lower right corner.
        CheckPicture(c, setup.dialog, kMenusPicture, 303, 175,
                     {{150.0 / 303, 6.0 / 175, RGB(44, 62, 92), "the title strip"},
                      {272.0 / 303, 149.0 / 175, RGB(255, 255, 255), "the corner mark's K"}},
                     at);
        c.Screenshot(setup.dialog, shot + L"-finished");
        Click(setup.dialog, kOk);
        c.CheckExit(setup.process, 0, "OK" + at);
    }
}

// ---- Unattended runs -------------------------------------------------------------------------

// Runs SetUp.exe with arguments and watches for any visible window of its process until it
// ends. Returns its exit code (-1 when it did not end in time).
int RunUnattended(Context& c, const std::wstring& program, const std::wstring& arguments, bool& windowSeen) {
    Process setup;
    windowSeen = false;
    const std::wstring folder = program.substr(0, program.rfind(L'\\'));
    if (!c.Check(setup.Start(program, arguments, folder), "SetUp.exe starts with " + Utf8(arguments))) return -1;
    for (DWORD waited = 0; waited < 120000; waited += 20) {
        if (HWND window = AnyVisibleWindow(setup.id())) {
            if (!windowSeen) c.Check(false, "no window", ClassName(window) + L" " + WindowText(window));
            windowSeen = true;
        }
        const int code = setup.Wait(20);
        if (code != -1) return code;
    }
    setup.Terminate();
    return -1;
}

// The default log of a run with administrator rights (as every run under Wine is): in the
// protected folder under ProgramData, never in a temporary folder that every user may write.
std::wstring DefaultLogPath() { return L"C:\\ProgramData\\Korvel-Tarnwick\\Korvel-Tarnwick-setup.log"; }

// A UTF-8 file as UTF-16; empty when it cannot be read.
std::wstring ReadUtf8File(const std::wstring& path) {
    // Sharing deletion too: a reader that did not would look, to a run starting meanwhile, like
    // another run still writing its log, which it then joins instead of setting it aside.
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::wstring();
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    ::CloseHandle(file);
    if (bytes.empty()) return std::wstring();
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0) return L"(not UTF-8)";
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], length);
    return text;
}

// The log names each file copied and each loader key and trusted path written, for the releases
// installed, and ends with the exit code.
void CheckLog(Context& c, const std::wstring& path, const std::wstring& installFolder, const std::vector<int>& ticked,
              int exitCode) {
    const std::wstring log = ReadUtf8File(path);
    if (!c.Check(!log.empty(), "the log exists: " + Utf8(path))) return;
    c.Check(log.find(L"code page 936") != std::wstring::npos, "the log names the code page");
    for (const std::wstring& name : PayloadFiles()) {
        c.Check(log.find(L"copied C:\\pkg\\Data\\" + name + L" -> " + installFolder + L"\\" + name) != std::wstring::npos,
                "the log names the copy of " + Utf8(name));
    }
    for (const Product& p : kProducts) {
        c.Check(log.find(L"host found: AutoCAD" + std::to_wstring(p.year) + L" key HKLM\\" + p.key + L" folder " + p.folder) !=
                    std::wstring::npos,
                "the log names the host " + std::to_string(p.year));
        bool isTicked = false;
        for (int year : ticked) isTicked = isTicked || year == p.year;
        const std::wstring app = L"HKLM\\" + std::wstring(p.key) + L"\\Applications\\Korvel" + std::to_wstring(p.year);
        c.Check((log.find(L"registry value set " + app + L" LOADER = \"") != std::wstring::npos) == isTicked &&
                    (log.find(L"registry value set " + app + L"DLL MANAGED = dword:1") != std::wstring::npos) == isTicked,
                "the log names the loader keys of " + std::to_string(p.year) + (isTicked ? "" : ": none"));
        if (isTicked) {
            c.Check(log.find(L"copied C:\\pkg\\Data\\Korvel_EN.shx -> " + std::wstring(p.folder) + L"\\Fonts\\Korvel_EN.shx") !=
                        std::wstring::npos,
                    "the log names the font copied for " + std::to_string(p.year));
        }
    }
    c.Check(log.find(L"TRUSTEDPATHS = \"" + installFolder + L"\"") != std::wstring::npos,
            "the log names the trusted path written");
    // The last line: the code with its outcome in words.
    const std::size_t last = log.rfind(L"exit code " + std::to_wstring(exitCode) + L": ");
    c.Check(last != std::wstring::npos && log.find(L"\r\n", last) + 2 == log.size(),
            "the log ends with the exit code " + std::to_string(exitCode) + " and its outcome", log.substr(last == std::wstring::npos ? 0 : last));
}

// /S on the machine with four products: no window ever, everything the dialog's default install
// does (the checks of full-install; the unit tests compare the two runs byte for byte over the
// doubles, and scripts/test.sh the demo's two forms on its demo machine), and the log names it all.
void SilentInstall(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    const std::vector<int> offered =
        c.hostBitness == 32 ? std::vector<int>{2008, 2010} : std::vector<int>{2008, 2010, 2019, 2022};
    bool windowSeen = false;
    c.Check(RunUnattended(c, program, L"/S", windowSeen) == 0, "/S ends with 0");
    c.Check(!windowSeen, "no window was ever visible");
    CheckInstalled(c, L"C:\\Korvel\\Korvel-Tarnwick", offered);
    CheckLog(c, DefaultLogPath(), L"C:\\Korvel\\Korvel-Tarnwick", offered, 0);
    // A second run replaces the log and keeps the one before.
    c.Check(RunUnattended(c, program, L"/S /RELEASES=2010", windowSeen) == 0, "a second run ends with 0");
    c.Check(ReadUtf8File(DefaultLogPath() + L".1").find(L"command line: \"C:\\pkg\\SetUp.exe\" /S\r\n") !=
                std::wstring::npos,
            "the last run's log is kept as .1");
}

void SilentReleases(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    // Releases of the several-releases world that this edition offers (the x86 one hides 2019
    // and 2022).
    const int late = Offered(c, 2022) ? 2022 : 2008;
    const int preset = Offered(c, 2019) ? 2019 : 2008;
    const std::wstring named = L"/s /RELEASES=2010," + std::to_wstring(late);
    bool windowSeen = false;
    c.Check(RunUnattended(c, program, named, windowSeen) == 0, Utf8(named) + " ends with 0");
    c.Check(!windowSeen, "no window was ever visible");
    CheckInstalled(c, L"C:\\Korvel\\Korvel-Tarnwick", {2010, late});
    CheckLog(c, DefaultLogPath(), L"C:\\Korvel\\Korvel-Tarnwick", {2010, late}, 0);
    if (!Offered(c, 2022)) {
        // Found on the machine, but not a release this edition installs for.
        c.Check(RunUnattended(c, program, L"/S /RELEASES=2022", windowSeen) == 1,
                "/S /RELEASES=2022 ends with 1 in the edition that hides 2022");
    }

    // Without /S the same options preset the dialog.
    Setup setup;
    const std::wstring presets = L"/releases=" + std::to_wstring(preset) + L" /D=C:\\预设 目录";
    if (!c.Check(setup.process.Start(program, presets, L"C:\\pkg"), "SetUp.exe starts with presets")) return;
    setup.dialog = WaitForWindow(setup.process.id(), kDialogCaption, kStartTimeout);
    if (!c.Check(setup.dialog != nullptr, "the dialog appears")) return;
    for (const Product& p : kProducts) {
        if (!Offered(c, p.year)) continue;
        const ControlState box = ReadControl(setup.dialog, ReleaseOf(p.year).id);
        c.Check(box.enabled && (box.checked == BST_CHECKED) == (p.year == preset),
                std::to_string(p.year) + (p.year == preset ? " ticked" : " found but not ticked"));
    }
    c.CheckText(ReadControl(setup.dialog, kFolderEdit).text, L"C:\\预设 目录", "the folder preset");
    Click(setup.dialog, kCancel);
    c.CheckExit(setup.process, 2, "Cancel");
}

// A folder with blanks and Chinese characters, unquoted, and a log moved to a folder of that kind.
// The plug-in's folder is there already, an earlier version's copied in by hand: no install with
// administrator rights made it, so it is made anew with all it held, and a handle kept to it
// (one that may change its rights) reaches only the folder moved aside.
void SilentFolder(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    MakeFolders(L"C:\\日志 文件");
    const std::wstring logPath = L"C:\\日志 文件\\安装 记录.log";
    ::DeleteFileW(DefaultLogPath().c_str());
    const std::wstring own = L"C:\\Program Files\\软件 安装\\Korvel-Tarnwick";
    c.Check(MakeFolders(own + L"\\帮助") && WriteTextFile(own + L"\\帮助\\index.htm", "its help") &&
                WriteTextFile(own + L"\\notes.txt", "an earlier version's"),
            "an earlier version's folder is there");
    const HANDLE kept = ::CreateFileW(own.c_str(), READ_CONTROL | WRITE_DAC | FILE_LIST_DIRECTORY,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION before{};
    c.Check(kept != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(kept, &before), "a handle kept to it");
    bool windowSeen = false;
    c.Check(RunUnattended(c, program, L"/S \"/LOG=" + logPath + L"\" /D=C:\\Program Files\\软件 安装", windowSeen) == 0,
            "/S /LOG= /D= with blanks and Chinese ends with 0");
    c.Check(!windowSeen, "no window was ever visible");
    const HANDLE now = ::CreateFileW(own.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION after{};
    c.Check(now != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(now, &after) &&
                (after.nFileIndexLow != before.nFileIndexLow || after.nFileIndexHigh != before.nFileIndexHigh),
            "the folder is a new one: the handle kept reaches the earlier one");
    ::CloseHandle(now);
    ::CloseHandle(kept);
    c.Check(ReadUtf8File(own + L"\\notes.txt") == L"an earlier version's" &&
                ReadUtf8File(own + L"\\帮助\\index.htm") == L"its help",
            "with all the earlier one held");
    c.Check(!IsFolder(own + L"~setaside"), "and nothing left aside");
    CheckInstalled(c, L"C:\\Program Files\\软件 安装\\Korvel-Tarnwick", DefaultTicks(c));
    CheckLog(c, logPath, L"C:\\Program Files\\软件 安装\\Korvel-Tarnwick", DefaultTicks(c), 0);
    c.Check(!IsFile(DefaultLogPath()), "no log at the default place");
    c.Check(!IsFolder(L"C:\\Korvel"), "nothing at the default folder");
}

void SilentHostRunning(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    Process host;
    StartHost(c, host);
    bool windowSeen = false;
    c.Check(RunUnattended(c, program, L"/S", windowSeen) == 3, "/S while AutoCAD runs ends with 3");
    c.Check(!windowSeen, "no window was ever visible");
    c.Check(!IsFolder(L"C:\\Korvel"), "no folder made");
    CheckNothingRegistered(c);
    const std::wstring log = ReadUtf8File(DefaultLogPath());
    c.Check(log.find(L"(unattended) 请关闭AutoCAD后再进行安装 !") != std::wstring::npos, "the refusal is in the log");
    c.Check(log.find(L"exit code 3") != std::wstring::npos, "and the exit code");
    host.Terminate();
}

// Bad options end with 1 and install nothing: unattended with no window, and at the window with
// a message that names the option.
void SilentBadOption(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    for (const wchar_t* arguments : {L"/S /X", L"/S /RELEASES=2013", L"/S /RELEASES=20x9", L"/S /D=Korvel",
                                     L"/S /D=C:\\J\u00F6rg \uD55C", L"/S /UNINSTALL /D=C:\\Korvel"}) {
        bool windowSeen = false;
        c.Check(RunUnattended(c, program, arguments, windowSeen) == 1, Utf8(arguments) + " ends with 1");
        c.Check(!windowSeen, "no window was ever visible");
        const std::wstring log = ReadUtf8File(DefaultLogPath());
        c.Check(log.find(L"bad command line: ") != std::wstring::npos,
                "the log says why", log.find(L"exit code 1") != std::wstring::npos ? L"" : log.substr(0, 400));
    }

    // Nothing installed: the uninstall finds nothing to undo, says so in the log, changes nothing.
    bool windowSeen = false;
    c.Check(RunUnattended(c, program, L"/S /UNINSTALL", windowSeen) == 12, "/S /UNINSTALL with nothing installed ends with 12");
    c.Check(!windowSeen, "no window was ever visible");
    c.Check(ReadUtf8File(DefaultLogPath()).find(L"exit code 12: not installed, nothing changed") != std::wstring::npos,
            "the log says how it ended");
    c.Check(!IsFolder(L"C:\\Korvel") && !IsFolder(L"C:\\J\u00F6rg \uD55C"), "no folder made");
    CheckNothingRegistered(c);

    Process setup;
    if (!c.Check(setup.Start(program, L"/Q", L"C:\\pkg"), "SetUp.exe /Q starts")) return;
    HWND box = nullptr;
    for (int waited = 0; box == nullptr && waited < 20000; waited += 100) {
        box = WaitForWindow(setup.id(), kSetupMessageCaption, 100);
    }
    if (c.Check(box != nullptr, "at the window, a message about the bad option")) {
        const std::wstring text = ReadControl(box, 0xFFFF).text;
        c.Check(text.find(L"命令行有误：/Q") != std::wstring::npos, "names the option", text);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    c.CheckExit(setup, 1, "a bad option at the window");

    Process usage;
    if (!c.Check(usage.Start(program, L"/?", L"C:\\pkg"), "SetUp.exe /? starts")) return;
    HWND usageBox = WaitForWindow(usage.id(), kSetupMessageCaption, 20000);
    if (c.Check(usageBox != nullptr, "/? shows the usage in a message box")) {
        const std::wstring text = ReadControl(usageBox, 0xFFFF).text;
        c.Check(text.find(L"/RELEASES=") != std::wstring::npos && text.find(L"/D=") != std::wstring::npos,
                "the usage names the options", text);
        ::PostMessageW(usageBox, WM_COMMAND, IDOK, 0);
    }
    c.CheckExit(usage, 0, "the usage");
}

// The demo: SetUp.exe as it lies in the demo package, on the demo machine the caller laid out.
// Shows what the dialog offers, installs with what it ticks by default, and shows the end.
// A host installed in a folder code page 936 cannot name is not offered (its box stays disabled);
// a package started from such a folder says so plainly and changes nothing.
void BeyondTheCodePage(Context& c) {
    c.Check(ImportRegFixture(c.fixtures + L"\\beyond.reg"), "fixture beyond.reg imported");
    MakeHostFolder(L"C:\\Programme\\J\u00F6rg\\AutoCAD 2010");
    MakeHostFolder(L"C:\\Program Files\\Autodesk\\AutoCAD 2013");
    const std::wstring folder = L"C:\\Users\\J\u00F6rg\\Downloads\\Korvel";
    MakeFolders(folder + L"\\Data");
    const std::wstring program = folder + L"\\SetUp.exe";
    ::CopyFileW(c.setupBuilt.c_str(), program.c_str(), FALSE);
    for (const std::wstring& name : PayloadFiles()) WriteTextFile(folder + L"\\Data\\" + name, "payload");
    Setup setup;
    if (!Launch(c, program, setup)) return;
    const ControlState box2010 = ReadControl(setup.dialog, ReleaseOf(2010).id);
    c.Check(!box2010.enabled && box2010.checked != BST_CHECKED, "the host in a folder beyond the code page is not offered");
    c.Check(ReadControl(setup.dialog, ReleaseOf(2013).id).checked == BST_CHECKED, "the other host is");
    Click(setup.dialog, kInstall);
    MessageBoxInfo box;
    if (c.Check(WaitForMessageBox(setup.dialog, kBoxTimeout, box), "a message about the package's folder")) {
        c.Check(box.text.find(L"\u65E0\u6CD5\u8868\u793A\u7684\u5B57\u7B26") != std::wstring::npos,  // 无法表示的字符
                "says the folder's name cannot be used", box.text);
        c.Check(box.text.find(L"Data") == std::wstring::npos, "not that the package is missing", box.text);
        c.CheckText(box.caption, kSetupMessageCaption, "caption");
        c.Screenshot(box.box, L"package-folder-beyond");
        AnswerMessageBox(box, IDOK);
    }
    c.CheckExit(setup.process, 5, "the run ends as stopped");
    c.Check(!KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Applications"),
            "nothing registered");
}

// --- Uninstall ---

const wchar_t kUninstallEntry[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel-Tarnwick";
const wchar_t kHostDriver[] = L"C:\\Program Files (x86)\\AutoCAD 2008\\Drv\\pdfplot9.hdi";
const wchar_t kOtherVendor[] = L"SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Applications\\OtherVendor";

// The several-releases world, and what an uninstall must keep: the 2008 host's own plot driver
// and another vendor's loader key.
std::wstring UninstallWorld(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    c.Check(WriteTextFile(kHostDriver, "the host's own plot driver"), "the host's own plot driver");
    HKEY key = nullptr;
    if (c.Check(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kOtherVendor, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr) == ERROR_SUCCESS,
                "another vendor's loader key")) {
        const wchar_t loader[] = L"C:\\Other\\other.arx";
        ::RegSetValueExW(key, L"LOADER", 0, REG_SZ, reinterpret_cast<const BYTE*>(loader), sizeof loader);
        ::RegCloseKey(key);
    }
    return program;
}

// The host trees, the entry in the list of programs, the hosts' folders and the install folder.
std::wstring MachineSnapshot() {
    std::wstring out;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        out += RegistrySnapshot(root, L"SOFTWARE\\Autodesk");
        out += RegistrySnapshot(root, L"SOFTWARE\\Wow6432Node\\Autodesk");
        out += RegistrySnapshot(root, kUninstallEntry);
    }
    for (const Product& p : kProducts) out += FileSnapshot(p.folder);
    return out + FileSnapshot(L"C:\\Korvel") + FileSnapshot(L"C:\\Second");
}

bool InstallWithDefaults(Context& c, const std::wstring& program) {
    Setup setup;
    if (!Launch(c, program, setup)) return false;
    Click(setup.dialog, kInstall);
    if (!c.Check(WaitForFinishedView(c, setup.dialog, 60000), "the install finishes")) {
        setup.process.Terminate();
        return false;
    }
    Click(setup.dialog, kOk);
    return c.CheckExit(setup.process, 0, "the install ends with 0");
}

// "\"C:\...\uninstall.exe\" /uninstall": the program and its arguments.
bool SplitCommand(const std::wstring& command, std::wstring& exe, std::wstring& arguments) {
    if (command.size() < 2 || command[0] != L'"') return false;
    const std::size_t close = command.find(L'"', 1);
    if (close == std::wstring::npos) return false;
    exe = command.substr(1, close - 1);
    arguments = command.substr(close + 1);
    while (!arguments.empty() && arguments[0] == L' ') arguments.erase(0, 1);
    return true;
}

// The uninstaller removes itself and its folders once it has ended.
bool WaitUntilGone(const std::wstring& folder, DWORD milliseconds) {
    for (DWORD waited = 0; waited < Scaled(milliseconds); waited += 200) {
        if (!IsFolder(folder)) return true;
        ::Sleep(200);
    }
    return !IsFolder(folder);
}

// The entry's command line in value, split into the program and its arguments, which must be
// wanted.
bool EntryCommand(Context& c, const wchar_t* value, const std::wstring& wanted, std::wstring& exe,
                  std::wstring& arguments) {
    std::wstring command;
    return c.Check(ReadString(HKEY_LOCAL_MACHINE, kUninstallEntry, value, command) &&
                       SplitCommand(command, exe, arguments) && arguments == wanted,
                   Utf8(value) + " is the uninstaller with " + Utf8(wanted), command);
}

// The lines of one snapshot that the other lacks, marked with the side that has them.
std::wstring SnapshotDiff(const std::wstring& after, const std::wstring& before) {
    const auto lines = [](const std::wstring& text) {
        std::vector<std::wstring> out(1);
        for (wchar_t ch : text) {
            if (ch == L'\n')
                out.emplace_back();
            else
                out.back() += ch;
        }
        return out;
    };
    const std::vector<std::wstring> a = lines(after), b = lines(before);
    std::wstring diff;
    for (const std::wstring& line : a)
        if (std::find(b.begin(), b.end(), line) == b.end()) diff += L"+ " + line + L"\n";
    for (const std::wstring& line : b)
        if (std::find(a.begin(), a.end(), line) == a.end()) diff += L"- " + line + L"\n";
    return diff;
}

// Once the uninstaller has ended: its folders are gone and the machine is as it was before.
void CheckRestored(Context& c, const std::wstring& before) {
    c.Check(WaitUntilGone(L"C:\\Korvel", 30000), "the uninstaller and its folders are gone after it ended");
    const std::wstring after = MachineSnapshot();
    c.Check(after == before, "the machine is as it was before the install", SnapshotDiff(after, before));
}

// The undo record of an install made with administrator rights (as every run under Wine is):
// in its protected folder under ProgramData, one per install folder. Empty when there is none.
std::wstring ProtectedRecord() {
    WIN32_FIND_DATAW found;
    const std::wstring records = L"C:\\ProgramData\\Korvel-Tarnwick\\";
    HANDLE find = ::FindFirstFileW((records + L"????????????????").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return std::wstring();
    ::FindClose(find);
    const std::wstring record = records + found.cFileName + L"\\uninstall.dat";
    return IsFile(record) ? record : std::wstring();
}

void CheckInstalledForUninstall(Context& c) {
    c.Check(IsFile(L"C:\\Korvel\\Korvel-Tarnwick\\uninstall.exe"), "the uninstaller is installed");
    c.Check(!ProtectedRecord().empty(), "the undo record is written, in its protected folder");
    c.Check(!IsFile(L"C:\\Korvel\\Korvel-Tarnwick\\uninstall.dat"), "none lies beside the uninstaller");
    std::wstring location;
    c.Check(ReadString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"InstallLocation", location) &&
                location == L"C:\\Korvel\\Korvel-Tarnwick",
            "the entry in the list of programs names the folder", location);
    DWORD noModify = 0;
    c.Check(ReadDword(HKEY_LOCAL_MACHINE, kUninstallEntry, L"NoModify", noModify) && noModify == 1, "NoModify = 1");
    std::wstring version;
    c.Check(ReadString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"DisplayVersion", version) &&
                !version.empty() && version == VersionResourceText(c.setupBuilt, L"ProductVersion"),
            "the entry shows the version of the exe's version resource", version);
    // What management tools detect the install by: the version's numbers, today's date, a size.
    DWORD major = 0, minor = 0, size = 0;
    const std::size_t dot = version.find(L'.');
    const bool numbers = ReadDword(HKEY_LOCAL_MACHINE, kUninstallEntry, L"VersionMajor", major) &&
                         ReadDword(HKEY_LOCAL_MACHINE, kUninstallEntry, L"VersionMinor", minor);
    c.Check(numbers && dot != std::wstring::npos && major == std::wcstoul(version.c_str(), nullptr, 10) &&
                minor == std::wcstoul(version.c_str() + dot + 1, nullptr, 10),
            "VersionMajor and VersionMinor are the DisplayVersion's numbers",
            std::to_wstring(major) + L"." + std::to_wstring(minor));
    SYSTEMTIME today{};
    ::GetLocalTime(&today);
    wchar_t date[16];
    std::swprintf(date, 16, L"%04d%02d%02d", today.wYear, today.wMonth, today.wDay);
    std::wstring installDate;
    c.Check(ReadString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"InstallDate", installDate) && installDate == date,
            "InstallDate is today, yyyymmdd", installDate);
    const bool sized = ReadDword(HKEY_LOCAL_MACHINE, kUninstallEntry, L"EstimatedSize", size);
    c.Check(sized && size > 0, "EstimatedSize in KB", std::to_wstring(size));
    // Where tools look for the edition's programs: an x86 program on a 64-bit Windows in the
    // 32-bit view (the 64-bit view's Wow6432Node), any other in the native one.
    const std::wstring native = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel-Tarnwick";
    const std::wstring view32 = L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel-Tarnwick";
    const bool wow64 = OnWow64();
    c.Check(KeyExists(HKEY_LOCAL_MACHINE, wow64 ? view32 : native, KEY_WOW64_64KEY) &&
                !(wow64 && KeyExists(HKEY_LOCAL_MACHINE, native, KEY_WOW64_64KEY)),
            wow64 ? "the entry is in the 32-bit view only" : "the entry is in the native view");
}

// Runs the uninstaller as a user would: Yes to its question, OK to its report; checks the texts
// and that it ends with 0. printed: the texts are also printed, for the demo.
bool UninstallAnswering(Context& c, const std::wstring& exe, const std::wstring& arguments,
                        const std::wstring& shots, bool printed) {
    Process uninstall;
    if (!c.Check(uninstall.Start(exe, arguments, L"C:\\"), "the uninstaller starts")) return false;
    MessageBoxInfo box;
    if (c.Check(WaitForProcessMessageBox(uninstall.id(), kBoxTimeout, box), "it asks first")) {
        c.Check(box.text.find(L"\u786E\u5B9A\u8981\u5378\u8F7D") != std::wstring::npos, "asks to uninstall", box.text);  // 确定要卸载
        c.CheckText(box.caption, kSetupMessageCaption, "caption");
        c.Check(::GetDlgItem(box.box, IDYES) && ::GetDlgItem(box.box, IDNO), "Yes and No");
        if (printed) std::printf("asked: %s\n", Utf8(box.text).c_str());
        c.Screenshot(box.box, shots + L"confirm");
        AnswerMessageBox(box, IDYES);
    }
    if (c.Check(WaitForProcessMessageBox(uninstall.id(), 60000, box), "it says it is done")) {
        c.Check(box.text.find(L"\u5DF2\u5378\u8F7D") != std::wstring::npos, "uninstalled", box.text);  // 已卸载
        if (printed) std::printf("told: %s\n", Utf8(box.text).c_str());
        c.Screenshot(box.box, shots + L"done");
        AnswerMessageBox(box, IDOK);
    }
    return c.CheckExit(uninstall, 0, "the uninstall ends with 0");
}

// Install, then uninstall from the entry's UninstallString as Programs and Features does: asked
// first, then the machine is byte for byte as before, the host's own driver included.
void UninstallFromTheEntry(Context& c) {
    const std::wstring program = UninstallWorld(c);
    const std::wstring before = MachineSnapshot();
    if (!InstallWithDefaults(c, program)) return;
    CheckInstalledForUninstall(c);
    const std::wstring installed = MachineSnapshot();
    c.Check(installed != before && installed.find(L"Korvel-Tarnwick\\uninstall.exe") != std::wstring::npos &&
                installed.find(L"Drv\\pdfplot9.hdi") != std::wstring::npos,
            "the snapshot sees what the install changed");
    std::wstring exe, arguments;
    if (!EntryCommand(c, L"UninstallString", L"/uninstall", exe, arguments)) return;
    if (!UninstallAnswering(c, exe, arguments, L"uninstall-", false)) return;
    CheckRestored(c, before);
}

// The QuietUninstallString: no window at any moment, exit 0, and the machine as before.
void UninstallQuiet(Context& c) {
    const std::wstring program = UninstallWorld(c);
    const std::wstring before = MachineSnapshot();
    if (!InstallWithDefaults(c, program)) return;
    std::wstring exe, arguments;
    if (!EntryCommand(c, L"QuietUninstallString", L"/uninstall /S", exe, arguments)) return;
    // Started in its own folder, as from Explorer: that must not keep the folder from going.
    bool windowSeen = false;
    c.Check(RunUnattended(c, exe, arguments, windowSeen) == 0, "the quiet uninstall ends with 0");
    c.Check(!windowSeen, "no window at any moment");
    // It moved itself out of the way first: nothing of the plug-in is left once it has ended.
    c.Check(!IsFolder(L"C:\\Korvel"), "the folders are gone when the uninstaller ends");
    CheckRestored(c, before);
}

// While AutoCAD runs: refused once (Cancel keeps everything), quiet: exit 3 and nothing
// changed; once it has ended, the package's SetUp.exe /uninstall /S removes everything.
void UninstallHostRunning(Context& c) {
    const std::wstring program = UninstallWorld(c);
    const std::wstring before = MachineSnapshot();
    if (!InstallWithDefaults(c, program)) return;
    const std::wstring installed = MachineSnapshot();
    Process host;
    StartHost(c, host);
    const std::wstring uninstaller = L"C:\\Korvel\\Korvel-Tarnwick\\uninstall.exe";
    Process gui;
    if (c.Check(gui.Start(uninstaller, L"/uninstall", L"C:\\"), "the uninstaller starts")) {
        MessageBoxInfo box;
        if (c.Check(WaitForProcessMessageBox(gui.id(), kBoxTimeout, box), "it asks first")) AnswerMessageBox(box, IDYES);
        if (c.Check(WaitForProcessMessageBox(gui.id(), kBoxTimeout, box), "a refusal while the host runs")) {
            c.Check(box.text.find(L"\u8BF7\u5173\u95EDAutoCAD") != std::wstring::npos, "asks to close AutoCAD", box.text);  // 请关闭AutoCAD
            c.Check(::GetDlgItem(box.box, IDRETRY) && ::GetDlgItem(box.box, IDCANCEL), "Retry and Cancel");
            c.Screenshot(box.box, L"uninstall-host-running");
            AnswerMessageBox(box, IDCANCEL);
        }
        c.CheckExit(gui, 2, "Cancel ends the uninstall with 2");
    }
    Process quiet;
    if (c.Check(quiet.Start(uninstaller, L"/uninstall /S", L"C:\\"), "the quiet uninstall starts"))
        c.CheckExit(quiet, 3, "quiet, the running host ends it with 3");
    c.Check(MachineSnapshot() == installed, "nothing was changed while the host runs");
    host.Terminate();
    Process package;
    if (c.Check(package.Start(program, L"/uninstall /S", L"C:\\pkg"), "SetUp.exe /uninstall /S from the package"))
        c.CheckExit(package, 0, "it uninstalls with 0");
    CheckRestored(c, before);
}

// The package's quiet uninstall, through the entry in the list of programs.
bool UninstallFromPackage(Context& c, const std::wstring& program, const std::string& what) {
    Process package;
    return c.Check(package.Start(program, L"/uninstall /S", L"C:\\pkg"), "SetUp.exe /uninstall /S starts") &&
           c.CheckExit(package, 0, what);
}

// Killed while a copy-failure message is up (as Task Manager or a power cut would end it): the
// run is listed, and the package's quiet uninstall puts the machine back as it was.
void KilledInstall(Context& c) {
    const std::wstring program = UninstallWorld(c);
    BlockPayload({L"Korvel2019.ARX"});
    const std::wstring before = MachineSnapshot();
    Setup setup;
    if (!Launch(c, program, setup)) return;
    Click(setup.dialog, kInstall);
    MessageBoxInfo box;
    if (!c.Check(WaitForMessageBox(setup.dialog, kBoxTimeout, box), "a copy failure message")) return;
    c.Check(IsFile(L"C:\\Korvel\\Korvel-Tarnwick\\ACAD2007.dll"), "files were copied before the failure");
    setup.process.Terminate();
    c.Check(setup.process.Wait(10000) != -1, "the install is killed");
    std::wstring location;
    c.Check(ReadString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"InstallLocation", location) &&
                location == L"C:\\Korvel\\Korvel-Tarnwick",
            "the killed install is listed", location);
    if (!UninstallFromPackage(c, program, "the killed install is uninstalled with 0")) return;
    const std::wstring after = MachineSnapshot();
    c.Check(after == before, "the machine is as it was before the install", SnapshotDiff(after, before));
}

// Installed into C:\Korvel, then into C:\Second; uninstalled oldest first: each ends with 0, no
// loader key, entry or trusted path of either is left, and the machine is as before. The watched
// release's loader key has a sub-key before either install (as demand-load keys have), so that
// neither can delete it and both write over its values: the last uninstall still leaves no loader
// into the removed folders.
void OldestFirst(Context& c) {
    const std::wstring program = UninstallWorld(c);
    HKEY commands = nullptr;
    if (c.Check(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (LoaderKey(c, NewestOffered(c)) + L"\\Commands").c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &commands, nullptr) == ERROR_SUCCESS,
                "a sub-key below the loader key"))
        ::RegCloseKey(commands);
    const std::wstring before = MachineSnapshot();
    bool windowSeen = false;
    if (!c.Check(RunUnattended(c, program, L"/S", windowSeen) == 0, "the first install ends with 0")) return;
    if (!c.Check(RunUnattended(c, program, L"/S /D=C:\\Second", windowSeen) == 0, "the second ends with 0")) return;
    c.Check(RunUnattended(c, L"C:\\Korvel\\Korvel-Tarnwick\\uninstall.exe", L"/uninstall /S", windowSeen) == 0,
            "the older install is uninstalled with 0");
    c.Check(WaitUntilGone(L"C:\\Korvel", 30000), "its folder is gone");
    std::wstring loader;
    const Product& watched = NewestOffered(c);
    const std::wstring module =
        L"C:\\Second\\Korvel-Tarnwick\\Korvel" + std::to_wstring(ReleaseOf(watched.year).arxYear) + L".ARX";
    c.Check(ReadString(HKEY_LOCAL_MACHINE, LoaderKey(c, watched), L"LOADER", loader) && loader == module,
            "the newer install still loads (AutoCAD " + std::to_string(watched.year) + ")", loader);
    if (!UninstallFromPackage(c, program, "the newer install is uninstalled with 0")) return;
    c.Check(WaitUntilGone(L"C:\\Second", 30000), "its folder is gone");
    CheckRestored(c, before);
}

// A release deployed after the plug-in: the same /S command run again registers it and changes
// nothing else (no new backup; the entry as it was), and one uninstall then removes both runs.
void ReleaseAddedLater(Context& c) {
    const std::wstring program = UninstallWorld(c);
    const Product& added = NewestOffered(c);
    std::wstring name, location;
    c.Check(ReadString(HKEY_LOCAL_MACHINE, added.key, L"ProductName", name) &&
                ReadString(HKEY_LOCAL_MACHINE, added.key, L"AcadLocation", location) &&
                ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, added.key) == ERROR_SUCCESS,
            "AutoCAD " + std::to_string(added.year) + " not yet deployed");
    const std::wstring before = MachineSnapshot();
    bool windowSeen = false;
    if (!c.Check(RunUnattended(c, program, L"/S", windowSeen) == 0, "the install ends with 0")) return;
    c.Check(!KeyExists(HKEY_LOCAL_MACHINE, LoaderKey(c, added)), "the release not yet there is not registered");
    const std::wstring record = ProtectedRecord();
    const std::wstring backups = record.substr(0, record.rfind(L'\\')) + L"\\uninstall-backup";
    const std::wstring entry = RegistrySnapshot(HKEY_LOCAL_MACHINE, kUninstallEntry);
    const std::wstring kept = FileSnapshot(backups);

    c.Check(SetString(HKEY_LOCAL_MACHINE, added.key, L"ProductName", name) &&
                SetString(HKEY_LOCAL_MACHINE, added.key, L"AcadLocation", location),
            "AutoCAD " + std::to_string(added.year) + " deployed");
    c.Check(RunUnattended(c, program, L"/S", windowSeen) == 0, "the same command again ends with 0");
    std::wstring loader;
    c.Check(ReadString(HKEY_LOCAL_MACHINE, LoaderKey(c, added), L"LOADER", loader) &&
                loader.rfind(L"C:\\Korvel\\Korvel-Tarnwick\\", 0) == 0,
            "the new release is registered", loader);
    c.Check(FileSnapshot(backups) == kept, "no new backup", FileSnapshot(backups));
    // The entry as it was, but for the releases it names: the new one among them now.
    std::wstring releases;
    c.Check(ReadString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"Releases", releases) &&
                releases.find(std::to_wstring(added.year)) != std::wstring::npos,
            "the entry's Releases names the new release", releases);
    const auto withoutReleases = [](std::wstring snapshot) {
        const std::size_t at = snapshot.find(L"\"Releases\"");
        return at == std::wstring::npos ? snapshot : snapshot.erase(at, snapshot.find(L'\n', at) + 1 - at);
    };
    c.Check(withoutReleases(RegistrySnapshot(HKEY_LOCAL_MACHINE, kUninstallEntry)) == withoutReleases(entry),
            "the entry as it was otherwise",
            SnapshotDiff(RegistrySnapshot(HKEY_LOCAL_MACHINE, kUninstallEntry), entry));
    if (!UninstallFromPackage(c, program, "one uninstall removes both runs with 0")) return;
    c.Check(::RegDeleteTreeW(HKEY_LOCAL_MACHINE, added.key) == ERROR_SUCCESS, "the release taken away again");
    CheckRestored(c, before);
}

// A file's bytes (empty when it cannot be read).
std::string FileBytes(const std::wstring& path) {
    std::string content;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return content;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    ::CloseHandle(file);
    return content;
}

bool AppendBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    ::CloseHandle(file);
    return ok;
}

// Each value that starts the uninstaller (the entry's two commands, the component's StubPath)
// names uninstaller; what: how the check calls it.
void CheckUninstallerNamed(Context& c, const std::wstring& uninstaller, const std::string& what) {
    for (const auto& value : {std::make_pair(kUninstallEntry, L"UninstallString"),
                              std::make_pair(kUninstallEntry, L"QuietUninstallString"),
                              std::make_pair(kActiveSetup, L"StubPath")}) {
        std::wstring command;
        c.Check(ReadString(HKEY_LOCAL_MACHINE, value.first, value.second, command) &&
                    command.rfind(L"\"" + uninstaller + L"\"", 0) == 0,
                Utf8(value.second) + " names " + what, command);
    }
}

// Three installs of one package into one folder: no more files than one, and one uninstall. The
// later two are of newer builds, while other programs hold each uninstaller placed so far: the
// first open for reading (as a user may, or run it), the second mapped, its handles closed. Each
// stays as it was, and each newer build's copy goes beside them, named by every value.
void ThreeRepeats(Context& c) {
    const std::wstring program = UninstallWorld(c);
    const std::wstring before = MachineSnapshot();
    const auto files = [] {
        const std::wstring snapshot = FileSnapshot(L"C:\\Korvel");
        return std::count(snapshot.begin(), snapshot.end(), L'\n');
    };
    const std::wstring folder = L"C:\\Korvel\\Korvel-Tarnwick\\";
    long once = 0;
    HANDLE held = INVALID_HANDLE_VALUE;
    const void* view = nullptr;
    for (int run = 1; run <= 3; ++run) {
        bool windowSeen = false;
        if (!c.Check(RunUnattended(c, program, L"/S", windowSeen) == 0, "install " + std::to_string(run) + " ends with 0"))
            break;
        if (run == 1) {
            once = files();
            held = ::CreateFileW((folder + L"uninstall.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
            c.Check(held != INVALID_HANDLE_VALUE, "the uninstaller held open");
        } else if (run == 2) {
            HANDLE file = ::CreateFileW((folder + L"uninstall-2.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
            HANDLE mapping = file == INVALID_HANDLE_VALUE ? nullptr : ::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
            view = mapping == nullptr ? nullptr : ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
            if (mapping != nullptr) ::CloseHandle(mapping);
            if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
            c.Check(view != nullptr, "the second uninstaller mapped by another program");
        }
        if (run < 3) c.Check(AppendBytes(program, std::string(16, '\0')), "a newer build in the package");
    }
    c.Check(files() == once + 2, "three installs leave two files more than one: the newer uninstallers",
            std::to_wstring(files()) + L" against " + std::to_wstring(once));
    const std::wstring third = folder + L"uninstall-3.exe";
    CheckUninstallerNamed(c, third, "the newest build's uninstaller");
    c.Check(FileBytes(third) == FileBytes(program) && FileBytes(folder + L"uninstall.exe") != FileBytes(program),
            "which holds the newest build's bytes; the held one is as it was");
    if (held != INVALID_HANDLE_VALUE) ::CloseHandle(held);
    if (view != nullptr) ::UnmapViewOfFile(view);
    if (!UninstallFromPackage(c, program, "one uninstall undoes the three with 0")) return;
    CheckRestored(c, before);
}

// While one install waits at a copy-failure message, a second setup (quiet or not) and an
// uninstall are refused with 10 and change nothing; the first then goes on. The mutex earlier
// versions took, made and held first by another program (any user may make one), refuses no run.
void SecondRunRefused(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    SECURITY_ATTRIBUTES everyone{sizeof everyone, nullptr, FALSE};
    const HANDLE squatted = ::CreateMutexW(&everyone, TRUE, L"Global\\Korvel-Tarnwick-Setup");
    c.Check(squatted != nullptr, "a global mutex of the old name, held");
    bool quiet = false;
    c.Check(RunUnattended(c, program, L"/S /D=C:\\Held", quiet) == 0, "an install beside it ends with 0");
    c.Check(RunUnattended(c, L"C:\\Held\\Korvel-Tarnwick\\uninstall.exe", L"/uninstall /S", quiet) == 0,
            "and its uninstall with 0");
    if (squatted != nullptr) ::CloseHandle(squatted);
    BlockPayload({L"Korvel2019.ARX"});
    Setup setup;
    if (!Launch(c, program, setup)) return;
    Click(setup.dialog, kInstall);
    MessageBoxInfo box;
    if (!c.Check(WaitForMessageBox(setup.dialog, kBoxTimeout, box), "a copy failure message")) return;
    const std::wstring waiting = MachineSnapshot();
    bool windowSeen = false;
    c.Check(RunUnattended(c, program, L"/S /D=C:\\Other", windowSeen) == 10, "a quiet second setup ends with 10");
    c.Check(!windowSeen, "and shows no window");
    c.Check(!IsFolder(L"C:\\Other"), "it made no folder");
    Process second;
    if (c.Check(second.Start(program, L"", L"C:\\pkg"), "a second setup starts")) {
        MessageBoxInfo refusal;
        if (c.Check(WaitForProcessMessageBox(second.id(), kBoxTimeout, refusal), "it says another runs")) {
            c.Check(refusal.text.find(L"\u6B63\u5728\u8FD0\u884C") != std::wstring::npos, "正在运行", refusal.text);
            c.CheckText(refusal.caption, kSetupMessageCaption, "caption");
            c.Screenshot(refusal.box, L"already-running");
            AnswerMessageBox(refusal, IDOK);
        }
        c.CheckExit(second, 10, "the second setup ends with 10");
    }
    Process uninstall;
    if (c.Check(uninstall.Start(program, L"/uninstall /S", L"C:\\pkg"), "an uninstall starts"))
        c.CheckExit(uninstall, 10, "the uninstall ends with 10");
    c.Check(RunUnattended(c, program, L"/S /X", windowSeen) == 1, "a bad command line meanwhile ends with 1");
    c.Check(MachineSnapshot() == waiting, "nothing was changed by the refused runs");
    AnswerMessageBox(box, IDABORT);
    c.CheckExit(setup.process, 5, "the first run goes on to its end");
    // Each refused run added its lines to the running one's log, which stayed where it was.
    const std::wstring log = ReadUtf8File(DefaultLogPath());
    std::size_t refused = 0;
    for (std::size_t at = log.find(L"refused: another setup"); at != std::wstring::npos; at = log.find(L"refused: another setup", at + 1))
        ++refused;
    c.Check(refused == 3, "the three refused runs' lines are in the running one's log", std::to_wstring(refused));
    c.Check(log.find(L"bad command line: unknown option: /X") != std::wstring::npos, "and the bad command line's");
    c.Check(ReadUtf8File(DefaultLogPath() + L".1").find(L"refused: another setup") == std::wstring::npos,
            "none of them set a log aside");
    c.Check(log.find(L"command line: \"C:\\pkg\\SetUp.exe\"\r\n") < log.find(L"refused: another setup"),
            "after the running one's first lines");
    const std::size_t last = log.rfind(L"exit code 5: ");
    c.Check(last != std::wstring::npos && log.find(L"\r\n", last) + 2 == log.size(), "which ends with its own exit code");
}

// A program of a user's, planted as uninstall.exe in a plug-in folder at a drive's root and held
// open for reading (as any program that reads a file holds it): no record accounts for it, so it
// is never written over; it is kept as it is, the uninstaller goes under the next name, and no
// value names the planted program; the uninstall leaves it. Once it is gone, an install places
// uninstall.exe again, and every value that names the uninstaller names the setup program's bytes.
void PlantedUninstaller(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    const std::wstring planted = L"C:\\Korvel-Tarnwick\\uninstall.exe";
    c.Check(MakeFolders(L"C:\\Korvel-Tarnwick") && WriteTextFile(planted, "a user's program"), "a planted uninstaller");
    HANDLE held = ::CreateFileW(planted.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    c.Check(held != INVALID_HANDLE_VALUE, "held open for reading, sharing everything");
    bool windowSeen = false;
    c.Check(RunUnattended(c, program, L"/S /D=C:\\", windowSeen) == 0, "the install ends with 0");
    ::CloseHandle(held);
    const auto bytes = FileBytes;
    c.Check(ReadUtf8File(planted) == L"a user's program", "the planted file is left as it was");
    for (const auto& value : {std::make_pair(kUninstallEntry, L"UninstallString"),
                              std::make_pair(kActiveSetup, L"StubPath")}) {
        std::wstring command;
        c.Check(ReadString(HKEY_LOCAL_MACHINE, value.first, value.second, command) &&
                    command.rfind(L"\"C:\\Korvel-Tarnwick\\uninstall-2.exe\"", 0) == 0 &&
                    bytes(L"C:\\Korvel-Tarnwick\\uninstall-2.exe") == bytes(program),
                Utf8(value.second) + " names the setup program's copy under the next name", command);
    }
    c.Check(ReadUtf8File(DefaultLogPath()).find(L"uninstaller C:\\Korvel-Tarnwick\\uninstall.exe kept") != std::wstring::npos,
            "the log says why");
    c.Check(UninstallFromPackage(c, program, "its uninstall ends with 0") &&
                ReadUtf8File(planted) == L"a user's program" && !IsFile(L"C:\\Korvel-Tarnwick\\uninstall-2.exe"),
            "and leaves the planted file alone");
    ::DeleteFileW(planted.c_str());

    // The package's folder is a user's (the install runs over their shoulder), with a program of
    // theirs under the uninstaller's name in it: never copied over the one the values name.
    c.Check(::CopyFileW(c.driverPath.c_str(), L"C:\\pkg\\Data\\uninstall.exe", FALSE) != FALSE,
            "a user's program as Data\\uninstall.exe in the package");
    c.Check(RunUnattended(c, program, L"/S /D=C:\\", windowSeen) == 0, "not held: the install ends with 0");
    ::DeleteFileW(L"C:\\pkg\\Data\\uninstall.exe");
    // Its short (8.3) spelling, which anyone may read off the folder ("UNINST~1.EXE"; Wine hashes
    // it), for a user's program in the package: it is never copied over the uninstaller.
    wchar_t spelt[MAX_PATH] = {};
    const DWORD got = ::GetShortPathNameW(planted.c_str(), spelt, MAX_PATH);
    std::wstring shortName(spelt, got < MAX_PATH ? got : 0);
    shortName = shortName.substr(shortName.rfind(L'\\') + 1);
    if (c.Check(got > 0 && got < MAX_PATH && _wcsicmp(shortName.c_str(), L"uninstall.exe") != 0,
                "the uninstaller has a short spelling", shortName)) {
        const std::wstring aliased = L"C:\\pkg\\Data\\" + shortName;
        c.Check(::CopyFileW(c.driverPath.c_str(), aliased.c_str(), FALSE) != FALSE, "a user's program under it in the package");
        const int code = RunUnattended(c, program, L"/S /D=C:\\", windowSeen);
        ::DeleteFileW(aliased.c_str());
        c.Check(code == 5, "a repair stops at it, as at a file it could not copy (5)", std::to_wstring(code));
    }
    c.Check(bytes(planted) == bytes(program), "uninstall.exe holds the setup program's bytes");
    CheckUninstallerNamed(c, planted, "the setup program's copy");

    // The program itself swapped in its download folder while its dialog waits (renamed away, a
    // user's program put at its path): the running program holds its file, so the swap fails,
    // and the uninstaller is its own bytes all the same.
    const std::string own = bytes(program);
    Setup setup;
    if (!Launch(c, program, setup)) return;
    const bool renamed = ::MoveFileW(program.c_str(), L"C:\\pkg\\SetUp-renamed.exe") != FALSE;
    c.Check(!renamed, "the running program's file cannot be renamed away");
    if (renamed) ::CopyFileW(c.driverPath.c_str(), program.c_str(), FALSE);
    SetControlText(setup.dialog, kFolderEdit, L"C:\\Swapped");
    Click(setup.dialog, kInstall);
    if (c.Check(WaitForFinishedView(c, setup.dialog, 60000), "the install finishes")) Click(setup.dialog, kOk);
    c.CheckExit(setup.process, 0, "and ends with 0");
    c.Check(bytes(L"C:\\Swapped\\Korvel-Tarnwick\\uninstall.exe") == own, "its uninstaller is the program's own bytes");

    // A repair started through a folder link (made by the harness: C:\pkgs\cur names
    // C:\pkgs\real), which its user points at a folder of theirs while the dialog waits, as a
    // junction can be: the held file stays, but the program's path now leads to the user's program.
    // Its copy is not the program's own bytes: the repair stops, and the uninstaller the entry and
    // the component name stays the program's own.
    c.Check(RunUnattended(c, program, L"/S /D=C:\\Relinked", windowSeen) == 0, "an install into C:\\Relinked");
    std::wstring entryBefore;
    ReadString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"UninstallString", entryBefore);
    for (const wchar_t* to : {L"C:\\pkgs\\real", L"C:\\pkgs\\evil"}) {
        const std::wstring data = std::wstring(to) + L"\\Data";
        MakeFolders(data);
        for (std::wstring name : PayloadFiles())
            ::CopyFileW((L"C:\\pkg\\Data\\" + name).c_str(), (data + L"\\" + name).c_str(), FALSE);
        for (const wchar_t* name : {L"SetUp.EXE", L"Korvel_EN.shx", L"Korvel_HZ.shx"})
            ::CopyFileW((std::wstring(L"C:\\pkg\\Data\\") + name).c_str(), (data + L"\\" + name).c_str(), FALSE);
    }
    c.Check(::CopyFileW(program.c_str(), L"C:\\pkgs\\real\\SetUp.exe", FALSE) &&
                ::CopyFileW(c.driverPath.c_str(), L"C:\\pkgs\\evil\\SetUp.exe", FALSE) &&
                bytes(L"C:\\pkgs\\cur\\SetUp.exe") == own,
            "the package behind a folder link, and a user's program in another folder");
    Setup linked;
    if (!Launch(c, L"C:\\pkgs\\cur\\SetUp.exe", linked)) return;
    WriteTextFile(L"C:\\pkgs\\swap-now", "");  // the harness re-points the link
    for (int i = 0; i < 300 && !IsFile(L"C:\\pkgs\\swapped"); ++i) ::Sleep(100);
    c.Check(bytes(L"C:\\pkgs\\cur\\SetUp.exe") == bytes(c.driverPath), "the program's path leads to the user's program");
    SetControlText(linked.dialog, kFolderEdit, L"C:\\Relinked");
    Click(linked.dialog, kInstall);
    MessageBoxInfo box;
    if (c.Check(WaitForMessageBox(linked.dialog, 60000, box), "the install stops with a message")) {
        c.Screenshot(box.box, L"relinked-stop");
        AnswerMessageBox(box, IDOK);
    }
    if (WaitForFinishedView(c, linked.dialog, 10000)) Click(linked.dialog, kOk);
    c.CheckExit(linked.process, 5, "and ends with 5");
    c.Check(bytes(L"C:\\Relinked\\Korvel-Tarnwick\\uninstall.exe") == own, "the uninstaller is the program's own still");
    std::wstring entry, stub;
    c.Check(ReadString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"UninstallString", entry) && entry == entryBefore &&
                entry.find(L"C:\\Relinked\\Korvel-Tarnwick\\uninstall.exe") != std::wstring::npos,
            "the entry names it as before", entry);
    c.Check(ReadString(HKEY_LOCAL_MACHINE, kActiveSetup, L"StubPath", stub) &&
                stub.find(L"C:\\Relinked\\Korvel-Tarnwick\\uninstall.exe") != std::wstring::npos,
            "and so does the component", stub);

    // A user's hard link, in a folder of theirs, to the uninstaller they may read: the next
    // install takes that name away and makes the uninstaller anew, and the link writes nothing.
    c.Check(MakeFolders(L"C:\\Mallory") &&
                ::CreateHardLinkW(L"C:\\Mallory\\u.exe", L"C:\\Relinked\\Korvel-Tarnwick\\uninstall.exe", nullptr),
            "a user's hard link to the uninstaller");
    c.Check(RunUnattended(c, program, L"/S /D=C:\\Relinked", windowSeen) == 0, "a repair ends with 0");
    c.Check(bytes(L"C:\\Relinked\\Korvel-Tarnwick\\uninstall.exe") == own && bytes(L"C:\\Mallory\\u.exe") == own,
            "the uninstaller is the program's own, made anew; the link's file as it was");
}

// --- What a standard user of the machine may plant for an elevated uninstall ---

std::uint32_t Crc32(const std::string& text) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char ch : text) {
        crc ^= ch;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A record line as the program writes one: fields, tabs, and the checksum of the rest.
std::string SealedLine(const std::string& body) {
    char seal[16];
    std::snprintf(seal, sizeof seal, "\t#%08x", static_cast<unsigned>(Crc32(body)));
    return body + seal + "\n";
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char ch : text) out += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
    return out;
}

std::string FileLine(const std::string& path, const std::string& content) {
    return SealedLine("file\t" + Escaped(path) + "\t" + std::to_string(content.size()) + "\t" + Sha256Hex(content));
}

const wchar_t kForgedKey[] = L"SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Applications\\Korvel2099";

// Three forged lines, each with a right checksum: a file outside the install reached by "/..",
// one cut short by a NUL behind a support file's name, and a Korvel loader key made again with
// a user's program as its loader.
std::string ForgedLines(const std::string& folder) {
    std::string hex;
    const std::string loader = std::string("C:\\Users\\Public\\evil.arx") + '\0';
    for (unsigned char ch : loader) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", ch);
        hex += digits;
    }
    return FileLine(folder + "\\x/../../../../Victim/a.dll", "victim a") +
           FileLine(std::string("C:\\Victim\\b.dll") + '\0' + "\\ACAD2022.DLL", "victim b") +
           SealedLine("keydeleted\tHKLM\t" + Escaped(Utf8(kForgedKey)) + "\tLOADER\t1:" + hex);
}

void PlantVictims(Context& c) {
    c.Check(MakeFolders(L"C:\\Victim") && WriteTextFile(L"C:\\Victim\\a.dll", "victim a") &&
                WriteTextFile(L"C:\\Victim\\b.dll", "victim b") && MakeFolders(L"C:\\Users\\Public") &&
                WriteTextFile(L"C:\\Users\\Public\\evil.arx", "a user's program"),
            "the victims and the user's program");
}

void CheckVictimsUntouched(Context& c) {
    c.Check(IsFile(L"C:\\Victim\\a.dll") && IsFile(L"C:\\Victim\\b.dll"), "every victim is still there");
    c.Check(!KeyExists(HKEY_LOCAL_MACHINE, kForgedKey), "no loader key was made for the user's program");
}

// An unattended install, three forged lines appended to its record, then the quiet uninstall as
// an administrator runs it: refused with 7, and nothing changed.
void UninstallForgedRecord(Context& c) {
    const std::wstring program = UninstallWorld(c);
    PlantVictims(c);
    bool windowSeen = false;
    if (!c.Check(RunUnattended(c, program, L"/S", windowSeen) == 0, "the unattended install ends with 0")) return;
    const std::wstring record = ProtectedRecord();
    if (!c.Check(!record.empty() && AppendBytes(record, ForgedLines("C:\\Korvel\\Korvel-Tarnwick")),
                 "three forged lines appended to the record", record))
        return;
    const std::wstring installed = MachineSnapshot();
    std::wstring exe, arguments;
    if (!EntryCommand(c, L"QuietUninstallString", L"/uninstall /S", exe, arguments)) return;
    c.Check(RunUnattended(c, exe, arguments, windowSeen) == 7, "the uninstall refuses the record with 7");
    CheckVictimsUntouched(c);
    c.Check(MachineSnapshot() == installed, "the install is as it was");
}

// A user's own entry in the list of programs, naming a folder of theirs with a record in it: an
// elevated "SetUp.exe /uninstall" does not look at it.
void UninstallPlantedUserEntry(Context& c) {
    const std::wstring program = UninstallWorld(c);
    PlantVictims(c);
    const std::wstring planted = L"C:\\Users\\Public\\K";
    HKEY key = nullptr;
    const std::wstring location = planted;
    c.Check(MakeFolders(planted) &&
                WriteTextFile(planted + L"\\uninstall.dat",
                              SealedLine("Korvel-Tarnwick uninstall record\t1") + ForgedLines(Utf8(planted))) &&
                ::RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallEntry, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr) == ERROR_SUCCESS &&
                ::RegSetValueExW(key, L"InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(location.c_str()),
                                 static_cast<DWORD>((location.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS,
            "a user's entry naming a folder with a forged record");
    if (key) ::RegCloseKey(key);
    const std::wstring before = MachineSnapshot();
    bool windowSeen = false;
    c.Check(RunUnattended(c, program, L"/uninstall /S", windowSeen) == 12, "nothing installed for the machine: 12");
    CheckVictimsUntouched(c);
    c.Check(IsFile(planted + L"\\uninstall.dat"), "the user's record is neither used nor removed");
    c.Check(MachineSnapshot() == before, "nothing changed");
}

void Demo(Context& c) {
    Setup setup;
    if (!Launch(c, c.setupBuilt, setup)) return;
    std::printf("%s\n%s\n", Utf8(ReadControl(setup.dialog, kTitle).text).c_str(),
                Utf8(ReadControl(setup.dialog, kEdition).text).c_str());
    for (const Release& r : kReleases) {
        const ControlState box = ReadControl(setup.dialog, r.id);
        if (!box.visible) continue;
        std::printf("  [%s] %s%s\n", box.checked == BST_CHECKED ? "x" : " ", Utf8(box.text).c_str(),
                    box.enabled ? "" : "  (not installed)");
    }
    std::printf("install folder: %s\n", Utf8(ReadControl(setup.dialog, kFolderEdit).text).c_str());
    std::fflush(stdout);
    c.Screenshot(setup.dialog, L"1-setup-dialog");
    Click(setup.dialog, kInstall);
    if (!c.Check(WaitForFinishedView(c, setup.dialog, 60000), "the install finishes")) {
        c.Screenshot(setup.dialog, L"2-stopped");
        setup.process.Terminate();
        return;
    }
    std::printf("installed into: %s\n", Utf8(ReadControl(setup.dialog, kFolderEdit).text).c_str());
    std::printf("%s\n", Utf8(ReadControl(setup.dialog, kFinishedText).text).c_str());
    c.Screenshot(setup.dialog, L"2-finished");
    Click(setup.dialog, kOk);
    c.CheckExit(setup.process, 0, "the program ends with 0 after OK");
}
// The demo's second part: uninstall as Programs and Features would, answering as a user would.
void DemoUninstall(Context& c) {
    std::wstring exe, arguments;
    if (!EntryCommand(c, L"UninstallString", L"/uninstall", exe, arguments)) return;
    std::printf("uninstall command: \"%s\" %s\n", Utf8(exe).c_str(), Utf8(arguments).c_str());
    UninstallAnswering(c, exe, arguments, L"demo-uninstall-", true);
    c.Check(WaitUntilGone(L"C:\\Korvel", 30000), "the install folder is gone");
}

// The demo, unattended: SetUp.exe /S as an administrator's deployment would run it, watched
// for windows, then its log.
void DemoSilent(Context& c) {
    const std::wstring arguments = L"/S /LOG=C:\\KorvelPackage\\setup.log";
    std::printf("command line: SetUp.exe %s\n", Utf8(arguments).c_str());
    std::fflush(stdout);
    bool windowSeen = false;
    const int code = RunUnattended(c, c.setupBuilt, arguments, windowSeen);
    c.Check(!windowSeen, "no window was shown");
    c.Check(code == 0, "the program ends with 0", std::to_wstring(code));
    const std::wstring log = ReadUtf8File(L"C:\\KorvelPackage\\setup.log");
    std::printf("== the setup log (C:\\KorvelPackage\\setup.log)\n%s", Utf8(log).c_str());
    std::fflush(stdout);
}
// ---- Every user of the PC ------------------------------------------------------------------

const wchar_t kNewProfile[] = L"Software\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles\\Made later\\Variables";
// A user logged on now (a hive of their own under HKEY_USERS), and one who is not and whose
// profile folder is gone. (A registry loaded from its file: ProfileHivesWin32Test.)
const wchar_t kOtherUser[] = L"S-1-5-21-9-9-9-1001";
const wchar_t kAbsentUser[] = L"S-1-5-21-9-9-9-1002";
const wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";


std::wstring TrustedPaths(HKEY root, const std::wstring& variables) {
    std::wstring value;
    return ReadString(root, variables, L"TRUSTEDPATHS", value) ? value : L"<missing>";
}

// Runs a command as Active Setup would at logon: no window, and its exit code.
int RunStub(Context& c, const std::wstring& stub) {
    std::wstring exe, arguments;
    if (!c.Check(SplitCommand(stub, exe, arguments) && arguments == L"/usersetup", "StubPath is the program with /usersetup",
                 stub))
        return -1;
    bool windowSeen = false;
    const int code = RunUnattended(c, exe, arguments, windowSeen);
    c.Check(!windowSeen, "the per-user step shows no window");
    return code;
}

// An install with administrator rights registers the Active Setup component; its StubPath, run as
// Windows runs it at a user's logon, trusts the folder in a profile made after the install and
// leaves everything else in it; a second run changes nothing. Users logged on at the install get
// the folder at once. The uninstall removes the component and the folder from every profile it
// reaches, in the user's own letters, and names the users it could not reach.
void EveryUser(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    const std::wstring otherVariables = std::wstring(kOtherUser) + L"\\" + kProfile2022;
    c.Check(SetString(HKEY_USERS, otherVariables, L"TRUSTEDPATHS", L"F:\\Theirs"), "a hive of a user logged on now");
    c.Check(SetString(HKEY_LOCAL_MACHINE, kProfileList + std::wstring(kAbsentUser), L"ProfileImagePath",
                      L"C:\\users\\absent"),
            "a user who is not logged on, whose profile folder is gone");
    bool windowSeen = false;
    if (!c.Check(RunUnattended(c, program, L"/S", windowSeen) == 0, "/S ends with 0")) return;

    std::wstring stub, version, name;
    DWORD installed = 0;
    c.Check(ReadString(HKEY_LOCAL_MACHINE, kActiveSetup, L"StubPath", stub) &&
                stub == L"\"C:\\Korvel\\Korvel-Tarnwick\\uninstall.exe\" /usersetup",
            "the component's StubPath", stub);
    c.Check(ReadString(HKEY_LOCAL_MACHINE, kActiveSetup, L"Version", version) && version == L"2025,1,21,0",
            "the component's Version", version);
    c.Check(ReadString(HKEY_LOCAL_MACHINE, kActiveSetup, L"", name) && !name.empty(), "the component's name");
    c.Check(ReadDword(HKEY_LOCAL_MACHINE, kActiveSetup, L"IsInstalled", installed) && installed == 1, "IsInstalled");
    if (OnWow64()) {
        // The x86 edition on a 64-bit Windows: the 32-bit view, which Windows runs too.
        c.Check(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(L"SOFTWARE\\Wow6432Node") + (kActiveSetup + 8),
                          KEY_WOW64_64KEY),
                "the component is in the 32-bit view");
        c.Check(!KeyExists(HKEY_LOCAL_MACHINE, kActiveSetup, KEY_WOW64_64KEY), "and not in the 64-bit view");
    }
    c.Check(HoldsFolder(TrustedPaths(HKEY_USERS, otherVariables), L"C:\\Korvel\\Korvel-Tarnwick") &&
                HoldsFolder(TrustedPaths(HKEY_USERS, otherVariables), L"F:\\Theirs"),
            "the user logged on now trusts the folder", TrustedPaths(HKEY_USERS, otherVariables));

    // A profile the host makes after the install (at first start, or after a reset).
    c.Check(SetString(HKEY_CURRENT_USER, kNewProfile, L"TRUSTEDPATHS", L"D:\\Mine;E:\\Other") &&
                SetString(HKEY_CURRENT_USER, kNewProfile, L"ACADPREFIX", L"D:\\Support"),
            "a profile made after the install");
    c.Check(RunStub(c, stub) == 0, "the per-user step ends with 0");
    c.CheckText(TrustedPaths(HKEY_CURRENT_USER, kNewProfile), L"D:\\MINE;E:\\OTHER;C:\\KORVEL\\KORVEL-TARNWICK",
                "the new profile trusts the folder, its own entries kept");
    std::wstring prefix;
    c.Check(ReadString(HKEY_CURRENT_USER, kNewProfile, L"ACADPREFIX", prefix) && prefix == L"D:\\Support",
            "the profile's other values are untouched", prefix);
    const std::wstring once = RegistrySnapshot(HKEY_CURRENT_USER, L"Software\\Autodesk");
    c.Check(RunStub(c, stub) == 0, "a second run ends with 0");
    c.Check(RegistrySnapshot(HKEY_CURRENT_USER, L"Software\\Autodesk") == once, "a second run changes nothing");
    c.Check(ReadUtf8File(DefaultLogPath().substr(0, DefaultLogPath().size() - 9) + L"usersetup.log")
                    .find(L"per-user step: trusting C:\\Korvel\\Korvel-Tarnwick") != std::wstring::npos,
            "the step logs to the user's own log");

    // A repeat install raises the version, so that Windows runs the step again for everyone.
    c.Check(RunUnattended(c, program, L"/S", windowSeen) == 0, "a repeat install ends with 0");
    c.Check(ReadString(HKEY_LOCAL_MACHINE, kActiveSetup, L"Version", version) && version == L"2025,1,21,1",
            "the repeat raised the Version", version);

    std::wstring exe, arguments;
    if (!EntryCommand(c, L"QuietUninstallString", L"/uninstall /S", exe, arguments)) return;
    // The user whose profile folder is gone cannot be reached: named, and the run is incomplete.
    c.Check(RunUnattended(c, exe, arguments, windowSeen) == 8, "the quiet uninstall ends with 8");
    c.Check(!KeyExists(HKEY_LOCAL_MACHINE, kActiveSetup), "the component is gone");
    c.CheckText(TrustedPaths(HKEY_CURRENT_USER, kNewProfile), L"D:\\Mine;E:\\Other",
                "the new profile's entry is gone, its own stay as they were spelt");
    c.CheckText(TrustedPaths(HKEY_USERS, otherVariables), L"F:\\Theirs", "the logged-on user's entry is gone");
    c.Check(ReadUtf8File(DefaultLogPath()).find(L"registry not reached (their trusted paths may keep the folder): C:\\users\\absent (" +
                                                std::wstring(kAbsentUser) + L")") != std::wstring::npos,
            "the uninstall's log names the user it could not reach");
}

// A symbolic-link key name below parent (made as needed) naming target, a key of the machine's
// 64-bit view: what any user may make in their own registry.
bool MakeLinkKey(HKEY root, const std::wstring& parent, const std::wstring& name, const std::wstring& target) {
    HKEY above = nullptr, link = nullptr;
    if (::RegCreateKeyExW(root, parent.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &above,
                          nullptr) != ERROR_SUCCESS)
        return false;
    const LONG made = ::RegCreateKeyExW(above, name.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                                        KEY_ALL_ACCESS | KEY_CREATE_LINK | KEY_WOW64_64KEY, nullptr, &link, nullptr);
    ::RegCloseKey(above);
    if (made != ERROR_SUCCESS) return false;
    const std::wstring path = L"\\Registry\\Machine\\" + target;
    const LONG set = ::RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(path.c_str()),
                                      static_cast<DWORD>(path.size() * sizeof(wchar_t)));
    ::RegCloseKey(link);
    return set == ERROR_SUCCESS;
}

// The link key itself deleted, never its target.
bool DeleteLinkKey(HKEY root, const std::wstring& path) {
    using DeleteKeyFn = LONG(WINAPI*)(HANDLE);
    const auto deleteKey =
        reinterpret_cast<DeleteKeyFn>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
    HKEY key = nullptr;
    if (deleteKey == nullptr ||
        ::RegOpenKeyExW(root, path.c_str(), REG_OPTION_OPEN_LINK, DELETE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    const bool deleted = deleteKey(key) == 0;
    ::RegCloseKey(key);
    return deleted;
}

// Saves key (of the machine's 64-bit view) as a registry file, as a user's NTUSER.DAT.
bool SaveHive(const std::wstring& key, const std::wstring& file) {
    HANDLE token = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        ::LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &privileges.Privileges[0].Luid);
        ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        ::CloseHandle(token);
    }
    HKEY saved = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &saved) != ERROR_SUCCESS)
        return false;
    ::DeleteFileW(file.c_str());
    const bool ok = ::RegSaveKeyW(saved, file.c_str(), nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(saved);
    return ok;
}

// Users make keys of their own registries symbolic links to keys of the machine's, where the
// elevated uninstall deletes keys: the per-user step's record (the link itself, a level above
// it, and in the registry file of a user not logged on, which the uninstall loads) and a
// profile's Variables key that the install made. Every machine key stays; each link is named,
// and the run ends with 8.
void UserRegistryLinks(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    const wchar_t kComponents[] = L"Software\\Microsoft\\Active Setup\\Installed Components";
    const wchar_t kAbsent[] = L"S-1-5-21-9-9-9-1003";
    const std::wstring profile = std::wstring(kOtherUser) + L"\\Software\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Profiles\\Mine";
    const std::wstring staging = L"SOFTWARE\\KorvelStagedHive";
    struct Victim {
        const wchar_t* key;
        const char* what;
    } const victims[] = {
        {L"SOFTWARE\\KorvelVictim1", "the key the current user's record links to"},
        {L"SOFTWARE\\KorvelVictim2\\Installed Components\\Korvel-Tarnwick",
         "the record below the key a logged-on user's Active Setup links to"},
        {L"SOFTWARE\\KorvelVictim3", "the key a record in an absent user's registry file links to"},
        {L"SOFTWARE\\KorvelVictim4", "the empty key a logged-on user's Variables links to"},
    };
    for (const Victim& v : victims) {
        HKEY key = nullptr;
        c.Check(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, v.key, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key,
                                  nullptr) == ERROR_SUCCESS,
                std::string("a machine key: ") + v.what);
        const DWORD policy = 1;
        if (key && &v != &victims[3])
            ::RegSetValueExW(key, L"Policy", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&policy), sizeof policy);
        if (key) ::RegCloseKey(key);
    }
    c.Check(MakeLinkKey(HKEY_CURRENT_USER, kComponents, L"Korvel-Tarnwick", victims[0].key) &&
                MakeLinkKey(HKEY_USERS, std::wstring(kOtherUser) + L"\\Software\\Wow6432Node\\Microsoft", L"Active Setup",
                            L"SOFTWARE\\KorvelVictim2") &&
                MakeLinkKey(HKEY_LOCAL_MACHINE, staging + L"\\" + kComponents, L"Korvel-Tarnwick", victims[2].key),
            "the links to the per-user step's record");
    // (Windows shares a user's Software between the views; Wine's 32-bit view of it would hold
    // Wow6432Node once that exists, so the driver names the one view.)
    c.Check(SetString(HKEY_USERS, profile, L"ACADPREFIX", L"D:\\Support", KEY_WOW64_64KEY),
            "a logged-on user's profile without Variables");
    MakeFolders(L"C:\\users\\mallory");
    c.Check(SaveHive(staging, L"C:\\users\\mallory\\NTUSER.DAT") &&
                DeleteLinkKey(HKEY_LOCAL_MACHINE, staging + L"\\" + kComponents + L"\\Korvel-Tarnwick"),
            "an absent user's registry file holds one");
    c.Check(SetString(HKEY_LOCAL_MACHINE, kProfileList + std::wstring(kAbsent), L"ProfileImagePath", L"C:\\users\\mallory"),
            "ProfileList names their profile");

    bool windowSeen = false;
    if (!c.Check(RunUnattended(c, program, L"/S", windowSeen) == 0, "/S ends with 0")) return;
    const std::wstring variables = profile + L"\\Variables";
    c.Check(::RegDeleteKeyExW(HKEY_USERS, variables.c_str(), KEY_WOW64_64KEY, 0) == ERROR_SUCCESS &&
                MakeLinkKey(HKEY_USERS, profile, L"Variables", victims[3].key),
            "after the install, the profile's Variables key becomes a link");

    std::wstring exe, arguments;
    if (!EntryCommand(c, L"QuietUninstallString", L"/uninstall /S", exe, arguments)) return;
    const int code = RunUnattended(c, exe, arguments, windowSeen);
    c.Check(code == 8, "the uninstall ends with 8", std::to_wstring(code));
    for (const Victim& v : victims) c.Check(KeyExists(HKEY_LOCAL_MACHINE, v.key, KEY_WOW64_64KEY), std::string("kept: ") + v.what);
    const std::wstring log = ReadUtf8File(DefaultLogPath());
    for (const std::wstring& named :
         {std::wstring(L"left: ") + kComponents + L"\\Korvel-Tarnwick", std::wstring(kOtherUser) + L"\\Software\\Wow6432Node\\Microsoft",
          std::wstring(kAbsent) + L"\\" + kComponents + L"\\Korvel-Tarnwick", variables.substr(variables.find(L"\\AutoCAD"))})
    {
        // On a line of its own ("left: <key> (<why>)"), as a link.
        std::size_t at = log.find(L"left: ");
        for (; at != std::wstring::npos; at = log.find(L"left: ", at + 1)) {
            const std::wstring line = log.substr(at, log.find(L"\n", at) - at);
            if (line.find(named) != std::wstring::npos && line.find(L"\x94FE\x63A5") != std::wstring::npos) break;  // 链接
        }
        c.Check(at != std::wstring::npos, "the log names a link at " + Utf8(named));
    }
    c.Check(!KeyExists(HKEY_USERS, L"Korvel-Tarnwick-" + std::wstring(kAbsent)), "the absent user's registry was unloaded");
}

#ifndef KORVEL_RELEASE_BUILD
struct OtherDialog {
    DWORD notProcess;
    HWND found;
};
BOOL CALLBACK FindOtherDialog(HWND window, LPARAM lParam) {
    OtherDialog* data = reinterpret_cast<OtherDialog*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == data->notProcess || !::IsWindowVisible(window) || WindowText(window) != kDialogCaption) return TRUE;
    data->found = window;
    return FALSE;
}

// Wine always runs as an administrator; the test build's KORVEL_TEST_NOT_WRITABLE makes the loader
// keys read as not writable. Quiet, nothing is installed and the exit code is 11. In the dialog,
// Install asks; Yes starts the program again "elevated" with the folder and releases chosen,
// which installs without a second press, and the first run ends with its exit code.
void ElevationRelaunch(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    ::SetEnvironmentVariableW(L"KORVEL_TEST_NOT_WRITABLE", L"1");
    bool windowSeen = false;
    c.Check(RunUnattended(c, program, L"/S", windowSeen) == 11, "/S without the rights ends with 11");
    CheckNothingRegistered(c);
    c.Check(!IsFolder(L"C:\\Korvel"), "nothing was installed");
    c.Check(ReadUtf8File(DefaultLogPath()).find(L"not writable without administrator rights") != std::wstring::npos,
            "the log says why");

    Setup setup;
    if (!Launch(c, program, setup)) return;
    const std::wstring folder = L"C:\\Elevated Korvel";
    SetControlText(setup.dialog, kFolderEdit, folder);
    const int dropped = DefaultTicks(c).back();
    Click(setup.dialog, ReleaseOf(dropped).id);
    // AutoCAD runs: refused once, then the next press goes on; the run started again with the
    // rights is the same install, and refuses no second time.
    Process host;
    StartHost(c, host);
    Click(setup.dialog, kInstall);
    MessageBoxInfo box;
    if (c.Check(WaitForMessageBox(setup.dialog, kBoxTimeout, box), "refused once while AutoCAD runs")) {
        c.Check(box.text.find(L"\u8BF7\u5173\u95EDAutoCAD") != std::wstring::npos, "asks to close AutoCAD", box.text);
        AnswerMessageBox(box, IDOK);
    }
    Click(setup.dialog, kInstall);
    if (!c.Check(WaitForMessageBox(setup.dialog, kBoxTimeout, box), "Install asks for administrator rights")) return;
    c.Check(box.text.find(L"\u7BA1\u7406\u5458") != std::wstring::npos, "the question names the rights", box.text);  // 管理员
    c.Screenshot(box.box, L"elevation-question");
    AnswerMessageBox(box, IDYES);

    OtherDialog other{setup.process.id(), nullptr};
    for (DWORD waited = 0; waited < kStartTimeout && other.found == nullptr; waited += 100) {
        ::Sleep(100);
        ::EnumWindows(&FindOtherDialog, reinterpret_cast<LPARAM>(&other));
    }
    if (!c.Check(other.found != nullptr, "the program starts again with its dialog")) return;
    c.Check(WaitForFinishedView(c, other.found, 60000), "it installs without a second press or refusal");
    host.Terminate();
    c.Check(!::IsWindowVisible(setup.dialog), "the first dialog steps aside meanwhile");
    std::vector<int> ticked = DefaultTicks(c);
    ticked.pop_back();
    CheckInstalled(c, folder + L"\\Korvel-Tarnwick", ticked);  // the unticked release among those not registered
    Click(other.found, kOk);
    c.CheckExit(setup.process, 0, "the first run ends with the elevated run's exit code");
    // Wine runs both as an administrator: the elevated run's lines join the first run's default log.
    const std::wstring log = ReadUtf8File(DefaultLogPath());
    c.Check(log.find(L"/ELEVATED /HOSTREFUSED /RELEASES=") != std::wstring::npos,
            "the elevated run is told of the refusal and asks for no log of the first run's choosing", log);
    c.Check(log.find(L"ended with 0") != std::wstring::npos, "the first run logs the relaunch");
}
#endif

}  // namespace

// A file of `megabytes` MiB of a repeating pattern, written a MiB at a time.
bool WriteLargeFile(const std::wstring& path, int megabytes) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string block(1 << 20, '\0');
    bool ok = true;
    for (int m = 0; m < megabytes && ok; ++m) {
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 7 + m) & 0xFF);
        DWORD written = 0;
        ok = ::WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) &&
             written == block.size();
    }
    return ::CloseHandle(file) && ok;
}

// A 400 MB payload: the dialog keeps answering the messages sent to it all through the copy,
// and its bar only moves forwards. How quickly it answers is measured, not asserted here
// (seam_bench responsive, in scripts/install-bench.sh).
void ResponsiveInstall(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    const std::wstring data = program.substr(0, program.rfind(L'\\')) + L"\\Data\\";
    for (int i = 0; i < 4; ++i)
        c.Check(WriteLargeFile(data + L"Large" + std::to_wstring(i) + L".dat", 100), "a 100 MB file in the package");
    Setup setup;
    if (!Launch(c, program, setup)) return;
    const HWND bar = ::GetDlgItem(setup.dialog, kProgress);
    Click(setup.dialog, kInstall);
    int sent = 0, answered = 0, answeredMidway = 0, lastPosition = 0;
    bool backwards = false, finished = false;
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < Scaled(300000) && ::IsWindow(setup.dialog)) {
        DWORD_PTR answer = 0;
        // The bound only keeps a window that never answers from holding the driver.
        ++sent;
        const bool heard = ::SendMessageTimeoutW(setup.dialog, WM_NULL, 0, 0, SMTO_NORMAL, Scaled(60000), &answer) != 0;
        if (heard) ++answered;
        DWORD_PTR position = 0;
        if (::SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, Scaled(60000), &position)) {
            if (static_cast<int>(position) < lastPosition) backwards = true;
            lastPosition = static_cast<int>(position);
            if (heard && lastPosition > 0 && lastPosition < 50) ++answeredMidway;
        }
        if (ReadControl(setup.dialog, kOk).visible) {
            finished = true;
            break;
        }
        ::Sleep(25);
    }
    std::printf("responsive-install: %d messages, %d answered, %d while the bar was part-way\n", sent, answered,
                answeredMidway);
    if (!c.Check(finished, "the finished view appears")) {
        setup.process.Terminate();
        return;
    }
    c.Check(answered == sent, "every message is answered", std::to_wstring(sent - answered) + L" unanswered");
    // A window that answered only once the copy was over would show the bar empty or full.
    c.Check(answeredMidway >= 2, "answers keep coming while the bar moves", std::to_wstring(answeredMidway));
    // The last answer may have come before the last steps: the run takes them and shows the
    // finished view without answering in between. Its position is read again in that view.
    DWORD_PTR position = 0;
    if (c.Check(::SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 10000, &position) != 0,
                "the bar answers in the finished view")) {
        if (static_cast<int>(position) < lastPosition) backwards = true;
        lastPosition = static_cast<int>(position);
    }
    c.Check(!backwards, "the bar never runs backwards");
    c.Check(lastPosition == 50, "the bar ends full", std::to_wstring(lastPosition));
    c.Check(IsFile(L"C:\\Korvel\\Korvel-Tarnwick\\Large3.dat"), "the large files are installed");
    Click(setup.dialog, kOk);
    c.CheckExit(setup.process, 0, "OK in the finished view");
}

// The releases of fixtures/several.reg that this edition offers, as the entry's Releases names them.
std::wstring ReleasesText(const Context& c) {
    std::wstring text;
    for (int year : DefaultTicks(c)) text += (text.empty() ? L"" : L",") + std::to_wstring(year);
    return text;
}

// Deployed to a fleet: installed into a folder of the administrator's choosing; the same command
// without /D= (a repair, or a release deployed later) keeps that folder; an install into a second
// folder is listed in its place. The package's quiet uninstall then removes both, each by its own
// record, leaves the machine as it was and ends with 0; run again, it finds nothing: 12.
void FleetUninstall(Context& c) {
    const std::wstring program = UninstallWorld(c);
    const std::wstring before = MachineSnapshot() + FileSnapshot(L"C:\\CAD Plugins");
    const std::wstring chosen = L"C:\\CAD Plugins\\Korvel\\Korvel-Tarnwick";
    bool windowSeen = false;
    if (!c.Check(RunUnattended(c, program, L"/S /D=C:\\CAD Plugins\\Korvel", windowSeen) == 0,
                 "the install into C:\\CAD Plugins\\Korvel ends with 0"))
        return;
    if (!c.Check(RunUnattended(c, program, L"/S", windowSeen) == 0, "the same package again, without /D=, ends with 0"))
        return;
    std::wstring location, releases;
    c.Check(ReadString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"InstallLocation", location) && location == chosen,
            "the repeat kept the listed install's folder", location);
    c.Check(!IsFolder(L"C:\\Korvel"), "no second copy in C:\\Korvel");
    c.Check(ReadUtf8File(DefaultLogPath()).find(L"folder chosen: C:\\CAD Plugins\\Korvel (that of the install listed on this PC)") !=
                std::wstring::npos,
            "the log says which folder, and why");
    c.Check(ReadString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"Releases", releases) && releases == ReleasesText(c),
            "the entry names the releases registered", releases);
    if (!c.Check(RunUnattended(c, program, L"/S /D=C:\\Second", windowSeen) == 0, "an install into C:\\Second ends with 0"))
        return;
    c.Check(ReadString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"InstallLocation", location) &&
                location == L"C:\\Second\\Korvel-Tarnwick",
            "listed in the first one's place", location);

    c.Check(RunUnattended(c, program, L"/uninstall /S", windowSeen) == 0, "SetUp.exe /uninstall /S ends with 0");
    c.Check(!windowSeen, "no window was ever visible");
    c.Check(!IsFolder(L"C:\\Second") && !IsFolder(L"C:\\CAD Plugins"), "both installs' folders are gone");
    c.Check(!KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry), "no install is listed");
    const std::wstring after = MachineSnapshot() + FileSnapshot(L"C:\\CAD Plugins");
    c.Check(after == before, "the machine is as it was before both installs", SnapshotDiff(after, before));
    const std::wstring log = ReadUtf8File(DefaultLogPath());
    c.Check(log.find(L"uninstall of C:\\Second\\Korvel-Tarnwick, quiet (1 of 2, newest first)") <
                log.find(L"uninstall of " + chosen + L", quiet (2 of 2, newest first)"),
            "each by its own record, the listed one first");
    c.Check(log.find(L"removed: file " + chosen + L"\\Korvel2010.ARX") != std::wstring::npos,
            "the log names each item removed");

    c.Check(RunUnattended(c, program, L"/uninstall /S", windowSeen) == 12, "run again, it finds nothing installed: 12");
    const std::wstring again = ReadUtf8File(DefaultLogPath());
    c.Check(again.find(L"exit code 12: not installed, nothing changed\r\n") != std::wstring::npos, "and says so");
}

// The README's deployment line: the log on a share (\\fileserver\logs, a folder of the prefix's
// "unc" device) and the plug-in on D:. With administrator rights the run writes the protected
// default log, whose first lines name the one asked for, and adds the finished log to the file on
// the share through a checked handle. A /LOG= on a way a link could
// redirect, or in a folder that is missing, leaves the run with the default log, which says why.
void SilentLogPlaces(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    const std::wstring shared = L"\\\\fileserver\\logs\\PC01.log";
    std::wstring years;
    for (int year : DefaultTicks(c))
        if (years.size() < 9) years += (years.empty() ? L"" : L",") + std::to_wstring(year);
    const std::wstring line = L"/S /RELEASES=" + years + L" /LOG=" + shared + L" /D=D:\\CAD Plugins\\Korvel";
    bool windowSeen = false;
    for (int run = 1; run <= 2; ++run)
        c.Check(RunUnattended(c, program, line, windowSeen) == 0, Utf8(line) + " ends with 0");
    c.Check(IsFile(L"D:\\CAD Plugins\\Korvel\\Korvel-Tarnwick\\uninstall.exe"), "installed on D:");
    const std::wstring copied = ReadUtf8File(shared);
    const std::size_t last = copied.rfind(L"exit code 0: ");
    c.Check(last != std::wstring::npos && copied.find(L"\r\n", last) + 2 == copied.size(),
            "the share holds the finished log, its outcome last", copied.substr(0, 300));
    c.Check(copied.find(L"command line: \"C:\\pkg\\SetUp.exe\" " + line) != std::wstring::npos, "this run's");
    c.Check(copied.find(L"exit code 0: ") < last, "after the run before");
    const std::wstring local = ReadUtf8File(DefaultLogPath());
    c.Check(local.find(L"log asked for: " + shared + L"; refused with administrator rights: a network share; "
                       L"this log is added to it when the run ends") < local.find(L"account: "),
            "the default log's first lines name the log asked for", local.substr(0, 600));
    c.Check(local.find(L"log copied to " + shared) < local.rfind(L"exit code 0: "), "and say it was copied");

    // A folder that is a link (as a user's junction would be), and a folder that is missing.
    for (const wchar_t* asked : {L"C:\\Linked\\setup.log", L"C:\\No such folder\\setup.log"}) {
        c.Check(RunUnattended(c, program, std::wstring(L"/S /UNINSTALL \"/LOG=") + asked + L"\"", windowSeen) == 0,
                "an uninstall with /LOG=" + Utf8(asked) + " ends with 0");
        const std::wstring log = ReadUtf8File(DefaultLogPath());
        c.Check(log.find(L"log asked for: " + std::wstring(asked) + L"; ") != std::wstring::npos &&
                    log.find(L"this is the default log") != std::wstring::npos,
                "the default log names it and why it was not used", log.substr(0, 600));
        c.Check(!IsFile(asked), "nothing written there");
        c.Check(RunUnattended(c, program, line, windowSeen) == 0, "installed again");
    }
}

// An unattended run ended from outside (a deployment tool's time limit) at three points: as the
// entry is written, and while each of two large files is copied. Every line the log held when the
// run was cut is still there, whole; the earlier runs' logs are kept; the run after completes it.
void SilentKilled(Context& c) {
    const std::wstring program = SeveralReleasesWorld(c);
    const std::wstring data = program.substr(0, program.rfind(L'\\')) + L"\\Data\\";
    for (int i = 0; i < 3; ++i)
        c.Check(WriteLargeFile(data + L"Large" + std::to_wstring(i) + L".dat", 100), "a 100 MB file in the package");
    const wchar_t* const cuts[] = {L"Programs and Features entry written: ", L"copied C:\\pkg\\Data\\Large0.dat",
                                   L"copied C:\\pkg\\Data\\Large1.dat"};
    for (const wchar_t* cut : cuts) {
        Process setup;
        if (!c.Check(setup.Start(program, L"/S", L"C:\\pkg"), "SetUp.exe /S starts")) return;
        std::wstring seen;
        for (DWORD waited = 0; waited < Scaled(120000) && setup.Running(); waited += 2) {
            seen = ReadUtf8File(DefaultLogPath());
            if (seen.find(cut) != std::wstring::npos) break;
            ::Sleep(2);
        }
        setup.Terminate();
        const bool cutThere = seen.find(cut) != std::wstring::npos;
        c.Check(cutThere && setup.Wait(10000) == 99, "the run is cut once its log has \"" + Utf8(cut) + "\"");
        // Windows closes an ended process's handles before it reports it ended; Wine, on a busy
        // machine, a moment after. The next run would find the log still open and add to it.
        for (int i = 0; i < 200; ++i) {
            const HANDLE log = ::CreateFileW(DefaultLogPath().c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, 0, nullptr);
            if (log != INVALID_HANDLE_VALUE) {
                ::CloseHandle(log);
                break;
            }
            ::Sleep(50);
        }
        seen.resize(seen.rfind(L"\r\n") + 2);  // up to its last whole line
        const std::wstring after = ReadUtf8File(DefaultLogPath());
        c.Check(after.compare(0, seen.size(), seen) == 0, "every line before the cut is there, as it was");
        c.Check(after.size() >= 2 && after.compare(after.size() - 2, 2, L"\r\n") == 0 &&
                    after.find(L"exit code") == std::wstring::npos,
                "the log ends with a whole line, and no outcome");
    }
    bool windowSeen = false;
    c.Check(RunUnattended(c, program, L"/S", windowSeen) == 0, "the run after the cuts ends with 0");
    CheckInstalled(c, L"C:\\Korvel\\Korvel-Tarnwick", DefaultTicks(c));
    for (int k = 1; k <= 3; ++k)
        c.Check(ReadUtf8File(DefaultLogPath() + L"." + std::to_wstring(k)).find(cuts[3 - k]) != std::wstring::npos,
                "the log of cut run " + std::to_string(4 - k) + " is kept as ." + std::to_string(k));
}

ScenarioFn FindScenario(const std::wstring& name) {
    static const std::map<std::wstring, ScenarioFn> scenarios = {
        {L"planted-uninstaller", PlantedUninstaller},
        {L"release-added", ReleaseAddedLater},
        {L"no-hosts", &NoHostsInstalled},
        {L"several-releases", &SeveralReleases},
        {L"edition", &Edition},
        {L"untick-all", &UntickAll},
        {L"full-install", &FullInstall},
        {L"responsive-install", &ResponsiveInstall},
        {L"host-running", &HostRunning},
        {L"package-missing", &PackageMissing},
        {L"copy-retry-ignore", &CopyFailureRetryIgnore},
        {L"copy-abort", &CopyFailureAbort},
        {L"enter-keeps-dialog", &EnterKeepsDialog},
        {L"typed-folders", &TypedFolders},
        {L"listing-unreadable", &ListingUnreadable},
        {L"linked-folders", &LinkedFolders},
        {L"planted-dlls", &PlantedDlls},
        {L"texts", &Texts},
        {L"wow64-views", &Wow64Views},
        {L"scaling", &Scaling},
        {L"beyond-code-page", &BeyondTheCodePage},
        {L"uninstall-entry", &UninstallFromTheEntry},
        {L"uninstall-quiet", &UninstallQuiet},
        {L"uninstall-host-running", &UninstallHostRunning},
        {L"killed-install", &KilledInstall},
        {L"oldest-first", &OldestFirst},
        {L"three-repeats", &ThreeRepeats},
        {L"second-run-refused", &SecondRunRefused},
        {L"uninstall-forged-record", &UninstallForgedRecord},
        {L"uninstall-planted-user-entry", &UninstallPlantedUserEntry},
        {L"demo", &Demo},
        {L"demo-uninstall", &DemoUninstall},
        {L"demo-silent", &DemoSilent},
        {L"silent-install", &SilentInstall},
        {L"silent-releases", &SilentReleases},
        {L"silent-folder", &SilentFolder},
        {L"silent-host-running", &SilentHostRunning},
        {L"silent-bad-option", &SilentBadOption},
        {L"every-user", &EveryUser},
        {L"user-registry-links", &UserRegistryLinks},
        {L"fleet-uninstall", &FleetUninstall},
        {L"silent-log-places", &SilentLogPlaces},
        {L"silent-killed", &SilentKilled},
#ifndef KORVEL_RELEASE_BUILD
        {L"elevation-relaunch", &ElevationRelaunch},
#endif
    };
    auto found = scenarios.find(name);
    return found == scenarios.end() ? FindBrowseScenario(name) : found->second;
}

bool Context::Check(bool ok, const std::string& what, const std::wstring& detail) {
    if (!ok) ++failures;
    std::printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", what.c_str(), detail.empty() ? "" : " : ", Utf8(detail).c_str());
    std::fflush(stdout);
    return ok;
}

bool Context::CheckText(const std::wstring& actual, const std::wstring& expected, const std::string& what) {
    return Check(actual == expected, what + " = \"" + Utf8(expected) + "\"", actual == expected ? L"" : L"got \"" + actual + L"\"");
}

bool Context::CheckExit(Process& process, int expected, const std::string& what) {
    const int code = process.Wait(20000);
    if (code == -1) process.Terminate();
    return Check(code == expected, what + ": exit code " + std::to_string(expected), L"got " + std::to_wstring(code));
}

void Context::Screenshot(HWND window, const std::wstring& name) {
    const std::wstring path = artifacts + L"\\" + name + L".bmp";
    Check(SaveScreenshot(window, path), "screenshot " + Utf8(name));
}
