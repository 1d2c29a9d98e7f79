// SPDX-License-Identifier: MIT
// console_test.cpp -- the Windows console back end, on a real console.
//
// Built only for Windows, and run in a console (under wine, in a
// pseudo-terminal): keys go in as console input records, the drawing is
// read back from the console's active screen buffer, and the files are
// made on disk.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <windows.h>

#include "seam_check.h"
#include "term.h"
#include "term/chars.h"
#include "term/sys_windows.h"
#include "files/files.h"

namespace {

class OnConsole : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(term_open(), 0) << term_error(); }
    void TearDown() override { term_close(); }
};

INPUT_RECORD key(WORD vk, wchar_t ch, DWORD mods = 0, WORD repeat = 1, BOOL down = TRUE) {
    INPUT_RECORD r = {};
    r.EventType = KEY_EVENT;
    KEY_EVENT_RECORD &k = r.Event.KeyEvent;
    k.bKeyDown = down;
    k.wRepeatCount = repeat;
    k.wVirtualKeyCode = vk;
    k.uChar.UnicodeChar = ch;
    k.dwControlKeyState = mods;
    return r;
}

// The console's active screen buffer, whatever the standard handles are.
HANDLE shown_buffer() {
    return CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

} // namespace

// Each row's records, typed, give exactly these codes, as the same keys
// give on a terminal.
TEST_F(OnConsole, KeyRecordsGiveTheTerminalsCodes) {
    const struct {
        const char *what;
        std::vector<INPUT_RECORD> keys;
        std::vector<int> codes;
    } rows[] = {
        {"arrows, released after",
         {key(VK_UP, 0), key(VK_UP, 0, 0, 1, FALSE), key(VK_DOWN, 0), key(VK_LEFT, 0),
          key(VK_RIGHT, 0, ENHANCED_KEY)},
         {224, 72, 224, 80, 224, 75, 224, 77}},
        {"Enter, Space, Escape",
         {key(VK_RETURN, 13), key(VK_SPACE, ' '), key(VK_ESCAPE, 0)},
         {13, 32, 27}},
        {"a repeat count", {key('A', 'a', 0, 3)}, {97, 97, 97}},
        {"modifiers alone, a function key", {key(VK_SHIFT, 0, SHIFT_PRESSED), key(VK_F1, 0)}, {}},
        {"modified arrows, Alt + key",
         {key(VK_UP, 0, SHIFT_PRESSED), key(VK_LEFT, 0, LEFT_CTRL_PRESSED),
          key('X', 'x', LEFT_ALT_PRESSED)},
         {}},
        {"AltGr types", {key('Q', '@', LEFT_CTRL_PRESSED | RIGHT_ALT_PRESSED)}, {64}},
        {"UTF-8 bytes, never a 224",
         {key(0, L'\x4E2D'), key(0, L'\x0905')},
         {0xE4, 0xB8, 0xAD, 0xA4, 0x85}},
        {"a character in two halves",
         {key(0, L'\xD83D'), key(0, L'\xDE00')},
         {0xF0, 0x9F, 0x98, 0x80}},
    };
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    for (const auto &row : rows) {
        DWORD n = 0;
        ASSERT_TRUE(WriteConsoleInputW(in, row.keys.data(), (DWORD)row.keys.size(), &n))
            << row.what;
        std::vector<int> got;
        while (term_kbhit())
            got.push_back(term_getch());
        EXPECT_EQ(got, row.codes) << row.what;
    }
}

// A window made smaller: the console says so with a resize event, and the
// next wait repaints at the new size, which term_size then gives.
TEST_F(OnConsole, AResizeEventRepaintsAtTheNewSize) {
    static int repaints;
    repaints = 0;
    term_on_repaint([] { repaints++; });
    int cols, rows;
    term_size(&cols, &rows);
    HANDLE shown = shown_buffer();
    ASSERT_NE(shown, INVALID_HANDLE_VALUE);
    SMALL_RECT smaller = {0, 0, (SHORT)(cols - 11), (SHORT)(rows - 6)};
    EXPECT_TRUE(SetConsoleWindowInfo(shown, TRUE, &smaller));
    EXPECT_TRUE(SetConsoleScreenBufferSize(shown, COORD{(SHORT)(cols - 10), (SHORT)(rows - 5)}));
    CloseHandle(shown);
    term_wait(5000);
    term_on_repaint(nullptr);
    EXPECT_EQ(repaints, 1);
    int now_cols, now_rows;
    term_size(&now_cols, &now_rows);
    EXPECT_EQ(now_cols, cols - 10);
    EXPECT_EQ(now_rows, rows - 5);
}

