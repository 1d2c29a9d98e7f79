// SPDX-License-Identifier: MIT
// order_fun_1.cpp -- config.conf, the start-up screens and the debug board log.

#include "order_fun_1.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "help_fun_1.h"
#include "order_b_1.h"
#include "term.h"
#include "files/files.h"

// ---- config.conf -------------------------------------------------------------

// Tested in this order; no key text begins another, so at most one matches.
const Setting settings[] = {
    {"width", &width, 12},        {"height", &height, 22},       {"debug", &debug, 0},
    {"help_line", &help_line, 1}, {"twinkle", &twinkle, 25},     {"b_num", &b_num, 3},
    {"b_type", &b_type, 5},       {"fask_s", &fask_s, 0},        {"first_speed", &first_speed, 800},
    {"twi_num", &twi_num, 3},     {"s_twi", &s_twi, 1},          {"b_drop", &b_drop, 1},
    {"max_f", &max_f, 1000},      {"add_speed", &add_speed, 10}, {"max_speed", &max_speed, 150},
};

namespace {

// The tokenizer's buffers: a token is at most 1023 bytes, plus its NUL.
char str1[1024], str2[1024], str3[1024];

// A larger config.conf counts as unreadable. The size is checked when it is
// opened, and the reading stops there too, should the file grow meanwhile.
constexpr long MAX_CONFIG_BYTES = 1L << 20;
long bytes_left; // of the reading in progress; -1 once the file proved larger
bool utf16_file; // config.conf began with a UTF-16 byte-order mark

int next_byte(FILE *f) {
    if (bytes_left <= 0) {
        if (bytes_left == 0 && getc(f) != EOF) bytes_left = -1;
        return EOF;
    }
    int c = getc(f);
    if (c != EOF) bytes_left--;
    return c;
}

bool is_blank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads the next token into str1. Returns false at the end of the file.
// *usable is false for a token that must be skipped whole: one longer than
// the buffer (never cut into a shorter entry that the player did not write).
// A NUL byte ends the token's text, as it ends a C string; the bytes after
// it up to the next blank still belong to the token and are dropped, so a
// token that begins with NUL has no text at all and is skipped.
bool next_token(FILE *f, bool *usable) {
    int c;
    do
        c = next_byte(f);
    while (c != EOF && is_blank(c));
    if (c == EOF) return false;
    size_t len = 0, text = 0;
    bool nul = false;
    for (; c != EOF && !is_blank(c); c = next_byte(f), len++) {
        if (len < sizeof str1 - 1 && !nul) {
            if (c == 0)
                nul = true;
            else
                str1[text++] = (char)c;
        }
    }
    str1[text] = '\0';
    *usable = len < sizeof str1;
    return true;
}

// Converts as atoi does (sign, then the leading digits), held to the range
// of a signed 32-bit integer instead of overflowing.
int32_t to_int(const char *s) {
    bool neg = false;
    if (*s == '+' || *s == '-') neg = *s++ == '-';
    int64_t v = 0;
    for (; *s >= '0' && *s <= '9'; s++) {
        v = v * 10 + (*s - '0');
        if (v > (int64_t)INT32_MAX + 1) v = (int64_t)INT32_MAX + 1; // stays > every int32
    }
    if (neg) v = -v;
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return (int32_t)v;
}

void apply_entry(int32_t *next) {
    if (str1[0] == '#' || str1[0] == '\0') return;
    const char *eq = strchr(str1, '=');
    size_t klen = eq ? (size_t)(eq - str1) : strlen(str1);
    memcpy(str2, str1, klen);
    str2[klen] = '\0';
    strcpy(str3, eq ? eq + 1 : "");
    for (int i = 0; i < N_SETTINGS; i++) {
        if (strncmp(str2, settings[i].key, strlen(settings[i].key)) == 0) {
            next[i] = to_int(str3);
            break;
        }
    }
}

// Notepad's "UTF-8 with BOM" puts EF BB BF before the first key: skipped.
// A UTF-16 file cannot be read as bytes at all, so it is refused by name.
// Any other start is given back to the tokenizer untouched.
void skip_byte_order_mark(FILE *f) {
    int c0 = next_byte(f), c1 = next_byte(f);
    utf16_file = (c0 == 0xFF && c1 == 0xFE) || (c0 == 0xFE && c1 == 0xFF);
    if (utf16_file || (c0 == 0xEF && c1 == 0xBB && next_byte(f) == 0xBF)) return;
    // ungetc promises one byte back, so the file is read again from its start.
    rewind(f);
    bytes_left = MAX_CONFIG_BYTES;
}

} // namespace

void read_config() {
    int32_t next[N_SETTINGS];
    for (int i = 0; i < N_SETTINGS; i++)
        next[i] = *settings[i].value;

    // A missing file, a directory, a FIFO or a device, a file over 1 MiB or a
    // read error: no setting can be trusted, so the game is played with the
    // sample configuration instead.
    bool readable = false;
    utf16_file = false;
    if (FILE *f = file_read_regular("config.conf", MAX_CONFIG_BYTES)) {
        bytes_left = MAX_CONFIG_BYTES;
        skip_byte_order_mark(f);
        bool usable;
        while (next_token(f, &usable))
            if (usable) apply_entry(next);
        readable = !ferror(f) && bytes_left >= 0;
        fclose(f);
    }
    for (int i = 0; i < N_SETTINGS; i++)
        *settings[i].value = readable ? next[i] : settings[i].fallback;
    str1[0] = str2[0] = str3[0] = '\0';
}

