// Random machines, random runs in any order, one invariant.
//
// The invariant, checked after every run and once more at the end:
//   1. Every LOADER, Active Setup StubPath, UninstallString and QuietUninstallString value names a
//      file that exists, holds the bytes this program ships for it, and, when it lies in a
//      plug-in folder, lies in one of an install that is listed; or the value is the one the
//      machine held at the start.
//   2. Every listed install can be uninstalled: while installs are listed, the entry in the list
//      of programs names one of them and its uninstaller is there (checked after every run);
//      at the end, each install the entry names is uninstalled by its own uninstaller, ending
//      with 0, or with 8 and a reason for everything it left.
//   3. Once the entry names none, the machine is the starting machine, but for what the user
//      edited (kept) and what an uninstall reported it left (8, with a reason); but for trusted
//      paths into plug-in folders, which are not put back; and but for what a killed install
//      made before it listed anything: its folders, its record, keys without values.
// "Listed": the entry in the list of programs named it after some run, and no uninstall of it
// has ended since. The oracle only compares states of the machine: it calls none of the
// product's rules, and holds no undo logic of its own.
//
// One run of the setup program or the uninstaller at a time (a lock that only Windows builds
// have): a second one started meanwhile is refused before it changes anything, so it is not run
// here. The per-user step takes no lock and runs at any logon: it is the run that can overlap.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/state.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "catalogue/HostCatalogue.h"
#include "doubles/FileDouble.h"
#include "doubles/KillingSeams.h"
#include "doubles/LogDouble.h"
#include "doubles/ProcessDouble.h"
#include "doubles/ProgressDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegistryDouble.h"
#include "doubles/TextCodecDouble.h"
#include "doubles/ViewDouble.h"
#include "journal/CodeGuard.h"
#include "journal/Recording.h"
#include "journal/UndoRecorder.h"
#include "journal/UninstallEntry.h"
#include "register/UserHives.h"
#include "setup/InstallRun.h"
#include "setup/Unattended.h"
#include "setup/UninstallRun.h"
#include "setup/UserSetup.h"
#include "setuplog/LoggedPrompt.h"
#include "text/Text.h"

