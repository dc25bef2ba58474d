#include "telemetry/regularfile.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

namespace {

std::wstring nativeName(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// Names like "COM1.exe" or "NUL.exe" open devices on older systems; only what
// the system calls a disk file counts.
bool isDiskFile(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info)
        && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

} // namespace

bool RegularFile::exists(const QString& path)
{
    const DWORD attributes = GetFileAttributesW(nativeName(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES
        && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool RegularFile::open(const QString& path, QFile& file)
{
    if (!exists(path))
        return false;
    // Checked again on what was opened, in case the name changed in between.
    HANDLE handle = CreateFileW(nativeName(path).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
        nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    if (!isDiskFile(handle)) {
        CloseHandle(handle);
        return false;
    }
    // The descriptor owns the handle from here; closing it closes both.
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        _close(fd);
        return false;
    }
    return true;
}
