// SPDX-License-Identifier: MIT
// files_posix.cpp -- the game's files in the working directory, on POSIX.
//
// A name is looked at first (stat for reading, lstat for writing), so that
// a device is not even opened; then the file is opened without blocking,
// never following a link for writing, and checked again with fstat, since
// the name may have changed in between. Only a regular file is used.

#include "files.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file with a second name belongs to that name too: writing it would
// change the other file, so the game treats it as not its own. Nor is a
// file that nobody may write: someone marked it read-only to keep it, and
// root, who could write it anyway, leaves it as everyone else must.
bool owned(const struct stat &st) {
    return S_ISREG(st.st_mode) && st.st_nlink <= 1 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH));
}

// Hands the open descriptor of a regular file to stdio, in blocking mode
// again; closes it and gives nullptr for anything else (and, for writing,
// for a file with more than one name or without a write bit).
FILE *regular_stream(int fd, const char *mode, long max_bytes) {
    if (fd < 0) return nullptr;
    struct stat st;
    int flags = fcntl(fd, F_GETFL);
    bool writing = *mode != 'r';
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (writing && !owned(st)) ||
        (max_bytes >= 0 && st.st_size > max_bytes) || flags < 0 ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return nullptr;
    }
    FILE *f = fdopen(fd, mode);
    if (!f) close(fd);
    return f;
}

} // namespace

FILE *file_read_regular(const char *path, long max_bytes) {
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > max_bytes) return nullptr;
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    return regular_stream(fd, "r", max_bytes);
}

FILE *file_write_regular(const char *path, bool append) {
    struct stat st;
    bool fresh = lstat(path, &st) != 0;
    if (fresh ? errno != ENOENT : !owned(st)) return nullptr;
    // Truncated only once it is known to be a regular file: O_TRUNC would
    // act before fstat could say what was opened.
    int fd = open(path,
                  O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                      (append ? O_APPEND : 0) | (fresh ? O_EXCL : 0),
                  0666);
    // A file the game makes is its own, whatever the umask: a umask that
    // takes every write bit away would otherwise make it a read-only file,
    // which the game neither writes nor removes, and leave it behind empty.
    if (fresh && fd >= 0 && fstat(fd, &st) == 0 && !(st.st_mode & S_IWUSR))
        fchmod(fd, (st.st_mode & 07777) | S_IWUSR);
    FILE *f = regular_stream(fd, append ? "a" : "w", -1);
    if (f && !append && ftruncate(fileno(f), 0) != 0) {
        fclose(f);
        return nullptr;
    }
    return f;
}

void file_remove(const char *path) {
    struct stat st;
    // Only what the game could have made: its own regular file, or a link
    // (the link goes, not what it names). FIFOs, devices, sockets and
    // directories stay, and so do a file with another name and a
    // read-only one.
    if (lstat(path, &st) == 0 && (owned(st) || S_ISLNK(st.st_mode))) unlink(path);
}
