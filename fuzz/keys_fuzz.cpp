// SPDX-License-Identifier: MIT
// keys_fuzz.cpp -- the key decoder against any bytes, in any split into
// reads, with or without the pauses that end a lone ESC.
//
// Input: byte 0 picks the mode, bytes 1-4 seed the splitting, the rest is
// the stream.
//  - Raw mode: the rest is fed as keyboard bytes. Whatever they are, a
//    key_arrow comes only from an arrow sequence and is followed by an
//    arrow's code, no code comes without a byte, and without pauses
//    between reads every split decodes as the whole stream does.
//  - Token mode: each byte of the rest picks a key as a terminal sends it
//    (plain bytes, arrows, function keys, modified keys, Alt+key, strings,
//    position reports, a lone ESC...); the codes must be exactly the
//    expected ones, in every split.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "term/keys.h"

namespace {

using Codes = std::vector<int>;

[[noreturn]] void fail(const char *what) {
    fprintf(stderr, "keys_fuzz: %s\n", what);
    abort();
}

struct Rng {
    uint32_t s;
    uint32_t next() {
        s = s * 1103515245u + 12345u;
        return s >> 8;
    }
};

void take(term_keys &k, Codes &out) {
    for (int c; (c = k.pop()) >= 0;)
        out.push_back(c);
}

// Feeds bytes in random pieces; expires between pieces when pauses is set
// and the dice say so. Ends with the pause that ends everything.
Codes run(const std::string &bytes, Rng rng, bool pauses) {
    term_keys k;
    Codes out;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t n = 1 + rng.next() % 8;
        if (n > bytes.size() - at) n = bytes.size() - at;
        k.feed(reinterpret_cast<const unsigned char *>(bytes.data() + at), n);
        at += n;
        if (pauses && rng.next() % 4 == 0) k.expire();
        if (rng.next() % 2) take(k, out);
    }
    k.expire();
    take(k, out);
    if (k.wait_ms() != 0) fail("something left pending after expire");
    return out;
}

size_t arrows_in(const std::string &b) {
    size_t n = 0;
    for (size_t i = 0; i + 2 < b.size(); i++)
        if (b[i] == 0x1b && (b[i + 1] == '[' || b[i + 1] == 'O') && b[i + 2] >= 'A' &&
            b[i + 2] <= 'D')
            n++;
    return n;
}

void check_codes(const std::string &bytes, const Codes &codes) {
    if (codes.size() > bytes.size()) fail("more codes than bytes");
    size_t prefixes = 0;
    bool esc = bytes.find('\x1b') != std::string::npos;
    for (size_t i = 0; i < codes.size(); i++) {
        int c = codes[i];
        if (c < 0 || c > 255) fail("code out of range");
        if (c == key_escape && !esc) fail("an Escape without an ESC byte");
        if (c == '\n') fail("LF given as itself");
        if (c == key_arrow) {
            prefixes++;
            if (i + 1 >= codes.size()) fail("an arrow prefix at the end");
            int n = codes[i + 1];
            if (n != arrow_up && n != arrow_left && n != arrow_right && n != arrow_down)
                fail("an arrow prefix not followed by an arrow");
            i++;
        }
    }
    if (prefixes > arrows_in(bytes)) fail("an arrow prefix without an arrow sequence");
}

struct Token {
    const char *bytes;
    size_t len;
    Codes codes;
    bool pause; // a pause must follow (a lone ESC, an unfinished sequence)
};

#define TOK(s, ...)                                                                                \
    Token {                                                                                        \
        s, sizeof(s) - 1, Codes{__VA_ARGS__}, false                                                \
    }
#define TOK_PAUSE(s, ...)                                                                          \
    Token {                                                                                        \
        s, sizeof(s) - 1, Codes{__VA_ARGS__}, true                                                 \
    }

