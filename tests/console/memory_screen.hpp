#pragma once
// An in-memory screen behind the console services: cells, cursor, scrolls,
// and a queue of keys, so the screen logic can be checked without a terminal.

#include <deque>
#include <string>
#include <vector>

#include "console/console_backend.hpp"

class MemoryScreen final : public ConsoleBackend {
public:
    // window_width: the visible window's columns where narrower than the
    // rows (a Windows console buffer); 0 means as wide as the rows.
    MemoryScreen(int width, int height, int cursor_x, int cursor_y, bool is_screen = true, int window_width = 0)
        : width_(width), height_(height), window_width_(window_width), is_screen_(is_screen),
          rows_(static_cast<size_t>(height), std::vector<std::string>(static_cast<size_t>(width), " ")) {
        visible_x = cursor_x;
        visible_y = cursor_y;
    }

    ConsoleSnapshot attach() override {
        ++attaches;
        return ConsoleSnapshot{is_screen_, true, ScreenCursor{width_, height_, visible_x, visible_y, window_width_}};
    }
    void detach() override { ++detaches; }
    int register_close_handler(void (*)()) override { return ++registrations; }
    void write_stream(std::string_view bytes) override { stream.append(bytes); }
    KeyText read_key() override {
        KeyText key;
        if (keys.empty()) return key;
        key.chars[0] = keys.front();
        keys.pop_front();
        return key;
    }
    bool keys_ended() override { return keys_end && keys.empty(); }

    void scroll_up(int) override {
        rows_.erase(rows_.begin());
        rows_.emplace_back(static_cast<size_t>(width_), " ");
        ++scrolls;
    }
    void put_cells(int x, int y, const Cell* cells, int count) override {
        if (x < 0 || x + count > width_ || y < 0 || y >= height_) {
            ++writes_outside;
            return;
        }
        for (int i = 0; i < count; ++i) {
            std::string& shown = rows_[static_cast<size_t>(y)][static_cast<size_t>(x + i)];
            shown.clear();
            append_utf8(shown, cells[i].code_point);
        }
    }
    void place_cursor(int x, int y) override {
        visible_x = x;
        visible_y = y;
    }
    void commit() override { ++commits; }

    // Row y as text, trailing blanks removed.
    std::string row(int y) const {
        std::string text;
        for (const std::string& cell : rows_[static_cast<size_t>(y)]) text += cell;
        return text.erase(text.find_last_not_of(' ') + 1);
    }

    int visible_x = 0;
    int visible_y = 0;
    int scrolls = 0;
    int attaches = 0;
    int detaches = 0;
    int registrations = 0;
    int commits = 0;
    int writes_outside = 0;
    std::string stream;
    std::deque<char> keys;
    bool keys_end = false;  // the keys' input ends after the keys

private:
    int width_;
    int height_;
    int window_width_;
    bool is_screen_;
    std::vector<std::vector<std::string>> rows_;
};
