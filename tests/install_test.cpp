// SPDX-License-Identifier: MIT
// install_test.cpp -- the installed game, run from another directory.

#include "game_run.h"

// `cmake --install` into a DESTDIR; the installed game, started in another
// directory, finds no config.conf there and plays with its built-in settings.
TEST(Game, InstalledGameRunsFromAnotherDirectory) {
    TempDir dest, elsewhere;
    std::string cmd = "DESTDIR='" + dest.path +
                      "' '" CMAKE_COMMAND "' --install '" ZELVANE_BINARY_DIR "' --prefix /usr >'" +
                      dest.path + "/install.log' 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    for (const char *file : {"bin/zelvane", "share/zelvane/config.conf",
                             "share/man/man6/zelvane.6.gz", "share/doc/zelvane/README.md"})
        EXPECT_TRUE(std::filesystem::is_regular_file(dest.path + "/usr/" + file)) << file;
    PtyRun p({dest.path + "/usr/bin/zelvane"}, elsewhere.path);
    reach_builtin_well(p);
    p.send("\x03");
    EXPECT_NE(p.wait_exit(WAIT), -1);
    EXPECT_TRUE(cooked(p));
}