const std::vector<Token> &tokens() {
    static const std::vector<Token> t = {
        TOK("\x1b[A", key_arrow, arrow_up),
        TOK("\x1b[B", key_arrow, arrow_down),
        TOK("\x1b[C", key_arrow, arrow_right),
        TOK("\x1b[D", key_arrow, arrow_left),
        TOK("\x1bOA", key_arrow, arrow_up),
        TOK("\x1bOB", key_arrow, arrow_down),
        TOK("\x1bOC", key_arrow, arrow_right),
        TOK("\x1bOD", key_arrow, arrow_left),
        TOK(" ", key_space),
        TOK("\r", key_enter),
        TOK("\n", key_enter),
        TOK("\xe0"),
        TOK("\xe4\xb8\xad", 0xE4, 0xB8, 0xAD),
        TOK("\xe0\xa4\x85", 0xA4, 0x85),
        TOK("\x1bOP"),
        TOK("\x1b[15~"),
        TOK("\x1b[H"),
        TOK("\x1b[F"),
        TOK("\x1bOH"),
        TOK("\x1b[1;5A"),
        TOK("\x1b[1;2D"),
        TOK("\x1b\x1b[C"),
        TOK("\x1b\x1bOA"),
        TOK("\x1b[[B"),
        TOK("\x1bx"),
        TOK("\x1bO5B"),
        TOK("\x1b]0;title\x07"),
        TOK("\x1b]2;\xe4\xb8\xad\x1b\\"),
        TOK("\x1bP1$r0m\x1b\\"),
        TOK("\x1b[24;80R"),
        TOK("\x1b[1;1R"),
        TOK("\x1b[?1;2c"),
        TOK("\x1b[200~"),
        TOK_PAUSE("\x1b", key_escape),
        TOK_PAUSE("\x1b[1;"),
        TOK_PAUSE("\x1bO"),
        TOK_PAUSE("\x1b]unfinished"),
        TOK_PAUSE("\x1b\x1b", key_escape, key_escape),
    };
    return t;
}

// Plays the tokens picked by the bytes, in random pieces, pausing where a
// token needs it (and, harmlessly, elsewhere).
void tokens_mode(const uint8_t *p, size_t n, Rng rng) {
    std::string bytes;
    std::vector<size_t> pause_after; // byte counts after which a pause comes
    Codes want;
    for (size_t i = 0; i < n; i++) {
        uint8_t b = p[i];
        if (b < 0x80 && b != 0x1b && b != '\n') {
            bytes += (char)b;
            want.push_back(b);
        } else {
            const Token &t = tokens()[b % tokens().size()];
            bytes.append(t.bytes, t.len);
            want.insert(want.end(), t.codes.begin(), t.codes.end());
            if (t.pause) pause_after.push_back(bytes.size());
        }
        if (rng.next() % 8 == 0) pause_after.push_back(bytes.size());
    }
    term_keys k;
    Codes got;
    size_t at = 0;
    for (size_t stop : pause_after) {
        while (at < stop) {
            size_t len = 1 + rng.next() % 8;
            if (len > stop - at) len = stop - at;
            k.feed(reinterpret_cast<const unsigned char *>(bytes.data() + at), len);
            at += len;
        }
        k.expire();
        take(k, got);
    }
    if (at < bytes.size())
        k.feed(reinterpret_cast<const unsigned char *>(bytes.data() + at), bytes.size() - at);
    k.expire();
    take(k, got);
    if (got != want) fail("token stream decoded wrongly");
    check_codes(bytes, got);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 5) return 0;
    Rng rng{(uint32_t)data[1] | (uint32_t)data[2] << 8 | (uint32_t)data[3] << 16 |
            (uint32_t)data[4] << 24};
    const uint8_t *p = data + 5;
    size_t n = size - 5;
    if (data[0] & 1) {
        tokens_mode(p, n, rng);
        return 0;
    }
    std::string bytes(reinterpret_cast<const char *>(p), n);
    Codes whole;
    term_keys k;
    k.feed(p, n);
    k.expire();
    take(k, whole);
    check_codes(bytes, whole);
    if (run(bytes, rng, false) != whole) fail("a split changed the codes");
    check_codes(bytes, run(bytes, rng, true));
    return 0;
}
