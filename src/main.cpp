// SPDX-License-Identifier: MIT
// main.cpp -- takes the terminal and plays.

#include <clocale>
#include <string>

#include "Zelvane.h"
#include "order_fun_1.h"
#include "term.h"

int main() {
    setlocale(LC_ALL, "");
    if (term_open() != 0) {
        term_message(1, -1, (std::string("zelvane: ") + term_error()).c_str());
        term_hold_window();
        return 2;
    }
    int status = run();
    term_close();
    if (take_log_loss())
        term_message(1, -1,
                     "zelvane: data.txt 写不下了（磁盘已满或文件大小受限），"
                     "调试记录已在那一局中途停止，游戏照常进行");
    // The farewell stays readable in the shell once its screen is back.
    term_message(0, 12, "感谢使用");
    return status;
}
