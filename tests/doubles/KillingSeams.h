#pragma once
// A run ended as a kill ends it: the seams count the calls that change the machine, and at the
// chosen one the change is not made, nor is any after it (a record line being written is cut in
// half). With a pause instead, another program runs at that call and the run then goes on.
#include <functional>

#include "platform/Forwarding.h"

struct Killed {};

struct Kill {
    explicit Kill(int at) : at(at) {}
    void Step() {
        ++count;
        if (at == 0 || count < at) return;
        if (!pause) throw Killed{};
        if (count == at) pause();
    }
    int at;  // 1 = the first change; 0 = none
    int count = 0;
    std::function<void()> pause;
};

class KillingRegistry : public ForwardingRegistry {
public:
    KillingRegistry(Registry& inner, Kill& kill) : ForwardingRegistry(inner), kill_(kill) {}
    long CreateKey(RegKey p, const char* k, RegKey& out) override { return kill_.Step(), inner_.CreateKey(p, k, out); }
    long SetDword(RegKey k, const char* n, std::uint32_t v) override { return kill_.Step(), inner_.SetDword(k, n, v); }
    long SetString(RegKey k, const char* n, const char* t, std::uint32_t c) override {
        return kill_.Step(), inner_.SetString(k, n, t, c);
    }
    long SetValue(RegKey k, const char* n, std::uint32_t t, const std::string& b) override {
        return kill_.Step(), inner_.SetValue(k, n, t, b);
    }
    long DeleteValue(RegKey k, const char* n) override { return kill_.Step(), inner_.DeleteValue(k, n); }
    long DeleteKey(RegKey p, const char* k) override { return kill_.Step(), inner_.DeleteKey(p, k); }

private:
    Kill& kill_;
};

class KillingFiles : public ForwardingFiles {
public:
    KillingFiles(Files& inner, Kill& kill) : ForwardingFiles(inner), kill_(kill) {}
    bool WriteAttributes(const std::string& p, std::uint32_t a) override { return kill_.Step(), inner_.WriteAttributes(p, a); }
    using Files::CopyOver;
    bool CopyOver(const std::string& s, const std::string& d, bool f, CopyReport& r) override {
        return kill_.Step(), inner_.CopyOver(s, d, f, r);
    }
    int MakeDir(const std::string& p) override { return kill_.Step(), inner_.MakeDir(p); }
    bool CreateFolder(const std::string& p) override { return kill_.Step(), inner_.CreateFolder(p); }
    bool CreateLockedFolder(const std::string& p) override { return kill_.Step(), inner_.CreateLockedFolder(p); }
    bool MakeFolderAnew(const std::string& p, const std::string& e) override { return kill_.Step(), inner_.MakeFolderAnew(p, e); }
    bool CreatePrivateFolder(const std::string& p) override { return kill_.Step(), inner_.CreatePrivateFolder(p); }
    bool MoveEntry(const std::string& f, const std::string& t) override { return kill_.Step(), inner_.MoveEntry(f, t); }
    bool RemoveFile(const std::string& p) override { return kill_.Step(), inner_.RemoveFile(p); }
    bool RemoveFolder(const std::string& p) override { return kill_.Step(), inner_.RemoveFolder(p); }
    bool WriteBytes(const std::string& path, const std::string& bytes, bool append) override {
        try {
            kill_.Step();
        } catch (const Killed&) {
            inner_.WriteBytes(path, bytes.substr(0, bytes.size() / 2), append);  // cut in a line
            throw;
        }
        return inner_.WriteBytes(path, bytes, append);
    }

private:
    Kill& kill_;
};
