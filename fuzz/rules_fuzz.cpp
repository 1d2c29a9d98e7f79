// SPDX-License-Identifier: MIT
// rules_fuzz.cpp -- any bytes as a game: the first bytes choose settings
// within their allowed ranges, the rest are actions on the falling column.
// After every step the board, the walls and the column must be sound.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "../tests/rules_check.h"
#include "fake_sys.h"
#include "term.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 6) return 0;
    // A terminal of the tests' back end that shows nothing, large enough
    // for the largest board.
    static bool open = (fake::set_size(225, 100), term_open() == 0);
    (void)open;
    srand(data[5]);
    // Widths and heights stay small mostly, so that games end and runs are
    // found; now and then the largest board (the soak test plays it too).
    bool largest = data[0] == 255 && data[1] == 255;
    int w = largest ? MAX : 3 + data[0] % 14;
    int h = largest ? MAX : 4 + data[1] % 20;
    rules_setup(w, h, 1 + data[2] % 5, 1 + data[3] % 8, data[4] & 1);
    help_line = data[4] & 2;
    max_f = (int8_t)data[4];
    if (!rules_check().empty()) abort();
    for (size_t i = 6; i < size && life; i++) {
        change_block(data[i] % 8 - (data[i] >> 7)); // codes -1 to 7
        term_flush();
        if (!rules_check().empty()) {
            fprintf(stderr, "%s\n", rules_check().c_str());
            abort();
        }
    }
    return 0;
}
