// main.cpp -- takes the terminal and plays.

#include <clocale>
#include <string>

#include "Zelvane.h"
#include "own_console.h"
#include "term.h"

int main() {
    setlocale(LC_ALL, "");
    if (term_open() != 0) {
        term_message(1, -1, (std::string("zelvane: ") + term_error()).c_str());
        hold_own_console();
        return 2;
    }
    int status = run();
    term_close();
    // The farewell stays readable in the shell once its screen is back.
    term_message(0, 12, "感谢使用");
    return status;
}
