// SPDX-License-Identifier: MIT
// support.cpp -- the tests' shared helpers. See support.h.

#include "support.h"

#include <filesystem>
#include <fstream>
#include <random>

#include "term.h"

TempDir::TempDir() {
    std::random_device rd;
    auto tmp = std::filesystem::temp_directory_path();
    for (int tries = 0; tries < 100 && path.empty(); tries++) {
        auto p = tmp / ("zelvane-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(p)) path = p.string();
    }
}

TempDir::~TempDir() {
    if (!path.empty()) std::filesystem::remove_all(path);
}

void TempDir::write(const std::string &name, const std::string &text) const {
    std::ofstream(path + "/" + name, std::ios::binary) << text;
}

bool TempDir::exists(const std::string &name) const {
    return std::filesystem::exists(path + "/" + name);
}

std::string file_text(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

ScratchDir::ScratchDir() : old(std::filesystem::current_path().string()) {
    std::filesystem::current_path(path);
}

ScratchDir::~ScratchDir() {
    std::filesystem::current_path(old);
}

NullTerminal::NullTerminal(int cols, int rows) {
    term_close();
    fake::listen(nullptr, nullptr);
    fake::set_size(cols, rows);
    term_open();
}

NullTerminal::~NullTerminal() {
    term_close();
    fake::set_size(80, 24);
}

static fake::listener held;
static void *held_user;

static void nowhere(const char *, size_t, void *) {}

Discard::Discard() {
    term_flush();
    held = fake::listening(&held_user);
    fake::listen(nowhere, nullptr);
}

Discard::~Discard() {
    term_flush();
    fake::listen(held, held_user);
    fake::lose_screen();
}

void repaint_lost_screen() {
    fake::lose_screen();
    term_kbhit();
}
