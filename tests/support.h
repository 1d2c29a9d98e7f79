// SPDX-License-Identifier: MIT
// support.h -- what the tests share: a scratch directory, and terminals of
// the tests' back end (fake_sys.h) that show nothing.
#pragma once

#include <string>

#include "fake_sys.h"

// A fresh directory, removed with all it holds at destruction.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    void write(const std::string &name, const std::string &text) const;
    bool exists(const std::string &name) const;
    std::string path;
};

// What the file at path holds ("" when there is none).
std::string file_text(const std::string &path);

// The working directory is a fresh scratch directory until destruction, so
// that the game's files (config.conf, data.txt) land there.
struct ScratchDir : TempDir {
    ScratchDir();
    ~ScratchDir();
    std::string old;
};

// A terminal of cols x rows, held by the layer while this lives, whose
// output goes nowhere.
struct NullTerminal {
    NullTerminal(int cols = 80, int rows = 30);
    ~NullTerminal();
};

// While this lives, the layer's output goes nowhere (the terminal stays
// open, and what it misses it no longer shows right).
struct Discard {
    Discard();
    ~Discard();
};

// The terminal lost what it showed: the layer takes that, as at its next
// wait, and paints the whole model again.
void repaint_lost_screen();
