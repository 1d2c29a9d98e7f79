// SPDX-License-Identifier: MIT
// order_fun_1.h -- config.conf, the start-up screens and the debug board log.
#pragma once

#include <cstdint>

// A setting of config.conf: its key, the variable it sets, and the value it
// takes when config.conf cannot be read (the one config/config.conf gives).
struct Setting {
    const char *key;
    int32_t *value;
    int32_t fallback;
};
// Every setting, in the order the reader tries their keys: an entry sets
// the first one whose key it begins with. Written only here; the tests and
// the fuzzer walk it too.
constexpr int N_SETTINGS = 15;
extern const Setting settings[N_SETTINGS];

void read_config();      // reads config.conf into the settings
void copyright();        // the credits box and the rules text
void use_recomment();    // colour switch after the rules
void show_config_info(); // the configuration screen, then pause and clear
void clear_data();       // empties data.txt
void record_map();       // appends a board dump to data.txt when debug is on
// True once after a game whose debug log had to stop (the file could not
// grow): the player is told, then it is false until it happens again.
bool take_log_loss();

// nullptr when the settings just read can be played; otherwise a message
// (Chinese, UTF-8) naming config.conf, the key, the value and the range.
const char *config_problem();

// The text of the two start-up screens, each written whole from the top-left
// corner without waiting.
void write_copyright_screen(); // credits box and rules, in 7 on 0
void write_config_screen();    // the 23 lines with the settings in force

// Smallest board that can be played: the entry column width / 2 must lie
// between the side walls, and the three entry rows must stand above the
// bottom wall.
constexpr int MIN_WIDTH = 3;
constexpr int MIN_HEIGHT = 4;
