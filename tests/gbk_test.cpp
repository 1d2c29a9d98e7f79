// SPDX-License-Identifier: MIT
// gbk_test.cpp -- the real program in a GBK locale writes GBK.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ptyrun.h"
#include "support.h"

namespace {

// Builds a zh_CN.GBK locale into dir; false where the machine cannot.
bool make_gbk_locale(const std::string &dir) {
    std::string cmd = "localedef -i zh_CN -f GBK " + dir + "/zh_CN.GBK >/dev/null 2>&1";
    return system(cmd.c_str()) == 0 && std::filesystem::exists(dir + "/zh_CN.GBK");
}

} // namespace

TEST(GbkLocale, GameIsWrittenInGbk) {
    TempDir scratch;
    const std::string &dir = scratch.path;
    if (!make_gbk_locale(dir)) GTEST_SKIP() << "localedef cannot build zh_CN.GBK here";
    const std::vector<std::string> gbk = {"LOCPATH=" + dir, "LANG=zh_CN.GBK", "LC_ALL=zh_CN.GBK"};
    std::ofstream(dir + "/config.conf")
        << "width=8 height=22 b_type=1 b_num=3 max_f=1000 first_speed=1000000000 add_speed=1 "
           "max_speed=1000000000 debug=0 help_line=0 fask_s=1 s_twi=0 b_drop=1 twinkle=1 "
           "twi_num=0\n";
    {
        PtyRun p({ZELVANE_EXE}, dir, 80, 30, gbk);
        p.screen.set_gbk(true);
        ASSERT_TRUE(p.wait_text("游戏难度随时间增加", 20000)) << p.screen.dump();
        // The panel stands where it does in UTF-8: every glyph two columns.
        EXPECT_EQ(p.screen.line(6, 18), "下一个方块");
        EXPECT_EQ(p.screen.line(4, 18), "总分数：0");
        EXPECT_EQ(p.screen.cell(0, 21), "○ ");
        EXPECT_EQ(p.screen.ch(18 + 7, 7), "┐");
        const std::string &raw = p.screen.bytes();
        EXPECT_NE(raw.find("\xD3\xCE\xCF\xB7\xC4\xD1\xB6\xC8"), std::string::npos); // 游戏难度
        EXPECT_EQ(raw.find("游戏"), std::string::npos) << "UTF-8 reached a GBK terminal";
        p.send("\x03");
        EXPECT_NE(p.wait_exit(20000), -1);
    }
    // A message for stderr is GBK too.
    std::ofstream(dir + "/config.conf") << "width=1\n";
    {
        PtyRun p({ZELVANE_EXE}, dir, 80, 30, gbk);
        EXPECT_EQ(p.wait_exit(20000), 2);
        const std::string &raw = p.screen.bytes();
        EXPECT_NE(raw.find("\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE"), std::string::npos); // 配置文件
        EXPECT_EQ(raw.find("配置"), std::string::npos) << "UTF-8 reached a GBK terminal";
    }
}
