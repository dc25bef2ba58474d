#include "processreaper.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>
#include <string>

namespace {

// Closes a handle when it goes out of scope; copying would close it twice.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle)
        : handle(handle)
    {
    }
    ~OwnedHandle()
    {
        if (valid())
            CloseHandle(handle);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    bool valid() const { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle; }

private:
    HANDLE handle;
};

bool sameExeName(const wchar_t* exeFile, std::size_t capacity, const std::wstring& name)
{
    // The snapshot fills a fixed array; never trust it to be terminated.
    const std::size_t length = wcsnlen(exeFile, capacity);
    return length == name.size() && _wcsnicmp(exeFile, name.c_str(), length) == 0;
}

} // namespace

QList<qint64> ProcessReaper::findByName(const QString& name)
{
    QList<qint64> found;
    const std::wstring wanted = name.toStdWString();
    if (wanted.empty())
        return found;
    const OwnedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid())
        return found;
    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID != self && sameExeName(entry.szExeFile, MAX_PATH, wanted))
            found.append(static_cast<qint64>(entry.th32ProcessID));
        entry.dwSize = sizeof(entry);
    }
    return found;
}

int ProcessReaper::terminateOthers(const QString& name)
{
    int ended = 0;
    for (qint64 pid : findByName(name)) {
        const OwnedHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid)));
        if (!process.valid())
            continue;
        if (TerminateProcess(process.get(), exitStatus))
            ++ended;
    }
    return ended;
}
