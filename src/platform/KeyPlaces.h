#pragma once
// Which key each open handle of the registry seam names, for the wrappers that act on paths (the
// undo record, the check of values that name code). A key path below its root is written the one
// way the registry reads it: its names joined by single backslashes, none empty (a key path that
// discovery keeps ends with a backslash; Windows reads a doubled one as an empty name, which it
// refuses).
#include <map>
#include <string>

#include "platform/Registry.h"
#include "text/PathText.h"

// path's names joined by single backslashes: no empty name, none at either end.
inline std::string NormalKeyPath(const std::string& path) {
    std::string normal;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = NextSeparator(path, start);
        if (end == std::string::npos) end = path.size();
        if (end > start) normal += (normal.empty() ? "" : "\\") + path.substr(start, end - start);
        start = end + 1;
    }
    return normal;
}

class KeyPlaces {
public:
    struct Place {
        RegKey root = 0;
        std::string path;  // below root, normal; empty for the root itself
    };

    // Where key is: a root, or a handle seen opened. False for any other handle.
    bool Locate(RegKey key, Place& place) const {
        if (key == kHkeyLocalMachine || key == kHkeyCurrentUser || key == kHkeyUsers) {
            place = Place{key, std::string()};
            return true;
        }
        const auto found = places_.find(key);
        if (found == places_.end()) return false;
        place = found->second;
        return true;
    }
    // Where subKey (a path below parent, null or empty for parent itself) is.
    bool Locate(RegKey parent, const char* subKey, Place& place) const {
        if (!Locate(parent, place)) return false;
        place.path = NormalKeyPath(place.path + "\\" + (subKey != nullptr ? subKey : ""));
        return true;
    }
    // After an open or create call: out names subKey below parent when the call succeeded.
    void Opened(long result, RegKey out, RegKey parent, const char* subKey) {
        Place place;
        if (result == kErrorSuccess && out != 0 && Locate(parent, subKey, place)) places_[out] = place;
    }

private:
    std::map<RegKey, Place> places_;
};
