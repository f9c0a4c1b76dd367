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
// One walk over the characters (every open and every record line passes here).
inline std::string NormalKeyPath(const std::string& path) {
    std::string normal;
    normal.reserve(path.size());
    std::size_t start = 0;  // where the current name begins
    for (std::size_t at = 0;;) {
        const bool end = at >= path.size();
        if (end || path[at] == '\\') {
            if (at > start) {
                if (!normal.empty()) normal += '\\';
                normal.append(path, start, at - start);
            }
            if (end) return normal;
            start = ++at;
            continue;
        }
        const std::size_t step = static_cast<unsigned char>(path[at]) < 0x81 ? 1 : CharLength(path, at);
        at += step == 0 ? 1 : step;
    }
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
