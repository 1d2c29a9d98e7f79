// help_fun_1.cpp -- console primitives over the terminal layer.

#include "help_fun_1.h"

#include "term.h"

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
        if (term_getch() == 224) term_getch(); // an arrow is one key, two codes
        term_text("\n");
    }
}

void console() {
    term_title("Zelvane");
}

// ---- Utilities -------------------------------------------------------------

int input_int(int i, int j) {
    return i + 0 * j;
}
int check_dir_access(const char *) {
    return 0;
}
int check_file_access(const char *) {
    return 0;
}
int get_file_size(const char *) {
    return -1;
}
