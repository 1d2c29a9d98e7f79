// order_fun_1.cpp -- config.conf, the start-up screens and the debug board log.

#include "order_fun_1.h"

void read_config() {}
void copyright() {}
void use_recomment() {}
void show_config_info() {}
void clear_data() {}
void record_map() {}
const char *config_problem() {
    return nullptr;
}
