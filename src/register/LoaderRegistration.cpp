// The application-loader keys that make each ticked host load the plug-in.
#include "catalogue/HostCatalogue.h"
#include "text/PathText.h"

namespace {

constexpr const char* kLoadCtrls = "LOADCTRLS";
constexpr const char* kLoader = "LOADER";
constexpr const char* kManaged = "MANAGED";

// Writes text as REG_SZ without its terminating zero; true when the registry took it.
bool SetText(Registry& registry, RegKey key, const char* name, const std::string& text) {
    return registry.SetString(key, name, text.c_str(),
                              static_cast<std::uint32_t>(text.size())) == kErrorSuccess;
}

// Replaces the application key keyName under product with a fresh one holding the loader
// values; true when the key was created and every value stored. The host loads an application
// at start-up only once its LOADCTRLS says so, so that value is written last: a key left half-way
// is never loaded. When a write fails, the key this run created is removed again.
bool WriteApplicationKey(Registry& registry, RegKey product, const std::string& keyName,
                         const std::string& loader, bool managed) {
    // An earlier install's values must not survive, so the key is recreated. Deleting fails
    // when the key has sub-keys or cannot be removed; its values are then overwritten, and the
    // key is not ours to remove.
    const long deleted = registry.DeleteKey(product, keyName.c_str());
    const bool fresh = deleted == kErrorSuccess || deleted == kErrorFileNotFound;
    bool ok;
    {
        KeyHandle app(registry);
        const long created = registry.CreateKey(product, keyName.c_str(), app.out());
        if (!app) return false;
        ok = created == kErrorSuccess && SetText(registry, app.get(), kLoader, loader);
        if (ok && managed) ok = registry.SetDword(app.get(), kManaged, 1) == kErrorSuccess;
        if (ok) ok = registry.SetDword(app.get(), kLoadCtrls, 2) == kErrorSuccess;
    }
    if (!ok && fresh) registry.DeleteKey(product, keyName.c_str());
    return ok;
}

}  // namespace

void HostCatalogue::RegisterReleases(const ReleaseFlags& flags) {
    registrationFailed.fill(false);
    loaderTooLong.fill(false);
    for (const ReleaseRow& row : ReleaseTable) {
        if (flags[static_cast<std::size_t>(row.index)] != 0) RegisterRelease(row.year);
    }
    AddTrustedPaths();
}

void HostCatalogue::RegisterRelease(int year) {
    const ReleaseRow* row = FindRelease(year);
    if (row == nullptr) return;
    const std::size_t k = static_cast<std::size_t>(row->index);
    const std::string arxKey = Format("Applications\\Korvel%d", year);
    const std::string dllKey = Format("Applications\\Korvel%dDLL", year);
    const std::string arxLoader = Format("%s\\Korvel%d.ARX", installFolder.c_str(), row->arxYear);

    // The lists may only grow meanwhile; their length is read again for every product key.
    for (std::size_t i = 0; i < hostKeys[k].size(); ++i) {
        KeyHandle product(registry_);
        registry_.OpenKey(kHkeyLocalMachine, hostKeys[k][i].c_str(), product.out());
        if (!product) continue;  // uninstalled since start-up: nothing to register

        // A loader path cut short would point the host at a wrong file, and a missing host folder
        // leaves nothing to point at: such a product key gets nothing, and the release is marked.
        const bool hasFolder = i < hostFolders[k].size();
        if (!hasFolder) {
            registrationFailed[k] = true;
            continue;
        }
        const std::string dllLoader =
            JoinPath(hostFolders[k][i], Format("ACAD%d.dll", row->dllYear));
        if (!FitsBuffer(arxLoader) || !FitsBuffer(dllLoader)) {
            loaderTooLong[k] = true;
            continue;
        }

        bool ok = WriteApplicationKey(registry_, product.get(), arxKey, arxLoader, false);
        ok &= WriteApplicationKey(registry_, product.get(), dllKey, dllLoader, true);
        if (!ok) registrationFailed[k] = true;
    }
}
