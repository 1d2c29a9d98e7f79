// SPDX-License-Identifier: MIT
// help_fun_1.cpp -- console primitives over the terminal layer.

#include "help_fun_1.h"

#include "files/files.h"
#include "term.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- Console primitives ----------------------------------------------------

void set_color(int ForeColor, int BackColor) {
    term_color((unsigned short)(ForeColor + 16 * BackColor));
}

void set_cursor(int flg) {
    term_cursor(flg != 0);
}

void set_cocate(int x, int y) {
    term_goto((short)(2 * x), (short)y);
}

void style() {
    set_color(7, 0);
}

void command(int a) {
    if (a == 1) {
        term_clear();
    } else if (a == 2) {
        term_text("请按任意键继续. . .");
        term_getkey(); // an arrow is one key, two codes
        term_text("\n");
    }
}

void console() {
    term_title("Zelvane");
}

// ---- Utilities -------------------------------------------------------------
// None of them goes through a shell: a path is only ever a path.

// A line of standard input that holds one integer and nothing else (blanks
// around it allowed); false for anything else, and for values beyond int.
static bool parse_int_line(const char *line, int *value) {
    errno = 0;
    char *end;
    long v = strtol(line, &end, 10);
    if (end == line || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n')
        end++;
    if (*end) return false;
    *value = (int)v;
    return true;
}

// Reads one line; a line longer than the buffer is read to its end and
// comes back empty, so that it counts as no integer. False at the end of
// input.
static bool read_line(char *buf, int size) {
    if (!fgets(buf, size, stdin)) return false;
    size_t n = strlen(buf);
    if (n > 0 && buf[n - 1] != '\n' && !feof(stdin)) {
        int c;
        while ((c = getchar()) != EOF && c != '\n') {
        }
        buf[0] = '\0';
    }
    return true;
}

int input_int(int i, int j) {
    term_printf("请输入 %d~%d 的数值,并按回车确定;\n", i, j);
    term_flush();
    char line[256];
    for (;;) {
        if (!read_line(line, sizeof line)) return i; // nothing more will come
        int v;
        if (parse_int_line(line, &v) && v >= i && v <= j) return v;
        term_printf("输入错误，请重新输入 %d~%d 的数值,并按回车确定;\n", i, j);
        term_flush();
    }
}

int check_dir_access(const char *str) {
    return file_kind(str) == FILE_DIRECTORY ? 1 : 0;
}

int check_file_access(const char *str) {
    return file_kind(str) != FILE_MISSING ? 1 : 0;
}

int get_file_size(const char *str) {
    return file_size(str);
}
