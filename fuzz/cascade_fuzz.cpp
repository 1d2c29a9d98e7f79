// SPDX-License-Identifier: MIT
// cascade_fuzz.cpp -- any bytes as a board and a landing: find_line and the
// plain search (tests/cascade_check.h) must remove the same groups with the
// same output and leave the same board.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "../tests/cascade_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 6) return 0;
    static cascade::Board b;
    b = {};
    b.w = 3 + data[0] % 18;
    b.h = 4 + data[1] % 21;
    b.types = 1 + data[2] % 5;
    b.run = 2 + data[3] % 6;
    b.drop = data[4] & 1;
    b.flash = data[4] & 2; // each flash sleeps: only now and then
    b.land_x = 1 + data[5] % (b.w - 2);
    size_t i = 6;
    for (int &c : b.land_c)
        c = 1 + (i < size ? data[i++] : 0) % b.types;
    // The rest fills the interior row by row; 0 leaves a cell empty.
    for (int y = 0; y < b.h - 1; y++)
        for (int x = 1; x < b.w - 1; x++)
            b.cells[x][y] = i < size ? data[i++] % (b.types + 1) : 0;
    std::string why = cascade::differ(b);
    if (!why.empty()) {
        fprintf(stderr, "%s\n", why.c_str());
        abort();
    }
    return 0;
}
