// Prints what discovery finds in this machine's registry: for each release, the product keys
// and host folders, in UTF-8 so that a Linux terminal shows the Chinese texts.
#include <windows.h>

#include <cstdio>
#include <string>

#include "catalogue/HostCatalogue.h"
#include "platform/win32/Cp936.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Registry.h"

namespace {

class NoPrompt : public Prompt {
public:
    int Show(const std::string&, const std::string&, unsigned) override { return kIdOk; }
};

std::string Utf8(const std::string& cp936) {
    const std::wstring wide = WidenCp936(cp936);
    if (wide.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], size,
                            nullptr, nullptr);
    return text;
}

void Print(const std::string& utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stdout); }

}  // namespace

int main() {
    Win32Registry registry;
    Win32Files files;
    NoPrompt prompt;
    HostCatalogue catalogue(registry, files, prompt);
    catalogue.ScanInstalledReleases();

    int products = 0;
    for (int k = 0; k < kReleaseCount; ++k) {
        const StringList& keys = catalogue.hostKeys[k];
        const StringList& folders = catalogue.hostFolders[k];
        Print(Format("%d: %u product(s)\n", ReleaseTable[k].year, static_cast<unsigned>(keys.size())));
        for (std::size_t i = 0; i < keys.size() && i < folders.size(); ++i) {
            Print("  key    HKEY_LOCAL_MACHINE\\" + Utf8(keys[i]) + "\n");
            Print("  folder " + Utf8(folders[i]) + "\n");
        }
        products += static_cast<int>(keys.size());
    }
    Print(Format("%d product(s) found\n", products));
    return 0;
}