const char *config_problem() {
    static char msg[640];
    char rule[320];
    const char *key;
    int32_t value;
    if (utf16_file) return "config.conf 是 UTF-16 编码，请另存为 UTF-8 或 ANSI";
    if (width < MIN_WIDTH || width > MAX) {
        key = "width", value = width;
        snprintf(rule, sizeof rule,
                 "地图宽度（含左右两堵墙）须在 %d 到 %d 之间"
                 "（新方块从正中一列落下，两堵墙之间至少要留出一列）",
                 MIN_WIDTH, MAX);
    } else if (height < MIN_HEIGHT || height > MAX) {
        key = "height", value = height;
        snprintf(rule, sizeof rule,
                 "地图高度（含底墙）须在 %d 到 %d 之间"
                 "（新方块占最上面三行，底墙之上至少要留出三行）",
                 MIN_HEIGHT, MAX);
    } else if (b_type < 1 || b_type > 5) {
        key = "b_type", value = b_type;
        snprintf(rule, sizeof rule, "方块类型须在 1 到 5 之间");
    } else if (add_speed == 0) {
        key = "add_speed", value = add_speed;
        snprintf(rule, sizeof rule, "游戏加速度等级不能为 0（它是除数），可取其他任何整数");
    } else {
        return nullptr;
    }
    snprintf(msg, sizeof msg,
             "配置文件 config.conf 中的 %s=%d 无法使用：%s。请修改后重新开始游戏。", key,
             (int)value, rule);
    return msg;
}

// ---- Start-up screens --------------------------------------------------------

namespace {

void rule_line() {
    term_text("########################################\n");
}

void credit_line(const char *text) {
    term_text("#");
    term_text(text);
    for (int i = term_columns(text); i < 38; i++)
        term_text(" ");
    term_text("#\n");
}

const char *const rules_text[] = {
    "由不同颜色的小方块组成的小柱子陆续从屏幕上",
    "上方落下来，玩家通过调整小柱子上小方块的位置",
    "和小柱子的位置使它们在屏幕底部拼出完整的一",
    "条有三个或三个以上相同颜色小方块组成的小柱",
    "子。这些和和小柱子相同颜色的临近小方块也消",
    "失，给新落下来的板块腾出空间，与此同时，玩",
    "家得到分数奖励。没有被消除掉的方块不断堆积",
    "起来，一旦堆到屏幕顶端，玩家便告输，游戏结",
    "束。",
};

void separator() {
    term_text("-------------------------------------------------------------------------------\n");
}

} // namespace

void write_copyright_screen() {
    set_cocate(0, 0);
    style();
    rule_line();
    credit_line(" 制作日期：2026年12月7日");
    credit_line(" Zelvane    算法：Zelvane 开发组");
    credit_line(" 开发：Zelvane 开发组");
    credit_line(" 网址：https://zelvane.example.org");
    rule_line();
    for (const char *line : rules_text) {
        term_text(line);
        term_text("\n");
    }
}

void copyright() {
    write_copyright_screen();
}

void use_recomment() {
    set_color(12, 0);
    style();
}

void write_config_screen() {
    set_cocate(0, 0);
    term_text("当前配置信息\n");
    term_text("修改config.conf配置文件,可对游戏进行调整\n");
    separator();
    term_printf("地图宽度=%d\n", width);
    term_printf("地图高度=%d\n", height);
    separator();
    term_printf("方块类型=%d\n", b_type);
    term_printf("方块消除个数=%d\n", b_num);
    term_printf("最大单次得分=%d\n", max_f);
    separator();
    term_printf("初始游戏速度=%d毫秒\n", first_speed);
    term_printf("游戏加速度等级=%d\n", add_speed);
    term_printf("最大游戏速度=%d毫秒\n", max_speed);
    separator();
    term_printf("是否开启debug模式=%d\n", debug);
    term_printf("是否开启辅助线=%d\n", help_line);
    term_printf("是否开启快速开始模式=%d\n", fask_s);
    term_printf("是否开启消除闪烁=%d\n", s_twi);
    term_printf("是否开启浮动方块下沉=%d\n", b_drop);
    separator();
    term_printf("消除闪烁时间间隔=%d毫秒*10\n", twinkle);
    term_printf("消除闪烁次数=%d\n", twi_num);
    separator();
}

void show_config_info() {
    write_config_screen();
    command(2);
    command(1);
}

// ---- Debug board log -----------------------------------------------------------

// A data.txt that cannot be opened (a directory, no permission, a full disk)
// or that is not a regular file (a link, a FIFO, a device) only loses the
// log: the game goes on without a word.
namespace {
// An append to data.txt failed (a file-size limit, a full disk, an I/O
// error) during this game: the log is stopped until the next game.
bool log_stopped;
// Some game's log stopped since the player was last told.
bool log_loss_untold;
} // namespace

void clear_data() {
    log_stopped = false;
    if (FILE *f = file_write_regular("data.txt", false)) fclose(f);
}

bool take_log_loss() {
    bool lost = log_loss_untold;
    log_loss_untold = false;
    return lost;
}

void record_map() {
    if (debug == 0 || log_stopped) return;
    FILE *f = file_write_regular("data.txt", true);
    if (!f) return;
    // The board never exceeds map; held here too so that a dump cannot read past it.
    int w = width < MAX ? width : MAX, h = height < MAX ? height : MAX;
    for (int x = 0; x < w; x++) {
        fputs("|", f);
        for (int y = 0; y < h; y++)
            fprintf(f, "%4d|", (int)map[x][y]);
        fputs("\n", f);
    }
    fputs("\n", f);
    bool failed = ferror(f) != 0;
    if (fclose(f) != 0 || failed) log_stopped = log_loss_untold = true;
}
