// SPDX-License-Identifier: MIT
// config_test.cpp -- reading config.conf, the checks on what was read, and
// the debug board log data.txt.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "order_b_1.h"
#include "order_fun_1.h"
#include "support.h"

namespace fs = std::filesystem;

namespace {

// Values of the game's settings table, in its order; a failure shows them
// with their keys.
struct Settings : std::array<int32_t, N_SETTINGS> {
    friend void PrintTo(const Settings &s, std::ostream *o) {
        for (int i = 0; i < N_SETTINGS; i++)
            *o << settings[i].key << "=" << s[i] << " ";
    }
};

Settings snapshot() {
    Settings s;
    for (int i = 0; i < N_SETTINGS; i++)
        s[i] = *settings[i].value;
    return s;
}

void fill_settings(int32_t v) {
    for (const Setting &s : settings)
        *s.value = v;
}

// Settings all at `before`, except the ones named in `changes`; a name the
// table does not have fails the test.
using Changes = std::vector<std::pair<const char *, int32_t>>;
Settings expect_with(int32_t before, const Changes &changes) {
    Settings s;
    s.fill(before);
    for (const auto &[name, v] : changes) {
        int i = 0;
        while (i < N_SETTINGS && std::string(settings[i].key) != name)
            i++;
        EXPECT_LT(i, N_SETTINGS) << "no setting " << name;
        if (i < N_SETTINGS) s[i] = v;
    }
    return s;
}

// Every test runs in a fresh temporary directory and leaves nothing behind.
class InTempDir : public ::testing::Test {
  protected:
    ~InTempDir() override { fill_settings(0); }
    // Reads config.conf as it stands over settings that are all `before`.
    Settings read_over(int32_t before = 77) {
        fill_settings(before);
        read_config();
        return snapshot();
    }
    // Writes `text` as config.conf and reads it: over the settings as they
    // stand (reread), or over settings that are all `before` (read_text).
    Settings reread(const std::string &text) {
        dir_.write("config.conf", text);
        read_config();
        return snapshot();
    }
    Settings read_text(const std::string &text, int32_t before = 77) {
        dir_.write("config.conf", text);
        return read_over(before);
    }
    // Each config.conf, and the settings it changes when read over settings all 77.
    void check(const std::vector<std::pair<std::string, Changes>> &cases) {
        for (const auto &[text, changes] : cases) {
            EXPECT_EQ(read_text(text), expect_with(77, changes))
                << "config.conf: \"" << text << "\"";
        }
    }
    // What reading text as config.conf finds wrong ("" when nothing).
    std::string problem(const std::string &text) {
        read_text(text);
        const char *msg = config_problem();
        return msg ? msg : "";
    }
    ScratchDir dir_;
};

using ConfigReader = InTempDir;

// A key matches when the entry's key begins with it, byte for byte.
TEST_F(ConfigReader, KeysMatchByPrefixAndCase) {
    check({
        {"width=30", {{"width", 30}}},
        {"widthx=30", {{"width", 30}}},
        {"max_fall=2", {{"max_f", 2}}},
        {"s_twinkle=1", {{"s_twi", 1}}},
        {"twinkle_s=4", {{"twinkle", 4}}},
        {"WIDTH=30 Height=5 widt=3 =4 30", {}},
        {"first_speed=900 max_speed=90 add_speed=-2",
         {{"first_speed", 900}, {"max_speed", 90}, {"add_speed", -2}}},
    });
}

// Tokens end at any blank; only the one token that begins with "#" is a comment.
TEST_F(ConfigReader, TokensAndComments) {
    check({
        {"width = 30", {{"width", 0}}},
        {"#width=30", {}},
        {"# width=30", {{"width", 30}}},
        {"#the board heights are set below", {{"height", 0}}},
        {"#comment\n#########\n#debug=1", {}},
        {"width=5\r\nheight=6\tb_type=2\vb_num=4\fdebug=1 help_line=0",
         {{"width", 5},
          {"height", 6},
          {"b_type", 2},
          {"b_num", 4},
          {"debug", 1},
          {"help_line", 0}}},
        {"  \n\n\t ", {}},
        {"", {}},
        {"#\xb5\xd8\xcd\xbc\xbf\xed\xb6\xc8 \xb5\xd8width=9 width=8\xb5", {{"width", 8}}},
    });
}

// Values convert as atoi does, held to the signed 32-bit range.
TEST_F(ConfigReader, Values) {
    check({
        {"width=30x", {{"width", 30}}},
        {"width=+30", {{"width", 30}}},
        {"width=-3", {{"width", -3}}},
        {"width=x30", {{"width", 0}}},
        {"width=", {{"width", 0}}},
        {"width==30", {{"width", 0}}},
        {"width=+-3", {{"width", 0}}},
        {"width=-", {{"width", 0}}},
        {"width=000000000000000000000000042", {{"width", 42}}},
        {"width=2147483647 height=-2147483648", {{"width", INT32_MAX}, {"height", INT32_MIN}}},
        {"width=2147483648 height=-2147483649", {{"width", INT32_MAX}, {"height", INT32_MIN}}},
        {"width=99999999999999999999999999 height=-99999999999999999999999",
         {{"width", INT32_MAX}, {"height", INT32_MIN}}},
    });
}

// A NUL byte ends a token's text as it ends a C string; the rest of that
// token is dropped, and a token that begins with NUL is skipped.
TEST_F(ConfigReader, NulBytes) {
    using namespace std::string_literals;
    check({
        {"\0width=5 height=6"s, {{"height", 6}}},
        {"width=5\0height=6 b_num=4"s, {{"width", 5}, {"b_num", 4}}},
        {"wid\0th=5"s, {}},
        {"width\0=5"s, {{"width", 0}}},
        {"\0\0\0\0"s, {}},
    });
}

// A token over 1023 bytes is skipped whole, never cut into a shorter entry.
TEST_F(ConfigReader, LongTokens) {
    std::string fits = "width=" + std::string(1016, '0') + "7"; // 1023 bytes
    ASSERT_EQ(fits.size(), 1023u);
    std::string too_long = "height=1" + std::string(1016, '0'); // 1024 bytes
    ASSERT_EQ(too_long.size(), 1024u);
    std::string huge = "b_type=3" + std::string(100000, 'x');
    check({
        {fits, {{"width", 7}}},
        {too_long + " b_num=4", {{"b_num", 4}}},
        {huge + "\ndebug=1", {{"debug", 1}}},
        {"#" + huge + " debug=2", {{"debug", 2}}},
    });
}

// Entries take effect in file order; a key that no entry sets keeps the
// value of the previous reading, including the 0 of a fresh start.
TEST_F(ConfigReader, LastEntryWinsAndAbsentKeysKeepTheirValue) {
    EXPECT_EQ(read_text("width=5 height=9 width=7 #width=1"),
              expect_with(77, {{"width", 7}, {"height", 9}}));

    EXPECT_EQ(read_text("width=10 b_num=4", 0), expect_with(0, {{"width", 10}, {"b_num", 4}}));
    const Settings kept = expect_with(0, {{"width", 10}, {"height", 20}, {"b_num", 5}});
    EXPECT_EQ(reread("height=20 b_num=5"), kept);
    EXPECT_EQ(reread(""), kept);
}

// The sample file is what a missing file falls back to, and makes a game
// that can be played.
TEST_F(ConfigReader, SampleFileAndFallback) {
    Settings sample;
    for (int i = 0; i < N_SETTINGS; i++)
        sample[i] = settings[i].fallback;

    fs::copy_file(fs::path(ZELVANE_SOURCE_DIR) / "config" / "config.conf", "config.conf");
    EXPECT_EQ(read_over(), sample);
    EXPECT_EQ(config_problem(), nullptr);

    fs::remove("config.conf");
    EXPECT_EQ(read_over(), sample) << "missing file";

    fs::create_directory("config.conf");
    EXPECT_EQ(read_over(), sample) << "directory";
    fs::remove("config.conf");

    // 1 MiB is read whole; one byte more and the file counts as unreadable.
    for (size_t size : {size_t(1) << 20, (size_t(1) << 20) + 1}) {
        std::string text = "width=7";
        EXPECT_EQ(read_text(text + std::string(size - text.size(), ' ')),
                  size == 1u << 20 ? expect_with(77, {{"width", 7}}) : sample)
            << size << " bytes";
    }
}

// A UTF-8 byte-order mark is skipped only at the very start; a UTF-16 one is refused.
TEST_F(ConfigReader, ByteOrderMarks) {
    check({
        {"\xEF\xBB\xBFwidth=30 height=5", {{"width", 30}, {"height", 5}}},
        {"\xEF\xBB\xBF", {}},
        {"\xEF\xBBwidth=30 height=5", {{"height", 5}}},
        {"width=30 \xEF\xBB\xBFheight=5", {{"width", 30}}},
        {"w", {}},
    });
    for (const char *bom : {"\xFF\xFEw\0i\0", "\xFE\xFF\0w\0i"}) {
        std::string m = problem(std::string(bom, 6));
        EXPECT_NE(m.find("UTF-16"), std::string::npos) << m;
    }
    EXPECT_EQ(problem("width=12 height=22 b_type=5 add_speed=10"), "");
}

// Settings that would crash the game are named with their value and range.
TEST_F(ConfigReader, Problems) {
    const std::pair<const char *, const char *> bad[] = {
        {"width=2", "3 到 100"},  {"width=101", "3 到 100"},   {"width=-5", "3 到 100"},
        {"height=3", "4 到 100"}, {"height=1000", "4 到 100"}, {"b_type=0", "1 到 5"},
        {"b_type=6", "1 到 5"},   {"add_speed=0", "不能为 0"},
    };
    const std::string base = "width=12 height=22 b_type=5 add_speed=10 ";
    for (const auto &[text, range] : bad) {
        std::string m = problem(base + text);
        for (const char *part : {"config.conf", text, range})
            EXPECT_NE(m.find(part), std::string::npos) << text << ": " << m;
    }
    // The edges of every range, and odd values that the game can still use.
    for (const char *good : {"width=3 height=4 b_type=1", "width=100 height=100 b_type=5",
                             "add_speed=-1 b_num=7 max_f=-5 twinkle=0 first_speed=0"})
        EXPECT_EQ(problem(base + good), "") << good;
}

// ---- data.txt ------------------------------------------------------------------

// The well as it stands right after it is drawn.
void build_well(int w, int h) {
    width = w, height = h;
    for (int x = 0; x < MAX; x++)
        for (int y = 0; y < MAX; y++)
            map[x][y] = (x < w && y < h && (x == 0 || x == w - 1 || y == h - 1)) ? 10 : 0;
}
const char well_4x3[] = "|  10|  10|  10|\n"
                        "|   0|   0|  10|\n"
                        "|   0|   0|  10|\n"
                        "|  10|  10|  10|\n"
                        "\n";

// Every test starts on a drawn 4 x 3 well and leaves no well behind.
class DebugLog : public InTempDir {
  protected:
    DebugLog() { build_well(4, 3); }
    ~DebugLog() override { build_well(0, 0); }
};

TEST_F(DebugLog, DumpsAreAppendedByteForByte) {
    debug = 1;
    clear_data();
    record_map();
    EXPECT_EQ(file_text("data.txt"), well_4x3);

    map[1][0] = 3, map[1][1] = 5, map[2][1] = -12345;
    debug = -1;
    record_map();
    EXPECT_EQ(file_text("data.txt"), std::string(well_4x3) + "|  10|  10|  10|\n"
                                                             "|   3|   5|  10|\n"
                                                             "|   0|-12345|  10|\n"
                                                             "|  10|  10|  10|\n"
                                                             "\n");
    clear_data();
    EXPECT_TRUE(fs::exists("data.txt"));
    EXPECT_EQ(fs::file_size("data.txt"), 0u);
}

TEST_F(DebugLog, DebugOffWritesNothing) {
    debug = 0;
    record_map();
    EXPECT_FALSE(fs::exists("data.txt"));
    clear_data();
    record_map();
    EXPECT_TRUE(fs::exists("data.txt"));
    EXPECT_EQ(fs::file_size("data.txt"), 0u);
}

TEST_F(DebugLog, UnwritableLogIsIgnored) {
    debug = 1;
    fs::create_directory("data.txt");
    clear_data();
    record_map();
    EXPECT_TRUE(fs::is_directory("data.txt"));
    EXPECT_EQ(map[0][0], 10);
    EXPECT_EQ(width, 4);
}

#ifndef _WIN32 // file-size limits are POSIX
// A file-size limit (with SIGXFSZ ignored, as the game has it) stops the log
// for the rest of the game; the next game logs again, and the loss is told once.
TEST_F(DebugLog, AFullFileStopsTheLogForOneGame) {
    debug = 1;
    const rlim_t limit = 100; // room for one dump of 80 bytes, not two
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto old_xfsz = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = {limit, old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    clear_data();
    for (int i = 0; i < 5; i++)
        record_map();
    uintmax_t stopped_at = fs::file_size("data.txt");
    EXPECT_LE(stopped_at, limit);
    EXPECT_TRUE(take_log_loss());
    EXPECT_FALSE(take_log_loss());
    // Room again (the limit raised): this game still logs nothing more...
    setrlimit(RLIMIT_FSIZE, &old);
    record_map();
    EXPECT_EQ(fs::file_size("data.txt"), stopped_at);
    // ...and the next one does.
    clear_data();
    record_map();
    EXPECT_EQ(file_text("data.txt"), well_4x3);
    EXPECT_FALSE(take_log_loss());
    signal(SIGXFSZ, old_xfsz);
}
#endif

} // namespace