namespace {
constexpr int kYears[] = {2007, 2008, 2013, 2014, 2018, 2025};
constexpr int kArx[] = {2008, 2008, 2013, 2013, 2018, 2025};
constexpr int kDll[] = {2007, 2007, 2013, 2013, 2013, 2013};
const char* const kFolders[] = {"C:\\A", "C:\\B", "D:\\P\\C"};
const char* const kData = "C:\\Setup\\Data";
const char* const kSetUp = "C:\\Setup\\SetUp.exe";
const char* const kPayload[] = {"Korvel2008.ARX", "Korvel2013.ARX", "Korvel2018.ARX", "Korvel2025.ARX",
                                "ACAD2007.dll",   "ACAD2013.dll",   "Korvel.prt5",    "readme.txt",
                                "uninstall.exe"};
const char* const kProfileKinds[] = {"no Variables key", "no TRUSTEDPATHS", "\"\"", "\"D:\\Tools\"",
                                     "\"c:\\a\\korvel-tarnwick\\\"", "\"C:\\B\\KORVEL-TARNWICK\\...;D:\\Tools\"",
                                     "13000 characters", "REG_EXPAND_SZ \"%TEMP%\""};
constexpr std::uint32_t kRead = 0x1200A9;
std::string Up(const std::string& s) { return UpperCp936(s); }
std::string Sid(int user) { return Format("S-1-5-21-7-7-7-%d", 1000 + user); }  // 0: who runs the setup

// ---- The machine a case starts from ----
struct Product {
    int year, view, host;  // kYears index; 0 64-bit view, 1 32-bit; 0 Program Files, 1 C:\ (users may change), 2 gone
};
struct LoaderKey {
    int product;
    bool dll, subKey;
    int values;  // 0 none, 1 an older version's, 2 another plug-in's, 3 an older version's found on the host's search path
};
struct HostFile {
    int product, which;  // 0 font, 1 library, 2 plot driver
    bool readOnly;
};
struct Profile {
    int user, product, kind;  // kProfileKinds
};
struct DrawnMachine {
    bool elevated = true;
    std::vector<Product> products;
    std::vector<LoaderKey> loaderKeys;
    std::vector<HostFile> hostFiles;
    std::vector<Profile> profiles;
    int users = 0;         // other users logged on (hives loaded)
    int earlier = -1;      // the folder with an earlier version's plug-in folder, if any
    bool earlierLocked = false;  // made as an administrator's install makes it
};

std::string ProductKey(const DrawnMachine& m, int p) {
    p %= m.products.size();
    const Product& product = m.products[p];
    return Format("SOFTWARE\\%sAutodesk\\AutoCAD\\R%d\\ACAD-%d:804", product.view ? "Wow6432Node\\" : "",
                  kYears[product.year], p);
}
std::string HostFolder(const DrawnMachine& m, int p) {
    p %= m.products.size();
    const Product& product = m.products[p];
    const char* place[] = {"C:\\Program Files\\AutoCAD %d-%d", "C:\\AutoCAD %d-%d", "C:\\Gone %d-%d"};
    return Format(place[product.host], kYears[product.year], p);
}
std::string UserRoot(int user) { return user == 0 ? "" : Sid(user) + "\\"; }

void showValue(const DrawnMachine& m, std::ostream& os) {
    os << "machine (" << (m.elevated ? "runs elevated" : "runs as a standard user") << "):\n";
    for (std::size_t p = 0; p < m.products.size(); ++p)
        os << "  AutoCAD " << kYears[m.products[p].year] << " at HKLM\\" << ProductKey(m, p) << ", host folder "
           << HostFolder(m, p) << (m.products[p].host == 2 ? " (missing)" : m.products[p].host == 1 ? " (users may change it)" : "")
           << "\n";
    for (const LoaderKey& k : m.loaderKeys)
        os << "  loader key HKLM\\" << ProductKey(m, k.product) << "\\Applications\\Korvel"
           << kYears[m.products[k.product % m.products.size()].year] << (k.dll ? "DLL" : "") << " exists"
           << (k.subKey ? ", with a sub-key Commands" : "")
           << (k.values == 1   ? ", LOADER of an older version"
               : k.values == 2 ? ", another plug-in's values"
               : k.values == 3 ? ", LOADER of an older version by its bare name"
                               : "")
           << "\n";
    const char* hostFiles[] = {"Fonts\\Korvel_EN.shx", "ACAD<year>.dll", "Drv\\pdfplot9.hdi"};
    for (const HostFile& f : m.hostFiles)
        os << "  host file " << HostFolder(m, f.product) << "\\" << hostFiles[f.which] << " of its own"
           << (f.readOnly ? ", read-only" : "") << "\n";
    for (int u = 1; u <= m.users; ++u) os << "  user " << Sid(u) << " logged on (hive loaded)\n";
    for (const Profile& p : m.profiles)
        os << "  profile of " << (p.user ? Sid(p.user) : "the user") << " for AutoCAD "
           << kYears[m.products[p.product % m.products.size()].year] << ": " << kProfileKinds[p.kind] << "\n";
    if (m.earlier >= 0)
        os << "  an earlier version in " << kFolders[m.earlier] << "\\Korvel-Tarnwick"
           << (m.earlierLocked ? " (locked)" : " (users may change it)") << "\n";
}

// A number in [low, high), whatever the size RapidCheck has reached (its ranges grow with it):
// every case draws from the whole range, and shrinks towards low.
int Pick(int low, int high) { return *rc::gen::resize(100, rc::gen::inRange(low, high)); }
// One of the values, as often as its weight says; shrinks towards the first.
template <typename T>
T Weighted(std::initializer_list<std::pair<int, T>> choices) {
    int total = 0;
    for (const auto& choice : choices) total += choice.first;
    int at = Pick(0, total);
    for (const auto& choice : choices)
        if ((at -= choice.first) < 0) return choice.second;
    return choices.begin()->second;
}

rc::Gen<DrawnMachine> Machines() {
    return rc::gen::exec([] {
        DrawnMachine m;
        m.elevated = Weighted<bool>({{3, true}, {1, false}});
        // Small machines: each thing more often absent or single than several.
        const auto count = [](int most) { return Weighted<int>({{4, 0}, {3, 1}, {2, 2}, {1, 3}}) % (most + 1); };
        m.products.resize(1 + count(2));
        for (Product& p : m.products)
            p = {Pick(0, 6), Weighted<int>({{4, 0}, {1, 1}}),
                 Weighted<int>({{4, 0}, {1, 1}, {1, 2}})};
        const auto product = [] { return Pick(0, 3); };
        m.loaderKeys.resize(count(2));
        for (LoaderKey& k : m.loaderKeys)
            k = {product(), Pick(0, 2) == 1, Pick(0, 2) == 1, Pick(0, 3)};
        m.hostFiles.resize(count(2));
        for (HostFile& f : m.hostFiles) f = {product(), Pick(0, 3), Pick(0, 2) == 1};
        m.users = count(2);
        m.profiles.resize(count(3));
        for (Profile& p : m.profiles) p = {Pick(0, m.users + 1), product(), Pick(0, 8)};
        m.earlier = Weighted<int>({{3, -1}, {1, 0}, {1, 1}, {1, 2}});
        m.earlierLocked = Pick(0, 2) == 1;
        return m;
    });
}

// ---- The machine as the doubles hold it ----
// A run without administrator rights: HKEY_LOCAL_MACHINE and other users' hives are read only
// (an existing key opens for reading, a missing one is not made), and a file or folder is made,
// changed or removed only where other users are granted that.
class StandardUserRegistry : public ForwardingRegistry {
public:
    using ForwardingRegistry::ForwardingRegistry;
    long OpenKey(RegKey p, const char* k, RegKey& out) override {
        const long result = inner_.OpenKey(p, k, out);
        return Opened(p, result, out);
    }
    long OpenKeyRead(RegKey p, const char* k, RegKey& out) override {
        const long result = inner_.OpenKeyRead(p, k, out);
        return Opened(p, result, out);
    }
    long CreateKey(RegKey p, const char* k, RegKey& out) override {
        if (!Machine(p)) return inner_.CreateKey(p, k, out);
        return inner_.OpenKeyRead(p, k, out) == kErrorSuccess ? (machine_.insert(out), kErrorSuccess) : kErrorAccessDenied;
    }
    long SetDword(RegKey k, const char* n, std::uint32_t v) override { return Machine(k) ? kErrorAccessDenied : inner_.SetDword(k, n, v); }
    long SetString(RegKey k, const char* n, const char* t, std::uint32_t c) override {
        return Machine(k) ? kErrorAccessDenied : inner_.SetString(k, n, t, c);
    }
    long SetValue(RegKey k, const char* n, std::uint32_t t, const std::string& b) override {
        return Machine(k) ? kErrorAccessDenied : inner_.SetValue(k, n, t, b);
    }
    long DeleteValue(RegKey k, const char* n) override { return Machine(k) ? kErrorAccessDenied : inner_.DeleteValue(k, n); }
    long DeleteKey(RegKey p, const char* k) override { return Machine(p) ? kErrorAccessDenied : inner_.DeleteKey(p, k); }
    long CloseKey(RegKey k) override { return machine_.erase(k), inner_.CloseKey(k); }

private:
    bool Machine(RegKey k) const { return k == kHkeyLocalMachine || k == kHkeyUsers || machine_.count(k); }
    long Opened(RegKey parent, long result, RegKey out) {
        if (result == kErrorSuccess && Machine(parent)) machine_.insert(out);
        return result;
    }
    std::set<RegKey> machine_;
};

class StandardUserFiles : public ForwardingFiles {
public:
    using ForwardingFiles::ForwardingFiles;
    using Files::CopyOver;
    bool CopyOver(const std::string& s, const std::string& d, bool f, CopyReport& r) override {
        return MayWrite(d, kRightWriteData) ? inner_.CopyOver(s, d, f, r) : Refused();
    }
    bool WriteBytes(const std::string& p, const std::string& b, bool a) override {
        return MayWrite(p, kRightWriteData) && inner_.WriteBytes(p, b, a);
    }
    bool WriteAttributes(const std::string& p, std::uint32_t a) override { return May(p, 0x100) && inner_.WriteAttributes(p, a); }
    int MakeDir(const std::string& p) override { return May(Parent(p), kRightAppendData) ? inner_.MakeDir(p) : -1; }
    bool CreateFolder(const std::string& p) override { return May(Parent(p), kRightAppendData) && inner_.CreateFolder(p); }
    bool CreateLockedFolder(const std::string& p) override { return May(Parent(p), kRightAppendData) && inner_.CreateLockedFolder(p); }
    bool CreatePrivateFolder(const std::string& p) override { return May(Parent(p), kRightAppendData) && inner_.CreatePrivateFolder(p); }
    bool Relock(const std::string&) override { return false; }
    bool MakePrivate(const std::string&) override { return false; }
    bool RemoveFile(const std::string& p) override { return MayRemove(p) && inner_.RemoveFile(p); }
    bool RemoveFolder(const std::string& p) override { return MayRemove(p) && inner_.RemoveFolder(p); }
    std::uint32_t LastError() override { return refused_ ? 5 : inner_.LastError(); }

private:
    static std::string Parent(const std::string& p) { return p.substr(0, p.find_last_of('\\')); }
    bool May(const std::string& path, std::uint32_t right) {
        Protection protection;
        return inner_.ReadProtection(path, protection) && (protection.othersRights & right);
    }
    bool MayWrite(const std::string& path, std::uint32_t right) {
        refused_ = false;
        return inner_.ReadAttributes(path) != kInvalidAttributes ? May(path, right) : May(Parent(path), right);
    }
    bool MayRemove(const std::string& p) { return May(p, kRightDelete) || May(Parent(p), kRightDeleteChild); }
    bool Refused() { return refused_ = true, false; }
    bool refused_ = false;
};

// The current user's registry as another user's session sees theirs: HKEY_CURRENT_USER is that
// user's loaded hive.
class AsUser : public ForwardingRegistry {
public:
    AsUser(Registry& inner, RegKey hive) : ForwardingRegistry(inner), hive_(hive) {}
    long OpenKey(RegKey p, const char* k, RegKey& out) override { return inner_.OpenKey(Map(p), k, out); }
    long OpenKeyRead(RegKey p, const char* k, RegKey& out) override { return inner_.OpenKeyRead(Map(p), k, out); }
    long CreateKey(RegKey p, const char* k, RegKey& out) override { return inner_.CreateKey(Map(p), k, out); }
    long DeleteKey(RegKey p, const char* k) override { return inner_.DeleteKey(Map(p), k); }

private:
    RegKey Map(RegKey key) const { return key == kHkeyCurrentUser ? hive_ : key; }
    RegKey hive_;
};

using Snapshot = std::map<std::string, std::string>;  // upper-case path, key or key\value -> what it holds

struct Sut {
    explicit Sut(const DrawnMachine& drawn) : drawn(drawn) {
        files.keepCalls = false;
        processes.elevated = drawn.elevated;
        processes.sid = Sid(0);
        files.AddFolder("C:\\");
        files.AddFolder("D:\\");
        files.environment["ProgramData"] = "C:\\ProgramData";
        files.AddFolder("C:\\ProgramData");
        files.SetOthersRights("C:\\ProgramData", kRead | kRightWriteData | kRightAppendData, kRead);
        for (const char* locked : {"C:\\Program Files", "C:\\Ancient", "C:\\Setup"}) {
            files.AddFolder(locked);
            files.SetOthersRights(locked, kRead, kRead);
        }
        files.modulePath = kSetUp;
        files.AddFile(kSetUp, "setup program");
        for (const char* name : kPayload)
            if (std::string(name) != "uninstall.exe") files.AddFile(std::string(kData) + "\\" + name, std::string("ours: ") + name);
        for (const char* font : {"Korvel_EN.shx", "Korvel_HZ.shx"}) files.AddFile(std::string(kData) + "\\" + font, std::string("ours: ") + font);
        for (int arx : {2008, 2013, 2018, 2025}) files.AddFile(Format("C:\\Ancient\\Korvel%d.ARX", arx), "an older version");
        files.AddFile("C:\\Ancient\\other.arx", "another plug-in");
        registry.CreateKeyPath(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
        for (int u = 0; u <= drawn.users; ++u) {
            registry.CreateKeyPath(u ? kHkeyUsers : kHkeyCurrentUser,
                                   UserRoot(u) + "Software\\Microsoft\\Active Setup\\Installed Components");
            if (u) registry.PutString(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + Sid(u),
                               "ProfileImagePath", Format("C:\\Users\\u%d", u));
        }
        for (std::size_t p = 0; p < drawn.products.size(); ++p) {
            const std::string key = ProductKey(drawn, p), host = HostFolder(drawn, p);
            registry.PutString(kHkeyLocalMachine, key, "ProductName", Format("AutoCAD %d", kYears[drawn.products[p].year]));
            registry.PutString(kHkeyLocalMachine, key, "AcadLocation", host + (p % 2 ? "\\" : ""));
            if (drawn.products[p].host == 2) continue;
            files.AddFile(host + "\\acad.exe", "host");
            files.AddFolder(host + "\\Fonts");
            files.AddFolder(host + "\\Drv");
        }
        for (const LoaderKey& k : drawn.loaderKeys) {
            const int p = k.product % drawn.products.size();
            const std::string key = ProductKey(drawn, p) + Format("\\Applications\\Korvel%d", kYears[drawn.products[p].year]) + (k.dll ? "DLL" : "");
            registry.CreateKeyPath(kHkeyLocalMachine, k.subKey ? key + "\\Commands" : key);
            if (k.values == 1) {
                registry.PutString(kHkeyLocalMachine, key, "LOADER", Format("C:\\Ancient\\Korvel%d.ARX", kArx[drawn.products[p].year]));
                registry.PutDword(kHkeyLocalMachine, key, "LOADCTRLS", 2);
            } else if (k.values == 2) {
                registry.PutString(kHkeyLocalMachine, key, "LOADER", "C:\\Ancient\\other.arx");
                registry.PutString(kHkeyLocalMachine, key, "DESCRIPTION", "another plug-in");
            } else if (k.values == 3) {
                registry.PutString(kHkeyLocalMachine, key, "LOADER", Format("Korvel%d.ARX", kArx[drawn.products[p].year]));
            }
        }
        for (const HostFile& f : drawn.hostFiles) {
            const int p = f.product % drawn.products.size();
            if (drawn.products[p].host == 2) continue;
            const std::string names[] = {"Fonts\\Korvel_EN.shx", Format("ACAD%d.dll", kDll[drawn.products[p].year]), "Drv\\pdfplot9.hdi"};
            files.AddFile(HostFolder(drawn, p) + "\\" + names[f.which], "the host's own", f.readOnly ? kAttrReadOnly | kAttrArchive : kAttrArchive);
        }
        for (int u = 1; u <= drawn.users; ++u) registry.CreateKeyPath(kHkeyUsers, Sid(u) + "\\Software\\Autodesk");
        for (std::size_t i = 0; i < drawn.profiles.size(); ++i) {
            const Profile& p = drawn.profiles[i];
            const std::string product = ProductKey(drawn, p.product % drawn.products.size());
            const std::string key = UserRoot(p.user) + "Software\\Autodesk\\AutoCAD\\" + product.substr(product.find("\\R") + 1) +
                                    (i % 2 ? "\\Profiles\\<<Unnamed Profile>>" : "\\Profiles\\P") + "\\Variables";
            const RegKey root = p.user ? kHkeyUsers : kHkeyCurrentUser;
            const char* texts[] = {"", "", "", "D:\\Tools", "c:\\a\\korvel-tarnwick\\", "C:\\B\\KORVEL-TARNWICK\\...;D:\\Tools"};
            if (p.kind == 0) registry.CreateKeyPath(root, key.substr(0, key.size() - 10));
            else if (p.kind == 1) registry.CreateKeyPath(root, key);
            else if (p.kind < 6) registry.PutString(root, key, "TRUSTEDPATHS", texts[p.kind]);
            else if (p.kind == 6) registry.PutString(root, key, "TRUSTEDPATHS", std::string(13000, 'x'));
            else registry.PutValue(root, key, "TRUSTEDPATHS", kRegExpandSz, std::string("%TEMP%\0", 7));
        }
        if (drawn.earlier >= 0) {
            const std::string folder = std::string(kFolders[drawn.earlier]) + "\\Korvel-Tarnwick";
            files.AddFile(folder + "\\Korvel2013.ARX", "an earlier version");
            files.AddFile(folder + "\\uninstall.exe", "an earlier setup program");
            files.AddFile(folder + "\\notes.txt", "an earlier version's notes");
            if (drawn.earlierLocked)
                for (const std::string& path : {std::string(kFolders[drawn.earlier]), folder, folder + "\\Korvel2013.ARX",
                                                folder + "\\uninstall.exe", folder + "\\notes.txt"})
                    files.SetOthersRights(path, kRead, kRead);
        }
        start = Take();
    }

    // Everything a user could tell apart: the three registry roots, and every file and folder
    // with its attributes and content; or only the values that name code (NamesCode), from the
    // keys where they live.
    Snapshot Take(bool everything = true) const {
        Snapshot out;
        struct Tree {
            RegKey root;
            const char* name;
            std::string path;
        };
        const std::vector<Tree> trees =
            everything ? std::vector<Tree>{{kHkeyLocalMachine, "HKEY_LOCAL_MACHINE", ""},
                                           {kHkeyCurrentUser, "HKEY_CURRENT_USER", ""},
                                           {kHkeyUsers, "HKEY_USERS", ""}}
                       : std::vector<Tree>{{kHkeyLocalMachine, "HKEY_LOCAL_MACHINE", "SOFTWARE\\Autodesk"},
                                           {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE", "SOFTWARE\\Wow6432Node\\Autodesk"},
                                           {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE", kUninstallKey},
                                           {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE", kActiveSetupKey},
                                           {kHkeyCurrentUser, "HKEY_CURRENT_USER", kUninstallKey}};
        for (const Tree& tree : trees) {
            const std::string top = std::string(tree.name) + "\\" + tree.path;
            std::string below;  // the key being visited, below the tree's top: it comes before its values
            std::string key;    // its item, once worked out
            const auto item = [&]() -> const std::string& {
                if (key.empty()) key = Up(tree.path.empty() ? top + below : below.empty() ? top : top + "\\" + below);
                return key;
            };
            registry.ForEach(tree.root, tree.path, [&](const std::string& path, const std::string* name, std::uint32_t type,
                                                       const std::string& bytes) {
                if (name) {
                    if (!everything && !NamesCode(*name)) return;
                    std::string value = item();
                    value += '\\';
                    value += Up(*name);
                    value += '=';
                    out.insert_or_assign(std::move(value), RegistryDouble::ValueText(type, bytes));
                } else {
                    below = path;
                    key.clear();
                    if (everything) out.insert_or_assign(item(), std::string());
                }
            });
        }
        if (everything)
            files.ForEach([&](const std::string& path, std::uint32_t attributes, const std::string& content) {
                if (path.size() <= 2) return;  // not the drives
                char word[9];
                std::string text(word, std::to_chars(word, word + 8, attributes, 16).ptr);  // as "%x"
                text.reserve(text.size() + 1 + content.size());
                text += ' ';
                text += content;
                out.insert_or_assign(Up(path), std::move(text));
            });
        return out;
    }

    // The values Violation looks at: those that name code to run.
    static bool NamesCode(const std::string& name) {
        return EqualsNoCase(name, "LOADER") || EqualsNoCase(name, "STUBPATH") || EqualsNoCase(name, "UNINSTALLSTRING") ||
               EqualsNoCase(name, "QUIETUNINSTALLSTRING");
    }
    // The program a command line names: its quoted first part, or all of it.
    static std::string Program(const std::string& command) {
        return command.size() > 1 && command[0] == '"' ? command.substr(1, command.find('"', 1) - 1) : command;
    }
    // The bytes this program ships for a file of that name.
    bool Ours(const std::string& path) {
        std::string name = path.substr(path.find_last_of('\\') + 1);
        if (EqualsNoCase(name, "pdfplot9.hdi")) name = "Korvel.prt5";  // the plot driver's name in a host
        const std::string shipped = EqualsNoCase(name, "uninstall.exe") ? files.Content(kSetUp) : files.Content(std::string(kData) + "\\" + name);
        return files.IsFile(path) && !shipped.empty() && files.Content(path) == shipped;
    }
    std::string Entry(RegKey root, const char* name) const { return registry.GetText(root, kUninstallKey, name); }

    FileDouble files;
    RegistryDouble registry;
    TextCodecDouble codec;
    ProcessDouble processes;
    LogDouble log;
    DrawnMachine drawn;
    Snapshot start;
    std::set<std::string> listed;   // upper-case plug-in folders
    std::vector<std::string> kept;  // upper-case: what the user edited, and what uninstalls reported left
    bool killed = false;
    std::set<int> installedInto;    // the folders installs ran into
    std::string story;              // what each run returned, for the report
};

// The seams one run of the program sees: its rights, and a kill or a pause at one change.
struct RunSeams {
    RunSeams(Sut& m, int at) : kill(at), userRegistry(m.registry), userFiles(m.files),
          registry(m.drawn.elevated ? static_cast<Registry&>(m.registry) : userRegistry, kill),
          files(m.drawn.elevated ? static_cast<Files&>(m.files) : userFiles, kill) {}
    Kill kill;
    StandardUserRegistry userRegistry;
    StandardUserFiles userFiles;
    KillingRegistry registry;
    KillingFiles files;
};

// ---- The runs ----
// The per-user step as Windows' Active Setup runs it at a user's logon: once for each Version of
// the component, the program its StubPath names, as that user.
void Logon(Sut& m, int user) {
    if (user > m.drawn.users) return;
    const std::string version = m.registry.GetText(kHkeyLocalMachine, kActiveSetupKey, "Version");
    const std::string stub = m.registry.GetText(kHkeyLocalMachine, kActiveSetupKey, "StubPath");
    const RegKey root = user ? kHkeyUsers : kHkeyCurrentUser;
    const std::string record = UserRoot(user) + "Software\\Microsoft\\Active Setup\\Installed Components\\Korvel-Tarnwick";
    if (stub.empty() || m.registry.GetText(root, record, "Version") == version) return;
    const std::string program = Sut::Program(stub);
    m.story += " [logon of " + (user ? Sid(user) : std::string("the user"));
    if (m.Ours(program)) {
        StandardUserRegistry standard(m.registry);
        StandardUserFiles files(m.files);
        RegKey hive = kHkeyCurrentUser;
        if (user) m.registry.OpenKey(kHkeyUsers, Sid(user).c_str(), hive);
        AsUser registry(standard, hive);
        m.story += Format(": %d", RunUserSetup(registry, files, m.log, program));
        if (user) m.registry.CloseKey(hive);
    }
    m.story += "]";
    m.registry.PutString(root, record, "Version", version);
}

struct InstallChoice {
    int folder = 0, releases = 0;  // releases: bits over kYears; 0 = the default
    bool dialog = true;
};

int Install(Sut& m, const InstallChoice& c, RunSeams& seams, int answer = kIdAbort) {
    m.installedInto.insert(c.folder);
    Journal journal(seams.files, m.codec);
    RecordingRegistry registry(seams.registry, journal);
    RecordingFiles files(seams.files, journal);
    CodeGuard guard(registry, files);
    UndoRecorder recorder(journal, guard, files, {"Korvel-Tarnwick", "2025.01.21", "Tarnwick", "20250121", 2025, 1, ""});
    recorder.SetUser(m.processes.sid);
    LoggedPrompt quiet(m.log, nullptr);
    HostCatalogue catalogue(guard, files, quiet);
    catalogue.ScanInstalledReleases();
    if (!c.dialog) {
        std::vector<int> years;
        for (int i = 0; i < 6; ++i)
            if (c.releases >> i & 1) years.push_back(kYears[i]);
        return RunUnattended({years, kFolders[c.folder], {}}, 64, catalogue, files, m.processes, quiet, m.log, &recorder);
    }
    SetupMembers members;
    ViewDouble view(members);
    if (c.releases) {
        view.ticks.fill(0);
        for (int i = 0; i < 6; ++i) view.ticks[kYears[i] - 2007] = c.releases >> i & 1;
    }
    view.editText = kFolders[c.folder];
    view.answers = {answer};
    bool armed = true;
    InstallRun run(view, members, view.progress, catalogue, files, m.processes, armed, m.log);
    run.SetJournal(&recorder);
    run.OnInstall();
    return run.ExitCode();
}

// The uninstall as Programs and Features (its uninstaller) or the package (SetUp.exe
// /uninstall) starts it; then what it left for after its end is removed, as its helper does.
int Uninstall(Sut& m, const std::string& self, bool quiet, RunSeams& seams, std::string& folder) {
    if (!m.files.IsFile(self)) return -2;  // nothing there to start
    if (!LocateInstall(seams.registry, self, m.drawn.elevated, folder)) return kExitNoRecord;
    PromptDouble prompt;
    prompt.answers = {kIdYes};
    ProgressDouble progress;
    UninstallRun run(seams.registry, seams.files, m.codec, m.processes, prompt, progress);
    m.files.SetLocked(self);  // a running program's file
    const int code = run.Run(folder, self, quiet);
    m.files.SetLocked(self, false);
    if (std::getenv("KORVEL_RANDOM_RUNS_VERBOSE"))  // what the uninstall said, in the story
        for (const std::string& message : run.messages) m.story += "\n    said: " + message;
    for (const LeftBehind& left : run.result.left) {
        RC_ASSERT_FALSE(left.why.empty());
        std::string what = Up(left.what);
        for (std::size_t twice; (twice = what.find("\\\\")) != std::string::npos;) what.erase(twice, 1);
        m.kept.push_back(what);
        // A reason may name where a file's earlier content is kept.
        const std::size_t drive = left.why.find(":\\");
        if (drive != std::string::npos && drive > 0) m.kept.push_back(Up(left.why.substr(drive - 1)));
    }
    RC_ASSERT((code == kExitUninstallIncomplete) == !run.result.left.empty() || code == kExitNoRecord ||
              code == kExitCancelled || code == kExitHostRunning);
    for (const std::string& path : run.result.deferred) m.files.IsFolder(path) ? m.files.RemoveFolder(path) : m.files.RemoveFile(path);
    return code;
}

// ---- The invariant's checks ----
// The plug-in folder (of the three) a path lies in, upper-cased, or "".
std::string PlugInFolder(const std::string& path) {
    static const std::vector<std::string> plugIns = [] {  // each with the backslash after it
        std::vector<std::string> upper;
        for (const char* folder : kFolders) upper.push_back(Up(std::string(folder) + "\\Korvel-Tarnwick\\"));
        return upper;
    }();
    const std::string upper = Up(path);
    for (const std::string& plugIn : plugIns)
        if (upper.compare(0, plugIn.size(), plugIn) == 0) return plugIn.substr(0, plugIn.size() - 1);
    return "";
}

// Parts 1 and 2 as they can be seen now; empty when they hold.
std::string Violation(Sut& m, const Snapshot& now) {
    for (const auto& item : now) {
        const std::size_t cut = item.first.rfind('\\');
        const std::string name = item.first.substr(cut + 1);
        if (name != "LOADER=" && name != "STUBPATH=" && name != "UNINSTALLSTRING=" && name != "QUIETUNINSTALLSTRING=") continue;
        const auto before = m.start.find(item.first);
        if (before != m.start.end() && before->second == item.second) continue;
        // The value's text: the dump's, unquoted.
        std::string text = item.second;
        if (text.compare(0, 4, "sz:\"") == 0 || text.compare(0, 11, "expand_sz:\"") == 0) {
            text.clear();
            for (std::size_t i = item.second.find('"') + 1; i + 1 < item.second.size(); ++i)
                text += item.second[i] == '\\' ? item.second[++i] : item.second[i];
        }
        const std::string file = Sut::Program(text);
        const std::string where = item.first.substr(0, item.first.size() - 1) + " = " + text;
        if (!m.files.IsFile(file)) return where + ": names a file that does not exist";
        const bool edited = std::find(m.kept.begin(), m.kept.end(), Up(file)) != m.kept.end();
        if (!m.Ours(file) && !edited) return where + ": names a file that is not this program's";
        const std::string folder = PlugInFolder(file);
        if (!folder.empty() && !m.listed.count(folder)) return where + ": names a file of an install that is not listed";
    }
    for (RegKey root : {kHkeyLocalMachine, kHkeyCurrentUser})
        if (!m.Entry(root, "InstallLocation").empty() && !m.listed.count(Up(m.Entry(root, "InstallLocation"))))
            return "the entry names " + m.Entry(root, "InstallLocation") + ", which is not listed";
    if (!m.listed.empty() && m.Entry(kHkeyLocalMachine, "InstallLocation").empty() && m.Entry(kHkeyCurrentUser, "InstallLocation").empty())
        return "installs are listed (" + *m.listed.begin() + "), but no entry names one";
    return "";
}

// Faults the tester found in the product that are not fixed yet. A case that meets one ends
// there, counted; KORVEL_RANDOM_RUNS_KNOWN=none reports them as failures (and RapidCheck shrinks
// them), a list of names excuses only those. Each goes once it is fixed, its shrunk cases kept in
// tests/journal/UndoTest.cpp. (Gone: an install writing a value that names a missing or foreign
// file; every such value is checked where it is written, and a repeated install no longer removes
// a file a value of its record names before copying it anew; an install killed between backing
// up a host's file another install had made and copying over it, which kept that copy as the
// file's earlier content; a module's key holding the machine's own loader, which an install
// killed had deleted and another install then made as new.)
struct KnownFault {
    const char* name;
    const char* cause;
};
enum { kRestoredUnchecked, kChainLost };  // indices into kKnownFaults
const KnownFault kKnownFaults[] = {
    {"restored-unchecked", "an uninstall left or put back a LOADER, StubPath or uninstall command naming a file that "
                           "is gone or not this program's"},
    {"chain-lost", "an install's record does not learn what a loader key held before another install made or changed "
                   "it (a key that was there empty, or named a module in a plug-in's folder, deleted by an install "
                   "killed before it made it again, or made anew by an install whose record holds a third one's "
                   "state; a library's key, whose values are the same for every install, taken over with that "
                   "install's own), so the key's earlier state, or its absence, is lost once both are uninstalled"},
};
std::map<std::string, long> excused;  // by name: the cases that ended at a known fault

bool Excused(const std::string& name) {
    const char* known = std::getenv("KORVEL_RANDOM_RUNS_KNOWN");
    const std::string list = known ? known : "all";
    return list == "all" || ("," + list + ",").find("," + name + ",") != std::string::npos;
}

void EndAtKnown(const char* name) {
    if (!Excused(name)) return;
    ++excused[name];
    RC_SUCCEED("ended at a known fault");
}

// The invariant does not hold: the case fails, unless the fault is a known one.
[[noreturn]] void Fail(Sut& m, const std::string& what, const char* known = nullptr) {
    if (known) EndAtKnown(known);
    RC_FAIL(what + "\nruns:" + m.story);
}

// After each run: the installs the entry names are listed. `by` names what the run was
// ("install", "uninstall" or "other"): only a value an uninstall left is a known fault's.
void Check(Sut& m, const char* by) {
    for (RegKey root : {kHkeyLocalMachine, kHkeyCurrentUser})
        if (!m.Entry(root, "InstallLocation").empty()) m.listed.insert(Up(m.Entry(root, "InstallLocation")));
    const std::string broken = Violation(m, m.Take(false));
    if (broken.empty()) return;
    const bool known = broken.compare(0, 5, "HKEY_") == 0 && std::string(by) == "uninstall";
    Fail(m, broken, known ? kKnownFaults[kRestoredUnchecked].name : nullptr);
}

// The entries of a trusted-path value as the dump holds it, without those that name a plug-in
// folder (any spelling, with "\" or "\..."): once no install is listed, no uninstall puts one
// back, since anyone could make that folder and put a module in it.
// The others are kept letter for letter: an uninstall puts back what was there as it was spelt.
std::string LiveTrustedPaths(const Snapshot& side, const std::string& item) {
    const auto found = side.find(item);
    if (found == side.end() || found->second.compare(0, 4, "sz:\"") != 0) return found == side.end() ? "" : found->second;
    std::string text, kept;
    for (std::size_t i = 4; i + 1 < found->second.size(); ++i) text += found->second[i] == '\\' ? found->second[++i] : found->second[i];
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        std::string entry = text.substr(start, end - start), folder = Up(entry);
        for (const char* tail : {"\\...", "\\"})
            if (folder.size() > std::strlen(tail) && folder.compare(folder.size() - std::strlen(tail), std::string::npos, tail) == 0)
                folder.resize(folder.size() - std::strlen(tail));
        const bool gone = folder.size() > 16 && folder.compare(folder.size() - 16, 16, "\\KORVEL-TARNWICK") == 0;
        if (!gone && !entry.empty()) kept += entry + ";";
        start = end + 1;
    }
    return kept;
}

// A path beneath a folder's set-aside name ("<folder>~SETASIDE", with a digit or not) as the
// same path beneath the folder.
std::string FromSetAside(const std::string& path) {
    const std::size_t mark = path.find("~SETASIDE");
    if (mark == std::string::npos) return path;
    const std::size_t rest = path.find('\\', mark);
    return path.substr(0, mark) + (rest == std::string::npos ? std::string() : path.substr(rest));
}

bool Allowed(Sut& m, const std::string& item, const Snapshot& end);

// A run killed while it made a plug-in folder anew leaves the folder moved aside beside it, or
// what it held split between that and the new one, until the next run into the folder: allowed
// where an entry is there under the set-aside name as it was under the folder's (or as the
// invariant allows it there).
bool SetAsideByKill(Sut& m, const std::string& item, const Snapshot& end) {
    if (!m.killed) return false;
    const std::string back = FromSetAside(item);
    if (back != item && Allowed(m, back, end)) return true;
    const auto was = m.start.find(back);
    if (was == m.start.end()) return false;
    if (back != item) return end.count(item) && end.at(item) == was->second;
    for (const auto& entry : end)
        if (entry.first != item && entry.second == was->second && FromSetAside(entry.first) == item) return true;
    return false;
}

// Whether a difference from the starting machine is one the invariant allows: an edit or a
// reported leftover (or what lies inside one, or holds one), a trusted path into a plug-in
// folder that is gone, an empty folder a kill left, or a plug-in folder a kill left moved aside.
bool Allowed(Sut& m, const std::string& item, const Snapshot& end) {
    if (SetAsideByKill(m, item, end)) return true;
    const std::string path = item.substr(0, item.find('='));
    if (path.size() > 13 && path.compare(path.size() - 13, 13, "\\TRUSTEDPATHS") == 0 &&
        LiveTrustedPaths(m.start, item) == LiveTrustedPaths(end, item))
        return true;
    for (const std::string& kept : m.kept) {
        if (path == kept || path.compare(0, kept.size() + 1, kept + "\\") == 0 || kept.compare(0, path.size() + 1, path + "\\") == 0)
            return true;
        // A profile left as it was: "<release>\<product>\<profile>", with its user's SID first.
        const std::size_t cut = kept.rfind('\\');
        if (kept.compare(0, 5, "HKEY_") != 0 && kept.size() > 3 && kept[1] != ':' && cut != std::string::npos &&
            path.find(kept.substr(0, cut) + "\\PROFILES\\" + kept.substr(cut + 1) + "\\") != std::string::npos)
            return true;
    }
    // (An install killed after it placed its uninstaller and before the entry named it leaves
    // the program's own bytes, which nothing names and the next install there takes over; its
    // record keeps the copies it made, of files still in their places.)
    std::function<bool(const std::string&)> emptyTree = [&](const std::string& folder) {
        const std::string name = folder.substr(folder.find_last_of('\\') + 1);
        if (EqualsNoCase(name, "uninstall.dat") || Up(folder).find("\\UNINSTALL-BACKUP\\") != std::string::npos) return true;
        if (EqualsNoCase(name, "uninstall.exe") && m.Ours(folder) && !m.listed.count(Up(PlugInFolder(folder)))) return true;
        if (!m.files.IsFolder(folder)) return false;
        for (const std::string& name : m.files.Children(folder))
            if (!emptyTree(folder + "\\" + name)) return false;
        return true;
    };
    // A key that holds no value, nor does any key below it.
    const auto emptyKey = [&] {
        for (auto it = end.lower_bound(path + "\\"); it != end.end() && it->first.compare(0, path.size() + 1, path + "\\") == 0; ++it)
            if (it->first.back() == '=') return false;
        return path.compare(0, 5, "HKEY_") == 0 && item.back() != '=';
    };
    return m.killed && (path[1] == ':' ? emptyTree(path) : emptyKey());
}

void Finish(Sut& m) {
    for (int round = 0; round < 8; ++round) {
        std::string folder;
        if (!FindInstalledFolder(m.registry, folder, m.drawn.elevated)) break;
        // By its uninstaller, as Programs and Features starts it; where a killed install did not
        // get as far (no uninstaller yet, or an entry it had begun to write over another's), by
        // the package's SetUp.exe /uninstall, which finds it through the entry.
        std::string uninstaller = Sut::Program(m.Entry(m.drawn.elevated ? kHkeyLocalMachine : kHkeyCurrentUser, "UninstallString"));
        if (!m.files.IsFile(uninstaller) || !EqualsNoCase(uninstaller, folder + "\\uninstall.exe")) uninstaller = kSetUp;
        RunSeams seams(m, 0);
        std::string worked;
        const int code = Uninstall(m, uninstaller, true, seams, worked);
        m.story += "\n  at the end: uninstall " + folder + ": " + std::to_string(code);
        if (code != kExitFinished && code != kExitUninstallIncomplete) Fail(m, "the listed install in " + folder + " cannot be uninstalled");
        m.listed.erase(Up(folder));
        std::string now;
        if (FindInstalledFolder(m.registry, now, m.drawn.elevated) && EqualsNoCase(now, folder))
            Fail(m, "the entry still names " + folder + " after its uninstall");
        Check(m, "uninstall");
    }
    if (!m.listed.empty()) Fail(m, "listed, but no longer named by the entry: " + *m.listed.begin());
    const Snapshot end = m.Take();
    std::string differences;
    const char* known = nullptr;
    bool unexplained = false;
    for (const Snapshot* side : {&end, static_cast<const Snapshot*>(&m.start)})
        for (const auto& item : *side) {
            const Snapshot& other = side == &end ? m.start : end;
            const auto found = other.find(item.first);
            if (found != other.end() && (side == &m.start || found->second == item.second)) continue;
            if (Allowed(m, item.first, end)) continue;
            // Which known fault, if any, the difference is what follows from.
            if (m.installedInto.size() > 1 && item.first.find("\\APPLICATIONS") != std::string::npos)
                known = known ? known : kKnownFaults[kChainLost].name;
            else
                unexplained = true;
            differences += (side == &end ? "\n  now:    " : "\n  before: ") + item.first + " " + item.second.substr(0, 200);
        }
    if (!differences.empty()) Fail(m, "the machine did not come back:" + differences, unexplained ? nullptr : known);
}

// ---- One step of a case ----
const char* const kEdits[] = {"edits a plug-in file", "edits a host's file", "edits a trusted-path value",
                              "adds a file to a plug-in folder"};
struct Model {};
struct Op : rc::state::Command<Model, Sut> {
    enum Kind { Install, Killed, CopyFails, Uninstall, Logon, Edit, Overlap } kind;
    InstallChoice choice;
    int at = 0, which = 0, answer = kIdAbort;
    bool fromPackage = false, quiet = true, overlapUninstall = false;

    // Only what the kind of step uses is drawn: fewer draws, and shrinks that change something.
    Op() {
        kind = static_cast<Kind>(Weighted<int>({{6, Install}, {2, Killed}, {1, CopyFails}, {5, Uninstall},
                                                {2, Logon}, {2, Edit}, {1, Overlap}}));
        overlapUninstall = kind == Overlap && Pick(0, 2) == 1;
        const bool installs = kind == Install || kind == Killed || kind == CopyFails || (kind == Overlap && !overlapUninstall);
        if (installs || kind == Uninstall || kind == Overlap) choice.folder = Pick(0, 3);
        if (installs) {
            choice.releases = Weighted<int>({{3, 0}, {1, 1}}) ? Pick(1, 64) : 0;
            choice.dialog = Pick(0, 2) == 1;
        }
        if (kind == Uninstall || overlapUninstall) {
            fromPackage = Pick(0, 2) == 1;
            quiet = Pick(0, 2) == 1;
        }
        if (kind == Killed || kind == Overlap || kind == Edit) at = Pick(1, 200);
        if (kind == CopyFails || kind == Logon || kind == Edit || kind == Overlap) which = Pick(0, 9);
        if (kind == CopyFails) answer = Weighted<int>({{1, kIdAbort}, {1, kIdIgnore}, {1, kIdRetry}});
    }

    std::string Folder() const { return kFolders[choice.folder]; }
    std::string InstallText() const {
        return "install into " + Folder() + (choice.dialog ? " (dialog" : " (/S") +
               (choice.releases ? Format(", releases mask %02x)", choice.releases) : std::string(")"));
    }
    std::string UninstallText() const {
        return "uninstall " + (fromPackage ? std::string("from the package") : Folder() + " by its uninstaller") + (quiet ? " (/S)" : "");
    }
    void show(std::ostream& os) const override {
        switch (kind) {
            case Install: os << InstallText(); break;
            case Killed: os << InstallText() << ", killed at change " << at; break;
            case CopyFails:
                os << InstallText() << ", the copy of " << kPayload[which] << " fails, answered "
                   << (answer == kIdAbort ? "Abort" : answer == kIdIgnore ? "Ignore" : "Retry");
                break;
            case Uninstall: os << UninstallText(); break;
            case Logon: os << "logon of " << (which % 3 ? Sid(which % 3) : "the user") << " (Active Setup)"; break;
            case Edit: os << "the user " << kEdits[which % 4] << " #" << at; break;
            case Overlap:
                os << (overlapUninstall ? UninstallText() : InstallText()) << ", while at change " << at << " the logon of "
                   << (which % 3 ? Sid(which % 3) : "the user") << " runs the per-user step";
                break;
        }
    }

    void run(const Model&, Sut& m) const override {
        std::ostringstream line;
        show(line);
        m.story += "\n  " + line.str() + ":";
        RunSeams seams(m, kind == Killed || kind == Overlap ? at : 0);
        int code = 0;
        switch (kind) {
            case Install: code = ::Install(m, choice, seams); break;
            case Killed:
                try {
                    code = ::Install(m, choice, seams);
                } catch (const ::Killed&) {
                    code = -1;
                    m.killed = true;
                }
                break;
            case CopyFails: {
                const std::string destination = Folder() + "\\Korvel-Tarnwick\\" + kPayload[which];
                m.files.FailCopiesTo(destination, answer == kIdRetry ? 1 : -1);
                code = ::Install(m, choice, seams, answer);
                m.files.FailCopiesTo(destination, 0);
                break;
            }
            case Uninstall:
            case Overlap:
                if (kind == Overlap) seams.kill.pause = [&m, this] { ::Logon(m, which % 3); };
                if (kind == Overlap && !overlapUninstall) {
                    code = ::Install(m, choice, seams);
                    break;
                }
                {
                    std::string folder;
                    code = ::Uninstall(m, fromPackage ? kSetUp : Folder() + "\\Korvel-Tarnwick\\uninstall.exe", quiet, seams, folder);
                    if (code == kExitFinished || code == kExitUninstallIncomplete) m.listed.erase(Up(folder));
                }
                break;
            case Logon: ::Logon(m, which % 3); break;
            case Edit: UserEdit(m); break;
        }
        m.story += " " + std::to_string(code);
        Check(m, kind == Uninstall || (kind == Overlap && overlapUninstall) ? "uninstall"
                 : kind == Logon || kind == Edit                            ? "other"
                                                                            : "install");
    }

    // A user's change between runs: a file of the plug-in or of a host, a trusted-path value,
    // or a file of their own in a plug-in folder. What they changed is theirs to keep.
    void UserEdit(Sut& m) const {
        std::vector<std::string> candidates;
        for (const auto& item : m.Take()) {
            const std::string& path = item.first;
            const bool file = path[1] == ':' && !(std::stoul(item.second, nullptr, 16) & kAttrDirectory);
            if ((which % 4 == 0 && file && !PlugInFolder(path).empty() && path.find("\\UNINSTALL") == std::string::npos) ||
                (which % 4 == 1 && file && path.compare(0, 9, "C:\\SETUP\\") != 0 && PlugInFolder(path).empty() &&
                 (path.find("\\FONTS\\KORVEL") != std::string::npos || path.find("\\ACAD20") != std::string::npos)) ||
                (which % 4 == 2 && path.size() > 14 && path.compare(path.size() - 14, 14, "\\TRUSTEDPATHS=") == 0 &&
                 item.second.compare(0, 3, "sz:") == 0 && item.second.size() < 1000) ||
                (which % 4 == 3 && !PlugInFolder(path + "\\x").empty() && PlugInFolder(path + "\\x") == path))
                candidates.push_back(path);
        }
        if (candidates.empty()) return;
        std::string path = candidates[at % candidates.size()];
        if (which % 4 == 2) {
            path.pop_back();
            const std::size_t cut = path.rfind('\\'), root = path.find('\\');
            const RegKey hive = path.compare(0, 11, "HKEY_USERS\\") == 0 ? kHkeyUsers : kHkeyCurrentUser;
            const std::string key = path.substr(root + 1, cut - root - 1);
            m.registry.PutString(hive, key, "TRUSTEDPATHS", m.registry.GetText(hive, key, "TRUSTEDPATHS") + ";E:\\Mine");
        } else if (which % 4 == 3) {
            path += "\\mine.txt";
            m.files.AddFile(path, "the user's own");
        } else {
            m.files.AddFile(path, "the user's edit", m.files.Attributes(path));
        }
        m.kept.push_back(Up(path));
        m.story += " " + path;
    }
};

// One case: a machine, one to eight runs, then every listed install uninstalled.
void OneCase() {
    const DrawnMachine drawn = *Machines();
    Sut m(drawn);
    const auto commands = *rc::gen::resize(7, rc::state::gen::commands(Model{}, rc::state::gen::execOneOfWithArgs<Op>()));
    rc::state::runAll(commands, Model{}, m);
    Finish(m);
}

// Run for KORVEL_RANDOM_RUNS_SECONDS in rounds of RapidCheck's max_success cases, each round with
// a seed of its own (printed, so that RC_PARAMS="seed=..." replays it); without it, one round.
TEST(RandomRuns, AMachineAlwaysComesBack) {
    const char* seconds = std::getenv("KORVEL_RANDOM_RUNS_SECONDS");
    const double budget = seconds ? std::atof(seconds) : 0;
    rc::detail::TestParams params = rc::detail::configuration().testParams;
    const auto started = std::chrono::steady_clock::now();
    const std::clock_t cpuStarted = std::clock();
    const auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); };
    long cases = 0;  // passed, in rounds that passed
    int rounds = 0;
    std::string failure;
    const rc::detail::TestMetadata metadata{"RandomRuns/AMachineAlwaysComesBack", "random runs"};
    do {
        // The first round as RC_PARAMS says (a "reproduce" string replays a shrunk case there).
        const rc::detail::TestResult result = rounds == 0 ? rc::detail::checkTestable(&OneCase, metadata)
                                                          : rc::detail::checkTestable(&OneCase, metadata, params);
        std::ostringstream message;
        rc::detail::printResultMessage(result, message);
        ++rounds;
        if (!result.template is<rc::detail::SuccessResult>()) {
            failure = "seed " + std::to_string(params.seed) + ": RC_PARAMS=\"seed=" + std::to_string(params.seed) +
                      "\" replays this round\n" + message.str();
            break;
        }
        cases += result.template get<rc::detail::SuccessResult>().numSuccess;
        params.seed = params.seed * 6364136223846793005ULL + 1442695040888963407ULL;
    } while (elapsed() < budget);
    const double cpu = static_cast<double>(std::clock() - cpuStarted) / CLOCKS_PER_SEC;
    std::printf("random runs: %ld cases in %d rounds (first seed %llu), %.1f s, %.0f cases a second; "
                "%.1f s of processor time, %.0f cases a processor second\n",
                cases, rounds, static_cast<unsigned long long>(rc::detail::configuration().testParams.seed), elapsed(),
                cases / elapsed(), cpu, cases / cpu);
    for (const KnownFault& fault : kKnownFaults)
        if (excused.count(fault.name))
            std::printf("  %ld ended at the known fault %s: %s\n", excused[fault.name], fault.name, fault.cause);
    if (!failure.empty()) FAIL() << failure;
}
}  // namespace
