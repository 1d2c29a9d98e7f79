// SPDX-License-Identifier: MIT
// config_fuzz.cpp -- any bytes as config.conf: the reader must neither crash
// nor read or write out of bounds, and must agree with a plain in-memory
// reading of the same bytes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "order_b_1.h"
#include "order_fun_1.h"

namespace {

// A byte that ends a token.
bool separates(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int32_t convert(const std::string &v) {
    size_t i = 0;
    bool neg = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) neg = v[i++] == '-';
    long long n = 0;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; i++)
        n = n > 10000000000LL ? n : n * 10 + (v[i] - '0');
    n = neg ? -n : n;
    return n > INT32_MAX ? INT32_MAX : n < INT32_MIN ? INT32_MIN : (int32_t)n;
}

// What the settings should be after reading `data` over `before`.
std::vector<int32_t> expected(const uint8_t *data, size_t size, std::vector<int32_t> v) {
    size_t i = 0;
    while (i < size) {
        while (i < size && separates(data[i]))
            i++;
        size_t start = i;
        while (i < size && !separates(data[i]))
            i++;
        if (i == start || i - start > 1023) continue;
        std::string token((const char *)data + start, i - start);
        token = token.substr(0, token.find('\0'));
        if (token.empty() || token[0] == '#') continue;
        size_t eq = token.find('=');
        std::string key = token.substr(0, eq);
        std::string value = eq == std::string::npos ? "" : token.substr(eq + 1);
        // The game's own table, walked in its order.
        for (int k = 0; k < N_SETTINGS; k++)
            if (key.compare(0, strlen(settings[k].key), settings[k].key) == 0) {
                v[k] = convert(value);
                break;
            }
    }
    return v;
}

std::vector<int32_t> current() {
    std::vector<int32_t> v;
    for (const Setting &s : settings)
        v.push_back(*s.value);
    return v;
}

// The reader works in the current directory; the fuzzer's own files
// (corpus, crash inputs) are named relative to it, so the target steps into
// its scratch directory only while it reads.
int scratch_fd = -1, home_fd = -1;
char dir[] = "/tmp/zelvane-config-fuzz-XXXXXX";

void enter_scratch() {
    if (scratch_fd < 0) {
        if (!mkdtemp(dir)) abort();
        atexit([] { rmdir(dir); });
        scratch_fd = open(dir, O_RDONLY | O_DIRECTORY);
        home_fd = open(".", O_RDONLY | O_DIRECTORY);
        if (scratch_fd < 0 || home_fd < 0) abort();
    }
    if (fchdir(scratch_fd) != 0) abort();
}

void leave_scratch() {
    if (fchdir(home_fd) != 0) abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    enter_scratch();
    FILE *f = fopen("config.conf", "wb");
    if (!f) abort();
    if (size && fwrite(data, 1, size, f) != size) abort();
    fclose(f);

    for (int k = 0; k < N_SETTINGS; k++)
        *settings[k].value = k * 7 - 3;
    std::vector<int32_t> want = expected(data, size, current());
    read_config();
    std::vector<int32_t> first = current();
    read_config(); // reading the same file again changes nothing
    std::vector<int32_t> second = current();
    unlink("config.conf");
    leave_scratch();
    if (first != want || second != want) abort();

    const char *msg = config_problem();
    bool playable = width >= MIN_WIDTH && width <= MAX && height >= MIN_HEIGHT && height <= MAX &&
                    b_type >= 1 && b_type <= 5 && add_speed != 0;
    if ((msg == nullptr) != playable) abort();
    if (msg && !strstr(msg, "config.conf")) abort();
    return 0;
}
