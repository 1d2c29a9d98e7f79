// SPDX-License-Identifier: MIT
// emulator.h -- what a terminal shows, for tests.
//
// A Screen feeds bytes into libvterm, a real terminal emulator, and reads
// back each console cell: its character, its width and its colours as
// console palette indices. Created with attach = true it takes the output
// of the terminal layer (a terminal of the tests' back end, fake_sys.h) until
// it is destroyed.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "term.h"

struct VTerm;
struct VTermScreen;

class Screen {
  public:
    explicit Screen(int cols = 80, int rows = 30, bool attach = true, bool gbk = false);
    ~Screen();
    Screen(const Screen &) = delete;
    Screen &operator=(const Screen &) = delete;

    // Bytes as a terminal receives them (GBK bytes when created with gbk).
    void feed(const char *data, size_t len);
    void feed(const std::string &s) { feed(s.data(), s.size()); }
    // Flushes the terminal layer, so that all drawn so far is on the screen.
    void sync() { term_flush(); }

    // The character at console column col, row row ("" for the right half
    // of a wide character, " " for a blank).
    std::string ch(int col, int row);
    int width(int col, int row); // 1 or 2 (0 for the right half of a wide character)
    int fg(int col, int row);    // console palette index; the default foreground is 7
    int bg(int col, int row);    // console palette index; the default background is 0
    // The two console columns of board cell (x, y), e.g. "①" or "  ".
    std::string cell(int x, int y) { return ch(2 * x, y) + ch(2 * x + 1, y); }
    // Row row from console column col on, trailing blanks removed.
    std::string line(int row, int col = 0);
    // Where the cursor is, and whether it is shown.
    int cursor_col();
    int cursor_row();
    bool cursor_visible() const { return cursor_visible_; }
    bool alt_screen() const { return alt_screen_; } // the alternate screen is shown
    const std::string &title() const { return title_; }
    // Everything fed so far, raw.
    const std::string &bytes() const { return bytes_; }
    // Bytes the terminal sent back (answers to queries such as ESC [6n).
    std::string take_replies() { return std::exchange(replies_, {}); }

    int cols() const { return cols_; }
    int rows() const { return rows_; }
    void resize(int cols, int rows);
    // From now on the bytes fed are GBK (true) or UTF-8.
    void set_gbk(bool gbk) { gbk_ = gbk; }
    std::string dump(); // the whole screen as text, for failure messages

  private:
    VTerm *vt_;
    VTermScreen *vs_;
    int cols_, rows_;
    bool attached_, gbk_;
    bool cursor_visible_ = true, alt_screen_ = false;
    std::string title_, bytes_, replies_;
    std::string pending_; // the start of a character whose end has not come yet
};

// UTF-8 text appended to out in GBK, as a GBK terminal's layer writes it;
// false, and nothing appended, when a character has no GBK.
bool gbk_encode(const char *utf8, size_t n, std::string *out);
