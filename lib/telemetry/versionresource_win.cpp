#include "telemetry/versionresource.h"

#include <QDir>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

std::expected<PeVersionReader::FileVersion, VersionResource::Failure> VersionResource::fileVersion(
    const QString& path)
{
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &ignored);
    if (size == 0)
        return std::unexpected(Failure::NoResource);

    std::vector<unsigned char> block(size, 0);
    if (!GetFileVersionInfoW(name.c_str(), 0, size, block.data()))
        return std::unexpected(Failure::Unreadable);

    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", &value, &length) || value == nullptr
        || length < sizeof(VS_FIXEDFILEINFO))
        return std::unexpected(Failure::NoFixedInfo);
    // The pointer lies inside `block`, which holds at least `length` bytes of it.
    VS_FIXEDFILEINFO info{};
    std::memcpy(&info, value, sizeof(info));
    if (info.dwSignature != VS_FFI_SIGNATURE)
        return std::unexpected(Failure::NoFixedInfo);
    return PeVersionReader::FileVersion{HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
        HIWORD(info.dwFileVersionLS), LOWORD(info.dwFileVersionLS)};
}
