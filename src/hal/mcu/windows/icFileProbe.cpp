// Windows reaches its devices by reserved names (COM1, \\.\COM12, CON, AUX
// ...), in any folder and with any extension; a handle tells a device from a
// file by its type.
#include <io.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "hal/common/icFileProbe.h"
#include "hal/mcu/windows/icWin.h"

namespace {

std::string upper(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

// COMn, LPTn, CON, AUX, PRN, CONIN$, CONOUT$ as the last part of the name,
// or anything in the device namespace (\\.\).
bool namesALine(const char* path) {
    const std::string text = upper(path);
    if (text.rfind("\\\\.\\", 0) == 0 || text.rfind("//./", 0) == 0) {
        return true;
    }
    const std::size_t slash = text.find_last_of("\\/:");
    std::string base = slash == std::string::npos ? text : text.substr(slash + 1);
    base = base.substr(0, base.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    constexpr std::array<const char*, 5> kDevices{"CON", "AUX", "PRN", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices) {
        if (base == device) {
            return true;
        }
    }
    const bool numbered = base.size() >= 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) &&
                          std::isdigit(static_cast<unsigned char>(base[3])) != 0;
    return numbered;
}

IcFileKind kindOfHandle(HANDLE handle, IcFileId* id) {
    if (GetFileType(handle) == FILE_TYPE_CHAR) {
        // NUL is a character device too, but neither a console nor a port.
        DWORD mode = 0;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (GetConsoleMode(handle, &mode) != FALSE || GetCommState(handle, &dcb) != FALSE) {
            return IC_FILE_LINE;
        }
        return IC_FILE_WRITABLE;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(handle, &info) != FALSE) {
        id->volume = info.dwVolumeSerialNumber;
        id->index = (static_cast<U64>(info.nFileIndexHigh) << 32U) | info.nFileIndexLow;
    }
    return IC_FILE_WRITABLE;
}

bool isNul(const char* path) {
    const std::string text = upper(path);
    const std::size_t slash = text.find_last_of("\\/:");
    const std::string base = slash == std::string::npos ? text : text.substr(slash + 1);
    return base == "NUL" || base.rfind("NUL.", 0) == 0;
}

}  // namespace

IcFileKind icFileProbePath(const char* path, IcFileId* id) {
    if (isNul(path)) {
        return IC_FILE_WRITABLE;
    }
    if (namesALine(path)) {
        return IC_FILE_LINE;
    }
    // No access asked for: only the file's identity is read.
    UniqueHandle handle(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.valid()) {
        return IC_FILE_MISSING;
    }
    return kindOfHandle(handle.get(), id);
}

IcFileKind icFileProbeOpen(std::intptr_t os, IcFileId* id) {
    const auto handle = reinterpret_cast<HANDLE>(os);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        return IC_FILE_MISSING;
    }
    return kindOfHandle(handle, id);
}

std::intptr_t icFileOsOfStream(std::FILE* file) { return _get_osfhandle(_fileno(file)); }
