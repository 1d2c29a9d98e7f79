// SPDX-License-Identifier: MIT
// gbk_test.cpp -- the real program in a GBK locale writes GBK.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "game_run.h"

TEST(GbkLocale, GameIsWrittenInGbk) {
    // A zh_CN.GBK locale built into a directory of its own, where the machine can.
    TempDir locales;
    const std::string make =
        "localedef -i zh_CN -f GBK " + locales.path + "/zh_CN.GBK >/dev/null 2>&1";
    if (system(make.c_str()) != 0 || !locales.exists("zh_CN.GBK"))
        GTEST_SKIP() << "localedef cannot build zh_CN.GBK here";
    const Launch gbk = {.env = {"LOCPATH=" + locales.path, "LANG=zh_CN.GBK", "LC_ALL=zh_CN.GBK"}};
    {
        Game p({}, gbk);
        p.screen.set_gbk(true);
        ASSERT_TRUE(sees(p, "游戏难度随时间增加"));
        // The panel stands where it does in UTF-8: every glyph two columns.
        EXPECT_EQ(p.screen.line(6, 18), "下一个方块");
        EXPECT_EQ(p.screen.line(4, 18), "总分数：0");
        EXPECT_EQ(p.screen.cell(0, 21), "○ ");
        EXPECT_EQ(p.screen.ch(18 + 7, 7), "┐");
        const std::string &raw = p.screen.bytes();
        EXPECT_NE(raw.find("\xD3\xCE\xCF\xB7\xC4\xD1\xB6\xC8"), std::string::npos); // 游戏难度
        EXPECT_EQ(raw.find("游戏"), std::string::npos) << "UTF-8 reached a GBK terminal";
        p.send("\x03");
        EXPECT_NE(p.wait_exit(WAIT), -1);
    }
    // A message for stderr is GBK too.
    const auto bad_config = [](Path dir) { std::ofstream(dir + "/config.conf") << "width=1\n"; };
    {
        Game p({}, {.env = gbk.env, .plant = bad_config});
        EXPECT_EQ(p.wait_exit(WAIT), 2);
        const std::string &raw = p.screen.bytes();
        EXPECT_NE(raw.find("\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE"), std::string::npos); // 配置文件
        EXPECT_EQ(raw.find("配置"), std::string::npos) << "UTF-8 reached a GBK terminal";
    }
}
