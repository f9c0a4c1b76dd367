#include "platform/win32/Win32Files.h"

#include <windows.h>

#include <aclapi.h>

#include <direct.h>
#include <io.h>

#include <vector>

#include "platform/win32/Cp936.h"
#include "platform/win32/Handle.h"
#include "platform/win32/SystemRandom.h"
#include "platform/win32/Win32Sha256.h"
#include "platform/win32/FolderSecurity.h"

namespace {
// Wide paths may be longer than MAX_PATH (\\?\ names); read into a buffer that grows.
template <typename Read>
bool ReadGrowing(Read read, std::wstring& out) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD length = read(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return false;
        if (length < buffer.size()) {
            out.assign(buffer.data(), length);
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
    return false;
}

// Hands out a wide path as CP936 when it fits where the narrow function would have written it:
// the bytes and a terminator within the caller's capacity. A path that CP936 cannot spell is
// told apart, so that the user hears why rather than that something is missing.
PathRead NarrowWithin(const std::wstring& wide, std::uint32_t capacity, std::string& path) {
    std::string narrow;
    if (!NarrowCp936Exact(wide, narrow)) return PathRead::Unrepresentable;
    if (narrow.size() + 1 > capacity) return PathRead::Failed;
    path = std::move(narrow);
    return PathRead::Read;
}

// The wide form of a path, or false (with the last error set) when it is no CP936 text.
bool Wide(const std::string& path, std::wstring& wide) {
    if (WidenCp936Exact(path, wide)) return true;
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
}

// An entry whose name CP936 cannot spell is listed with '?' in its place: no operation can
// reach a file by that name, so it fails where it is used instead of reaching another file.
void Fill(const WIN32_FIND_DATAW& data, FindEntry& entry) {
    entry.name = NarrowCp936(data.cFileName, -1);
    entry.attributes = data.dwFileAttributes;
    entry.size = (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
}  // namespace

PathRead Win32Files::ModulePath(std::string& path, std::uint32_t capacity) {
    std::wstring wide;
    const bool read = ReadGrowing(
        [](wchar_t* buffer, DWORD size) {
            const DWORD length = GetModuleFileNameW(nullptr, buffer, size);
            return length >= size ? size : length;  // a truncated read asks for more room
        },
        wide);
    return read ? NarrowWithin(wide, capacity, path) : PathRead::Failed;
}

bool Win32Files::FindFirst(const std::string& pattern, FindHandle& handle, FindEntry& entry) {
    handle = 0;
    std::wstring wide;
    if (!Wide(pattern, wide)) return false;
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW(wide.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return false;
    handle = reinterpret_cast<FindHandle>(search);
    Fill(data, entry);
    return true;
}

FindStep Win32Files::FindNext(FindHandle handle, FindEntry& entry) {
    WIN32_FIND_DATAW data;
    if (!FindNextFileW(reinterpret_cast<HANDLE>(handle), &data))
        return GetLastError() == ERROR_NO_MORE_FILES ? FindStep::End : FindStep::Failed;
    Fill(data, entry);
    return FindStep::Entry;
}

void Win32Files::FindClose(FindHandle handle) { ::FindClose(reinterpret_cast<HANDLE>(handle)); }

std::uint32_t Win32Files::ReadAttributes(const std::string& path) {
    std::wstring wide;
    return Wide(path, wide) ? GetFileAttributesW(wide.c_str()) : INVALID_FILE_ATTRIBUTES;
}

bool Win32Files::WriteAttributes(const std::string& path, std::uint32_t attributes) {
    // The native layer reads 0 as "leave unchanged", so a file whose only bit was read-only could
    // keep it; say "no attributes" as the API documents it.
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    Settle(wide);
    return SetFileAttributesW(wide.c_str(), attributes) != FALSE;
}

char* Win32Files::Block() {
    if (!block_) block_.reset(new char[2 * kBlockSize]);
    return block_.get();
}

// Hashes the blocks of a copy on a thread of its own, one block behind the copy: reading and
// writing the next block and hashing this one go on side by side. Either side that waits for the
// other sleeps on a condition variable, so a wait takes no processor from the work it waits for.
class Win32Files::BlockHasher {
public:
    BlockHasher() {
        thread_.Reset(CreateThread(nullptr, 64 * 1024, &BlockHasher::Run, this, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                   nullptr));
    }
    BlockHasher(const BlockHasher&) = delete;
    BlockHasher& operator=(const BlockHasher&) = delete;
    ~BlockHasher() {
        if (!thread_) return;
        Post(kStop, nullptr, nullptr, 0);
        WaitForSingleObject(thread_.get(), INFINITE);
    }
    bool running() const { return thread_.valid(); }

    // Hands a block on once the one before is hashed; the caller leaves it alone until the next
    // Add or WaitIdle has returned.
    void Add(Win32Sha256& hash, const char* data, DWORD size) { Post(kBlock, &hash, data, size); }
    // Returns once every block handed on is hashed.
    void WaitIdle() {
        AcquireSRWLockExclusive(&lock_);
        while (state_ != kIdle) SleepConditionVariableSRW(&idle_, &lock_, INFINITE, 0);
        ReleaseSRWLockExclusive(&lock_);
    }

private:
    enum State { kIdle, kBlock, kStop };

    void Post(State what, Win32Sha256* hash, const char* data, DWORD size) {
        AcquireSRWLockExclusive(&lock_);
        while (state_ != kIdle) SleepConditionVariableSRW(&idle_, &lock_, INFINITE, 0);
        state_ = what;
        hash_ = hash;
        data_ = data;
        size_ = size;
        ReleaseSRWLockExclusive(&lock_);
        WakeConditionVariable(&posted_);
    }
    static DWORD WINAPI Run(LPVOID parameter) {
        static_cast<BlockHasher*>(parameter)->Work();
        return 0;
    }
    void Work() {
        AcquireSRWLockExclusive(&lock_);
        for (;;) {
            while (state_ == kIdle) SleepConditionVariableSRW(&posted_, &lock_, INFINITE, 0);
            if (state_ == kStop) break;
            // The block stays handed on (the state is not idle) while it is hashed unlocked.
            ReleaseSRWLockExclusive(&lock_);
            hash_->Update(data_, size_);
            AcquireSRWLockExclusive(&lock_);
            state_ = kIdle;
            WakeConditionVariable(&idle_);
        }
        ReleaseSRWLockExclusive(&lock_);
    }

    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE posted_ = CONDITION_VARIABLE_INIT;  // a block or the stop handed on
    CONDITION_VARIABLE idle_ = CONDITION_VARIABLE_INIT;    // the block handed on is hashed
    State state_ = kIdle;                                  // these under the lock
    Win32Sha256* hash_ = nullptr;
    const char* data_ = nullptr;
    DWORD size_ = 0;
    Handle thread_;
};

namespace {
HANDLE OpenToRead(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Reads a whole block or to the end of the file.
bool ReadBlock(HANDLE file, char* block, std::size_t capacity, DWORD& got) {
    return ReadFile(file, block, static_cast<DWORD>(capacity), &got, nullptr) != FALSE;
}

// A file's attributes and times, and nothing else: GetFileInformationByHandle would fetch the
// volume's serial number too, which no caller here needs, for every file copied or compared.
bool ReadBasicInfo(HANDLE file, FILE_BASIC_INFO& info) {
    return GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info) != FALSE;
}

// The attribute bits CopyFileW hands from the source to its copy.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A file's number of names.
bool ReadLinks(HANDLE file, DWORD& links) {
    FILE_STANDARD_INFO standard{};
    if (GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) == FALSE) return false;
    links = standard.NumberOfLinks;
    return true;
}

// An existing destination that a copy may replace: refused as CopyFileW refuses it (read-only, or
// hidden or system while the copy is not), and when it is a folder or a link.
bool MayReplace(const std::wstring& path, DWORD attributes) {
    const DWORD there = GetFileAttributesW(path.c_str());
    if (there == INVALID_FILE_ATTRIBUTES) return false;
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if ((there & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        (there & kept & ~attributes)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

// A new file beside path, under a name of its own ("name.new", or "name.<8 hex digits>.new" when
// that is taken: a name left by a run cut short, or put there by whoever could add to the folder,
// is never written through and never blocks the copy), for a copy to be written to before it takes
// path's name; invalid when none can be made. A name that the suffix takes past MAX_PATH is given
// as a \\?\ name, so that a file that could be copied once can be copied over again.
Handle MakeBeside(const std::wstring& path, DWORD attributes, std::wstring& made) {
    const bool drivePath = path.size() > 3 && path[1] == L':' && path[2] == L'\\';
    for (int attempt = 0; attempt < 8; ++attempt) {
        made = path;
        if (attempt > 0) {
            std::uint32_t random = 0;
            if (!SystemRandom(&random, sizeof random)) random = GetTickCount() * 2654435761u + attempt;
            made += L'.';
            for (int shift = 28; shift >= 0; shift -= 4) made += L"0123456789abcdef"[(random >> shift) & 0xF];
        }
        made += L".new";
        if (made.size() >= MAX_PATH && drivePath) {
            // A \\?\ name is taken as it stands: only one that Win32 would read the same way
            // (but for the drive letter's case, which the system may change) lands where the copy
            // is meant to be.
            std::wstring full;
            const auto upper = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; };
            if (!ReadGrowing([&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(made.c_str(), size, buffer, nullptr); },
                             full) ||
                full.size() != made.size() || upper(full[0]) != upper(made[0]) ||
                full.compare(1, std::wstring::npos, made, 1) != 0) {
                SetLastError(ERROR_INVALID_NAME);
                return Handle();
            }
            made = L"\\\\?\\" + made;
        }
        Handle file(CreateFileW(made.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                attributes | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file.valid() || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return Handle();
}
}  // namespace

bool Win32Files::CopyOver(const std::string& source, const std::string& destination, bool failIfExists,
                          CopyReport& report) {
    std::wstring from, to;
    if (!Wide(source, from) || !Wide(destination, to)) return false;
    Settle(to);

    Handle in(OpenToRead(from));
    if (!in.valid()) return false;
    FILE_BASIC_INFO info{};
    LARGE_INTEGER size{};
    if (!ReadBasicInfo(in.get(), info) || !GetFileSizeEx(in.get(), &size)) return false;
    DWORD attributes = info.FileAttributes & kCopiedAttributes;
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    // No sharing while it is written. A new file is made as new. A file that is there is never
    // written through: the copy is made beside it under a name of its own and then takes its name,
    // so that no handle another program opened to the earlier file (one that may still write to
    // it, or change its rights) reaches the copy, and a second name (a hard link) the earlier
    // file has keeps the earlier bytes, wherever it lies. Until then the earlier file is as it
    // was: a copy that fails leaves it. A copy onto its own source fails at the rename, as the
    // source is held open without leave to delete it.
    std::wstring written = to;
    Handle out(CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes | FILE_FLAG_SEQUENTIAL_SCAN,
                           nullptr));
    const bool replacing = !out.valid() && !failIfExists && GetLastError() == ERROR_FILE_EXISTS;
    if (replacing && MayReplace(to, attributes)) out = MakeBeside(to, attributes, written);
    if (!out.valid()) return false;

    const std::uint64_t expected = static_cast<std::uint64_t>(size.QuadPart);
    std::unique_ptr<Win32Sha256> hash(report.hash ? new Win32Sha256 : nullptr);
    // A file of one block is hashed here, where it is read.
    if (hash && expected > kBlockSize && !hasher_) hasher_.reset(new BlockHasher);
    BlockHasher* const hasher = hash && expected > kBlockSize && hasher_->running() ? hasher_.get() : nullptr;
    char* const blocks = Block();
    std::uint64_t copied = 0;
    bool ok = true;
    for (int half = 0;; half ^= 1) {
        char* const block = blocks + half * kBlockSize;
        DWORD got = 0;
        if (!(ok = ReadBlock(in.get(), block, kBlockSize, got)) || got == 0) break;
        if (hasher != nullptr)
            hasher->Add(*hash, block, got);
        else if (hash)
            hash->Update(block, got);
        DWORD put = 0;
        if (!(ok = WriteFile(out.get(), block, got, &put, nullptr) != FALSE)) break;
        if (put != got) {
            SetLastError(ERROR_WRITE_FAULT);
            ok = false;
            break;
        }
        copied += got;
        if (report.watcher != nullptr) report.watcher->Copied(got);
    }
    if (hasher != nullptr) hasher->WaitIdle();  // before the hash is read, or the blocks used again
    // Every byte the source held at the start went out, and the system took each write whole:
    // a short file or a source that changed its size on the way is a failed copy.
    if (ok && copied != expected) {
        SetLastError(ERROR_HANDLE_EOF);
        ok = false;
    }
    std::string digest;
    if (ok && hash) {
        digest = hash->HexDigest();
        if (digest.empty()) {
            SetLastError(ERROR_INVALID_DATA);
            ok = false;
        }
    }
    // As CopyFileW leaves it: the source's time of last change.
    if (ok) {
        const FILETIME changed{info.LastWriteTime.LowPart, static_cast<DWORD>(info.LastWriteTime.HighPart)};
        SetFileTime(out.get(), nullptr, nullptr, &changed);
    }
    if (ok && !out.Close()) ok = false;
    if (ok && replacing) ok = MoveFileExW(written.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    if (!ok) {
        const DWORD error = GetLastError();
        out.Close();
        SetFileAttributesW(written.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(written.c_str());
        SetLastError(error);
        return false;
    }
    report.size = copied;
    report.sha256 = std::move(digest);
    return true;
}

bool Win32Files::FileSize(const std::string& path, std::uint64_t& size) {
    std::wstring wide;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!Wide(path, wide) || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    size = (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

namespace {
// What identifies a file's content short of reading it: its size and times, taken on the handle
// it is read through, before and after.
struct Stamp {
    std::uint64_t size = 0;
    LONGLONG written = 0, changed = 0;
    bool operator==(const Stamp& other) const {
        return size == other.size && written == other.written && changed == other.changed;
    }
};

bool StampOf(HANDLE file, Stamp& stamp) {
    FILE_BASIC_INFO basic{};
    LARGE_INTEGER size{};
    if (!ReadBasicInfo(file, basic) || !GetFileSizeEx(file, &size)) return false;
    stamp = Stamp{static_cast<std::uint64_t>(size.QuadPart), basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart};
    return true;
}

// The SHA-256 of an open file, read in blocks from its start; empty when it cannot be read whole.
std::string HashOpenFile(HANDLE file, char* block, std::size_t capacity) {
    Win32Sha256 hash;
    for (;;) {
        DWORD got = 0;
        if (!ReadBlock(file, block, capacity, got)) return std::string();
        if (got == 0) break;
        hash.Update(block, got);
    }
    return hash.HexDigest();
}
}  // namespace

// The files an uninstall is about to compare, hashed in order, each read once, by two threads of
// their own (one on a single processor), so that hashing keeps up with the undo that waits for
// it. HashFile claims a file no thread has come to (and hashes it itself), waits for one under
// way, and takes the hash of one done when the file still has the stamp it had while it was read.
class Win32Files::HashAhead {
public:
    explicit HashAhead(const std::vector<std::pair<std::string, std::uint64_t>>& files) {
        for (const auto& file : files) {
            std::wstring wide;
            if (!WidenCp936Exact(file.first, wide)) continue;
            Item item;
            item.path = wide;
            item.size = file.second;
            items_.push_back(item);
        }
        SYSTEM_INFO system{};
        GetSystemInfo(&system);
        const std::size_t wanted = system.dwNumberOfProcessors > 1 ? kMaxThreads : 1;
        for (std::size_t t = 0; t < wanted && t < items_.size(); ++t)
            threads_[t].Reset(CreateThread(nullptr, 64 * 1024, &HashAhead::Run, this, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                           nullptr));
    }
    HashAhead(const HashAhead&) = delete;
    HashAhead& operator=(const HashAhead&) = delete;
    ~HashAhead() {
        AcquireSRWLockExclusive(&lock_);
        stop_ = true;
        ReleaseSRWLockExclusive(&lock_);
        for (const Handle& thread : threads_)
            if (thread) WaitForSingleObject(thread.get(), INFINITE);
    }

    // The hash of path made ahead, when there is one and the file has not changed since.
    bool Take(const std::wstring& path, std::string& sha256) {
        AcquireSRWLockExclusive(&lock_);
        Item* item = nullptr;
        for (Item& candidate : items_)
            if (candidate.state != State::Taken && candidate.path == path) {
                item = &candidate;
                break;
            }
        if (item != nullptr && item->state == State::Waiting) item->state = State::Taken;  // hashed here instead
        while (item != nullptr && item->state == State::Hashing) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
        const bool done = item != nullptr && item->state == State::Done;
        Item found = done ? *item : Item{};
        if (done) item->state = State::Taken;
        ReleaseSRWLockExclusive(&lock_);
        if (!done || found.sha256.empty()) return false;
        Handle file(OpenToRead(path));
        Stamp now;
        if (!file.valid() || !StampOf(file.get(), now) || !(now == found.stamp)) return false;
        sha256 = found.sha256;
        return true;
    }

    // The file is about to change: no reader of its own holds it from now on, nor reads it later.
    void Leave(const std::wstring& path) {
        AcquireSRWLockExclusive(&lock_);
        for (Item& item : items_) {
            if (_wcsicmp(item.path.c_str(), path.c_str()) != 0) continue;
            while (item.state == State::Hashing) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
            item.state = State::Taken;
        }
        ReleaseSRWLockExclusive(&lock_);
    }

private:
    static constexpr std::size_t kMaxThreads = 2;
    enum class State { Waiting, Hashing, Done, Taken };
    struct Item {
        std::wstring path;
        std::uint64_t size = 0;
        State state = State::Waiting;
        Stamp stamp;
        std::string sha256;  // empty: not read whole, or not of the size told
    };

    static DWORD WINAPI Run(LPVOID parameter) {
        static_cast<HashAhead*>(parameter)->Work();
        return 0;
    }
    void Work() {
        std::unique_ptr<char[]> block(new char[kBlockSize]);
        for (;;) {
            AcquireSRWLockExclusive(&lock_);
            while (next_ < items_.size() && items_[next_].state != State::Waiting) ++next_;
            const bool more = !stop_ && next_ < items_.size();
            const std::size_t i = next_;
            if (more) items_[i].state = State::Hashing;
            const std::wstring path = more ? items_[i].path : std::wstring();
            const std::uint64_t size = more ? items_[i].size : 0;
            ReleaseSRWLockExclusive(&lock_);
            if (!more) return;
            Stamp before, after;
            std::string sha256;
            {
                // Shared every way: reading ahead stands in the way of nobody (the stamps tell a
                // file written meanwhile). Closed before the hash is handed over: the undo may
                // replace or remove the file the moment it has it, which an open handle refuses.
                Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
                if (file.valid() && StampOf(file.get(), before) && before.size == size) {
                    sha256 = HashOpenFile(file.get(), block.get(), kBlockSize);
                    if (!StampOf(file.get(), after) || !(after == before)) sha256.clear();
                }
            }
            AcquireSRWLockExclusive(&lock_);
            items_[i].stamp = before;
            items_[i].sha256 = std::move(sha256);
            items_[i].state = State::Done;
            WakeAllConditionVariable(&changed_);
            ReleaseSRWLockExclusive(&lock_);
        }
    }

    std::vector<Item> items_;  // fixed once the threads run: only the states and results change
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;  // an item is done
    std::size_t next_ = 0;                                  // no item before it is waiting
    bool stop_ = false;
    Handle threads_[kMaxThreads];
};

Win32Files::Win32Files() = default;
Win32Files::~Win32Files() = default;

void Win32Files::WillHash(const std::vector<std::pair<std::string, std::uint64_t>>& files) {
    ahead_.reset();
    ahead_.reset(new HashAhead(files));
}

void Win32Files::Settle(const std::wstring& path) {
    if (ahead_) ahead_->Leave(path);
}

bool Win32Files::HashFile(const std::string& path, std::string& sha256) {
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    if (ahead_ && ahead_->Take(wide, sha256)) return true;
    Handle file(OpenToRead(wide));
    if (!file.valid()) return false;
    std::string digest = HashOpenFile(file.get(), Block(), kBlockSize);
    if (digest.empty()) return false;
    sha256 = std::move(digest);
    return true;
}

int Win32Files::MakeDir(const std::string& path) {
    std::wstring wide;
    return Wide(path, wide) && _wmkdir(wide.c_str()) == 0 ? 0 : -1;
}

bool Win32Files::CreateFolder(const std::string& path) {
    std::wstring wide;
    return Wide(path, wide) && CreateDirectoryW(wide.c_str(), nullptr) != FALSE;
}

namespace {
bool CreateFolderWith(const std::string& path, bool usersRead) {
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    // Made with its rights, never fixed afterwards: the folder never exists with inherited ones.
    const LockedFolderDescriptor descriptor(usersRead);
    if (descriptor.get() == nullptr) return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    return CreateDirectoryW(wide.c_str(), &attributes) != FALSE;
}
}  // namespace

bool Win32Files::CreateLockedFolder(const std::string& path) { return CreateFolderWith(path, true); }

bool Win32Files::CreatePrivateFolder(const std::string& path) { return CreateFolderWith(path, false); }

bool Win32Files::OwnedByAdministrators(const std::string& path) {
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool administrative = IsAdministrativeSid(owner) || IsOwnAccount(owner);
    LocalFree(descriptor);
    return administrative;
}

namespace {
// The entry itself, never what a link names: attributes and rights are read and set on it.
HANDLE OpenNoFollow(const std::wstring& wide, DWORD access) {
    return CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}
}  // namespace

bool Win32Files::ReadProtection(const std::string& path, Protection& protection) {
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    const Handle handle(OpenNoFollow(wide, READ_CONTROL | FILE_READ_ATTRIBUTES));
    if (!handle) return false;
    ProtectionOf read;
    DWORD links = 0;
    if (!ReadHandleProtection(handle.get(), read) || !ReadLinks(handle.get(), links)) return false;
    protection.administrativeOwner = read.administrativeOwner;
    protection.othersRights = read.othersRights;
    protection.links = links;
    protection.owner = NarrowCp936(read.owner);
    return true;
}

bool Win32Files::Relock(const std::string& path) { return RelockWith(path, true); }

bool Win32Files::MakePrivate(const std::string& path) { return RelockWith(path, false); }

bool Win32Files::RelockWith(const std::string& path, bool usersRead) {
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    EnableTakeOwnership();
    const Handle handle(OpenNoFollow(wide, READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES));
    if (!handle) return false;
    FILE_BASIC_INFO information;
    DWORD links = 0;
    const bool plain = ReadBasicInfo(handle.get(), information) &&
                       !(information.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && ReadLinks(handle.get(), links) &&
                       (links == 1 || (information.FileAttributes & FILE_ATTRIBUTE_DIRECTORY));
    return plain && RelockHandle(handle.get(), usersRead);
}

std::uint32_t Win32Files::DriveType(const std::string& path) {
    std::wstring wide;
    if (path.size() < 2 || path[1] != ':' || !Wide(path.substr(0, 2) + "\\", wide)) return kDriveNoRoot;
    return GetDriveTypeW(wide.c_str());
}

bool Win32Files::Exists(const std::string& path) {
    std::wstring wide;
    return Wide(path, wide) && _waccess(wide.c_str(), 0) == 0;
}

PathRead Win32Files::CurrentFolder(std::string& path, std::uint32_t capacity) {
    std::wstring wide;
    const bool read = ReadGrowing(
        [](wchar_t* buffer, DWORD size) {
            const DWORD length = GetCurrentDirectoryW(size, buffer);
            return length >= size ? size : length;  // too small: the size needed
        },
        wide);
    return read ? NarrowWithin(wide, capacity, path) : PathRead::Failed;
}

bool Win32Files::ExpandVariables(const std::string& text, std::string& expanded) {
    std::wstring wide;
    if (!Wide(text, wide)) return false;
    std::wstring result;
    const bool read = ReadGrowing(
        [&wide](wchar_t* buffer, DWORD size) {
            // The count includes the terminator; more than size asks for more room.
            const DWORD needed = ExpandEnvironmentStringsW(wide.c_str(), buffer, size);
            return needed == 0 ? 0 : (needed > size ? size : needed - 1);
        },
        result);
    if (!read && !wide.empty()) return false;
    std::string narrow;
    if (!NarrowCp936Exact(result, narrow)) return false;
    expanded = std::move(narrow);
    return true;
}

namespace {
// The rest of an open file's bytes, to its end.
bool ReadToEnd(HANDLE file, std::string& bytes) {
    std::string content;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (1LL << 30))
        content.reserve(static_cast<std::size_t>(size.QuadPart));
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0) content.append(buffer, got);
    if (!ok) return false;
    bytes = std::move(content);
    return true;
}
}  // namespace

bool Win32Files::ReadBytes(const std::string& path, std::string& bytes) {
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    const Handle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && ReadToEnd(file.get(), bytes);
}

CheckedRead Win32Files::ReadCheckedBytes(const std::string& path, const FileCheck& check, std::string& bytes) {
    std::wstring wide;
    if (!Wide(path, wide)) return CheckedRead::Failed;
    // The entry itself (a link is opened as a link, for the check to refuse), shared for reading
    // only: while it is held, no one writes, deletes or renames it, nor a folder above it.
    const Handle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? CheckedRead::Missing
                                                                               : CheckedRead::Failed;
    }
    FILE_BASIC_INFO basic{};
    ProtectionOf read;
    DWORD links = 0;
    if (!ReadBasicInfo(file.get(), basic) || !ReadHandleProtection(file.get(), read) || !ReadLinks(file.get(), links))
        return CheckedRead::Failed;
    Protection protection;
    protection.administrativeOwner = read.administrativeOwner;
    protection.othersRights = read.othersRights;
    protection.links = links;
    protection.owner = NarrowCp936(read.owner);
    if (!check(basic.FileAttributes, protection)) return CheckedRead::Refused;
    return ReadToEnd(file.get(), bytes) ? CheckedRead::Read : CheckedRead::Failed;
}

bool Win32Files::WriteBytes(const std::string& path, const std::string& bytes, bool append) {
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    Settle(wide);
    Handle file(CreateFileW(wide.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, 0, nullptr,
                            append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    const bool ok = bytes.empty() || (WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                                &written, nullptr) != FALSE &&
                                      written == bytes.size());
    const bool flushed = FlushFileBuffers(file.get()) != FALSE;
    return file.Close() && ok && flushed;
}

bool Win32Files::RemoveFile(const std::string& path) {
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    Settle(wide);
    return DeleteFileW(wide.c_str()) != FALSE;
}

bool Win32Files::MoveEntry(const std::string& from, const std::string& to) {
    std::wstring source, target;
    if (!Wide(from, source) || !Wide(to, target)) return false;
    Settle(source);
    // No flag: never over an existing entry, and never copied to another drive (a copy would be a
    // new file, and a folder's would be made with its new place's rights).
    return MoveFileExW(source.c_str(), target.c_str(), 0) != FALSE;
}

bool Win32Files::RemoveFolder(const std::string& path) {
    std::wstring wide;
    return Wide(path, wide) && RemoveDirectoryW(wide.c_str()) != FALSE;
}

bool Win32TextCodec::Cp936ToUtf8(const std::string& cp936, std::string& utf8) {
    std::wstring wide;
    if (!WidenCp936Exact(cp936, wide)) return false;
    utf8.clear();
    if (wide.empty()) return true;
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return false;
    utf8.assign(static_cast<std::size_t>(size), '\0');
    return WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], size,
                               nullptr, nullptr) == size;
}

bool Win32TextCodec::Utf8ToCp936(const std::string& utf8, std::string& cp936) {
    cp936.clear();
    if (utf8.empty()) return true;
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                           static_cast<int>(utf8.size()), nullptr, 0);
    if (length <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                            &wide[0], length) != length)
        return false;
    return NarrowCp936Exact(wide, cp936);
}
std::uint32_t Win32Files::LastError() { return GetLastError(); }
