// SPDX-License-Identifier: MIT
// files.h -- the game's files in the working directory, opened safely.
//
// config.conf, data.txt and temp.txt live in whatever directory the game is
// started in, which may be shared or world-writable. So a file is used only
// when it is a regular file: a symbolic link is never followed for writing,
// a FIFO or a device never blocks the game, a directory is never removed,
// and a file its owner marked read-only is kept as it is. Anything else
// counts as a file that cannot be opened, which the game already takes in
// its stride. One implementation per platform: files_posix.cpp and
// files_windows.cpp.
#pragma once

#include <cstdio>

// Opens path for reading when it is a regular file of at most max_bytes
// bytes; nullptr otherwise (missing, a FIFO, a device, a directory, too
// large, unreadable). Never blocks.
FILE *file_read_regular(const char *path, long max_bytes);
// Opens path for writing (truncated, or appended to) when it is a regular
// file or does not exist yet; nullptr for a symbolic link, a FIFO, a
// device, a directory, a file with another name, a read-only file (no
// write bit for anyone; on Windows the read-only attribute), even for
// root, or a file that cannot be written. Never blocks, never follows a
// link, and is not inherited by child processes.
FILE *file_write_regular(const char *path, bool append);
// Removes path when it is a file the game could have made: a regular file
// with no other name that is not read-only, or a symbolic link (removed as
// a link). FIFOs, devices, sockets, directories, hard-linked files and
// read-only files stay. On POSIX it is
// async-signal-safe (lstat and unlink only), for a signal's clean-up.
void file_remove(const char *path);

// What path names, links followed: one of the values below.
enum { FILE_MISSING, FILE_DIRECTORY, FILE_REGULAR, FILE_OTHER };
int file_kind(const char *path);
// The size in bytes of the regular file path, when it can be opened for
// reading and its size fits an int; -1 otherwise.
int file_size(const char *path);
