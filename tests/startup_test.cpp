// SPDX-License-Identifier: MIT
// startup_test.cpp -- the credits and rules screen and the configuration
// screen, as a terminal shows them.

#include <gtest/gtest.h>

#include <string>

#include "board.h"
#include "help_fun_1.h"
#include "order_fun_1.h"
#include "support.h"
#include "term.h"

namespace {

const char *const rules[] = {
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

using StartupScreens = OnScreen;

} // namespace

// The box is six lines of exactly 40 columns, written over the screen from
// the top-left corner in 7 on 0 wherever the cursor and colour were.
TEST_F(StartupScreens, CreditsBoxAndRules) {
    set_cocate(0, 25);
    term_text("left alone");
    set_cocate(10, 20);
    set_color(12, 1);
    copyright();
    s.sync();

    for (int row = 0; row < 6; row++) {
        SCOPED_TRACE("box row " + std::to_string(row) + ": " + s.line(row));
        EXPECT_EQ(s.ch(0, row), "#");
        EXPECT_EQ(s.ch(39, row), "#");
        EXPECT_EQ(s.ch(40, row), " ");
        for (int col = 0; col < 40; col++) {
            EXPECT_EQ(s.fg(col, row), 7);
            EXPECT_EQ(s.bg(col, row), 0);
            if (row == 0 || row == 5) {
                EXPECT_EQ(s.ch(col, row), "#");
            }
        }
        if (row > 0 && row < 5) {
            EXPECT_NE(s.line(row).find_first_not_of("# "), std::string::npos);
        }
    }
    EXPECT_NE(s.line(2).find("Zelvane"), std::string::npos);
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(s.line(6 + i), rules[i]) << "rules line " << i + 1;
    EXPECT_EQ(s.line(15), "");
    EXPECT_EQ(s.line(25), "left alone");
    EXPECT_EQ(s.cursor_row(), 15);
    EXPECT_EQ(s.cursor_col(), 0);
}

// The colour switch writes nothing and leaves the default colour in force.
TEST_F(StartupScreens, ColourSwitch) {
    set_color(3, 4);
    use_recomment();
    term_text("x");
    s.sync();
    EXPECT_EQ(s.line(0), "x");
    EXPECT_EQ(s.fg(0, 0), 7);
    EXPECT_EQ(s.bg(0, 0), 0);
}

// The configuration screen lists the values just read from config.conf.
TEST_F(StartupScreens, ConfigurationScreen) {
    {
        ScratchDir dir;
        dir.write("config.conf", "width=14 height=23 b_type=4 b_num=5 max_f=-7 first_speed=650 "
                                 "add_speed=12 max_speed=120 debug=2 help_line=0 fask_s=0 "
                                 "s_twi=1 b_drop=0 twinkle=30 twi_num=4\n");
        read_config();
    }

    write_config_screen();
    s.sync();
    const std::string sep(79, '-');
    const std::string want[] = {
        "当前配置信息",
        "修改config.conf配置文件,可对游戏进行调整",
        sep,
        "地图宽度=14",
        "地图高度=23",
        sep,
        "方块类型=4",
        "方块消除个数=5",
        "最大单次得分=-7",
        sep,
        "初始游戏速度=650毫秒",
        "游戏加速度等级=12",
        "最大游戏速度=120毫秒",
        sep,
        "是否开启debug模式=2",
        "是否开启辅助线=0",
        "是否开启快速开始模式=0",
        "是否开启消除闪烁=1",
        "是否开启浮动方块下沉=0",
        sep,
        "消除闪烁时间间隔=30毫秒*10",
        "消除闪烁次数=4",
        sep,
        "",
    };
    for (int i = 0; i < 24; i++)
        EXPECT_EQ(s.line(i), want[i]) << "line " << i + 1;
    EXPECT_EQ(s.cursor_row(), 23);

    for (const Setting &setting : settings)
        *setting.value = 0;
}
