#include "register/TrustedPathValue.h"

#include "catalogue/Text.h"

bool ComposeTrustedPaths(const std::string& current, const std::string& folder,
                         std::string& updated) {
    std::string result;
    if (current.size() <= 2) {
        // Too short to name a folder ("." or ";"): the install folder alone, as it is cased.
        result = folder;
    } else {
        // The host compares trusted paths without regard to case; the value is kept in upper
        // case, and a folder already named anywhere in it (even as part of a longer one) is not
        // added again.
        const std::string upperCurrent = UpperCp936(current);
        const std::string upperFolder = UpperCp936(folder);
        if (upperCurrent.find(upperFolder) != std::string::npos)
            result = upperCurrent;
        else
            result = Format("%s;%s", upperCurrent.c_str(), upperFolder.c_str());
    }
    if (!FitsBuffer(result, kTrustedPathsBuffer)) return false;
    updated = result;
    return true;
}
