// main.cpp -- takes the terminal and plays.

#include <clocale>
#include <cstdio>

#include "Zelvane.h"
#include "term.h"

int main() {
    setlocale(LC_ALL, "");
    if (term_open() != 0) {
        fprintf(stderr, "zelvane: %s\n", term_error());
        return 2;
    }
    int status = run();
    term_close();
    return status;
}
