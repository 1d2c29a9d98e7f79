// SPDX-License-Identifier: MIT
// emulator.cpp -- libvterm behind the tests' Screen.

#include "emulator.h"

#include <cerrno>
#include <iconv.h>
#include <vterm.h>

#include "fake_sys.h"
#include "term.h"
#include "term/chars.h"

namespace {

void output_cb(const char *s, size_t len, void *user) {
    static_cast<std::string *>(user)->append(s, len);
}

void sink(const char *data, size_t len, void *user) {
    static_cast<Screen *>(user)->feed(data, len);
}

// in, converted by iconv as far as it goes; what is left (a character cut
// off at the end, or one that does not convert unless skipped) stays in rest.
std::string convert(const char *to, const char *from, const std::string &in, bool skip,
                    std::string &rest) {
    iconv_t cd = iconv_open(to, from);
    std::string out(in.size() * 2 + 8, '\0');
    char *ip = const_cast<char *>(in.data()), *op = out.data();
    size_t il = in.size(), ol = out.size();
    while (il > 0 && iconv(cd, &ip, &il, &op, &ol) == (size_t)-1 && skip && errno == EILSEQ) {
        ip++; // a byte that does not convert: skip it
        il--;
    }
    iconv_close(cd);
    out.resize(out.size() - ol);
    rest.assign(ip, il);
    return out;
}

// The whole UTF-8 characters of in; the start of one cut off at the end
// stays in rest.
std::string utf8_whole(const std::string &in, std::string &rest) {
    size_t whole = in.size();
    for (size_t back = 1; back <= 3 && back <= in.size(); back++) {
        unsigned char c = (unsigned char)in[in.size() - back];
        if ((c & 0xC0) == 0x80) continue; // a continuation byte: look further back
        if (utf8_len(c) > back) whole -= back;
        break;
    }
    rest = in.substr(whole);
    return in.substr(0, whole);
}

} // namespace

bool gbk_encode(const char *utf8, size_t n, std::string *out) {
    std::string rest, gbk = convert("GBK", "UTF-8", std::string(utf8, n), false, rest);
    if (rest.empty()) out->append(gbk);
    return rest.empty();
}

Screen::Screen(int cols, int rows, bool attach, bool gbk)
    : cols_(cols), rows_(rows), attached_(attach), gbk_(gbk) {
    vt_ = vterm_new(rows, cols);
    vterm_set_utf8(vt_, 1);
    vs_ = vterm_obtain_screen(vt_);
    static const VTermScreenCallbacks callbacks = [] {
        VTermScreenCallbacks cb{};
        cb.settermprop = [](VTermProp prop, VTermValue *v, void *user) {
            auto *s = static_cast<Screen *>(user);
            if (prop == VTERM_PROP_CURSORVISIBLE) s->cursor_visible_ = v->boolean;
            if (prop == VTERM_PROP_ALTSCREEN) s->alt_screen_ = v->boolean;
            if (prop == VTERM_PROP_TITLE) s->title_ = v->string ? v->string : "";
            return 1;
        };
        return cb;
    }();
    vterm_screen_set_callbacks(vs_, &callbacks, this);
    vterm_screen_enable_altscreen(vs_, 1);
    vterm_screen_reset(vs_, 1);
    vterm_output_set_callback(vt_, output_cb, &replies_);
    if (attached_) {
        // A terminal of the tests' back end, new.
        term_close();
        fake::set_size(cols, rows);
        fake::set_encoder(gbk ? gbk_encode : nullptr);
        fake::listen(sink, this);
        term_open();
    }
}

Screen::~Screen() {
    if (attached_) {
        term_close();
        fake::listen(nullptr, nullptr);
        fake::set_size(80, 24);
    }
    vterm_free(vt_);
}

// A character split between two reads is held back until it is whole:
// libvterm would show each half as a replacement character.
void Screen::feed(const char *data, size_t len) {
    bytes_.append(data, len);
    std::string in = pending_ + std::string(data, len);
    std::string u = gbk_ ? convert("UTF-8", "GBK", in, true, pending_) : utf8_whole(in, pending_);
    vterm_input_write(vt_, u.data(), u.size());
}

// A cell once all drawn so far is on the screen.
static VTermScreenCell get(VTermScreen *vs, int col, int row) {
    term_flush();
    VTermScreenCell c{};
    vterm_screen_get_cell(vs, VTermPos{row, col}, &c);
    return c;
}

std::string Screen::ch(int col, int row) {
    VTermScreenCell c = get(vs_, col, row);
    if (c.chars[0] == (uint32_t)-1) return "";
    if (c.chars[0] == 0) // a right half, or a blank
        return c.width == 0 || (col > 0 && get(vs_, col - 1, row).width == 2) ? "" : " ";
    std::string out;
    for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && c.chars[i]; i++)
        utf8_append(c.chars[i], &out);
    return out;
}

int Screen::width(int col, int row) {
    if (col > 0 && get(vs_, col - 1, row).width == 2) return 0;
    return get(vs_, col, row).width;
}

// A cell colour as a console palette index: `dflt` for the default colour,
// -1 for one that is no palette entry.
static int palette(const VTermColor &c, bool is_default, int dflt) {
    if (is_default) return dflt;
    return VTERM_COLOR_IS_INDEXED(&c) ? ansi_index(c.indexed.idx) : -1;
}

int Screen::fg(int col, int row) {
    VTermColor c = get(vs_, col, row).fg;
    return palette(c, VTERM_COLOR_IS_DEFAULT_FG(&c), 7);
}

int Screen::bg(int col, int row) {
    VTermColor c = get(vs_, col, row).bg;
    return palette(c, VTERM_COLOR_IS_DEFAULT_BG(&c), 0);
}

std::string Screen::line(int row, int col) {
    std::string out;
    for (int c = col; c < cols_; c++)
        out += ch(c, row);
    out.erase(out.find_last_not_of(' ') + 1); // trailing blanks
    return out;
}

// Where the cursor is once all drawn so far is on the screen.
static VTermPos cursor(VTerm *vt) {
    term_flush();
    VTermPos p;
    vterm_state_get_cursorpos(vterm_obtain_state(vt), &p);
    return p;
}

int Screen::cursor_col() {
    return cursor(vt_).col;
}

int Screen::cursor_row() {
    return cursor(vt_).row;
}

void Screen::resize(int cols, int rows) {
    cols_ = cols;
    rows_ = rows;
    vterm_set_size(vt_, rows, cols);
    if (attached_) {
        fake::set_size(cols, rows);
        term_kbhit(); // the layer takes the resize, as at its next wait
    }
}

std::string Screen::dump() {
    std::string out;
    for (int r = 0; r < rows_; r++)
        out += line(r) + "\n";
    return out;
}
