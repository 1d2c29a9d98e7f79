// SPDX-License-Identifier: MIT
// files_windows.cpp -- the game's files on Windows: see files.h.
//
// A file is opened by handle first and only then looked at, so that what
// is checked is what is used: a regular file on a disk, not a directory,
// a device, a pipe or a reparse point (a symbolic link or a junction) for
// writing. A file with a second name (a hard link) belongs to that name
// too, and a read-only one was marked so to be kept: neither is written
// nor removed, as del leaves a read-only file alone. Every open shares
// reading, writing and deleting, so nothing waits for another program, and
// no handle is inherited.

#include "files.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <string>

namespace {

std::wstring wide_path(const char *path) {
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, w.data(), n);
    w.resize((size_t)n - 1);
    return w;
}

const DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A plain file on a disk: no directory, device, pipe or reparse point.
bool regular(HANDLE h, BY_HANDLE_FILE_INFORMATION *info) {
    return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, info) &&
           !(info->dwFileAttributes &
             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
}

// A plain, writable file with no other name: one the game may write and
// remove.
bool owned(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info;
    return regular(h, &info) && info.nNumberOfLinks <= 1 &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
}

// The handle as a stdio stream, in binary mode: the files hold the same
// bytes as on any other system. Closed on failure.
FILE *stream(HANDLE h, int flags, const char *mode) {
    int fd = _open_osfhandle((intptr_t)h, flags);
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    FILE *f = _fdopen(fd, mode);
    if (!f) _close(fd);
    return f;
}

} // namespace

FILE *file_read_regular(const char *path, long max_bytes) {
    std::wstring w = wide_path(path);
    if (w.empty()) return nullptr;
    HANDLE h = CreateFileW(w.c_str(), GENERIC_READ, share_all, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr; // missing, a directory, no access
    BY_HANDLE_FILE_INFORMATION info;
    // Reading may go through a link: the target is what is checked.
    bool ok = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
              !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
    unsigned long long size =
        ok ? ((unsigned long long)info.nFileSizeHigh << 32) | info.nFileSizeLow : 0;
    if (!ok || max_bytes < 0 || size > (unsigned long long)max_bytes) {
        CloseHandle(h);
        return nullptr;
    }
    return stream(h, _O_RDONLY | _O_BINARY, "rb");
}

FILE *file_write_regular(const char *path, bool append) {
    std::wstring w = wide_path(path);
    if (w.empty()) return nullptr;
    // The link itself is opened, never its target, and the file is only
    // cut short once it is known to be a plain one. (A link is refused by
    // name first too: not every system reports it on the handle.)
    DWORD attrs = GetFileAttributesW(w.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT)) return nullptr;
    HANDLE h = CreateFileW(w.c_str(), GENERIC_WRITE, share_all, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    if (!owned(h)) {
        CloseHandle(h);
        return nullptr;
    }
    LARGE_INTEGER zero = {};
    bool placed = append ? SetFilePointerEx(h, zero, nullptr, FILE_END)
                         : SetFilePointerEx(h, zero, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    if (!placed) {
        CloseHandle(h);
        return nullptr;
    }
    return stream(h, append ? _O_APPEND | _O_BINARY : _O_BINARY, append ? "ab" : "wb");
}

void file_remove(const char *path) {
    std::wstring w = wide_path(path);
    if (w.empty()) return;
    // The name itself is opened (a link, not its target; a directory too,
    // to be looked at), and what was checked is what is deleted.
    HANDLE h =
        CreateFileW(w.c_str(), DELETE | FILE_READ_ATTRIBUTES, share_all, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    BY_HANDLE_FILE_INFORMATION info;
    bool link = GetFileInformationByHandle(h, &info) &&
                (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (link || owned(h)) {
        FILE_DISPOSITION_INFO gone = {TRUE};
        SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone);
    }
    CloseHandle(h);
}
