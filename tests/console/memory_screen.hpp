#pragma once
// An in-memory screen behind the console services: cells, cursor, scrolls,
// and a queue of keys, so the screen logic can be checked without a terminal.

#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "console/console_backend.hpp"

class MemoryScreen final : public ConsoleBackend, public ScreenSurface {
public:
    // window_width: the visible window's columns where narrower than the
    // rows (a Windows console buffer); 0 means as wide as the rows.
    // buffer_height: rows that scroll, where the buffer goes on below the
    // window's bottom row (height - 1); 0 means height.
    MemoryScreen(int width, int height, int cursor_x, int cursor_y, bool is_screen = true, int window_width = 0,
                 int buffer_height = 0)
        : width_(width), height_(height), window_width_(window_width), is_screen_(is_screen),
          rows_(static_cast<size_t>(std::max(height, buffer_height)), std::vector<std::string>(static_cast<size_t>(width), " ")),
          attributes_(rows_.size(), std::vector<unsigned>(static_cast<size_t>(width), 0)) {
        visible_x = cursor_x;
        visible_y = cursor_y;
    }

    ConsoleSnapshot attach() override {
        ++attaches;
        return ConsoleSnapshot{is_screen_, true, ScreenGeometry{width_, height_, visible_x, visible_y, window_width_}};
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
    ScreenSurface& surface() override { return *this; }

    void scroll_up(int) override {
        rows_.erase(rows_.begin());
        rows_.emplace_back(static_cast<size_t>(width_), " ");
        attributes_.erase(attributes_.begin());
        attributes_.emplace_back(static_cast<size_t>(width_), attribute);
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
        std::fill_n(attributes_[static_cast<size_t>(y)].begin() + x, count, attribute);
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

    // Row y's attributes as runs, "1e*20 07*60": each attribute in hex and
    // how many cells in a row have it.
    std::string attribute_runs(int y) const {
        std::string runs;
        const std::vector<unsigned>& cells = attributes_[static_cast<size_t>(y)];
        for (size_t x = 0; x < cells.size();) {
            size_t end = x;
            while (end < cells.size() && cells[end] == cells[x]) ++end;
            char run[32];
            std::snprintf(run, sizeof run, "%s%02x*%zu", runs.empty() ? "" : " ", cells[x], end - x);
            runs += run;
            x = end;
        }
        return runs;
    }
    // ASCII text at (x, y) in the current attribute, as found on the screen
    // before the program starts.
    void put_text(int x, int y, const std::string& text) {
        for (size_t i = 0; i < text.size(); ++i) {
            rows_[static_cast<size_t>(y)][static_cast<size_t>(x) + i] = std::string(1, text[i]);
            attributes_[static_cast<size_t>(y)][static_cast<size_t>(x) + i] = attribute;
        }
    }
    int rows() const { return static_cast<int>(rows_.size()); }

    // The colour attribute of every cell that is written or scrolled in (a
    // Windows console's current attribute).
    unsigned attribute = 0;
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
    std::vector<std::vector<unsigned>> attributes_;
};
