// SPDX-License-Identifier: MIT
// files_stat.cpp -- what a path is and how large: the questions both
// platforms answer alike, through the C runtime's stat.

#include "files.h"

#include <climits>
#include <cstdio>

#include <sys/stat.h>

// MSVC's <sys/stat.h> has the mode bits but not these tests.
#ifndef S_ISDIR
#define S_ISDIR(m) (((m)&S_IFMT) == S_IFDIR)
#endif
#ifndef S_ISREG
#define S_ISREG(m) (((m)&S_IFMT) == S_IFREG)
#endif

int file_kind(const char *path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return FILE_MISSING;
    return S_ISDIR(st.st_mode) ? FILE_DIRECTORY : S_ISREG(st.st_mode) ? FILE_REGULAR : FILE_OTHER;
}

int file_size(const char *path) {
    if (!path) return -1;
    FILE *f = fopen(path, "rb");
    if (!f) return -1;
    struct stat st;
    int size = -1;
    // Only a regular file has a size to give; one too large for the result
    // gives -1 rather than a wrapped number.
    if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= INT_MAX)
        size = (int)st.st_size;
    fclose(f);
    return size;
}