// The seam's property on the console: random drawing in random colours,
// flushed now and then; the console's active buffer then holds exactly what
// was drawn.
TEST_F(OnConsole, BufferHoldsWhatWasDrawn) {
    int cols, rows;
    term_size(&cols, &rows);
    ASSERT_GE(cols, 40);
    ASSERT_GE(rows, 10);
    std::vector<Expect> want((size_t)cols * rows, Expect{" ", 7});
    std::mt19937 rng(7);
    term_clear();
    draw_randomly(rng, want, cols, rows, chars_narrow());
    term_flush();
    HANDLE shown = shown_buffer();
    ASSERT_NE(shown, INVALID_HANDLE_VALUE);
    std::vector<CHAR_INFO> got((size_t)cols * rows);
    SMALL_RECT all = {0, 0, (SHORT)(cols - 1), (SHORT)(rows - 1)};
    ASSERT_TRUE(
        ReadConsoleOutputW(shown, got.data(), COORD{(SHORT)cols, (SHORT)rows}, COORD{0, 0}, &all));
    CloseHandle(shown);
    EXPECT_EQ(seam_differences(want, cols, rows, " ",
                               [&](int x, int y) {
                                   const CHAR_INFO &g = got[(size_t)y * cols + x];
                                   Seen seen{"", g.Attributes & 15, (g.Attributes >> 4) & 15};
                                   // A right half shows no character of its own.
                                   if (!want[(size_t)y * cols + x].ch.empty())
                                       utf8_append(g.Char.UnicodeChar, &seen.ch);
                                   return seen;
                               }),
              "");
}

// Only a console that no other program shares is the game's own: a shell
// that started the game keeps its window open itself, and a failed count
// means no console to keep.
TEST(OwnConsole, OnlyTheSoleProcessOwnsItsConsole) {
    const struct {
        DWORD count;
        bool own;
    } cases[] = {{0, false}, {1, true}, {2, false}, {3, false}};
    for (auto c : cases)
        EXPECT_EQ(console_is_own(c.count), c.own) << c.count;
}

// What the game's files may be, and what opening them does.
TEST(Files, OnlyPlainFilesAreUsed) {
    namespace fs = std::filesystem;
    fs::path dir =
        fs::temp_directory_path() / ("zelvane-files-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(dir);
    auto old = fs::current_path();
    fs::current_path(dir);
    auto read = [](const char *name) {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    auto opened = [](FILE *f) { return f && fclose(f) == 0; }; // and closed again

    std::ofstream("small", std::ios::binary) << "width=9\n";
    std::ofstream("large", std::ios::binary) << std::string(2000, 'x');
    fs::create_directory("folder");
    EXPECT_TRUE(opened(file_read_regular("small", 1024)));
    for (const char *refused : {"large", "missing", "folder"}) // too large, none, no file
        EXPECT_EQ(file_read_regular(refused, 1024), nullptr) << refused;
    EXPECT_EQ(file_write_regular("folder", false), nullptr);

    // Truncated, then appended to; a new file is made.
    for (bool append : {false, true}) {
        FILE *f = file_write_regular("small", append);
        ASSERT_NE(f, nullptr);
        fputs("b", f);
        fclose(f);
    }
    EXPECT_EQ(read("small"), "bb");
    EXPECT_TRUE(opened(file_write_regular("new", false)));
    EXPECT_TRUE(fs::exists("new"));

    // A link is never written through, and removing it leaves its target.
    // (Only where the system makes a real one: wine's are not reparse
    // points.)
    bool linked = CreateSymbolicLinkW(L"link", L"large", 0x2 /* unprivileged */) ||
                  CreateSymbolicLinkW(L"link", L"large", 0);
    DWORD attrs = GetFileAttributesW(L"link");
    if (linked && attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT)) {
        EXPECT_EQ(file_write_regular("link", false), nullptr);
        EXPECT_EQ(read("large"), std::string(2000, 'x'));
        file_remove("link");
        EXPECT_TRUE(fs::exists("large"));
    }
    DeleteFileW(L"link");

    // A file with a second name is neither written through nor removed.
    auto names = [](const wchar_t *name) {
        HANDLE h = CreateFileW(name, FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING, 0, nullptr);
        BY_HANDLE_FILE_INFORMATION info = {};
        if (h != INVALID_HANDLE_VALUE) GetFileInformationByHandle(h, &info), CloseHandle(h);
        return info.nNumberOfLinks;
    };
    ASSERT_TRUE(CreateHardLinkW(L"hard", L"large", nullptr));
    ASSERT_EQ(names(L"hard"), 2u);
    for (bool append : {false, true})
        EXPECT_EQ(file_write_regular("hard", append), nullptr);
    file_remove("hard");
    EXPECT_TRUE(fs::exists("hard"));
    EXPECT_EQ(read("large"), std::string(2000, 'x'));
    DeleteFileW(L"hard");
    file_remove("folder");
    EXPECT_TRUE(fs::is_directory("folder"));
    file_remove("small");
    EXPECT_FALSE(fs::exists("small"));

    fs::current_path(old);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}
